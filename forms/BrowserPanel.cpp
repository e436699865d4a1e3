#include "BrowserPanel.h"

#include "CateRename.h"
#include "ChartData.h"
#include "ChartForm.h"
#include "DateEdit.h"
#include "Dialogs.h"
#include "EditRecForm.h"
#include "FormKit.h"
#include "HiClass.h"
#include "MoreInfoForm.h"
#include "Settings.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTextLayout>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <functional>

namespace {

// Every date field of the page comes from here, so a different date control
// is a change of this one function.
TDateEdit *MakeDatePicker(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *d = Make<TDateEdit>(parent, name, geometry);
    d->setFocusPolicy(Qt::ClickFocus);
    return d;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *b = Make<QPushButton>(parent, name, QRect(QPoint(x, y), ButtonSize));
    b->setText(text);
    b->setAutoDefault(false);
    return b;
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

// The upper and lower lists of a page share their 672 x 362 area.
QSplitter *listSplitter(QWidget *parent, const char *name, int handleWidth)
{
    auto *s = Make<QSplitter>(parent, name, QRect(QPoint(0, 0), ListSize));
    s->setOrientation(Qt::Vertical);
    s->setHandleWidth(handleWidth);
    s->setChildrenCollapsible(false);
    return s;
}

QLabel *totalsLabel(QWidget *parent, const char *name, int width)
{
    auto *l = Make<QLabel>(parent, name, QRect(12, 375, width, 16));
    SetBold(l);
    SetTextColor(l, Maroon());
    return l;
}

// The current category stays navy with white text in the active ranking list,
// also while the focus is elsewhere; every other row, selected or not, is
// drawn plainly, so only one list ever shows a mark.
class TRankDelegate : public QStyledItemDelegate {
public:
    TRankDelegate(std::function<bool(int)> marked, QObject *parent)
        : QStyledItemDelegate(parent), m_marked(std::move(marked))
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        if (m_marked(index.row())) {
            opt.backgroundBrush = QColor(0, 0, 128);
            opt.palette.setColor(QPalette::Text, Qt::white);
        }
        const QWidget *w = opt.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
    }

private:
    std::function<bool(int)> m_marked;
};

// The record list with the filter box's matches marked: the matching parts
// of the category and the notes, and the amount cell of a matching amount.
class TFilterDelegate : public QStyledItemDelegate {
public:
    TFilterDelegate(std::function<const TRecordFilter &()> filter, const TRecordListModel *model,
                    QObject *parent)
        : QStyledItemDelegate(parent), m_filter(std::move(filter)), m_model(model)
    {
    }

    static QColor MatchColor() { return QColor(0xFF, 0xE5, 0x80); }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const TRecordFilter &filter = m_filter();
        const int col = index.column();
        if (filter.isEmpty() || col < RecCate || col > RecNotes) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget *w = opt.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        if (col == RecIn || col == RecOut) {
            const int row = SourceRow(index);
            if (!opt.text.isEmpty() && row >= 0 && row < m_model->Records().size() &&
                filter.amountMatches(m_model->Records().Cents(row))) {
                opt.backgroundBrush = MatchColor();
                opt.state &= ~QStyle::State_Selected;
            }
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
            return;
        }
        const QString text = opt.text;
        const QList<TTextSpan> spans = filter.highlights(text);
        if (spans.isEmpty()) {
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
            return;
        }
        opt.text.clear(); // the background and the selection; the text below
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, w);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
        QList<QTextLayout::FormatRange> formats;
        for (const TTextSpan &span : spans) {
            QTextCharFormat format;
            format.setBackground(MatchColor());
            format.setForeground(QColor(Qt::black));
            formats.append({span.Start, span.Length, format});
        }
        QTextLayout layout(text, opt.font);
        layout.setFormats(formats);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        painter->save();
        painter->setClipRect(area);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        layout.draw(painter, QPointF(area.left() + margin,
                                     area.top() + (area.height() - line.height()) / 2));
        painter->restore();
    }

private:
    std::function<const TRecordFilter &()> m_filter;
    const TRecordListModel *m_model;
};

// The view's row of the selection: for the marks the view paints.
int selectedRow(const QTreeView *list)
{
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// The selected row of the list's own model, beneath any proxy, or -1.
int selectedSourceRow(const QTreeView *list)
{
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : SourceRow(rows.first());
}

} // namespace

