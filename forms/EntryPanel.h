#pragma once

// The expense and income entry panels are twins: one class, instantiated
// twice with the differences as data. A panel collects pending lines, takes
// them back for correction, and saves them all with one store call.

#include "DbClass.h"

#include <QStringList>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TDateEdit;

// The objectNames of one kind's controls, written out in full (btnOutAdd,
// cboInCate, lblStep1, ...) so that a search for a control's name finds where
// it is made; the members stay generic (btnAdd) because one class serves both.
struct TEntryPanelNames {
    const char *panel;
    const char *steps[6];
    const char *date, *cate, *amount, *notes;
    const char *add, *help, *editCates, *calc, *del, *edit, *save;
    const char *recs, *total;
};

struct TEntryPanelKind {
    TEntryPanelNames names;
    QString typeWord;     // "支出" / "收入"
    QString listKey;      // "out" / "in"
    QString helpResource; // "RES_HELP1" / "RES_HELP2"
    QStringList steps;    // the six instruction lines

    static TEntryPanelKind Expense();
    static TEntryPanelKind Income();
};

class TEntryPanel : public QWidget {
    Q_OBJECT
public:
    TEntryPanel(const TEntryPanelKind &kind, QWidget *parent);
    ~TEntryPanel() override;

    const TEntryPanelKind &Kind() const { return m_kind; }

    // The store and the logged-in user every store call passes.
    void SetStore(TDbMan *db, const QString &user);

    // Start state used by the main window's creation.
    void SetDate(const QDate &date);
    void LoadCateList(const QString &listText); // item list := lines of the text
    void UpdatePendingTotal();                  // "合计：%0.2f" of PendingCents()
    qint64 PendingCents() const;                // the pending lines' amounts added up
    void CateChange();                          // the Add check (cboOutCateChange)
    void UpdateButtons();                       // Save/Edit/Delete from the list state

    // The pending lines, five strings each, in list order.
    TBatchRows PendingRows() const;
    // Pending lines, or a line taken out of the list with Edit that is still
    // in the fields: what closing would lose.
    bool HasPending() const;

    // Recurring entries' proposals (see RecurringStore.h): pending lines
    // marked as proposed, each holding its claim until it is saved (the claim
    // then marked saved with the record), deleted (dismissed) or the program
    // closes (released, so the next start proposes it again).
    void AddProposals(const QList<TProposal> &proposals);
    // The claims parallel to PendingRows() (Made 0 for a plain line).
    QList<TProposalClaim> PendingClaims() const;
    int ProposalCount() const;
    // Confirms the claims held; a line whose claim another program took over
    // (after this one went quiet) leaves the list.
    void KeepProposals(qint64 now);
    // Hands every claim held back to the ledger; nothing is raised.
    void ReleaseProposals() noexcept;

signals:
    // The list or its selection changed: the main window recomputes its buttons.
    void listChanged();

private slots:
    void btnAddClick();
    void btnDeleteClick();
    void btnEditClick();
    void btnSaveClick();
    void btnHelpClick();
    void btnCalcClick();
    void btnEditCatesClick();
    void lvwRecsSelectItem();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override; // Enter chain, Delete key

private:
    void RememberCate(const QString &cate);
    void ShowSavedMessage();
    // The expense panel's budget line: worked out after a save, placed
    // beside the total whenever the total changes.
    void ShowBudgetLine(const TBatchRows &saved);
    void PlaceBudgetLine();
    void ListChanged();                   // own buttons, then the main window's
    void RemoveRow(QTreeWidgetItem *row); // leaves nothing selected
    QTreeWidgetItem *SelectedRow() const;
    QTreeWidgetItem *NewLine(const QString &date, const QString &cate, qint64 cents,
                             const QString &notes, const TProposalClaim &claim);
    QList<TProposalClaim> HeldClaims() const;
    TDbMan &Db() const;

    TEntryPanelKind m_kind;
    TDbMan *m_db = nullptr;
    QString m_user;
    bool m_lineInFields = false;  // a pending line taken back with Edit, not added again
    TProposalClaim m_fieldsClaim; // the claim of a proposal taken back with Edit

    TDateEdit *dtpDate = nullptr;
    QComboBox *cboCate = nullptr;
    QLineEdit *edtAmount = nullptr;
    QLineEdit *edtNotes = nullptr;
    QPushButton *btnAdd = nullptr, *btnHelp = nullptr, *btnEditCates = nullptr, *btnCalc = nullptr,
                *btnDelete = nullptr, *btnEdit = nullptr, *btnSave = nullptr;
    QTreeWidget *lvwRecs = nullptr;
    QLabel *lblTotal = nullptr;
    QLabel *lblBudget = nullptr; // the expense panel's only
};
