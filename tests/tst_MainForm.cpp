#include "DbClass.h"
#include "DialogScript.h"
#include "EntryPanel.h"
#include "FormKit.h"
#include "MainForm.h"
#include "Placement.h"
#include "ProgressWindow.h"
#include "Schema.h"
#include "Settings.h"
#include "SkinClass.h"
#include "StartUp.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <sys/stat.h>

using TestSupport::Child;

// The main window built for a user without a login, a data file in a
// temporary XDG_DATA_HOME, and a program start that is only recorded.
class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loginNotConfirmed_data();
    void loginNotConfirmed();
    void captionAndMenu_data();
    void captionAndMenu();
    void startState();
    void storedCategoryLists();
    void viewSwitchingKeepsFields();
    void menuButton();
    void searchNeedsOrderedDates();
    void typedDates_data();
    void typedDates();
    void skinIsApplied();

    void switchUser_data();
    void switchUser();
    void restartFailureKeepsWindowOpen();
    void changePassword();
    void changePasswordCancelled();
    void changePasswordRealDialog_data();
    void changePasswordRealDialog();
    void deleteUser();
    void backupNames_data();
    void backupNames();
    void backupAsksBeforeReplacing_data();
    void backupAsksBeforeReplacing();
    void backupFailureIsReported();
    void restore_data();
    void restore();
    void startUpImport_data();
    void startUpImport();
    void startUpGoesOnOnlyOnALedgerItCanRead_data();
    void startUpGoesOnOnlyOnALedgerItCanRead();
    void startUpImportShowsProgress_data();
    void startUpImportShowsProgress();
    void exit();
    void pendingLinesAskFirst_data();
    void pendingLinesAskFirst();
    void pendingQuestionDefaultsToNo();
    void waitForLockKeepsPainting();
    void readOnlyLedger();
    void fileDialogSpeaksChinese();
    void lineInFieldsIsPending_data();
    void lineInFieldsIsPending();
    void failedRestartKeepsLinesAndAsksAgain();

    void dialogStartFolder_data();
    void dialogStartFolder();
    void realBoxesArePlainText_data();
    void realBoxesArePlainText();
    void realErrorBoxFitsTheScreen_data();
    void realErrorBoxFitsTheScreen();
    void deleteQuestionShowsNameAsTyped();
    void longNameIsElided();

private:
    std::unique_ptr<TfrmMain> open(const QString &user = QStringLiteral("Li"));
    // One pending line in the expense or income panel, with a name the pick
    // list knows (so Add writes nothing).
    void addPendingLine(TfrmMain *w, bool income);
    QAction *action(QWidget *w, const char *name)
    {
        return TestSupport::Child<QAction>(w, QLatin1String(name));
    }

    std::unique_ptr<QTemporaryDir> m_home;
    QByteArray m_realHome;
    QString m_dataFile;
    QList<QStringList> m_started; // program + arguments of every start asked for
    bool m_startWorks = true;
};

void TestMainForm::initTestCase()
{
    m_realHome = qgetenv("HOME");
    QApplication::setQuitOnLastWindowClosed(false);
    THi::SetRunProgramHook([this](const QString &program, const QStringList &args) {
        m_started.append(QStringList{program} + args);
        return m_startWorks;
    });
}

void TestMainForm::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    // Settings and the user's folders live in the temporary home as well.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(m_home->filePath(QStringLiteral("home"))));
    QDir().mkpath(m_home->filePath(QStringLiteral("home")));
    m_dataFile = Placement::PlaceDataFile({});
    m_started.clear();
    m_startWorks = true;
}

void TestMainForm::cleanup()
{
    qputenv("HOME", m_realHome);
    m_home.reset();
}

std::unique_ptr<TfrmMain> TestMainForm::open(const QString &user)
{
    TDbMan(m_dataFile).AddUser(user, QStringLiteral("1234"));
    auto w = std::make_unique<TfrmMain>(m_dataFile, user);
    w->show();
    return w;
}

void TestMainForm::loginNotConfirmed_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("user");
    QTest::addRow("cancelled") << ""
                               << "";
    QTest::addRow("no user name") << "data"
                                  << "";
    QTest::addRow("data file gone") << "missing"
                                    << "Li";
}

void TestMainForm::loginNotConfirmed()
{
    QFETCH(QString, file);
    QFETCH(QString, user);
    const QString path = file == QStringLiteral("data")      ? m_dataFile
                         : file == QStringLiteral("missing") ? m_home->filePath(QStringLiteral("x"))
                                                             : QStringLiteral("");
    TfrmMain w(path, user);
    QVERIFY(!w.LoggedIn());
    QVERIFY(!w.SkinMan);
}

void TestMainForm::captionAndMenu_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("menuText");
    QTest::addRow("plain") << "Li" << QStringLiteral("删除 Li");
    QTest::addRow("chinese") << QStringLiteral("郭靖") << QStringLiteral("删除 郭靖");
    QTest::addRow("ampersand is no access key") << "A&B" << QStringLiteral("删除 A&&B");
}

void TestMainForm::captionAndMenu()
{
    QFETCH(QString, user);
    QFETCH(QString, menuText);
    auto w = open(user);
    QVERIFY(w->LoggedIn());
    QCOMPARE(w->windowTitle(), QStringLiteral("Tallimo - 用户名称：%1").arg(user));
    QCOMPARE(action(w.get(), "mnuMenu_DeleteUser")->text(), menuText);
    QMenu *menu = Child<QMenu>(w.get(), "mnuMenu");
    QCOMPARE(menu->defaultAction(), action(w.get(), "mnuMenu_SwitchUser"));
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(texts, (QStringList{QStringLiteral("切换用户"), QStringLiteral("-"),
                                 QStringLiteral("修改密码"), menuText, QStringLiteral("-"),
                                 QStringLiteral("备份数据"), QStringLiteral("从备份中恢复数据"),
                                 QStringLiteral("-"), QStringLiteral("导入账单…"),
                                 QStringLiteral("导入记录…"), QStringLiteral("回收站…"),
                                 QStringLiteral("预算…"), QStringLiteral("定期收支…"),
                                 QStringLiteral("-"), QStringLiteral("家庭共享…"),
                                 QStringLiteral("-"), QStringLiteral("退出")}));
}

