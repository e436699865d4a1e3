#pragma once

// The browser page of the main window: a search over a date range fills the
// day and month totals, the records and the two category rankings. Records
// are edited and deleted from here, a ranking row opens its records, and the
// rankings and months open as charts.
//
// The panel is the one home of what the last search found: printing and the
// exports read the period, the totals and the rows through the accessors
// below, never from the lists' widgets.

#include "DbClass.h"
#include "Exports.h"

#include <QDate>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabBar;
class QTreeView;
class TDateEdit;
class TRecordListModel;
class TRowListModel;
class TReport;
struct TReportHeader;

class TBrowserPanel : public QWidget {
    Q_OBJECT
public:
    explicit TBrowserPanel(QWidget *parent);
    ~TBrowserPanel() override;

    // The store and the logged-in user every store call passes.
    void SetStore(TDbMan *db, const QString &user);
    // Start state: range from the first of today's month to today, records
    // page, day tab, totals of zero.
    void Start(const QDate &today);

    // What the last search found (all empty and zero before the first one).
    QDate PeriodStart() const { return m_start; }
    QDate PeriodEnd() const { return m_end; }
    double InTotal() const { return m_period.InTotal; }
    double OutTotal() const { return m_period.OutTotal; }
    const TRowList &DayRows() const { return m_period.DayRows; }
    const TRowList &MonthRows() const { return m_period.MonthRows; }
    // In list order: by date, expense before income within a day, then by id.
    const TRecordList &RecRows() const;
    const TRowList &InCateRows() const { return m_period.InCateRows; }
    const TRowList &OutCateRows() const { return m_period.OutCateRows; }
    // The ranking rows as printed and exported: incomes, then expenses.
    TRowList CateRows() const { return m_period.InCateRows + m_period.OutCateRows; }
    QString UserName() const { return m_user; }

    // The key of the selected day ("yyyy-mm-dd") or month ("yyyy-mm") row.
    QString HighlightKey() const { return m_highlightKey; }
    // lvwInCates, lvwOutCates or none: the list whose selected row is the
    // current category.
    QTreeView *ActiveCateList() const { return m_activeCateList; }

    // The totals line: "收入合计：…    支出合计：…    结余合计：…".
    static QString TotalsText(double inTotal, double outTotal);
    void ShowTotals(double inTotal, double outTotal);
    // Enabled state of the page's list-dependent buttons.
    void UpdateButtons();

    // The page's handlers, also reachable from the main window.
    void btnTransSearchClick();
    void btnTransDeleteClick();
    void btnTransEditClick();
    void btnMoreInfoClick();
    void btnCatesChartClick();
    void dtpTransDate1Change();
    void TabSet1Click();
    void rdoTransTransactionsClick();
    void SetActiveCateList(QTreeView *list);
    // The two printed reports of the last search, shown in the preview.
    void btnCatesPrintClick();
    void btnTransMore_PrintClick();

    // The rankings' context menu entry: renames (or merges) the selected row's
    // category in all the user's records and the pick list; the rankings are
    // searched again.
    void mnuCatesContext_RenameClick();

    // The details window of one ranking row (TRankCol), opened from sender.
    void ShowDetails(const TRow &rankRow, QWidget *sender);

    // The pop-up menus of btnTransMore and btnCatesExport and their entries.
    void btnTransMoreClick();
    void btnCatesExportClick();
    void btnTransMore_ToXlsClick();
    void btnTransMore_ToHtmlClick();
    void btnTransMore_ToCsvClick();
    void mnuCatesExport_ToXlsClick();
    void mnuCatesExport_ToHtmlClick();
    void mnuCatesExport_ToCsvClick();

signals:
    // A list or a selection changed: the main window recomputes its buttons.
    void listChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Build();
    TDbMan &Db() const;
    // The query and the filling; false when the store failed (nothing changed).
    bool Search(const QDate &start, const QDate &end);
    // After a delete or an edit: the search again, on the shown dates when
    // they make a range, else on the last searched one.
    void SearchAgain();
    int SelectedRecord() const;
    const TRow *SelectedRankRow(QTreeView *list) const;
    void lvwDayTotalSelectItem(QTreeView *list);
    void lvwTransSelectItem();
    void ScrollToRecord(int row);
    void BuildMenus();
    // The period, totals and rows of the last search for one export.
    TExportData ExportData(TExportKind kind) const;
    enum class TExportFormat { Xlsx, Html, Csv };
    // Asks for the file, writes it and tells the outcome.
    void Export(TExportKind kind, TExportFormat format);
    TReportHeader ReportHeader() const;
    // Lays the report out under the wait cursor and shows it until the preview closes.
    void ShowPreview(const std::function<std::unique_ptr<TReport>()> &make);

    TDbMan *m_db = nullptr;
    QString m_user;

    QDate m_start, m_end;
    TPeriod m_period; // the record list is handed on to the records' model
    QString m_highlightKey;
    QTreeView *m_activeCateList = nullptr;
    bool m_scrolling = false; // selection changes of lvwTrans leave the buttons alone

    TDateEdit *dtpTransDate1 = nullptr, *dtpTransDate2 = nullptr;
    QLabel *lblTransTo = nullptr;
    QPushButton *btnTransSearch = nullptr;
    QRadioButton *rdoTransTransactions = nullptr, *rdoTransCategories = nullptr;
    QWidget *pnlTransTransactions = nullptr, *pnlTransCategories = nullptr;
    QWidget *pnlTrans = nullptr, *pnlTrans1 = nullptr, *pnlTrans2 = nullptr;
    QTabBar *TabSet1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    TRowListModel *mdlDayTotal = nullptr, *mdlMonthTotal = nullptr;
    TRecordListModel *mdlTrans = nullptr;
    QTreeView *lvwDayTotal = nullptr, *lvwMonthTotal = nullptr, *lvwTrans = nullptr;
    QLabel *lblTransTotal = nullptr;
    QPushButton *btnTransDelete = nullptr, *btnTransEdit = nullptr, *btnTransMore = nullptr;
    QWidget *pnlCates = nullptr;
    QSplitter *Splitter3 = nullptr;
    TRowListModel *mdlInCates = nullptr, *mdlOutCates = nullptr;
    QTreeView *lvwInCates = nullptr, *lvwOutCates = nullptr;
    QLabel *lblCatesTotal = nullptr;
    QPushButton *btnMoreInfo = nullptr, *btnCatesExport = nullptr, *btnCatesPrint = nullptr,
                *btnCatesChart = nullptr;
    QMenu *mnuTransMenu = nullptr, *mnuCatesExport = nullptr, *mnuCatesContext = nullptr;
};
