#include "YearForm.h"

#include "Dialogs.h"
#include "FormKit.h"
#include "MoreInfoForm.h"
#include "PrintForm.h"
#include "Settings.h"
#include "YearExport.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QMenu>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

// ---------------------------------------------------------------------------
// The model

void TYearModel::SetTable(const TYearTable &table)
{
    beginResetModel();
    m_lines = table.Lines();
    endResetModel();
}

int TYearModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

int TYearModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : YearCols;
}

QVariant TYearModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size())
        return {};
    const TYearLine &line = m_lines.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == YearCate ? THi::VisibleText(line.Text(index.column()))
                                          : line.Text(index.column());
    case Qt::TextAlignmentRole:
        return index.column() >= YearJan ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::FontRole:
        if (line.IsTotal()) {
            QFont f = ProgramFont();
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::ForegroundRole:
        if (line.Kind == TYearLine::Balance && index.column() >= YearJan) {
            const std::optional<qint64> &c = line.Cents[size_t(index.column() - YearJan)];
            if (c && *c < 0)
                return Maroon();
        }
        return {};
    default:
        return {};
    }
}

QVariant TYearModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return TYearTable::ColumnNames().value(section);
}

// ---------------------------------------------------------------------------
// The window

TfrmYear::TfrmYear(QWidget *owner, TDbMan &db, const QString &user, int year,
                   TSearchDates searchDates)
    : QDialog(owner), m_db(db), m_user(user), m_searchDates(std::move(searchDates))
{
    setObjectName(QStringLiteral("TfrmYear"));
    setWindowTitle(QStringLiteral("年度概览"));
    resize(960, 640);

    auto *top = new QHBoxLayout;
    top->addWidget(MakeLabel(this, "lblYear", QStringLiteral("年份："), 0, 0));
    cboYear = Make<QComboBox>(this, "cboYear");
    // The years with records, this year and the one asked for, newest first.
    TDbMan::TDateBounds bounds;
    TDialogs::Guard(this, [&] { bounds = m_db.RecordDates(m_user); });
    const int thisYear = QDate::currentDate().year();
    int first = std::min(year, thisYear), last = std::max(year, thisYear);
    if (!bounds.First.isEmpty()) {
        first = std::min(first, bounds.First.left(4).toInt());
        last = std::max(last, bounds.Last.left(4).toInt());
    }
    for (int y = last; y >= std::max(first, 1); --y)
        cboYear->addItem(QStringLiteral("%1年").arg(y), y);
    top->addWidget(cboYear);
    top->addStretch(1);
    btnYearExport = Make<QPushButton>(this, "btnYearExport");
    btnYearExport->setText(QStringLiteral("导出"));
    btnYearPrint = Make<QPushButton>(this, "btnYearPrint");
    btnYearPrint->setText(QStringLiteral("打印"));
    btnYearClose = Make<QPushButton>(this, "btnYearClose");
    btnYearClose->setText(QStringLiteral("关闭"));
    for (QPushButton *b : {btnYearExport, btnYearPrint, btnYearClose}) {
        b->setFixedSize(ButtonSize);
        b->setAutoDefault(false);
        top->addWidget(b);
    }

    mnuYearExport = new QMenu(this);
    mnuYearExport->setObjectName(QStringLiteral("mnuYearExport"));
    const auto entry = [this](const char *name, const QString &text) {
        QAction *a = mnuYearExport->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    connect(entry("mnuYearExport_ToXls", QStringLiteral("导出为Excel文件(*.xlsx)")),
            &QAction::triggered, this, &TfrmYear::mnuYearExport_ToXlsClick);
    connect(entry("mnuYearExport_ToHtml", QStringLiteral("导出为网页文件(*.html)")),
            &QAction::triggered, this, &TfrmYear::mnuYearExport_ToHtmlClick);
    connect(entry("mnuYearExport_ToCsv", QStringLiteral("导出为CSV文件(*.csv)")),
            &QAction::triggered, this, &TfrmYear::mnuYearExport_ToCsvClick);
    btnYearExport->setMenu(mnuYearExport);

    mdlYear = new TYearModel(this);
    lvwYear = Make<QTableView>(this, "lvwYear");
    lvwYear->setModel(mdlYear);
    lvwYear->setSelectionBehavior(QAbstractItemView::SelectItems);
    lvwYear->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwYear->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwYear->verticalHeader()->hide();
    lvwYear->verticalHeader()->setDefaultSectionSize(lvwYear->fontMetrics().height() + 6);
    lvwYear->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvwYear->setToolTip(QStringLiteral("双击项目的格子查看其中的记录；双击合计或结余，"
                                       "在浏览页里查找那个月"));

    chtYear = new QChartView(this);
    chtYear->setObjectName(QStringLiteral("chtYear"));
    chtYear->setRenderHint(QPainter::Antialiasing);
    chtYear->setMinimumHeight(200);

    auto *split = Make<QSplitter>(this, "splYear");
    split->setOrientation(Qt::Vertical);
    split->addWidget(lvwYear);
    split->addWidget(chtYear);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);

    connect(cboYear, &QComboBox::activated, this, &TfrmYear::cboYearSelect);
    connect(lvwYear, &QAbstractItemView::activated, this,
            [this](const QModelIndex &index) { lvwYearActivate(index.row(), index.column()); });
    connect(btnYearPrint, &QPushButton::clicked, this, &TfrmYear::btnYearPrintClick);
    connect(btnYearClose, &QPushButton::clicked, this, &QDialog::reject);

    ShowYear(year);
}

