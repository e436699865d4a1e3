// The daily copies: made on the first start of a day only, checked, rotated
// (7 daily and 4 weekly kept), a failed one removed and reported once, and
// offered first by 从备份中恢复数据. Runs on data files and, as
// tst_DailyBackup_pg, on a server ledger, whose copies are local data files.

#include "BackupListForm.h"
#include "BackupRotation.h"
#include "DailyBackup.h"
#include "DialogScript.h"
#include "MainForm.h"
#include "StartUp.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QtTest>

#include <sys/stat.h>

class TestDailyBackup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void copyOnFirstStartOfTheDayOnly();
    void copyHoldsTheLedger();
    void serverCopyIsMadeByTheFirstComputerOnly();
    void rotationKeepsSevenDailyAndFourWeekly_data();
    void rotationKeepsSevenDailyAndFourWeekly();
    void failedCopyIsRemoved_data();
    void failedCopyIsRemoved();
    void failureIsShownOnce();
    void goodCopyShowsNothing();
    void restoreListsCopiesNewestFirst();
    void restoreFromListedCopy();
    void restoreListOffersOtherFile_data();
    void restoreListOffersOtherFile();

private:
    bool onPg() const { return !m_pgUrl.isEmpty(); }
    QString folder() const { return TDbMan(m_location).AutoBackupFolder(); }
    QStringList files() const
    {
        return QDir(folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    void addRecords(int n);
    // One daily copy each of the days, with one more record for each later day.
    QStringList copiesOf(const QList<QDate> &days);
    // The start a restore asks for: this program on this ledger with the file.
    QStringList restartWith(const QString &file) const
    {
        return QStringList{QCoreApplication::applicationFilePath()} +
               TDbMan(m_location).RestartArguments({file});
    }
    QAction *action(QWidget *w, const char *name)
    {
        return TestSupport::Child<QAction>(w, QLatin1String(name));
    }

    QString m_pgUrl;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TestSupport::DataFile> m_data;
    QString m_location;
    QList<QStringList> m_started;
    int m_added = 0;
};

const QString Li = QStringLiteral("Li");
const QDate Day = QDate(2026, 3, 11); // a Wednesday

void TestDailyBackup::initTestCase()
{
    QString error;
    m_pgUrl = TestSupport::PgTestUrl(&error);
    if (!error.isEmpty())
        QFAIL(qPrintable(error));
    QApplication::setQuitOnLastWindowClosed(false);
    THi::SetRunProgramHook([this](const QString &program, const QStringList &args) {
        m_started.append(QStringList{program} + args);
        return true;
    });
}

void TestDailyBackup::init()
{
    // A server's copies go into the data folder on this computer: a temporary one.
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(QStringLiteral("config"))));
    m_data = onPg() ? std::make_unique<TestSupport::DataFile>(m_pgUrl)
                    : std::make_unique<TestSupport::DataFile>();
    m_location = m_data->path();
    TDbMan(m_location).AddUser(Li, QStringLiteral("1234"));
    m_started.clear();
    m_added = 0;
}

void TestDailyBackup::cleanup()
{
    TDailyBackup::SetWrittenHook({});
    m_data.reset();
    m_home.reset();
}

void TestDailyBackup::addRecords(int n)
{
    TBatchRows rows;
    for (int i = 0; i < n; ++i, ++m_added) {
        rows << TBatchRow{
            QStringLiteral("2026-01-%1").arg(1 + m_added % 28, 2, 10, QLatin1Char('0')),
            TypeExpense(), QStringLiteral("餐饮"), 100 + m_added,
            QStringLiteral("第%1笔").arg(m_added)};
    }
    TDbMan(m_location).AddRecords(Li, rows);
}

QStringList TestDailyBackup::copiesOf(const QList<QDate> &days)
{
    QStringList paths;
    for (const QDate &day : days) {
        addRecords(1);
        TDbMan db(m_location);
        const TDailyBackupResult r = TDailyBackup::Run(db, day);
        if (r.Written.isEmpty())
            qWarning("no copy of %s: %s", qPrintable(day.toString(Qt::ISODate)),
                     qPrintable(r.Error));
        paths << r.Written;
    }
    return paths;
}

