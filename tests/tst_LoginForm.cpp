#include "DbClass.h"
#include "DialogScript.h"
#include "DiskFull.h"
#include "FormKit.h"
#include "LoginForm.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>
#include <QtTest>

using TestSupport::Child;

class TestLoginForm : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyUserTableAsksForNewAccount();
    void answerNoStoresNothing();
    void nameTakenMeanwhile_data();
    void nameTakenMeanwhile();
    void storedSpellingWins_data();
    void storedSpellingWins();
    void wrongPasswordKeepsDialogOpen();
    void loginRewritesTheAccountRow();
    void submitNeedsBothFields_data();
    void submitNeedsBothFields();
    void enterChain();
    void cancelWays_data();
    void cancelWays();
    void storeFailureIsReportedAndButtonComesBack();
    void longNameIsElided();
    void cutPasswordIsSaid();
    void fullDiskLogsInReadOnly_data();
    void fullDiskLogsInReadOnly();

private:
    void addUser(const QString &name, const QString &pwd) { TDbMan(m_dataFile).AddUser(name, pwd); }
    void fill(TfrmLogin &dlg, const QString &name, const QString &pwd)
    {
        Child<QComboBox>(&dlg, "cboUsername")->setEditText(name);
        Child<QLineEdit>(&dlg, "edtPassword")->setText(pwd);
    }
    void submit(TfrmLogin &dlg)
    {
        QTest::mouseClick(Child<QPushButton>(&dlg, "btnSubmit"), Qt::LeftButton);
    }

    std::unique_ptr<TestSupport::DataHome> m_home;
    QString m_dataFile;
};

void TestLoginForm::init()
{
    m_home = std::make_unique<TestSupport::DataHome>();
    m_dataFile = Placement::PlaceDataFile({});
}

void TestLoginForm::cleanup()
{
    m_home.reset();
}

void TestLoginForm::emptyUserTableAsksForNewAccount()
{
    DialogScript script;
    script.yes();
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(Child<QComboBox>(&dlg, "cboUsername")->count(), 0);
    QCOMPARE(QApplication::focusWidget(), Child<QComboBox>(&dlg, "cboUsername"));

    fill(dlg, QStringLiteral(" 郭靖 "), QStringLiteral(" 2468 "));
    submit(dlg);
    const auto questions = script.of(TDialogCall::Question);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions[0].caption, QStringLiteral("确认"));
    QCOMPARE(questions[0].text,
             QStringLiteral("您想要创建一个新的用户名称和一个新的用户密码吗？\r\n\r\n"
                            "- 用户名称：郭靖\r\n- 用户密码：2468"));
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.UserName, QStringLiteral("郭靖"));
    QCOMPARE(dlg.Location, m_dataFile);
    QVERIFY(TDbMan(m_dataFile).CheckLogin(QStringLiteral("郭靖"), QStringLiteral("2468")));
}

void TestLoginForm::answerNoStoresNothing()
{
    DialogScript script;
    script.no();
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    fill(dlg, QStringLiteral("Li"), QStringLiteral("1"));
    submit(dlg);
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.result() != QDialog::Accepted);
    QCOMPARE(TDbMan(m_dataFile).ListUsers(), QString());
    QVERIFY(Child<QPushButton>(&dlg, "btnSubmit")->isEnabled());
}

void TestLoginForm::nameTakenMeanwhile_data()
{
    QTest::addColumn<QString>("otherPassword"); // the other copy's account
    QTest::addColumn<bool>("loggedIn");
    QTest::addRow("same password logs in") << "2468" << true;
    QTest::addRow("other password is refused") << "1357" << false;
}

