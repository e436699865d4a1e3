#pragma once

// The main window: a borderless 700 x 525 frame (painted by TSkinMan) around
// a control strip with three views (expense entry, income entry, browser)
// and the account menu. Built for the user who logged in; owns the store.

#include <QDate>
#include <QStringList>
#include <QWidget>

#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QDateEdit;
class QSplitter;
class QTabBar;
class QTreeView;
class TDbMan;
class TEntryPanel;
class TRowListModel;
class TSkinMan;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // The window of a user who has logged in (or whom a test names). An empty
    // user name or a data file that does not exist leaves it not logged in.
    TfrmMain(const QString &dataFile, const QString &userName);
    ~TfrmMain() override; // FormDestroy

    // False without a user or a data file: the window is never shown.
    bool LoggedIn() const { return static_cast<bool>(DbMan); }

    QString UserName;
    QString DataFile;
    std::unique_ptr<TDbMan> DbMan;
    std::unique_ptr<TSkinMan> SkinMan;

    // Browser state.
    QString HighlightKey;
    QDate PeriodStart;
    QDate PeriodEnd;
    double InTotal = 0;
    double OutTotal = 0;
    QTreeView *ActiveCateList = nullptr;

    void UpdateButtons();
    void ShowTotals(double inTotal, double outTotal);

    // The text of the totals line.
    static QString TotalsText(double inTotal, double outTotal);

private slots:
    void rdoExpenseClick();
    void rdoTransTransactionsClick();
    void dtpTransDate1Change();
    void TabSet1Click();

    void mnuMenu_SwitchUserClick();
    void mnuMenu_SetPwdClick();
    void mnuMenu_DeleteUserClick();
    void mnuMenu_BackupClick();
    void mnuMenu_RestoreClick();
    void mnuMenu_ExitClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override; // imgMenu
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void SetMenuImage(bool raised);
    void imgMenuMouseDown(Qt::MouseButton button);
    void imgMenuMouseUp(Qt::MouseButton button);
    // Starts a fresh copy of the program and closes this one; stays open when
    // the new copy cannot be started or pending lines are to be kept.
    void Restart(const QString &params);
    // Every way out passes here: true when no entry panel holds pending
    // lines, or the user agrees to lose them.
    bool CanClose();

    void BuildFrame();
    void BuildControlStrip();
    void BuildMenu();
    void BuildBrowser();

    bool m_discardAgreed = false; // asked on this way out already

    // Frame.
    QWidget *pnlTop = nullptr, *pnlLeft = nullptr, *pnlRight = nullptr, *pnlBottom = nullptr;
    QLabel *imgTop = nullptr, *imgLeft = nullptr, *imgRight = nullptr, *imgBottom = nullptr;
    QWidget *pnlCenter = nullptr;

    // Control strip.
    QWidget *pnlControl = nullptr;
    QFrame *shpTop1 = nullptr, *shpTop2 = nullptr, *shpTop3 = nullptr;
    QRadioButton *rdoExpense = nullptr, *rdoIncome = nullptr, *rdoTransactions = nullptr;
    QLabel *imgMenu = nullptr, *imgMenuUp = nullptr, *imgMenuDown = nullptr;

    // Account menu.
    QMenu *mnuMenu = nullptr;
    QAction *mnuMenu_SwitchUser = nullptr, *mnuMenu_SetPwd = nullptr, *mnuMenu_DeleteUser = nullptr,
            *mnuMenu_Backup = nullptr, *mnuMenu_Restore = nullptr, *mnuMenu_Exit = nullptr;

    // Views.
    TEntryPanel *pnlExpense = nullptr, *pnlIncome = nullptr;
    QWidget *pnlTransactions = nullptr;

    // Browser.
    QDateEdit *dtpTransDate1 = nullptr, *dtpTransDate2 = nullptr;
    QLabel *lblTransTo = nullptr;
    QPushButton *btnTransSearch = nullptr;
    QRadioButton *rdoTransTransactions = nullptr, *rdoTransCategories = nullptr;
    QWidget *pnlTransTransactions = nullptr, *pnlTransCategories = nullptr;
    QWidget *pnlTrans = nullptr, *pnlTrans1 = nullptr, *pnlTrans2 = nullptr;
    QTabBar *TabSet1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    TRowListModel *mdlDayTotal = nullptr, *mdlMonthTotal = nullptr, *mdlTrans = nullptr;
    QTreeView *lvwDayTotal = nullptr, *lvwMonthTotal = nullptr, *lvwTrans = nullptr;
    QLabel *lblTransTotal = nullptr;
    QPushButton *btnTransDelete = nullptr, *btnTransEdit = nullptr, *btnTransMore = nullptr;
    QWidget *pnlCates = nullptr;
    QSplitter *Splitter3 = nullptr;
    TRowListModel *mdlInCates = nullptr, *mdlOutCates = nullptr;
    QTreeView *lvwInCates = nullptr, *lvwOutCates = nullptr;
    QLabel *lblCatesTotal = nullptr;
    QPushButton *btnMoreInfo = nullptr, *btnCatesExport = nullptr, *btnCatesPrint = nullptr;
};
