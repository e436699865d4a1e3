#pragma once

// The browser page of the main window: a search over a date range fills the
// day and month totals, the records and the two category rankings. Records
// are edited and deleted from here, a ranking row opens its records, and the
// rankings and months open as charts.
//
// The panel keeps what the last search found as one TSearchResult, shared
// read-only with its lists, the details window, the charts, the exports and
// printing, never read back from the lists' widgets. The record list's
// selection, scrolling, delete and edit go by record id, so a sorting or
// filtering proxy may sit between the list's model and lvwTrans
// (SetRecordProxy).

#include "DbClass.h"
#include "Exports.h"
#include "QuickRange.h"
#include "RecordFilter.h"
#include "ResultFilter.h"
#include "RowListModel.h"
#include "SearchResult.h"

#include <QDate>
#include <QWidget>

#include <functional>
#include <memory>

class QAbstractProxyModel;
class QAction;
class QComboBox;
class QLineEdit;
class QTimer;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabBar;
class QTreeView;
class TDateEdit;
class TReport;

class TBrowserPanel : public QWidget {
    Q_OBJECT
public:
    explicit TBrowserPanel(QWidget *parent);
    ~TBrowserPanel() override;

    // The store and the logged-in user every store call passes.
    void SetStore(TDbMan *db, const QString &user);
    // Start state: range from the first of today's month to today, records
    // page, day tab, totals of zero, an empty filter box. SetStore after it
    // puts the account's last quick range into the dates.
    void Start(const QDate &today);

    // The find bar: the quick ranges (cboTransRange), the filter box
    // (edtTransFilter) and 搜索全部 (btnTransSearchAll). The main window
    // places it in its control strip, shown with the browser page.
    QWidget *FindBar() const { return pnlTransFind; }
    // The full result of the last search, before the filter box's filter;
    // Result() is the view the lists show (the same when the box is empty).
    TSearchResultPtr FullResult() const;
    // The filter box's text as read now (what the record list highlights).
    const TRecordFilter &Filter() const { return m_recordFilter; }

    // What the last search found (empty, with invalid dates, before the
    // first one). Its records are by date, expense before income within a
    // day, then by id.
    const TSearchResult &Result() const { return *m_result; }
    TSearchResultPtr SharedResult() const { return m_result; }
    QString UserName() const { return m_user; }

    // The id of the record selected in lvwTrans, or -1.
    qint64 SelectedRecordId() const;
    // Selects the record with this id in lvwTrans (none for -1 or an id
    // the list does not show).
    void SelectRecord(qint64 id);
    // Puts the dates in and searches them (after a bill import).
    void ShowPeriod(const QDate &start, const QDate &end);
    // The 更多 menu, where the main window adds 撤销 and 重做.
    QMenu *MoreMenu() const { return mnuTransMenu; }
    // After the store changed elsewhere (an undo, a restore): searches again
    // as after an edit, when a search has been made.
    void Refresh();
    // Puts proxy between the record list's model and lvwTrans (a sort or a
    // filter); the panel keeps working by record id. Takes no ownership.
    void SetRecordProxy(QAbstractProxyModel *proxy);

    // The key of the selected day ("yyyy-mm-dd") or month ("yyyy-mm") row.
    QString HighlightKey() const { return m_highlightKey; }
    // lvwInCates, lvwOutCates or none: the list whose selected row is the
    // current category.
    QTreeView *ActiveCateList() const { return m_activeCateList; }

    // The totals line: "收入合计：…    支出合计：…    结余合计：…".
    // A filtered view's line starts with "筛选后：".
    static QString TotalsText(qint64 inCents, qint64 outCents, bool filtered = false);
    void ShowTotals(qint64 inCents, qint64 outCents, bool filtered = false);
    // Enabled state of the page's list-dependent buttons.
    void UpdateButtons();

    // The page's handlers, also reachable from the main window.
    void btnTransSearchClick();
    void btnTransDeleteClick();
    void btnTransEditClick();
    void btnMoreInfoClick();
    void btnCatesChartClick();
    // The filter box: applies the typed text to the last search now (typing
    // applies it after a short pause).
    void edtTransFilterChange();
    // Puts the cursor in the filter box (Ctrl+F on the browser page).
    void FocusFilter();
    // A quick range chosen: its dates, remembered for the account, searched.
    void cboTransRangeSelect(int index);
    // The filter over every record of the account.
    void btnTransSearchAllClick();
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

