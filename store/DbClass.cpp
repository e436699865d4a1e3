#include "DbClass.h"

#include "Engine.h"
#include "HouseholdStore.h"
#include "SqliteConn.h" // NativePath

#include <QHash>
#include <QRandomGenerator>

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
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
                  const QString &cate, qint64 cents, const QString &notes, qint64 *newId = nullptr)
{
    const QString day = checkedDate(date);
    const QString word = checkedType(type);
    const double value = checkedAmount(cents);
    ins.bind(1, encUser).bind(2, day).bind(3, word).bind(4, enc(cate)).bind(5, value);
    ins.bind(6, enc(notes));
    // With "returning", the new record's id.
    if (ins.step() && newId)
        *newId = ins.int64(0);
    ins.reset();
}

} // namespace

qint64 InsertRecordRow(TConn &c, const QByteArray &encUser, const TBatchRow &row)
{
    Stmt ins(c, (InsertRecordSql + QByteArray(" returning \"id\"")).constData());
    qint64 id = 0;
    insertRecord(ins, encUser, row.Date, row.Type, row.Cate, row.Cents, row.Notes, &id);
    return id;
}

// One element of a PostgreSQL array literal ("{...}"), quoted.
void AppendArrayItem(QByteArray &array, const QByteArray &value)
{
    array += array.isEmpty() ? "{\"" : ",\"";
    for (char ch : value) {
        if (ch == '"' || ch == '\\')
            array += '\\';
        array += ch;
    }
    array += '"';
}

std::unique_ptr<TEngine> TEngine::For(const QString &location)
{
    if (location.startsWith(QLatin1String("postgresql://")) ||
        location.startsWith(QLatin1String("postgres://")))
        return NewServerEngine(location);
    return NewFileEngine(location);
}

bool TEngine::IsEmpty()
{
    TConnRef c = Connect();
    Stmt q(c, "select 1 from \"users\" union all select 1 from \"cates\" "
              "union all select 1 from \"data\" limit 1");
    return !q.step();
}

TDbMan::TDbMan(const QString &location) : m_engine(TEngine::For(location)) {}

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

QString TDbMan::Location() const
{
    return m_engine->Location();
}

QString TDbMan::ShownName(const QString &location)
{
    return TEngine::For(location)->ShownName();
}

bool TDbMan::IsLocalFile() const
{
    return !m_engine->IsServer();
}

bool TDbMan::IsMissing() const
{
    return m_engine->IsMissing();
}

QString TDbMan::AutoBackupFolder() const
{
    return m_engine->BackupFolder();
}

QString TDbMan::BackupFolder(const QString &location)
{
    return TEngine::For(location)->BackupFolder();
}

QStringList TDbMan::RestartArguments(const QStringList &arguments) const
{
    return m_engine->RestartArguments(arguments);
}

TConnRef TDbMan::Connect()
{
    return m_engine->Connect();
}

