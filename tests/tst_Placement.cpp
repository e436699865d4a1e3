#include "DbClass.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QtTest>

// Each test gets its own data folder through XDG_DATA_HOME; the template is the
// one the build places beside this program.
class TestPlacement : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStartCopiesTemplate();
    void existingFileIsKept();
    void readOnlyFileBecomesWritable();
    void import_data();
    void import();
    void templateHoldsTheTables();

private:
    QString dataFile() const { return m_home->filePath("Tallimo/db.tlmdb"); }
    // A data file holding one user, so that it can be told apart from the template.
    QString makeDataFile(const QString &path, const QString &user);

    std::unique_ptr<TestSupport::DataHome> m_home;
};

void TestPlacement::init()
{
    m_home = std::make_unique<TestSupport::DataHome>();
}

void TestPlacement::cleanup()
{
    m_home.reset();
}

QString TestPlacement::makeDataFile(const QString &path, const QString &user)
{
    QFile::remove(path);
    if (!QFile::copy(Placement::TemplateFile(), path))
        return QString();
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    TDbMan db(path);
    db.AddUser(user, "1234");
    return path;
}

void TestPlacement::firstStartCopiesTemplate()
{
    QVERIFY(!QFileInfo::exists(m_home->filePath("Tallimo")));
    const QString path = Placement::PlaceDataFile({});
    QCOMPARE(path, dataFile());
    QVERIFY(Placement::IsTallimoDataFile(path));
    QCOMPARE(TDbMan(path).ListUsers(), QString());
}

void TestPlacement::existingFileIsKept()
{
    Placement::PlaceDataFile({});
    makeDataFile(dataFile(), "Li");
    Placement::PlaceDataFile({});
    QCOMPARE(TDbMan(dataFile()).ListUsers(), QString("Li"));
}

void TestPlacement::readOnlyFileBecomesWritable()
{
    Placement::PlaceDataFile({});
    QFile(dataFile()).setPermissions(QFileDevice::ReadOwner);
    Placement::PlaceDataFile({});
    QVERIFY(QFileInfo(dataFile()).isWritable());
    TDbMan(dataFile()).AddUser("Wang", "1");
}

void TestPlacement::import_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("kind"); // "data", "junk" or "none" (no file made)
    QTest::addColumn<bool>("imported");
    QTest::addRow("backup") << "may.tlmdb"
                            << "data" << true;
    QTest::addRow("extension in capitals") << "MAY.TLMDB"
                                           << "data" << true;
    QTest::addRow("blanks in the path") << "my backups/may 2011.tlmdb"
                                        << "data" << true;
    QTest::addRow("other extension") << "may.mdb"
                                     << "data" << false;
    QTest::addRow("no such file") << "gone.tlmdb"
                                  << "none" << false;
    QTest::addRow("not a database") << "notes.tlmdb"
                                    << "junk" << false;
    QTest::addRow("foreign database") << "other.tlmdb"
                                      << "foreign" << false;
}

void TestPlacement::import()
{
    QFETCH(QString, fileName);
    QFETCH(QString, kind);
    QFETCH(bool, imported);

    Placement::PlaceDataFile({});
    makeDataFile(dataFile(), "Current");

    QTemporaryDir src;
    const QString arg = src.filePath(fileName);
    QDir().mkpath(QFileInfo(arg).path());
    if (kind == "data") {
        QVERIFY(!makeDataFile(arg, "FromBackup").isEmpty());
        QFile(arg).setPermissions(QFileDevice::ReadOwner); // as from read-only media
    } else if (kind == "junk") {
        QFile f(arg);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a database at all");
    } else if (kind == "foreign") {
        QFile f(arg);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(QProcess::execute("sqlite3", {arg, "create table t(x);"}) == 0);
    }

    const QString path = Placement::PlaceDataFile({arg, "ignored second argument"});
    QCOMPARE(path, dataFile());
    QCOMPARE(TDbMan(path).ListUsers(), imported ? QString("FromBackup") : QString("Current"));
    QVERIFY(QFileInfo(path).isWritable());
    // No temporary copies are left behind in the data folder.
    QCOMPARE(QDir(m_home->filePath("Tallimo")).entryList(QDir::Files), QStringList{"db.tlmdb"});
}

void TestPlacement::templateHoldsTheTables()
{
    QVERIFY(Placement::IsTallimoDataFile(Placement::TemplateFile()));
    QVERIFY(!Placement::IsTallimoDataFile(m_home->filePath("missing.tlmdb")));
}

QTEST_GUILESS_MAIN(TestPlacement)
#include "tst_Placement.moc"
