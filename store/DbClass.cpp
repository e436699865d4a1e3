#include "DbClass.h"

#include "PgConn.h"
#include "Placement.h"
#include "RowImport.h"
#include "SafeFile.h"
#include "Schema.h"
#include "SqliteConn.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <sodium.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A second running copy may hold a write lock for a moment; wait instead of failing.
std::atomic<int> busyTimeoutMs{10000};

TDbMan::TWaitHook &waitHook()
{
    static TDbMan::TWaitHook hook;
    return hook;
}

} // namespace

void CallWaitHook(bool waiting) noexcept
{
    // The hook may run events, and one of them another store operation that
    // waits as well: that one waits without calling in again.
    static thread_local bool inside = false;
    if (inside || !waitHook())
        return;
    inside = true;
    try {
        waitHook()(waiting);
    } catch (...) {
    }
    inside = false;
}

int BusyTimeoutMs()
{
    return busyTimeoutMs;
}

QString BusyText()
{
    return QStringLiteral("数据文件正被另一个程序写入，请稍后再试。");
}

namespace {

QByteArray enc(const QString &text)
{
    return THi::Base64Encode(text).toLatin1();
}

qint64 toCents(double amount)
{
    return std::llround(amount * 100.0);
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

// The amount as stored: exactly the cents again when read (toCents).
double checkedAmount(qint64 cents)
{
    // Sums are kept in whole cents; an amount at the limit could overflow them.
    if (std::fabs(double(cents)) >= THi::MaxAmount * 100.0)
        throw EDbError(QStringLiteral("金额“%1”无效，记录没有保存。").arg(THi::FormatCents(cents)));
    return double(cents) / 100.0;
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
        return "\"out\"";
    if (kind == KindIn())
        return "\"in\"";
    throw EDbError(QStringLiteral("“%1”不是类别列表。").arg(kind));
}

const char *const InsertRecordSql =
    "insert into \"data\" (\"user\",\"date\",\"type\",\"cate\",\"amount\",\"notes\") values "
    "(?,?,?,?,?,?)";

// Checks and binds one record's values on an insert statement and runs it.
void insertRecord(Stmt &ins, const QByteArray &encUser, const QString &date, const QString &type,
                  const QString &cate, qint64 cents, const QString &notes)
{
    const QString day = checkedDate(date);
    const QString word = checkedType(type);
    const double value = checkedAmount(cents);
    ins.bind(1, encUser).bind(2, day).bind(3, word).bind(4, enc(cate)).bind(5, value);
    ins.bind(6, enc(notes));
    ins.step();
    ins.reset();
}

// One element of a PostgreSQL array literal ("{...}"), quoted.
void appendArrayItem(QByteArray &array, const QByteArray &value)
{
    array += array.isEmpty() ? "{\"" : ",\"";
    for (char ch : value) {
        if (ch == '"' || ch == '\\')
            array += '\\';
        array += ch;
    }
    array += '"';
}

void setOwnerOnly(const QString &file)
{
    QFile::setPermissions(file, TSafeFile::OwnerOnly);
}

// Copies the whole database of one connection into another's through the
// engine's backup, which locks the target, first rolls back a journal left
// there by a crash, and replaces its pages in one transaction.
void copyDatabase(SqliteConn &from, SqliteConn &to)
{
    sqlite3_backup *b = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (!b)
        to.fail(sqlite3_errcode(to.handle()));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(int(busyTimeoutMs));
    int rc = SQLITE_OK;
    bool waited = false;
    for (;;) {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_OK)
            continue;
        // The source is being written by another copy: wait for it like a busy handler.
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) &&
            std::chrono::steady_clock::now() < deadline) {
            waited = true;
            CallWaitHook(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        break;
    }
    // finish rolls the target back when the copy did not complete.
    const int frc = sqlite3_backup_finish(b);
    if (waited)
        CallWaitHook(false);
    if (rc != SQLITE_DONE)
        RaiseSqlite(nullptr, rc, to.file());
    if (frc != SQLITE_OK)
        RaiseSqlite(nullptr, frc, to.file());
}

QString integrity(SqliteConn &c)
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

QString TDbMan::ReadOnlyText()
{
    return QStringLiteral("账本现在是只读的：登录时无法写入数据（磁盘已满或数据文件只读），"
                          "这次操作没有保存任何内容。\n可以查看记录，也可以用“备份数据”"
                          "把账本备份到别的磁盘；腾出磁盘空间后重新启动 Tallimo 即可保存。");
}

void TDbMan::RefuseWrite() const
{
    if (m_readOnly)
        throw EDbCannotWrite(ReadOnlyText());
}

bool TDbMan::IsServer(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://")) ||
           location.startsWith(QLatin1String("postgres://"));
}

QString TDbMan::ShownName(const QString &location)
{
    return IsServer(location) ? PgConn::ShownUrl(location) : NativePath(location);
}

TConnRef TDbMan::Connect()
{
    if (!IsServer(m_dataFile))
        return TConnRef(std::make_unique<SqliteConn>(m_dataFile));
    // A server connection is kept between operations; one that was lost is
    // opened again.
    if (m_server && !m_server->usable())
        m_server.reset();
    if (!m_server)
        m_server = std::make_unique<PgConn>(m_dataFile);
    return TConnRef(*m_server);
}

bool TDbMan::IsEmpty()
{
    TConnRef c = Connect();
    Stmt q(c, "select 1 from \"users\" union all select 1 from \"cates\" "
              "union all select 1 from \"data\" limit 1");
    return !q.step();
}

TStoreCounts TDbMan::Counts()
{
    TConnRef c = Connect();
    Stmt q(c, "select (select count(*) from \"users\"), (select count(*) from \"cates\"), "
              "(select count(*) from \"data\")");
    TStoreCounts n;
    if (q.step()) {
        n.Users = q.int64(0);
        n.CateLists = q.int64(1);
        n.Records = q.int64(2);
    }
    return n;
}

void WriteTransaction(TConn &c, const std::function<void()> &body)
{
    constexpr int attempts = 10;
    for (int attempt = 1;; ++attempt) {
        c.begin();
        try {
            body();
            c.commit();
            return;
        } catch (const EDbRetry &) {
            c.rollback();
            if (attempt >= attempts)
                throw EDbBusy(BusyText());
        } catch (...) {
            c.rollback();
            throw;
        }
        // Two computers that collided should not collide again at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(
            5 * attempt + int(QRandomGenerator::global()->bounded(10 * attempt))));
    }
}

