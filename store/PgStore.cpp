// The server's side of the whole-store copies: a backup is a consistent
// snapshot written into a fresh data file made from the template, so it
// restores on either store; an import replaces the three tables' contents in
// one transaction, so a failure leaves the old contents.

#include "DbClass.h"
#include "PgConn.h"
#include "Placement.h"
#include "SqliteConn.h"

#include <QFile>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>

namespace {

struct TableCopy {
    const char *table;   // also the sequence's table for pg_get_serial_sequence
    const char *columns; // quoted, id first
    int count;
    int amountCol; // -1 when none
};

const TableCopy Tables[] = {
    {"users", "\"id\",\"name\",\"pwd\"", 3, -1},
    {"cates", "\"id\",\"user\",\"out\",\"in\"", 4, -1},
    {"data", "\"id\",\"user\",\"date\",\"type\",\"cate\",\"amount\",\"notes\"", 7, 5},
};

QByteArray sql(const char *a, const char *b = "", const char *c = "", const char *d = "")
{
    return QByteArray(a) + b + c + d;
}

// COPY's text format: a tab between values, a newline after a row, and
// backslash escapes for those characters inside a value.
void appendCopyValue(QByteArray &buf, const char *p, int n)
{
    for (int i = 0; i < n; ++i) {
        switch (p[i]) {
        case '\\':
            buf += "\\\\";
            break;
        case '\t':
            buf += "\\t";
            break;
        case '\n':
            buf += "\\n";
            break;
        case '\r':
            buf += "\\r";
            break;
        default:
            buf += p[i];
        }
    }
}

void putCopyData(PgConn &pg, QByteArray &buf)
{
    if (PQputCopyData(pg.handle(), buf.constData(), int(buf.size())) != 1)
        pg.checked(nullptr);
    buf.clear();
}

// Streams one table of the data file into the server's table of the same name.
void copyTableToServer(SqliteConn &from, PgConn &pg, const TableCopy &t)
{
    // Two rows with one name could be in an old file; the newest is the account.
    const QByteArray where = qstrcmp(t.table, "users") == 0
                                 ? " where \"id\" in (select max(\"id\") from \"users\" "
                                   "group by \"name\")"
                                 : "";
    // Records go in the period index's order, so that a period's records lie
    // together on the server's disk and its scans read few pages.
    const QByteArray order = qstrcmp(t.table, "data") == 0
                                 ? " order by \"user\",\"date\",\"type\",\"id\""
                                 : " order by \"id\"";
    const QByteArray select = sql("select ", t.columns, " from \"", t.table) + "\"" + where + order;
    Stmt q(from, select.constData());
    const QByteArray copy = sql("copy \"", t.table, "\" (", t.columns) + ") from stdin";
    PQclear(pg.checked(PQexec(pg.handle(), copy.constData())));
    QByteArray buf;
    buf.reserve(1 << 17);
    try {
        while (q.step()) {
            for (int col = 0; col < t.count; ++col) {
                if (col > 0)
                    buf += '\t';
                if (col == 0) {
                    buf += QByteArray::number(q.int64(col));
                } else if (col == t.amountCol) {
                    // As the data file's lists read it, to the last bit.
                    buf += QByteArray::number(q.number(col), 'g', 17);
                } else {
                    // A missing text reads as empty in the lists, so it is copied as one.
                    appendCopyValue(buf, q.data(col), q.size(col));
                }
            }
            buf += '\n';
            if (buf.size() >= (1 << 16))
                putCopyData(pg, buf);
        }
        if (!buf.isEmpty())
            putCopyData(pg, buf);
    } catch (...) {
        PQputCopyEnd(pg.handle(), "the source could not be read");
        while (PGresult *res = PQgetResult(pg.handle()))
            PQclear(res);
        throw;
    }
    if (PQputCopyEnd(pg.handle(), nullptr) != 1)
        pg.checked(nullptr);
    PGresult *last = nullptr;
    while (PGresult *res = PQgetResult(pg.handle())) {
        PQclear(last);
        last = res;
    }
    PQclear(pg.checked(last));
}

qint64 sqliteSequence(SqliteConn &from, const char *table)
{
    try {
        Stmt q(from, "select \"seq\" from \"sqlite_sequence\" where \"name\"=?");
        q.bind(1, QByteArray(table));
        return q.step() ? q.int64(0) : 0;
    } catch (const EDbError &) {
        return 0; // a file without AUTOINCREMENT tables has none
    }
}

} // namespace