TBrowserPanel::TBrowserPanel(QWidget *parent)
    : QWidget(parent), m_result(std::make_shared<const TSearchResult>())
{
    setObjectName(QStringLiteral("pnlTransactions"));
    resize(ClientSize);
    Build();
}

TBrowserPanel::~TBrowserPanel() = default;

void TBrowserPanel::Build()
{
    dtpTransDate1 = MakeDatePicker(this, "dtpTransDate1", QRect(12, 10, 155, 21));
    lblTransTo = MakeLabel(this, "lblTransTo", QStringLiteral("-"), 175, 14);
    dtpTransDate2 = MakeDatePicker(this, "dtpTransDate2", QRect(187, 10, 155, 21));
    btnTransSearch = button(this, "btnTransSearch", QStringLiteral("查看(&S)"), 348, 9);
    rdoTransTransactions =
        maroonRadio(this, "rdoTransTransactions", QStringLiteral("收支记录明细"), 472, 12);
    rdoTransCategories =
        maroonRadio(this, "rdoTransCategories", QStringLiteral("收支项目排行"), 588, 12);

    // Records: day or month totals above, the single records below.
    pnlTransTransactions = Make<QWidget>(this, "pnlTransTransactions", QRect(0, 40, 696, 405));
    pnlTrans = Make<QWidget>(pnlTransTransactions, "pnlTrans", QRect(QPoint(12, 0), ListSize));
    Splitter1 = listSplitter(pnlTrans, "Splitter1", 2);
    auto *upper = new QWidget(Splitter1);
    auto *upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    pnlTrans1 = Make<QWidget>(upper, "pnlTrans1");
    auto *totalsLayout = new QVBoxLayout(pnlTrans1);
    totalsLayout->setContentsMargins(0, 0, 0, 0);
    const Qt::Alignment right = Qt::AlignRight;
    mdlDayTotal = new TSumRowModel({{QStringLiteral("日期"), 220},
                                    {QStringLiteral("收入"), 210, right},
                                    {QStringLiteral("支出"), 210, right}},
                                   this);
    mdlMonthTotal = new TSumRowModel({{QStringLiteral("年-月"), 220},
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

    pnlTrans2 = Make<QWidget>(Splitter1, "pnlTrans2");
    auto *recsLayout = new QVBoxLayout(pnlTrans2);
    recsLayout->setContentsMargins(0, 0, 0, 0);
    const QList<TColumn> recColumns{{QString(), 0},
                                    {QStringLiteral("日期"), 80},
                                    {QStringLiteral("项目"), 180},
                                    {QStringLiteral("收入"), 80, right},
                                    {QStringLiteral("支出"), 80, right},
                                    {QStringLiteral("备注"), 220}};
    mdlTrans = new TRecordListModel(recColumns, this);
    lvwTrans = MakeRowListView(pnlTrans2, "lvwTrans", mdlTrans, recColumns);
    recsLayout->addWidget(lvwTrans);
    Splitter1->setSizes({160, 200});

    lblTransTotal = totalsLabel(pnlTransTransactions, "lblTransTotal", 430);
    btnTransDelete =
        button(pnlTransTransactions, "btnTransDelete", QStringLiteral("删除(&D)"), 450, 370);
    btnTransEdit =
        button(pnlTransTransactions, "btnTransEdit", QStringLiteral("编辑(&E)"), 530, 370);
    btnTransMore =
        button(pnlTransTransactions, "btnTransMore", QStringLiteral("更多(&M)..."), 610, 370);

    // Category ranking: incomes above, expenses below.
    pnlTransCategories = Make<QWidget>(this, "pnlTransCategories", QRect(0, 40, 696, 405));
    pnlCates = Make<QWidget>(pnlTransCategories, "pnlCates", QRect(QPoint(12, 0), ListSize));
    Splitter3 = listSplitter(pnlCates, "Splitter3", 8);
    const auto rankColumns = [right](const QString &sum) {
        return QList<TColumn>{{QStringLiteral("类别"), 80},
                              {QStringLiteral("项目"), 320},
                              {QStringLiteral("数量"), 80, right},
                              {sum, 80, right},
                              {QStringLiteral("0 - 100%"), 80, right}};
    };
    mdlInCates = new TRankRowModel(rankColumns(QStringLiteral("收入")), this);
    mdlOutCates = new TRankRowModel(rankColumns(QStringLiteral("支出")), this);
    lvwInCates = MakeRowListView(Splitter3, "lvwInCates", mdlInCates);
    lvwOutCates = MakeRowListView(Splitter3, "lvwOutCates", mdlOutCates);
    Splitter3->setSizes({154, 200});
    for (QTreeView *list : {lvwInCates, lvwOutCates}) {
        list->setItemDelegate(new TRankDelegate(
            [this, list](int row) { return list == m_activeCateList && row == selectedRow(list); },
            list));
    }

    // Beside the chart button; a line too long for it breaks before the balance.
    lblCatesTotal = totalsLabel(pnlTransCategories, "lblCatesTotal", 354);
    lblCatesTotal->setGeometry(12, 367, 354, 34);
    lblCatesTotal->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    btnCatesChart =
        button(pnlTransCategories, "btnCatesChart", QStringLiteral("图表(&G)"), 370, 370);
    btnMoreInfo = button(pnlTransCategories, "btnMoreInfo", QStringLiteral("详情(&M)"), 450, 370);
    btnCatesExport =
        button(pnlTransCategories, "btnCatesExport", QStringLiteral("导出(&E)..."), 530, 370);
    btnCatesPrint =
        button(pnlTransCategories, "btnCatesPrint", QStringLiteral("打印(&P)"), 610, 370);

    connect(dtpTransDate1, &QDateEdit::dateChanged, this, &TBrowserPanel::dtpTransDate1Change);
    connect(dtpTransDate2, &QDateEdit::dateChanged, this, &TBrowserPanel::dtpTransDate1Change);
    connect(dtpTransDate1, &TDateEdit::wholeChanged, this, &TBrowserPanel::dtpTransDate1Change);
    connect(dtpTransDate2, &TDateEdit::wholeChanged, this, &TBrowserPanel::dtpTransDate1Change);
    connect(btnTransSearch, &QPushButton::clicked, this, &TBrowserPanel::btnTransSearchClick);
    connect(rdoTransTransactions, &QRadioButton::clicked, this,
            &TBrowserPanel::rdoTransTransactionsClick);
    connect(rdoTransCategories, &QRadioButton::clicked, this,
            &TBrowserPanel::rdoTransTransactionsClick);
    connect(TabSet1, &QTabBar::currentChanged, this, &TBrowserPanel::TabSet1Click);
    for (QTreeView *list : {lvwDayTotal, lvwMonthTotal}) {
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, list] { lvwDayTotalSelectItem(list); });
    }
    ConnectRecordSelection();
    connect(btnTransDelete, &QPushButton::clicked, this, &TBrowserPanel::btnTransDeleteClick);
    connect(btnTransEdit, &QPushButton::clicked, this, &TBrowserPanel::btnTransEditClick);
    for (QTreeView *list : {lvwInCates, lvwOutCates}) {
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, list] { SetActiveCateList(list); });
        // A double click on a row selects it first, so the row is the current one.
        connect(list, &QTreeView::doubleClicked, this, [this, list] {
            if (selectedRow(list) >= 0)
                btnMoreInfoClick();
        });
        list->installEventFilter(this); // the Enter handlers
    }
    // The rankings' context menu: renaming the category of the row clicked.
    mnuCatesContext = new QMenu(this);
    mnuCatesContext->setObjectName(QStringLiteral("mnuCatesContext"));
    QAction *rename = mnuCatesContext->addAction(QStringLiteral("重命名类别"));
    rename->setObjectName(QStringLiteral("mnuCatesContext_Rename"));
    connect(rename, &QAction::triggered, this, &TBrowserPanel::mnuCatesContext_RenameClick);
    for (QTreeView *list : {lvwInCates, lvwOutCates}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QTreeView::customContextMenuRequested, this, [this, list](const QPoint &at) {
            const QModelIndex index = list->indexAt(at);
            if (!index.isValid())
                return;
            list->setCurrentIndex(index); // selects the row, which makes the list active
            SetActiveCateList(list);
            mnuCatesContext->popup(list->viewport()->mapToGlobal(at));
        });
    }
    // A rename here or in the category editor changes what the last search found.
    connect(&TCateRename::Notifier(), &TCateRename::renamed, this, [this](const QString &user) {
        if (user == m_user && m_result->Start.isValid())
            Search(m_result->Start, m_result->End);
    });
    connect(btnMoreInfo, &QPushButton::clicked, this, &TBrowserPanel::btnMoreInfoClick);
    connect(btnCatesChart, &QPushButton::clicked, this, &TBrowserPanel::btnCatesChartClick);
    BuildMenus();
    connect(btnCatesPrint, &QPushButton::clicked, this, &TBrowserPanel::btnCatesPrintClick);
    lvwTrans->installEventFilter(this); // the Delete key
    lvwTrans->setItemDelegate(new TFilterDelegate(
        [this]() -> const TRecordFilter & { return m_shownFilter; }, mdlTrans, lvwTrans));
    BuildFindBar();
}