void TestMainForm::startState()
{
    auto w = open();
    QCOMPARE(w->size(), QSize(700, 525));
    QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
    const QDate today = QDate::currentDate();
    QCOMPARE(Child<QDateEdit>(w.get(), "dtpOutDate")->date(), today);
    QCOMPARE(Child<QDateEdit>(w.get(), "dtpInDate")->date(), today);
    QCOMPARE(Child<QDateEdit>(w.get(), "dtpTransDate1")->date(),
             QDate(today.year(), today.month(), 1));
    QCOMPARE(Child<QDateEdit>(w.get(), "dtpTransDate2")->date(), today);
    QVERIFY(Child<QWidget>(w.get(), "pnlExpense")->isVisible());
    QVERIFY(!Child<QWidget>(w.get(), "pnlIncome")->isVisible());
    QVERIFY(!Child<QWidget>(w.get(), "pnlTransactions")->isVisible());
    QVERIFY(Child<QRadioButton>(w.get(), "rdoTransTransactions")->isChecked());
    QCOMPARE(Child<QLabel>(w.get(), "lblOutTotal")->text(), QStringLiteral("合计：0.00"));
    QCOMPARE(Child<QLabel>(w.get(), "lblTransTotal")->text(),
             QStringLiteral("收入合计：0.00    支出合计：0.00    结余合计：0.00"));
    QCOMPARE(Child<QLabel>(w.get(), "lblCatesTotal")->text(),
             Child<QLabel>(w.get(), "lblTransTotal")->text());
    QCOMPARE(Child<QComboBox>(w.get(), "cboOutCate")->count(), 0);
    QCOMPARE(Child<QComboBox>(w.get(), "cboInCate")->count(), 0);
    for (const char *name : {"btnOutAdd", "btnOutSave", "btnOutEdit", "btnOutDelete", "btnInAdd",
                             "btnInSave", "btnTransMore", "btnTransEdit", "btnTransDelete",
                             "btnMoreInfo", "btnCatesExport", "btnCatesPrint"})
        QVERIFY2(!Child<QPushButton>(w.get(), name)->isEnabled(), name);
    QVERIFY(Child<QPushButton>(w.get(), "btnTransSearch")->isEnabled());
}

void TestMainForm::storedCategoryLists()
{
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("餐饮\r\nRent"));
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("in"), QStringLiteral("工资"));
    auto w = open();
    QComboBox *out = Child<QComboBox>(w.get(), "cboOutCate");
    QCOMPARE(out->count(), 2);
    QCOMPARE(out->itemText(0), QStringLiteral("餐饮"));
    QCOMPARE(out->itemText(1), QStringLiteral("Rent"));
    QCOMPARE(Child<QComboBox>(w.get(), "cboInCate")->count(), 1);
}

void TestMainForm::viewSwitchingKeepsFields()
{
    auto w = open();
    QTest::keyClicks(Child<QLineEdit>(w.get(), "edtOutAmount"), QStringLiteral("12.5"));
    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoIncome"), Qt::LeftButton);
    QVERIFY(!Child<QWidget>(w.get(), "pnlExpense")->isVisible());
    QVERIFY(Child<QWidget>(w.get(), "pnlIncome")->isVisible());
    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoTransactions"), Qt::LeftButton);
    QVERIFY(Child<QWidget>(w.get(), "pnlTransactions")->isVisible());
    QVERIFY(!Child<QWidget>(w.get(), "pnlIncome")->isVisible());

    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoTransCategories"), Qt::LeftButton);
    QVERIFY(Child<QWidget>(w.get(), "pnlTransCategories")->isVisible());
    QVERIFY(!Child<QWidget>(w.get(), "pnlTransTransactions")->isVisible());

    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoExpense"), Qt::LeftButton);
    QVERIFY(Child<QWidget>(w.get(), "pnlExpense")->isVisible());
    QCOMPARE(Child<QLineEdit>(w.get(), "edtOutAmount")->text(), QStringLiteral("12.5"));
}

void TestMainForm::menuButton()
{
    auto w = open();
    QLabel *img = Child<QLabel>(w.get(), "imgMenu");
    const qint64 up = Child<QLabel>(w.get(), "imgMenuUp")->pixmap().cacheKey();
    const qint64 down = Child<QLabel>(w.get(), "imgMenuDown")->pixmap().cacheKey();
    QVERIFY(up != down);
    QCOMPARE(img->pixmap().cacheKey(), up);
    QMenu *menu = Child<QMenu>(w.get(), "mnuMenu");

    QTest::mousePress(img, Qt::RightButton);
    QCOMPARE(img->pixmap().cacheKey(), up);
    QTest::mouseRelease(img, Qt::RightButton);
    QVERIFY(!menu->isVisible());

    QTest::mousePress(img, Qt::LeftButton);
    QCOMPARE(img->pixmap().cacheKey(), down);
    QTest::mouseRelease(img, Qt::LeftButton);
    QCOMPARE(img->pixmap().cacheKey(), up);
    QVERIFY(menu->isVisible());
    menu->hide();
}

void TestMainForm::searchNeedsOrderedDates()
{
    auto w = open();
    QDateEdit *d1 = Child<QDateEdit>(w.get(), "dtpTransDate1");
    QDateEdit *d2 = Child<QDateEdit>(w.get(), "dtpTransDate2");
    QPushButton *search = Child<QPushButton>(w.get(), "btnTransSearch");
    d1->setDate(QDate(2011, 4, 12));
    d2->setDate(QDate(2011, 4, 12));
    QVERIFY(search->isEnabled());
    d1->setDate(QDate(2011, 4, 13));
    QVERIFY(!search->isEnabled());
    d2->setDate(QDate(2011, 5, 1));
    QVERIFY(search->isEnabled());
}

void TestMainForm::skinIsApplied()
{
    auto w = open();
    QVERIFY(w->SkinMan);
    QVERIFY(w->SkinMan->CloseButton);
    QCOMPARE(w->SkinMan->CloseButton->geometry(), QRect(670, 8, 20, 20));
    QCOMPARE(w->SkinMan->TitleLabel->text(), w->windowTitle());
}

// ---------------------------------------------------------------------------
// Account menu

void TestMainForm::switchUser_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addRow("yes restarts") << true;
    QTest::addRow("no stays") << false;
}

void TestMainForm::switchUser()
{
    QFETCH(bool, yes);
    auto w = open();
    DialogScript script;
    yes ? script.yes() : script.no();
    action(w.get(), "mnuMenu_SwitchUser")->trigger();
    QCOMPARE(script.of(TDialogCall::Question).value(0).text,
             QStringLiteral("您真的想要切换用户吗？"));
    QCOMPARE(w->isVisible(), !yes);
    if (yes)
        QCOMPARE(m_started, (QList<QStringList>{{QCoreApplication::applicationFilePath()}}));
    else
        QVERIFY(m_started.isEmpty());
}

void TestMainForm::restartFailureKeepsWindowOpen()
{
    auto w = open();
    m_startWorks = false;
    DialogScript script;
    script.yes();
    action(w.get(), "mnuMenu_SwitchUser")->trigger();
    QCOMPARE(m_started.size(), 1);
    QVERIFY(w->isVisible());
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
}

