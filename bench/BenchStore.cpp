// tallimo_bench <file> [runs]: times the store's hot operations on a data file
// made by tallimo_gen and prints the median of several runs of each.
// With --server URL the same operations run on a PostgreSQL database as well
// (the file's records are copied there first when it holds other ones), and a
// table puts both stores side by side, digests compared.
// tallimo_bench --ten-years-only <file> [--server URL]: runs just the ten-year period query
// once and prints the process's peak memory, the figure a browser showing ten
// years costs.
//
// Reads run on <file> itself; the insert runs on a copy beside it, and its
// records are deleted after every run so each run starts from the same file.
// The start-up upgrade of a version-1 file (as every release before versions
// wrote it) runs on another copy: once as this program finds it (the file is
// only marked), once with one more schema step (a safety copy into backups/
// first, then the step).
//
// A digest of the query results is printed as well, so a change to the store
// can be checked to return exactly the same rows.

#include "BenchKit.h"
#include "DbClass.h"
#include "HiClass.h"
#include "Schema.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "tallimo_bench: %s\n", qPrintable(why));
    std::exit(1);
}

// Setup and clean-up statements that are not part of what is timed.
class RawDb {
public:
    explicit RawDb(const QString &file)
    {
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &m_h, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK)
            die(QString::fromUtf8(sqlite3_errmsg(m_h)));
    }
    ~RawDb() { sqlite3_close(m_h); }
    RawDb(const RawDb &) = delete;
    RawDb &operator=(const RawDb &) = delete;

    // First column of the first row, as text; empty when there is no row.
    QByteArray value(const char *sql, const QList<QByteArray> &params = {})
    {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_h, sql, -1, &st, nullptr) != SQLITE_OK)
            die(QString::fromUtf8(sqlite3_errmsg(m_h)));
        for (int i = 0; i < params.size(); ++i)
            sqlite3_bind_text(st, i + 1, params[i].constData(), int(params[i].size()),
                              SQLITE_TRANSIENT);
        QByteArray out;
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            out = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                             sqlite3_column_bytes(st, 0));
        else if (rc != SQLITE_DONE)
            die(QString::fromUtf8(sqlite3_errmsg(m_h)));
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3 *m_h = nullptr;
};

// The server's twin of RawDb, for the same setup and clean-up.
class RawPg {
public:
    explicit RawPg(const QString &url)
    {
        m_c = PQconnectdb(url.toUtf8().constData());
        if (PQstatus(m_c) != CONNECTION_OK)
            die(QString::fromUtf8(PQerrorMessage(m_c)));
    }
    ~RawPg() { PQfinish(m_c); }
    RawPg(const RawPg &) = delete;
    RawPg &operator=(const RawPg &) = delete;

    void exec(const char *sql)
    {
        PGresult *r = PQexec(m_c, sql);
        if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK)
            die(QString::fromUtf8(PQerrorMessage(m_c)));
        PQclear(r);
    }
    QByteArray value(const char *sql, const QList<QByteArray> &params = {})
    {
        std::vector<const char *> v;
        for (const QByteArray &p : params)
            v.push_back(p.constData());
        PGresult *r = PQexecParams(m_c, sql, int(v.size()), nullptr, v.data(), nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK)
            die(QString::fromUtf8(PQerrorMessage(m_c)));
        QByteArray out;
        if (PQntuples(r) > 0)
            out = QByteArray(PQgetvalue(r, 0, 0));
        PQclear(r);
        return out;
    }

private:
    PGconn *m_c = nullptr;
};

struct Stats {
    double median, min, max;
};

// `once` runs the operation and returns its own elapsed time in ms, so that
// preparing inputs and freeing results stay outside the measurement.
Stats measure(int runs, const std::function<double()> &once)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i)
        ms.push_back(once());
    std::sort(ms.begin(), ms.end());
    const size_t m = ms.size() / 2;
    const double median = ms.size() % 2 ? ms[m] : (ms[m - 1] + ms[m]) / 2.0;
    return {median, ms.front(), ms.back()};
}

void report(const char *name, const Stats &s, double targetMs, const QString &extra)
{
    const char *verdict = targetMs <= 0 ? "" : s.median < targetMs ? "ok" : "MISSED";
    const QString target = targetMs > 0 ? QStringLiteral("< %1 ms").arg(targetMs) : QString();
    std::printf("%-26s median %9.2f ms  (min %9.2f, max %9.2f)  %-12s %-6s %s\n", name, s.median,
                s.min, s.max, qPrintable(target), verdict, qPrintable(extra));
    std::fflush(stdout);
}

