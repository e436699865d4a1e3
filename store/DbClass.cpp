#include "DbClass.h"

#include "SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <sodium.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A second running copy may hold a write lock for a moment; wait instead of failing.
std::atomic<int> busyTimeoutMs{10000};

const char *const BusyText = "数据文件正被另一个程序写入，请稍后再试。";

QString nativePath(const QString &file)
{
    return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
}

// What to tell the user when a data file cannot be read as one.
QString damagedText(const QString &file)
{
    return QStringLiteral("数据文件“%1”已损坏，无法读取。\n"
                          "可以从它旁边的 backups 文件夹中的自动备份，或者从您自己的备份文件"
                          "恢复数据（菜单“从备份中恢复数据”）。")
        .arg(nativePath(file));
}

// Turns an engine failure into a sentence for the user: what happened, to
// which file and what to do, with the engine's own text on the last line.
[[noreturn]] void raise(sqlite3 *db, int rc, const QString &file)
{
    const QString detail =
        QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)).trimmed();
    const QString path = nativePath(file);
    QString what;
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw EDbBusy(QString::fromUtf8(BusyText));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        what = damagedText(file);
        break;
    case SQLITE_FULL:
        what = QStringLiteral("磁盘已满，无法写入“%1”，这次操作没有保存任何内容。\n"
                              "请腾出磁盘空间后再试。")
                   .arg(path);
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        what = QStringLiteral("“%1”是只读的，无法写入，这次操作没有保存任何内容。\n"
                              "请检查这个文件和它所在文件夹的权限。")
                   .arg(path);
        break;
    case SQLITE_CANTOPEN:
        what = QStringLiteral("无法打开“%1”。\n请检查这个文件是否存在，以及您对它和它所在的"
                              "文件夹是否有读写权限。")
                   .arg(path);
        break;
    case SQLITE_IOERR:
        what = QStringLiteral("读写“%1”时出错，这次操作没有完成。\n请检查磁盘后再试；如果之后"
                              "提示文件已损坏，可以从它旁边的 backups 文件夹或备份文件恢复数据。")
                   .arg(path);
        break;
    case SQLITE_NOMEM:
        what = QStringLiteral("内存不足，对“%1”的操作没有完成。\n请关闭其他程序后再试。").arg(path);
        break;
    case SQLITE_CONSTRAINT:
        what = QStringLiteral("“%1”拒绝了这次写入，数据没有改变。").arg(path);
        break;
    default:
        if (detail.startsWith(QLatin1String("no such table")) ||
            detail.startsWith(QLatin1String("no such column"))) {
            what = QStringLiteral("“%1”缺少本程序需要的表或列：它不是本程序的数据文件，"
                                  "或者已经损坏。\n可以从它旁边的 backups 文件夹或备份文件"
                                  "恢复数据。")
                       .arg(path);
        } else {
            what = QStringLiteral("对“%1”的操作失败，数据没有改变。\n请稍后再试；如果问题一直"
                                  "存在，可以从它旁边的 backups 文件夹或备份文件恢复数据。")
                       .arg(path);
        }
        break;
    }
    throw EDbError(what + QLatin1Char('\n') + detail);
}

QByteArray enc(const QString &text)
{
    return THi::Base64Encode(text).toLatin1();
}

qint64 toCents(double amount)
{
    return std::llround(amount * 100.0);
}

QString shareText(qint64 part, qint64 total)
{
    // A zero type total (only zero or negative amounts) would divide by zero.
    if (total == 0)
        return QStringLiteral("0.00%");
    return QString::asprintf("%0.2f%%", double(part) * 100.0 / double(total));
}

QString checkedDate(const QString &date)
{
    try {
        return THi::DateToYmd(THi::YmdToDate(date));
    } catch (const EConvertError &) {
        throw EDbError(QStringLiteral("日期“%1”无效，记录没有保存。").arg(date));
    }
}

QString checkedType(const QString &type)
{
    if (type != TypeExpense() && type != TypeIncome())
        throw EDbError(QStringLiteral("“%1”不是记录的类型，记录没有保存。").arg(type));
    return type;
}

double checkedAmount(const QString &amount)
{
    // Sums are kept in whole cents; an amount that rounds to the limit could overflow them.
    double v = 0;
    if (!THi::IsNumber(THi::Trim(amount), &v) ||
        std::fabs(double(toCents(v))) >= THi::MaxAmount * 100.0)
        throw EDbError(QStringLiteral("金额“%1”无效，记录没有保存。").arg(amount));
    return v;
}

qint64 checkedId(const QString &id)
{
    bool ok = false;
    const qint64 v = THi::Trim(id).toLongLong(&ok);
    if (!ok)
        throw EDbError(QStringLiteral("记录编号“%1”无效。").arg(id));
    return v;
}

const char *cateColumn(const QString &kind)
{
    if (kind == KindOut())
        return "[out]";
    if (kind == KindIn())
        return "[in]";
    throw EDbError(QStringLiteral("“%1”不是类别列表。").arg(kind));
}