void TestMainForm::changePassword()
{
    auto w = open();
    TDbMan(m_dataFile).AddUser(QStringLiteral("Other"), QStringLiteral("x")); // newer row than Li
    DialogScript script;
    script.answer(QStringLiteral("   ")).answer(QStringLiteral("  new pw  "));
    action(w.get(), "mnuMenu_SetPwd")->trigger();
    const auto inputs = script.of(TDialogCall::Input);
    QCOMPARE(inputs.size(), 2); // the blank answer brings the dialog back
    QCOMPARE(inputs[0].caption, QStringLiteral("修改密码"));
    QCOMPARE(inputs[0].text, QStringLiteral("请输入一个新的密码：          "));
    QCOMPARE(inputs[1].value, QString());
    const auto infos = script.of(TDialogCall::Info);
    QCOMPARE(infos.size(), 1);
    QCOMPARE(infos[0].caption, QStringLiteral("修改密码"));
    QCOMPARE(infos[0].text, QStringLiteral("成功！"));

    TDbMan db(m_dataFile);
    QVERIFY(db.CheckLogin(QStringLiteral("Li"), QStringLiteral("new pw")));
    QVERIFY(!db.CheckLogin(QStringLiteral("Li"), QStringLiteral("1234")));
    QCOMPARE(db.ListUsers(), QStringLiteral("Li\r\nOther"));
    QVERIFY(w->isVisible());
}

void TestMainForm::changePasswordCancelled()
{
    auto w = open();
    DialogScript script;
    script.cancel();
    action(w.get(), "mnuMenu_SetPwd")->trigger();
    QCOMPARE(script.calls.size(), 1);
    QVERIFY(TDbMan(m_dataFile).CheckLogin(QStringLiteral("Li"), QStringLiteral("1234")));
}

void TestMainForm::deleteUser()
{
    auto w = open();
    TDbMan(m_dataFile)
        .AddRecord(QStringLiteral("Li"), QStringLiteral("2011-04-12"), TypeExpense(),
                   QStringLiteral("Food"), Cents(QStringLiteral("3")), QStringLiteral(""));
    DialogScript script;
    script.yes();
    action(w.get(), "mnuMenu_DeleteUser")->trigger();
    QCOMPARE(script.of(TDialogCall::Question).value(0).text,
             QStringLiteral("您真的想要删除 Li 吗？"));
    TDbMan db(m_dataFile);
    QVERIFY(!db.UserExists(QStringLiteral("Li")));
    QCOMPARE(m_started.size(), 1);
    QVERIFY(!w->isVisible());
    // The records stay for an account made again under that name.
    QCOMPARE(db.QueryPeriod(QStringLiteral("Li"), QStringLiteral("2011-01-01"),
                            QStringLiteral("2011-12-31"))
                 .RecRows.size(),
             1);
}

void TestMainForm::backupNames_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::addRow("no extension") << "may"
                                  << "may.tlmdb";
    QTest::addRow("other extension") << "may.txt"
                                     << "may.txt.tlmdb";
    QTest::addRow("capital extension") << "MAY.TLMDB"
                                       << "MAY.TLMDB";
    QTest::addRow("blanks in the name") << "my backups/may 1"
                                        << "my backups/may 1.tlmdb";
}

// A name the extension changed may hit another file: as for exports and
// PDFs, it is replaced only after asking.
void TestMainForm::backupAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addRow("replaced after yes") << true;
    QTest::addRow("kept after no") << false;
}

void TestMainForm::backupAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    auto w = open();
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old.tlmdb"));
    QFile f(old);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("previous content");
    f.close();

    DialogScript script;
    script.answer(dir.filePath(QStringLiteral("old")));
    script.answers.enqueue(replace);
    action(w.get(), "mnuMenu_Backup")->trigger();
    const auto questions = script.of(TDialogCall::Question);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions[0].text, QStringLiteral("%1 已存在。\r\n要替换它吗？").arg(old));
    QCOMPARE(script.of(TDialogCall::Info).size(), replace ? 1 : 0);
    if (replace) {
        QCOMPARE(TDbMan(old).ListUsers(), QStringLiteral("Li"));
    } else {
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("previous content"));
    }
}

void TestMainForm::backupNames()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    auto w = open();
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("my backups")));
    QFile old(dir.filePath(QStringLiteral("old.tlmdb")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("previous content");
    old.close();

    DialogScript script;
    script.answer(dir.filePath(chosen));
    action(w.get(), "mnuMenu_Backup")->trigger();
    QCOMPARE(TDbMan(dir.filePath(written)).ListUsers(), QStringLiteral("Li"));
    const auto infos = script.of(TDialogCall::Info);
    QCOMPARE(infos.size(), 1);
    QCOMPARE(infos[0].caption, QStringLiteral("备份"));
    QCOMPARE(infos[0].text, QStringLiteral("成功！"));
    QCOMPARE(script.of(TDialogCall::SaveFile).value(0).text, QStringLiteral("*.tlmdb (*.tlmdb)"));
    QVERIFY(script.of(TDialogCall::Question).isEmpty());
}

void TestMainForm::backupFailureIsReported()
{
    auto w = open();
    DialogScript script;
    script.answer(m_home->filePath(QStringLiteral("no/such/folder/b.tlmdb")));
    action(w.get(), "mnuMenu_Backup")->trigger();
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QVERIFY(script.of(TDialogCall::Info).isEmpty());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    DialogScript cancelled;
    cancelled.cancel();
    action(w.get(), "mnuMenu_Backup")->trigger();
    QCOMPARE(cancelled.calls.size(), 1);
}

void TestMainForm::restore_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("kind"); // data, junk, none, cancel
    QTest::addColumn<bool>("restarts");
    QTest::addColumn<bool>("error");
    QTest::addRow("backup with blanks in its path") << "my backups/May 1.tlmdb"
                                                    << "data" << true << false;
    QTest::addRow("capital extension") << "MAY.TLMDB"
                                       << "data" << true << false;
    QTest::addRow("quote in the name") << "the \"old\" one.tlmdb"
                                       << "data" << true << false;
    QTest::addRow("other extension") << "may.db"
                                     << "data" << false << false;
    QTest::addRow("missing file") << "gone.tlmdb"
                                  << "none" << false << false;
    QTest::addRow("not a data file") << "notes.tlmdb"
                                     << "junk" << false << true;
    // Not a file at all: a reason instead of no reaction, and nothing opened.
    QTest::addRow("a named pipe") << "pipe.tlmdb"
                                  << "fifo" << false << true;
    QTest::addRow("a link to a device") << "zero.tlmdb"
                                        << "device" << false << true;
    QTest::addRow("a folder") << "folder.tlmdb"
                              << "folder" << false << true;
    QTest::addRow("cancelled") << ""
                               << "cancel" << false << false;
}