void TBrowserPanel::BuildFindBar()
{
    // Sized for the free part of the main window's control strip, which
    // places it (x 280 to 632); out of the tab chain like the date fields.
    pnlTransFind = Make<QWidget>(this, "pnlTransFind", QRect(280, 6, 352, 25));
    cboTransRange = Make<QComboBox>(pnlTransFind, "cboTransRange", QRect(0, 1, 64, 23));
    for (TQuickRange::Kind kind : TQuickRange::Kinds())
        cboTransRange->addItem(TQuickRange::Name(kind), int(kind));
    cboTransRange->setPlaceholderText(QStringLiteral("范围"));
    cboTransRange->setCurrentIndex(-1);
    cboTransRange->setToolTip(QStringLiteral("日期范围：本月、上月、今年、去年或全部"));
    cboTransRange->setFocusPolicy(Qt::ClickFocus);
    edtTransFilter = Make<QLineEdit>(pnlTransFind, "edtTransFilter", QRect(70, 1, 200, 23));
    edtTransFilter->setPlaceholderText(QStringLiteral("筛选：备注、项目或金额"));
    edtTransFilter->setClearButtonEnabled(true);
    edtTransFilter->setToolTip(
        QStringLiteral("几个词都要出现；金额可写 12.5、100-500、>1000（Ctrl+F，Esc 清除）"));
    edtTransFilter->setFocusPolicy(Qt::ClickFocus);
    edtTransFilter->installEventFilter(this); // Escape
    btnTransSearchAll =
        button(pnlTransFind, "btnTransSearchAll", QStringLiteral("搜索全部"), 276, 1);
    btnTransSearchAll->setFocusPolicy(Qt::ClickFocus);

    // Typing is applied after a pause, so a fast typist's keystrokes do not
    // each filter ten years of records; clearing is applied at once.
    tmrTransFilter = new QTimer(this);
    tmrTransFilter->setSingleShot(true);
    tmrTransFilter->setInterval(150);
    connect(tmrTransFilter, &QTimer::timeout, this, &TBrowserPanel::edtTransFilterChange);
    connect(edtTransFilter, &QLineEdit::textChanged, this, [this](const QString &text) {
        UpdateButtons();
        if (TRecordFilter(text).isEmpty())
            edtTransFilterChange();
        else
            tmrTransFilter->start();
    });
    connect(edtTransFilter, &QLineEdit::returnPressed, this, &TBrowserPanel::edtTransFilterChange);
    connect(cboTransRange, &QComboBox::activated, this, &TBrowserPanel::cboTransRangeSelect);
    connect(btnTransSearchAll, &QPushButton::clicked, this, &TBrowserPanel::btnTransSearchAllClick);
    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, &TBrowserPanel::FocusFilter);
}

