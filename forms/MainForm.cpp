#include "MainForm.h"

#include "BrowserPanel.h"
#include "CateRename.h"
#include "DbClass.h"
#include "Dialogs.h"
#include "EntryPanel.h"
#include "FormKit.h"
#include "HiClass.h"
#include "Placement.h"
#include "SkinClass.h"
#include "UndoStack.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {
constexpr int ClientWidth = 700;
constexpr int ClientHeight = 525;

} // namespace

TfrmMain::TfrmMain(const QString &location, const QString &userName)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), UserName(userName), Location(location)
{
    setObjectName(QStringLiteral("TfrmMain"));
    setFixedSize(ClientWidth, ClientHeight);
    BuildFrame();
    BuildControlStrip();
    BuildMenu();

    pnlExpense = new TEntryPanel(TEntryPanelKind::Expense(), pnlCenter);
    pnlExpense->setGeometry(QRect(QPoint(0, 38), ClientSize));
    pnlIncome = new TEntryPanel(TEntryPanelKind::Income(), pnlCenter);
    pnlIncome->setGeometry(QRect(QPoint(0, 38), ClientSize));
    pnlTransactions = new TBrowserPanel(pnlCenter);
    pnlTransactions->move(0, 38);
    // The browser's find bar sits in the free part of the control strip,
    // shown with the browser page.
    pnlTransactions->FindBar()->setParent(pnlControl);
    pnlTransactions->FindBar()->move(280, 6);

    connect(pnlExpense, &TEntryPanel::listChanged, this, &TfrmMain::UpdateButtons);
    connect(pnlIncome, &TEntryPanel::listChanged, this, &TfrmMain::UpdateButtons);
    connect(pnlTransactions, &TBrowserPanel::listChanged, this, &TfrmMain::UpdateButtons);
    // A renamed category: the pick lists show what the store holds now.
    connect(&TCateRename::Notifier(), &TCateRename::renamed, this, [this](const QString &user) {
        if (!DbMan || user != UserName)
            return;
        TDialogs::Guard(this, [&] {
            pnlExpense->LoadCateList(DbMan->GetCateList(UserName, KindOut()));
            pnlIncome->LoadCateList(DbMan->GetCateList(UserName, KindIn()));
        });
    });

    FormCreate();
}

TfrmMain::~TfrmMain()
{
    ReleaseRecurring();
    // The skin's controls live on the frame panels: free it before them.
    SkinMan.reset();
    UndoStack.reset(); // listens to the store
    DbMan.reset();
}

// ---------------------------------------------------------------------------
// Building the window

void TfrmMain::BuildFrame()
{
    const auto edge = [this](const char *panel, const char *image, const QRect &r, QLabel *&img) {
        auto *p = Make<QWidget>(this, panel, r);
        img = Make<QLabel>(p, image, QRect(0, 0, r.width(), r.height()));
        return p;
    };
    pnlTop = edge("pnlTop", "imgTop", QRect(0, 0, ClientWidth, 36), imgTop);
    pnlLeft = edge("pnlLeft", "imgLeft", QRect(0, 36, 2, ClientHeight - 42), imgLeft);
    pnlRight =
        edge("pnlRight", "imgRight", QRect(ClientWidth - 2, 36, 2, ClientHeight - 42), imgRight);
    pnlBottom =
        edge("pnlBottom", "imgBottom", QRect(0, ClientHeight - 6, ClientWidth, 6), imgBottom);
    pnlCenter = Make<QWidget>(this, "pnlCenter", QRect(2, 36, ClientWidth - 4, ClientHeight - 42));
}

