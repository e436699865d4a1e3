#include "HiClass.h"
#include "Placement.h"
#include "SafeFile.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

#include <unistd.h>

// Each test gets its own data folder through XDG_DATA_HOME; the template is the
// one the build places beside this program. The importer is a recorder: the
// placement only decides what to hand over, the store does the import.
class TestPlacement : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStartCopiesTemplate();
    void existingFileIsKept();
    void readOnlyFileBecomesWritable();
    void importHandOff_data();
    void importHandOff();
    void importFindsADataFileOnFirstStart();
    void templateShipsBesideTheProgram();
    void copyIsOwnerOnly();
    void staleTemporariesGoAtStart_data();
    void staleTemporariesGoAtStart();

private:
    QString dataFile() const { return m_home->filePath(QStringLiteral("Tallimo/db.tlmdb")); }
    static QByteArray bytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void write(const QString &path, const QByteArray &content)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    static constexpr QFileDevice::Permissions OwnerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
        QFileDevice::WriteUser;

    std::unique_ptr<QTemporaryDir> m_home;
    QList<QStringList> m_handed; // data file and backup of every hand-off
    Placement::Importer recorder()
    {
        return [this](const QString &data, const QString &backup) {
            m_handed.append({data, backup});
        };
    }
};

void TestPlacement::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_handed.clear();
}

void TestPlacement::cleanup()
{
    m_home.reset();
}

void TestPlacement::firstStartCopiesTemplate()
{
    QVERIFY(!QFileInfo::exists(m_home->filePath(QStringLiteral("Tallimo"))));
    const QString path = Placement::PlaceDataFile({}, recorder());
    QCOMPARE(path, dataFile());
    QCOMPARE(bytes(path), bytes(Placement::TemplateFile()));
    QVERIFY(!bytes(path).isEmpty());
    // The household's data is readable by its owner only.
    QCOMPARE(QFile(path).permissions(), OwnerOnly);
    QCOMPARE(QDir(m_home->filePath(QStringLiteral("Tallimo"))).entryList(QDir::Files),
             QStringList{QStringLiteral("db.tlmdb")});
    QVERIFY(m_handed.isEmpty());
}

void TestPlacement::existingFileIsKept()
{
    Placement::PlaceDataFile({}, recorder());
    write(dataFile(), "the household's data");
    Placement::PlaceDataFile({}, recorder());
    QCOMPARE(bytes(dataFile()), QByteArray("the household's data"));
}

void TestPlacement::readOnlyFileBecomesWritable()
{
    Placement::PlaceDataFile({}, recorder());
    QFile(dataFile()).setPermissions(QFileDevice::ReadOwner);
    Placement::PlaceDataFile({}, recorder());
    QVERIFY(QFileInfo(dataFile()).isWritable());
}

void TestPlacement::importHandOff_data()
{
    QTest::addColumn<QString>("fileName"); // made in a folder of its own
    QTest::addColumn<QString>(
        "kind"); // file, folder, fifo, device, none, data, link, hardlink, dotted
    QTest::addColumn<bool>("handed");
    QTest::addRow("backup") << "may.tlmdb"
                            << "file" << true;
    QTest::addRow("extension in capitals") << "MAY.TLMDB"
                                           << "file" << true;
    QTest::addRow("extension in mixed case") << "may.TlMdB"
                                             << "file" << true;
    QTest::addRow("blanks in the path") << "my backups/may 2011.tlmdb"
                                        << "file" << true;
    QTest::addRow("quote in the name") << "the \"old\" one.tlmdb"
                                       << "file" << true;
    QTest::addRow("not ours inside: the store decides") << "notes.tlmdb"
                                                        << "file" << true;
    QTest::addRow("other extension") << "may.mdb"
                                     << "file" << false;
    QTest::addRow("extension only in the name") << "may-tlmdb"
                                                << "file" << false;
    QTest::addRow("double extension ending otherwise") << "may.tlmdb.txt"
                                                       << "file" << false;
    // Not a file: the store says why instead of the program saying nothing.
    QTest::addRow("folder with the extension: the store says no") << "folder.tlmdb"
                                                                  << "folder" << true;
    QTest::addRow("a named pipe: the store says no") << "pipe.tlmdb"
                                                     << "fifo" << true;
    QTest::addRow("a link to a device: the store says no") << "null.tlmdb"
                                                           << "device" << true;
    QTest::addRow("no such file") << "gone.tlmdb"
                                  << "none" << false;
    QTest::addRow("empty argument") << ""
                                    << "none" << false;
    QTest::addRow("the data file itself") << ""
                                          << "data" << false;
    QTest::addRow("the data file by a longer path") << ""
                                                    << "dotted" << false;
    QTest::addRow("a link to the data file") << "link.tlmdb"
                                             << "link" << false;
    QTest::addRow("a hard link to the data file") << "hard.tlmdb"
                                                  << "hardlink" << false;
}

