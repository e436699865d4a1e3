#include "ChartForm.h"

#include "BudgetBars.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QToolTip>
#include <QValueAxis>

namespace {
// Expense red and income green, as on a bank statement; the balance dark blue.
const QColor OutColor(0xC6, 0x3C, 0x3C);
const QColor InColor(0x3C, 0x9A, 0x4E);
const QColor BalanceColor(0x1F, 0x3A, 0x93);
// Narrower slices are labelled in the legend only.
const int MinLabelledPercent = 5;

QFont boldOf(QFont f)
{
    f.setBold(true);
    return f;
}
} // namespace

TfrmChart::TfrmChart(QWidget *owner, const TChartData &chartData)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint)
{
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(QStringLiteral("收支图表"));
    resize(980, 680);

    chtOut = MakeDonut("chtOut", QStringLiteral("支出"), chartData.OutSlices);
    chtIn = MakeDonut("chtIn", QStringLiteral("收入"), chartData.InSlices);
    chtMonths = MakeMonths(chartData.Months, chartData.Step);
    chtMonths->installEventFilter(this);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setSpacing(8);
    grid->addWidget(chtOut, 0, 0);
    grid->addWidget(chtIn, 0, 1);
    grid->addWidget(chtMonths, 1, 0, 1, 2);
    grid->setRowStretch(0, 1);
    grid->setRowStretch(1, 1);
    if (!chartData.Budgets.isEmpty()) {
        // Below the charts, so that they keep their room; the window grows by the bars.
        auto *title = new QLabel(chartData.BudgetTitle, this);
        title->setObjectName(QStringLiteral("lblChartBudget"));
        title->setFont(boldOf(font()));
        pnlChartBudget = new TBudgetBars(this);
        pnlChartBudget->setObjectName(QStringLiteral("pnlChartBudget"));
        pnlChartBudget->SetFigures(chartData.Budgets);
        grid->addWidget(title, 2, 0, 1, 2);
        grid->addWidget(pnlChartBudget, 3, 0, 1, 2);
        resize(width(), height() + title->sizeHint().height() +
                            std::min(pnlChartBudget->sizeHint().height(), 240) + 16);
    }
}

TfrmChart::~TfrmChart() = default;

bool TfrmChart::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == chtMonths && event->type() == QEvent::Resize)
        FitMonthLabels();
    return QDialog::eventFilter(watched, event);
}

void TfrmChart::FitMonthLabels()
{
    if (!m_monthAxis || m_monthAxis->count() == 0)
        return;
    const QFontMetrics fm(m_monthAxis->labelsFont());
    int widest = 0;
    for (const QString &label : m_monthAxis->categories())
        widest = std::max(widest, fm.horizontalAdvance(label));
    // The value axis and the margins take about this much of the view's width.
    const int room = std::max(1, chtMonths->width() - 100) / int(m_monthAxis->count());
    m_monthAxis->setLabelsAngle(widest + fm.averageCharWidth() > room ? -90 : 0);
}

QChartView *TfrmChart::MakeView(const char *name, QChart *chart)
{
    // The skin's font throughout, titles in bold.
    chart->setTitleFont(boldOf(font()));
    chart->legend()->setFont(font());
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *view = new QChartView(chart, this);
    view->setObjectName(QLatin1String(name));
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(300, 220);
    return view;
}