// One engine connection, opened for one operation and closed with it.
class Connection {
public:
    // shownAs names the file in messages (a temporary copy shows its target).
    explicit Connection(const QString &file, bool readOnly = false,
                        const QString &shownAs = QString())
        : m_file(shownAs.isEmpty() ? file : shownAs)
    {
        // SQLite would quietly create a missing file; a missing data file is an error.
        if (!QFileInfo(file).isFile()) {
            // The engine's own words for it on the last line, as for every failure.
            throw EDbError(
                QStringLiteral("找不到数据文件“%1”。\n重新启动程序会重新建立它；"
                               "原有的数据可以从 backups 文件夹或备份文件恢复。\n%2")
                    .arg(nativePath(m_file), QString::fromUtf8(sqlite3_errstr(SQLITE_CANTOPEN))));
        }
        const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
        const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) {
            // The message is read before the handle is closed.
            sqlite3 *db = m_db;
            m_db = nullptr;
            try {
                raise(db, rc, m_file);
            } catch (...) {
                sqlite3_close_v2(db);
                throw;
            }
        }
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, busyTimeoutMs);
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return m_db; }
    const QString &file() const { return m_file; }
    [[noreturn]] void fail(int rc) const { raise(m_db, rc, m_file); }

    // A statement without parameters or rows.
    void exec(const char *sql)
    {
        const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            fail(rc);
    }

private:
    QString m_file;
    sqlite3 *m_db = nullptr;
};

// One prepared statement; values are always bound, never spliced.
class Stmt {
public:
    Stmt(Connection &c, const char *sql) : m_c(c)
    {
        const int rc = sqlite3_prepare_v2(c.handle(), sql, -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            c.fail(rc);
    }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    Stmt &bind(int i, const QByteArray &bytes)
    {
        check(sqlite3_bind_text(m_stmt, i, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Stmt &bind(int i, const QString &text) { return bind(i, text.toUtf8()); }
    Stmt &bind(int i, double v)
    {
        check(sqlite3_bind_double(m_stmt, i, v));
        return *this;
    }
    Stmt &bind(int i, qint64 v)
    {
        check(sqlite3_bind_int64(m_stmt, i, v));
        return *this;
    }
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            m_c.fail(rc);
        return false;
    }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    const char *data(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return p ? p : "";
    }
    int size(int col) const { return sqlite3_column_bytes(m_stmt, col); }
    QByteArray bytes(int col) const
    {
        const char *p = data(col);
        return QByteArray(p, size(col));
    }
    QString text(int col) const
    {
        const char *p = data(col);
        return QString::fromUtf8(p, size(col));
    }
    // Only for columns that hold plain ASCII (dates, base64).
    QString latin1(int col) const
    {
        const char *p = data(col);
        return QString::fromLatin1(p, size(col));
    }
    QString decoded(int col) const
    {
        const char *p = data(col);
        return THi::Base64DecodeBytes(QByteArray::fromRawData(p, size(col)));
    }
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    double number(int col) const { return sqlite3_column_double(m_stmt, col); }
    qint64 int64(int col) const { return sqlite3_column_int64(m_stmt, col); }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            m_c.fail(rc);
    }
    Connection &m_c;
    sqlite3_stmt *m_stmt = nullptr;
};

// Rolls back unless committed; every multi-statement write goes through one.
class Transaction {
public:
    explicit Transaction(Connection &c) : m_c(c)
    {
        // IMMEDIATE takes the write lock up front, so the busy timeout applies to
        // it and two copies never deadlock between a read and a write.
        m_c.exec("begin immediate");
    }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_c.handle(), "rollback", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        m_c.exec("commit");
        m_done = true;
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

private:
    Connection &m_c;
    bool m_done = false;
};

const char *const InsertRecordSql =
    "insert into [data] ([user],[date],[type],[cate],[amount],[notes]) values (?,?,?,?,?,?)";

// Checks and binds one record's values on an insert statement and runs it.
void insertRecord(Stmt &ins, const QByteArray &encUser, const QString &date, const QString &type,
                  const QString &cate, const QString &amount, const QString &notes)
{
    const QString day = checkedDate(date);
    const QString word = checkedType(type);
    const double value = checkedAmount(amount);
    ins.bind(1, encUser).bind(2, day).bind(3, word).bind(4, enc(cate)).bind(5, value);
    ins.bind(6, enc(notes));
    ins.step();
    ins.reset();
}

void setOwnerOnly(const QString &file)
{
    QFile::setPermissions(file, TSafeFile::OwnerOnly);
}

// Copies the whole database of one connection into another's through the
// engine's backup, which locks the target, first rolls back a journal left
// there by a crash, and replaces its pages in one transaction.
void copyDatabase(Connection &from, Connection &to)
{
    sqlite3_backup *b = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (!b)
        to.fail(sqlite3_errcode(to.handle()));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(int(busyTimeoutMs));
    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_OK)
            continue;
        // The source is being written by another copy: wait for it like a busy handler.
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) &&
            std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        break;
    }
    // finish rolls the target back when the copy did not complete.
    const int frc = sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        raise(nullptr, rc, to.file());
    if (frc != SQLITE_OK)
        raise(nullptr, frc, to.file());
}