double elapsedMs(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void hashRow(QCryptographicHash &h, const QStringList &r)
{
    for (const QString &s : r) {
        h.addData(s.toUtf8());
        h.addData(QByteArrayView("\x1f", 1));
    }
    h.addData(QByteArrayView("\x1e", 1));
}

// The rows as the lists show them, so the digests stay those of the text rows.
template <class TRowT> void hashRows(QCryptographicHash &h, const QList<TRowT> &rows, int columns)
{
    for (const TRowT &r : rows) {
        QStringList texts;
        for (int c = 0; c < columns; ++c)
            texts << r.Text(c);
        hashRow(h, texts);
    }
    h.addData(QByteArrayView("\x1d", 1));
}

TPeriod queryPeriod(TDbMan &db, const QString &user, const QString &s, const QString &e, double *ms)
{
    QElapsedTimer t;
    t.start();
    TPeriod p = db.QueryPeriod(user, s, e);
    if (ms)
        *ms = elapsedMs(t);
    return p;
}

// Every text the browser would show, so that two versions of the store can be
// checked to give exactly the same rows.
QByteArray periodDigest(const TPeriod &p)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(THi::FormatCents(p.OutCents).toUtf8() + ' ' + THi::FormatCents(p.InCents).toUtf8());
    hashRows(h, p.DayRows, DayCols);
    hashRows(h, p.MonthRows, MonthCols);
    for (int i = 0; i < p.RecRows.size(); ++i)
        hashRow(h, p.RecRows.Row(i));
    h.addData(QByteArrayView("\x1d", 1));
    hashRows(h, p.OutCateRows, RankCols);
    hashRows(h, p.InCateRows, RankCols);
    return h.result().toHex().left(16);
}

// A pending list of 1,000 lines as the entry form would hand it over: one
// year of dates, mostly expenses, the user's own categories.
TBatchRows pendingLines(const QStringList &outCates, const QStringList &inCates)
{
    TBatchRows rows;
    quint32 s = 12345;
    auto next = [&s]() { return s = s * 1664525u + 1013904223u; };
    const QDate first(2024, 1, 1);
    for (int i = 0; i < 1000; ++i) {
        const bool income = next() % 100 < 7;
        const QStringList &cates = income ? inCates : outCates;
        const QString cate = cates.at(int(next() % quint32(cates.size())));
        const qint64 cents = income ? 300000 + next() % 1500000 : 100 + next() % 20000;
        TBatchRow row;
        row.Date = THi::DateToYmd(first.addDays(next() % 366));
        row.Type = income ? TypeIncome() : TypeExpense();
        row.Cate = cate;
        row.Cents = cents;
        if (next() % 2)
            row.Notes = QStringLiteral("导入第%1行").arg(i);
        rows.append(row);
    }
    return rows;
}

struct TCase {
    QString user, cate, yearStart, yearEnd, tenStart, tenEnd;
    int runs;
};

struct TResult {
    const char *name;
    double ms;
    QByteArray digest;
};

// The timed operations on one store; addedRows and removeAdded check and undo
// the save outside the timing.
std::vector<TResult> runCases(TDbMan &db, TDbMan &target, const TCase &c,
                              const std::function<int()> &addedRows,
                              const std::function<void()> &removeAdded, double saveTargetMs)
{
    std::vector<TResult> out;
    struct PeriodCase {
        const char *name;
        QString from, to;
        double targetMs;
    };
    const PeriodCase periods[] = {{"QueryPeriod one year", c.yearStart, c.yearEnd, 120.0},
                                  {"QueryPeriod ten years", c.tenStart, c.tenEnd, 1200.0}};
    for (const PeriodCase &pc : periods) {
        const TPeriod p = queryPeriod(db, c.user, pc.from, pc.to, nullptr); // warms the cache
        const Stats s = measure(c.runs, [&]() {
            double ms = 0;
            queryPeriod(db, c.user, pc.from, pc.to, &ms);
            return ms;
        });
        const QByteArray digest = periodDigest(p);
        report(pc.name, s, pc.targetMs,
               QStringLiteral("[%1 records, %2 days, digest %3]")
                   .arg(p.RecRows.size())
                   .arg(p.DayRows.size())
                   .arg(QString::fromLatin1(digest)));
        out.push_back({pc.name, s.median, digest});
    }
    {
        const TDetailRows rows =
            db.QueryCateDetail(c.user, c.yearStart, c.yearEnd, TypeExpense(), c.cate);
        QCryptographicHash h(QCryptographicHash::Sha1);
        hashRows(h, rows, DetailCols);
        const QByteArray digest = h.result().toHex().left(16);
        const Stats s = measure(c.runs, [&]() {
            QElapsedTimer t;
            t.start();
            const TDetailRows r =
                db.QueryCateDetail(c.user, c.yearStart, c.yearEnd, TypeExpense(), c.cate);
            return elapsedMs(t);
        });
        report("QueryCateDetail one year", s, 20.0,
               QStringLiteral("[%1 records, digest %2]")
                   .arg(rows.size())
                   .arg(QString::fromLatin1(digest)));
        out.push_back({"QueryCateDetail one year", s.median, digest});
    }
    {
        const QString names = db.ListUsers();
        const Stats s = measure(c.runs, [&]() {
            QElapsedTimer t;
            t.start();
            const QString again = db.ListUsers();
            return elapsedMs(t);
        });
        report("ListUsers", s, 0, QString());
        out.push_back({"ListUsers", s.median, names.toUtf8().toHex().left(16)});
    }
    {
        const TBatchRows lines =
            pendingLines(THi::SplitLines(target.GetCateList(c.user, KindOut())),
                         THi::SplitLines(target.GetCateList(c.user, KindIn())));
        const Stats s = measure(c.runs, [&]() {
            QElapsedTimer t;
            t.start();
            target.AddRecords(c.user, lines);
            const double ms = elapsedMs(t);
            const int added = addedRows();
            if (added != lines.size())
                die(QStringLiteral("AddRecords stored %1 of %2 lines")
                        .arg(added)
                        .arg(lines.size()));
            removeAdded();
            return ms;
        });
        report("AddRecords 1,000 lines", s, saveTargetMs, QString());
        out.push_back({"AddRecords 1,000 lines", s.median, QByteArray()});
    }
    return out;
}