void TDbMan::SetBusyTimeout(int ms)
{
    busyTimeoutMs = ms;
}

void TDbMan::SetWaitHook(TWaitHook hook)
{
    waitHook() = std::move(hook);
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
    TConnRef c = Connect();
    Stmt q(c, "select \"name\" from \"users\" order by \"id\" desc");
    QStringList names;
    while (q.step())
        names << q.decoded(0);
    return THi::Trim(THi::JoinLines(names));
}

bool TDbMan::CheckLogin(const QString &name, const QString &password)
{
    QStringList hashes;
    {
        TConnRef c = Connect();
        Stmt q(c, "select \"pwd\" from \"users\" where \"name\"=?");
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
    TConnRef c = Connect();
    Stmt q(c, "select 1 from \"users\" where \"name\"=? limit 1");
    q.bind(1, enc(name));
    return q.step();
}

bool TDbMan::AddUser(const QString &name, const QString &password)
{
    RefuseWrite();
    const QString hash = HashPassword(password);
    const QString exists =
        QStringLiteral(
            "用户名“%1”已经有了，不能再建一个同名的账户。\n请用这个名字登录，或者换一个名字。")
            .arg(name);
    {
        TConnRef c = Connect();
        WriteTransaction(c, [&] {
            {
                // Checked inside the write lock; the unique index catches the rest.
                Stmt q(c, "select 1 from \"users\" where \"name\"=? limit 1");
                q.bind(1, enc(name));
                if (q.step())
                    throw EUserExists(exists);
            }
            Stmt ins(c, "insert into \"users\" (\"name\",\"pwd\") values (?,?)");
            ins.bind(1, enc(name)).bind(2, hash);
            try {
                ins.step();
            } catch (const EDbUnique &) {
                throw EUserExists(exists);
            }
        });
    }
    return UserExists(name);
}

bool TDbMan::DeleteUser(const QString &name)
{
    RefuseWrite();
    {
        TConnRef c = Connect();
        Stmt del(c, "delete from \"users\" where \"name\"=?");
        del.bind(1, enc(name));
        del.step();
    }
    return !UserExists(name);
}

void TDbMan::RewriteUser(const QString &name, const QString &password)
{
    RefuseWrite();
    const QString hash = HashPassword(password);
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt del(c, "delete from \"users\" where \"name\"=?");
        del.bind(1, enc(name));
        del.step();
        Stmt ins(c, "insert into \"users\" (\"name\",\"pwd\") values (?,?)");
        ins.bind(1, enc(name)).bind(2, hash);
        ins.step();
    });
}

QString TDbMan::GetCateList(const QString &user, const QString &kind)
{
    const QByteArray sql = QByteArray("select ") + cateColumn(kind) +
                           " from \"cates\" where \"user\"=? order by \"id\" limit 1";
    TConnRef c = Connect();
    Stmt q(c, sql.constData());
    q.bind(1, enc(user));
    return q.step() ? q.decoded(0) : QString();
}