QString integrity(Connection &c)
{
    Stmt q(c, "pragma integrity_check");
    QStringList lines;
    while (q.step())
        lines << q.text(0);
    return lines.join(QLatin1Char('\n'));
}

// Automatic copies: db-yyyyMMdd-HHmmss[-n].tlmdb, ordered by time, then n.
const QRegularExpression &autoCopyName()
{
    static const QRegularExpression re(QStringLiteral("^db-(\\d{8}-\\d{6})(?:-(\\d+))?\\.tlmdb$"));
    return re;
}

constexpr int AutoCopiesKept = 10;

} // namespace

TDbMan::TDbMan(const QString &dataFile) : m_dataFile(dataFile) {}

TDbMan::~TDbMan() = default;

void TDbMan::SetBusyTimeout(int ms)
{
    busyTimeoutMs = ms;
}

// ---------------------------------------------------------------------------
// Passwords

QString TDbMan::HashPassword(const QString &password)
{
    if (sodium_init() < 0)
        throw EDbError(QStringLiteral("密码组件无法启动。"));
    const QByteArray pwd = THi::ToBytes(password);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pwd.constData(), quint64(pwd.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw EDbError(QStringLiteral("内存不足，无法处理密码。请关闭其他程序后再试。"));
    return QString::fromLatin1(out);
}

bool TDbMan::VerifyPassword(const QString &hash, const QString &password)
{
    if (sodium_init() < 0)
        throw EDbError(QStringLiteral("密码组件无法启动。"));
    const QByteArray h = hash.toLatin1();
    const QByteArray pwd = THi::ToBytes(password);
    return crypto_pwhash_str_verify(h.constData(), pwd.constData(), quint64(pwd.size())) == 0;
}

// ---------------------------------------------------------------------------
// Accounts and category lists

QString TDbMan::ListUsers()
{
    Connection c(m_dataFile);
    Stmt q(c, "select [name] from [users] order by [id] desc");
    QStringList names;
    while (q.step())
        names << q.decoded(0);
    return THi::Trim(THi::JoinLines(names));
}

bool TDbMan::CheckLogin(const QString &name, const QString &password)
{
    QStringList hashes;
    {
        Connection c(m_dataFile);
        Stmt q(c, "select [pwd] from [users] where [name]=?");
        q.bind(1, enc(name));
        while (q.step())
            hashes << q.latin1(0);
    }
    // Verifying is deliberately slow; do it with the file closed.
    for (const QString &h : hashes) {
        if (VerifyPassword(h, password))
            return true;
    }
    return false;
}

bool TDbMan::UserExists(const QString &name)
{
    Connection c(m_dataFile);
    Stmt q(c, "select 1 from [users] where [name]=? limit 1");
    q.bind(1, enc(name));
    return q.step();
}

bool TDbMan::AddUser(const QString &name, const QString &password)
{
    const QString hash = HashPassword(password);
    const QString exists =
        QStringLiteral(
            "用户名“%1”已经有了，不能再建一个同名的账户。\n请用这个名字登录，或者换一个名字。")
            .arg(name);
    {
        Connection c(m_dataFile);
        Transaction t(c);
        {
            // Checked inside the write lock; the unique index catches the rest.
            Stmt q(c, "select 1 from [users] where [name]=? limit 1");
            q.bind(1, enc(name));
            if (q.step())
                throw EUserExists(exists);
        }
        Stmt ins(c, "insert into [users] ([name],[pwd]) values (?,?)");
        ins.bind(1, enc(name)).bind(2, hash);
        try {
            ins.step();
        } catch (const EDbError &) {
            if (sqlite3_extended_errcode(c.handle()) == SQLITE_CONSTRAINT_UNIQUE)
                throw EUserExists(exists);
            throw;
        }
        t.commit();
    }
    return UserExists(name);
}

bool TDbMan::DeleteUser(const QString &name)
{
    {
        Connection c(m_dataFile);
        Stmt del(c, "delete from [users] where [name]=?");
        del.bind(1, enc(name));
        del.step();
    }
    return !UserExists(name);
}

void TDbMan::RewriteUser(const QString &name, const QString &password)
{
    const QString hash = HashPassword(password);
    Connection c(m_dataFile);
    Transaction t(c);
    Stmt del(c, "delete from [users] where [name]=?");
    del.bind(1, enc(name));
    del.step();
    Stmt ins(c, "insert into [users] ([name],[pwd]) values (?,?)");
    ins.bind(1, enc(name)).bind(2, hash);
    ins.step();
    t.commit();
}

QString TDbMan::GetCateList(const QString &user, const QString &kind)
{
    const QByteArray sql = QByteArray("select ") + cateColumn(kind) +
                           " from [cates] where [user]=? order by [id] limit 1";
    Connection c(m_dataFile);
    Stmt q(c, sql.constData());
    q.bind(1, enc(user));
    return q.step() ? q.decoded(0) : QString();
}

namespace {

// Both lists of a user, read inside the caller's transaction.
void readCates(Connection &c, const QByteArray &encUser, QString &out, QString &in)
{
    Stmt q(c, "select [out],[in] from [cates] where [user]=? order by [id] limit 1");
    q.bind(1, encUser);
    if (q.step()) {
        out = q.decoded(0);
        in = q.decoded(1);
    }
}

void writeCates(Connection &c, const QByteArray &encUser, const QString &out, const QString &in)
{
    Stmt del(c, "delete from [cates] where [user]=?");
    del.bind(1, encUser);
    del.step();
    Stmt ins(c, "insert into [cates] ([user],[out],[in]) values (?,?,?)");
    ins.bind(1, encUser).bind(2, enc(out)).bind(3, enc(in));
    ins.step();
}

} // namespace

void TDbMan::SetCateList(const QString &user, const QString &kind, const QString &text)
{
    cateColumn(kind); // refuses an unknown kind before anything is written
    const QByteArray encUser = enc(user);
    Connection c(m_dataFile);
    Transaction t(c);
    QString out, in;
    readCates(c, encUser, out, in);
    (kind == KindOut() ? out : in) = text;
    writeCates(c, encUser, out, in);
    t.commit();
}

QString TDbMan::MergeCate(const QString &user, const QString &kind, const QString &name)
{
    cateColumn(kind);
    const QByteArray encUser = enc(user);
    Connection c(m_dataFile);
    Transaction t(c);
    QString out, in;
    readCates(c, encUser, out, in);
    QString &list = kind == KindOut() ? out : in;
    const QString wanted = THi::LowerAscii(THi::Trim(name));
    if (wanted.isEmpty())
        return list;
    QStringList items = THi::SplitLines(list);
    for (const QString &item : items) {
        if (THi::LowerAscii(THi::Trim(item)) == wanted)
            return list; // there already: nothing to write
    }
    items.prepend(name);
    list = THi::Trim(THi::JoinLines(items));
    writeCates(c, encUser, out, in);
    t.commit();
    return list;
}

// ---------------------------------------------------------------------------
// Ledger records

void TDbMan::AddRecord(const QString &user, const QString &date, const QString &type,
                       const QString &cate, const QString &amount, const QString &notes)
{
    Connection c(m_dataFile);
    Stmt ins(c, InsertRecordSql);
    insertRecord(ins, enc(user), date, type, cate, amount, notes);
}

void TDbMan::AddRecords(const QString &user, const TRowList &rows)
{
    Connection c(m_dataFile);
    if (rows.isEmpty())
        return;
    // One transaction: a failure half-way must not leave the first rows stored,
    // or saving the pending list again would store them twice.
    Transaction t(c);
    const QByteArray encUser = enc(user);
    Stmt ins(c, InsertRecordSql);
    for (const TRow &row : rows) {
        if (row.size() < BatchCols)
            throw EDbError(QStringLiteral("一行记录缺少内容，记录没有保存。"));
        insertRecord(ins, encUser, row.at(BatchDate), row.at(BatchType), row.at(BatchCate),
                     row.at(BatchAmount), row.at(BatchNotes));
    }
    t.commit();
}

void TDbMan::DeleteRecord(const QString &user, const QString &id)
{
    const qint64 key = checkedId(id);
    Connection c(m_dataFile);
    Stmt del(c, "delete from [data] where [id]=? and [user]=?");
    del.bind(1, key).bind(2, enc(user));
    del.step();
}

void TDbMan::ReplaceRecord(const QString &id, const QString &user, const QString &date,
                           const QString &type, const QString &cate, const QString &amount,
                           const QString &notes)
{
    const qint64 key = checkedId(id);
    const QByteArray encUser = enc(user);
    Connection c(m_dataFile);
    Transaction t(c);
    Stmt del(c, "delete from [data] where [id]=? and [user]=?");
    del.bind(1, key).bind(2, encUser);
    del.step();
    if (sqlite3_changes(c.handle()) == 0) {
        throw EDbError(QStringLiteral("要修改的记录已经不在了（可能已在另一个窗口中删除或修改），"
                                      "没有保存任何改动。\n请重新查看后再修改。"));
    }
    Stmt ins(c, InsertRecordSql);
    insertRecord(ins, encUser, date, type, cate, amount, notes);
    t.commit();
}

namespace {

// Sums of one category of one type within the period.
struct CateSum {
    int cate = 0; // index into the record list's category table
    qint64 cents = 0;
    qint64 count = 0;
};

void rankInto(std::vector<CateSum> &groups, const QString &typeWord, qint64 totalCents,
              const TRecordList &recs, TRowList &rows)
{
    // Groups come in first-seen order; equal sums keep it.
    std::stable_sort(groups.begin(), groups.end(),
                     [](const CateSum &a, const CateSum &b) { return a.cents > b.cents; });
    rows.reserve(rows.size() + qsizetype(groups.size()));
    for (const CateSum &g : groups) {
        TRow row(RankCols);
        row[RankType] = typeWord;
        row[RankCate] = recs.CateName(g.cate);
        row[RankCount] = QString::number(g.count);
        row[RankSum] = THi::FormatCents(g.cents);
        row[RankShare] = shareText(g.cents, totalCents);
        rows.append(row);
    }
}

TRow dayRow(const QString &date, qint64 in, qint64 out)
{
    TRow row(DayCols);
    row[DayDate] = date;
    row[DayIn] = THi::FormatCents(in);
    row[DayOut] = THi::FormatCents(out);
    return row;
}

TRow monthRow(const QString &month, qint64 in, qint64 out)
{
    TRow row(MonthCols);
    row[MonthMonth] = month;
    row[MonthIn] = THi::FormatCents(in);
    row[MonthOut] = THi::FormatCents(out);
    return row;
}

bool sameBytes(const char *p, int n, const QByteArray &b)
{
    return n == b.size() && std::memcmp(p, b.constData(), size_t(n)) == 0;
}

} // namespace

TPeriod TDbMan::QueryPeriod(const QString &user, const QString &start, const QString &end)
{
    TPeriod p;
    Connection c(m_dataFile);
    // One range scan of the covering index yields every figure: records come
    // in date order, so the day and month rows close as the date moves on,
    // and the totals and the rankings add up along the way. Sums are kept in
    // whole cents, exactly. Texts are made once per distinct value.
    Stmt q(c, "select [id],[date],[type],[cate],[amount],[notes] from [data] "
              "where [user]=? and [date]>=? and [date]<=? "
              "order by [date] asc,[type] asc,[id] asc");
    q.bind(1, enc(user)).bind(2, start).bind(3, end);

    const QString wordOut = TypeExpense();
    const QString wordIn = TypeIncome();
    const QByteArray rawOut = wordOut.toUtf8();
    const QByteArray rawIn = wordIn.toUtf8();

    TRecordList &recs = p.RecRows;
    QHash<QByteArray, int> cateIndex;
    std::vector<CateSum> outGroups, inGroups;
    std::vector<int> outGroupOf, inGroupOf; // category index -> group, -1 when none yet
    qint64 outCents = 0, inCents = 0;

    QByteArray lastDate;
    QString day, month;
    int dateIndex = -1;
    qint64 dayIn = 0, dayOut = 0, monthIn = 0, monthOut = 0;
    auto closeDay = [&]() {
        if (!day.isEmpty())
            p.DayRows.append(dayRow(day, dayIn, dayOut));
    };
    auto closeMonth = [&]() {
        if (!month.isEmpty())
            p.MonthRows.append(monthRow(month, monthIn, monthOut));
    };

    while (q.step()) {
        const char *dateP = q.data(1);
        const int dateN = q.size(1);
        if (dateIndex < 0 || !sameBytes(dateP, dateN, lastDate)) {
            lastDate = QByteArray(dateP, dateN);
            closeDay();
            day = QString::fromLatin1(lastDate);
            dayIn = dayOut = 0;
            dateIndex = recs.AddDate(day);
            const QString m = day.left(7);
            if (m != month) {
                closeMonth();
                month = m;
                monthIn = monthOut = 0;
            }
        }

        const char *typeP = q.data(2);
        const int typeN = q.size(2);
        const bool isOut = sameBytes(typeP, typeN, rawOut);
        const bool isIn = !isOut && sameBytes(typeP, typeN, rawIn);

        const QByteArray cateKey = QByteArray::fromRawData(q.data(3), q.size(3));
        auto ci = cateIndex.constFind(cateKey);
        if (ci == cateIndex.cend()) {
            const QByteArray stored(cateKey.constData(), cateKey.size()); // deep copy
            ci = cateIndex.insert(stored, recs.AddCate(THi::Base64DecodeBytes(stored)));
            outGroupOf.push_back(-1);
            inGroupOf.push_back(-1);
        }
        const int cate = ci.value();
        const qint64 cents = toCents(q.number(4));

        if (isOut || isIn) {
            auto &groupOf = isOut ? outGroupOf : inGroupOf;
            auto &groups = isOut ? outGroups : inGroups;
            int &g = groupOf[size_t(cate)];
            if (g < 0) {
                g = int(groups.size());
                groups.push_back(CateSum{cate, 0, 0});
            }
            groups[size_t(g)].cents += cents;
            ++groups[size_t(g)].count;
            (isOut ? outCents : inCents) += cents;
            (isOut ? dayOut : dayIn) += cents;
            (isOut ? monthOut : monthIn) += cents;
        }

        // The record list compares the type trimmed and ASCII-lower-cased.
        TRecordList::TKind kind = isOut ? TRecordList::Expense : TRecordList::Income;
        if (!isOut && !isIn) {
            const QString word = THi::LowerAscii(THi::Trim(QString::fromUtf8(typeP, typeN)));
            kind = word == wordOut  ? TRecordList::Expense
                   : word == wordIn ? TRecordList::Income
                                    : TRecordList::Other;
        }
        recs.Append(q.int64(0), cents, dateIndex, cate, kind, q.data(5), q.size(5));
    }
    closeDay();
    closeMonth();

    p.OutTotal = double(outCents) / 100.0;
    p.InTotal = double(inCents) / 100.0;
    rankInto(outGroups, wordOut, outCents, recs, p.OutCateRows);
    rankInto(inGroups, wordIn, inCents, recs, p.InCateRows);
    return p;
}

void TDbMan::QueryPeriod(const QString &user, const QString &start, const QString &end,
                         double &outTotal, double &inTotal, TRowList &dayRows, TRowList &monthRows,
                         TRowList &recRows, TRowList &outCateRows, TRowList &inCateRows)
{
    const TPeriod p = QueryPeriod(user, start, end);
    outTotal = p.OutTotal;
    inTotal = p.InTotal;
    dayRows += p.DayRows;
    monthRows += p.MonthRows;
    recRows.reserve(recRows.size() + p.RecRows.size());
    for (int i = 0; i < p.RecRows.size(); ++i)
        recRows.append(p.RecRows.Row(i));
    outCateRows += p.OutCateRows;
    inCateRows += p.InCateRows;
}

void TDbMan::QueryCateDetail(const QString &user, const QString &start, const QString &end,
                             const QString &type, const QString &cate, TRowList &rows)
{
    Connection c(m_dataFile);
    // The covering index yields these rows by date and, the type being fixed,
    // by id within a date; the engine cannot see that and would sort them
    // again, so the order is checked (and made, should an index be missing) here.
    Stmt q(c, "select [date],[id],[amount],[notes] from [data] "
              "where [user]=? and [date]>=? and [date]<=? and [type]=? and [cate]=?");
    q.bind(1, enc(user)).bind(2, start).bind(3, end).bind(4, type).bind(5, enc(cate));
    struct Hit {
        QByteArray date;
        qint64 id;
        double amount;
        QByteArray notes;
    };
    std::vector<Hit> hits;
    while (q.step())
        hits.push_back(Hit{q.bytes(0), q.int64(1), q.number(2), q.bytes(3)});
    auto before = [](const Hit &a, const Hit &b) {
        return a.date != b.date ? a.date < b.date : a.id < b.id;
    };
    if (!std::is_sorted(hits.begin(), hits.end(), before))
        std::sort(hits.begin(), hits.end(), before);
    rows.reserve(rows.size() + qsizetype(hits.size()));
    for (const Hit &h : hits) {
        TRow row(DetailCols);
        row[DetailDate] = QString::fromLatin1(h.date);
        row[DetailCate] = cate;
        row[DetailAmount] = THi::FormatCents(toCents(h.amount));
        if (!h.notes.isEmpty())
            row[DetailNotes] = THi::Base64DecodeBytes(h.notes);
        rows.append(row);
    }
}

// ---------------------------------------------------------------------------
// The compact record list

QString TRecordList::Notes(int i) const
{
    const TRecord &r = at(i);
    if (r.NotesLen == 0)
        return QString();
    return THi::Base64DecodeBytes(
        QByteArray::fromRawData(m_notes.constData() + r.NotesAt, r.NotesLen));
}

QString TRecordList::Text(int i, TRecCol col) const
{
    switch (col) {
    case RecId:
        return QString::number(Id(i));
    case RecDate:
        return Date(i);
    case RecCate:
        return Cate(i);
    case RecIn:
        return Kind(i) == Income ? THi::FormatCents(Cents(i)) : QString();
    case RecOut:
        return Kind(i) == Expense ? THi::FormatCents(Cents(i)) : QString();
    case RecNotes:
        return Notes(i);
    case RecCols:
        break;
    }
    return QString();
}

TRow TRecordList::Row(int i) const
{
    TRow row;
    row.reserve(RecCols);
    for (int c = 0; c < RecCols; ++c)
        row.append(Text(i, TRecCol(c)));
    return row;
}

void TRecordList::RemoveAt(int i)
{
    // The notes bytes stay in the block; a removed row's share is small.
    m_recs.erase(m_recs.begin() + i);
}

int TRecordList::AddDate(const QString &date)
{
    m_dates.append(date);
    return int(m_dates.size() - 1);
}

int TRecordList::AddCate(const QString &cate)
{
    m_cates.append(cate);
    return int(m_cates.size() - 1);
}

void TRecordList::Append(qint64 id, qint64 cents, int date, int cate, TKind kind, const char *notes,
                         int notesLen)
{
    const qint32 at = qint32(m_notes.size());
    if (notesLen > 0)
        m_notes.append(notes, notesLen);
    m_recs.push_back(TRecord{id, cents, date, cate, at, notesLen, kind});
}

// ---------------------------------------------------------------------------
// Copies of the whole file

void TDbMan::BackupTo(const QString &fileName)
{
    const QString target = QFileInfo(fileName).absoluteFilePath();
    try {
        // A backup killed half-way leaves its temporary; the next one in that
        // folder clears it.
        TSafeFile::RemoveStale(QFileInfo(target).absolutePath());
        TSafeFile out(target);
        {
            Connection from(m_dataFile);
            Connection to(out.TempPath(), false, target);
            // The copy is new and private until renamed: a journal would only
            // be one more file to leave behind.
            to.exec("pragma journal_mode=off");
            to.exec("pragma synchronous=off");
            copyDatabase(from, to);
        }
        out.Commit();
    } catch (const EInOutError &e) {
        throw EDbError(
            QStringLiteral("备份没有完成，“%1”没有改变。\n%2").arg(nativePath(target), e.text()));
    }
}

QString TDbMan::BackupFolder(const QString &dataFile)
{
    return QFileInfo(dataFile).absolutePath() + QStringLiteral("/backups");
}

QString TDbMan::AutoBackup()
{
    const QString folder = BackupFolder(m_dataFile);
    if (!QDir().mkpath(folder)) {
        throw EDbError(QStringLiteral("无法建立自动备份的文件夹“%1”，数据没有改变。\n"
                                      "请检查数据文件夹的权限和磁盘空间。")
                           .arg(nativePath(folder)));
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir dir(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = dir.filePath(QStringLiteral("db-%1.tlmdb").arg(stamp));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("db-%1-%2.tlmdb").arg(stamp).arg(n));
    BackupTo(path);

    // Keep the newest copies only.
    struct Copy {
        QString stamp;
        int n;
        QString name;
    };
    std::vector<Copy> copies;
    for (const QString &name : dir.entryList({QStringLiteral("db-*.tlmdb")}, QDir::Files)) {
        const QRegularExpressionMatch m = autoCopyName().match(name);
        if (m.hasMatch())
            copies.push_back(Copy{m.captured(1), m.captured(2).toInt(), name});
    }
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.n < b.n;
    });
    for (size_t i = 0; i + AutoCopiesKept < copies.size(); ++i)
        dir.remove(copies[i].name);
    return path;
}