TfrmYear::~TfrmYear() = default;

bool TfrmYear::ShowYear(int year)
{
    TYearTable table;
    const bool read = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        table = MakeYearTable(m_db, m_user, year);
    });
    if (!read) {
        cboYear->setCurrentIndex(cboYear->findData(m_table.Year));
        return false;
    }
    m_table = std::move(table);
    mdlYear->SetTable(m_table);
    cboYear->setCurrentIndex(cboYear->findData(year));
    setWindowTitle(QStringLiteral("年度概览 - %1 %2年").arg(m_user).arg(year));
    ShowChart();
    return true;
}

void TfrmYear::cboYearSelect(int index)
{
    const int year = cboYear->itemData(index).toInt();
    if (year != m_table.Year)
        ShowYear(year);
}

void TfrmYear::ShowChart()
{
    const int year = m_table.Year;
    // This year's lines end at the current month: later months have no
    // records yet, and a drop to zero would read as a month without spending.
    const QDate today = QDate::currentDate();
    const int months = year == today.year() ? today.month() : year > today.year() ? 0 : 12;

    struct TLine {
        QString name;
        const std::array<qint64, 12> *cents;
        QColor color;
        bool last;
    };
    const QColor outColor(0xc0, 0x39, 0x2b), inColor(0x1e, 0x84, 0x49);
    const TLine lines[] = {
        {QStringLiteral("%1年支出").arg(year), &m_table.OutTotals.Cents, outColor, false},
        {QStringLiteral("%1年收入").arg(year), &m_table.InTotals.Cents, inColor, false},
        {QStringLiteral("%1年支出").arg(year - 1), &m_table.LastOutCents, outColor, true},
        {QStringLiteral("%1年收入").arg(year - 1), &m_table.LastInCents, inColor, true},
    };

    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setFont(font());
    auto *axisX = new QCategoryAxis;
    axisX->setObjectName(QStringLiteral("chtYearAxis"));
    // Each month's label and grid line at its point.
    axisX->setStartValue(-0.5);
    for (int m = 0; m < 12; ++m)
        axisX->append(TYearTable::MonthName(m), m);
    axisX->setRange(-0.5, 11.5);
    axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisX->setLabelsFont(font());
    auto *axisY = new QValueAxis;
    axisY->setLabelsFont(font());
    axisY->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);

    double high = 0;
    int n = 0;
    for (const TLine &l : lines) {
        auto *series = new QLineSeries;
        series->setObjectName(QStringLiteral("chtYearLine%1").arg(n++));
        series->setName(l.name);
        QPen pen(l.last ? l.color.lighter(150) : l.color);
        pen.setWidth(l.last ? 1 : 2);
        if (l.last)
            pen.setStyle(Qt::DashLine);
        series->setPen(pen);
        series->setPointsVisible(true);
        const int count = l.last ? 12 : months;
        for (int m = 0; m < count; ++m) {
            const double v = double((*l.cents)[size_t(m)]) / 100.0;
            series->append(m, v);
            high = std::max(high, v);
        }
        chart->addSeries(series);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
    axisY->setRange(0, high > 0 ? high : 1);
    axisY->applyNiceNumbers();

    QChart *old = chtYear->chart();
    chtYear->setChart(chart);
    delete old;
}