void TestMainForm::restore()
{
    QFETCH(QString, fileName);
    QFETCH(QString, kind);
    QFETCH(bool, restarts);
    QFETCH(bool, error);
    auto w = open();
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QDir().mkpath(QFileInfo(path).path());
    if (kind == QStringLiteral("data")) {
        QVERIFY(QFile::copy(m_dataFile, path));
    } else if (kind == QStringLiteral("junk")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database");
    } else if (kind == QStringLiteral("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QStringLiteral("device")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(path));
    }
    DialogScript script;
    kind == QStringLiteral("cancel") ? script.cancel() : script.answer(path);
    action(w.get(), "mnuMenu_Restore")->trigger();

    QCOMPARE(w->isVisible(), !restarts);
    if (restarts) {
        // The new copy gets the path as one argument, blanks and all.
        QCOMPARE(m_started, (QList<QStringList>{{QCoreApplication::applicationFilePath(), path}}));
    } else {
        QVERIFY(m_started.isEmpty());
    }
    QCOMPARE(script.of(TDialogCall::Error).size(), error ? 1 : 0);
    if (kind == QStringLiteral("fifo") || kind == QStringLiteral("device") ||
        kind == QStringLiteral("folder")) {
        const QString said = script.of(TDialogCall::Error).value(0).text;
        QVERIFY2(said.contains(QStringLiteral("不是普通的文件")), qPrintable(said));
    }
    QCOMPARE(TDbMan(m_dataFile).ListUsers(), QStringLiteral("Li")); // this copy changes nothing
}

void TestMainForm::startUpImport_data()
{
    QTest::addColumn<QString>("kind"); // backup or junk
    QTest::addColumn<bool>("imported");
    QTest::addRow("a backup replaces the data") << "backup" << true;
    QTest::addRow("a damaged file is reported, the data stays") << "junk" << false;
    QTest::addRow("an empty file is reported, the data stays") << "empty" << false;
    QTest::addRow("a named pipe is reported, the data stays") << "fifo" << false;
    QTest::addRow("a folder is reported, the data stays") << "folder" << false;
    QTest::addRow("bad rows are reported in a short box, the data stays") << "badrows" << false;
}

void TestMainForm::startUpImport()
{
    QFETCH(QString, kind);
    QFETCH(bool, imported);
    TDbMan(m_dataFile).AddUser(QStringLiteral("Current"), QStringLiteral("1"));
    QTemporaryDir dir;
    const QString backup = dir.filePath(QStringLiteral("may 1.tlmdb"));
    if (kind == QStringLiteral("backup")) {
        QVERIFY(QFile::copy(Placement::TemplateFile(), backup));
        QFile(backup).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        TDbMan(backup).AddUser(QStringLiteral("FromBackup"), QStringLiteral("1"));
    } else if (kind == QStringLiteral("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(backup).constData(), 0600), 0);
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(backup));
    } else if (kind == QStringLiteral("badrows")) {
        QVERIFY(QFile::copy(Placement::TemplateFile(), backup));
        QFile(backup).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        TDbMan(backup).AddRecords(
            QStringLiteral("FromBackup"),
            Batch(TRowList(200,
                           TRow{QStringLiteral("2011-04-12"), TypeExpense(), QStringLiteral("Food"),
                                QStringLiteral("1"), QStringLiteral("")})));
        QCOMPARE(TestSupport::Raw(backup).exec(QStringLiteral("update data set amount=1e308")),
                 QString());
    } else {
        QFile f(backup);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kind == QStringLiteral("junk") ? "not a database at all" : "");
    }
    DialogScript script;
    // The way main() places the data file.
    QCOMPARE(Placement::PlaceDataFile({backup}, StartUp::ImportBackup), m_dataFile);
    const auto errors = script.of(TDialogCall::Error);
    QCOMPARE(errors.size(), imported ? 0 : 1);
    if (!imported) {
        QCOMPARE(errors[0].caption, QStringLiteral("错误"));
        QVERIFY2(
            errors[0].text.startsWith(QStringLiteral("无法从备份文件“%1”恢复数据").arg(backup)),
            qPrintable(errors[0].text));
        // The box fits the screen: a few lines, the long list folded into the details.
        QVERIFY2(errors[0].text.count(QLatin1Char('\n')) < 10, qPrintable(errors[0].text));
    }
    if (kind == QStringLiteral("fifo") || kind == QStringLiteral("folder"))
        QVERIFY2(errors[0].text.contains(QStringLiteral("不是普通的文件")),
                 qPrintable(errors[0].text));
    if (kind == QStringLiteral("badrows")) {
        QVERIFY2(errors[0].text.contains(QStringLiteral("的金额无效（1e+308）……")),
                 qPrintable(errors[0].text));
        QVERIFY2(errors[0].details.count(QStringLiteral("的金额无效")) == 100,
                 qPrintable(errors[0].details));
    }
    QCOMPARE(TDbMan(m_dataFile).ListUsers(),
             QString(imported ? QStringLiteral("FromBackup") : QStringLiteral("Current")));
}

void TestMainForm::startUpGoesOnOnlyOnALedgerItCanRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<int>("errors");
    QTest::addRow("current data file") << QStringLiteral("current") << true << 0;
    // The login says what is wrong with it; reading may still work.
    QTest::addRow("data file that cannot be upgraded") << QStringLiteral("junk") << true << 1;
    QTest::addRow("data file of a newer release") << QStringLiteral("newer") << false << 1;
    QTest::addRow("server that cannot be reached") << QStringLiteral("server") << false << 1;
}

void TestMainForm::startUpGoesOnOnlyOnALedgerItCanRead()
{
    QFETCH(QString, kind);
    QFETCH(bool, goesOn);
    QFETCH(int, errors);
    QString location = m_dataFile;
    if (kind == QStringLiteral("junk")) {
        QFile f(m_dataFile);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(4096, 'x'));
    } else if (kind == QStringLiteral("newer")) {
        TestSupport::Raw raw(m_dataFile, TestSupport::RawReadWrite);
        QCOMPARE(raw.exec(QStringLiteral("pragma application_id=%1").arg(Schema::ApplicationId)),
                 QString());
        QCOMPARE(
            raw.exec(QStringLiteral("pragma user_version=%1").arg(Schema::CurrentVersion() + 1)),
            QString());
    } else if (kind == QStringLiteral("server")) {
        // Nothing listens on port 1.
        location = QStringLiteral("postgresql://127.0.0.1:1/t?connect_timeout=2");
    }
    DialogScript script;
    QCOMPARE(StartUp::UpgradeDataFile(location), goesOn);
    QCOMPARE(script.of(TDialogCall::Error).size(), errors);
}

void TestMainForm::startUpImportShowsProgress_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addRow("to the end") << false;
    QTest::addRow("cancelled") << true;
}

