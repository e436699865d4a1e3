// tallimo_trials --server [--quick]: the store on a PostgreSQL server, put
// through what a household on several computers and an unreliable server do
// to it:
//
// - four computers saving at once: every line stored exactly once;
// - the server stopped (immediate or fast) while a big batch is being saved:
//   each batch whole or absent, a clear text for the lost connection, and the
//   same running copy saves again once the server is back;
// - a batch reported saved survives a server crash;
// - databases that hold another program's tables: refused, left untouched.
//
// The program starts its own throwaway cluster with the tests' script
// (scripts/pgcluster.sh: Unix socket only, in a fresh temporary folder), and
// stops and removes it at the end. Saves go through TDbMan only; raw libpq only
// looks at what was stored.

#include "DbClass.h"
#include "TrialKit.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QThread>

#include <libpq-fe.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

const QString User = QStringLiteral("Trial");

// ---------------------------------------------------------------------------
// The throwaway cluster

// A Ctrl-C or kill of this program stops the server at once (SIGQUIT, the
// immediate stop) and removes its folder rather than leaving them behind.
// Only async-signal-safe calls; the paths are made before the handler is set.
char g_pidFile[512];
char g_folder[512];
volatile sig_atomic_t g_cleaning = 0;

void onTerminate(int sig)
{
    if (!g_cleaning) {
        g_cleaning = 1;
        // The pid file is read afresh (a restart changes the pid) until it
        // has been gone for a moment: a start may be under way.
        for (int i = 0, absent = 0; i < 100 && absent < 3; ++i) {
            const int fd = ::open(g_pidFile, O_RDONLY);
            if (fd >= 0) {
                absent = 0;
                char buf[16] = {};
                const ssize_t n = ::read(fd, buf, sizeof buf - 1);
                ::close(fd);
                pid_t pid = 0;
                for (ssize_t k = 0; k < n && buf[k] >= '0' && buf[k] <= '9'; ++k)
                    pid = pid * 10 + (buf[k] - '0');
                if (pid > 0)
                    ::kill(pid, SIGQUIT);
            } else {
                ++absent;
            }
            const timespec pause{0, 100 * 1000 * 1000};
            ::nanosleep(&pause, nullptr);
        }
        const pid_t rm = ::fork();
        if (rm == 0) {
            ::execl("/bin/rm", "rm", "-rf", g_folder, static_cast<char *>(nullptr));
            ::_exit(127);
        }
        if (rm > 0)
            ::waitpid(rm, nullptr, 0);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// The handler is set for these, except for one this program was started to
// ignore (SIGINT of a background job), and the old actions are put back.
const int TermSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_oldActions[3];

void catchTermination()
{
    for (int i = 0; i < 3; ++i) {
        if (::sigaction(TermSignals[i], nullptr, &g_oldActions[i]) == 0 &&
            g_oldActions[i].sa_handler != SIG_IGN)
            ::signal(TermSignals[i], onTerminate);
    }
}

void releaseTermination()
{
    for (int i = 0; i < 3; ++i)
        ::sigaction(TermSignals[i], &g_oldActions[i], nullptr);
}

class PgRaw {
public:
    explicit PgRaw(const QString &url) : m_c(PQconnectdb(url.toUtf8().constData())) {}
    ~PgRaw() { PQfinish(m_c); }
    PgRaw(const PgRaw &) = delete;
    PgRaw &operator=(const PgRaw &) = delete;

    // Every row as texts; one row holding "!" and the server's text when the
    // statement fails.
    QList<QStringList> rows(const char *sql)
    {
        QList<QStringList> out;
        PGresult *res = PQexec(m_c, sql);
        const ExecStatusType status = PQresultStatus(res);
        if (status == PGRES_TUPLES_OK) {
            for (int r = 0; r < PQntuples(res); ++r) {
                QStringList row;
                for (int c = 0; c < PQnfields(res); ++c)
                    row << QString::fromUtf8(PQgetvalue(res, r, c));
                out << row;
            }
        } else if (status != PGRES_COMMAND_OK) {
            out << QStringList{QLatin1Char('!') + QString::fromUtf8(PQerrorMessage(m_c)).trimmed()};
        }
        PQclear(res);
        return out;
    }
    QString value(const char *sql) { return rows(sql).value(0).value(0); }

private:
    PGconn *m_c;
};

// The test cluster of scripts/pgcluster.sh, in a folder of its own.
class Cluster {
public:
    Cluster()
    {
        // A short folder: the socket's path must stay under 108 bytes.
        QByteArray templ = QFile::encodeName(QDir::tempPath()) + "/tallimo-pgtrial.XXXXXX";
        if (!::mkdtemp(templ.data())) {
            m_problem = QStringLiteral("cannot make a folder in %1").arg(QDir::tempPath());
            return;
        }
        m_dir = QFile::decodeName(templ);
        qstrncpy(g_folder, templ.constData(), sizeof g_folder);
        qstrncpy(g_pidFile, (templ + "/data/postmaster.pid").constData(), sizeof g_pidFile);
        catchTermination();
        m_caught = true;
        m_problem = script({QStringLiteral("start"), m_dir});
    }

    ~Cluster()
    {
        if (!m_dir.isEmpty())
            script({QStringLiteral("stop"), m_dir});
        if (m_caught)
            releaseTermination();
        if (!m_dir.isEmpty())
            QDir(m_dir).removeRecursively();
    }
    Cluster(const Cluster &) = delete;
    Cluster &operator=(const Cluster &) = delete;

    // Why the cluster is not running; empty when it is.
    QString problem() const { return m_problem; }
    // How long a start (with the recovery after a crash) took, on average.
    qint64 averageStartMs() const { return m_starts ? m_startMs / m_starts : 0; }
    QString folder() const { return m_dir; }

    QString url(const QString &db) const
    {
        return QStringLiteral("postgresql:///%1?host=%2&port=5432&user=tallimo").arg(db, m_dir);
    }

    // Empty, or what went wrong.
    QString createDb(const QString &name)
    {
        // The names are this program's own constants.
        const QByteArray sql = "create database \"" + name.toUtf8() + '"';
        const QString said = PgRaw(url(QStringLiteral("tallimo_test"))).value(sql.constData());
        return said.startsWith(QLatin1Char('!')) ? said.mid(1) : QString();
    }

    QString start()
    {
        QElapsedTimer t;
        t.start();
        const QString error = script({QStringLiteral("resume"), m_dir});
        m_startMs += t.elapsed();
        ++m_starts;
        return error;
    }

    // mode: "immediate" (a crash: no checkpoint, backends killed) or "fast"
    // (backends told to end, open transactions rolled back).
    QString stop(const char *mode)
    {
        return script({QStringLiteral("halt"), m_dir, QLatin1String(mode)});
    }

private:
    // Runs the cluster script; empty, or its exit and last output line.
    static QString script(const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(TALLIMO_PGCLUSTER), args);
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return QStringLiteral("pgcluster.sh %1 did not finish within 2 minutes").arg(args[0]);
        }
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return QString();
        const QStringList lines =
            QString::fromLocal8Bit(p.readAll()).trimmed().split(QLatin1Char('\n'));
        return QStringLiteral("pgcluster.sh %1 failed (exit %2): %3")
            .arg(args[0])
            .arg(p.exitCode())
            .arg(lines.value(lines.size() - 1));
    }

    QString m_dir, m_problem;
    bool m_caught = false; // the termination handler is set
    qint64 m_startMs = 0;
    int m_starts = 0;
};

