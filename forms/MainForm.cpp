#include "MainForm.h"

#include "DateEdit.h"
#include "DbClass.h"
#include "Dialogs.h"
#include "EntryPanel.h"
#include "FormKit.h"
#include "HiClass.h"
#include "Placement.h"
#include "RowListModel.h"
#include "SkinClass.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QDateEdit>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTabBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
constexpr int ClientWidth = 700;
constexpr int ClientHeight = 525;

QPushButton *button(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *b = Make<QPushButton>(parent, name, QRect(x, y, 74, 23));
    b->setText(text);
    b->setAutoDefault(false);
    return b;
}

QDateEdit *datePicker(QWidget *parent, const char *name, int x, int y)
{
    auto *d = Make<TDateEdit>(parent, name, QRect(x, y, 155, 21));
    d->setFocusPolicy(Qt::ClickFocus);
    return d;
}

QRadioButton *maroonRadio(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *r = Make<QRadioButton>(parent, name);
    r->setText(text);
    SetBold(r);
    SetTextColor(r, Maroon());
    r->move(x, y);
    r->adjustSize();
    return r;
}

// The upper and lower lists of a browser page share their 672 x 362 area.
QSplitter *listSplitter(QWidget *parent, const char *name, int handleWidth)
{
    auto *s = Make<QSplitter>(parent, name, QRect(0, 0, 672, 362));
    s->setOrientation(Qt::Vertical);
    s->setHandleWidth(handleWidth);
    s->setChildrenCollapsible(false);
    return s;
}

QLabel *totalsLabel(QWidget *parent, const char *name)
{
    auto *l = Make<QLabel>(parent, name, QRect(12, 375, 430, 16));
    SetBold(l);
    SetTextColor(l, Maroon());
    return l;
}
} // namespace

TfrmMain::TfrmMain(const QString &dataFile, const QString &userName)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), UserName(userName), DataFile(dataFile)
{
    setObjectName(QStringLiteral("TfrmMain"));
    setFixedSize(ClientWidth, ClientHeight);
    BuildFrame();
    BuildControlStrip();
    BuildMenu();

    pnlExpense = new TEntryPanel(TEntryPanelKind::Expense(), pnlCenter);
    pnlExpense->setGeometry(0, 38, 696, 445);
    pnlIncome = new TEntryPanel(TEntryPanelKind::Income(), pnlCenter);
    pnlIncome->setGeometry(0, 38, 696, 445);
    BuildBrowser();

    connect(pnlExpense, &TEntryPanel::listChanged, this, &TfrmMain::UpdateButtons);
    connect(pnlIncome, &TEntryPanel::listChanged, this, &TfrmMain::UpdateButtons);

    FormCreate();
}

TfrmMain::~TfrmMain()
{
    // The skin's controls live on the frame panels: free it before them.
    SkinMan.reset();
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
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuMenu_Separator2"));
    mnuMenu_Exit = entry("mnuMenu_Exit", QStringLiteral("退出"), &TfrmMain::mnuMenu_ExitClick);
}