// A long start-up import shows its progress; 取消 keeps the old data and
// reports nothing.
void TestMainForm::startUpImportShowsProgress()
{
    QFETCH(bool, cancel);
    TDbMan(m_dataFile).AddUser(QStringLiteral("Current"), QStringLiteral("1"));
    QTemporaryDir dir;
    const QString backup = dir.filePath(QStringLiteral("big.tlmdb"));
    QVERIFY(QFile::copy(Placement::TemplateFile(), backup));
    QFile(backup).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    {
        TDbMan db(backup);
        db.AddUser(QStringLiteral("FromBackup"), QStringLiteral("1"));
        db.AddRecords(QStringLiteral("FromBackup"),
                      Batch(TRowList(20000, TRow{QStringLiteral("2011-04-12"), TypeExpense(),
                                                 QStringLiteral("Food"), QStringLiteral("1"),
                                                 QStringLiteral("")})));
    }
    TProgressWindow::SetShowDelay(0);
    const auto back = qScopeGuard([] { TProgressWindow::SetShowDelay(500); });
    bool seen = false;
    QTimer watch;
    watch.setInterval(0);
    connect(&watch, &QTimer::timeout, [&] {
        QProgressDialog *d = TestSupport::VisibleProgress();
        if (!d)
            return;
        seen = true;
        if (cancel)
            d->findChild<QPushButton *>(QStringLiteral("btnProgressCancel"))->click();
    });
    watch.start();
    DialogScript script;
    QCOMPARE(Placement::PlaceDataFile({backup}, StartUp::ImportBackup), m_dataFile);
    watch.stop();

    QVERIFY(seen);
    QCOMPARE(script.of(TDialogCall::Error).size(), 0);
    QCOMPARE(TDbMan(m_dataFile).UserExists(QStringLiteral("Current")), cancel);
    QCOMPARE(TDbMan(m_dataFile).UserExists(QStringLiteral("FromBackup")), !cancel);
}
void TestMainForm::exit()
{
    auto w = open();
    action(w.get(), "mnuMenu_Exit")->trigger();
    QVERIFY(!w->isVisible());
    QVERIFY(m_started.isEmpty());
}

void TestMainForm::dialogStartFolder_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected"); // relative to the temporary home
    QTest::addRow("nothing remembered: documents") << "documents"
                                                   << "home/Documents";
    QTest::addRow("no documents folder: home") << ""
                                               << "home";
    QTest::addRow("the folder of the last backup") << "documents backup"
                                                   << "backups here";
    QTest::addRow("last backup folder removed: documents") << "documents backup removed"
                                                           << "home/Documents";
    QTest::addRow("never the program's folder") << "documents program"
                                                << "home/Documents";
    QTest::addRow("documents is the program's folder: home") << "documents-are-program"
                                                             << "home";
}

void TestMainForm::dialogStartFolder()
{
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    const QString appDir = QCoreApplication::applicationDirPath();
    if (setup.contains(QStringLiteral("documents")))
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("home/Documents"))));
    if (setup.contains(QStringLiteral("documents-are-program"))) {
        QDir().mkpath(m_home->filePath(QStringLiteral("config")));
        QFile dirs(m_home->filePath(QStringLiteral("config/user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DOCUMENTS_DIR=\"" + QFile::encodeName(appDir) + "\"\n");
    }
    auto w = open();
    if (setup.contains(QStringLiteral("backup"))) {
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("backups here"))));
        DialogScript script;
        script.answer(m_home->filePath(QStringLiteral("backups here/may")));
        action(w.get(), "mnuMenu_Backup")->trigger();
        QCOMPARE(script.of(TDialogCall::Info).size(), 1);
        // Remembered in the settings file, for the next run too.
        QVERIFY(QFileInfo::exists(m_home->filePath(QStringLiteral("config/Tallimo/tallimo.conf"))));
    }
    if (setup.contains(QStringLiteral("removed")))
        QVERIFY(QDir(m_home->filePath(QStringLiteral("backups here"))).removeRecursively());
    if (setup.contains(QStringLiteral("program")))
        Settings::RememberBackupFile(appDir + QStringLiteral("/db.tlmdb"));

    DialogScript script;
    script.cancel().cancel();
    action(w.get(), "mnuMenu_Backup")->trigger();
    action(w.get(), "mnuMenu_Restore")->trigger();
    const auto saves = script.of(TDialogCall::SaveFile);
    const auto opens = script.of(TDialogCall::OpenFile);
    QCOMPARE(saves.size(), 1);
    QCOMPARE(opens.size(), 1);
    QCOMPARE(saves[0].folder, m_home->filePath(expected));
    QCOMPARE(opens[0].folder, m_home->filePath(expected));
}

namespace {
// What a real (unscripted) dialog showed: its text and whether every text in it
// is plain text.
struct SeenDialog {
    bool seen = false;
    QString text;
    bool plain = false;
    QString details;         // a message box's folded part
    bool fitsScreen = false; // a message box within the screen's free area
};

// Runs body while a timer answers the first real modal dialog: Yes, OK or
// accept when accept is true, else No or cancel.
SeenDialog answerRealDialog(const std::function<void()> &body, bool accept)
{
    SeenDialog seen;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            return;
        timer.stop();
        seen.seen = true;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            seen.text = box->text();
            seen.plain = box->textFormat() == Qt::PlainText;
            seen.details = box->detailedText();
            const QRect free = box->screen()->availableGeometry();
            seen.fitsScreen = box->frameGeometry().height() <= free.height() &&
                              box->frameGeometry().width() <= free.width();
            QAbstractButton *yes = box->button(QMessageBox::Yes);
            QAbstractButton *b =
                accept ? (yes ? yes : box->button(QMessageBox::Ok)) : box->button(QMessageBox::No);
            b ? b->click() : box->reject();
        } else if (auto *input = qobject_cast<QInputDialog *>(w)) {
            seen.text = input->labelText();
            const auto labels = input->findChildren<QLabel *>();
            seen.plain = !labels.isEmpty();
            for (QLabel *l : labels)
                seen.plain = seen.plain && l->textFormat() == Qt::PlainText;
            accept ? input->accept() : input->reject();
        } else {
            w->close();
        }
    });
    timer.start();
    body();
    return seen;
}
} // namespace

void TestMainForm::realBoxesArePlainText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("question") << "question";
    QTest::addRow("error") << "error";
    QTest::addRow("information") << "info";
    QTest::addRow("input prompt") << "input";
}

void TestMainForm::realBoxesArePlainText()
{
    QFETCH(QString, kind);
    // A user's text that rich text would eat or render.
    const QString text = QStringLiteral("<b>郭靖</b> & <i>x</i> <br> 1 < 2");
    bool answer = false;
    QString value = QStringLiteral("<i>kept</i>");
    const SeenDialog seen = answerRealDialog(
        [&] {
            if (kind == QStringLiteral("question"))
                answer = TDialogs::Ask(nullptr, text);
            else if (kind == QStringLiteral("error"))
                TDialogs::Error(nullptr, text);
            else if (kind == QStringLiteral("info"))
                TDialogs::Info(nullptr, QStringLiteral("Tallimo"), text);
            else
                answer = TDialogs::Input(nullptr, QStringLiteral("Tallimo"), text, value);
        },
        true);
    QVERIFY(seen.seen);
    QCOMPARE(seen.text, text);
    QVERIFY(seen.plain);
    if (kind == QStringLiteral("question") || kind == QStringLiteral("input"))
        QVERIFY(answer);
    QCOMPARE(value, QStringLiteral("<i>kept</i>"));
}