namespace {

// True when the engine cannot read the file as a sound database. A full disk
// or a missing permission is not damage: such a file must never be emptied.
bool isDamaged(const QString &file)
{
    try {
        Connection c(file);
        return integrity(c) != QLatin1String("ok");
    } catch (const EDbBusy &) {
        return false;
    } catch (const EDbError &) {
        return true;
    }
}

// A damaged data file cannot be copied through the engine; keep its bytes.
QString keepBytes(const QString &dataFile, const QString &folder)
{
    QDir().mkpath(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = QDir(folder).filePath(QStringLiteral("db-%1-damaged.tlmdb").arg(stamp));
    try {
        TSafeFile out(path);
        QFile src(dataFile), dst(out.TempPath());
        if (!src.open(QIODevice::ReadOnly))
            throw EInOutError(EInOutError::Read, dataFile, errno ? errno : EIO);
        if (!dst.open(QIODevice::WriteOnly))
            throw EInOutError(EInOutError::Write, path, errno ? errno : EIO);
        char buf[65536];
        for (;;) {
            const qint64 n = src.read(buf, sizeof buf);
            if (n < 0)
                throw EInOutError(EInOutError::Read, dataFile, errno ? errno : EIO);
            if (n > 0 && dst.write(buf, n) != n)
                throw EInOutError(EInOutError::Write, path, errno ? errno : EIO);
            if (n == 0)
                break;
        }
        dst.close();
        out.Commit();
    } catch (const EInOutError &e) {
        throw EDbError(QStringLiteral("无法先保存当前数据的副本，没有导入。\n%1").arg(e.text()));
    }
    return path;
}

} // namespace

void TDbMan::ImportFrom(const QString &fileName)
{
    const QFileInfo src(fileName);
    if (!IsDataFile(fileName)) {
        throw EDbError(QStringLiteral("“%1”不是本程序的数据文件，或者已经损坏，没有导入。\n"
                                      "当前的数据没有改变。")
                           .arg(nativePath(fileName)));
    }
    const QFileInfo live(m_dataFile);
    if (live.exists() && src.canonicalFilePath() == live.canonicalFilePath())
        return;

    // The current data first goes to the automatic copies, so that a wrong
    // choice of file can be undone.
    QString keep;
    bool damaged = false;
    if (live.isFile() && live.size() > 0) {
        try {
            keep = AutoBackup();
        } catch (const EDbBusy &) {
            throw;
        } catch (const EDbError &) {
            if (!isDamaged(m_dataFile))
                throw;
            keep = keepBytes(m_dataFile, BackupFolder(m_dataFile));
            damaged = true;
        }
    } else if (!live.exists()) {
        // An empty file is a valid empty database; the engine removes a stale
        // journal beside it instead of playing it back.
        const int fd = ::open(QFile::encodeName(m_dataFile).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            raise(nullptr, SQLITE_CANTOPEN, m_dataFile);
        ::close(fd);
    }

    auto copyInto = [this](const QString &from) {
        Connection in(from, true);
        Connection out(m_dataFile);
        copyDatabase(in, out);
    };
    try {
        copyInto(fileName);
    } catch (const EDbError &e) {
        if (!damaged || dynamic_cast<const EDbBusy *>(&e))
            throw;
        // A data file too damaged to take the copy: its bytes are kept, so
        // start it over empty and copy again.
        if (!QFile::resize(m_dataFile, 0))
            throw;
        copyInto(fileName);
    }
    setOwnerOnly(m_dataFile);

    QString check;
    try {
        Upgrade();
        Connection c(m_dataFile);
        check = integrity(c);
    } catch (const EDbError &e) {
        check = e.text();
    }
    if (check == QLatin1String("ok"))
        return;

    QString undone = QStringLiteral("当前的数据没有备份，无法恢复。");
    if (!keep.isEmpty()) {
        try {
            copyInto(keep);
            undone = QStringLiteral("原来的数据已经恢复。");
        } catch (const EDbError &) {
            undone = QStringLiteral("原来的数据无法自动恢复，请从“%1”恢复。").arg(nativePath(keep));
        }
    }
    throw EDbError(QStringLiteral("导入的文件“%1”有错误，导入没有完成。%2\n%3")
                       .arg(nativePath(fileName), undone, check));
}

namespace {

const char *const PeriodIndexSql =
    "create index [data_period] on [data] ([user],[date],[type],[id],[cate],[amount],[notes])";
const char *const PeriodIndexColumns[] = {"user", "date", "type", "id", "cate", "amount", "notes"};

bool hasUniqueNames(Connection &c)
{
    Stmt list(c, "select [name] from pragma_index_list('users') where [unique]=1");
    while (list.step()) {
        Stmt cols(c, "select [name] from pragma_index_info(?)");
        cols.bind(1, list.bytes(0));
        QStringList names;
        while (cols.step())
            names << THi::LowerAscii(cols.text(0));
        if (names == QStringList{QStringLiteral("name")})
            return true;
    }
    return false;
}

bool periodIndexIsCurrent(Connection &c)
{
    Stmt q(c, "select [name],[desc] from pragma_index_xinfo('data_period') where [key]=1 "
              "order by [seqno]");
    size_t i = 0;
    while (q.step()) {
        if (i >= std::size(PeriodIndexColumns) || q.int64(1) != 0 ||
            THi::LowerAscii(q.text(0)) != QLatin1String(PeriodIndexColumns[i]))
            return false;
        ++i;
    }
    return i == std::size(PeriodIndexColumns);
}

} // namespace

void TDbMan::Upgrade()
{
    Connection c(m_dataFile);
    const bool current = hasUniqueNames(c) && periodIndexIsCurrent(c);
    // Those reads played back a hot journal. A copy killed just as it began a
    // write can leave an empty one that the engine neither plays back nor
    // removes; while we hold the exclusive lock no writer can own it.
    const QString journal = m_dataFile + QStringLiteral("-journal");
    if (QFileInfo::exists(journal)) {
        c.exec("begin exclusive");
        QFile::remove(journal);
        c.exec("commit");
    }
    if (current)
        return;
    Transaction t(c);
    if (!hasUniqueNames(c)) {
        // Two copies could once create one name twice; the newest row is the
        // account that logged in last.
        c.exec("delete from [users] where [id] not in "
               "(select max([id]) from [users] group by [name])");
        c.exec("drop index if exists [users_name]");
        c.exec("create unique index [users_name] on [users] ([name])");
    }
    if (!periodIndexIsCurrent(c)) {
        c.exec("drop index if exists [data_period]");
        c.exec(PeriodIndexSql);
    }
    t.commit();
}

bool TDbMan::IsDataFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    struct Table {
        const char *name;
        QStringList columns;
    };
    const Table tables[] = {
        {"users", {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("pwd")}},
        {"cates",
         {QStringLiteral("id"), QStringLiteral("user"), QStringLiteral("out"),
          QStringLiteral("in")}},
        {"data",
         {QStringLiteral("id"), QStringLiteral("user"), QStringLiteral("date"),
          QStringLiteral("type"), QStringLiteral("cate"), QStringLiteral("amount"),
          QStringLiteral("notes")}}};
    try {
        Connection c(path, true);
        for (const Table &t : tables) {
            {
                Stmt kind(c, "select 1 from [sqlite_master] where [type]='table' and "
                             "lower([name])=?");
                kind.bind(1, QByteArray(t.name));
                if (!kind.step())
                    return false;
            }
            Stmt q(c, "select [name],[type],[notnull],[dflt_value],[pk] from pragma_table_info(?)");
            q.bind(1, QByteArray(t.name));
            QStringList seen;
            while (q.step()) {
                const QString name = THi::LowerAscii(q.text(0));
                const bool ours = t.columns.contains(name);
                if (name == QLatin1String("id")) {
                    // The engine numbers records only through an INTEGER PRIMARY KEY.
                    if (q.int64(4) != 1 || THi::LowerAscii(q.text(1)) != QLatin1String("integer"))
                        return false;
                } else if (q.int64(4) != 0) {
                    return false;
                }
                // An extra column that every insert would have to fill makes every save fail.
                if (!ours && q.int64(2) != 0 && q.isNull(3))
                    return false;
                if (ours)
                    seen << name;
            }
            if (seen.size() != t.columns.size())
                return false;
        }
        return true;
    } catch (const EDbError &) {
        return false;
    }
}