bool TDbMan::IsEmpty()
{
    return m_engine->IsEmpty();
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
        WriteTransaction(c, [&] {
            Stmt del(c, "delete from \"users\" where \"name\"=?");
            del.bind(1, enc(name));
            del.step();
            // Consent to be seen goes with the account, not with its name.
            ForgetHouseholdShare(c, enc(name));
        });
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
    QString result, before;
    QList<qint64> renamed;
    WriteTransaction(c, [&] {
        renamed.clear();
        if (from != name && m_changeHook) {
            // The undo renames back exactly these.
            Stmt q(c, "select \"id\" from \"data\" where \"user\"=? and \"type\"=? and "
                      "\"cate\"=?");
            q.bind(1, encUser).bind(2, word).bind(3, enc(from));
            while (q.step())
                renamed << q.int64(0);
        }
        if (from != name) {
            Stmt upd(c, "update \"data\" set \"cate\"=? where \"user\"=? and \"type\"=? and "
                        "\"cate\"=?");
            upd.bind(1, enc(name)).bind(2, encUser).bind(3, word).bind(4, enc(from));
            upd.step();
            RecurringFollowsCate(c, encUser, word, from, name);
            if (word == TypeExpense())
                BudgetsFollowCate(c, encUser, from, name);
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
        const QString renamedList = THi::Trim(THi::JoinLines(kept));
        result = before = list;
        if (renamedList == list)
            return;
        list = renamedList;
        result = list;
        writeCates(c, encUser, out, in);
    });
    if (m_changeHook && (!renamed.isEmpty() || result != before)) {
        TStoreChange change;
        change.Kind = TStoreChange::Rename;
        change.User = user;
        change.Type = word;
        change.From = from;
        change.To = name;
        change.Renamed = renamed;
        change.ListBefore = before;
        change.ListAfter = result;
        m_changeHook(change);
    }
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
    QList<qint64> ids; // for the change hook only
    const auto changed = [&] {
        if (!m_changeHook)
            return;
        TStoreChange change;
        change.Kind = TStoreChange::Save;
        change.User = user;
        for (qsizetype i = 0; i < rows.size() && i < ids.size(); ++i) {
            const TBatchRow &r = rows[i];
            change.Records << TRecordVersion{ids[i], checkedDate(r.Date), r.Type, r.Cate, r.Cents,
                                             r.Notes};
        }
        m_changeHook(change);
    };
    if (m_engine->IsServer()) {
        // One statement for the whole batch: a round trip per line would
        // cost more than the server's work.
        QByteArray dates, types, cates, amounts, notes;
        for (const TBatchRow &row : rows) {
            AppendArrayItem(dates, checkedDate(row.Date).toLatin1());
            AppendArrayItem(types, checkedType(row.Type).toUtf8());
            AppendArrayItem(cates, enc(row.Cate));
            // 17 digits give back the very double the data file stores.
            AppendArrayItem(amounts, QByteArray::number(checkedAmount(row.Cents), 'g', 17));
            AppendArrayItem(notes, enc(row.Notes));
        }
        for (QByteArray *a : {&dates, &types, &cates, &amounts, &notes})
            a->append('}');
        WriteTransaction(c, [&] {
            // Ids follow the lines' order, as line by line.
            const QByteArray sql =
                QByteArray("insert into \"data\" (\"user\",\"date\",\"type\",\"cate\",\"amount\","
                           "\"notes\") select ?, d, t, c, a, n from unnest(?::text[], ?::text[], "
                           "?::text[], ?::float8[], ?::text[]) with ordinality as "
                           "u(d, t, c, a, n, i) order by i") +
                (m_changeHook ? " returning \"id\"" : "");
            Stmt ins(c, sql.constData());
            ins.bind(1, encUser).bind(2, dates).bind(3, types).bind(4, cates).bind(5, amounts);
            ins.bind(6, notes);
            ids.clear();
            while (ins.step() && m_changeHook)
                ids << ins.int64(0);
            // Taken from the sequence in the lines' order.
            std::sort(ids.begin(), ids.end());
        });
        changed();
        return;
    }
    WriteTransaction(c, [&] {
        ids.clear();
        Stmt ins(
            c, (InsertRecordSql + QByteArray(m_changeHook ? " returning \"id\"" : "")).constData());
        for (const TBatchRow &row : rows) {
            qint64 id = 0;
            insertRecord(ins, encUser, row.Date, row.Type, row.Cate, row.Cents, row.Notes, &id);
            ids << id;
        }
    });
    changed();
}

void TDbMan::DeleteRecord(const QString &user, const QString &id)
{
    RefuseWrite();
    const qint64 key = checkedId(id);
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    qint64 entry = 0;
    WriteTransaction(c, [&] {
        // The bin keeps what is deleted, in the same transaction.
        entry = BinRecord(c, encUser, key, RecycleDelete(), 0);
        if (entry == 0)
            return;
        Stmt del(c, "delete from \"data\" where \"id\"=? and \"user\"=?");
        del.bind(1, key).bind(2, encUser);
        del.step();
    });
    if (entry != 0 && m_changeHook) {
        TStoreChange change;
        change.Kind = TStoreChange::Delete;
        change.User = user;
        change.Records << TRecordVersion{key, {}, {}, {}, 0, {}};
        change.Entry = entry;
        m_changeHook(change);
    }
}

void TDbMan::ReplaceRecord(const QString &id, const QString &user, const QString &date,
                           const QString &type, const QString &cate, qint64 cents,
                           const QString &notes)
{
    RefuseWrite();
    const qint64 key = checkedId(id);
    const QByteArray encUser = enc(user);
    TConnRef c = Connect();
    qint64 newId = 0, entry = 0;
    WriteTransaction(c, [&] {
        Stmt ins(c, (InsertRecordSql + QByteArray(" returning \"id\"")).constData());
        insertRecord(ins, encUser, date, type, cate, cents, notes, &newId);
        // The old version goes into the bin, naming the id it took.
        entry = BinRecord(c, encUser, key, RecycleEdit(), newId);
        if (entry == 0) {
            throw EDbError(
                QStringLiteral("要修改的记录已经不在了（可能已在另一个窗口中删除或修改），"
                               "没有保存任何改动。\n请重新查看后再修改。"));
        }
        Stmt del(c, "delete from \"data\" where \"id\"=? and \"user\"=?");
        del.bind(1, key).bind(2, encUser);
        del.step();
        BillLineFollowsRecord(c, key, newId);
    });
    if (m_changeHook) {
        TStoreChange change;
        change.Kind = TStoreChange::Edit;
        change.User = user;
        change.Records << TRecordVersion{newId, checkedDate(date), type, cate, cents, notes};
        change.Entry = entry;
        m_changeHook(change);
    }
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
    TConnRef c = Connect();
    return QueryPeriodOn(c, user, start, end);
}

TPeriod QueryPeriodOn(TConn &c, const QString &user, const QString &start, const QString &end)
{
    TPeriod p;
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

TDbMan::TDateBounds TDbMan::RecordDates(const QString &user)
{
    TConnRef c = Connect();
    // Two ordered lookups rather than min()/max(): both engines answer each
    // from the end of the (user, date, ...) index.
    TDateBounds bounds;
    const QByteArray encUser = enc(user);
    {
        Stmt q(c, "select \"date\" from \"data\" where \"user\"=? order by \"date\" asc limit 1");
        q.bind(1, encUser);
        if (q.step())
            bounds.First = QString::fromLatin1(q.bytes(0));
    }
    {
        Stmt q(c, "select \"date\" from \"data\" where \"user\"=? order by \"date\" desc limit 1");
        q.bind(1, encUser);
        if (q.step())
            bounds.Last = QString::fromLatin1(q.bytes(0));
    }
    return bounds;
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

TRecordList TRecordList::Select(const std::vector<int> &rows) const
{
    TRecordList out;
    out.m_dates = m_dates; // shared, not copied
    out.m_cates = m_cates;
    out.m_notes = m_notes;
    out.m_recs.reserve(rows.size());
    for (int i : rows)
        out.m_recs.push_back(m_recs[size_t(i)]);
    return out;
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
// Copies of the whole ledger, the import and the upgrade: the engine's

void TDbMan::BackupTo(const QString &fileName)
{
    m_engine->BackupTo(fileName);
}

QString TDbMan::AutoBackup()
{
    return m_engine->AutoBackup();
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
    m_engine->ImportFrom(fileName, progress);
}

void TDbMan::Upgrade()
{
    RefuseWrite();
    m_engine->Upgrade();
}
