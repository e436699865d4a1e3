#pragma once

// The last search as pictures: the expense and the income ranking as donuts
// and income, expense and balance per month as bars with a line. Clicking a
// category's slice asks for that category's records.

#include "ChartData.h"

#include <QDialog>

class QChart;
class QChartView;
class QPieSeries;

class TfrmChart : public QDialog {
    Q_OBJECT
public:
    TfrmChart(QWidget *owner, const TChartData &data);
    ~TfrmChart() override;

signals:
    // A category's slice was clicked; the rest slice sends nothing.
    void sliceClicked(const QString &type, const QString &cate);

private:
    QChartView *MakeDonut(const char *name, const QString &title, const QList<TChartSlice> &slices);
    QChartView *MakeMonths(const QList<TChartMonth> &months);
    QChartView *MakeView(const char *name, QChart *chart);

    QChartView *chtOut = nullptr, *chtIn = nullptr, *chtMonths = nullptr;
};