// Another running copy creates the name between this dialog's list and the
// Yes to the new-account question.
void TestLoginForm::nameTakenMeanwhile()
{
    QFETCH(QString, otherPassword);
    QFETCH(bool, loggedIn);
    DialogScript script;
    TDialogs::SetHandler([&](const TDialogCall &call) {
        script.calls.append(call);
        if (call.kind == TDialogCall::Question)
            TDbMan(m_dataFile).AddUser(QStringLiteral("Ann"), otherPassword);
        return QVariant(true);
    });
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    fill(dlg, QStringLiteral("Ann"), QStringLiteral("2468"));
    submit(dlg);

    const auto errors = script.of(TDialogCall::Error);
    QCOMPARE(errors.size(), loggedIn ? 1 : 2);
    QCOMPARE(errors[0].caption, QStringLiteral("错误"));
    QCOMPARE(errors[0].text, QStringLiteral("用户名称“Ann”刚刚已由另一个正在运行的 Tallimo "
                                            "创建。现在按已有的用户核对密码。"));
    if (!loggedIn)
        QCOMPARE(errors[1].text, QStringLiteral("错误：无效的密码。"));
    QCOMPARE(dlg.result() == QDialog::Accepted, loggedIn);
    QCOMPARE(dlg.isVisible(), !loggedIn);
    if (loggedIn)
        QCOMPARE(dlg.UserName, QStringLiteral("Ann"));
    TDbMan db(m_dataFile);
    QCOMPARE(db.ListUsers(), QStringLiteral("Ann")); // one account, the other copy's
    QVERIFY(db.CheckLogin(QStringLiteral("Ann"), otherPassword));
    QVERIFY(Child<QPushButton>(&dlg, "btnSubmit")->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestLoginForm::storedSpellingWins_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected"); // empty: goes to the new-account question
    QTest::addRow("lower case") << "tom"
                                << "Tom";
    QTest::addRow("capitals with blanks") << "  TOM  "
                                          << "Tom";
    QTest::addRow("exact") << "Tom"
                           << "Tom";
    QTest::addRow("full-width letters do not fold") << QStringLiteral("ｔｏｍ") << "";
}

void TestLoginForm::storedSpellingWins()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    addUser(QStringLiteral("Tom"), QStringLiteral("1234"));
    DialogScript script; // a question would get No
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    fill(dlg, typed, QStringLiteral("1234"));
    submit(dlg);
    if (expected.isEmpty()) {
        QCOMPARE(script.of(TDialogCall::Question).size(), 1);
        QVERIFY(dlg.result() != QDialog::Accepted);
    } else {
        QVERIFY(script.calls.isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.UserName, expected);
    }
}

void TestLoginForm::wrongPasswordKeepsDialogOpen()
{
    addUser(QStringLiteral("Tom"), QStringLiteral("1234"));
    DialogScript script;
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    fill(dlg, QStringLiteral("Tom"), QStringLiteral("4321"));
    submit(dlg);
    const auto errors = script.of(TDialogCall::Error);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors[0].text, QStringLiteral("错误：无效的密码。"));
    QCOMPARE(errors[0].caption, QStringLiteral("错误"));
    QVERIFY(dlg.isVisible());
    QCOMPARE(Child<QLineEdit>(&dlg, "edtPassword")->text(), QStringLiteral("4321"));
    QVERIFY(Child<QPushButton>(&dlg, "btnSubmit")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestLoginForm::loginRewritesTheAccountRow()
{
    addUser(QStringLiteral("Ann"), QStringLiteral("1"));
    addUser(QStringLiteral("Bob"), QStringLiteral("2"));
    DialogScript script;
    {
        TfrmLogin dlg(m_dataFile);
        // Newest row first, and preselected with the focus on the password.
        QCOMPARE(Child<QComboBox>(&dlg, "cboUsername")->currentText(), QStringLiteral("Bob"));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(QApplication::focusWidget(), Child<QLineEdit>(&dlg, "edtPassword"));
        fill(dlg, QStringLiteral("Ann"), QStringLiteral(" 1 "));
        submit(dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    TDbMan db(m_dataFile);
    QCOMPARE(db.ListUsers(), QStringLiteral("Ann\r\nBob"));
    QVERIFY(db.CheckLogin(QStringLiteral("Ann"), QStringLiteral("1")));
    TfrmLogin again(m_dataFile);
    QCOMPARE(Child<QComboBox>(&again, "cboUsername")->count(), 2);
    QCOMPARE(Child<QComboBox>(&again, "cboUsername")->currentText(), QStringLiteral("Ann"));
}

void TestLoginForm::submitNeedsBothFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pwd");
    QTest::addColumn<bool>("enabled");
    QTest::addRow("both") << "Li"
                          << "1" << true;
    QTest::addRow("blank name") << "   "
                                << "1" << false;
    QTest::addRow("blank password") << "Li"
                                    << " \t" << false;
    QTest::addRow("full-width space counts") << "Li" << QStringLiteral("\u3000") << true;
}

void TestLoginForm::submitNeedsBothFields()
{
    QFETCH(QString, name);
    QFETCH(QString, pwd);
    QFETCH(bool, enabled);
    TfrmLogin dlg(m_dataFile);
    fill(dlg, name, pwd);
    QCOMPARE(Child<QPushButton>(&dlg, "btnSubmit")->isEnabled(), enabled);
}

void TestLoginForm::enterChain()
{
    addUser(QStringLiteral("Tom"), QStringLiteral("1234"));
    DialogScript script;
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QComboBox *name = Child<QComboBox>(&dlg, "cboUsername");
    QLineEdit *pwd = Child<QLineEdit>(&dlg, "edtPassword");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), pwd);
    QVERIFY(dlg.isVisible());

    QTest::keyClick(pwd, Qt::Key_Return); // blank password: nothing happens
    QVERIFY(script.calls.isEmpty());
    QVERIFY(dlg.isVisible());

    QTest::keyClicks(pwd, QStringLiteral("1234"));
    QTest::keyClick(pwd, Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.UserName, QStringLiteral("Tom"));
}