void TDbMan::ServerBackupInto(const QString &file, const QString &shownAs)
{
    // The template gives the copy our tables and indexes.
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
    Connect();
    PgConn &pg = *m_server;
    SqliteConn to(file, false, shownAs);
    // The copy is new and private until renamed: a journal would only be one
    // more file to leave behind.
    to.exec("pragma journal_mode=off");
    to.exec("pragma synchronous=off");
    to.exec("begin");
    // One read transaction: the three tables as they were at one moment.
    pg.exec("begin isolation level repeatable read, read only");
    try {
        for (const TableCopy &t : Tables) {
            QByteArray marks = "?";
            for (int i = 1; i < t.count; ++i)
                marks += ",?";
            const QByteArray insert =
                sql("insert into \"", t.table, "\" (", t.columns) + ") values (" + marks + ")";
            Stmt ins(to, insert.constData());
            pg.exec(sql("declare tallimo_copy no scroll cursor for select ", t.columns, " from \"",
                        t.table)
                        .append("\" order by \"id\"")
                        .constData());
            for (;;) {
                PGresult *res = pg.query("fetch 10000 from tallimo_copy");
                const int rows = PQntuples(res);
                for (int r = 0; r < rows; ++r) {
                    ins.bind(1, qint64(std::strtoll(PQgetvalue(res, r, 0), nullptr, 10)));
                    for (int col = 1; col < t.count; ++col) {
                        if (col == t.amountCol)
                            ins.bind(col + 1, std::strtod(PQgetvalue(res, r, col), nullptr));
                        else
                            ins.bind(col + 1, QByteArray::fromRawData(PQgetvalue(res, r, col),
                                                                      PQgetlength(res, r, col)));
                    }
                    ins.step();
                    ins.reset();
                }
                PQclear(res);
                if (rows == 0)
                    break;
            }
            pg.exec("close tallimo_copy");
            // Ids the server has handed out stay used in the copy too.
            const qint64 seq =
                pg.value("select pg_sequence_last_value(pg_get_serial_sequence(?, 'id')::regclass)",
                         {QByteArray(t.table)})
                    .toLongLong();
            Stmt upd(to, "update \"sqlite_sequence\" set \"seq\"=max(\"seq\",?) where \"name\"=?");
            upd.bind(1, seq).bind(2, QByteArray(t.table));
            upd.step();
            if (to.changes() == 0 && seq > 0) {
                Stmt add(to, "insert into \"sqlite_sequence\" (\"name\",\"seq\") values (?,?)");
                add.bind(1, QByteArray(t.table)).bind(2, seq);
                add.step();
            }
        }
        pg.exec("commit");
    } catch (...) {
        pg.rollback();
        throw;
    }
    to.exec("commit");
}

void TDbMan::ServerImportFrom(const QString &fileName)
{
    // The server's current contents go to the automatic copies first, so a
    // wrong choice of file can be undone.
    if (!IsEmpty())
        AutoBackup();
    SqliteConn from(fileName, true);
    Connect();
    PgConn &pg = *m_server;
    pg.begin();
    try {
        // Nobody reads half a ledger meanwhile; ids keep counting where they were.
        pg.exec("lock table \"users\", \"cates\", \"data\" in access exclusive mode");
        pg.exec("delete from \"users\"");
        pg.exec("delete from \"cates\"");
        pg.exec("delete from \"data\"");
        for (const TableCopy &t : Tables) {
            copyTableToServer(from, pg, t);
            PQclear(pg.query(
                "select setval(pg_get_serial_sequence(?, 'id'), greatest(1, ?::bigint, "
                "coalesce(pg_sequence_last_value(pg_get_serial_sequence(?, 'id')::regclass), 0), "
                "(select coalesce(max(\"id\"), 0) from \"users\" where ? = 'users'), "
                "(select coalesce(max(\"id\"), 0) from \"cates\" where ? = 'cates'), "
                "(select coalesce(max(\"id\"), 0) from \"data\" where ? = 'data')))",
                {QByteArray(t.table), QByteArray::number(sqliteSequence(from, t.table)),
                 QByteArray(t.table), QByteArray(t.table), QByteArray(t.table),
                 QByteArray(t.table)}));
        }
        pg.commit();
    } catch (...) {
        pg.rollback();
        throw;
    }
    // Fresh statistics, so the next period query plans for the new contents.
    try {
        pg.exec("analyze \"users\", \"cates\", \"data\"");
    } catch (const EDbError &) {
        // The import stands; the server gathers statistics on its own later.
    }
}