void TBrowserPanel::ConnectRecordSelection()
{
    connect(lvwTrans->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TBrowserPanel::lvwTransSelectItem);
}

void TBrowserPanel::SetRecordProxy(QAbstractProxyModel *proxy)
{
    QItemSelectionModel *old = lvwTrans->selectionModel();
    proxy->setSourceModel(mdlTrans);
    lvwTrans->setModel(proxy); // a new selection model, empty
    delete old;
    ConnectRecordSelection();
    UpdateButtons();
    emit listChanged();
}

void TBrowserPanel::SetStore(TDbMan *db, const QString &user)
{
    m_db = db;
    m_user = user;
    ApplyRememberedRange();
    UpdateButtons();
}

TSearchResultPtr TBrowserPanel::FullResult() const
{
    return m_filter ? m_filter->Full() : m_result;
}

TDbMan &TBrowserPanel::Db() const
{
    if (!m_db)
        throw TError(QStringLiteral("没有打开数据文件。"));
    return *m_db;
}

void TBrowserPanel::Start(const QDate &today)
{
    m_today = today;
    {
        const QSignalBlocker quiet(edtTransFilter);
        edtTransFilter->clear();
    }
    m_recordFilter = TRecordFilter();
    m_highlightKey.clear();
    rdoTransTransactions->setChecked(true);
    rdoTransTransactionsClick();
    dtpTransDate1->setDate(today.addDays(1 - today.day()));
    dtpTransDate2->setDate(today);
    ShowTotals(0, 0);
    dtpTransDate1Change();
    TabSet1Click();
    UpdateButtons();
}

