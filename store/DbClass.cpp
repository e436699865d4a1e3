#include "DbClass.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QVariant>

#include <sodium.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// A second running copy may hold a write lock for a moment; wait instead of failing.
constexpr int BusyTimeoutMs = 10000;

QString errorText(const QSqlError &e)
{
    const QString db = e.databaseText();
    return db.isEmpty() ? e.text() : db;
}

QString enc(const QString &text)
{
    return THi::Base64Encode(text);
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

// Thin owner of one prepared statement on the raw handle; the hot queries read
// their rows straight from SQLite to avoid a QVariant per value.
class Stmt {
public:
    Stmt(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    void bind(int i, const QString &text)
    {
        const QByteArray u = text.toUtf8();
        if (sqlite3_bind_text(m_stmt, i, u.constData(), int(u.size()), SQLITE_TRANSIENT) !=
            SQLITE_OK)
            fail();
    }
    void bindDouble(int i, double v)
    {
        if (sqlite3_bind_double(m_stmt, i, v) != SQLITE_OK)
            fail();
    }
    void reset() { sqlite3_reset(m_stmt); }
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    QByteArray bytes(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return QByteArray(p ? p : "", sqlite3_column_bytes(m_stmt, col));
    }
    QString text(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return QString::fromUtf8(p ? p : "", sqlite3_column_bytes(m_stmt, col));
    }
    // Only for columns that hold plain ASCII (dates, base64).
    QString latin1(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return QString::fromLatin1(p ? p : "", sqlite3_column_bytes(m_stmt, col));
    }
    double number(int col) const { return sqlite3_column_double(m_stmt, col); }
    qint64 int64(int col) const { return sqlite3_column_int64(m_stmt, col); }

private:
    [[noreturn]] void fail() { throw EDbError(QString::fromUtf8(sqlite3_errmsg(m_db))); }
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

// Decodes each distinct stored text once; categories repeat on nearly every row.
class DecodeCache {
public:
    const QString &get(const QByteArray &stored)
    {
        auto it = m_map.constFind(stored);
        if (it == m_map.cend())
            it = m_map.insert(stored, THi::Base64DecodeBytes(stored));
        return it.value();
    }

private:
    QHash<QByteArray, QString> m_map;
};

QString checkedDate(const QString &date)
{
    try {
        return THi::DateToYmd(THi::YmdToDate(date));
    } catch (const EConvertError &e) {
        throw EDbError(e.text());
    }
}

QString checkedType(const QString &type)
{
    if (type != TypeExpense() && type != TypeIncome())
        throw EDbError(QStringLiteral("'%1' is not a record type").arg(type));
    return type;
}

double checkedAmount(const QString &amount)
{
    // Sums are kept in whole cents; an amount beyond the limit could overflow them.
    double v = 0;
    if (!THi::IsNumber(THi::Trim(amount), &v) || std::fabs(v) >= THi::MaxAmount)
        throw EDbError(QStringLiteral("'%1' is not a valid amount").arg(amount));
    return v;
}

qint64 checkedId(const QString &id)
{
    bool ok = false;
    const qint64 v = THi::Trim(id).toLongLong(&ok);
    if (!ok)
        throw EDbError(QStringLiteral("'%1' is not a valid record id").arg(id));
    return v;
}

QString cateColumn(const QString &kind)
{
    if (kind == KindOut())
        return QStringLiteral("[out]");
    if (kind == KindIn())
        return QStringLiteral("[in]");
    throw EDbError(QStringLiteral("'%1' is not a category list").arg(kind));
}

// One engine connection, opened for one operation and closed with it.
class Connection {
public:
    explicit Connection(const QString &file)
    {
        // SQLite would quietly create a missing file; a missing data file is an error.
        if (!QFileInfo(file).isFile())
            throw EDbError(QStringLiteral("unable to open database file: %1").arg(file));
        static std::atomic<int> serial{0};
        m_name = QStringLiteral("tallimo-db-%1").arg(++serial);
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(file);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        if (!m_db.open()) {
            const QString why = errorText(m_db.lastError());
            close();
            throw EDbError(why);
        }
    }
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    QSqlQuery run(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            throw EDbError(errorText(q.lastError()));
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            throw EDbError(errorText(q.lastError()));
        return q;
    }

    sqlite3 *handle()
    {
        const QVariant v = m_db.driver()->handle();
        if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
            throw EDbError(QStringLiteral("The database driver gives no SQLite handle"));
        sqlite3 *h = *static_cast<sqlite3 *const *>(v.constData());
        if (!h)
            throw EDbError(QStringLiteral("The database is not open"));
        return h;
    }

private:
    void close()
    {
        if (m_db.isValid())
            m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    QString m_name;
    QSqlDatabase m_db;
};

// Rolls back unless committed; every multi-statement write goes through one.
class Transaction {
public:
    explicit Transaction(Connection &c) : m_c(c)
    {
        // IMMEDIATE takes the write lock up front, so the busy timeout applies to it.
        m_c.run(QStringLiteral("begin immediate"));
    }
    ~Transaction()
    {
        if (!m_done) {
            try {
                m_c.run(QStringLiteral("rollback"));
            } catch (...) {
            }
        }
    }
    void commit()
    {
        m_c.run(QStringLiteral("commit"));
        m_done = true;
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

private:
    Connection &m_c;
    bool m_done = false;
};

} // namespace

TDbMan::TDbMan(const QString &dataFile) : m_dataFile(dataFile) {}

TDbMan::~TDbMan() = default;

// ---------------------------------------------------------------------------
// Passwords

QString TDbMan::HashPassword(const QString &password)
{
    if (sodium_init() < 0)
        throw EDbError(QStringLiteral("The password library could not start"));
    const QByteArray pwd = THi::ToBytes(password);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pwd.constData(), quint64(pwd.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw EDbError(QStringLiteral("Out of memory while hashing the password"));
    return QString::fromLatin1(out);
}

bool TDbMan::VerifyPassword(const QString &hash, const QString &password)
{
    if (sodium_init() < 0)
        throw EDbError(QStringLiteral("The password library could not start"));
    const QByteArray h = hash.toLatin1();
    const QByteArray pwd = THi::ToBytes(password);
    return crypto_pwhash_str_verify(h.constData(), pwd.constData(), quint64(pwd.size())) == 0;
}

// ---------------------------------------------------------------------------
// Accounts and category lists

QString TDbMan::ListUsers()
{
    Connection c(m_dataFile);
    QSqlQuery q = c.run(QStringLiteral("select [name] from [users] order by [id] desc"));
    QStringList names;
    while (q.next())
        names << THi::Base64Decode(q.value(0).toString());
    return THi::Trim(names.join(QStringLiteral("\r\n")));
}

bool TDbMan::CheckLogin(const QString &name, const QString &password)
{
    QStringList hashes;
    {
        Connection c(m_dataFile);
        QSqlQuery q =
            c.run(QStringLiteral("select [pwd] from [users] where [name]=?"), {enc(name)});
        while (q.next())
            hashes << q.value(0).toString();
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
    QSqlQuery q =
        c.run(QStringLiteral("select 1 from [users] where [name]=? limit 1"), {enc(name)});
    return q.next();
}

bool TDbMan::AddUser(const QString &name, const QString &password)
{
    const QString hash = HashPassword(password);
    {
        Connection c(m_dataFile);
        c.run(QStringLiteral("insert into [users] ([name],[pwd]) values (?,?)"), {enc(name), hash});
    }
    return UserExists(name);
}

bool TDbMan::DeleteUser(const QString &name)
{
    {
        Connection c(m_dataFile);
        c.run(QStringLiteral("delete from [users] where [name]=?"), {enc(name)});
    }
    return !UserExists(name);
}

void TDbMan::RewriteUser(const QString &name, const QString &password)
{
    const QString hash = HashPassword(password);
    Connection c(m_dataFile);
    Transaction t(c);
    c.run(QStringLiteral("delete from [users] where [name]=?"), {enc(name)});
    c.run(QStringLiteral("insert into [users] ([name],[pwd]) values (?,?)"), {enc(name), hash});
    t.commit();
}

QString TDbMan::GetCateList(const QString &user, const QString &kind)
{
    const QString column = cateColumn(kind);
    Connection c(m_dataFile);
    QSqlQuery q = c.run(
        QStringLiteral("select %1 from [cates] where [user]=? order by [id] limit 1").arg(column),
        {enc(user)});
    return q.next() ? THi::Base64Decode(q.value(0).toString()) : QString();
}

void TDbMan::SetCateList(const QString &user, const QString &kind, const QString &text)
{
    Connection c(m_dataFile);
    Transaction t(c);
    QString out, in;
    {
        QSqlQuery q = c.run(
            QStringLiteral("select [out],[in] from [cates] where [user]=? order by [id] limit 1"),
            {enc(user)});
        if (q.next()) {
            out = THi::Base64Decode(q.value(0).toString());
            in = THi::Base64Decode(q.value(1).toString());
        }
    }
    if (kind == KindOut())
        out = text;
    if (kind == KindIn())
        in = text;
    c.run(QStringLiteral("delete from [cates] where [user]=?"), {enc(user)});
    c.run(QStringLiteral("insert into [cates] ([user],[out],[in]) values (?,?,?)"),
          {enc(user), enc(out), enc(in)});
    t.commit();
}

// ---------------------------------------------------------------------------
// Ledger records

namespace {

const char *InsertRecordSql =
    "insert into [data] ([user],[date],[type],[cate],[amount],[notes]) values (?,?,?,?,?,?)";

void insertRecord(Connection &c, const QString &encUser, const QString &date, const QString &type,
                  const QString &cate, const QString &amount, const QString &notes)
{
    c.run(QLatin1String(InsertRecordSql), {encUser, checkedDate(date), checkedType(type), enc(cate),
                                           checkedAmount(amount), enc(notes)});
}

} // namespace

void TDbMan::AddRecord(const QString &user, const QString &date, const QString &type,
                       const QString &cate, const QString &amount, const QString &notes)
{
    Connection c(m_dataFile);
    insertRecord(c, enc(user), date, type, cate, amount, notes);
}

void TDbMan::AddRecords(const QString &user, const TRowList &rows)
{
    Connection c(m_dataFile);
    if (rows.isEmpty())
        return;
    // One transaction: a failure half-way must not leave the first rows stored,
    // or saving the pending list again would store them twice.
    Transaction t(c);
    const QString encUser = enc(user);
    sqlite3 *h = c.handle();
    Stmt ins(h, InsertRecordSql);
    for (const TRow &row : rows) {
        if (row.size() < 5)
            throw EDbError(QStringLiteral("A record row needs five values"));
        ins.bind(1, encUser);
        ins.bind(2, checkedDate(row.at(0)));
        ins.bind(3, checkedType(row.at(1)));
        ins.bind(4, enc(row.at(2)));
        const double amount = checkedAmount(row.at(3));
        ins.bindDouble(5, amount);
        ins.bind(6, enc(row.at(4)));
        ins.step();
        ins.reset();
    }
    t.commit();
}

void TDbMan::DeleteRecord(const QString & /*user*/, const QString &id)
{
    const qint64 key = checkedId(id);
    Connection c(m_dataFile);
    c.run(QStringLiteral("delete from [data] where [id]=?"), {key});
}

void TDbMan::ReplaceRecord(const QString &id, const QString &user, const QString &date,
                           const QString &type, const QString &cate, const QString &amount,
                           const QString &notes)
{
    const qint64 key = checkedId(id);
    Connection c(m_dataFile);
    Transaction t(c);
    c.run(QStringLiteral("delete from [data] where [id]=?"), {key});
    insertRecord(c, enc(user), date, type, cate, amount, notes);
    t.commit();
}

namespace {

// Sums of one category of one type within the period, in first-seen order.
struct CateSum {
    QByteArray stored;
    qint64 cents = 0;
    qint64 count = 0;
};

void rankInto(std::vector<CateSum> &groups, const QString &typeWord, qint64 totalCents,
              DecodeCache &names, TRowList &rows)
{
    std::stable_sort(groups.begin(), groups.end(),
                     [](const CateSum &a, const CateSum &b) { return a.cents > b.cents; });
    rows.reserve(rows.size() + qsizetype(groups.size()));
    for (const CateSum &g : groups) {
        rows.append(TRow{typeWord, names.get(g.stored), QString::number(g.count),
                         THi::FormatCents(g.cents), shareText(g.cents, totalCents)});
    }
}

} // namespace

TPeriod TDbMan::QueryPeriod(const QString &user, const QString &start, const QString &end)
{
    TPeriod p;
    TRowList &dayRows = p.DayRows, &monthRows = p.MonthRows;
    TRecordList &recRows = p.RecRows;
    Connection c(m_dataFile);
    // One range scan yields every figure: records come in date order, so the
    // day and month rows close as the date moves on, and the totals and the
    // rankings add up along the way. Sums are kept in whole cents, exactly.
    Stmt q(c.handle(), "select [id],[date],[type],[cate],[amount],[notes] from [data] "
                       "where [user]=? and [date]>=? and [date]<=? "
                       "order by [date] asc,[type] desc,[id] asc");
    q.bind(1, enc(user));
    q.bind(2, start);
    q.bind(3, end);

    const QString wordOut = TypeExpense();
    const QString wordIn = TypeIncome();
    const QByteArray rawOut = wordOut.toUtf8();
    const QByteArray rawIn = wordIn.toUtf8();

    DecodeCache names;
    QHash<QByteArray, size_t> outIndex, inIndex;
    std::vector<CateSum> outGroups, inGroups;
    qint64 outCents = 0, inCents = 0;

    QString day, month, lastDate;
    int dateIndex = -1;
    QHash<QByteArray, int> cateIndex;
    qint64 dayIn = 0, dayOut = 0, monthIn = 0, monthOut = 0;
    auto closeDay = [&]() {
        if (!day.isEmpty())
            dayRows.append(TRow{day, THi::FormatCents(dayIn), THi::FormatCents(dayOut)});
    };
    auto closeMonth = [&]() {
        if (!month.isEmpty())
            monthRows.append(TRow{month, THi::FormatCents(monthIn), THi::FormatCents(monthOut)});
    };

    while (q.step()) {
        const QString date = q.latin1(1);
        const QByteArray type = q.bytes(2);
        const QByteArray cate = q.bytes(3);
        const qint64 cents = toCents(q.number(4));
        const bool isOut = type == rawOut;
        const bool isIn = type == rawIn;

        if (date != day) {
            closeDay();
            day = date;
            dayIn = dayOut = 0;
            const QString m = date.left(7);
            if (m != month) {
                closeMonth();
                month = m;
                monthIn = monthOut = 0;
            }
        }

        if (isOut || isIn) {
            auto &index = isOut ? outIndex : inIndex;
            auto &groups = isOut ? outGroups : inGroups;
            auto it = index.constFind(cate);
            if (it == index.cend()) {
                it = index.insert(cate, groups.size());
                groups.push_back(CateSum{cate, 0, 0});
            }
            CateSum &g = groups[it.value()];
            g.cents += cents;
            ++g.count;
            (isOut ? outCents : inCents) += cents;
            (isOut ? dayOut : dayIn) += cents;
            (isOut ? monthOut : monthIn) += cents;
        }

        // The record list compares the type trimmed and ASCII-lower-cased.
        const QString typeWord = isOut  ? wordOut
                                 : isIn ? wordIn
                                        : THi::LowerAscii(THi::Trim(QString::fromUtf8(type)));
        const QByteArray notes = q.bytes(5);
        if (date != lastDate) {
            lastDate = date;
            dateIndex = recRows.AddDate(date);
        }
        auto ci = cateIndex.constFind(cate);
        if (ci == cateIndex.cend())
            ci = cateIndex.insert(cate, recRows.AddCate(names.get(cate)));
        recRows.Append(q.int64(0), cents, dateIndex, ci.value(),
                       typeWord == wordOut  ? TRecordList::Expense
                       : typeWord == wordIn ? TRecordList::Income
                                            : TRecordList::Other,
                       notes.constData(), int(notes.size()));
    }
    closeDay();
    closeMonth();

    p.OutTotal = double(outCents) / 100.0;
    p.InTotal = double(inCents) / 100.0;
    rankInto(outGroups, wordOut, outCents, names, p.OutCateRows);
    rankInto(inGroups, wordIn, inCents, names, p.InCateRows);
    return p;
}

void TDbMan::QueryPeriod(const QString &user, const QString &start, const QString &end,
                         double &outTotal, double &inTotal, TRowList &dayRows, TRowList &monthRows,
                         TRowList &recRows, TRowList &outCateRows, TRowList &inCateRows)
{
    TPeriod p = QueryPeriod(user, start, end);
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

void TDbMan::QueryCateDetail(const QString &user, const QString &start, const QString &end,
                             const QString &type, const QString &cate, TRowList &rows)
{
    Connection c(m_dataFile);
    Stmt q(c.handle(), "select [date],[amount],[notes] from [data] "
                       "where [user]=? and [date]>=? and [date]<=? and [type]=? and [cate]=? "
                       "order by [date] asc,[id] asc");
    q.bind(1, enc(user));
    q.bind(2, start);
    q.bind(3, end);
    q.bind(4, type);
    q.bind(5, enc(cate));
    while (q.step()) {
        const QByteArray notes = q.bytes(2);
        rows.append(TRow{q.latin1(0), cate, THi::FormatCents(toCents(q.number(1))),
                         notes.isEmpty() ? QString() : THi::Base64DecodeBytes(notes)});
    }
}

// ---------------------------------------------------------------------------
// Backup

void TDbMan::BackupTo(const QString &fileName)
{
    // VACUUM INTO writes a consistent snapshot but refuses an existing target:
    // write beside it, then replace it in one rename.
    QString tmpName;
    {
        QTemporaryFile probe(fileName + QStringLiteral(".XXXXXX"));
        if (!probe.open())
            throw EDbError(
                QStringLiteral("Cannot write %1: %2").arg(fileName, probe.errorString()));
        tmpName = probe.fileName();
    }
    {
        Connection c(m_dataFile);
        c.run(QStringLiteral("vacuum into ?"), {tmpName});
    }
    if (std::rename(QFile::encodeName(tmpName).constData(),
                    QFile::encodeName(fileName).constData()) != 0) {
        const int err = errno;
        QFile::remove(tmpName);
        throw EInOutError(err);
    }
}

// ---------------------------------------------------------------------------
// Interface pinned ahead of its implementation.

QString TDbMan::MergeCate(const QString &, const QString &, const QString &)
{
    throw EDbError(QStringLiteral("MergeCate: not implemented yet"));
}

QString TDbMan::BackupFolder(const QString &dataFile)
{
    return QFileInfo(dataFile).absolutePath() + QStringLiteral("/backups");
}

QString TDbMan::AutoBackup()
{
    throw EDbError(QStringLiteral("AutoBackup: not implemented yet"));
}

void TDbMan::ImportFrom(const QString &)
{
    throw EDbError(QStringLiteral("ImportFrom: not implemented yet"));
}

void TDbMan::Upgrade() {}

bool TDbMan::IsDataFile(const QString &)
{
    throw EDbError(QStringLiteral("IsDataFile: not implemented yet"));
}