void TestMainForm::realErrorBoxFitsTheScreen_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("shownStart"); // how the box's text begins
    QStringList rows;
    for (int i = 1; i <= 300; ++i)
        rows << QStringLiteral("第 %1 条记录（编号 %1）的金额无效（1e+308）").arg(i);
    QTest::addRow("short text, long details")
        << QStringLiteral("有无效的内容，没有导入。") << rows.join(QLatin1Char('\n'))
        << QStringLiteral("有无效的内容，没有导入。");
    QTest::addRow("a long text alone")
        << rows.join(QLatin1Char('\n')) << QString() << QStringLiteral("第 1 条记录");
    QTest::addRow("one very long line")
        << QString(5000, QChar(0x5B57)) << QString() << QString(20, QChar(0x5B57));
}

// An engine's report or a list of bad rows never makes a box taller than the
// screen: the long part is folded into the details, whole.
void TestMainForm::realErrorBoxFitsTheScreen()
{
    QFETCH(QString, text);
    QFETCH(QString, details);
    QFETCH(QString, shownStart);
    const SeenDialog seen =
        answerRealDialog([&] { TDialogs::Error(nullptr, text, details); }, true);
    QVERIFY(seen.seen);
    QVERIFY(seen.fitsScreen);
    QVERIFY2(seen.text.startsWith(shownStart), qPrintable(seen.text.left(80)));
    QVERIFY(seen.text.count(QLatin1Char('\n')) <= 12);
    QVERIFY(seen.text.size() <= 900);
    QVERIFY(seen.details.contains(details.isEmpty() ? text : details));
}

void TestMainForm::deleteQuestionShowsNameAsTyped()
{
    auto w = open(QStringLiteral("<b>Li</b>"));
    const SeenDialog seen =
        answerRealDialog([&] { action(w.get(), "mnuMenu_DeleteUser")->trigger(); }, false);
    QCOMPARE(seen.text, QStringLiteral("您真的想要删除 <b>Li</b> 吗？"));
    QVERIFY(seen.plain);
    QVERIFY(TDbMan(m_dataFile).UserExists(QStringLiteral("<b>Li</b>")));
    QVERIFY(w->isVisible());
}

// A name wider than a third of the screen is cut in the middle in the
// account menu and the delete question; the window title keeps it whole.
void TestMainForm::longNameIsElided()
{
    const QString name =
        QStringLiteral("A") + QString(2000, QLatin1Char('m')) + QStringLiteral("Z");
    auto w = open(name);
    const QString entry = action(w.get(), "mnuMenu_DeleteUser")->text();
    QVERIFY(entry.startsWith(QStringLiteral("删除 A")));
    QVERIFY(entry.endsWith(QStringLiteral("Z")));
    QVERIFY(entry.contains(QStringLiteral("…")));
    auto *menu = Child<QMenu>(w.get(), "mnuMenu");
    QVERIFY(menu->sizeHint().width() < w->screen()->availableGeometry().width());
    DialogScript script;
    action(w.get(), "mnuMenu_DeleteUser")->trigger(); // No: nothing happens
    QCOMPARE(script.of(TDialogCall::Question).value(0).text,
             QStringLiteral("您真的想要删除 %1 吗？").arg(ElidedName(name)));
    QVERIFY(TDbMan(m_dataFile).UserExists(name));
    QVERIFY(w->windowTitle().endsWith(name));
}

// The same loop through the real input dialog: each step answers the next
// dialog that comes up, "" with OK on an untouched field, "cancel" with
// Cancel, any other text by typing it and pressing OK.
void TestMainForm::changePasswordRealDialog_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("stored"); // empty: the old password stays
    QTest::addRow("OK on an untouched field asks again")
        << QStringList{QStringLiteral(""), QStringLiteral("  new pw  ")} << "new pw";
    QTest::addRow("blanks typed ask again")
        << QStringList{QStringLiteral("   "), QStringLiteral("x")} << "x";
    QTest::addRow("cancel") << QStringList{QStringLiteral("cancel")} << "";
    QTest::addRow("OK untouched, then cancel")
        << QStringList{QStringLiteral(""), QStringLiteral("cancel")} << "";
}

void TestMainForm::changePasswordRealDialog()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, stored);
    auto w = open();
    QStringList seen; // the kind of every modal dialog, in order
    QTimer answerer;
    answerer.setInterval(10);
    connect(&answerer, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen << QStringLiteral("box:") + box->text();
            box->button(QMessageBox::Ok)->click();
            return;
        }
        auto *input = qobject_cast<QInputDialog *>(modal);
        if (!input || steps.isEmpty()) {
            seen << QStringLiteral("unexpected");
            modal->close();
            return;
        }
        seen << QStringLiteral("input");
        const QString step = steps.takeFirst();
        auto *buttons = input->findChild<QDialogButtonBox *>();
        if (step == QStringLiteral("cancel")) {
            buttons->button(QDialogButtonBox::Cancel)->click();
            return;
        }
        if (!step.isEmpty())
            QTest::keyClicks(input->findChild<QLineEdit *>(), step);
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    answerer.start();
    action(w.get(), "mnuMenu_SetPwd")->trigger();
    answerer.stop();

    QVERIFY2(steps.isEmpty(), qPrintable(seen.join(QStringLiteral(", "))));
    QVERIFY(!seen.contains(QStringLiteral("unexpected")));
    TDbMan db(m_dataFile);
    if (stored.isEmpty()) {
        QCOMPARE(seen.filter(QStringLiteral("box:")).size(), 0);
        QVERIFY(db.CheckLogin(QStringLiteral("Li"), QStringLiteral("1234")));
    } else {
        QCOMPARE(seen.last(), QStringLiteral("box:成功！"));
        QVERIFY(db.CheckLogin(QStringLiteral("Li"), stored));
    }
}

void TestMainForm::typedDates_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("field");
    QTest::addRow("expense date") << "rdoExpense"
                                  << "dtpOutDate";
    QTest::addRow("income date") << "rdoIncome"
                                 << "dtpInDate";
    QTest::addRow("browser from") << "rdoTransactions"
                                  << "dtpTransDate1";
    QTest::addRow("browser to") << "rdoTransactions"
                                << "dtpTransDate2";
}