// ---------------------------------------------------------------------------
// Views and totals

void TBrowserPanel::rdoTransTransactionsClick()
{
    pnlTransTransactions->setVisible(rdoTransTransactions->isChecked());
    pnlTransCategories->setVisible(rdoTransCategories->isChecked());
}

void TBrowserPanel::dtpTransDate1Change()
{
    btnTransSearch->setEnabled(dtpTransDate1->IsWhole() && dtpTransDate2->IsWhole() &&
                               dtpTransDate1->date() <= dtpTransDate2->date());
    UpdateRangeChoice();
}

void TBrowserPanel::TabSet1Click()
{
    const bool days = TabSet1->currentIndex() == 0;
    lvwDayTotal->setVisible(days);
    lvwMonthTotal->setVisible(!days);
}

QString TBrowserPanel::TotalsText(qint64 inCents, qint64 outCents, bool filtered)
{
    return (filtered ? QStringLiteral("筛选后：") : QString()) +
           QStringLiteral("收入合计：%1    支出合计：%2    结余合计：%3")
               .arg(THi::FormatCents(inCents), THi::FormatCents(outCents),
                    THi::FormatCents(inCents - outCents));
}

void TBrowserPanel::ShowTotals(qint64 inCents, qint64 outCents, bool filtered)
{
    const QString text = TotalsText(inCents, outCents, filtered);
    lblTransTotal->setText(text);
    if (lblCatesTotal->fontMetrics().horizontalAdvance(text) <= lblCatesTotal->width()) {
        lblCatesTotal->setText(text);
    } else {
        QString twoLines = text;
        twoLines.replace(twoLines.lastIndexOf(QStringLiteral("    ")), 4, QLatin1Char('\n'));
        lblCatesTotal->setText(twoLines);
    }
}

void TBrowserPanel::UpdateButtons()
{
    btnTransMore->setEnabled(mdlTrans->rowCount() > 0);
    const bool recSelected = SelectedRecordId() >= 0;
    btnTransEdit->setEnabled(recSelected);
    btnTransDelete->setEnabled(recSelected);
    btnMoreInfo->setEnabled(m_activeCateList != nullptr);
    const bool ranked = mdlInCates->rowCount() > 0 || mdlOutCates->rowCount() > 0;
    btnCatesExport->setEnabled(ranked);
    btnCatesPrint->setEnabled(ranked);
    btnCatesChart->setEnabled(ranked);
    btnTransSearchAll->setEnabled(m_db && !TRecordFilter(edtTransFilter->text()).isEmpty());
}

// ---------------------------------------------------------------------------
// Search

void TBrowserPanel::btnTransSearchClick()
{
    // Alt+S leaves the focus in a date being typed: take both first.
    const bool whole1 = dtpTransDate1->Commit();
    const bool whole2 = dtpTransDate2->Commit();
    const bool whole = whole1 && whole2;
    dtpTransDate1Change();
    if (!whole || !btnTransSearch->isEnabled())
        return;
    Search(dtpTransDate1->date(), dtpTransDate2->date());
}

void TBrowserPanel::ShowPeriod(const QDate &start, const QDate &end)
{
    dtpTransDate1->setDate(start);
    dtpTransDate2->setDate(end);
    dtpTransDate1Change();
    Search(start, end);
}

bool TBrowserPanel::Search(const QDate &start, const QDate &end)
{
    // The busy state ends inside the guard, so the error box shows the normal
    // cursor; a failed query leaves the last search's lists as they were.
    const bool found = TDialogs::Guard(this, [&] {
        TBusy busy(btnTransSearch);
        auto filter = std::make_unique<TResultFilter>(std::make_shared<const TSearchResult>(
            m_user, start, end,
            Db().QueryPeriod(m_user, THi::DateToYmd(start), THi::DateToYmd(end))));
        // What the box holds now, also while its pause runs.
        m_recordFilter = TRecordFilter(edtTransFilter->text());
        TSearchResultPtr shown = filter->Apply(m_recordFilter, edtTransFilter->text());
        m_filter = std::move(filter);
        ShowResult(std::move(shown));
    });
    UpdateButtons();
    emit listChanged();
    return found;
}