void TestDailyBackup::copyOnFirstStartOfTheDayOnly()
{
    TDbMan db(m_location);
    const TDailyBackupResult first = TDailyBackup::Run(db, Day);
    QVERIFY(first.Due);
    QVERIFY2(first.Failed.isEmpty(), qPrintable(first.Error));
    QCOMPARE(first.Written, QDir(folder()).filePath(QStringLiteral("daily-2026-03-11.tlmdb")));
    QCOMPARE(files(), QStringList{QStringLiteral("daily-2026-03-11.tlmdb")});
    const QDateTime written = QFileInfo(first.Written).lastModified();

    // The second start that day leaves the morning's copy as it is.
    addRecords(3);
    const TDailyBackupResult second = TDailyBackup::Run(db, Day);
    QVERIFY(!second.Due);
    QVERIFY(second.Written.isEmpty());
    QCOMPARE(files(), QStringList{QStringLiteral("daily-2026-03-11.tlmdb")});
    QCOMPARE(QFileInfo(first.Written).lastModified(), written);
    QCOMPARE(TDbMan::CountsOf(first.Written, true).Records, 0);

    // The next day is due again.
    const TDailyBackupResult next = TDailyBackup::Run(db, Day.addDays(1));
    QVERIFY(next.Due);
    QCOMPARE(files(), (QStringList{QStringLiteral("daily-2026-03-11.tlmdb"),
                                   QStringLiteral("daily-2026-03-12.tlmdb")}));
    QCOMPARE(TDbMan::CountsOf(next.Written, true).Records, 3);
}

void TestDailyBackup::serverCopyIsMadeByTheFirstComputerOnly()
{
    if (!onPg())
        QSKIP("a data file has one computer's copies");
    // Each computer keeps its copies in its own data folder.
    QTemporaryDir other;
    auto startOn = [&](const QString &home, const QDate &day) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
        TDbMan db(m_location);
        return TDailyBackup::Run(db, day);
    };
    QVERIFY(startOn(m_home->path(), Day).Due);
    const TDailyBackupResult second = startOn(other.path(), Day);
    QVERIFY(!second.Due);
    QVERIFY(second.Written.isEmpty());
    QVERIFY(TDailyBackup::List(TDbMan(m_location).AutoBackupFolder()).isEmpty());

    // The next day the other computer starts first.
    QVERIFY(!startOn(other.path(), Day.addDays(1)).Written.isEmpty());
    QVERIFY(!startOn(m_home->path(), Day.addDays(1)).Due);

    // A copy that fails gives the day back: the next start makes it.
    TDailyBackup::SetWrittenHook([](const QString &path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a ledger");
    });
    const TDailyBackupResult failed = startOn(m_home->path(), Day.addDays(2));
    QVERIFY(!failed.Failed.isEmpty());
    TDailyBackup::SetWrittenHook({});
    const TDailyBackupResult retried = startOn(other.path(), Day.addDays(2));
    QVERIFY2(!retried.Written.isEmpty(), qPrintable(retried.Error));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
}

void TestDailyBackup::copyHoldsTheLedger()
{
    addRecords(25);
    TDbMan db(m_location);
    const TDailyBackupResult r = TDailyBackup::Run(db, Day);
    QVERIFY2(!r.Written.isEmpty(), qPrintable(r.Error));
    // Whichever engine holds the ledger, the copy is a data file of ours,
    // for the owner only, with the same rows.
    QVERIFY(!TestSupport::IsPgLocation(r.Written));
    QVERIFY(TDbMan::IsDataFile(r.Written));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(r.Written).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    TDbMan copy(r.Written);
    QCOMPARE(copy.ListUsers(), Li);
    QCOMPARE(TestSupport::Records(copy, Li), TestSupport::Records(db, Li));
    QCOMPARE(TestSupport::Records(copy, Li).size(), 25);
    if (onPg())
        QCOMPARE(QFileInfo(r.Written).absolutePath(),
                 m_home->filePath(QStringLiteral("Tallimo/backups")));
    else
        QCOMPARE(QFileInfo(r.Written).absolutePath(),
                 QFileInfo(m_location).absolutePath() + QStringLiteral("/backups"));
}