namespace {

// Both lists of a user, read inside the caller's transaction.
void readCates(TConn &c, const QByteArray &encUser, QString &out, QString &in)
{
    Stmt q(c, "select \"out\",\"in\" from \"cates\" where \"user\"=? order by \"id\" limit 1");
    q.bind(1, encUser);
    if (q.step()) {
        out = q.decoded(0);
        in = q.decoded(1);
    }
}

void writeCates(TConn &c, const QByteArray &encUser, const QString &out, const QString &in)
{
    Stmt del(c, "delete from \"cates\" where \"user\"=?");
    del.bind(1, encUser);
    del.step();
    Stmt ins(c, "insert into \"cates\" (\"user\",\"out\",\"in\") values (?,?,?)");
    ins.bind(1, encUser).bind(2, enc(out)).bind(3, enc(in));
    ins.step();
}

} // namespace

void TDbMan::SetCateList(const QString &user, const QString &kind, const QString &text)
{
    RefuseWrite();
    cateColumn(kind); // refuses an unknown kind before anything is written
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        QString out, in;
        readCates(c, encUser, out, in);
        (kind == KindOut() ? out : in) = text;
        writeCates(c, encUser, out, in);
    });
}

bool TDbMan::SetCateListIf(const QString &user, const QString &kind, const QString &expected,
                           const QString &text)
{
    cateColumn(kind);
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    bool written = false;
    WriteTransaction(c, [&] {
        written = false;
        QString out, in;
        readCates(c, encUser, out, in);
        QString &list = kind == KindOut() ? out : in;
        if (list != expected)
            return;
        list = text;
        writeCates(c, encUser, out, in);
        written = true;
    });
    return written;
}

QString TDbMan::MergeCate(const QString &user, const QString &kind, const QString &name)
{
    RefuseWrite();
    cateColumn(kind);
    const QByteArray encUser = enc(user);
    const QString wanted = THi::LowerAscii(THi::Trim(name));
    TConnRef c = Connect();
    QString result;
    WriteTransaction(c, [&] {
        QString out, in;
        readCates(c, encUser, out, in);
        QString &list = kind == KindOut() ? out : in;
        result = list;
        if (wanted.isEmpty())
            return;
        QStringList items = THi::SplitLines(list);
        for (const QString &item : items) {
            if (THi::LowerAscii(THi::Trim(item)) == wanted)
                return; // there already: nothing to write
        }
        items.prepend(name);
        list = THi::Trim(THi::JoinLines(items));
        result = list;
        writeCates(c, encUser, out, in);
    });
    return result;
}

QString TDbMan::RenameCate(const QString &user, const QString &type, const QString &from,
                           const QString &to)
{
    const QString word = checkedType(type);
    const QString name = THi::CateName(to);
    if (name.isEmpty())
        throw EDbError(QStringLiteral("类别名称“%1”无效：它不能是空的，也不能分成几行。").arg(to));
    const QString kind = word == TypeExpense() ? KindOut() : KindIn();
    const QByteArray encUser = enc(user);
    const QString oldKey = THi::LowerAscii(THi::Trim(from));
    const QString newKey = THi::LowerAscii(name);
    TConnRef c = Connect();
    QString result;
    WriteTransaction(c, [&] {
        if (from != name) {
            Stmt upd(c, "update \"data\" set \"cate\"=? where \"user\"=? and \"type\"=? and "
                        "\"cate\"=?");
            upd.bind(1, enc(name)).bind(2, encUser).bind(3, word).bind(4, enc(from));
            upd.step();
        }
        QString out, in;
        readCates(c, encUser, out, in);
        QString &list = kind == KindOut() ? out : in;
        const QStringList items = THi::SplitLines(list);
        // The new name takes the old one's place, unless it is listed already.
        bool listed = false;
        for (const QString &item : items) {
            const QString key = THi::LowerAscii(THi::Trim(item));
            if (key == newKey && key != oldKey)
                listed = true;
        }
        QStringList kept;
        for (const QString &item : items) {
            if (THi::LowerAscii(THi::Trim(item)) != oldKey) {
                kept.append(item);
            } else if (!listed) {
                kept.append(name);
                listed = true;
            }
        }
        const QString renamed = THi::Trim(THi::JoinLines(kept));
        result = list;
        if (renamed == list)
            return;
        list = renamed;
        result = list;
        writeCates(c, encUser, out, in);
    });
    return result;
}

qint64 TDbMan::CountCate(const QString &user, const QString &type, const QString &cate)
{
    TConnRef c = Connect();
    Stmt q(c, "select count(*) from \"data\" where \"user\"=? and \"type\"=? and \"cate\"=?");
    q.bind(1, enc(user)).bind(2, type).bind(3, enc(cate));
    return q.step() ? q.int64(0) : 0;
}

// ---------------------------------------------------------------------------
// Ledger records

void TDbMan::AddRecord(const QString &user, const QString &date, const QString &type,
                       const QString &cate, qint64 cents, const QString &notes)
{
    RefuseWrite();
    TConnRef c = Connect();
    Stmt ins(c, InsertRecordSql);
    insertRecord(ins, enc(user), date, type, cate, cents, notes);
}