void TestMainForm::typedDates()
{
    QFETCH(QString, view);
    QFETCH(QString, field);
    auto w = open();
    QTest::mouseClick(Child<QRadioButton>(w.get(), view.toLatin1()), Qt::LeftButton);
    QDateEdit *date = Child<QDateEdit>(w.get(), field.toLatin1());
    QVERIFY(date->isVisible());
    for (const QString &typed : {QStringLiteral("20261201"), QStringLiteral("2027-01-02")}) {
        date->setFocus();
        QTest::keyClick(date, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(date, typed);
        QCOMPARE(date->date(), THi::TypedDate(typed));
    }
}

void TestMainForm::addPendingLine(TfrmMain *w, bool income)
{
    const QByteArray p = income ? "In" : "Out";
    QTest::mouseClick(Child<QRadioButton>(w, income ? "rdoIncome" : "rdoExpense"), Qt::LeftButton);
    Child<QComboBox>(w, "cbo" + p + "Cate")->setEditText(QStringLiteral("Food"));
    QTest::keyClicks(Child<QLineEdit>(w, "edt" + p + "Amount"), QStringLiteral("1"));
    QTest::mouseClick(Child<QPushButton>(w, "btn" + p + "Add"), Qt::LeftButton);
    QVERIFY(Child<QPushButton>(w, "btn" + p + "Save")->isEnabled());
}

void TestMainForm::pendingLinesAskFirst_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("income");
    QTest::addColumn<bool>("discard"); // the answer to the question
    for (const char *way : {"close box", "exit", "switch user", "delete user", "restore"}) {
        QTest::addRow("%s, expense line, keep", way) << way << false << false;
        QTest::addRow("%s, income line, discard", way) << way << true << true;
    }
    QTest::addRow("exit, income line, keep") << "exit" << true << false;
}

// Every way the main window closes asks before pending lines are lost; No
// keeps the window, the lines and (for delete) the account.
void TestMainForm::pendingLinesAskFirst()
{
    QFETCH(QString, way);
    QFETCH(bool, income);
    QFETCH(bool, discard);
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Food"));
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("in"), QStringLiteral("Food"));
    auto w = open();
    addPendingLine(w.get(), income);
    QTemporaryDir dir;
    const QString backup = dir.filePath(QStringLiteral("b.tlmdb"));
    QVERIFY(QFile::copy(m_dataFile, backup));

    DialogScript script;
    if (way == QStringLiteral("close box")) {
        script.answers.enqueue(discard);
        QTest::mouseClick(w->SkinMan->CloseButton, Qt::LeftButton);
    } else if (way == QStringLiteral("exit")) {
        script.answers.enqueue(discard);
        action(w.get(), "mnuMenu_Exit")->trigger();
    } else if (way == QStringLiteral("switch user")) {
        script.yes().answers.enqueue(discard);
        action(w.get(), "mnuMenu_SwitchUser")->trigger();
    } else if (way == QStringLiteral("delete user")) {
        script.yes().answers.enqueue(discard);
        action(w.get(), "mnuMenu_DeleteUser")->trigger();
    } else {
        script.answer(backup).answers.enqueue(discard);
        action(w.get(), "mnuMenu_Restore")->trigger();
    }

    const auto questions = script.of(TDialogCall::Question);
    QVERIFY(!questions.isEmpty());
    QCOMPARE(questions.last().text, QStringLiteral("有尚未保存的记录，确定要放弃它们吗？"));
    QCOMPARE(questions.last().caption, QStringLiteral("确认"));
    QVERIFY(questions.last().defaultNo);
    QVERIFY(script.answers.isEmpty());
    QCOMPARE(w->isVisible(), !discard);
    const bool restarts = way != QStringLiteral("close box") && way != QStringLiteral("exit");
    QCOMPARE(m_started.size(), discard && restarts ? 1 : 0);
    QCOMPARE(TDbMan(m_dataFile).UserExists(QStringLiteral("Li")),
             !(discard && way == QStringLiteral("delete user")));
    if (!discard) {
        auto *panel = Child<TEntryPanel>(w.get(), income ? "pnlIncome" : "pnlExpense");
        QCOMPARE(panel->PendingRows().size(), 1);
        // Once the lines are saved, the same way out asks nothing more.
        script.calls.clear();
        script.yes();
        QTest::mouseClick(Child<QPushButton>(w.get(), income ? "btnInSave" : "btnOutSave"),
                          Qt::LeftButton);
        QCOMPARE(panel->PendingRows().size(), 0);
        script.calls.clear();
        w->close();
        QVERIFY(script.calls.isEmpty());
        QVERIFY(!w->isVisible());
    }
}