    // The details window of one ranking row, opened from sender.
    void ShowDetails(const TRankRow &rankRow, QWidget *sender);

    // The pop-up menus of btnTransMore and btnCatesExport and their entries.
    void btnTransMoreClick();
    void btnCatesExportClick();
    void btnTransMore_ToXlsClick();
    void btnTransMore_ToHtmlClick();
    void btnTransMore_ToCsvClick();
    void mnuCatesExport_ToXlsClick();
    void mnuCatesExport_ToHtmlClick();
    void mnuCatesExport_ToCsvClick();
    // 年度概览 (the more menu): the year of the shown dates; a total's cell
    // there searches its month here.
    void btnTransMore_YearClick();
    // 家庭汇总 (the more menu): the household's figures over the last
    // search's dates (BrowserHousehold.cpp).
    void btnTransMore_HouseholdClick();

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
    // Fills every list from result, a view of m_filter's full result.
    void ShowResult(TSearchResultPtr result);
    void BuildFindBar();
    // The account's remembered quick range into the dates (no search).
    void ApplyRememberedRange();
    TDateSpan RangeSpan(TQuickRange::Kind kind);
    // Shows which quick range the dates are, if any.
    void UpdateRangeChoice();
    // After a delete or an edit: the search again, on the shown dates when
    // they make a range, else on the last searched one.
    void SearchAgain();
    const TRankRow *SelectedRankRow(QTreeView *list) const;
    void lvwDayTotalSelectItem(QTreeView *list);
    void lvwTransSelectItem();
    void ConnectRecordSelection();
    // Brings the record to the top of lvwTrans, when the list shows it.
    void ScrollToRecord(qint64 id);
    void BuildMenus();
    enum class TExportFormat { Xlsx, Html, Csv };
    // Asks for the file, writes it and tells the outcome.
    void Export(TExportKind kind, TExportFormat format);
    // Lays the report out under the wait cursor and shows it until the preview closes.
    void ShowPreview(const std::function<std::unique_ptr<TReport>()> &make);

    TDbMan *m_db = nullptr;
    QString m_user;

    TSearchResultPtr m_result;               // never null; what the lists show
    std::unique_ptr<TResultFilter> m_filter; // the full result and its folded notes
    TRecordFilter m_recordFilter;            // the box as last read
    TRecordFilter m_shownFilter;             // the filter of m_result, which the list highlights
    QDate m_today;
    QDate m_firstRecord, m_lastRecord; // the account's, as 全部 last looked them up
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
    TSumRowModel *mdlDayTotal = nullptr, *mdlMonthTotal = nullptr;
    TRecordListModel *mdlTrans = nullptr;
    QTreeView *lvwDayTotal = nullptr, *lvwMonthTotal = nullptr, *lvwTrans = nullptr;
    QLabel *lblTransTotal = nullptr;
    QPushButton *btnTransDelete = nullptr, *btnTransEdit = nullptr, *btnTransMore = nullptr;
    QWidget *pnlCates = nullptr;
    QSplitter *Splitter3 = nullptr;
    TRankRowModel *mdlInCates = nullptr, *mdlOutCates = nullptr;
    QTreeView *lvwInCates = nullptr, *lvwOutCates = nullptr;
    QLabel *lblCatesTotal = nullptr;
    QPushButton *btnMoreInfo = nullptr, *btnCatesExport = nullptr, *btnCatesPrint = nullptr,
                *btnCatesChart = nullptr;
    QMenu *mnuTransMenu = nullptr, *mnuCatesExport = nullptr, *mnuCatesContext = nullptr;
    QWidget *pnlTransFind = nullptr;
    QComboBox *cboTransRange = nullptr;
    QLineEdit *edtTransFilter = nullptr;
    QPushButton *btnTransSearchAll = nullptr;
    QTimer *tmrTransFilter = nullptr;
};