void TfrmMain::BuildControlStrip()
{
    pnlControl = Make<QWidget>(pnlCenter, "pnlControl", QRect(0, 0, 696, 38));
    shpTop1 = Make<QFrame>(pnlControl, "shpTop1", QRect(0, 0, 696, 36));
    SetBackground(shpTop1, Qt::white);
    shpTop2 = Make<QFrame>(pnlControl, "shpTop2", QRect(0, 36, 696, 1));
    SetBackground(shpTop2, QColor(0xC0, 0xC0, 0xC0));
    shpTop3 = Make<QFrame>(pnlControl, "shpTop3", QRect(0, 37, 696, 1));
    SetBackground(shpTop3, Qt::white);

    const auto radio = [this](const char *name, const QString &text, int x) {
        auto *r = Make<QRadioButton>(pnlControl, name, QRect(x, 10, 80, 17));
        r->setText(text);
        SetBold(r);
        connect(r, &QRadioButton::clicked, this, &TfrmMain::rdoExpenseClick);
        return r;
    };
    rdoExpense = radio("rdoExpense", QStringLiteral("支出记帐"), 12);
    rdoIncome = radio("rdoIncome", QStringLiteral("收入记帐"), 101);
    rdoTransactions = radio("rdoTransactions", QStringLiteral("收支目录"), 192);

    imgMenuUp = Make<QLabel>(pnlControl, "imgMenuUp", QRect(644, 12, 38, 13));
    imgMenuUp->setPixmap(QPixmap(QStringLiteral(":/rcdata/MENU_UP")));
    imgMenuUp->hide();
    imgMenuDown = Make<QLabel>(pnlControl, "imgMenuDown", QRect(644, 12, 38, 13));
    imgMenuDown->setPixmap(QPixmap(QStringLiteral(":/rcdata/MENU_DOWN")));
    imgMenuDown->hide();
    imgMenu = Make<QLabel>(pnlControl, "imgMenu", QRect(644, 12, 38, 13));
    imgMenu->setCursor(Qt::PointingHandCursor);
    imgMenu->installEventFilter(this);
}

