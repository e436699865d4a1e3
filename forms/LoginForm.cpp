#include "LoginForm.h"

#include "DbClass.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {
bool isEnter(QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

TfrmLogin::TfrmLogin(const QString &location, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("TfrmLogin"));
    Location = location;
    setWindowTitle(QStringLiteral("Tallimo - 登陆"));
    setFixedSize(367, 205);

    bvlRect = Make<QFrame>(this, "bvlRect");
    bvlRect->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bvlRect->setGeometry(8, 8, 350, 180);

    lblStep1 = MakeLabel(this, "lblStep1",
                         QStringLiteral("1. 请自行输入一个新的用户名称，如：郭靖。"), 18, 20);
    lblStep2 = MakeLabel(
        this, "lblStep2",
        QStringLiteral("2. 请自行输入一个新的用户密码，如：%1。").arg(ExamplePassword()), 18, 39);
    lblStep3 = MakeLabel(this, "lblStep3",
                         QStringLiteral("3. 然后，请您用鼠标左键单击登陆按钮即可。"), 18, 59);

    btnSubmit = MakeButton(this, "btnSubmit", QStringLiteral("登陆(&S)"), 273, 20);
    btnCancel = MakeButton(this, "btnCancel", QStringLiteral("取消(&C)"), 273, 49);
    // Enter is handled by the fields themselves, never by a default button.
    btnSubmit->setAutoDefault(false);
    btnCancel->setAutoDefault(false);

    lblUsername = MakeLabel(this, "lblUsername", QStringLiteral("用户名称："), 18, 125);
    cboUsername = Make<QComboBox>(this, "cboUsername");
    cboUsername->setEditable(true);
    cboUsername->setCompleter(nullptr);
    cboUsername->setInsertPolicy(QComboBox::NoInsert);
    cboUsername->setGeometry(82, 121, 265, 23);
    lblPassword = MakeLabel(this, "lblPassword", QStringLiteral("用户密码："), 18, 156);
    edtPassword = Make<QLineEdit>(this, "edtPassword");
    edtPassword->setEchoMode(QLineEdit::Password);
    edtPassword->setGeometry(82, 152, 265, 21);

    setTabOrder(cboUsername, edtPassword);
    setTabOrder(edtPassword, btnSubmit);
    setTabOrder(btnSubmit, btnCancel);

    connect(btnSubmit, &QPushButton::clicked, this, &TfrmLogin::btnSubmitClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmLogin::btnCancelClick);
    connect(cboUsername, &QComboBox::editTextChanged, this, &TfrmLogin::cboUsernameChange);
    connect(edtPassword, &QLineEdit::textChanged, this, &TfrmLogin::edtPasswordChange);
    // Keys reach the combo box or its line edit, depending on who has the focus.
    SayWhenCut(cboUsername->lineEdit());
    SayWhenCut(edtPassword);
    cboUsername->installEventFilter(this);
    cboUsername->lineEdit()->installEventFilter(this);
    edtPassword->installEventFilter(this);

    FormCreate();
}

TfrmLogin::~TfrmLogin() = default; // FormClose: the store goes with the dialog

void TfrmLogin::FormCreate()
{
    UserName.clear();
    ReadOnly = false;
    DbMan = std::make_unique<TDbMan>(Location);

    cboUsername->addItems(THi::SplitLines(DbMan->ListUsers()));
    if (cboUsername->count() > 0)
        cboUsername->setCurrentIndex(0);
    UpdateSubmit();
}

void TfrmLogin::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    activateWindow();
    // With a name preselected the password is what is left to type.
    if (!THi::Trim(cboUsername->currentText()).isEmpty())
        edtPassword->setFocus();
    else
        cboUsername->setFocus();
}

void TfrmLogin::UpdateSubmit()
{
    btnSubmit->setEnabled(!THi::Trim(cboUsername->currentText()).isEmpty() &&
                          !THi::Trim(edtPassword->text()).isEmpty());
}

void TfrmLogin::cboUsernameChange()
{
    UpdateSubmit();
}

void TfrmLogin::edtPasswordChange()
{
    UpdateSubmit();
}

bool TfrmLogin::eventFilter(QObject *watched, QEvent *event)
{
    if (isEnter(event)) {
        if (watched == cboUsername || watched == cboUsername->lineEdit()) {
            edtPassword->setFocus();
            return true;
        }
        if (watched == edtPassword) {
            btnSubmitClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString TfrmLogin::FindUserName(const QString &typed)
{
    const QString key = THi::LowerAscii(typed);
    const QStringList lines = THi::SplitLines(DbMan->ListUsers());
    for (const QString &line : lines) {
        QString name = THi::Trim(line);
        if (THi::LowerAscii(name) == key)
            return name;
    }
    return QString();
}

void TfrmLogin::btnSubmitClick()
{
    if (!btnSubmit->isEnabled())
        return;
    bool accepted = false;
    TDialogs::Guard(this, [&] {
        TBusy busy(btnSubmit);
        UserName = THi::Trim(cboUsername->currentText());
        const QString stored = FindUserName(UserName);
        if (!stored.isEmpty())
            UserName = stored;
        const QString password = THi::Trim(edtPassword->text());

        // A stored account: the password must match. The row is written anew,
        // so this user is listed first next time.
        const auto logIn = [&](TBusy &working) {
            if (DbMan->CheckLogin(UserName, password)) {
                try {
                    DbMan->RewriteUser(UserName, password);
                } catch (const EDbCannotWrite &) {
                    // Only the order of the name list is lost; the ledger
                    // itself can still be read and backed up elsewhere.
                    ReadOnly = true;
                }
                accepted = true;
            } else {
                working.Done();
                TDialogs::Error(this, QStringLiteral("错误：无效的密码。"));
            }
        };

        if (DbMan->UserExists(UserName)) {
            logIn(busy);
            return;
        }
        busy.Done();
        const QString question =
            QStringLiteral("您想要创建一个新的用户名称和一个新的用户密码吗？\r\n\r\n"
                           "- 用户名称：%1\r\n- 用户密码：%2")
                .arg(ElidedName(UserName), ElidedName(password));
        if (!TDialogs::Ask(this, question))
            return;
        TBusy again(btnSubmit);
        try {
            DbMan->AddUser(UserName, password);
            accepted = true;
        } catch (const EUserExists &) {
            // Another running copy created the name since the list was read.
            again.Done();
            TDialogs::Error(this, QStringLiteral("用户名称“%1”刚刚已由另一个正在运行的 Tallimo "
                                                 "创建。现在按已有的用户核对密码。")
                                      .arg(UserName));
            TBusy checking(btnSubmit);
            logIn(checking);
        }
    });
    if (accepted)
        accept();
}

void TfrmLogin::btnCancelClick()
{
    reject();
}

void TfrmLogin::reject()
{
    UserName.clear();
    ReadOnly = false;
    QDialog::reject();
}
