// tallimo_trials [--quick | --large-import]: runs the data file through what a
// careless day and a hostile machine do to it, and prints what happened.
//
// - a running copy killed (SIGKILL) in the middle of saving, backing up and
//   importing: no batch is ever half stored, the data file stays sound and no
//   stray file is left once the next operation has run; kills at random
//   moments of a large import, damaged or sound, leave the old data or the
//   new (--large-import runs only these, at about 140 MB);
// - a restore while a crashed copy left a hot journal beside the data file;
// - two copies saving at the same time: every batch stored exactly once;
// - a full disk during a save, a backup and an import: nothing lost, a clear
//   error;
// - bad restore files of many kinds (hostile values among them): refused, the
//   data file untouched; files with triggers, indexes or table options of
//   their own: only their rows restored.
//
// The child processes are this program started again with a --child-... mode.
// --quick runs a few of each, fast enough for every test run; without it the
// full counts run. The last line reads "N passed, M failed"; the exit code is 0
// only when nothing failed.

#include "DbClass.h"
#include "HiClass.h"
#include "TrialKit.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

const QString User = QStringLiteral("Trial");

// ---------------------------------------------------------------------------
// Reading the data file beside the store

class Raw {
public:
    explicit Raw(const QString &file)
    {
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &m_h, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK)
            m_error = QString::fromUtf8(sqlite3_errmsg(m_h));
        sqlite3_busy_timeout(m_h, 10000);
    }
    ~Raw() { sqlite3_close(m_h); }
    Raw(const Raw &) = delete;
    Raw &operator=(const Raw &) = delete;

    // First column of the first row as text; the engine's error text prefixed
    // with "!" when the statement fails.
    QString value(const char *sql, const QByteArray &param = QByteArray())
    {
        if (!m_error.isEmpty())
            return QLatin1Char('!') + m_error;
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_h, sql, -1, &st, nullptr) != SQLITE_OK)
            return QLatin1Char('!') + QString::fromUtf8(sqlite3_errmsg(m_h));
        if (!param.isNull())
            sqlite3_bind_text(st, 1, param.constData(), int(param.size()), SQLITE_TRANSIENT);
        QString out;
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            out = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        else if (rc != SQLITE_DONE)
            out = QLatin1Char('!') + QString::fromUtf8(sqlite3_errmsg(m_h));
        sqlite3_finalize(st);
        return out;
    }
    QString exec(const char *sql)
    {
        char *err = nullptr;
        if (sqlite3_exec(m_h, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            const QString e = QString::fromUtf8(err ? err : "?");
            sqlite3_free(err);
            return e;
        }
        return QString();
    }

private:
    sqlite3 *m_h = nullptr;
    QString m_error;
};

QString integrity(const QString &file)
{
    return Raw(file).value("pragma integrity_check");
}

qint64 records(const QString &file)
{
    return Raw(file).value("select count(*) from [data]").toLongLong();
}

// A digest of every record, to tell "the same data" from "some data".
QByteArray digest(const QString &file)
{
    sqlite3 *h = nullptr;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &h, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(h,
                               "select [id],[user],[date],[type],[cate],[amount],[notes] "
                               "from [data] order by [id]",
                               -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int c = 0; c < 7; ++c) {
                    hash.addData(
                        QByteArrayView(reinterpret_cast<const char *>(sqlite3_column_text(st, c)),
                                       sqlite3_column_bytes(st, c)));
                    hash.addData(QByteArrayView("|"));
                }
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return hash.result().toHex().left(12);
}

// Files in a folder (and one level of sub-folders), as relative paths.
QStringList filesIn(const QString &folder)
{
    QStringList out;
    const QDir dir(folder);
    for (const QFileInfo &fi :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (fi.isDir()) {
            for (const QString &sub : QDir(fi.filePath())
                                          .entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot))
                out << fi.fileName() + QLatin1Char('/') + sub;
        } else {
            out << fi.fileName();
        }
    }
    out.sort();
    return out;
}

// Everything but the data file itself and completed automatic copies.
QStringList strayFiles(const QString &folder)
{
    QStringList stray;
    for (const QString &f : filesIn(folder)) {
        if (f == QLatin1String("db.tlmdb"))
            continue;
        if (f.startsWith(QLatin1String("backups/db-")) && f.endsWith(QLatin1String(".tlmdb")))
            continue;
        stray << f;
    }
    return stray;
}

QString templateFile()
{
    return THi::AppPath() + QStringLiteral("db.tlmdb");
}

void copyTemplate(const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(templateFile(), to))
        qFatal("cannot copy the template %s", qPrintable(templateFile()));
    QFile(to).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// A data file of `lines` records for the given user, in `lines`/1000 batches.
void fill(const QString &file, int lines, const QString &tag)
{
    TDbMan db(file);
    for (int done = 0; done < lines; done += 1000)
        db.AddRecords(User, batch(qMin(1000, lines - done), tag + QString::number(done)));
}

// How many records carry each distinct note; a batch is whole when it has all of them.
QMap<QString, int> batchCounts(const QString &file)
{
    QMap<QString, int> counts;
    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &h, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(h, 10000);
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(h, "select [notes],count(*) from [data] group by [notes]", -1, &st,
                               nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW)
                counts.insert(THi::Base64Decode(QString::fromLatin1(
                                  reinterpret_cast<const char *>(sqlite3_column_text(st, 0)))),
                              sqlite3_column_int(st, 1));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return counts;
}

// ---------------------------------------------------------------------------
// A full disk without a small file system: a VFS that fails every write past
// a budget of bytes with SQLITE_FULL, the error a full disk gives.

struct ShimFile {
    sqlite3_file base;
    sqlite3_file *real;
};

sqlite3_vfs *g_realVfs = nullptr;
sqlite3_vfs g_shimVfs;
sqlite3_io_methods g_shimIo;
qint64 g_budget = -1; // bytes still writable; negative: no limit

sqlite3_file *real(sqlite3_file *f)
{
    return reinterpret_cast<ShimFile *>(f)->real;
}