void TfrmMain::BuildMenu()
{
    mnuMenu = Make<QMenu>(this, "mnuMenu");
    const auto entry = [this](const char *name, const QString &text, void (TfrmMain::*slot)()) {
        QAction *a = mnuMenu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    mnuMenu_SwitchUser =
        entry("mnuMenu_SwitchUser", QStringLiteral("切换用户"), &TfrmMain::mnuMenu_SwitchUserClick);
    mnuMenu->setDefaultAction(mnuMenu_SwitchUser); // drawn bold
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuMenu_Separator0"));
    mnuMenu_SetPwd =
        entry("mnuMenu_SetPwd", QStringLiteral("修改密码"), &TfrmMain::mnuMenu_SetPwdClick);
    mnuMenu_DeleteUser =
        entry("mnuMenu_DeleteUser", QStringLiteral("删除"), &TfrmMain::mnuMenu_DeleteUserClick);
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuMenu_Separator1"));
    mnuMenu_Backup =
        entry("mnuMenu_Backup", QStringLiteral("备份数据"), &TfrmMain::mnuMenu_BackupClick);
    mnuMenu_Restore = entry("mnuMenu_Restore", QStringLiteral("从备份中恢复数据"),
                            &TfrmMain::mnuMenu_RestoreClick);
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuMenu_SeparatorBills"));
    mnuMenu_ImportBill = entry("mnuMenu_ImportBill", QStringLiteral("导入账单…"),
                               &TfrmMain::mnuMenu_ImportBillClick);
    mnuMenu_BillBatches = entry("mnuMenu_BillBatches", QStringLiteral("导入记录…"),
                                &TfrmMain::mnuMenu_BillBatchesClick);
    mnuMenu_Recycle =
        entry("mnuMenu_Recycle", QStringLiteral("回收站…"), &TfrmMain::mnuMenu_RecycleClick);
    mnuMenu_Budget =
        entry("mnuMenu_Budget", QStringLiteral("预算…"), &TfrmMain::mnuMenu_BudgetClick);
    mnuMenu_Recurring =
        entry("mnuMenu_Recurring", QStringLiteral("定期收支…"), &TfrmMain::mnuMenu_RecurringClick);
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuMenu_SeparatorHousehold"));
    mnuMenu_HouseholdShare = entry("mnuMenu_HouseholdShare", QStringLiteral("家庭共享…"),
                                   &TfrmMain::mnuMenu_HouseholdShareClick);
    mnuMenu_HouseholdShare->setCheckable(true);
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuMenu_Separator2"));
    mnuMenu_Exit = entry("mnuMenu_Exit", QStringLiteral("退出"), &TfrmMain::mnuMenu_ExitClick);
}

// ---------------------------------------------------------------------------
// Creation

void TfrmMain::FormCreate()
{
    setWindowTitle(QLatin1String(Placement::ProductName));

    auto store = std::make_unique<TDbMan>(Location);
    if (store->IsMissing() || UserName.isEmpty())
        return; // not shown; the caller ends the program
    DbMan = std::move(store);

    setWindowTitle(
        QStringLiteral("%1 - 用户名称：%2").arg(QLatin1String(Placement::ProductName), UserName));
    // "&" in a name would turn into an access key.
    QString menuName = ElidedName(UserName);
    menuName.replace(QLatin1Char('&'), QStringLiteral("&&"));
    mnuMenu_DeleteUser->setText(QStringLiteral("删除 %1").arg(menuName));

    rdoExpense->setChecked(true);
    rdoExpenseClick();

    const QDate today = QDate::currentDate();
    pnlExpense->SetDate(today);
    pnlIncome->SetDate(today);
    pnlTransactions->Start(today); // also the totals line, its dates and tabs

    pnlExpense->UpdatePendingTotal();
    pnlIncome->UpdatePendingTotal();

    pnlExpense->SetStore(DbMan.get(), UserName);
    pnlIncome->SetStore(DbMan.get(), UserName);
    pnlTransactions->SetStore(DbMan.get(), UserName);
    TDialogs::Guard(this, [&] {
        pnlExpense->LoadCateList(DbMan->GetCateList(UserName, KindOut()));
        pnlIncome->LoadCateList(DbMan->GetCateList(UserName, KindIn()));
        ShowHouseholdShare(DbMan->HouseholdShare(UserName));
    });

    SetUpUndo();
    UpdateButtons();
    pnlExpense->CateChange();
    pnlIncome->CateChange();
    SetMenuImage(true);

    SkinMan = std::make_unique<TSkinMan>(imgLeft, imgTop, imgRight, imgBottom, pnlCenter);
    FlatButtons(this);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    StartRecurring();
}

void TfrmMain::SetReadOnly()
{
    if (!DbMan)
        return;
    DbMan->SetReadOnly(true);
    if (!lblReadOnly) {
        // In the free part of the control strip, between the views and the menu.
        lblReadOnly = Make<QLabel>(pnlControl, "lblReadOnly", QRect(280, 10, 356, 17));
        lblReadOnly->setText(QStringLiteral("账本只读：磁盘已满，腾出空间后请重新启动。"));
        lblReadOnly->setToolTip(TDbMan::ReadOnlyText());
        SetBold(lblReadOnly);
        SetTextColor(lblReadOnly, QColor(0xC0, 0x00, 0x00));
    }
    // The browser page's find bar takes that place while the page is shown.
    lblReadOnly->setVisible(!rdoTransactions->isChecked());
}

// ---------------------------------------------------------------------------
// Views

void TfrmMain::rdoExpenseClick()
{
    pnlExpense->setVisible(rdoExpense->isChecked());
    pnlIncome->setVisible(rdoIncome->isChecked());
    pnlTransactions->setVisible(rdoTransactions->isChecked());
    pnlTransactions->FindBar()->setVisible(rdoTransactions->isChecked());
    if (lblReadOnly)
        lblReadOnly->setVisible(!rdoTransactions->isChecked());
    RecurringPageChanged();
}

void TfrmMain::UpdateButtons()
{
    pnlExpense->UpdateButtons();
    pnlIncome->UpdateButtons();
    pnlTransactions->UpdateButtons();
}

// ---------------------------------------------------------------------------
// Closing

bool TfrmMain::CanClose()
{
    if (m_discardAgreed || !pnlExpense || !pnlIncome)
        return true;
    if (!pnlExpense->HasPending() && !pnlIncome->HasPending())
        return true;
    return TDialogs::Ask(this, QStringLiteral("有尚未保存的记录，确定要放弃它们吗？"),
                         /*defaultYes=*/false);
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (CanClose())
        event->accept();
    else
        event->ignore();
}

// ---------------------------------------------------------------------------
// Menu button

void TfrmMain::SetMenuImage(bool raised)
{
    imgMenu->setPixmap((raised ? imgMenuUp : imgMenuDown)->pixmap());
}

void TfrmMain::imgMenuMouseDown(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        SetMenuImage(false);
}

void TfrmMain::imgMenuMouseUp(Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    SetMenuImage(true);
    mnuMenu->popup(QCursor::pos());
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == imgMenu) {
        if (event->type() == QEvent::MouseButtonPress) {
            imgMenuMouseDown(static_cast<QMouseEvent *>(event)->button());
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            imgMenuMouseUp(static_cast<QMouseEvent *>(event)->button());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