void TfrmMain::BuildBrowser()
{
    pnlTransactions = Make<QWidget>(pnlCenter, "pnlTransactions", QRect(0, 38, 696, 445));

    dtpTransDate1 = datePicker(pnlTransactions, "dtpTransDate1", 12, 10);
    lblTransTo = MakeLabel(pnlTransactions, "lblTransTo", QStringLiteral("-"), 175, 14);
    dtpTransDate2 = datePicker(pnlTransactions, "dtpTransDate2", 187, 10);
    btnTransSearch = button(pnlTransactions, "btnTransSearch", QStringLiteral("查看(&S)"), 348, 9);
    rdoTransTransactions = maroonRadio(pnlTransactions, "rdoTransTransactions",
                                       QStringLiteral("收支记录明细"), 472, 12);
    rdoTransCategories =
        maroonRadio(pnlTransactions, "rdoTransCategories", QStringLiteral("收支项目排行"), 588, 12);
    connect(dtpTransDate1, &QDateEdit::dateChanged, this, &TfrmMain::dtpTransDate1Change);
    connect(dtpTransDate2, &QDateEdit::dateChanged, this, &TfrmMain::dtpTransDate1Change);
    connect(rdoTransTransactions, &QRadioButton::clicked, this,
            &TfrmMain::rdoTransTransactionsClick);
    connect(rdoTransCategories, &QRadioButton::clicked, this, &TfrmMain::rdoTransTransactionsClick);

    // Records: day or month totals above, the single records below.
    pnlTransTransactions =
        Make<QWidget>(pnlTransactions, "pnlTransTransactions", QRect(0, 40, 696, 405));
    pnlTrans = Make<QWidget>(pnlTransTransactions, "pnlTrans", QRect(12, 0, 672, 362));
    Splitter1 = listSplitter(pnlTrans, "Splitter1", 2);
    auto *upper = new QWidget(Splitter1);
    auto *upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    pnlTrans1 = Make<QWidget>(upper, "pnlTrans1");
    auto *totalsLayout = new QVBoxLayout(pnlTrans1);
    totalsLayout->setContentsMargins(0, 0, 0, 0);
    const Qt::Alignment right = Qt::AlignRight;
    mdlDayTotal = new TRowListModel({{QStringLiteral("日期"), 220},
                                     {QStringLiteral("收入"), 210, right},
                                     {QStringLiteral("支出"), 210, right}},
                                    this);
    mdlMonthTotal = new TRowListModel({{QStringLiteral("年-月"), 220},
                                       {QStringLiteral("收入"), 210, right},
                                       {QStringLiteral("支出"), 210, right}},
                                      this);
    lvwDayTotal = MakeRowListView(pnlTrans1, "lvwDayTotal", mdlDayTotal);
    lvwMonthTotal = MakeRowListView(pnlTrans1, "lvwMonthTotal", mdlMonthTotal);
    totalsLayout->addWidget(lvwDayTotal);
    totalsLayout->addWidget(lvwMonthTotal);
    upperLayout->addWidget(pnlTrans1, 1);
    TabSet1 = Make<QTabBar>(upper, "TabSet1");
    TabSet1->setShape(QTabBar::RoundedSouth);
    TabSet1->addTab(QStringLiteral("按天统计"));
    TabSet1->addTab(QStringLiteral("按月统计"));
    TabSet1->setDrawBase(false);
    TabSet1->setExpanding(false);
    TabSet1->setFocusPolicy(Qt::NoFocus);
    upperLayout->addWidget(TabSet1);
    connect(TabSet1, &QTabBar::currentChanged, this, &TfrmMain::TabSet1Click);

    pnlTrans2 = Make<QWidget>(Splitter1, "pnlTrans2");
    auto *recsLayout = new QVBoxLayout(pnlTrans2);
    recsLayout->setContentsMargins(0, 0, 0, 0);
    mdlTrans = new TRowListModel({{QString(), 0},
                                  {QStringLiteral("日期"), 80},
                                  {QStringLiteral("项目"), 180},
                                  {QStringLiteral("收入"), 80, right},
                                  {QStringLiteral("支出"), 80, right},
                                  {QStringLiteral("备注"), 220}},
                                 this);
    lvwTrans = MakeRowListView(pnlTrans2, "lvwTrans", mdlTrans);
    recsLayout->addWidget(lvwTrans);
    Splitter1->setSizes({160, 200});

    lblTransTotal = totalsLabel(pnlTransTransactions, "lblTransTotal");
    btnTransDelete =
        button(pnlTransTransactions, "btnTransDelete", QStringLiteral("删除(&D)"), 450, 370);
    btnTransEdit =
        button(pnlTransTransactions, "btnTransEdit", QStringLiteral("编辑(&E)"), 530, 370);
    btnTransMore =
        button(pnlTransTransactions, "btnTransMore", QStringLiteral("更多(&M)..."), 610, 370);

    // Category ranking: incomes above, expenses below.
    pnlTransCategories =
        Make<QWidget>(pnlTransactions, "pnlTransCategories", QRect(0, 40, 696, 405));
    pnlCates = Make<QWidget>(pnlTransCategories, "pnlCates", QRect(12, 0, 672, 362));
    Splitter3 = listSplitter(pnlCates, "Splitter3", 8);
    const auto rankColumns = [right](const QString &sum) {
        return QList<TColumn>{{QStringLiteral("类别"), 80},
                              {QStringLiteral("项目"), 320},
                              {QStringLiteral("数量"), 80, right},
                              {sum, 80, right},
                              {QStringLiteral("0 - 100%"), 80, right}};
    };
    mdlInCates = new TRowListModel(rankColumns(QStringLiteral("收入")), this);
    mdlOutCates = new TRowListModel(rankColumns(QStringLiteral("支出")), this);
    lvwInCates = MakeRowListView(Splitter3, "lvwInCates", mdlInCates);
    lvwOutCates = MakeRowListView(Splitter3, "lvwOutCates", mdlOutCates);
    Splitter3->setSizes({154, 200});

    lblCatesTotal = totalsLabel(pnlTransCategories, "lblCatesTotal");
    btnMoreInfo = button(pnlTransCategories, "btnMoreInfo", QStringLiteral("详情(&M)"), 450, 370);
    btnCatesExport =
        button(pnlTransCategories, "btnCatesExport", QStringLiteral("导出(&E)..."), 530, 370);
    btnCatesPrint =
        button(pnlTransCategories, "btnCatesPrint", QStringLiteral("打印(&P)"), 610, 370);

    for (QTreeView *v : {lvwTrans, lvwInCates, lvwOutCates}) {
        connect(v->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &TfrmMain::UpdateButtons);
    }
}