void TBrowserPanel::ShowResult(TSearchResultPtr result)
{
    m_highlightKey.clear();
    m_activeCateList = nullptr;
    m_result = std::move(result);
    m_shownFilter = TRecordFilter(m_result->Filter);
    mdlTrans->SetHighlightKey(QString());
    // The lists share the result's rows (ten years of records are tens of MB).
    mdlDayTotal->SetRows(m_result->DayRows);
    mdlMonthTotal->SetRows(m_result->MonthRows);
    mdlTrans->SetResult(m_result);
    mdlOutCates->SetRows(m_result->OutCateRows);
    mdlInCates->SetRows(m_result->InCateRows);
    ShowTotals(m_result->InCents, m_result->OutCents, m_result->Filtered());
}

// ---------------------------------------------------------------------------
// Filter box, quick ranges, search all years

void TBrowserPanel::edtTransFilterChange()
{
    tmrTransFilter->stop();
    m_recordFilter = TRecordFilter(edtTransFilter->text());
    if (!m_filter)
        return; // nothing searched yet: the next search uses the box
    const qint64 selected = SelectedRecordId();
    ShowResult(m_filter->Apply(m_recordFilter, edtTransFilter->text()));
    if (selected >= 0)
        SelectRecord(selected);
    UpdateButtons();
    emit listChanged();
}

void TBrowserPanel::FocusFilter()
{
    if (!isVisible())
        return;
    edtTransFilter->setFocus(Qt::ShortcutFocusReason);
    edtTransFilter->selectAll();
}

TDateSpan TBrowserPanel::RangeSpan(TQuickRange::Kind kind)
{
    const QDate today = m_today.isValid() ? m_today : QDate::currentDate();
    if (kind == TQuickRange::All) {
        const TDbMan::TDateBounds bounds = Db().RecordDates(m_user);
        m_firstRecord = THi::YmdToDate(bounds.First);
        m_lastRecord = THi::YmdToDate(bounds.Last);
    }
    return TQuickRange::Range(kind, today, m_firstRecord, m_lastRecord);
}

void TBrowserPanel::cboTransRangeSelect(int index)
{
    if (index < 0)
        return;
    const auto kind = TQuickRange::Kind(cboTransRange->itemData(index).toInt());
    TDateSpan span;
    if (!TDialogs::Guard(this, [&] { span = RangeSpan(kind); }))
        return;
    Settings::RememberQuickRange(m_user, TQuickRange::Id(kind));
    dtpTransDate1->setDate(span.Start);
    dtpTransDate2->setDate(span.End);
    dtpTransDate1Change();
    Search(span.Start, span.End);
}

void TBrowserPanel::ApplyRememberedRange()
{
    if (m_user.isEmpty())
        return;
    const std::optional<TQuickRange::Kind> kind = TQuickRange::FromId(Settings::QuickRange(m_user));
    if (!kind)
        return;
    TDateSpan span;
    if (!TDialogs::Guard(this, [&] { span = RangeSpan(*kind); }))
        return;
    dtpTransDate1->setDate(span.Start);
    dtpTransDate2->setDate(span.End);
    dtpTransDate1Change();
}

void TBrowserPanel::UpdateRangeChoice()
{
    if (!cboTransRange)
        return;
    const QDate today = m_today.isValid() ? m_today : QDate::currentDate();
    const std::optional<TQuickRange::Kind> kind = TQuickRange::Which(
        {dtpTransDate1->date(), dtpTransDate2->date()}, today, m_firstRecord, m_lastRecord);
    cboTransRange->setCurrentIndex(kind ? cboTransRange->findData(int(*kind)) : -1);
}

void TBrowserPanel::btnTransSearchAllClick()
{
    const QString typed = edtTransFilter->text();
    const TRecordFilter filter(typed);
    if (filter.isEmpty() || !btnTransSearchAll->isEnabled())
        return;
    TSearchAllResult found;
    if (!TDialogs::Guard(this, [&] {
            TBusy busy(btnTransSearchAll);
            found = SearchAllYears(Db(), m_user, filter, typed);
        }))
        return;
    if (!found.Full) {
        TDialogs::Info(this, QStringLiteral("搜索全部"),
                       QStringLiteral("没有找到符合“%1”的记录。").arg(typed.trimmed()));
        return;
    }
    tmrTransFilter->stop();
    m_recordFilter = filter;
    dtpTransDate1->setDate(found.Full->Start);
    dtpTransDate2->setDate(found.Full->End);
    dtpTransDate1Change();
    m_filter = std::make_unique<TResultFilter>(found.Full);
    ShowResult(found.Filtered);
    UpdateButtons();
    emit listChanged();
}