void TestPlacement::importHandOff()
{
    QFETCH(QString, fileName);
    QFETCH(QString, kind);
    QFETCH(bool, handed);

    Placement::PlaceDataFile({}, recorder());
    write(dataFile(), "current data");

    QTemporaryDir src;
    QString arg = fileName.isEmpty() ? QString() : src.filePath(fileName);
    if (!arg.isEmpty())
        QDir().mkpath(QFileInfo(arg).path());
    if (kind == QStringLiteral("file")) {
        write(arg, "a backup");
        QFile(arg).setPermissions(QFileDevice::ReadOwner); // as from read-only media
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(arg));
    } else if (kind == QStringLiteral("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(arg).constData(), 0600), 0);
    } else if (kind == QStringLiteral("device")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), arg));
    } else if (kind == QStringLiteral("data")) {
        arg = dataFile();
    } else if (kind == QStringLiteral("dotted")) {
        arg = m_home->filePath(QStringLiteral("Tallimo/../Tallimo/./db.tlmdb"));
    } else if (kind == QStringLiteral("link")) {
        QVERIFY(QFile::link(dataFile(), arg));
    } else if (kind == QStringLiteral("hardlink")) {
        QCOMPARE(
            ::link(QFile::encodeName(dataFile()).constData(), QFile::encodeName(arg).constData()),
            0);
    }

    const QString path =
        Placement::PlaceDataFile({arg, QStringLiteral("ignored second argument")}, recorder());
    QCOMPARE(path, dataFile());
    if (handed)
        QCOMPARE(m_handed, (QList<QStringList>{{dataFile(), arg}}));
    else
        QVERIFY(m_handed.isEmpty());
    // The placement never copies anything over the data file: importing is the store's.
    QCOMPARE(bytes(path), QByteArray("current data"));
    QCOMPARE(QDir(m_home->filePath(QStringLiteral("Tallimo"))).entryList(QDir::Files),
             QStringList{QStringLiteral("db.tlmdb")});

    // Only the first argument counts.
    m_handed.clear();
    if (handed) {
        Placement::PlaceDataFile({QStringLiteral("not a file"), arg}, recorder());
        QVERIFY(m_handed.isEmpty());
    }
}

void TestPlacement::importFindsADataFileOnFirstStart()
{
    QTemporaryDir src;
    const QString backup = src.filePath(QStringLiteral("may.tlmdb"));
    write(backup, "a backup");
    bool existed = false;
    QByteArray seen;
    Placement::PlaceDataFile({backup}, [&](const QString &data, const QString &) {
        existed = QFileInfo(data).isFile();
        seen = bytes(data);
    });
    // The template is in place before the store imports into it.
    QVERIFY(existed);
    QCOMPARE(seen, bytes(Placement::TemplateFile()));
}

void TestPlacement::templateShipsBesideTheProgram()
{
    // Found beside the program whatever the current folder is.
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    const QString shipped = THi::ShippedFile(QStringLiteral("db.tlmdb"));
    QDir::setCurrent(before);
    QCOMPARE(shipped, Placement::TemplateFile());
    QVERIFY(QFileInfo(shipped).isFile());
    QCOMPARE(QFileInfo(shipped).absolutePath(), QCoreApplication::applicationDirPath());
}

