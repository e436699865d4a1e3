// The server's engine: one kept connection, and the server's side of the
// whole-store copies: a backup is a consistent snapshot written into a fresh
// data file made from the template, so it restores on either store; an import
// replaces every table's contents in one transaction, so a failure leaves
// the old contents.

#include "Engine.h"
#include "PgConn.h"
#include "Placement.h"
#include "RowImport.h"
#include "Schema.h"
#include "SqliteConn.h"

#include <QFile>
#include <QStringList>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>

namespace {

struct TableCopy {
    const char *table;  // also the sequence's table for pg_get_serial_sequence
    QByteArray columns; // quoted, id first
    int count;
    int amountCol; // -1 when none
};

// Our tables as the copies take them, from the one description.
const std::vector<TableCopy> &Tables()
{
    static const std::vector<TableCopy> tables = [] {
        std::vector<TableCopy> out;
        for (const TTableDef &t : Schema::Tables()) {
            int amount = -1;
            for (size_t i = 0; i < t.Columns.size(); ++i) {
                if (qstrcmp(t.Columns[i].LiteType, "REAL") == 0)
                    amount = int(i);
            }
            out.push_back(TableCopy{t.Name, Schema::ColumnList(t), int(t.Columns.size()), amount});
        }
        return out;
    }();
    return tables;
}

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

// One table's rows streamed into the server through COPY.
class CopyIn {
public:
    CopyIn(PgConn &pg, const TableCopy &t) : m_pg(pg)
    {
        const QByteArray copy =
            sql("copy \"", t.table, "\" (", t.columns.constData()) + ") from stdin";
        const TPgResult started(pg.checked(PQexec(pg.handle(), copy.constData())));
        m_buf.reserve(1 << 17);
    }
    ~CopyIn()
    {
        if (m_open) {
            // Left by an exception: the server drops what it got.
            PQputCopyEnd(m_pg.handle(), "the source could not be read");
            while (TPgResult res{PQgetResult(m_pg.handle())}) {
            }
        }
    }
    CopyIn(const CopyIn &) = delete;
    CopyIn &operator=(const CopyIn &) = delete;

    CopyIn &id(qint64 v)
    {
        m_buf += QByteArray::number(v);
        return *this;
    }
    // As the data file's lists read it, to the last bit.
    CopyIn &number(double v)
    {
        m_buf += '\t';
        m_buf += QByteArray::number(v, 'g', 17);
        return *this;
    }
    CopyIn &text(QByteArrayView v)
    {
        m_buf += '\t';
        appendCopyValue(m_buf, v.data(), int(v.size()));
        return *this;
    }
    void endRow()
    {
        m_buf += '\n';
        if (m_buf.size() >= (1 << 16))
            putCopyData(m_pg, m_buf);
    }
    void finish()
    {
        if (!m_buf.isEmpty())
            putCopyData(m_pg, m_buf);
        m_open = false;
        if (PQputCopyEnd(m_pg.handle(), nullptr) != 1)
            m_pg.checked(nullptr);
        TPgResult last;
        while (TPgResult res{PQgetResult(m_pg.handle())})
            last = std::move(res);
        const TPgResult done(m_pg.checked(last.release()));
    }

private:
    PgConn &m_pg;
    QByteArray m_buf;
    bool m_open = true;
};

class TServerEngine : public TEngine {
public:
    using TEngine::TEngine;
    bool IsServer() const override { return true; }
    QString ShownName() const override { return PgConn::ShownUrl(Location()); }
    bool IsMissing() const override { return false; }
    // A server's automatic copies stay on this computer, in the data folder.
    QString BackupFolder() const override
    {
        return THi::AppDataDir(QLatin1String(Placement::ProductName)) + QStringLiteral("/backups");
    }
    // The URL is one argument, never quoted into a string.
    QStringList RestartArguments(const QStringList &arguments) const override
    {
        return QStringList{QStringLiteral("--database"), Location()} + arguments;
    }
    TConnRef Connect() override { return TConnRef(conn()); }
    // A server's tables are made, upgraded or refused by connecting.
    void Upgrade() override { conn(); }
    void BackupInto(const QString &file, const QString &shownAs) override;
    void ImportFrom(const QString &fileName, const TProgress &progress) override;

private:
    PgConn &conn()
    {
        // Kept between operations; one that was lost is opened again.
        if (m_conn && !m_conn->usable())
            m_conn.reset();
        if (!m_conn)
            m_conn = std::make_unique<PgConn>(Location());
        return *m_conn;
    }

    std::unique_ptr<PgConn> m_conn;
};

} // namespace

std::unique_ptr<TEngine> NewServerEngine(const QString &url)
{
    return std::make_unique<TServerEngine>(url);
}