void TestLoginForm::cancelWays_data()
{
    QTest::addColumn<QString>("way");
    QTest::addRow("cancel button") << "button";
    QTest::addRow("escape") << "esc";
    QTest::addRow("close box") << "close";
}

void TestLoginForm::cancelWays()
{
    QFETCH(QString, way);
    addUser(QStringLiteral("Tom"), QStringLiteral("1234"));
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    fill(dlg, QStringLiteral("Tom"), QStringLiteral("1234"));
    if (way == QStringLiteral("button"))
        QTest::mouseClick(Child<QPushButton>(&dlg, "btnCancel"), Qt::LeftButton);
    else if (way == QStringLiteral("esc"))
        QTest::keyClick(Child<QLineEdit>(&dlg, "edtPassword"), Qt::Key_Escape);
    else
        dlg.close();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(dlg.UserName, QString());
}

void TestLoginForm::storeFailureIsReportedAndButtonComesBack()
{
    addUser(QStringLiteral("Tom"), QStringLiteral("1234"));
    DialogScript script;
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    fill(dlg, QStringLiteral("Tom"), QStringLiteral("1234"));
    QFile::remove(m_dataFile); // the file vanishes under the running dialog
    submit(dlg);
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QVERIFY(script.of(TDialogCall::Error)[0].text.contains(
        QStringLiteral("unable to open database file")));
    QVERIFY(dlg.isVisible());
    QVERIFY(Child<QPushButton>(&dlg, "btnSubmit")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

// A very long name (or password) is cut in the middle in the new-account
// question, so the box stays on the screen; the account gets the whole name.
void TestLoginForm::longNameIsElided()
{
    const QString name = QString(3000, QChar(0x90ED)) + QStringLiteral("end");
    DialogScript script;
    script.yes();
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    fill(dlg, name, QString(3000, QLatin1Char('9')));
    submit(dlg);
    const auto questions = script.of(TDialogCall::Question);
    QCOMPARE(questions.size(), 1);
    const QString text = questions[0].text;
    QVERIFY(text.contains(QStringLiteral("…")));
    const QFontMetrics fm(QApplication::font());
    for (const QString &line : text.split(QStringLiteral("\r\n")))
        QVERIFY(fm.horizontalAdvance(line) < dlg.screen()->availableGeometry().width());
    QCOMPARE(ElidedName(QStringLiteral("郭靖")), QStringLiteral("郭靖")); // short names stay whole
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(TDbMan(m_dataFile).UserExists(name));
}

// A paste longer than the password field takes is cut, and that is said.
void TestLoginForm::cutPasswordIsSaid()
{
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    auto *password = Child<QLineEdit>(&dlg, "edtPassword");
    password->setFocus();
    QApplication::clipboard()->setText(QString(password->maxLength() + 1, QLatin1Char('1')));
    QTest::keyClick(password, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(password->text().size(), password->maxLength());
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY(QToolTip::text().startsWith(QStringLiteral("文字太长")));
    QToolTip::hideText();
}

void TestLoginForm::fullDiskLogsInReadOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::addRow("stored account") << "Tom"
                                    << "1234" << true;
    QTest::addRow("wrong password") << "Tom"
                                    << "9999" << false;
    QTest::addRow("new account") << "Ann"
                                 << "1234" << false;
}

// Logging in writes the account row; on a full disk that write fails, and the
// stored account still gets in, read-only, so the ledger can be backed up
// elsewhere. A new account cannot be made there.
void TestLoginForm::fullDiskLogsInReadOnly()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    addUser(QStringLiteral("Tom"), QStringLiteral("1234"));
    DialogScript script;
    script.yes(); // the new-account question
    TfrmLogin dlg(m_dataFile);
    dlg.show();
    fill(dlg, name, password);
    {
        TestSupport::DiskFull full;
        submit(dlg);
    }
    QCOMPARE(dlg.result(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(dlg.ReadOnly, accepted);
    QCOMPARE(dlg.UserName, accepted ? name : dlg.UserName);
    QCOMPARE(script.of(TDialogCall::Error).size(), accepted ? 0 : 1);
    if (name == QStringLiteral("Ann"))
        QVERIFY(script.of(TDialogCall::Error).value(0).text.contains(QStringLiteral("磁盘已满")));
    QVERIFY(!TDbMan(m_dataFile).UserExists(QStringLiteral("Ann")));

    // With room again, the next login writes as ever.
    TfrmLogin again(m_dataFile);
    again.show();
    fill(again, QStringLiteral("Tom"), QStringLiteral("1234"));
    submit(again);
    QCOMPARE(again.result(), int(QDialog::Accepted));
    QVERIFY(!again.ReadOnly);
}

QTEST_MAIN(TestLoginForm)
#include "tst_LoginForm.moc"