void TestDailyBackup::rotationKeepsSevenDailyAndFourWeekly_data()
{
    QTest::addColumn<int>("starts"); // how many days the program starts
    QTest::addColumn<int>("every");  // days between starts
    QTest::addColumn<int>("kept");
    QTest::addColumn<QString>("newest");
    QTest::addColumn<QString>("oldest");
    // From Wednesday 2026-03-11.
    QTest::addRow("every day for nine weeks") << 63 << 1 << 11 << "2026-05-12"
                                              << "2026-04-19";
    QTest::addRow("every day for ten days: one week of older copies")
        << 10 << 1 << 8 << "2026-03-20"
        << "2026-03-13";
    QTest::addRow("a start every third day") << 40 << 3 << 11 << "2026-07-06"
                                             << "2026-05-31";
    QTest::addRow("fewer starts than seven keep them all") << 5 << 2 << 5 << "2026-03-19"
                                                           << "2026-03-11";
}

void TestDailyBackup::rotationKeepsSevenDailyAndFourWeekly()
{
    QFETCH(int, starts);
    QFETCH(int, every);
    QFETCH(int, kept);
    QFETCH(QString, newest);
    QFETCH(QString, oldest);
    // Files that are not daily copies stay whatever happens.
    const QDir dir(folder());
    QDir().mkpath(dir.path());
    const QStringList others{QStringLiteral("db-20200101-120000.tlmdb"),
                             QStringLiteral("daily-2026-02-30.tlmdb"),
                             QStringLiteral("my notes.txt")};
    for (const QString &name : others) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    TDbMan db(m_location);
    for (int i = 0; i < starts; ++i) {
        const QDate today = Day.addDays(i * every);
        // Two starts a day: the second changes nothing.
        for (int start = 0; start < 2; ++start) {
            const TDailyBackupResult r = TDailyBackup::Run(db, today);
            QVERIFY2(r.Failed.isEmpty(), qPrintable(r.Error));
            QCOMPARE(r.Due, start == 0);
        }
    }
    QStringList daily;
    for (const QString &name : files()) {
        if (TBackupRotation::DayOf(name).isValid())
            daily << name;
    }
    QCOMPARE(daily.size(), kept);
    QCOMPARE(daily.last(), QStringLiteral("daily-%1.tlmdb").arg(newest));
    QCOMPARE(daily.first(), QStringLiteral("daily-%1.tlmdb").arg(oldest));
    // The copies older than the newest seven lie in weeks of their own.
    QSet<int> weeks;
    for (int i = 0; i + TBackupRotation::Daily < daily.size(); ++i) {
        const QDate d = TBackupRotation::DayOf(daily.at(i));
        weeks.insert(d.year() * 100 + d.weekNumber());
    }
    QCOMPARE(weeks.size(), std::max(0, int(daily.size()) - TBackupRotation::Daily));
    for (const QString &name : others)
        QVERIFY2(QFileInfo::exists(dir.filePath(name)), qPrintable(name));
}

void TestDailyBackup::failedCopyIsRemoved_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addRow("not a database any more") << "header";
    QTest::addRow("a damaged page") << "page";
    QTest::addRow("a record missing") << "record";
    QTest::addRow("an account missing") << "user";
}