void TDbMan::AddRecords(const QString &user, const TBatchRows &rows)
{
    RefuseWrite();
    TConnRef c = Connect();
    if (rows.isEmpty())
        return;
    // One transaction: a failure half-way must not leave the first rows stored,
    // or saving the pending list again would store them twice.
    const QByteArray encUser = enc(user);
    if (IsServer(m_dataFile)) {
        // One statement for the whole batch: a round trip per line would
        // cost more than the server's work.
        QByteArray dates, types, cates, amounts, notes;
        for (const TBatchRow &row : rows) {
            appendArrayItem(dates, checkedDate(row.Date).toLatin1());
            appendArrayItem(types, checkedType(row.Type).toUtf8());
            appendArrayItem(cates, enc(row.Cate));
            // 17 digits give back the very double the data file stores.
            appendArrayItem(amounts, QByteArray::number(checkedAmount(row.Cents), 'g', 17));
            appendArrayItem(notes, enc(row.Notes));
        }
        for (QByteArray *a : {&dates, &types, &cates, &amounts, &notes})
            a->append('}');
        WriteTransaction(c, [&] {
            // Ids follow the lines' order, as line by line.
            Stmt ins(c, "insert into \"data\" (\"user\",\"date\",\"type\",\"cate\",\"amount\","
                        "\"notes\") select ?, d, t, c, a, n from unnest(?::text[], ?::text[], "
                        "?::text[], ?::float8[], ?::text[]) with ordinality as u(d, t, c, a, n, i) "
                        "order by i");
            ins.bind(1, encUser).bind(2, dates).bind(3, types).bind(4, cates).bind(5, amounts);
            ins.bind(6, notes);
            ins.step();
        });
        return;
    }
    WriteTransaction(c, [&] {
        Stmt ins(c, InsertRecordSql);
        for (const TBatchRow &row : rows)
            insertRecord(ins, encUser, row.Date, row.Type, row.Cate, row.Cents, row.Notes);
    });
}

void TDbMan::DeleteRecord(const QString &user, const QString &id)
{
    RefuseWrite();
    const qint64 key = checkedId(id);
    TConnRef c = Connect();
    Stmt del(c, "delete from \"data\" where \"id\"=? and \"user\"=?");
    del.bind(1, key).bind(2, enc(user));
    del.step();
}

void TDbMan::ReplaceRecord(const QString &id, const QString &user, const QString &date,
                           const QString &type, const QString &cate, qint64 cents,
                           const QString &notes)
{
    RefuseWrite();
    const qint64 key = checkedId(id);
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        Stmt del(c, "delete from \"data\" where \"id\"=? and \"user\"=?");
        del.bind(1, key).bind(2, encUser);
        del.step();
        if (c->changes() == 0) {
            throw EDbError(
                QStringLiteral("要修改的记录已经不在了（可能已在另一个窗口中删除或修改），"
                               "没有保存任何改动。\n请重新查看后再修改。"));
        }
        Stmt ins(c, InsertRecordSql);
        insertRecord(ins, encUser, date, type, cate, cents, notes);
    });
}

namespace {

// Sums of one category of one type within the period.
struct CateSum {
    int cate = 0; // index into the record list's category table
    qint64 cents = 0;
    qint64 count = 0;
};

void rankInto(std::vector<CateSum> &groups, const QString &typeWord, qint64 totalCents,
              const TRecordList &recs, TRankRows &rows)
{
    // Groups come in first-seen order; equal sums keep it.
    std::stable_sort(groups.begin(), groups.end(),
                     [](const CateSum &a, const CateSum &b) { return a.cents > b.cents; });
    rows.reserve(rows.size() + qsizetype(groups.size()));
    for (const CateSum &g : groups)
        rows.append(TRankRow{typeWord, recs.CateName(g.cate), g.count, g.cents, totalCents});
}

// Day and month rows share one layout: the key, then the two sums.
static_assert(int(DayDate) == int(MonthMonth) && int(DayIn) == int(MonthIn) &&
              int(DayOut) == int(MonthOut) && int(DayCols) == int(MonthCols));

bool sameBytes(const char *p, int n, const QByteArray &b)
{
    return n == b.size() && std::memcmp(p, b.constData(), size_t(n)) == 0;
}

} // namespace

TPeriod TDbMan::QueryPeriod(const QString &user, const QString &start, const QString &end)
{
    TPeriod p;
    TConnRef c = Connect();
    // One range scan of the covering index yields every figure: records come
    // in date order, so the day and month rows close as the date moves on,
    // and the totals and the rankings add up along the way. Sums are kept in
    // whole cents, exactly. Texts are made once per distinct value.
    Stmt q(c,
           "select \"id\",\"date\",\"type\",\"cate\",\"amount\",\"notes\" from \"data\" "
           "where \"user\"=? and \"date\">=? and \"date\"<=? "
           "order by \"date\" asc,\"type\" asc,\"id\" asc",
           Stmt::Streamed);
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
            p.DayRows.append(TSumRow{day, dayIn, dayOut});
    };
    auto closeMonth = [&]() {
        if (!month.isEmpty())
            p.MonthRows.append(TSumRow{month, monthIn, monthOut});
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

    p.OutCents = outCents;
    p.InCents = inCents;
    rankInto(outGroups, wordOut, outCents, recs, p.OutCateRows);
    rankInto(inGroups, wordIn, inCents, recs, p.InCateRows);
    return p;
}

