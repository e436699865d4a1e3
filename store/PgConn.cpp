#include "PgConn.h"

#include "PgSchema.h"
#include "Schema.h"

#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>
#include <QtEndian>

#include <libpq-fe.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <poll.h>

namespace {

// The built-in types' ids (pg_type.h), for reading binary values.
constexpr Oid Int2Oid = 21, Int4Oid = 23, Int8Oid = 20, Float8Oid = 701;

// A connection idle this long is asked whether it is still there before use.
constexpr qint64 IdleCheckMs = 5000;

// True when a statement failed because the connection is gone. libpq can
// notice a closed socket only on the next write and then keeps calling the
// connection good; its own errors, unlike the server's, carry no SQLSTATE.
bool connectionLost(PGconn *conn, const PGresult *res)
{
    if (PQstatus(conn) != CONNECTION_OK)
        return true;
    if (!res)
        return false; // out of memory
    const ExecStatusType status = PQresultStatus(res);
    if (status != PGRES_FATAL_ERROR && status != PGRES_NONFATAL_ERROR)
        return false;
    const char *state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
    return !state || !*state;
}

// "?" placeholders become the server's numbered ones; the store's statements
// hold no "?" in a literal.
QByteArray numbered(const char *sql, int *count)
{
    QByteArray out;
    int n = 0;
    for (const char *p = sql; *p; ++p) {
        if (*p == '?') {
            out += '$';
            out += QByteArray::number(++n);
        } else {
            out += *p;
        }
    }
    *count = n;
    return out;
}

// Values as libpq takes them; an unbound one is NULL.
struct TParams {
    std::vector<const char *> values;
    std::vector<int> lengths;
    TParams(const QList<QByteArray> &v, const std::vector<bool> *bound = nullptr)
    {
        for (int i = 0; i < int(v.size()); ++i) {
            const bool set = !bound || (*bound)[size_t(i)];
            values.push_back(set ? v.at(i).constData() : nullptr);
            lengths.push_back(set ? int(v.at(i).size()) : 0);
        }
    }
    int count() const { return int(values.size()); }
};

QString serverText(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

QString lostText(const QString &shown)
{
    return QStringLiteral("与数据库服务器“%1”的连接中断了，这次操作没有保存任何内容。\n"
                          "请检查网络和服务器后再试。")
        .arg(shown);
}

class PgCursor : public TCursor {
public:
    PgCursor(PgConn &c, const char *sql, bool streamed)
        : m_c(c), m_serial(c.nextSerial()), m_streamed(streamed)
    {
        int n = 0;
        m_sql = numbered(sql, &n);
        m_values.resize(n);
        m_bound.assign(size_t(n), false);
    }
    ~PgCursor() override
    {
        PQclear(m_res);
        drain();
    }
    PgCursor(const PgCursor &) = delete;
    PgCursor &operator=(const PgCursor &) = delete;

    void bindText(int i, const QByteArray &bytes) override { set(i, bytes); }
    // 17 digits give back exactly the same double on the server.
    void bindDouble(int i, double v) override { set(i, QByteArray::number(v, 'g', 17)); }
    void bindInt64(int i, qint64 v) override { set(i, QByteArray::number(v)); }
    bool step() override
    {
        if (m_streaming)
            return next();
        if (!m_res) {
            if (m_streamed && m_runs == 0)
                return start();
            run();
        }
        return ++m_row < m_rows;
    }
    void reset() override
    {
        drain();
        PQclear(m_res);
        m_res = nullptr;
        m_row = -1;
        m_rows = 0;
        std::fill(m_bound.begin(), m_bound.end(), false);
    }
    const char *data(int col) const override { return PQgetvalue(m_res, m_row, col); }
    int size(int col) const override { return PQgetlength(m_res, m_row, col); }
    bool isNull(int col) const override { return PQgetisnull(m_res, m_row, col) != 0; }
    double number(int col) const override
    {
        if (!PQfformat(m_res, col))
            return std::strtod(data(col), nullptr);
        if (PQftype(m_res, col) == Float8Oid)
            return qFromBigEndian<double>(data(col));
        return double(int64(col));
    }
    qint64 int64(int col) const override
    {
        if (!PQfformat(m_res, col))
            return std::strtoll(data(col), nullptr, 10);
        switch (PQftype(m_res, col)) {
        case Int8Oid:
            return qFromBigEndian<qint64>(data(col));
        case Int4Oid:
            return qFromBigEndian<qint32>(data(col));
        case Int2Oid:
            return qFromBigEndian<qint16>(data(col));
        case Float8Oid:
            return qint64(number(col));
        default:
            return std::strtoll(data(col), nullptr, 10);
        }
    }

private:
    void set(int i, const QByteArray &bytes)
    {
        m_values[i - 1] = bytes;
        m_bound[size_t(i - 1)] = true;
    }
    // A streamed read: the server sends its rows one by one, and the store
    // adds them up while the server still scans (a ten-year period is
    // 400,000 rows that are then never all held at once).
    bool start()
    {
        // As for a whole read: a connection found gone before any row came
        // is opened again and the read repeated.
        m_canRepeat = PQtransactionStatus(m_c.handle()) == PQTRANS_IDLE;
        m_delivered = 0;
        ++m_runs;
        m_c.unnamedOwner = 0;
        bool sent = sendStreamed();
        if (!sent && m_canRepeat && m_c.reopen()) {
            m_canRepeat = false;
            sent = sendStreamed();
        }
        if (!sent)
            m_c.checked(nullptr);
        m_streaming = true;
        return next();
    }
    bool sendStreamed()
    {
        const TParams p(m_values, &m_bound);
        return PQsendQueryParams(m_c.handle(), m_sql.constData(), p.count(), nullptr,
                                 p.values.data(), p.lengths.data(), nullptr, 1) == 1 &&
               PQsetSingleRowMode(m_c.handle()) == 1;
    }
    bool next()
    {
        PQclear(m_res);
        m_res = PQgetResult(m_c.handle());
        if (m_res && PQresultStatus(m_res) == PGRES_SINGLE_TUPLE) {
            ++m_delivered;
            m_row = 0;
            m_rows = 1;
            return true;
        }
        // The end of the rows, or an error: either way the query is over.
        PGresult *last = m_res;
        m_res = nullptr;
        m_streaming = false;
        while (PGresult *more = PQgetResult(m_c.handle()))
            PQclear(more);
        m_row = m_rows = 0;
        if (m_delivered == 0 && m_canRepeat && connectionLost(m_c.handle(), last) && m_c.reopen()) {
            PQclear(last);
            m_canRepeat = false;
            if (!sendStreamed())
                m_c.checked(nullptr);
            m_streaming = true;
            return next();
        }
        PQclear(m_c.checked(last));
        return false;
    }
    // Reads what is left of a streamed query, so the connection can run the next one.
    void drain() noexcept
    {
        if (!m_streaming)
            return;
        m_streaming = false;
        while (PGresult *more = PQgetResult(m_c.handle()))
            PQclear(more);
    }

    void run()
    {
        const TParams p(m_values, &m_bound);
        // A read outside a transaction that finds the connection gone (the
        // server restarted since the last operation) changed nothing, so it
        // runs again on a new connection.
        const bool canRepeat = PQtransactionStatus(m_c.handle()) == PQTRANS_IDLE &&
                               qstrnicmp(m_sql.constData(), "select", 6) == 0;
        PGresult *res = send(p);
        if (canRepeat && connectionLost(m_c.handle(), res) && m_c.reopen()) {
            PQclear(res);
            res = send(p);
        }
        ++m_runs;
        m_res = m_c.checked(res);
        m_rows = PQntuples(m_res);
        m_row = -1;
        m_c.noteChanges(m_res);
    }

    PGresult *send(const TParams &p)
    {
        const int n = p.count();
        PGresult *res = nullptr;
        // Rows come in the binary form: texts are the same bytes, and numbers
        // skip being printed by the server and parsed here (a ten-year period
        // is 400,000 ids and amounts).
        if (m_runs == 0) {
            // A statement run once is sent with its values in one round trip.
            if (PQsendQueryParams(m_c.handle(), m_sql.constData(), n, nullptr, p.values.data(),
                                  p.lengths.data(), nullptr, 1) == 1)
                res = m_c.awaitResult();
            m_c.unnamedOwner = 0;
        } else {
            // Run again (a batch of records): parsed once on the server.
            if (m_c.unnamedOwner != m_serial) {
                PQclear(m_c.checked(PQprepare(m_c.handle(), "", m_sql.constData(), n, nullptr)));
                m_c.unnamedOwner = m_serial;
            }
            if (PQsendQueryPrepared(m_c.handle(), "", n, p.values.data(), p.lengths.data(), nullptr,
                                    1) == 1)
                res = m_c.awaitResult();
        }
        return res;
    }

    PgConn &m_c;
    const quint64 m_serial;
    const bool m_streamed;
    bool m_streaming = false, m_canRepeat = false;
    qint64 m_delivered = 0;
    QByteArray m_sql;
    QList<QByteArray> m_values;
    std::vector<bool> m_bound;
    PGresult *m_res = nullptr;
    int m_row = -1, m_rows = 0, m_runs = 0;
};

} // namespace

void TPgClear::operator()(PGresult *res) const noexcept
{
    PQclear(res);
}

QString PgConn::ShownUrl(const QString &url)
{
    QUrl u(url);
    if (!u.isValid())
        return QStringLiteral("postgresql://…");
    QUrlQuery q(u);
    q.removeAllQueryItems(QStringLiteral("password"));
    u.setQuery(q);
    return u.toDisplayString(QUrl::RemovePassword);
}

PgConn::PgConn(const QString &url) : m_url(url)
{
    const QByteArray conninfo = url.toUtf8();
    char *parseError = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.constData(), &parseError);
    if (!options) {
        const QString detail = serverText(parseError);
        PQfreemem(parseError);
        throw EDbError(QStringLiteral("数据库网址“%1”无效。\n请按“postgresql://用户@主机:端口/"
                                      "数据库”的格式填写。\n%2")
                           .arg(ShownUrl(url), detail));
    }
    bool hasPassword = false;
    for (const PQconninfoOption *o = options; o->keyword; ++o) {
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            hasPassword = true;
    }
    PQconninfoFree(options);
    if (hasPassword) {
        throw EDbError(
            QStringLiteral("数据库网址“%1”里写着密码。密码不能放在网址里：网址会出现在命令行和设置"
                           "文件中，别人可以看到。\n请把密码写进 ~/.pgpass（或者环境变量 "
                           "PGPASSWORD），再用不带密码的网址连接。")
                .arg(ShownUrl(url)));
    }