// Another running copy holds the write lock while Save waits for it: the
// window keeps painting and shows the wait cursor all the while, and the error
// comes after the whole wait.
void TestMainForm::waitForLockKeepsPainting()
{
    StartUp::KeepPaintingWhileWaiting();
    const auto noHook = qScopeGuard([] {
        TDbMan::SetWaitHook({});
        TDbMan::SetBusyTimeout(10000);
    });
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Food"));
    auto w = open();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    addPendingLine(w.get(), false);
    TDbMan::SetBusyTimeout(600);
    TestSupport::Raw other(m_dataFile);
    QCOMPARE(other.exec(QStringLiteral("begin immediate")), QString());

    // Counts what reaches the window while the store waits.
    struct Watch : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } watch;
    w->installEventFilter(&watch);
    DialogScript script;
    script.yes();
    int paintsBefore = -1, errorsWhileWaiting = -1;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    QTimer::singleShot(200, w.get(), [&] {
        paintsBefore = watch.paints;
        errorsWhileWaiting = int(script.of(TDialogCall::Error).size());
        if (QApplication::overrideCursor())
            cursor = QApplication::overrideCursor()->shape();
        w->update();
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutSave"), Qt::LeftButton);
    QVERIFY(clock.elapsed() >= 600);
    QCOMPARE(errorsWhileWaiting, 0); // the timer ran during the wait
    QCOMPARE(cursor, Qt::WaitCursor);
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QVERIFY2(watch.paints > paintsBefore, "no paint while waiting");
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(Child<TEntryPanel>(w.get(), "pnlExpense")->PendingRows().size(), 1);
}

// A login that could not write opens the ledger read-only: a line says so,
// every write is refused with that sentence and keeps what was typed, and the
// ledger can still be read and backed up to another place.
void TestMainForm::readOnlyLedger()
{
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Food"));
    TDbMan(m_dataFile)
        .AddRecord(QStringLiteral("Li"), QStringLiteral("2011-04-12"), TypeExpense(),
                   QStringLiteral("Food"), Cents(QStringLiteral("3")), QStringLiteral(""));
    auto w = open();
    addPendingLine(w.get(), false);
    auto *line = w->findChild<QLabel *>(QStringLiteral("lblReadOnly"));
    QVERIFY(!line || !line->isVisible());
    w->SetReadOnly();
    line = Child<QLabel>(w.get(), "lblReadOnly");
    QVERIFY(line->isVisible());
    QVERIFY(line->text().contains(QStringLiteral("只读")));
    QVERIFY(line->x() + line->width() <= Child<QLabel>(w.get(), "imgMenu")->x());

    DialogScript script;
    script.yes();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutSave"), Qt::LeftButton);
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QVERIFY(script.of(TDialogCall::Error)[0].text.startsWith(TDbMan::ReadOnlyText()));
    QCOMPARE(Child<TEntryPanel>(w.get(), "pnlExpense")->PendingRows().size(), 1);

    script.calls.clear();
    script.answer(QStringLiteral("new password"));
    action(w.get(), "mnuMenu_SetPwd")->trigger();
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QVERIFY(TDbMan(m_dataFile).CheckLogin(QStringLiteral("Li"), QStringLiteral("1234")));

    // Reading and a backup elsewhere go on.
    QTemporaryDir elsewhere;
    script.calls.clear();
    script.answer(elsewhere.filePath(QStringLiteral("copy.tlmdb")));
    action(w.get(), "mnuMenu_Backup")->trigger();
    QCOMPARE(script.of(TDialogCall::Error).size(), 0);
    QVERIFY(TDbMan::IsDataFile(elsewhere.filePath(QStringLiteral("copy.tlmdb"))));
    QCOMPARE(TestSupport::Records(*w->DbMan, QStringLiteral("Li")).size(), 1);
    TDbMan fresh(m_dataFile);
    QCOMPARE(TestSupport::Records(fresh, QStringLiteral("Li")).size(), 1);
}

// Qt's own file dialog (the one used without a desktop's) lists types and
// dates in Chinese like the rest: "文件夹", not "Folder", and dates in the
// Chinese short form. main() below prepares the locale as the program does.
void TestMainForm::fileDialogSpeaksChinese()
{
    QVERIFY(THi::UseChineseLocale());
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QFile file(dir.filePath(QStringLiteral("a.tlmdb")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QFileDialog dlg(nullptr, QString(), dir.path());
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setViewMode(QFileDialog::Detail);
    dlg.show();
    auto *model = dlg.findChild<QFileSystemModel *>();
    QVERIFY(model);
    const QModelIndex sub = model->index(dir.filePath(QStringLiteral("sub")));
    QTRY_VERIFY(sub.isValid() && !model->data(sub.siblingAtColumn(3)).toString().isEmpty());
    QCOMPARE(model->data(sub.siblingAtColumn(2)).toString(), QStringLiteral("文件夹"));
    const QDateTime modified = QFileInfo(dir.filePath(QStringLiteral("sub"))).lastModified();
    QCOMPARE(model->data(sub.siblingAtColumn(3)).toString(),
             QLocale(QLocale::Chinese, QLocale::China).toString(modified, QLocale::ShortFormat));
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("修改日期"));
}

void TestMainForm::lineInFieldsIsPending_data()
{
    QTest::addColumn<QString>("after"); // what happens to the line taken back with Edit
    QTest::addColumn<bool>("asks");
    QTest::addRow("left in the fields") << "nothing" << true;
    QTest::addRow("only the notes left") << "keep notes" << true;
    QTest::addRow("fields emptied by hand") << "empty" << false;
    QTest::addRow("added again and saved") << "add and save" << false;
}

// A pending line taken out of the list with Edit lives only in the fields:
// closing asks about it as about a line in the list.
void TestMainForm::lineInFieldsIsPending()
{
    QFETCH(QString, after);
    QFETCH(bool, asks);
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Food"));
    auto w = open();
    addPendingLine(w.get(), false);
    auto *list = Child<QTreeWidget>(w.get(), "lvwOutRecs");
    list->setCurrentItem(list->topLevelItem(0));
    DialogScript script;
    script.yes();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutEdit"), Qt::LeftButton);
    auto *panel = Child<TEntryPanel>(w.get(), "pnlExpense");
    QCOMPARE(panel->PendingRows().size(), 0);
    auto *cate = Child<QComboBox>(w.get(), "cboOutCate");
    auto *amount = Child<QLineEdit>(w.get(), "edtOutAmount");
    QCOMPARE(amount->text(), QStringLiteral("1.00"));
    if (after == QStringLiteral("keep notes") || after == QStringLiteral("empty")) {
        cate->setEditText(QString());
        amount->clear();
        Child<QLineEdit>(w.get(), "edtOutNotes")
            ->setText(after == QStringLiteral("keep notes") ? QStringLiteral("x")
                                                            : QStringLiteral(""));
    } else if (after == QStringLiteral("add and save")) {
        QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutAdd"), Qt::LeftButton);
        script.yes();
        QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutSave"), Qt::LeftButton);
        QCOMPARE(TestSupport::Records(*w->DbMan, QStringLiteral("Li")).size(), 1);
    }

    script.calls.clear();
    script.no();
    w->close();
    const auto questions = script.of(TDialogCall::Question);
    QCOMPARE(questions.size(), asks ? 1 : 0);
    QCOMPARE(w->isVisible(), asks);
    if (asks) {
        QCOMPARE(questions.first().text, QStringLiteral("有尚未保存的记录，确定要放弃它们吗？"));
        QVERIFY(script.answers.isEmpty());
    }
}

// The real box: No is the default button, so Enter keeps the lines.
void TestMainForm::pendingQuestionDefaultsToNo()
{
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Food"));
    auto w = open();
    addPendingLine(w.get(), false);
    bool defaultNo = false;
    QString text;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        text = box->text();
        defaultNo = box->defaultButton() == box->button(QMessageBox::No);
        QTest::keyClick(box, Qt::Key_Return);
    });
    w->close();
    QCOMPARE(text, QStringLiteral("有尚未保存的记录，确定要放弃它们吗？"));
    QVERIFY(defaultNo);
    QVERIFY(w->isVisible());
}

// Yes to losing the lines, but the new copy does not start: this one stays
// with its lines, and the next way out asks again.
void TestMainForm::failedRestartKeepsLinesAndAsksAgain()
{
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Food"));
    auto w = open();
    addPendingLine(w.get(), false);
    m_startWorks = false;
    DialogScript script;
    script.yes().yes();
    action(w.get(), "mnuMenu_SwitchUser")->trigger();
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QVERIFY(w->isVisible());
    QCOMPARE(Child<TEntryPanel>(w.get(), "pnlExpense")->PendingRows().size(), 1);

    script.calls.clear();
    script.no();
    action(w.get(), "mnuMenu_Exit")->trigger();
    QCOMPARE(script.of(TDialogCall::Question).size(), 1);
    QVERIFY(w->isVisible());
}

int main(int argc, char *argv[])
{
    THi::UseChineseSystemLocale(); // before the application object, as the program does
    QApplication app(argc, argv);
    TestMainForm test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_MainForm.moc"