void TestPlacement::copyIsOwnerOnly()
{
    QTemporaryDir dir;
    const QString from = dir.filePath(QStringLiteral("from.tlmdb"));
    write(from, "data");
    QFile(from).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                               QFileDevice::ReadOther | QFileDevice::ReadUser);
    const QString to = dir.filePath(QStringLiteral("to.tlmdb"));
    write(to, "older");
    QVERIFY(Placement::CopyFileAtomic(from, to));
    QCOMPARE(bytes(to), QByteArray("data"));
    QCOMPARE(QFile(to).permissions(), OwnerOnly);
    QVERIFY(!Placement::CopyFileAtomic(dir.filePath(QStringLiteral("missing")), to));
    QCOMPARE(bytes(to), QByteArray("data"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("from.tlmdb"), QStringLiteral("to.tlmdb")}));
}

void TestPlacement::staleTemporariesGoAtStart_data()
{
    QTest::addColumn<QString>("where");  // data folder, backups or last backup folder
    QTest::addColumn<QString>("name");   // %1 is the writer's process id
    QTest::addColumn<QString>("writer"); // dead, this copy or another copy
    QTest::addColumn<bool>("removed");
    for (const char *where : {"data", "backups", "last"}) {
        const auto row = [&](const char *what, const char *name, const char *writer, bool gone) {
            QTest::addRow("%s: %s", where, what) << where << name << writer << gone;
        };
        row("killed backup", "b.tlmdb.partial-%1-AbC123", "dead", true);
        row("its journal", "b.tlmdb.partial-%1-AbC123-journal", "dead", true);
        row("backup running in this copy", "b.tlmdb.partial-%1-AbC123", "this", false);
        row("backup running in another copy", "b.tlmdb.partial-%1-x9Z8y7", "other", false);
        row("not our name: short suffix", "b.tlmdb.partial-%1-AbC12", "dead", false);
        row("not our name: text after", "b.tlmdb.partial-%1-AbC123.txt", "dead", false);
        row("not our name: no pid", "b.tlmdb.partial-x%1-AbC123", "dead", false);
    }
}

// A killed backup or safety copy leaves "<target>.partial-<pid>-XXXXXX" as big
// as the data file; the next start removes it, and only that.
void TestPlacement::staleTemporariesGoAtStart()
{
    QFETCH(QString, where);
    QFETCH(QString, name);
    QFETCH(QString, writer);
    QFETCH(bool, removed);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(QStringLiteral("config"))));
    const QString data = m_home->filePath(QStringLiteral("Tallimo"));
    const QString last = m_home->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/backups")));
    QVERIFY(QDir().mkpath(last));
    Settings::RememberBackupFile(last + QStringLiteral("/ledger.tlmdb"));
    QCOMPARE(Settings::LastBackupFolder(), last);

    qint64 pid = 999999999; // above any pid_max: no such process
    QProcess other;
    if (writer == QStringLiteral("this")) {
        pid = QCoreApplication::applicationPid();
    } else if (writer == QStringLiteral("other")) {
        other.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(other.waitForStarted());
        pid = other.processId();
    }
    const QString folder = where == QStringLiteral("data")      ? data
                           : where == QStringLiteral("backups") ? data + QStringLiteral("/backups")
                                                                : last;
    const QString file = folder + QStringLiteral("/") + name.arg(pid);
    write(file, "partial");
    const QString keep = folder + QStringLiteral("/ledger.tlmdb");
    write(keep, "a backup");

    Placement::PlaceDataFile({});
    QCOMPARE(!QFileInfo::exists(file), removed);
    QVERIFY(QFileInfo::exists(keep));
    QVERIFY(QFileInfo::exists(dataFile()));
    if (other.state() != QProcess::NotRunning) {
        other.kill();
        other.waitForFinished();
        // Once that copy is gone, its temporary goes at the next start.
        Placement::PlaceDataFile({});
        QVERIFY(!QFileInfo::exists(file));
    }
}

QTEST_GUILESS_MAIN(TestPlacement)
#include "tst_Placement.moc"