    // Earlier keywords are defaults that the URL may override; the encoding is ours.
    const char *const keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding",
                                nullptr};
    const char *const values[] = {"10", "tallimo", conninfo.constData(), "UTF8", nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    // Server notices (a shutdown's warning, say) are not the user's business;
    // every error reaches them through the exceptions instead.
    PQsetNoticeProcessor(
        m_conn, [](void *, const char *) {}, nullptr);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString detail = serverText(PQerrorMessage(m_conn));
        PQfinish(m_conn);
        m_conn = nullptr;
        throw EDbError(QStringLiteral("无法连接数据库服务器“%1”，这次操作没有完成。\n"
                                      "请检查服务器是否在运行、网址是否正确，以及 ~/.pgpass 或 "
                                      "PGPASSWORD 中的密码。\n%2")
                           .arg(ShownUrl(url), detail));
    }
    // A constructor that fails runs no destructor: the connection is closed here.
    try {
        setUpSession();
        ensureSchema();
    } catch (...) {
        PQfinish(m_conn);
        m_conn = nullptr;
        throw;
    }
    markUsed();
}

PgConn::~PgConn()
{
    PQfinish(m_conn);
}

void PgConn::setUpSession()
{
    applyLockTimeout();
    // The store's reads are range scans of its indexes, which the planner's
    // default (spinning-disk) page costs would trade for whole-table scans
    // and sorts; this session's costs say what a server's disk does today.
    exec("set random_page_cost = 1.1");
}