void TServerEngine::BackupInto(const QString &file, const QString &shownAs)
{
    // The template gives the copy our tables and indexes.
    CopyTemplateInto(file, shownAs);
    PgConn &pg = conn();
    SqliteConn to(file, false, shownAs);
    // The copy is new and private until renamed: a journal would only be one
    // more file to leave behind.
    to.exec("pragma journal_mode=off");
    to.exec("pragma synchronous=off");
    TTransaction written(to, "begin");
    // One read transaction: the tables as they were at one moment.
    TTransaction read(pg, "begin isolation level repeatable read, read only");
    {
        for (const TableCopy &t : Tables()) {
            QByteArray marks = "?";
            for (int i = 1; i < t.count; ++i)
                marks += ",?";
            const QByteArray insert =
                sql("insert into \"", t.table, "\" (", t.columns.constData()) + ") values (" +
                marks + ")";
            Stmt ins(to, insert.constData());
            pg.exec(sql("declare tallimo_copy no scroll cursor for select ", t.columns.constData(),
                        " from \"", t.table)
                        .append("\" order by \"id\"")
                        .constData());
            for (;;) {
                // Held until the rows are written, however that ends (a full disk).
                const TPgResult fetched(pg.query("fetch 10000 from tallimo_copy"));
                PGresult *res = fetched.get();
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
    }
    read.commit();
    written.commit();
    // The copy says which version its rows are (the server's is current).
    UpgradeDataFileSchema(to);
}

void TServerEngine::ImportFrom(const QString &fileName, const TProgress &progress)
{
    // The same reading and checks as an import into a data file: only rows,
    // every one checked, none stored unless all are sound.
    TRowReader rows(fileName, progress);
    // The server's current contents go to the automatic copies first, so a
    // wrong choice of file can be undone.
    if (!IsEmpty())
        AutoBackup();
    PgConn &pg = conn();
    QByteArray names;
    for (const TableCopy &t : Tables())
        names += QByteArray(names.isEmpty() ? "\"" : ", \"") + t.table + '"';
    TTransaction tx(pg);
    {
        // Nobody reads half a ledger meanwhile.
        pg.exec(("lock table " + names + " in access exclusive mode").constData());
        for (const TableCopy &t : Tables())
            pg.exec(sql("delete from \"", t.table, "\"").constData());
        {
            CopyIn in(pg, Tables()[0]);
            rows.Users(
                [&](const TImportedUser &u) { in.id(u.Id).text(u.Name).text(u.Pwd).endRow(); });
            in.finish();
        }
        {
            CopyIn in(pg, Tables()[1]);
            rows.Cates([&](const TImportedCates &c) {
                in.id(c.Id).text(c.User).text(c.Out).text(c.In).endRow();
            });
            in.finish();
        }
        {
            // Records go in the period index's order, so that a period's
            // records lie together on the server's disk and its scans read
            // few pages.
            CopyIn in(pg, Tables()[2]);
            rows.Records(
                [&](const TImportedRecord &r) {
                    in.id(r.Id).text(r.User).text(r.Date).text(r.Type).text(r.Cate);
                    in.number(r.Amount).text(r.Notes).endRow();
                },
                "order by \"user\",\"date\",\"type\",\"id\"");
            in.finish();
        }
        // The later tables, each value as its column's kind was checked.
        for (size_t i = 3; i < Tables().size(); ++i) {
            const TTableDef &def = Schema::Tables()[i];
            CopyIn in(pg, Tables()[i]);
            rows.Rows(def, [&](const TImportedRow &row) {
                in.id(row[0].Int);
                for (size_t col = 1; col < row.size(); ++col) {
                    if (row[col].IsText)
                        in.text(row[col].Text);
                    else if (def.Columns[col].Kind == TColumnKind::Amount)
                        in.number(row[col].Real);
                    else
                        in.text(QByteArray::number(row[col].Int));
                }
                in.endRow();
            });
            in.finish();
        }
        std::vector<qint64> seq;
        for (const TableCopy &t : Tables())
            seq.push_back(rows.Sequence(t.table));
        rows.Finish();
        // Ids go on after the highest imported one (or the file's own record
        // of ids handed out), and never back below ids the server has handed
        // out, unless the import left the table empty. A sequence already
        // beyond the id limit (an earlier release imported such an id) is
        // not kept: it would make every later save fail.
        for (size_t i = 0; i < Tables().size(); ++i) {
            const QByteArray table(Tables()[i].table);
            // The table's name is the program's own, never the file's.
            const QByteArray maxId = "(select coalesce(max(\"id\"), 0) from \"" + table + "\")";
            pg.run(("select setval(s, greatest(v, 1), v > 0) from (select s, greatest(?::bigint, "
                    "case when m = 0 or last >= ?::bigint then 0 else last end, m) as v from "
                    "(select pg_get_serial_sequence(?, 'id') as s, "
                    "coalesce(pg_sequence_last_value(pg_get_serial_sequence(?, 'id')::regclass), "
                    "0) as last, " +
                    maxId + " as m) a) b")
                       .constData(),
                   {QByteArray::number(seq[i]), QByteArray::number(TRowReader::IdLimit), table,
                    table});
        }
    }
    tx.commit();
    // Fresh statistics, so the next period query plans for the new contents.
    try {
        pg.exec(("analyze " + names).constData());
    } catch (const EDbError &) {
        // The import stands; the server gathers statistics on its own later.
    }
}
