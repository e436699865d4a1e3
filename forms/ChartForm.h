#pragma once

// The last search as pictures: the expense and the income ranking as donuts
// and income, expense and balance per month (quarter, year: see ChartData) as
// bars with a line. Bars, points and slices show their amount on hover;
// clicking a category's slice asks for that category's records. Below them,
// for a search within one month, a bar per budgeted expense category.

#include "ChartData.h"

#include <QDialog>

class QBarCategoryAxis;
class QChart;
class QChartView;
class QPieSeries;
class TBudgetBars;

class TfrmChart : public QDialog {
    Q_OBJECT
public:
    TfrmChart(QWidget *owner, const TChartData &chartData);
    ~TfrmChart() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // A category's slice was clicked; the rest slice sends nothing.
    void sliceClicked(const QString &type, const QString &cate);

private:
    QChartView *MakeDonut(const char *name, const QString &title, const QList<TChartSlice> &slices);
    QChartView *MakeMonths(const QList<TChartMonth> &months, TChartStep step);
    // Labels across when each fits its bar's width, else upright.
    void FitMonthLabels();
    QChartView *MakeView(const char *name, QChart *chart);

    QChartView *chtOut = nullptr, *chtIn = nullptr, *chtMonths = nullptr;
    TBudgetBars *pnlChartBudget = nullptr; // only when the search has budgets
    QBarCategoryAxis *m_monthAxis = nullptr;
};