TDetailRows TDbMan::QueryCateDetail(const QString &user, const QString &start, const QString &end,
                                    const QString &type, const QString &cate)
{
    TConnRef c = Connect();
    // The covering index yields these rows by date and, the type being fixed,
    // by id within a date; the engine cannot see that and would sort them
    // again, so the order is checked (and made, should an index be missing) here.
    Stmt q(c, "select \"date\",\"id\",\"amount\",\"notes\" from \"data\" "
              "where \"user\"=? and \"date\">=? and \"date\"<=? and \"type\"=? and \"cate\"=?");
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
    TDetailRows rows;
    rows.reserve(qsizetype(hits.size()));
    for (const Hit &h : hits) {
        rows.append(TDetailRow{QString::fromLatin1(h.date), cate, toCents(h.amount),
                               h.notes.isEmpty() ? QString() : THi::Base64DecodeBytes(h.notes)});
    }
    return rows;
}

// ---------------------------------------------------------------------------
// Rows as the lists, exports and reports show them

QString TSumRow::Text(int col) const
{
    switch (col) {
    case DayDate:
        return Key;
    case DayIn:
        return THi::FormatCents(InCents);
    case DayOut:
        return THi::FormatCents(OutCents);
    default:
        return QString();
    }
}

QString TRankRow::Text(int col) const
{
    switch (col) {
    case RankType:
        return Type;
    case RankCate:
        return Cate;
    case RankCount:
        return QString::number(Count);
    case RankSum:
        return THi::FormatCents(Cents);
    case RankShare:
        return THi::FormatShare(Cents, TypeCents);
    default:
        return QString();
    }
}