void PgConn::applyLockTimeout()
{
    // Waiting for another computer's lock ends like a busy data file.
    const int ms = BusyTimeoutMs();
    PQclear(query("select set_config('lock_timeout', ?, false)", {QByteArray::number(ms) + "ms"}));
    m_lockTimeoutMs = ms;
}

bool PgConn::reopen()
{
    PQreset(m_conn);
    unnamedOwner = 0;
    m_xid.clear();
    if (PQstatus(m_conn) != CONNECTION_OK)
        return false;
    try {
        setUpSession();
    } catch (const EDbError &) {
        return false;
    }
    return true;
}

bool PgConn::usable()
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK || PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        return false;
    if (m_lockTimeoutMs != BusyTimeoutMs()) {
        // The wait was changed since this connection was set up.
        try {
            applyLockTimeout();
        } catch (const EDbError &) {
            return false;
        }
    }
    if (m_idle.isValid() && m_idle.elapsed() < IdleCheckMs)
        return true;
    // A server restarted meanwhile is only noticed by asking.
    PGresult *res = PQexec(m_conn, "");
    const bool ok = PQresultStatus(res) == PGRES_EMPTY_QUERY;
    PQclear(res);
    markUsed();
    return ok;
}

QString PgConn::shownName() const
{
    return ShownUrl(m_url);
}