void TBrowserPanel::Refresh()
{
    if (m_result->Start.isValid())
        SearchAgain();
}

void TBrowserPanel::SearchAgain()
{
    if (btnTransSearch->isEnabled())
        Search(dtpTransDate1->date(), dtpTransDate2->date());
    else if (m_result->Start.isValid())
        Search(m_result->Start, m_result->End);
}

// ---------------------------------------------------------------------------
// Day and month totals, records

void TBrowserPanel::lvwDayTotalSelectItem(QTreeView *list)
{
    const TSumRowModel *model = list == lvwDayTotal ? mdlDayTotal : mdlMonthTotal;
    const int row = selectedSourceRow(list);
    m_highlightKey = row >= 0 ? THi::Trim(model->Row(row).Key) : QString();
    mdlTrans->SetHighlightKey(m_highlightKey);
    if (row < 0)
        return;

    m_scrolling = true;
    lvwTrans->clearSelection();
    const TRecordList &recs = m_result->RecRows;
    const int first = FirstRecordOf(recs, m_highlightKey);
    if (first >= 0)
        ScrollToRecord(recs.Id(first));
    m_scrolling = false;
    UpdateButtons();
    emit listChanged();
}

void TBrowserPanel::ScrollToRecord(qint64 id)
{
    // The first record of the day at the top of the list, also when the end
    // of the list would not fill a page below it.
    const QModelIndex index = ViewIndex(lvwTrans, mdlTrans->IndexOfId(id));
    if (index.isValid())
        lvwTrans->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TBrowserPanel::lvwTransSelectItem()
{
    if (m_scrolling)
        return;
    UpdateButtons();
    emit listChanged();
}

qint64 TBrowserPanel::SelectedRecordId() const
{
    const QModelIndexList rows = lvwTrans->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    bool ok = false;
    const qint64 id = rows.first().data(TRecordListModel::IdRole).toLongLong(&ok);
    return ok ? id : -1;
}

void TBrowserPanel::SelectRecord(qint64 id)
{
    const QModelIndex index = ViewIndex(lvwTrans, mdlTrans->IndexOfId(id));
    if (!index.isValid()) {
        lvwTrans->clearSelection();
        return;
    }
    lvwTrans->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
    lvwTrans->scrollTo(index);
}

void TBrowserPanel::btnTransDeleteClick()
{
    const qint64 selected = SelectedRecordId();
    if (selected < 0 || !btnTransDelete->isEnabled())
        return;
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要删除它吗？")))
        return;
    const QString id = QString::number(selected);
    const bool deleted = TDialogs::Guard(this, [&] {
        TBusy busy(btnTransDelete);
        Db().DeleteRecord(m_user, id);
    });
    UpdateButtons();
    if (deleted)
        SearchAgain();
}

void TBrowserPanel::btnTransEditClick()
{
    const qint64 selected = SelectedRecordId();
    if (selected < 0 || !btnTransEdit->isEnabled())
        return;
    if (!TDialogs::Ask(this, QStringLiteral("您真的想要编辑它吗？")))
        return;
    // The result stays as it is while the editor is open: nothing searches meanwhile.
    const TSearchResultPtr result = m_result;
    const TRecordList &recs = result->RecRows;
    const int row = recs.IndexOfId(selected);
    if (row < 0)
        return;
    const QString id = QString::number(selected);
    const bool income = recs.Kind(row) == TRecordList::Income;
    const QString type = income ? TypeIncome() : TypeExpense();

    QString date, cate, notes;
    qint64 cents = 0;
    {
        TfrmEditRec editor(window());
        editor.RecDate = recs.Text(row, RecDate);
        editor.RecCate = recs.Text(row, RecCate);
        editor.RecAmount = recs.Text(row, income ? RecIn : RecOut);
        editor.RecNotes = recs.Text(row, RecNotes);
        if (editor.exec() != QDialog::Accepted)
            return;
        date = editor.RecDate;
        cate = editor.RecCate;
        cents = editor.RecCents;
        notes = editor.RecNotes;
    }
    // One transaction: when it fails, the old record is still there.
    const bool replaced = TDialogs::Guard(this, [&] {
        TBusy busy(btnTransEdit);
        Db().ReplaceRecord(id, m_user, date, type, cate, cents, notes);
    });
    UpdateButtons();
    if (replaced)
        SearchAgain();
}

// ---------------------------------------------------------------------------
// Ranking, details and charts

void TBrowserPanel::SetActiveCateList(QTreeView *list)
{
    m_activeCateList = selectedRow(list) >= 0 ? list : nullptr;
    lvwInCates->viewport()->update();
    lvwOutCates->viewport()->update();
    UpdateButtons();
    emit listChanged();
}

const TRankRow *TBrowserPanel::SelectedRankRow(QTreeView *list) const
{
    if (!list)
        return nullptr;
    const TRankRowModel *model = list == lvwInCates ? mdlInCates : mdlOutCates;
    const int row = selectedSourceRow(list);
    return row >= 0 && row < model->rowCount() ? &model->Row(row) : nullptr;
}

void TBrowserPanel::btnMoreInfoClick()
{
    const TRankRow *row = SelectedRankRow(m_activeCateList);
    if (!row || !btnMoreInfo->isEnabled())
        return;
    ShowDetails(*row, btnMoreInfo);
    UpdateButtons();
}

void TBrowserPanel::mnuCatesContext_RenameClick()
{
    const TRankRow *row = SelectedRankRow(m_activeCateList);
    if (!row || !m_db)
        return;
    const TRankRow picked = *row; // the search after the rename replaces the rows
    const QString type = picked.Type == TypeIncome() ? TypeIncome() : TypeExpense();
    TCateRename::Run(window(), Db(), m_user, type, picked.Cate);
}

void TBrowserPanel::ShowDetails(const TRankRow &rankRow, QWidget *sender)
{
    const TRankRow row = rankRow; // a search from inside the window must not pull it away
    TfrmMoreInfo details(window());
    const bool filled = TDialogs::Guard(this, [&] {
        TBusy busy(sender);
        details.setWindowTitle(
            QStringLiteral("数量：%1  合计：%2").arg(row.Text(RankCount), row.Text(RankSum)));
        details.SetAmountCaption(row.Type == TypeIncome() ? TypeIncome() : TypeExpense());
        // The dates shown now, as the user may have moved them since the search.
        TDetailRows rows =
            Db().QueryCateDetail(m_user, THi::DateToYmd(dtpTransDate1->date()),
                                 THi::DateToYmd(dtpTransDate2->date()), row.Type, row.Cate);
        // A filtered view's ranking counts only the matching records.
        if (!m_shownFilter.isEmpty()) {
            rows.removeIf([this](const TDetailRow &r) {
                return !m_shownFilter.match(r.Notes, r.Cate, r.Cents);
            });
        }
        details.SetRows(rows);
    });
    if (filled)
        details.exec();
    if (sender)
        sender->setFocus();
}

void TBrowserPanel::btnCatesChartClick()
{
    if (!btnCatesChart->isEnabled())
        return;
    const TSearchResultPtr result = m_result;
    TChartData chartData = MakeChartData(*result);
    // A search within one month shows the month's budgets too.
    const TSearchResultPtr whole = FullResult();
    if (BudgetMonthOf(whole->Start, whole->End).isValid())
        TDialogs::Guard(this, [&] { AddBudgets(chartData, *whole, Db().BudgetPlan(m_user)); });
    TfrmChart chart(window(), chartData);
    connect(&chart, &TfrmChart::sliceClicked, this,
            [this, result, &chart](const QString &type, const QString &cate) {
                if (const TRankRow *row = result->FindRank(type, cate))
                    ShowDetails(*row, nullptr);
                chart.activateWindow();
            });
    chart.exec();
    btnCatesChart->setFocus();
}

// ---------------------------------------------------------------------------
// Keyboard and focus

bool TBrowserPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease && watched == lvwTrans) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && !key->isAutoRepeat() && SelectedRecordId() >= 0) {
            btnTransDeleteClick();
            return true;
        }
    } else if (watched == edtTransFilter &&
               (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
               static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
               !edtTransFilter->text().isEmpty()) {
        // Escape clears the box (and is not passed on to close anything).
        event->accept();
        if (event->type() == QEvent::KeyPress) {
            edtTransFilter->clear();
            edtTransFilterChange();
        }
        return true;
    } else if (event->type() == QEvent::FocusIn &&
               (watched == lvwInCates || watched == lvwOutCates)) {
        SetActiveCateList(static_cast<QTreeView *>(watched));
    }
    return QWidget::eventFilter(watched, event);
}