// ---------------------------------------------------------------------------
// Creation

void TfrmMain::FormCreate()
{
    setWindowTitle(QLatin1String(Placement::ProductName));

    if (!QFileInfo(DataFile).isFile() || UserName.isEmpty())
        return; // not shown; the caller ends the program

    DbMan = std::make_unique<TDbMan>(DataFile);

    setWindowTitle(
        QStringLiteral("%1 - 用户名称：%2").arg(QLatin1String(Placement::ProductName), UserName));
    // "&" in a name would turn into an access key.
    QString menuName = UserName;
    menuName.replace(QLatin1Char('&'), QStringLiteral("&&"));
    mnuMenu_DeleteUser->setText(QStringLiteral("删除 %1").arg(menuName));

    HighlightKey.clear();

    rdoExpense->setChecked(true);
    rdoExpenseClick();
    rdoTransTransactions->setChecked(true);
    rdoTransTransactionsClick();

    const QDate today = QDate::currentDate();
    pnlExpense->SetDate(today);
    pnlIncome->SetDate(today);
    dtpTransDate1->setDate(today.addDays(1 - today.day()));
    dtpTransDate2->setDate(today);

    pnlExpense->UpdatePendingTotal();
    pnlIncome->UpdatePendingTotal();
    ShowTotals(0, 0);

    pnlExpense->SetStore(DbMan.get(), UserName);
    pnlIncome->SetStore(DbMan.get(), UserName);
    TDialogs::Guard(this, [&] {
        pnlExpense->LoadCateList(DbMan->GetCateList(UserName, KindOut()));
        pnlIncome->LoadCateList(DbMan->GetCateList(UserName, KindIn()));
    });

    UpdateButtons();
    pnlExpense->CateChange();
    pnlIncome->CateChange();
    dtpTransDate1Change();
    TabSet1Click();
    SetMenuImage(true);

    SkinMan = std::make_unique<TSkinMan>(imgLeft, imgTop, imgRight, imgBottom, pnlCenter);
    FlatButtons(this);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// ---------------------------------------------------------------------------
// Views

void TfrmMain::rdoExpenseClick()
{
    pnlExpense->setVisible(rdoExpense->isChecked());
    pnlIncome->setVisible(rdoIncome->isChecked());
    pnlTransactions->setVisible(rdoTransactions->isChecked());
}

void TfrmMain::rdoTransTransactionsClick()
{
    pnlTransTransactions->setVisible(rdoTransTransactions->isChecked());
    pnlTransCategories->setVisible(rdoTransCategories->isChecked());
}

void TfrmMain::dtpTransDate1Change()
{
    btnTransSearch->setEnabled(dtpTransDate1->date() <= dtpTransDate2->date());
}

void TfrmMain::TabSet1Click()
{
    const bool days = TabSet1->currentIndex() == 0;
    lvwDayTotal->setVisible(days);
    lvwMonthTotal->setVisible(!days);
}

QString TfrmMain::TotalsText(double inTotal, double outTotal)
{
    return QStringLiteral("收入合计：%1    支出合计：%2    结余合计：%3")
        .arg(THi::FormatFloat(inTotal), THi::FormatFloat(outTotal),
             THi::FormatFloat(inTotal - outTotal));
}

void TfrmMain::ShowTotals(double inTotal, double outTotal)
{
    const QString text = TotalsText(inTotal, outTotal);
    lblTransTotal->setText(text);
    lblCatesTotal->setText(text);
}

void TfrmMain::UpdateButtons()
{
    pnlExpense->UpdateButtons();
    pnlIncome->UpdateButtons();
    btnTransMore->setEnabled(mdlTrans->rowCount() > 0);
    const bool recSelected = lvwTrans->selectionModel()->hasSelection();
    btnTransEdit->setEnabled(recSelected);
    btnTransDelete->setEnabled(recSelected);
    btnMoreInfo->setEnabled(ActiveCateList != nullptr);
    const bool ranked = mdlInCates->rowCount() > 0 || mdlOutCates->rowCount() > 0;
    btnCatesExport->setEnabled(ranked);
    btnCatesPrint->setEnabled(ranked);
}

// ---------------------------------------------------------------------------
// Closing

bool TfrmMain::CanClose()
{
    if (m_discardAgreed || !pnlExpense || !pnlIncome)
        return true;
    if (pnlExpense->PendingRows().isEmpty() && pnlIncome->PendingRows().isEmpty())
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