void TfrmYear::lvwYearActivate(int row, int column)
{
    if (row < 0 || row >= mdlYear->rowCount() || column < 0 || column >= YearCols)
        return;
    const TYearLine &line = mdlYear->Line(row);
    // The type and category columns stand for the whole year.
    const int month = column >= YearJan ? column - YearJan : 12;
    if (!line.Cents[size_t(month)])
        return; // no record behind an empty cell
    const QDate start = m_table.First(month), end = m_table.Last(month);
    if (line.IsTotal()) {
        if (m_searchDates) {
            m_searchDates(start, end);
            accept();
        }
        return;
    }
    const TYearLine picked = line;
    TfrmMoreInfo details(this);
    const bool filled = TDialogs::Guard(this, [&] {
        TBusy busy(lvwYear);
        const TDetailRows rows = m_db.QueryCateDetail(
            m_user, THi::DateToYmd(start), THi::DateToYmd(end), picked.Type, picked.Name);
        details.setWindowTitle(
            QStringLiteral("%1 %2  数量：%3  合计：%4")
                .arg(THi::VisibleText(picked.Name),
                     month < 12 ? QStringLiteral("%1年%2月").arg(m_table.Year).arg(month + 1)
                                : QStringLiteral("%1年").arg(m_table.Year))
                .arg(rows.size())
                .arg(THi::FormatCents(*picked.Cents[size_t(month)])));
        details.SetAmountCaption(picked.Type);
        details.SetRows(rows);
    });
    if (filled)
        details.exec();
}

void TfrmYear::mnuYearExport_ToXlsClick()
{
    Export(TFormat::Xlsx);
}

void TfrmYear::mnuYearExport_ToHtmlClick()
{
    Export(TFormat::Html);
}

void TfrmYear::mnuYearExport_ToCsvClick()
{
    Export(TFormat::Csv);
}

void TfrmYear::Export(TFormat format)
{
    const QString ext = format == TFormat::Xlsx   ? QStringLiteral(".xlsx")
                        : format == TFormat::Html ? QStringLiteral(".html")
                                                  : QStringLiteral(".csv");
    const QString target = TDialogs::SaveFileWithExtension(
        this, QStringLiteral("*%1 (*%1)").arg(ext), Settings::ExportDialogFolder(), ext);
    if (target.isEmpty())
        return;
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        switch (format) {
        case TFormat::Xlsx:
            YearExport::SaveXlsx(target, m_table);
            break;
        case TFormat::Html:
            YearExport::SaveHtml(target, m_table);
            break;
        case TFormat::Csv:
            YearExport::SaveCsv(target, m_table);
            break;
        }
    });
    if (!done)
        return;
    Settings::RememberExportFile(target);
    TDialogs::Info(this, QStringLiteral("Tallimo"), QStringLiteral("成功！\r\n\r\n") + target);
}

void TfrmYear::btnYearPrintClick()
{
    std::unique_ptr<TReport> report;
    const bool made = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        report = YearExport::MakeReport(TReportUnits::Screen(), m_table);
    });
    if (!made || !report || report->PageCount() == 0)
        return;
    TfrmPrint preview(this, *report);
    preview.exec();
}