void TestDailyBackup::failedCopyIsRemoved()
{
    QFETCH(QString, damage);
    addRecords(300);
    // Yesterday's good copy.
    const QStringList good = copiesOf({Day.addDays(-1)});
    QVERIFY(!good.first().isEmpty());

    TDailyBackup::SetWrittenHook([damage](const QString &file) {
        if (damage == QStringLiteral("record") || damage == QStringLiteral("user")) {
            const QString table = damage == QStringLiteral("record") ? QStringLiteral("data")
                                                                     : QStringLiteral("users");
            TestSupport::Raw(file, TestSupport::RawReadWrite)
                .exec(QStringLiteral(
                          "delete from \"%1\" where \"id\"=(select max(\"id\") from \"%1\")")
                          .arg(table));
            return;
        }
        QFile f(file);
        if (!f.open(QIODevice::ReadWrite))
            return;
        f.seek(damage == QStringLiteral("header") ? 0 : 4096);
        f.write(QByteArray(damage == QStringLiteral("header") ? 100 : 4096, '\xff'));
    });
    TDbMan db(m_location);
    const TDailyBackupResult r = TDailyBackup::Run(db, Day);
    const QString today = QDir(folder()).filePath(QStringLiteral("daily-2026-03-11.tlmdb"));
    QVERIFY(r.Due);
    QVERIFY(r.Written.isEmpty());
    QCOMPARE(r.Failed, today);
    QVERIFY(!r.Error.isEmpty());
    QVERIFY(!QFileInfo::exists(today));
    // The good copy stays, and nothing else is left behind.
    QCOMPARE(files(), QStringList{QStringLiteral("daily-2026-03-10.tlmdb")});
    QCOMPARE(TDbMan::CountsOf(good.first(), true).Records, 301);

    // The next start that day tries again.
    TDailyBackup::SetWrittenHook({});
    const TDailyBackupResult again = TDailyBackup::Run(db, Day);
    QVERIFY(again.Due);
    QCOMPARE(again.Written, today);
}

void TestDailyBackup::failureIsShownOnce()
{
    TDailyBackup::SetWrittenHook([](const QString &file) {
        QFile f(file);
        if (f.open(QIODevice::ReadWrite))
            f.write(QByteArray(100, '\xff'));
    });
    TfrmMain w(m_location, Li);
    w.show();
    DialogScript script;
    const std::unique_ptr<QThread> worker = StartUp::StartDailyBackup(&w, m_location, Day);
    QVERIFY(worker->wait(60000));
    QTRY_COMPARE(script.calls.size(), 1);
    QTest::qWait(50);
    QCOMPARE(script.calls.size(), 1);
    const TDialogCall call = script.calls.first();
    QCOMPARE(call.kind, TDialogCall::Error);
    const QString path =
        QDir::toNativeSeparators(QDir(folder()).filePath(QStringLiteral("daily-2026-03-11.tlmdb")));
    QVERIFY2(call.text.contains(path), qPrintable(call.text));
    QVERIFY2(call.text.contains(QStringLiteral("已经删除")), qPrintable(call.text));
    QVERIFY2(call.text.contains(QStringLiteral("请检查磁盘空间")), qPrintable(call.text));
    QVERIFY(files().isEmpty());
}

void TestDailyBackup::goodCopyShowsNothing()
{
    addRecords(5);
    TfrmMain w(m_location, Li);
    w.show();
    DialogScript script;
    for (int start = 0; start < 2; ++start) {
        const std::unique_ptr<QThread> worker = StartUp::StartDailyBackup(&w, m_location, Day);
        QVERIFY(worker->wait(60000));
        QTest::qWait(50);
    }
    QVERIFY(script.calls.isEmpty());
    QCOMPARE(files(), QStringList{QStringLiteral("daily-2026-03-11.tlmdb")});
    QCOMPARE(TDbMan::CountsOf(QDir(folder()).filePath(files().first()), true).Records, 5);
}