void PgConn::raise(PGresult *res)
{
    const QString shown = ShownUrl(m_url);
    const QByteArray state = res ? QByteArray(PQresultErrorField(res, PG_DIAG_SQLSTATE)) : "";
    QString detail = serverText(res ? PQresultErrorMessage(res) : PQerrorMessage(m_conn));
    if (detail.isEmpty())
        detail = serverText(PQerrorMessage(m_conn));
    const bool lost = connectionLost(m_conn, res) || state.startsWith("08") || state == "57P01" ||
                      state == "57P02" || state == "57P03";
    PQclear(res);

    if (lost)
        throw EDbError(lostText(shown) + QLatin1Char('\n') + detail);
    if (state == "40001" || state == "40P01")
        throw EDbRetry(BusyText());
    if (state == "55P03")
        throw EDbBusy(QStringLiteral("数据库正被另一台电脑或另一个程序写入，请稍后再试。"));
    if (state == "23505")
        throw EDbUnique(QStringLiteral("数据库“%1”拒绝了这次写入，数据没有改变。").arg(shown) +
                        QLatin1Char('\n') + detail);
    if (state == "53100" || state == "25006")
        throw EDbCannotWrite(
            (state == "25006"
                 ? QStringLiteral("数据库“%1”现在只能读取，这次操作没有保存任何内容。\n"
                                  "请让服务器的管理员检查后再试。")
                 : QStringLiteral("数据库服务器“%1”的磁盘已满，这次操作没有保存任何内容。\n"
                                  "请让服务器的管理员腾出空间后再试。"))
                .arg(shown) +
            QLatin1Char('\n') + detail);
    QString what;
    if (state.startsWith("23")) {
        what = QStringLiteral("数据库“%1”拒绝了这次写入，数据没有改变。").arg(shown);
    } else if (state == "42P01" || state == "42703") {
        what = QStringLiteral("数据库“%1”缺少本程序需要的表或列，这次操作没有完成。\n"
                              "请检查是否连到了 Tallimo 的数据库。")
                   .arg(shown);
    } else if (state.startsWith("42501") || state.startsWith("28")) {
        what = QStringLiteral("数据库“%1”不允许这个账户这样做，数据没有改变。\n"
                              "请让服务器的管理员给这个账户读写这三张表的权限。")
                   .arg(shown);
    } else {
        what = QStringLiteral("对数据库“%1”的操作失败，数据没有改变。\n请稍后再试。").arg(shown);
    }
    throw EDbError(what + QLatin1Char('\n') + detail);
}

PGresult *PgConn::checked(PGresult *res)
{
    const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY ||
        status == PGRES_COPY_IN) {
        markUsed();
        return res;
    }
    raise(res);
}

void PgConn::noteChanges(PGresult *res)
{
    m_changes = std::strtoll(PQcmdTuples(res), nullptr, 10);
}

PGresult *PgConn::awaitResult()
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    bool waited = false;
    while (PQisBusy(m_conn)) {
        pollfd fd{PQsocket(m_conn), POLLIN, 0};
        if (::poll(&fd, 1, 20) < 0 && errno != EINTR)
            break;
        if (!PQconsumeInput(m_conn))
            break; // the connection is gone: PQgetResult says so
        // A moment is the server's work; longer is someone else's lock.
        if (PQisBusy(m_conn) && steady_clock::now() - start > milliseconds(100)) {
            waited = true;
            CallWaitHook(true);
        }
    }
    PGresult *last = nullptr;
    while (PGresult *res = PQgetResult(m_conn)) {
        PQclear(last);
        last = res;
        const ExecStatusType status = PQresultStatus(res);
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH ||
            PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    if (waited)
        CallWaitHook(false);
    return last;
}

PGresult *PgConn::query(const char *sql, const QList<QByteArray> &values)
{
    int n = 0;
    const QByteArray text = numbered(sql, &n);
    const TParams p(values);
    PGresult *res = checked(PQexecParams(m_conn, text.constData(), p.count(), nullptr,
                                         p.values.data(), p.lengths.data(), nullptr, 0));
    noteChanges(res);
    return res;
}

