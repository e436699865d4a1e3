#pragma once

// The main window: a borderless 700 x 525 frame (painted by TSkinMan) around
// a control strip with three views (expense entry, income entry, browser)
// and the account menu. Built for the user who logged in; owns the store.

#include <QStringList>
#include <QWidget>

#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;
class TBrowserPanel;
class TDbMan;
class TEntryPanel;
class TSkinMan;
class TUndoStack;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // The window of a user who has logged in (or whom a test names) on the
    // ledger at location (the data file's path or a server's URL). An empty
    // user name or a data file that does not exist leaves it not logged in.
    TfrmMain(const QString &location, const QString &userName);
    ~TfrmMain() override; // FormDestroy

    // False without a user or a data file: the window is never shown.
    bool LoggedIn() const { return static_cast<bool>(DbMan); }

    QString UserName;
    QString Location;
    std::unique_ptr<TDbMan> DbMan;
    std::unique_ptr<TSkinMan> SkinMan;
    // This session's changes, for 撤销 and 重做 (MainFormUndo.cpp).
    std::unique_ptr<TUndoStack> UndoStack;

    // The browser page; it holds the last search's period, totals and rows.
    TBrowserPanel *Browser() const { return pnlTransactions; }

    void UpdateButtons();

    // The ledger could not be written at the login (a full disk): every
    // write is refused with a message, and a line in the control strip says
    // so until the program is started again.
    void SetReadOnly();

private slots:
    void rdoExpenseClick();

    void mnuMenu_SwitchUserClick();
    void mnuMenu_SetPwdClick();
    void mnuMenu_DeleteUserClick();
    void mnuMenu_BackupClick();
    void mnuMenu_RestoreClick();
    void mnuMenu_ImportBillClick();
    void mnuMenu_BillBatchesClick();
    void mnuMenu_HouseholdShareClick();
    void mnuMenu_RecurringClick();
    void mnuMenu_RecycleClick();
    // Ctrl+Z and 撤销, Ctrl+Shift+Z and 重做 (the browser's 更多 menu).
    void mnuTransMore_UndoClick();
    void mnuTransMore_RedoClick();
    void mnuMenu_BudgetClick();
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
    void Restart(const QStringList &arguments);
    // Every way out passes here: true when no entry panel holds pending
    // lines, or the user agrees to lose them.
    bool CanClose();

    void BuildFrame();
    void BuildControlStrip();
    void BuildMenu();
    // The undo stack, its keys and menu entries, the status line, and the
    // bin's old entries removed (MainFormUndo.cpp).
    void SetUpUndo();
    void UpdateUndoActions();
    void ShowUndoLine(const QString &line);
    // After an undo, redo or restore: the lists show what the store holds.
    void ShowStoreAgain();

    // Recurring entries (MainFormRecurring.cpp): the due dates claimed into
    // the entry panels' pending lists once the window shows and whenever an
    // entry page opens; the claims confirmed while the window is open and
    // released when it closes unsaved.
    void StartRecurring();
    void ProposeRecurring();
    void KeepRecurring();
    void ReleaseRecurring() noexcept;
    void RecurringPageChanged();
    void UpdateProposalLine();
    bool m_recurringStarted = false;
    QTimer *tmrKeepProposals = nullptr;
    QLabel *lblProposals = nullptr; // in the control strip while proposals are pending

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
    QLabel *lblReadOnly = nullptr;

    // Account menu.
    QMenu *mnuMenu = nullptr;
    QAction *mnuMenu_SwitchUser = nullptr, *mnuMenu_SetPwd = nullptr, *mnuMenu_DeleteUser = nullptr,
            *mnuMenu_Backup = nullptr, *mnuMenu_Restore = nullptr, *mnuMenu_Exit = nullptr;
    // Bill imports (MainFormBills.cpp).
    QAction *mnuMenu_ImportBill = nullptr, *mnuMenu_BillBatches = nullptr;
    // Whether the others see this account's records (MainFormHousehold.cpp);
    // checked as the store says.
    QAction *mnuMenu_HouseholdShare = nullptr;
    void ShowHouseholdShare(bool shared);
    // Recurring entries (MainFormRecurring.cpp).
    QAction *mnuMenu_Recurring = nullptr;
    // The recycle bin and undo (MainFormUndo.cpp).
    QAction *mnuMenu_Recycle = nullptr;
    QAction *mnuTransMore_Undo = nullptr, *mnuTransMore_Redo = nullptr;
    QLabel *lblUndoStatus = nullptr;
    QTimer *tmrUndoStatus = nullptr;
    // Budgets (MainFormBudget.cpp).
    QAction *mnuMenu_Budget = nullptr;

    // Views.
    TEntryPanel *pnlExpense = nullptr, *pnlIncome = nullptr;
    TBrowserPanel *pnlTransactions = nullptr;
};