void TestDailyBackup::restoreListsCopiesNewestFirst()
{
    const QStringList paths = copiesOf({Day.addDays(-9), Day.addDays(-2), Day});
    TfrmMain w(m_location, Li);
    w.show();
    DialogScript script;
    QStringList dates, counts, sizes;
    bool restoreEnabled = false;
    QVERIFY(TestSupport::WithModal(
        [&] { action(&w, "mnuMenu_Restore")->trigger(); },
        [&](QWidget *modal) {
            QVERIFY(modal);
            QCOMPARE(modal->objectName(), QStringLiteral("frmBackupList"));
            auto *list = TestSupport::Child<QTreeWidget>(modal, "lvwCopies");
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                dates << list->topLevelItem(i)->text(0).left(10);
                sizes << list->topLevelItem(i)->text(1);
                counts << list->topLevelItem(i)->text(2);
            }
            restoreEnabled = TestSupport::Child<QPushButton>(modal, "btnRestore")->isEnabled();
            TestSupport::Child<QPushButton>(modal, "btnCancel")->click();
        }));
    QCOMPARE(dates, (QStringList{QStringLiteral("2026-03-11"), QStringLiteral("2026-03-09"),
                                 QStringLiteral("2026-03-02")}));
    QCOMPARE(counts, (QStringList{QStringLiteral("3"), QStringLiteral("2"), QStringLiteral("1")}));
    for (const QString &size : sizes)
        QVERIFY2(size.contains(
                     QRegularExpression(QStringLiteral("^[0-9.]+ (kB|KB|KiB|MB|MiB|字节|bytes)$"))),
                 qPrintable(size));
    QVERIFY(restoreEnabled);
    // Cancelled: no file dialog, no restart.
    QVERIFY(script.calls.isEmpty());
    QVERIFY(m_started.isEmpty());
    QVERIFY(w.isVisible());
    Q_UNUSED(paths);
}

void TestDailyBackup::restoreFromListedCopy()
{
    const QStringList paths = copiesOf({Day.addDays(-2), Day.addDays(-1), Day});
    addRecords(4); // since the last copy
    auto w = std::make_unique<TfrmMain>(m_location, Li);
    w->show();
    DialogScript script;
    QVERIFY(
        TestSupport::WithModal([&] { action(w.get(), "mnuMenu_Restore")->trigger(); },
                               [&](QWidget *modal) {
                                   auto *list = TestSupport::Child<QTreeWidget>(modal, "lvwCopies");
                                   list->setCurrentItem(list->topLevelItem(1));
                                   TestSupport::Child<QPushButton>(modal, "btnRestore")->click();
                               }));
    // The existing path goes on with the chosen copy: a new program imports it.
    QVERIFY(script.calls.isEmpty());
    QCOMPARE(m_started, (QList<QStringList>{restartWith(paths.at(1))}));
    w.reset();
    StartUp::ImportBackup(m_location, paths.at(1));
    QVERIFY(script.calls.isEmpty());
    QCOMPARE(TestSupport::Records(*std::make_unique<TDbMan>(m_location), Li).size(), 2);
}

void TestDailyBackup::restoreListOffersOtherFile_data()
{
    QTest::addColumn<bool>("chosen"); // a file is chosen in the file dialog
    QTest::addRow("another file chosen") << true;
    QTest::addRow("file dialog cancelled") << false;
}

void TestDailyBackup::restoreListOffersOtherFile()
{
    QFETCH(bool, chosen);
    copiesOf({Day});
    QTemporaryDir elsewhere;
    const QString other = elsewhere.filePath(QStringLiteral("my backup.tlmdb"));
    TDbMan(m_location).BackupTo(other);
    TfrmMain w(m_location, Li);
    w.show();
    DialogScript script;
    chosen ? script.answer(other) : script.cancel();
    QVERIFY(TestSupport::WithModal(
        [&] { action(&w, "mnuMenu_Restore")->trigger(); },
        [&](QWidget *modal) { TestSupport::Child<QPushButton>(modal, "btnOtherFile")->click(); }));
    QCOMPARE(script.of(TDialogCall::OpenFile).size(), 1);
    if (chosen)
        QCOMPARE(m_started, (QList<QStringList>{restartWith(other)}));
    else
        QVERIFY(m_started.isEmpty());
}

QTEST_MAIN(TestDailyBackup)
#include "tst_DailyBackup.moc"