void PgConn::run(const char *sql, const QList<QByteArray> &values)
{
    const TPgResult res(query(sql, values));
}

QByteArray PgConn::value(const char *sql, const QList<QByteArray> &values)
{
    PGresult *res = query(sql, values);
    QByteArray v;
    if (PQntuples(res) > 0 && !PQgetisnull(res, 0, 0))
        v = QByteArray(PQgetvalue(res, 0, 0), PQgetlength(res, 0, 0));
    PQclear(res);
    return v;
}

std::unique_ptr<TCursor> PgConn::prepare(const char *sql, bool streamed)
{
    return std::make_unique<PgCursor>(*this, sql, streamed);
}

void PgConn::exec(const char *sql)
{
    PGresult *res = checked(PQexec(m_conn, sql));
    noteChanges(res);
    PQclear(res);
}

void PgConn::begin()
{
    // Serializable: a read followed by a write (a category list, an account)
    // cannot lose another computer's write; the loser retries. The
    // transaction's id answers, after a lost connection, whether it committed.
    // Both in one round trip (the simple protocol takes several statements).
    const char *const sql = "begin isolation level serializable; select txid_current()";
    PGresult *res = PQexec(m_conn, sql);
    // Nothing was written yet: a connection lost since the last operation (a
    // restarted server) is opened again and the transaction begins there.
    if (connectionLost(m_conn, res) && reopen()) {
        PQclear(res);
        res = PQexec(m_conn, sql);
    }
    res = checked(res);
    m_xid = PQntuples(res) > 0 ? QByteArray(PQgetvalue(res, 0, 0)) : QByteArray();
    PQclear(res);
}

void PgConn::commit()
{
    PGresult *res = PQexec(m_conn, "commit");
    if (PQresultStatus(res) == PGRES_COMMAND_OK && qstrcmp(PQcmdStatus(res), "COMMIT") == 0) {
        PQclear(res);
        m_xid.clear();
        markUsed();
        return;
    }
    if (!connectionLost(m_conn, res) || m_xid.isEmpty()) {
        m_xid.clear();
        if (PQresultStatus(res) == PGRES_COMMAND_OK) {
            // The server rolled back instead (an error was ignored on the way).
            PQclear(res);
            throw EDbError(
                QStringLiteral("数据库“%1”没有接受这次改动，数据没有改变。\n请再试一次。")
                    .arg(shownName()));
        }
        raise(res);
    }
    // The answer to the commit was lost: ask a fresh connection what became of it.
    PQclear(res);
    const QByteArray xid = m_xid;
    m_xid.clear();
    QByteArray status;
    try {
        PgConn probe(m_url);
        status = probe.value("select txid_status(?::bigint)", {xid});
    } catch (const EDbError &) {
        status.clear();
    }
    if (status == "committed")
        return;
    if (status == "aborted")
        throw EDbError(lostText(shownName()));
    throw EDbError(
        QStringLiteral("与数据库服务器“%1”的连接在保存的最后一步中断了，无法确定这次的改动是否"
                       "已经保存。\n请在服务器恢复后先查看记录，再决定是否重新保存。")
            .arg(shownName()));
}

void PgConn::rollback() noexcept
{
    m_xid.clear();
    if (PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "rollback"));
}

namespace {

// One lock number for the whole program: two computers connecting to a new
// or older ledger at once create or upgrade it once.
const char *const SchemaLockSql = "select pg_advisory_xact_lock(7340512)";

} // namespace