// ---------------------------------------------------------------------------
// Looking at what was stored, beside the store

// Records per batch: the notes up to the first "/" (the notes are stored as
// base64; ours are ASCII, so the decoded bytes are the text).
QMap<QString, int> batchCounts(const QString &url)
{
    QMap<QString, int> counts;
    for (const QStringList &row :
         PgRaw(url).rows("select split_part(encode(decode(\"notes\", 'base64'), 'escape'), '/', "
                         "1), count(*) from \"data\" group by 1"))
        counts.insert(row.value(0), row.value(1).toInt());
    return counts;
}

QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0);
}

// ---------------------------------------------------------------------------
// Child modes

int childMain(const QStringList &args)
{
    const QString mode = args.value(0);
    const QString url = args.value(1);
    try {
        TDbMan db(url);
        if (mode == QLatin1String("--child-pg-batches")) {
            // One computer of several: connects (the first one makes the
            // tables), waits for "go", then saves its batches, each line
            // tagged with computer, batch and line.
            const QString child = args.value(2);
            const int batches = args.value(3).toInt();
            const int lines = args.value(4).toInt();
            db.IsEmpty();
            std::printf("ready\n");
            std::fflush(stdout);
            char go[16];
            if (!std::fgets(go, sizeof go, stdin))
                return 4;
            int busy = 0;
            for (int b = 0; b < batches; ++b) {
                TBatchRows rows = batch(lines, QString());
                for (int l = 0; l < lines; ++l)
                    rows[l].Notes = QStringLiteral("c%1-b%2/l%3").arg(child).arg(b).arg(l);
                for (;;) {
                    try {
                        db.AddRecords(User, rows);
                        break;
                    } catch (const EDbBusy &) {
                        // Lost to the others more often than the store retries.
                        if (++busy > 50)
                            throw;
                    }
                }
            }
            std::printf("done %d\n", busy);
            std::fflush(stdout);
            return 0;
        }
        if (mode == QLatin1String("--child-pg-big")) {
            // Big batches until killed: "saving k" before each, then "saved k
            // <ms>" or "failed k <text>" (lines of the text joined by " | ").
            // A failure is followed by the next batch, as a user saving again.
            const int lines = args.value(2).toInt();
            for (int k = 0;; ++k) {
                const TBatchRows rows = batch(lines, QStringLiteral("big-%1").arg(k));
                std::printf("saving %d\n", k);
                std::fflush(stdout);
                QElapsedTimer t;
                t.start();
                const QString error = attempt([&] { db.AddRecords(User, rows); });
                if (error.isEmpty())
                    std::printf("saved %d %lld\n", k, t.elapsed());
                else
                    std::printf("failed %d %s\n", k,
                                qPrintable(QString(error).replace(QLatin1Char('\n'),
                                                                  QLatin1String(" | "))));
                std::fflush(stdout);
                if (!error.isEmpty())
                    QThread::msleep(100);
            }
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    return 2;
}

// ---------------------------------------------------------------------------
// The trials

void trialFourComputers(Cluster &cluster, int batchesEach)
{
    const QString name = QStringLiteral("four computers saving at once");
    const int computers = 4, lines = 20;
    const QString db = QStringLiteral("four");
    const QString url = cluster.url(db);
    if (const QString e = cluster.createDb(db); !e.isEmpty())
        return report(false, name, e);

    QList<QProcess *> children;
    for (int c = 0; c < computers; ++c)
        children << startChild({QStringLiteral("--child-pg-batches"), url, QString::number(c),
                                QString::number(batchesEach), QString::number(lines)});
    int ready = 0;
    for (QProcess *p : children)
        if (waitForLine(p, 30000) && p->readLine().startsWith("ready"))
            ++ready;
    const qint64 rollbacksBefore = PgRaw(url)
                                       .value("select xact_rollback from pg_stat_database "
                                              "where datname = current_database()")
                                       .toLongLong();
    QElapsedTimer t;
    t.start();
    for (QProcess *p : children)
        p->write("go\n");
    int finished = 0, busyRetries = 0;
    for (QProcess *p : children) {
        if (p->waitForFinished(600000) && p->exitStatus() == QProcess::NormalExit &&
            p->exitCode() == 0) {
            ++finished;
            busyRetries += p->readAll().trimmed().split(' ').value(1).toInt();
        }
    }
    const qint64 ms = qMax<qint64>(1, t.elapsed());
    for (QProcess *p : children)
        killChild(p);

    PgRaw raw(url);
    // Child exits flush their statistics; a moment for the collector.
    QThread::msleep(200);
    const qint64 rollbacks = raw.value("select xact_rollback from pg_stat_database "
                                       "where datname = current_database()")
                                 .toLongLong() -
                             rollbacksBefore;
    const QStringList totals =
        raw.rows("select count(*), count(distinct \"notes\") from \"data\"").value(0);
    const qint64 stored = totals.value(0).toLongLong();
    const qint64 distinct = totals.value(1).toLongLong();
    const QMap<QString, int> counts = batchCounts(url);
    int whole = 0, partial = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        (it.value() == lines ? whole : partial)++;
    const qint64 expected = qint64(computers) * batchesEach * lines;
    const bool ok = ready == computers && finished == computers && stored == expected &&
                    distinct == expected && whole == computers * batchesEach && partial == 0;
    report(ok, name,
           QStringLiteral("%1 x %2 batches of %3 lines in %4 ms (%5 batches/s): %6 of %7 records "
                          "stored, %8 distinct, %9 whole batches, %10 partial; %11 transactions "
                          "rolled back on the server, %12 busy errors retried by hand%13")
               .arg(computers)
               .arg(batchesEach)
               .arg(lines)
               .arg(ms)
               .arg(double(computers) * batchesEach * 1000.0 / double(ms), 0, 'f', 0)
               .arg(stored)
               .arg(expected)
               .arg(distinct)
               .arg(whole)
               .arg(partial)
               .arg(rollbacks)
               .arg(busyRetries)
               .arg(finished == computers
                        ? QString()
                        : QStringLiteral(", %1 computers failed (their error above)")
                              .arg(computers - finished)));
}

// What a failed save's text says happened.
enum class Said { Lost, Unclear, Refused, Other };

Said classify(const QString &text, const QString &shown)
{
    if (text.startsWith(QStringLiteral("与数据库服务器“%1”的连接中断了，这次操作没有保存任何内容。")
                            .arg(shown)))
        return Said::Lost;
    if (text.startsWith(
            QStringLiteral("与数据库服务器“%1”的连接在保存的最后一步中断了，无法确定").arg(shown)))
        return Said::Unclear;
    // A save started while the server was down.
    if (text.startsWith(QStringLiteral("无法连接数据库服务器“%1”").arg(shown)))
        return Said::Refused;
    return Said::Other;
}

void trialServerStopped(Cluster &cluster, int rounds, int lines)
{
    const QString name = QStringLiteral("server stopped in the middle of a batch");
    const QString db = QStringLiteral("stops");
    const QString url = cluster.url(db);
    const QString shown = TDbMan::ShownName(url);
    if (const QString e = cluster.createDb(db); !e.isEmpty())
        return report(false, name, e);

    QProcess *child = startChild({QStringLiteral("--child-pg-big"), url, QString::number(lines)});
    QMap<int, QString> outcome; // batch -> "" (saved) or the failure's text
    QSet<int> begun;
    qint64 saveMs = 0;
    // The child's next line, handled; false after `ms` without one.
    auto nextLine = [&](int ms, QString *kind = nullptr) {
        if (!waitForLine(child, ms))
            return false;
        const QString line = QString::fromUtf8(child->readLine()).trimmed();
        const QString word = line.section(QLatin1Char(' '), 0, 0);
        const int k = line.section(QLatin1Char(' '), 1, 1).toInt();
        if (word == QLatin1String("saving")) {
            begun.insert(k);
        } else if (word == QLatin1String("saved")) {
            outcome.insert(k, QString());
            saveMs = line.section(QLatin1Char(' '), 2, 2).toLongLong();
        } else if (word == QLatin1String("failed")) {
            outcome.insert(k, line.section(QLatin1Char(' '), 2)
                                  .replace(QLatin1String(" | "), QLatin1String("\n")));
        }
        if (kind)
            *kind = word;
        return true;
    };
    auto waitFor = [&](const char *wanted, int ms) {
        QElapsedTimer t;
        t.start();
        QString kind;
        while (t.elapsed() < ms) {
            if (!nextLine(int(ms - t.elapsed()), &kind))
                return false;
            if (kind == QLatin1String(wanted))
                return true;
        }
        return false;
    };

    QRandomGenerator rng(11);
    QStringList problems;
    int midSave = 0, reopened = 0, fastStops = 0;
    bool started = waitFor("saved", 60000); // one whole save first: its time sets the delays
    if (!started)
        problems << QStringLiteral("the first save did not finish within 60 s");
    for (int r = 0; started && r < rounds; ++r) {
        if (!waitFor("saving", 30000)) {
            problems << QStringLiteral("round %1: no save began within 30 s").arg(r);
            break;
        }
        QThread::msleep(rng.bounded(quint32(saveMs + saveMs / 10 + 1)));
        const bool fast = r % 3 == 1;
        fastStops += fast;
        const QSet<int> doneBefore(outcome.keyBegin(), outcome.keyEnd());
        if (const QString e = cluster.stop(fast ? "fast" : "immediate"); !e.isEmpty()) {
            problems << e;
            break;
        }
        // Every save begun before the stop must end, one way or the other.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000 && outcome.size() < begun.size() &&
               child->state() == QProcess::Running)
            nextLine(1000);
        if (outcome.size() < begun.size()) {
            problems << (child->state() == QProcess::Running
                             ? QStringLiteral("round %1: a save hangs after the server stopped")
                             : QStringLiteral("round %1: the saving copy ended (its error above)"))
                            .arg(r);
            break;
        }
        bool hit = false;
        for (auto it = outcome.cbegin(); it != outcome.cend(); ++it) {
            const Said said = classify(it.value(), shown);
            if (!doneBefore.contains(it.key()) && (said == Said::Lost || said == Said::Unclear))
                hit = true;
        }
        midSave += hit;
        QThread::msleep(200); // a save or two against the stopped server
        while (child->canReadLine())
            nextLine(0);
        if (const QString e = cluster.start(); !e.isEmpty()) {
            problems << e;
            break;
        }
        // The same running copy saves again: its lost connection is opened anew.
        if (waitFor("saved", 60000))
            ++reopened;
        else
            problems
                << QStringLiteral("round %1: no save succeeded within 60 s of the restart").arg(r);
    }
    killChild(child);

    // Each batch whole or absent, and as the child was told.
    const QMap<QString, int> counts = batchCounts(url);
    QMap<int, int> seen; // records per batch -> batches
    int saved = 0, lost = 0, unclear = 0, refused = 0, unfinished = 0;
    QString lostText, otherText;
    for (int k : begun) {
        const int n = counts.value(QStringLiteral("big-%1").arg(k));
        seen[n]++;
        const bool known = outcome.contains(k);
        const QString text = outcome.value(k);
        const Said said = classify(text, shown);
        bool right = n == 0 || n == lines;
        if (!known) {
            ++unfinished; // killed at the end: either way
        } else if (text.isEmpty()) {
            ++saved;
            right = n == lines;
        } else if (said == Said::Unclear) {
            ++unclear;
        } else if (said == Said::Lost || said == Said::Refused) {
            (said == Said::Lost ? lost : refused)++;
            if (said == Said::Lost && lostText.isEmpty())
                lostText = firstLine(text);
            right = n == 0;
        } else {
            if (otherText.isEmpty())
                otherText = text;
            right = n == 0;
        }
        if (!right)
            problems << QStringLiteral("batch %1 %2 but %3 of %4 records stored")
                            .arg(k)
                            .arg(text.isEmpty()
                                     ? QStringLiteral("saved")
                                     : QStringLiteral("failed (\"%1\")").arg(firstLine(text)))
                            .arg(n)
                            .arg(lines);
    }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (!begun.contains(it.key().mid(4).toInt()))
            problems << QStringLiteral("records of a batch never saved: %1").arg(it.key());
    if (!otherText.isEmpty())
        problems << QStringLiteral("unexpected text: \"%1\"").arg(otherText);
    if (midSave == 0)
        problems << QStringLiteral("no stop landed in the middle of a save");

    QStringList perBatch;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        perBatch << QStringLiteral("%1 batches with %2").arg(it.value()).arg(it.key());
    report(problems.isEmpty(), name,
           QStringLiteral("%1 rounds (%2 immediate, %3 fast), save of %4 lines takes %5 ms: %6 "
                          "stopped mid-save, %7 reopened; %8 saved, %9 lost (\"%10\"), %11 "
                          "unclear, %12 refused while down, %13 unfinished at the end; per-batch "
                          "records: %14; a start took %15 ms%16")
               .arg(rounds)
               .arg(rounds - fastStops)
               .arg(fastStops)
               .arg(lines)
               .arg(saveMs)
               .arg(midSave)
               .arg(reopened)
               .arg(saved)
               .arg(lost)
               .arg(lostText)
               .arg(unclear)
               .arg(refused)
               .arg(unfinished)
               .arg(perBatch.join(QStringLiteral(", ")))
               .arg(cluster.averageStartMs())
               .arg(problems.isEmpty()
                        ? QString()
                        : QStringLiteral("; PROBLEMS: ") + problems.join(QStringLiteral("; "))));
}

void trialSurvivesCrash(Cluster &cluster, int rounds)
{
    const QString name = QStringLiteral("a saved batch survives a server crash");
    const QString db = QStringLiteral("durable");
    const QString url = cluster.url(db);
    const QString shown = TDbMan::ShownName(url);
    if (const QString e = cluster.createDb(db); !e.isEmpty())
        return report(false, name, e);
    const int lines = 2000;
    TDbMan store(url);
    QStringList problems;
    int kept = 0;
    // After each restart, how the same TDbMan's saves went (one word per
    // try) -> how often; and the texts that are not the lost-connection one.
    QMap<QString, int> courses;
    QMap<QString, int> wrongTexts;
    for (int r = 0; r < rounds; ++r) {
        const TBatchRows rows = batch(lines, QStringLiteral("kept-%1").arg(r));
        // The kept connection is gone after a restart: a save may fail with
        // the lost-connection text, and the next one must work.
        QString error;
        QStringList course;
        for (int tries = 0; tries < 3; ++tries) {
            error = attempt([&] { store.AddRecords(User, rows); });
            if (error.isEmpty()) {
                course << QStringLiteral("saved");
                break;
            }
            const bool lost = classify(error, shown) == Said::Lost;
            course << (lost ? QStringLiteral("lost") : QStringLiteral("OTHER TEXT"));
            if (!lost)
                wrongTexts[QString(error).replace(QLatin1Char('\n'), QLatin1String(" | "))]++;
            if (r == 0)
                break;
        }
        if (r > 0)
            courses[course.join(QStringLiteral(" → "))]++;
        if (!error.isEmpty()) {
            problems << QStringLiteral("round %1: the save failed: %2")
                            .arg(r)
                            .arg(QString(error).replace(QLatin1Char('\n'), QLatin1String(" | ")));
            break;
        }
        if (const QString e = cluster.stop("immediate"); !e.isEmpty()) {
            problems << e;
            break;
        }
        if (const QString e = cluster.start(); !e.isEmpty()) {
            problems << e;
            break;
        }
        const QMap<QString, int> counts = batchCounts(url);
        for (int k = 0; k <= r; ++k) {
            const int n = counts.value(QStringLiteral("kept-%1").arg(k));
            if (n != lines)
                problems << QStringLiteral("after crash %1: batch %2 has %3 of %4 records")
                                .arg(r)
                                .arg(k)
                                .arg(n)
                                .arg(lines);
        }
        if (counts.value(QStringLiteral("kept-%1").arg(r)) == lines)
            ++kept;
    }
    report(problems.isEmpty() && kept == rounds, name,
           QStringLiteral("%1 crashes (immediate stop) right after a save of %2 lines: %3 "
                          "batches whole after the restart%4")
               .arg(rounds)
               .arg(lines)
               .arg(kept)
               .arg(problems.isEmpty()
                        ? QString()
                        : QStringLiteral("; PROBLEMS: ") + problems.join(QStringLiteral("; "))));

    QStringList seen;
    for (auto it = courses.cbegin(); it != courses.cend(); ++it)
        seen << QStringLiteral("%1 x (%2)").arg(it.value()).arg(it.key());
    QStringList wrong;
    for (auto it = wrongTexts.cbegin(); it != wrongTexts.cend(); ++it)
        wrong << QStringLiteral("%1 x \"%2\"").arg(it.value()).arg(it.key());
    bool savedAgain = !courses.isEmpty();
    for (auto it = courses.cbegin(); it != courses.cend(); ++it)
        savedAgain = savedAgain && it.key().endsWith(QLatin1String("saved"));
    report(wrongTexts.isEmpty() && savedAgain,
           QStringLiteral("the next save after a server restart"),
           QStringLiteral("the same TDbMan, idle under 5 s: %1%2")
               .arg(seen.join(QStringLiteral(", ")))
               .arg(wrong.isEmpty() ? QString()
                                    : QStringLiteral("; not the lost-connection text: ") +
                                          wrong.join(QStringLiteral("; "))));
}

// Everything a database holds: relations, columns and row counts.
QString contents(const QString &url)
{
    PgRaw raw(url);
    QStringList out;
    for (const QStringList &row :
         raw.rows("select c.relname, c.relkind, a.attname, format_type(a.atttypid, a.atttypmod) "
                  "from pg_class c left join pg_attribute a on a.attrelid = c.oid and "
                  "a.attnum > 0 and not a.attisdropped where c.relnamespace = "
                  "'public'::regnamespace order by 1, 3"))
        out << row.join(QLatin1Char(' '));
    for (const QStringList &row : raw.rows("select relname from pg_class where relnamespace = "
                                           "'public'::regnamespace and relkind = 'r' order by 1")) {
        const QByteArray count = "select count(*) from \"" + row.value(0).toUtf8() + "\"";
        out << row.value(0) + QLatin1Char('=') + raw.value(count.constData());
    }
    return out.join(QLatin1Char('\n'));
}

void trialOtherPrograms(Cluster &cluster)
{
    const QString name = QStringLiteral("databases of other programs");
    struct Kind {
        const char *name;
        bool ourTablesFirst; // let TDbMan make its tables, then add to them
        const char *sql;
    };
    const QList<Kind> kinds = {
        {"another program's table", false,
         "create table notes (id serial primary key, body text not null);"
         "insert into notes (body) values ('hello'), ('world');"},
        {"our tables and one more", true,
         "create table extra (id int primary key); insert into extra values (1);"},
        {"a view beside our tables", true, "create view recent as select 1 as one;"},
        {"data without notes", false,
         "create table users (id bigint primary key, name text not null, pwd text not null);"
         "create table cates (id bigint primary key, \"user\" text not null, \"out\" text, "
         "\"in\" text);"
         "create table data (id bigint primary key, \"user\" text, date text, type text, "
         "cate text, amount double precision);"
         "insert into data values (1, 'u', '2026-01-01', 'x', 'c', 1.5);"},
    };
    QStringList problems;
    QString text;
    int refused = 0, n = 0;
    for (const Kind &k : kinds) {
        const QString db = QStringLiteral("other%1").arg(++n);
        const QString url = cluster.url(db);
        const QString shown = TDbMan::ShownName(url);
        if (const QString e = cluster.createDb(db); !e.isEmpty()) {
            problems << e;
            continue;
        }
        if (k.ourTablesFirst) {
            if (const QString e = attempt([&] { TDbMan(url).IsEmpty(); }); !e.isEmpty()) {
                problems << QStringLiteral("%1: %2").arg(QLatin1String(k.name), firstLine(e));
                continue;
            }
        }
        if (const QString e = PgRaw(url).value(k.sql); e.startsWith(QLatin1Char('!'))) {
            problems << QStringLiteral("%1: %2").arg(QLatin1String(k.name), e);
            continue;
        }
        const QString before = contents(url);
        const QString saveError =
            attempt([&] { TDbMan(url).AddRecords(User, batch(10, QStringLiteral("x"))); });
        const QString readError = attempt([&] { TDbMan(url).ListUsers(); });
        const bool clear =
            saveError.startsWith(QStringLiteral("数据库“%1”里已经有别的表").arg(shown)) &&
            saveError.contains(QStringLiteral("Tallimo 没有改动它")) &&
            firstLine(readError) == firstLine(saveError);
        const bool untouched = contents(url) == before;
        if (clear && untouched)
            ++refused;
        else
            problems << QStringLiteral("%1: %2, %3")
                            .arg(QLatin1String(k.name),
                                 saveError.isEmpty()
                                     ? QStringLiteral("accepted")
                                     : QStringLiteral("\"%1\"").arg(firstLine(saveError)),
                                 untouched ? QStringLiteral("untouched")
                                           : QStringLiteral("CHANGED"));
        if (text.isEmpty())
            text = firstLine(saveError);
    }
    report(problems.isEmpty(), name,
           QStringLiteral("%1 of %2 kinds refused with the database untouched (\"%3\")%4")
               .arg(refused)
               .arg(kinds.size())
               .arg(text)
               .arg(problems.isEmpty()
                        ? QString()
                        : QStringLiteral("; PROBLEMS: ") + problems.join(QStringLiteral("; "))));
}

// One trial's unexpected exception fails that trial, not the run (and the
// cluster is still stopped and removed).
void guarded(const QString &name, const std::function<void()> &trial)
{
    if (const QString e = attempt(trial); !e.isEmpty())
        report(false, name, QStringLiteral("stopped by: ") + e);
}

} // namespace