// Times TDbMan::Upgrade on a copy of the file made to look as the first
// release wrote it (no marks, only the first version's tables): the program's
// own steps, and those with one more.
void upgradeCases(const QString &file)
{
    const QString copy = file + QStringLiteral(".bench-upgrade");
    const QString backups = QFileInfo(copy).absolutePath() + QStringLiteral("/backups");
    for (int withStep = 0; withStep < 2; ++withStep) {
        QFile::remove(copy);
        if (!QFile::copy(file, copy))
            die(QStringLiteral("cannot copy %1 to %2").arg(file, copy));
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        {
            RawDb raw(copy);
            raw.value("pragma application_id=0");
            raw.value("pragma user_version=0");
            // A first-release file has only the first version's tables.
            const QStringList first = Schema::TableNames(1);
            for (const TTableDef &t : Schema::Tables()) {
                if (!first.contains(QLatin1String(t.Name)))
                    raw.value(QByteArray("drop table \"" + QByteArray(t.Name) + '"').constData());
            }
        }
        const QStringList before = QDir(backups).entryList(QDir::Files);
        if (withStep)
            Schema::AppendStepForTest({QStringLiteral("bench step"),
                                       [](TConn &c, bool) {
                                           c.exec("create table \"bench_step\" (\"id\" integer)");
                                           c.exec("drop table \"bench_step\"");
                                       },
                                       {},
                                       {}});
        QElapsedTimer t;
        t.start();
        TDbMan(copy).Upgrade();
        const double ms = elapsedMs(t);
        Schema::ClearTestSteps();
        Stats s;
        s.median = s.min = s.max = ms;
        report(withStep ? "Upgrade version 1, one more step" : "Upgrade version 1 to current", s,
               5000.0, QString());
        // The safety copy this made is the bench's own.
        for (const QString &name : QDir(backups).entryList(QDir::Files)) {
            if (!before.contains(name))
                QFile::remove(backups + QLatin1Char('/') + name);
        }
    }
    QFile::remove(copy);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QString serverUrl;
    if (const int at = int(args.indexOf(QStringLiteral("--server"))); at > 0) {
        if (at + 1 >= args.size())
            die(QStringLiteral("--server needs a URL"));
        serverUrl = args.at(at + 1);
        args.remove(at, 2);
    }
    const bool tenYearsOnly = args.size() == 3 && args.at(1) == QLatin1String("--ten-years-only");
    if (tenYearsOnly)
        args.removeAt(1);
    if (args.size() < 2 || args.size() > 3)
        die(QStringLiteral("usage: tallimo_bench <file> [runs] [--server URL] | "
                           "--ten-years-only <file> [--server URL]"));
    const QString file = args.at(1);
    int runs = 5;
    if (args.size() == 3) {
        bool ok = false;
        runs = args.at(2).toInt(&ok);
        if (!ok || runs < 1)
            die(QStringLiteral("runs must be a positive number"));
    }
    if (!QFileInfo(file).isFile())
        die(QStringLiteral("no such file: %1").arg(file));

    // The user with the most records and their most used expense category in
    // the year measured, found with plain statements outside the timing.
    const QString yearStart = QStringLiteral("2020-01-01"), yearEnd = QStringLiteral("2020-12-31");
    QByteArray encUser, encCate;
    qint64 total = 0;
    {
        RawDb raw(file);
        total = raw.value("select count(*) from [data]").toLongLong();
        encUser =
            raw.value("select [user] from [data] group by [user] order by count(*) desc limit 1");
        encCate =
            raw.value("select [cate] from [data] where [user]=? and [date]>=? and [date]<=? "
                      "and [type]=? group by [cate] order by count(*) desc limit 1",
                      {encUser, yearStart.toUtf8(), yearEnd.toUtf8(), TypeExpense().toUtf8()});
    }
    if (encUser.isEmpty())
        die(QStringLiteral("the file holds no records"));
    const QString user = THi::Base64DecodeBytes(encUser);
    const QString cate = THi::Base64DecodeBytes(encCate);
    const QString tenStart = QStringLiteral("2015-01-01"), tenEnd = QStringLiteral("2024-12-31");
    if (tenYearsOnly) {
        TDbMan db(serverUrl.isEmpty() ? file : serverUrl);
        double ms = 0;
        try {
            const TPeriod p = queryPeriod(db, user, tenStart, tenEnd, &ms);
            std::printf(
                "QueryPeriod ten years only: %.2f ms, %d records; peak memory (VmHWM): %s\n", ms,
                p.RecRows.size(), qPrintable(QStringLiteral("%1 kB").arg(PeakMemoryKb())));
        } catch (const TError &e) {
            die(e.text());
        }
        return 0;
    }
    std::printf("file %s: %lld records, %.1f MB; user '%s', category '%s', %d runs each\n",
                qPrintable(file), static_cast<long long>(total),
                double(QFileInfo(file).size()) / (1024.0 * 1024.0), qPrintable(user),
                qPrintable(cate), runs);

    const TCase cases{user, cate, yearStart, yearEnd, tenStart, tenEnd, runs};
    std::vector<TResult> local, server;
    try {
        std::printf("== data file (SQLite)\n");
        TDbMan db(file);
        const QString copy = file + QStringLiteral(".bench-copy");
        QFile::remove(copy);
        if (!QFile::copy(file, copy))
            die(QStringLiteral("cannot copy %1 to %2").arg(file, copy));
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        TDbMan target(copy);
        RawDb raw(copy);
        const QByteArray lastId = raw.value("select max([id]) from [data]");
        local = runCases(
            db, target, cases,
            [&]() {
                return raw.value("select count(*) from [data] where [id]>?", {lastId}).toInt();
            },
            [&]() { raw.value("delete from [data] where [id]>?", {lastId}); }, 50.0);
        QFile::remove(copy);
        upgradeCases(file);

        if (!serverUrl.isEmpty()) {
            std::printf("== server (PostgreSQL)\n");
            TDbMan srv(serverUrl);
            if (srv.Counts().Records != total) {
                // The same records, ids included, as the one-shot copy puts them there.
                QElapsedTimer t;
                t.start();
                srv.ImportFrom(file);
                std::printf("copied the data file to the server in %.1f s\n",
                            double(t.elapsed()) / 1000.0);
            }
            RawPg pg(serverUrl);
            pg.exec("vacuum analyze");
            const QByteArray lastServerId = pg.value("select max(\"id\") from \"data\"");
            server = runCases(
                srv, srv, cases,
                [&]() {
                    return pg
                        .value("select count(*) from \"data\" where \"id\">$1::bigint",
                               {lastServerId})
                        .toInt();
                },
                [&]() { pg.value("delete from \"data\" where \"id\">$1::bigint", {lastServerId}); },
                100.0);
        }
    } catch (const TError &e) {
        die(e.text());
    }

    if (!server.empty()) {
        std::printf("\n| operation | data file (SQLite) | server (PostgreSQL) | server / file | "
                    "same rows |\n|---|---|---|---|---|\n");
        for (size_t i = 0; i < local.size() && i < server.size(); ++i) {
            const TResult &a = local[i], &b = server[i];
            std::printf("| %s | %.1f ms | %.1f ms | %.2f | %s |\n", a.name, a.ms, b.ms, b.ms / a.ms,
                        a.digest.isEmpty()     ? ""
                        : a.digest == b.digest ? "yes"
                                               : "NO");
        }
    }
    std::printf("peak memory (VmHWM): %s\n",
                qPrintable(QStringLiteral("%1 kB").arg(PeakMemoryKb())));
    return 0;
}