QString TDetailRow::Text(int col) const
{
    switch (col) {
    case DetailDate:
        return Date;
    case DetailCate:
        return Cate;
    case DetailAmount:
        return THi::FormatCents(Cents);
    case DetailNotes:
        return Notes;
    default:
        return QString();
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

QStringList TRecordList::Row(int i) const
{
    QStringList row;
    row.reserve(RecCols);
    for (int c = 0; c < RecCols; ++c)
        row.append(Text(i, TRecCol(c)));
    return row;
}

int TRecordList::IndexOfId(qint64 id) const
{
    for (size_t i = 0; i < m_recs.size(); ++i) {
        if (m_recs[i].Id == id)
            return int(i);
    }
    return -1;
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
        if (IsServer(m_dataFile)) {
            ServerBackupInto(out.TempPath(), target);
        } else {
            SqliteConn from(m_dataFile);
            SqliteConn to(out.TempPath(), false, target);
            // The copy is new and private until renamed: a journal would only
            // be one more file to leave behind.
            to.exec("pragma journal_mode=off");
            to.exec("pragma synchronous=off");
            copyDatabase(from, to);
        }
        out.Commit();
    } catch (const EInOutError &e) {
        throw EDbError(
            QStringLiteral("备份没有完成，“%1”没有改变。\n%2").arg(NativePath(target), e.text()));
    }
}

QString TDbMan::BackupFolder(const QString &dataFile)
{
    // A server's automatic copies stay on this computer, in the data folder.
    if (IsServer(dataFile))
        return THi::AppDataDir(QLatin1String(Placement::ProductName)) + QStringLiteral("/backups");
    return QFileInfo(dataFile).absolutePath() + QStringLiteral("/backups");
}

QString TDbMan::AutoBackup()
{
    const QString folder = BackupFolder(m_dataFile);
    if (!QDir().mkpath(folder)) {
        throw EDbError(QStringLiteral("无法建立自动备份的文件夹“%1”，数据没有改变。\n"
                                      "请检查数据文件夹的权限和磁盘空间。")
                           .arg(NativePath(folder)));
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
        SqliteConn c(file);
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

QByteArray periodIndexSql()
{
    QByteArray cols;
    for (const char *col : Schema::PeriodIndexColumns())
        cols += (cols.isEmpty() ? "\"" : ",\"") + QByteArray(col) + '"';
    return "create index \"data_period\" on \"data\" (" + cols + ")";
}

// An insert of every column of one of our tables, values bound in column order.
QByteArray insertSql(const char *table)
{
    const TTableDef &t = Schema::Table(table);
    QByteArray marks = "?";
    for (size_t i = 1; i < t.Columns.size(); ++i)
        marks += ",?";
    return "insert into \"" + QByteArray(t.Name) + "\" (" + Schema::ColumnList(t) + ") values (" +
           marks + ")";
}

QByteArray raw(QByteArrayView v)
{
    return QByteArray::fromRawData(v.data(), v.size());
}

// Keeps the higher of the template's and the file's last handed-out id, so
// that ids the file's owner has seen are never handed out again.
void keepSequence(SqliteConn &to, const char *table, qint64 seq)
{
    if (seq <= 0)
        return;
    Stmt upd(to, "update \"sqlite_sequence\" set \"seq\"=max(\"seq\",?) where \"name\"=?");
    upd.bind(1, seq).bind(2, QByteArray(table));
    upd.step();
    if (to.changes() == 0) {
        Stmt add(to, "insert into \"sqlite_sequence\" (\"name\",\"seq\") values (?,?)");
        add.bind(1, QByteArray(table)).bind(2, seq);
        add.step();
    }
}

} // namespace

int DataFileVersion(SqliteConn &c)
{
    qint64 id = 0, version = 0;
    {
        Stmt q(c, "pragma application_id");
        if (q.step())
            id = q.int64(0);
    }
    {
        Stmt q(c, "pragma user_version");
        if (q.step())
            version = q.int64(0);
    }
    if (id == Schema::ApplicationId)
        return version < 1 ? 1 : int(std::min<qint64>(version, INT_MAX));
    // Every file written before versions carries neither number.
    return id == 0 && version == 0 ? 1 : 0;
}

void StampDataFile(SqliteConn &c, int version)
{
    // Pragmas take no bound values; both numbers are the program's own.
    const QByteArray sql = "pragma application_id=" + QByteArray::number(Schema::ApplicationId) +
                           ";pragma user_version=" + QByteArray::number(version);
    c.exec(sql.constData());
}

void UpgradeDataFileSchema(SqliteConn &c)
{
    const int from = DataFileVersion(c);
    if (from == 0)
        return; // another program's file: never marked as ours
    Schema::Upgrade(
        c, false, [&] { return DataFileVersion(c); }, [&](int v) { StampDataFile(c, v); }, true);
    if (from == Schema::CurrentVersion()) {
        qint64 id = 0;
        Stmt q(c, "pragma application_id");
        if (q.step())
            id = q.int64(0);
        if (id != Schema::ApplicationId)
            WriteTransaction(c, [&] { StampDataFile(c, from); });
    }
}

void CopyTemplateInto(const QString &file, const QString &shownAs)
{
    QFile tpl(Placement::TemplateFile()), out(file);
    if (!tpl.open(QIODevice::ReadOnly))
        throw EInOutError(EInOutError::Read, tpl.fileName(), errno ? errno : ENOENT);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EInOutError(EInOutError::Write, shownAs, errno ? errno : EIO);
    const QByteArray bytes = tpl.readAll();
    if (out.write(bytes) != bytes.size() || !out.flush())
        throw EInOutError(EInOutError::Write, shownAs, errno ? errno : EIO);
}

void TDbMan::WriteCandidate(TRowReader &rows, const QString &file, const QString &shownAs)
{
    try {
        CopyTemplateInto(file, shownAs);
    } catch (const EInOutError &e) {
        throw EDbError(QStringLiteral("无法建立导入用的新文件，没有导入。当前的数据没有改变。\n%1")
                           .arg(e.text()));
    }
    SqliteConn to(file, false, shownAs);
    // A private file until it has been checked: a journal would only be one
    // more file to leave behind.
    to.exec("pragma journal_mode=off");
    to.exec("pragma synchronous=off");
    to.exec("pragma cache_size=-65536");
    to.exec("begin");
    // The period index is built once after the rows, much faster than row by
    // row, and exactly as the template declares it.
    QByteArray periodIndex = periodIndexSql();
    {
        Stmt q(to, "select \"sql\" from \"sqlite_master\" where \"name\"='data_period'");
        if (q.step())
            periodIndex = q.bytes(0);
    }
    to.exec("drop index if exists \"data_period\"");
    {
        Stmt ins(to, insertSql("users").constData());
        rows.Users([&](const TImportedUser &u) {
            ins.bind(1, u.Id).bind(2, raw(u.Name)).bind(3, raw(u.Pwd));
            ins.step();
            ins.reset();
        });
    }
    {
        Stmt ins(to, insertSql("cates").constData());
        rows.Cates([&](const TImportedCates &c) {
            ins.bind(1, c.Id).bind(2, raw(c.User)).bind(3, raw(c.Out)).bind(4, raw(c.In));
            ins.step();
            ins.reset();
        });
    }
    {
        Stmt ins(to, insertSql("data").constData());
        rows.Records([&](const TImportedRecord &r) {
            ins.bind(1, r.Id).bind(2, raw(r.User)).bind(3, raw(r.Date)).bind(4, raw(r.Type));
            ins.bind(5, raw(r.Cate)).bind(6, r.Amount).bind(7, raw(r.Notes));
            ins.step();
            ins.reset();
        });
    }
    for (const TTableDef &t : Schema::Tables())
        keepSequence(to, t.Name, rows.Sequence(t.Name));
    rows.Finish();
    to.exec(periodIndex.constData());
    to.exec("commit");
    // Rows of any older version are rows of today's tables now; the steps
    // of later versions bring the new file up to the program's.
    UpgradeDataFileSchema(to);
}

void TDbMan::CheckCandidate(const QString &file, const QString &shownAs, const TStoreCounts &rows)
{
    SqliteConn c(file, true, shownAs);
    const QString report = integrity(c);
    Stmt q(c, "select (select count(*) from \"users\"), (select count(*) from \"cates\"), "
              "(select count(*) from \"data\")");
    q.step();
    if (report == QLatin1String("ok") && q.int64(0) == rows.Users && q.int64(1) == rows.CateLists &&
        q.int64(2) == rows.Records)
        return;
    throw EDbError(QStringLiteral("导入时建立的新数据没有通过检查，没有导入，当前的数据没有改变。\n"
                                  "请检查磁盘后再试。"),
                   QStringLiteral("检查结果：\n%1\n读到 %2 个账户、%3 份类别列表、%4 条记录；"
                                  "写入 %5、%6、%7。")
                       .arg(report)
                       .arg(rows.Users)
                       .arg(rows.CateLists)
                       .arg(rows.Records)
                       .arg(q.int64(0))
                       .arg(q.int64(1))
                       .arg(q.int64(2)));
}

void TDbMan::CheckImportFile(const QString &fileName)
{
    // Read only a regular file: a pipe would wait for ever, and a device or
    // a folder holds no ledger.
    struct stat sb;
    if (::stat(QFile::encodeName(fileName).constData(), &sb) != 0) {
        throw EDbError(QStringLiteral("找不到文件“%1”，没有导入。当前的数据没有改变。\n%2")
                           .arg(NativePath(fileName), qt_error_string(errno)));
    }
    if (!S_ISREG(sb.st_mode)) {
        const QString what = S_ISDIR(sb.st_mode)    ? QStringLiteral("文件夹")
                             : S_ISFIFO(sb.st_mode) ? QStringLiteral("管道")
                             : S_ISSOCK(sb.st_mode) ? QStringLiteral("套接字")
                                                    : QStringLiteral("设备");
        throw EDbError(QStringLiteral("“%1”是一个%2，不是普通的文件，不能从它恢复数据。"
                                      "当前的数据没有改变。\n请选择一个备份文件（*.tlmdb）。")
                           .arg(NativePath(fileName), what));
    }
}

void TDbMan::CheckImportVersion(const QString &fileName)
{
    int version = 1;
    {
        SqliteConn c(fileName, true);
        version = DataFileVersion(c);
    }
    // Rows of a newer release may mean what this one cannot know.
    if (version > Schema::CurrentVersion()) {
        throw EDbTooNew(Schema::TooNewText(NativePath(fileName), version),
                        QStringLiteral("没有导入，当前的数据没有改变。"));
    }
}

void TDbMan::ImportFrom(const QString &fileName, const TProgress &progress)
{
    RefuseWrite();
    CheckImportFile(fileName);
    if (!IsDataFile(fileName)) {
        throw EDbError(QStringLiteral("“%1”不是本程序的数据文件，或者已经损坏，没有导入。\n"
                                      "当前的数据没有改变。")
                           .arg(NativePath(fileName)));
    }
    CheckImportVersion(fileName);
    if (IsServer(m_dataFile)) {
        ServerImportFrom(fileName, progress);
        return;
    }
    const QFileInfo src(fileName);
    const QFileInfo live(m_dataFile);
    if (live.exists() && src.canonicalFilePath() == live.canonicalFilePath())
        return;

    // Only the chosen file's rows are taken: they go into a fresh file made
    // from our template, which is checked before it replaces anything, so a
    // kill at any moment leaves the old data or the new.
    const QString folder = live.absolutePath();
    TSafeFile::RemoveStale(folder);
    std::unique_ptr<TSafeFile> candidate;
    try {
        candidate = std::make_unique<TSafeFile>(m_dataFile + QStringLiteral(".import"));
    } catch (const EInOutError &e) {
        throw EDbError(
            QStringLiteral("无法在“%1”里建立临时文件，没有导入。当前的数据没有改变。\n%2")
                .arg(NativePath(folder), e.text()));
    }
    {
        TRowReader rows(fileName, progress);
        WriteCandidate(rows, candidate->TempPath(), m_dataFile);
        CheckCandidate(candidate->TempPath(), m_dataFile, rows.Counts());
    }

    // The current data first goes to the automatic copies, so that a wrong
    // choice of file can be undone.
    bool damaged = false;
    if (live.isFile() && live.size() > 0) {
        try {
            AutoBackup();
        } catch (const EDbBusy &) {
            throw;
        } catch (const EDbError &) {
            if (!isDamaged(m_dataFile))
                throw;
            keepBytes(m_dataFile, BackupFolder(m_dataFile));
            damaged = true;
        }
    } else if (!live.exists()) {
        // An empty file is a valid empty database; the engine removes a stale
        // journal beside it instead of playing it back.
        const int fd = ::open(QFile::encodeName(m_dataFile).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            RaiseSqlite(nullptr, SQLITE_CANTOPEN, m_dataFile);
        ::close(fd);
    }

    auto copyInto = [this](const QString &from) {
        SqliteConn in(from, true, m_dataFile);
        SqliteConn out(m_dataFile);
        copyDatabase(in, out);
    };
    try {
        copyInto(candidate->TempPath());
    } catch (const EDbError &e) {
        if (!damaged || dynamic_cast<const EDbBusy *>(&e))
            throw;
        // A data file too damaged to take the copy: its bytes are kept, so
        // start it over empty and copy again.
        if (!QFile::resize(m_dataFile, 0))
            throw;
        copyInto(candidate->TempPath());
    }
    setOwnerOnly(m_dataFile);
    Upgrade();
}

namespace {

bool hasUniqueNames(SqliteConn &c)
{
    Stmt list(c, "select \"name\" from pragma_index_list('users') where \"unique\"=1");
    while (list.step()) {
        Stmt cols(c, "select \"name\" from pragma_index_info(?)");
        cols.bind(1, list.bytes(0));
        QStringList names;
        while (cols.step())
            names << THi::LowerAscii(cols.text(0));
        if (names == QStringList{QStringLiteral("name")})
            return true;
    }
    return false;
}

bool periodIndexIsCurrent(SqliteConn &c)
{
    Stmt q(c, "select \"name\",\"desc\" from pragma_index_xinfo('data_period') where \"key\"=1 "
              "order by \"seqno\"");
    const std::vector<const char *> &cols = Schema::PeriodIndexColumns();
    size_t i = 0;
    while (q.step()) {
        if (i >= cols.size() || q.int64(1) != 0 ||
            THi::LowerAscii(q.text(0)) != QLatin1String(cols[i]))
            return false;
        ++i;
    }
    return i == cols.size();
}

} // namespace

void TDbMan::Upgrade()
{
    RefuseWrite();
    if (IsServer(m_dataFile)) {
        Connect(); // a server's tables are made, or refused, by connecting
        return;
    }
    // An import killed half-way leaves its unchecked new file beside the data file.
    TSafeFile::RemoveStale(QFileInfo(m_dataFile).absolutePath());
    SqliteConn c(m_dataFile);
    // A ledger from a newer release is left exactly as it is.
    const int version = DataFileVersion(c);
    if (version > Schema::CurrentVersion())
        throw EDbTooNew(Schema::TooNewText(NativePath(m_dataFile), version));
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
    if (!current) {
        WriteTransaction(c, [&] {
            if (!hasUniqueNames(c)) {
                // Two copies could once create one name twice; the newest row is the
                // account that logged in last.
                c.exec("delete from \"users\" where \"id\" not in "
                       "(select max(\"id\") from \"users\" group by \"name\")");
                c.exec("drop index if exists \"users_name\"");
                c.exec("create unique index \"users_name\" on \"users\" (\"name\")");
            }
            if (!periodIndexIsCurrent(c)) {
                c.exec("drop index if exists \"data_period\"");
                c.exec(periodIndexSql().constData());
            }
        });
    }
    // Schema steps change the data: a copy of it as it was goes first.
    if (version >= 1 && version < Schema::CurrentVersion())
        AutoBackup();
    UpgradeDataFileSchema(c);
}

bool TDbMan::IsDataFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    try {
        SqliteConn c(path, true);
        // Another program's mark, or a ledger marked ours that this release
        // refuses by its version (said so by the callers).
        if (DataFileVersion(c) == 0)
            return false;
        for (const TTableDef &t : Schema::Tables()) {
            {
                Stmt kind(c, "select 1 from \"sqlite_master\" where \"type\"='table' and "
                             "lower(\"name\")=?");
                kind.bind(1, QByteArray(t.Name));
                if (!kind.step())
                    return false;
            }
            Stmt q(c, "select \"name\",\"type\",\"notnull\",\"dflt_value\",\"pk\" from "
                      "pragma_table_info(?)");
            q.bind(1, QByteArray(t.Name));
            QStringList seen;
            while (q.step()) {
                const QString name = THi::LowerAscii(q.text(0));
                const bool ours = Schema::IsOurColumn(t, name);
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
            if (seen.size() != qsizetype(t.Columns.size()))
                return false;
        }
        return true;
    } catch (const EDbError &) {
        return false;
    }
}