int PgConn::schemaVersion(bool *ours)
{
    QStringList names;
    m_hasMeta = false;
    *ours = false;
    {
        const TPgResult res(query("select c.relname from pg_class c "
                                  "where c.relnamespace = current_schema()::regnamespace "
                                  "and c.relkind in ('r','p','v','m','f') order by 1"));
        for (int i = 0; i < PQntuples(res.get()); ++i)
            names << QString::fromUtf8(PQgetvalue(res.get(), i, 0));
    }
    m_foundNames = names;
    if (names.isEmpty())
        return 0;
    const bool hasMeta = names.removeAll(QLatin1String(Schema::MetaTable)) > 0;
    // Without the version table only the first release's tables are ours.
    int version = 1;
    if (hasMeta) {
        // Another program's table of that name is no version table; asked in
        // a savepoint, so that its error leaves an open transaction usable.
        const bool inTransaction = PQtransactionStatus(m_conn) != PQTRANS_IDLE;
        if (inTransaction)
            exec("savepoint tallimo_meta_probe");
        const TPgResult res(PQexec(m_conn, "select \"schema_version\" from \"tallimo_meta\""));
        const bool read = PQresultStatus(res.get()) == PGRES_TUPLES_OK && PQntuples(res.get()) == 1;
        if (inTransaction)
            exec(read ? "release savepoint tallimo_meta_probe"
                      : "rollback to savepoint tallimo_meta_probe");
        if (!read)
            return 0;
        version = std::atoi(PQgetvalue(res.get(), 0, 0));
        if (version < 1)
            return 0;
    }
    if (version > Schema::CurrentVersion()) {
        // A newer release's ledger: its tables are its own business.
        *ours = true;
        m_hasMeta = true;
        return version;
    }
    // Exactly the tables of that version: none of another program's beside them.
    const QStringList want = Schema::TableNames(version);
    if (names != want)
        return 0;
    // Every column of ours, and none that an insert would have to fill.
    const TPgResult res(
        query("select table_name, column_name, is_nullable = 'YES' or column_default is not "
              "null or is_identity = 'YES' from information_schema.columns "
              "where table_schema = current_schema()"));
    QHash<QString, QSet<QString>> seen;
    for (int i = 0; i < PQntuples(res.get()); ++i) {
        const QString table = QString::fromUtf8(PQgetvalue(res.get(), i, 0));
        const QString column = QString::fromUtf8(PQgetvalue(res.get(), i, 1));
        const TTableDef *t = Schema::FindTable(table);
        if (!t)
            continue;
        if (Schema::IsOurColumn(*t, column))
            seen[table].insert(column);
        else if (qstrcmp(PQgetvalue(res.get(), i, 2), "t") != 0)
            return 0;
    }
    for (const TTableDef &t : Schema::Tables()) {
        if (want.contains(QLatin1String(t.Name)) &&
            seen.value(QLatin1String(t.Name)).size() != qsizetype(t.Columns.size()))
            return 0;
    }
    *ours = true;
    m_hasMeta = hasMeta;
    return version;
}

void PgConn::ensureSchema()
{
    bool ours = false;
    int version = schemaVersion(&ours);
    if (ours && version > Schema::CurrentVersion())
        throw EDbTooNew(Schema::TooNewText(shownName(), version));
    if (m_foundNames.isEmpty() || (ours && (version < Schema::CurrentVersion() || !m_hasMeta))) {
        // Made or upgraded in one transaction: another computer connecting
        // meanwhile waits for it (up to the busy timeout) and then finds it done.
        TTransaction tx(*this, "begin");
        run(SchemaLockSql);
        version = schemaVersion(&ours);
        auto makeMeta = [this](int v) {
            exec("create table \"tallimo_meta\" ("
                 "\"one\" boolean primary key default true check (\"one\"), "
                 "\"schema_version\" integer not null, "
                 "\"program_version\" text not null)");
            run("insert into \"tallimo_meta\" (\"schema_version\", \"program_version\") "
                "values (?, ?)",
                {QByteArray::number(v), Schema::ProgramVersion().toUtf8()});
        };
        if (m_foundNames.isEmpty()) {
            // A new ledger starts at the version schema-pg.sql spells.
            exec(PgSchemaSql);
            makeMeta(Schema::TemplateVersion());
            version = schemaVersion(&ours);
        }
        if (ours) {
            if (!m_hasMeta) {
                makeMeta(version);
                m_hasMeta = true;
            }
            Schema::Upgrade(
                *this, true,
                [this] { return value("select \"schema_version\" from \"tallimo_meta\"").toInt(); },
                [this](int v) {
                    run("update \"tallimo_meta\" set \"schema_version\" = ?, "
                        "\"program_version\" = ?",
                        {QByteArray::number(v), Schema::ProgramVersion().toUtf8()});
                },
                false);
            tx.commit();
        }
    }
    if (!ours) {
        throw EDbError(
            QStringLiteral("数据库“%1”里已经有别的表（%2），它不是 Tallimo 的数据库。"
                           "Tallimo 没有改动它。\n请为 Tallimo 新建一个空的数据库，"
                           "或者换一个网址。")
                .arg(ShownUrl(m_url), m_foundNames.mid(0, 5).join(QStringLiteral("、"))));
    }
}