int shimClose(sqlite3_file *f)
{
    sqlite3_file *r = real(f);
    return r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
}
int shimRead(sqlite3_file *f, void *b, int n, sqlite3_int64 o)
{
    return real(f)->pMethods->xRead(real(f), b, n, o);
}
int shimWrite(sqlite3_file *f, const void *b, int n, sqlite3_int64 o)
{
    if (g_budget >= 0) {
        if (g_budget < n)
            return SQLITE_FULL;
        g_budget -= n;
    }
    return real(f)->pMethods->xWrite(real(f), b, n, o);
}
int shimTruncate(sqlite3_file *f, sqlite3_int64 s)
{
    return real(f)->pMethods->xTruncate(real(f), s);
}
int shimSync(sqlite3_file *f, int flags)
{
    return real(f)->pMethods->xSync(real(f), flags);
}
int shimSize(sqlite3_file *f, sqlite3_int64 *s)
{
    return real(f)->pMethods->xFileSize(real(f), s);
}
int shimLock(sqlite3_file *f, int l)
{
    return real(f)->pMethods->xLock(real(f), l);
}
int shimUnlock(sqlite3_file *f, int l)
{
    return real(f)->pMethods->xUnlock(real(f), l);
}
int shimCheck(sqlite3_file *f, int *out)
{
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int shimControl(sqlite3_file *f, int op, void *arg)
{
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int shimSector(sqlite3_file *f)
{
    return real(f)->pMethods->xSectorSize(real(f));
}
int shimDevice(sqlite3_file *f)
{
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}

int shimOpen(sqlite3_vfs *, const char *name, sqlite3_file *f, int flags, int *outFlags)
{
    auto *s = reinterpret_cast<ShimFile *>(f);
    s->real = reinterpret_cast<sqlite3_file *>(s + 1);
    const int rc = g_realVfs->xOpen(g_realVfs, name, s->real, flags, outFlags);
    // Only version 1 methods: no shared memory and no memory mapping, which
    // the rollback journal the data file uses never needs.
    f->pMethods = s->real->pMethods ? &g_shimIo : nullptr;
    return rc;
}

void installDiskShim()
{
    if (g_realVfs)
        return;
    g_realVfs = sqlite3_vfs_find(nullptr);
    g_shimVfs = *g_realVfs;
    g_shimVfs.zName = "tallimo-full-disk";
    g_shimVfs.szOsFile = int(sizeof(ShimFile)) + g_realVfs->szOsFile;
    g_shimVfs.xOpen = shimOpen;
    g_shimIo = sqlite3_io_methods{1,           shimClose,  shimRead,   shimWrite,  shimTruncate,
                                  shimSync,    shimSize,   shimLock,   shimUnlock, shimCheck,
                                  shimControl, shimSector, shimDevice, nullptr,    nullptr,
                                  nullptr,     nullptr,    nullptr,    nullptr};
    sqlite3_vfs_register(&g_shimVfs, 1);
}

// ---------------------------------------------------------------------------
// Child modes

int childMain(const QStringList &args)
{
    const QString mode = args.value(0);
    const QString file = args.value(1);
    try {
        TDbMan db(file);
        if (mode == QLatin1String("--child-save")) {
            // Saves 1,000-line batches until killed, one note per batch.
            for (int k = 0;; ++k) {
                db.AddRecords(User, batch(1000, args.value(2) + QString::number(k)));
                std::printf("%d\n", k);
                std::fflush(stdout);
            }
        }
        if (mode == QLatin1String("--child-batches")) {
            // Saves N small batches; a busy data file is tried again, as a user would.
            const int n = args.value(2).toInt();
            for (int k = 0; k < n; ++k) {
                for (int attempt = 0;; ++attempt) {
                    try {
                        db.AddRecords(User, batch(10, args.value(3) + QString::number(k)));
                        break;
                    } catch (const EDbBusy &) {
                        if (attempt > 20)
                            throw;
                    }
                }
            }
            return 0;
        }
        if (mode == QLatin1String("--child-backup")) {
            std::printf("ready\n");
            std::fflush(stdout);
            for (;;)
                db.BackupTo(args.value(2));
        }
        if (mode == QLatin1String("--child-import")) {
            std::printf("ready\n");
            std::fflush(stdout);
            db.ImportFrom(args.value(2));
            return 0;
        }
        if (mode == QLatin1String("--child-import-phases")) {
            // Says when the rows start and finish coming in, so that a kill
            // can be placed: before (the chosen file's check), during, or
            // after (the new file's check and the copy over the data file).
            std::printf("ready\n");
            std::fflush(stdout);
            bool reading = false;
            try {
                db.ImportFrom(args.value(2), [&](qint64 done, qint64 total) {
                    if (!reading) {
                        reading = true;
                        std::printf("reading\n");
                    }
                    if (done == total)
                        std::printf("read\n");
                    std::fflush(stdout);
                    return true;
                });
            } catch (const EDbError &) {
                std::printf("refused\n");
            }
            return 0;
        }
        if (mode == QLatin1String("--child-hold")) {
            // A large write left open, so that a kill leaves a hot journal.
            Raw raw(file);
            raw.exec("begin immediate");
            raw.exec("delete from [data]");
            raw.exec("update [users] set [pwd]='x'");
            std::printf("ready\n");
            std::fflush(stdout);
            for (;;)
                QThread::sleep(1);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    return 2;
}

// ---------------------------------------------------------------------------
// The trials

// What the next start of the program does before anything else: opening and
// upgrading the data file (which rolls back a hot journal) and a read.
QString nextStart(const QString &file)
{
    try {
        TDbMan db(file);
        db.Upgrade();
        db.ListUsers();
        return QString();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
}

void trialKillDuringSave(const QString &folder, int trials)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    copyTemplate(file);
    QRandomGenerator rng(7);
    int batches = 0, partial = 0;
    QString firstProblem;
    for (int t = 0; t < trials; ++t) {
        QProcess *p =
            startChild({QStringLiteral("--child-save"), file, QStringLiteral("kill%1-").arg(t)});
        waitForLine(p, 10000); // one batch stored: the kill lands in a later one
        QThread::usleep(rng.bounded(1000, 60000));
        killChild(p);
        const QString why = nextStart(file);
        if (!why.isEmpty() && firstProblem.isEmpty())
            firstProblem = why;
    }
    const QMap<QString, int> counts = batchCounts(file);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        ++batches;
        if (it.value() != 1000)
            ++partial;
    }
    const QString check = integrity(file);
    report(
        partial == 0 && check == QLatin1String("ok") && firstProblem.isEmpty(),
        QStringLiteral("SIGKILL during a save of 1,000 lines"),
        QStringLiteral("%1 kills, %2 whole batches stored, %3 partial, integrity %4%5")
            .arg(trials)
            .arg(batches - partial)
            .arg(partial)
            .arg(check, firstProblem.isEmpty() ? QString() : QStringLiteral(", ") + firstProblem));
}

void trialKillDuringBackup(const QString &folder, int trials)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    copyTemplate(file);
    fill(file, 60000, QStringLiteral("b"));
    const QByteArray before = digest(file);
    const QString targetDir = folder + QStringLiteral("/target");
    QDir().mkpath(targetDir);
    const QString target = targetDir + QStringLiteral("/copy.tlmdb");
    QRandomGenerator rng(11);
    int badTargets = 0, strays = 0;
    QStringList strayNames;
    for (int t = 0; t < trials; ++t) {
        QProcess *p = startChild({QStringLiteral("--child-backup"), file, target});
        waitForLine(p, 10000);
        QThread::usleep(rng.bounded(1000, 150000));
        killChild(p);
        // Whatever is under the target's name is a whole copy or nothing.
        if (QFileInfo::exists(target) &&
            (integrity(target) != QLatin1String("ok") || digest(target) != before))
            ++badTargets;
        // The next backup into that folder clears what the killed one left.
        try {
            TDbMan(file).BackupTo(target);
        } catch (const std::exception &e) {
            strayNames << QString::fromUtf8(e.what());
        }
        const QStringList left = QDir(targetDir).entryList(QDir::Files | QDir::Hidden);
        if (left != QStringList{QStringLiteral("copy.tlmdb")}) {
            ++strays;
            strayNames << left;
        }
    }
    const bool intact = integrity(file) == QLatin1String("ok") && digest(file) == before;
    report(intact && badTargets == 0 && strays == 0, QStringLiteral("SIGKILL during a backup"),
           QStringLiteral("%1 kills, data file %2, %3 broken copies, %4 stray files %5")
               .arg(trials)
               .arg(intact ? QStringLiteral("intact") : QStringLiteral("CHANGED"))
               .arg(badTargets)
               .arg(strays)
               .arg(strayNames.join(QLatin1Char(' '))));
}

void trialKillDuringImport(const QString &folder, int trials)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    const QString source = folder + QStringLiteral("/source.tlmdb");
    copyTemplate(source);
    fill(source, 60000, QStringLiteral("new"));
    const QByteArray newData = digest(source);
    QRandomGenerator rng(13);
    int bad = 0, strays = 0;
    QStringList notes;
    for (int t = 0; t < trials; ++t) {
        QDir(folder + QStringLiteral("/backups")).removeRecursively();
        copyTemplate(file);
        fill(file, 3000, QStringLiteral("old"));
        const QByteArray oldData = digest(file);
        QProcess *p = startChild({QStringLiteral("--child-import"), file, source});
        waitForLine(p, 10000);
        QThread::usleep(rng.bounded(1000, 200000));
        killChild(p);
        const QString why = nextStart(file);
        const QByteArray now = digest(file);
        if (!why.isEmpty() || integrity(file) != QLatin1String("ok") ||
            (now != oldData && now != newData)) {
            ++bad;
            notes << why;
        }
        // An automatic copy the kill cut short is cleared by the next one.
        try {
            TDbMan(file).AutoBackup();
        } catch (const std::exception &e) {
            ++bad;
            notes << QString::fromUtf8(e.what());
        }
        QStringList stray = strayFiles(folder);
        stray.removeAll(QStringLiteral("source.tlmdb"));
        if (!stray.isEmpty()) {
            ++strays;
            notes << stray;
        }
    }
    report(bad == 0 && strays == 0, QStringLiteral("SIGKILL during an import"),
           QStringLiteral("%1 kills, %2 data files neither old nor new, %3 with stray files %4")
               .arg(trials)
               .arg(bad)
               .arg(strays)
               .arg(notes.join(QLatin1Char(' '))));
}

// A large data file made quickly: n records of User in the stored form, in
// one transaction, notes of about 30 characters.
void fillLarge(const QString &file, int n)
{
    copyTemplate(file);
    TDbMan(file).AddUser(User, QStringLiteral("pw"));
    sqlite3 *h = nullptr;
    sqlite3_open(QFile::encodeName(file).constData(), &h);
    sqlite3_exec(h, "pragma journal_mode=off; pragma synchronous=off; begin", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(h,
                       "insert into [data] ([user],[date],[type],[cate],[amount],[notes]) "
                       "values (?,?,?,?,?,?)",
                       -1, &st, nullptr);
    const QByteArray user = THi::Base64Encode(User).toLatin1();
    QList<QByteArray> cates;
    for (int c = 0; c < 17; ++c)
        cates << THi::Base64Encode(QStringLiteral("类别%1").arg(c)).toLatin1();
    const QByteArray out = TypeExpense().toUtf8(), in = TypeIncome().toUtf8();
    const QDate first(2016, 1, 1);
    for (int i = 0; i < n; ++i) {
        const QByteArray date = first.addDays(i % 3650).toString(Qt::ISODate).toLatin1();
        const QByteArray notes =
            THi::Base64Encode(QStringLiteral("第%1笔 午饭和咖啡").arg(i)).toLatin1();
        const QByteArray &type = i % 5 ? out : in;
        sqlite3_bind_text(st, 1, user.constData(), int(user.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 2, date.constData(), int(date.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, type.constData(), int(type.size()), SQLITE_STATIC);
        const QByteArray &cate = cates.at(i % 17);
        sqlite3_bind_text(st, 4, cate.constData(), int(cate.size()), SQLITE_STATIC);
        sqlite3_bind_double(st, 5, 1 + i % 997 + 0.25);
        sqlite3_bind_text(st, 6, notes.constData(), int(notes.size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(h, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(h);
}

// Kills at random moments of the import of a large damaged file (refused
// after the engine's check of it) and of the same file undamaged (its rows
// read, the new file checked, then copied over the data file): every data
// file left behind is sound and holds the old data or the new, never the
// damaged file's.
void trialKillDuringLargeImport(const QString &folder, int kills, int records)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    const QString sound = folder + QStringLiteral("/sound.tlmdb");
    const QString damaged = folder + QStringLiteral("/damaged.tlmdb");
    fillLarge(sound, records);
    const QByteArray newData = digest(sound);
    QFile::remove(damaged);
    QFile::copy(sound, damaged);
    {
        // An index of its own lacks the last record: every page still reads,
        // and only the engine's whole check, at its very end, finds the damage.
        Raw w(damaged);
        w.exec(QStringLiteral("create index [damage] on [data] ([id]) where [id] < %1")
                   .arg(records)
                   .toUtf8()
                   .constData());
        w.exec("pragma writable_schema=on");
        w.exec("update sqlite_master set sql='CREATE INDEX [damage] ON [data] ([id])' "
               "where name='damage'");
    }
    const qint64 size = QFileInfo(damaged).size();
    auto freshLive = [&] {
        QDir(folder + QStringLiteral("/backups")).removeRecursively();
        copyTemplate(file);
        fill(file, 3000, QStringLiteral("old"));
        return digest(file);
    };
    // An undisturbed import of each, so the kills land anywhere within it.
    qint64 took[2];
    int wrongOutcome = 0;
    const QString sources[2] = {damaged, sound};
    for (int s = 0; s < 2; ++s) {
        freshLive();
        QElapsedTimer t;
        QProcess *p = startChild({QStringLiteral("--child-import-phases"), file, sources[s]});
        waitForLine(p, 10000);
        t.start();
        p->waitForFinished(-1);
        took[s] = t.elapsed();
        // The damaged file is refused, the sound one restored.
        if (p->readAll().contains("refused") != (s == 0))
            ++wrongOutcome;
        delete p;
    }
    QRandomGenerator rng(17);
    int bad = 0, checkPhase = 0, readPhase = 0, afterRead = 0, finished = 0;
    QStringList notes;
    for (int k = 0; k < 2 * kills; ++k) {
        const int s = k % 2;
        const QByteArray oldData = freshLive();
        QProcess *p = startChild({QStringLiteral("--child-import-phases"), file, sources[s]});
        waitForLine(p, 10000);
        p->readLine();
        QThread::msleep(rng.bounded(int(took[s] * 11 / 10) + 1));
        p->kill();
        p->waitForFinished();
        const QByteArray said = p->readAll();
        delete p;
        if (said.contains("read\n") && said.contains("reading"))
            ++afterRead;
        else if (said.contains("reading"))
            ++readPhase;
        else if (said.contains("refused"))
            ++finished;
        else
            ++checkPhase;
        const QString why = nextStart(file);
        const QByteArray now = digest(file);
        const bool ok = why.isEmpty() && integrity(file) == QLatin1String("ok") &&
                        (now == oldData || (s == 1 && now == newData));
        if (!ok) {
            ++bad;
            notes << QStringLiteral("%1 kill %2: %3")
                         .arg(s ? QStringLiteral("sound") : QStringLiteral("damaged"))
                         .arg(k)
                         .arg(why);
        }
    }
    if (wrongOutcome > 0)
        notes.prepend(QStringLiteral("an undisturbed import did not end as it should"));
    report(
        bad == 0 && wrongOutcome == 0, QStringLiteral("SIGKILL during a large import"),
        QStringLiteral(
            "%1 MB, %2 records; undisturbed %3 s (damaged, refused) and %4 s "
            "(sound); %5 kills each: %6 before the rows came in (the chosen file's "
            "check), %7 while they came in, %8 during the new file's check or copy, %9 after the "
            "refusal; %10 data files damaged or neither old nor new %11")
            .arg(size / 1000000)
            .arg(records)
            .arg(took[0] / 1000.0, 0, 'f', 1)
            .arg(took[1] / 1000.0, 0, 'f', 1)
            .arg(kills)
            .arg(checkPhase)
            .arg(readPhase)
            .arg(afterRead)
            .arg(finished)
            .arg(bad)
            .arg(notes.join(QLatin1Char(' '))));
}

void trialHotJournalRestore(const QString &folder)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    const QString backup = folder + QStringLiteral("/backup.tlmdb");
    copyTemplate(file);
    fill(file, 20000, QStringLiteral("live"));
    TDbMan(file).AddUser(User, QStringLiteral("pw"));
    TDbMan(file).BackupTo(backup);
    fill(file, 5000, QStringLiteral("after"));
    QProcess *p = startChild({QStringLiteral("--child-hold"), file});
    waitForLine(p, 10000);
    killChild(p);
    const bool hot = QFileInfo::exists(file + QStringLiteral("-journal"));
    QString error;
    try {
        TDbMan(file).ImportFrom(backup);
    } catch (const std::exception &e) {
        error = QString::fromUtf8(e.what());
    }
    const QString check = integrity(file);
    const bool same = digest(file) == digest(backup);
    // Saving afterwards must work and must not corrupt anything.
    try {
        fill(file, 2000, QStringLiteral("later"));
    } catch (const std::exception &e) {
        error += QString::fromUtf8(e.what());
    }
    const QString after = integrity(file);
    report(hot && error.isEmpty() && check == QLatin1String("ok") && same &&
               after == QLatin1String("ok"),
           QStringLiteral("restore with a hot journal present"),
           QStringLiteral("hot journal %1, import %2, integrity %3, data %4, after a save %5")
               .arg(hot ? QStringLiteral("present") : QStringLiteral("MISSING"),
                    error.isEmpty() ? QStringLiteral("ok") : error, check,
                    same ? QStringLiteral("= backup") : QStringLiteral("DIFFERENT"), after));
}

void trialTwoWriters(const QString &folder, int batchesEach)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    copyTemplate(file);
    QElapsedTimer timer;
    timer.start();
    QProcess *a = startChild({QStringLiteral("--child-batches"), file, QString::number(batchesEach),
                              QStringLiteral("A")});
    QProcess *b = startChild({QStringLiteral("--child-batches"), file, QString::number(batchesEach),
                              QStringLiteral("B")});
    a->waitForFinished(600000);
    b->waitForFinished(600000);
    const bool exited = a->exitCode() == 0 && b->exitCode() == 0;
    delete a;
    delete b;
    const qint64 ms = timer.elapsed();
    const QMap<QString, int> counts = batchCounts(file);
    int whole = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        whole += it.value() == 10;
    const bool ok = exited && whole == 2 * batchesEach && counts.size() == 2 * batchesEach &&
                    records(file) == qint64(20) * batchesEach;
    report(ok, QStringLiteral("two copies saving at once"),
           QStringLiteral("2 x %1 batches of 10 lines in %2 ms: %3 stored exactly once, %4 "
                          "records")
               .arg(batchesEach)
               .arg(ms)
               .arg(whole)
               .arg(records(file)));
}

// A full disk: a small tmpfs where this machine lets us mount one, else the
// write budget of the VFS shim.
class FullDisk {
public:
    explicit FullDisk(const QString &folder) : m_folder(folder + QStringLiteral("/small"))
    {
        QDir().mkpath(m_folder);
        // TALLIMO_TRIALS_SHIM=1 takes the shim even where a mount would work.
        m_mounted =
            !qEnvironmentVariableIsSet("TALLIMO_TRIALS_SHIM") &&
            ::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", 0, "size=4m") == 0;
    }
    ~FullDisk()
    {
        if (m_mounted)
            ::umount(QFile::encodeName(m_folder).constData());
        g_budget = -1;
    }
    QString folder() const { return m_folder; }
    bool mounted() const { return m_mounted; }
    QString kind() const
    {
        return m_mounted ? QStringLiteral("4 MB tmpfs") : QStringLiteral("VFS write budget");
    }
    // With no small file system, writes fail once `bytes` more are written.
    void fillUp(qint64 bytes)
    {
        if (!m_mounted) {
            installDiskShim();
            g_budget = bytes;
        }
    }
    void release() { g_budget = -1; }

private:
    QString m_folder;
    bool m_mounted = false;
};

void trialFullDisk(const QString &folder)
{
    FullDisk disk(folder);
    const QString file = disk.folder() + QStringLiteral("/db.tlmdb");
    copyTemplate(file);
    fill(file, 3000, QStringLiteral("keep"));
    const QByteArray before = digest(file);

    // Save: far more than fits.
    disk.fillUp(64 * 1024);
    QString saveError = attempt([&] {
        TDbMan db(file);
        for (int k = 0; k < 60; ++k)
            db.AddRecords(User, batch(1000, QStringLiteral("big%1-").arg(k) +
                                                QString(200, QLatin1Char('x'))));
    });
    disk.release();
    const QMap<QString, int> counts = batchCounts(file);
    int partial = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.key().startsWith(QLatin1String("big")) && it.value() != 1000)
            ++partial;
    const bool saveOk = !saveError.isEmpty() && partial == 0 &&
                        integrity(file) == QLatin1String("ok") &&
                        batchCounts(file).value(QStringLiteral("keep0")) == 1000;
    report(saveOk, QStringLiteral("full disk during a save (") + disk.kind() + QLatin1Char(')'),
           QStringLiteral("error \"%1\", %2 partial batches, integrity %3")
               .arg(saveError.section(QLatin1Char('\n'), 0, 0))
               .arg(partial)
               .arg(integrity(file)));

    // Backup into the full folder.
    const QByteArray beforeBackup = digest(file);
    const QString target = disk.folder() + QStringLiteral("/copy.tlmdb");
    disk.fillUp(16 * 1024);
    const QString backupError = attempt([&] {
        // Pad the small disk so a whole copy cannot fit (only a disk of our own).
        QFile pad(disk.folder() + QStringLiteral("/pad"));
        if (disk.mounted() && pad.open(QIODevice::WriteOnly)) {
            const QByteArray mb(1 << 20, 'p');
            while (pad.write(mb) == mb.size() && pad.flush()) {
            }
        }
        TDbMan(file).BackupTo(target);
    });
    disk.release();
    QFile::remove(disk.folder() + QStringLiteral("/pad"));
    const QStringList left = QDir(disk.folder()).entryList(QDir::Files | QDir::Hidden);
    const bool backupOk = !backupError.isEmpty() && digest(file) == beforeBackup &&
                          left == QStringList{QStringLiteral("db.tlmdb")};
    report(backupOk, QStringLiteral("full disk during a backup (") + disk.kind() + QLatin1Char(')'),
           QStringLiteral("error \"%1\", data file %2, files left: %3")
               .arg(backupError.section(QLatin1Char('\n'), 0, 0),
                    digest(file) == beforeBackup ? QStringLiteral("intact")
                                                 : QStringLiteral("CHANGED"),
                    left.join(QLatin1Char(' '))));

    // Import of a file larger than what is free.
    const QString source = folder + QStringLiteral("/large.tlmdb");
    copyTemplate(source);
    fill(source, 40000, QStringLiteral("large"));
    const QByteArray beforeImport = digest(file);
    disk.fillUp(256 * 1024);
    const QString importError = attempt([&] { TDbMan(file).ImportFrom(source); });
    disk.release();
    const QString why = nextStart(file);
    const bool importOk = !importError.isEmpty() && why.isEmpty() &&
                          integrity(file) == QLatin1String("ok") && digest(file) == beforeImport;
    report(importOk,
           QStringLiteral("full disk during an import (") + disk.kind() + QLatin1Char(')'),
           QStringLiteral("error \"%1\", data file %2")
               .arg(importError.section(QLatin1Char('\n'), 0, 0), digest(file) == beforeImport
                                                                      ? QStringLiteral("intact")
                                                                      : QStringLiteral("CHANGED")));
}

// ---------------------------------------------------------------------------
// Bad restore files

void makeSqlite(const QString &path, const char *sql)
{
    QFile::remove(path);
    sqlite3 *h = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &h);
    char *err = nullptr;
    if (sqlite3_exec(h, sql, nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("making a bad file: %s", err);
    sqlite3_close(h);
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

const char *OurUsers = "create table [users] ([id] integer primary key autoincrement, "
                       "[name] text not null, [pwd] text not null);";
const char *OurCates = "create table [cates] ([id] integer primary key autoincrement, "
                       "[user] text not null, [out] text not null default '', "
                       "[in] text not null default '');";
const char *OurData = "create table [data] ([id] integer primary key autoincrement, "
                      "[user] text not null, [date] text not null, [type] text not null, "
                      "[cate] text not null, [amount] real not null, "
                      "[notes] text not null default '');";

QByteArray sql(std::initializer_list<const char *> parts)
{
    QByteArray out;
    for (const char *p : parts)
        out += p;
    return out;
}

// Two accounts (Li with password "1", Wang with "2"), Li's category list and
// three records, in the stored form.
QByteArray SoundRows()
{
    static const QByteArray rows =
        QStringLiteral(
            "insert into [users] ([id],[name],[pwd]) values (1,'TGk=','%1'),(2,'V2FuZw==','%2');"
            "insert into [cates] ([id],[user],[out],[in]) values (1,'TGk=','Rm9vZA==','');"
            "insert into [data] ([id],[user],[date],[type],[cate],[amount],[notes]) values "
            "(1,'TGk=','2026-04-12','支出','Rm9vZA==',3,'bg=='),"
            "(2,'V2FuZw==','2026-04-13','收入','Rm9vZA==',5.5,'bg=='),"
            "(3,'V2FuZw==','2026-04-14','支出','Rm9vZA==',0.01,'');")
            .arg(TDbMan::HashPassword(QStringLiteral("1")),
                 TDbMan::HashPassword(QStringLiteral("2")))
            .toUtf8();
    return rows;
}

// Sound rows in files that carry things of their own: the rows are restored
// and nothing else, so saving, logging in and the other account's records
// work as in any ledger.
void trialRowsOnly(const QString &folder)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    const QByteArray data = OurData;
    struct Kind {
        const char *name;
        QByteArray schema; // our three tables, one of them changed
        QByteArray extra;  // after the rows
    };
    const QByteArray ours = sql({OurUsers, OurCates, OurData});
    const QList<Kind> kinds = {
        {"trigger deleting other accounts' records", ours,
         "create trigger t after insert on data begin delete from data where user<>new.user; "
         "end;"},
        {"trigger resetting every password", ours,
         "create trigger t after insert on users begin update users set pwd=(select pwd from "
         "users where id=2); end;"},
        {"trigger that raises", ours,
         "create trigger t before insert on data begin select raise(abort, 'no'); end;"},
        {"extra UNIQUE index", ours, "create unique index u on data (date);"},
        {"CHECK on amount",
         sql({OurUsers, OurCates,
              QByteArray(data)
                  .replace("[amount] real not null",
                           "[amount] real not null check ([amount] < 100)")
                  .constData()}),
         ""},
        {"WITHOUT ROWID",
         sql({OurUsers, OurCates,
              QByteArray(data)
                  .replace("primary key autoincrement", "primary key")
                  .replace("'');", "'') without rowid;")
                  .constData()}),
         ""},
        {"extra column NOT NULL DEFAULT NULL",
         sql({OurUsers, OurCates,
              QByteArray(data).replace("'');", "'', [memo] text);").constData()}),
         "update data set memo='m'; pragma writable_schema=on; update sqlite_master set "
         "sql=replace(sql, '[memo] text', '[memo] text not null default null') where "
         "name='data';"},
        {"INTEGER PRIMARY KEY DESC",
         sql({OurUsers, OurCates,
              QByteArray(data)
                  .replace("primary key autoincrement", "primary key desc")
                  .constData()}),
         ""},
        {"a view, a table and an index of its own", ours,
         "create table extra (a); create view v as select * from data; "
         "create index i on data (amount);"},
    };
    auto objects = [](const QString &f) {
        return Raw(f).value("select group_concat(type||' '||name||' '||coalesce(sql,''), '|') "
                            "from (select * from sqlite_master order by type, name)");
    };
    const QString ourObjects = objects(templateFile());
    int clean = 0;
    QStringList failures;
    for (const Kind &k : kinds) {
        copyTemplate(file);
        TDbMan(file).SetCateList(QStringLiteral("Mine"), KindOut(), QStringLiteral("Old"));
        const QString source = folder + QStringLiteral("/given.tlmdb");
        makeSqlite(source,
                   sql({k.schema.constData(), SoundRows().constData(), k.extra.constData()}));
        QString problem = attempt([&] {
            TDbMan db(file);
            db.ImportFrom(source);
            db.AddRecord(QStringLiteral("Li"), QStringLiteral("2026-05-01"), TypeExpense(),
                         QStringLiteral("Food"), 50000, QString());
            db.AddRecord(QStringLiteral("Li"), QStringLiteral("2026-05-01"), TypeExpense(),
                         QStringLiteral("Food"), 50000, QString());
            const TPeriod li = db.QueryPeriod(QStringLiteral("Li"), QStringLiteral("2026-01-01"),
                                              QStringLiteral("2026-12-31"));
            const TPeriod wang = db.QueryPeriod(
                QStringLiteral("Wang"), QStringLiteral("2026-01-01"), QStringLiteral("2026-12-31"));
            if (li.RecRows.size() != 3 || wang.RecRows.size() != 2 || li.OutCents != 100300)
                throw std::runtime_error("records lost or changed");
            if (li.RecRows.Id(2) <= 3)
                throw std::runtime_error("a new record without a new id");
            if (!db.CheckLogin(QStringLiteral("Li"), QStringLiteral("1")))
                throw std::runtime_error("passwords changed");
            if (!db.GetCateList(QStringLiteral("Mine"), KindOut()).isEmpty())
                throw std::runtime_error("old data still there");
        });
        if (problem.isEmpty() && objects(file) != ourObjects)
            problem = QStringLiteral("the file's own objects came along");
        if (problem.isEmpty() && integrity(file) != QLatin1String("ok"))
            problem = integrity(file);
        if (problem.isEmpty())
            ++clean;
        else
            failures << QStringLiteral("%1: %2").arg(QLatin1String(k.name), problem);
    }
    report(clean == int(kinds.size()),
           QStringLiteral("%1 kinds of files with objects of their own").arg(kinds.size()),
           QStringLiteral("%1 restored as rows only %2")
               .arg(clean)
               .arg(failures.join(QStringLiteral("; "))));
}

void trialBadRestoreFiles(const QString &folder)
{
    const QString file = folder + QStringLiteral("/db.tlmdb");
    copyTemplate(file);
    fill(file, 2000, QStringLiteral("mine"));
    TDbMan(file).AddUser(User, QStringLiteral("pw"));
    const QByteArray before = digest(file);
    const QByteArray good = [&] {
        const QString g = folder + QStringLiteral("/good.tlmdb");
        TDbMan(file).BackupTo(g);
        QFile f(g);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    struct Bad {
        const char *name;
        std::function<void(const QString &)> make;
    };
    const QList<Bad> bad = {
        {"empty file", [](const QString &p) { writeBytes(p, QByteArray()); }},
        {"zeros", [](const QString &p) { writeBytes(p, QByteArray(65536, '\0')); }},
        {"a text file", [](const QString &p) { writeBytes(p, "date,amount\n2026-12-01,12.50\n"); }},
        {"random bytes",
         [](const QString &p) {
             QByteArray b(65536, '\0');
             QRandomGenerator rng(3);
             for (char &c : b)
                 c = char(rng.bounded(256));
             writeBytes(p, b);
         }},
        {"SQLite header only", [&](const QString &p) { writeBytes(p, good.left(100)); }},
        {"truncated to half", [&](const QString &p) { writeBytes(p, good.left(good.size() / 2)); }},
        {"a damaged page",
         [&](const QString &p) {
             QByteArray b = good;
             for (int i = 0; i < 4096 && 2 * 4096 + i < b.size(); ++i)
                 b[2 * 4096 + i] = char(0x5A);
             writeBytes(p, b);
         }},
        {"another program's SQLite file",
         [](const QString &p) {
             makeSqlite(p, "create table notes (id integer primary key, body text);"
                           "insert into notes (body) values ('hello');");
         }},
        {"no users table",
         [](const QString &p) {
             makeSqlite(p, sql({OurCates, OurData}));
         }},
        {"no cates table",
         [](const QString &p) {
             makeSqlite(p, sql({OurUsers, OurData}));
         }},
        {"no data table",
         [](const QString &p) {
             makeSqlite(p, sql({OurUsers, OurCates}));
         }},
        {"data without notes column",
         [](const QString &p) {
             makeSqlite(p, sql({OurUsers, OurCates,
                                "create table [data] ([id] integer primary key, [user] text, "
                                "[date] text, [type] text, [cate] text, [amount] real);"}));
         }},
        {"extra NOT NULL column in data",
         [](const QString &p) {
             // ALTER TABLE insists on a default; a table made whole needs none.
             makeSqlite(p, sql({OurUsers, OurCates,
                                "create table [data] ([id] integer primary key autoincrement, "
                                "[user] text not null, [date] text not null, [type] text not "
                                "null, [cate] text not null, [amount] real not null, [notes] "
                                "text not null default '', [currency] text not null);"}));
         }},
        {"extra NOT NULL column in users",
         [](const QString &p) {
             makeSqlite(p, sql({OurCates, OurData,
                                "create table [users] ([id] integer primary key autoincrement, "
                                "[name] text not null, [pwd] text not null, [email] text not "
                                "null);"}));
         }},
        {"tables as views",
         [](const QString &p) {
             makeSqlite(p, "create view [users] as select 1 as [id], 'a' as [name], 'b' as [pwd];"
                           "create view [cates] as select 1 as [id], 'a' as [user], '' as [out], "
                           "'' as [in];"
                           "create view [data] as select 1 as [id], 'a' as [user], '2026-01-01' "
                           "as [date], 'x' as [type], 'c' as [cate], 1.0 as [amount], '' as "
                           "[notes];");
         }},
        {"a folder",
         [](const QString &p) {
             QFile::remove(p);
             QDir().mkpath(p);
         }},
        {"a dangling link",
         [&](const QString &p) {
             QFile::remove(p);
             QFile::link(folder + QStringLiteral("/nowhere.tlmdb"), p);
         }},
        {"a named pipe",
         [](const QString &p) {
             QFile::remove(p);
             ::mkfifo(QFile::encodeName(p).constData(), 0600);
         }},
        {"a link to a device",
         [](const QString &p) {
             QFile::remove(p);
             QFile::link(QStringLiteral("/dev/zero"), p);
         }},
        {"a missing file", [](const QString &p) { QFile::remove(p); }},
        {"the data file itself", [](const QString &) {}},
    };

    // Our tables with sound rows, one value made hostile: each refused whole.
    const QList<std::pair<const char *, const char *>> values = {
        {"maximum id", "update data set id=9223372036854775807 where id=2"},
        {"id 2^53", "update data set id=9007199254740992 where id=2"},
        {"id 0", "update data set id=0 where id=2"},
        {"id counter at the limit",
         "update sqlite_sequence set seq=9223372036854775807 where name='data'"},
        {"amount 1e308", "update data set amount=1e308 where id=2"},
        {"amount -1e308", "update data set amount=-1e308 where id=2"},
        {"amount infinite", "update data set amount=1e999 where id=2"},
        {"amount NaN", "update data set amount='NaN' where id=2"},
        {"amount as text", "update data set amount='12 yuan' where id=2"},
        {"amount zero", "update data set amount=0 where id=2"},
        {"date garbage", "update data set date='garbage' where id=2"},
        {"date impossible", "update data set date='2026-02-30' where id=2"},
        {"other type word", "update data set type='其他' where id=2"},
        {"user not base64", "update data set user='Wang Li' where id=2"},
        {"category cut in a character", "update data set cate='1tDO' where id=2"},
        {"notes cut in a character", "update data set notes='1tDO' where id=2"},
        {"notes as a blob", "update data set notes=x'00ff' where id=2"},
        {"account name not base64", "update users set name='Li' where id=1"},
        {"password as a blob", "update users set pwd=x'00' where id=1"},
        {"category list cut in a character", "update cates set out='1tDO' where id=1"},
    };
    QList<Bad> all = bad;
    for (const auto &v : values) {
        const QByteArray change = v.second;
        all.append({v.first, [change](const QString &p) {
                        makeSqlite(p, sql({OurUsers, OurCates, OurData, SoundRows().constData(),
                                           change.constData(), ";"}));
                    }});
    }
    {
        const QByteArray nullable =
            QByteArray(OurData).replace("[amount] real not null", "[amount] real");
        all.append({"amount NULL", [nullable](const QString &p) {
                        makeSqlite(p, sql({OurUsers, OurCates, nullable.constData(),
                                           SoundRows().constData(),
                                           "update data set amount=null where id=2;"}));
                    }});
        const QByteArray nullDate =
            QByteArray(OurData).replace("[date] text not null", "[date] text");
        all.append({"date NULL", [nullDate](const QString &p) {
                        makeSqlite(p, sql({OurUsers, OurCates, nullDate.constData(),
                                           SoundRows().constData(),
                                           "update data set date=null where id=2;"}));
                    }});
    }

    int untouched = 0;
    QStringList failures;
    int n = 0;
    for (const Bad &b : all) {
        const bool self = QLatin1String(b.name) == QLatin1String("the data file itself");
        const QString path =
            self ? file : folder + QStringLiteral("/bad%1.tlmdb").arg(++n, 2, 10, QLatin1Char('0'));
        b.make(path);
        QString error;
        bool finished = false;
        // A pipe must not hang the import: run it on a thread and give up waiting.
        QThread *worker = QThread::create([&] {
            error = attempt([&] { TDbMan(file).ImportFrom(path); });
            finished = true;
        });
        worker->start();
        if (!worker->wait(20000)) {
            failures << QStringLiteral("%1: hangs").arg(QLatin1String(b.name));
            worker->terminate();
            worker->wait();
        }
        delete worker;
        const bool same = digest(file) == before && integrity(file) == QLatin1String("ok");
        if (finished && same && (self || !error.isEmpty()))
            ++untouched;
        else
            failures << QStringLiteral("%1: %2").arg(QLatin1String(b.name),
                                                     error.isEmpty() ? QStringLiteral("accepted")
                                                                     : QStringLiteral("changed"));
        QFileInfo fi(path);
        if (fi.isDir() && !fi.isSymLink())
            QDir(path).removeRecursively();
        else if (!self)
            QFile::remove(path);
    }
    report(untouched == int(all.size()),
           QStringLiteral("%1 kinds of bad restore files").arg(all.size()),
           QStringLiteral("%1 refused with the data file untouched %2")
               .arg(untouched)
               .arg(failures.join(QStringLiteral("; "))));

    // A good backup on read-only media still restores.
    const QString readOnly = folder + QStringLiteral("/readonly.tlmdb");
    writeBytes(readOnly, good);
    QFile(readOnly).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    fill(file, 1000, QStringLiteral("more"));
    const QString error = attempt([&] { TDbMan(file).ImportFrom(readOnly); });
    report(error.isEmpty() && digest(file) == before,
           QStringLiteral("a read-only good backup restores"),
           error.isEmpty() ? QStringLiteral("data = backup") : error);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (!args.isEmpty() && args.first().startsWith(QLatin1String("--child-pg-")))
        return ServerChildMain(args);
    if (!args.isEmpty() && args.first().startsWith(QLatin1String("--child-")))
        return childMain(args);

    const bool quick = args.contains(QStringLiteral("--quick"));
    if (args.contains(QStringLiteral("--server")))
        return ServerTrials(quick);
    if (!QFileInfo::exists(templateFile())) {
        std::fprintf(stderr, "tallimo_trials: no template data file at %s\n",
                     qPrintable(templateFile()));
        return 2;
    }
    QTemporaryDir root;
    auto dir = [&](const char *name) {
        const QString d = root.filePath(QLatin1String(name));
        QDir().mkpath(d);
        return d;
    };
    if (args.contains(QStringLiteral("--large-import"))) {
        // Only the large import's kills, at full size (a few minutes).
        trialKillDuringLargeImport(dir("large"), 20, 760000);
        return g_failed == 0 ? 0 : 1;
    }
    std::printf("tallimo_trials%s, SQLite %s\n", quick ? " --quick" : "", sqlite3_libversion());
    QElapsedTimer total;
    total.start();
    trialKillDuringSave(dir("save"), quick ? 5 : 100);
    trialKillDuringBackup(dir("backup"), quick ? 3 : 20);
    trialKillDuringImport(dir("import"), quick ? 3 : 20);
    // About 140 MB at full size.
    trialKillDuringLargeImport(dir("large"), quick ? 3 : 20, quick ? 20000 : 760000);
    trialHotJournalRestore(dir("journal"));
    trialTwoWriters(dir("writers"), quick ? 50 : 1000);
    trialFullDisk(dir("full"));
    trialBadRestoreFiles(dir("bad"));
    trialRowsOnly(dir("rows"));
    std::printf("%.1f s\n%d passed, %d failed\n", total.elapsed() / 1000.0, g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