int ServerChildMain(const QStringList &args)
{
    return childMain(args);
}

int ServerTrials(bool quick)
{
    QElapsedTimer total;
    total.start();
    {
        Cluster cluster;
        if (!cluster.problem().isEmpty()) {
            std::printf("tallimo_trials --server%s\n", quick ? " --quick" : "");
            report(false, QStringLiteral("a PostgreSQL server of our own"), cluster.problem());
        } else {
            std::printf("tallimo_trials --server%s, %s, cluster in %s\n", quick ? " --quick" : "",
                        qPrintable(PgRaw(cluster.url(QStringLiteral("postgres")))
                                       .value("select 'PostgreSQL ' || "
                                              "current_setting('server_version')")),
                        qPrintable(cluster.folder()));
            guarded(QStringLiteral("four computers saving at once"),
                    [&] { trialFourComputers(cluster, quick ? 25 : 500); });
            guarded(QStringLiteral("server stopped in the middle of a batch"),
                    [&] { trialServerStopped(cluster, quick ? 2 : 10, 20000); });
            guarded(QStringLiteral("a saved batch survives a server crash"),
                    [&] { trialSurvivesCrash(cluster, quick ? 3 : 10); });
            guarded(QStringLiteral("databases of other programs"),
                    [&] { trialOtherPrograms(cluster); });
        }
    }
    std::printf("%.1f s\n%d passed, %d failed\n", total.elapsed() / 1000.0, g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