QChartView *TfrmChart::MakeDonut(const char *name, const QString &title,
                                 const QList<TChartSlice> &slices)
{
    auto *series = new QPieSeries;
    series->setObjectName(QLatin1String(name) + QStringLiteral("Series"));
    series->setHoleSize(0.42);
    series->setPieSize(0.7);
    qint64 total = 0;
    for (const TChartSlice &s : slices)
        total += s.Cents;
    for (const TChartSlice &s : slices) {
        // The legend names every slice with its share; the ring repeats the
        // share beside the slices wide enough that labels cannot collide.
        auto *slice = new QPieSlice(s.Share, double(s.Cents) / 100.0);
        const bool wide = total > 0 && s.Cents * 100 >= total * MinLabelledPercent;
        slice->setLabelVisible(wide);
        slice->setLabelFont(font());
        slice->setLabelArmLengthFactor(0.12);
        if (s.Rest) {
            slice->setColor(QColor(0xB0, 0xB0, 0xB0));
        } else {
            const QString type = s.Type, cate = s.Cate;
            connect(slice, &QPieSlice::clicked, this,
                    [this, type, cate] { emit sliceClicked(type, cate); });
            connect(slice, &QPieSlice::hovered, slice, [slice, wide](bool on) {
                slice->setExploded(on);
                slice->setExplodeDistanceFactor(0.06);
                slice->setLabelVisible(on || wide);
            });
        }
        const QString tip = SliceTip(s);
        connect(slice, &QPieSlice::hovered, this, [tip](bool on) {
            if (on)
                QToolTip::showText(QCursor::pos(), tip);
            else
                QToolTip::hideText();
        });
        series->append(slice);
    }

    auto *chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(slices.isEmpty() ? title + QStringLiteral("：无") : title);
    chart->legend()->setAlignment(Qt::AlignRight);
    const QList<QLegendMarker *> markers = chart->legend()->markers(series);
    for (int i = 0; i < markers.size() && i < slices.size(); ++i)
        markers.at(i)->setLabel(slices.at(i).Label());
    QChartView *view = MakeView(name, chart);
    view->setCursor(slices.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    return view;
}

QChartView *TfrmChart::MakeMonths(const QList<TChartMonth> &months, TChartStep step)
{
    auto *in = new QBarSet(QStringLiteral("收入"));
    auto *out = new QBarSet(QStringLiteral("支出"));
    in->setColor(InColor);
    out->setColor(OutColor);
    in->setBorderColor(InColor);
    out->setBorderColor(OutColor);
    auto *balance = new QLineSeries;
    balance->setName(QStringLiteral("结余"));
    QPen pen(BalanceColor);
    pen.setWidth(2);
    balance->setPen(pen);
    balance->setPointsVisible(months.size() <= 36);

    QStringList labels;
    double low = 0, high = 0;
    for (int i = 0; i < months.size(); ++i) {
        const TChartMonth &m = months.at(i);
        const double inSum = double(m.InCents) / 100.0, outSum = double(m.OutCents) / 100.0;
        const double bal = double(m.BalanceCents()) / 100.0;
        in->append(inSum);
        out->append(outSum);
        balance->append(i, bal);
        labels.append(m.Month);
        low = std::min({low, bal});
        high = std::max({high, inSum, outSum, bal});
    }
    auto *bars = new QBarSeries;
    bars->setObjectName(QStringLiteral("chtMonthsBars"));
    bars->append(in);
    bars->append(out);
    bars->setBarWidth(0.8);
    balance->setObjectName(QStringLiteral("chtMonthsBalance"));

    auto *chart = new QChart;
    chart->addSeries(bars);
    chart->addSeries(balance);
    chart->setTitle(StepTitle(step));

    // Each bar and point tells its amount.
    connect(bars, &QBarSeries::hovered, this, [months, in](bool on, int index, QBarSet *set) {
        if (!on || index < 0 || index >= months.size()) {
            QToolTip::hideText();
            return;
        }
        const TChartMonth &m = months.at(index);
        QToolTip::showText(QCursor::pos(), set == in
                                               ? BarTip(m, QStringLiteral("收入"), m.InCents)
                                               : BarTip(m, QStringLiteral("支出"), m.OutCents));
    });
    connect(balance, &QLineSeries::hovered, this, [months](const QPointF &at, bool on) {
        const int index = qRound(at.x());
        if (!on || index < 0 || index >= months.size()) {
            QToolTip::hideText();
            return;
        }
        const TChartMonth &m = months.at(index);
        QToolTip::showText(QCursor::pos(), BarTip(m, QStringLiteral("结余"), m.BalanceCents()));
    });

    auto *axisX = new QBarCategoryAxis;
    axisX->setObjectName(QStringLiteral("chtMonthsAxis"));
    axisX->append(labels);
    axisX->setLabelsFont(font());
    m_monthAxis = axisX;
    auto *axisY = new QValueAxis;
    axisY->setLabelsFont(font());
    axisY->setLabelFormat(QStringLiteral("%.0f"));
    axisY->setRange(low, high > low ? high : low + 1);
    axisY->applyNiceNumbers();
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    bars->attachAxis(axisX);
    bars->attachAxis(axisY);
    balance->attachAxis(axisX);
    balance->attachAxis(axisY);
    chart->legend()->setAlignment(Qt::AlignTop);
    return MakeView("chtMonths", chart);
}
