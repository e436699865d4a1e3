#pragma once

// What the chart window draws, computed from the browser's last search without
// any widget: the two rankings cut down to their largest slices plus one
// "其他" for the rest, and income, expense and balance per month of the range,
// or per quarter or year when the range holds too many months for one bar
// each. Also the texts shown on hover.

#include "Budget.h"
#include "SearchResult.h"

#include <QDate>
#include <QList>
#include <QString>

struct TChartSlice {
    QString Type; // "支出" or "收入"
    QString Cate; // the category, or "其他" for the rest
    qint64 Cents = 0;
    QString Share; // "%0.2f%"
    bool Rest = false;

    QString Label() const { return Cate + QLatin1Char(' ') + Share; }
};

struct TChartMonth {
    QString Month; // "yyyy-mm"; grouped: "yyyy-Qn" or "yyyy"
    qint64 InCents = 0, OutCents = 0;

    qint64 BalanceCents() const { return InCents - OutCents; }
};

// How many months one bar of the month chart takes.
enum class TChartStep { Month, Quarter, Year };

struct TChartData {
    QList<TChartSlice> OutSlices, InSlices;
    TChartStep Step = TChartStep::Month;
    QList<TChartMonth> Months; // one entry per step
    // The budgeted categories' bars (AddBudgets), and what they measure.
    QList<TBudgetFigures> Budgets;
    QString BudgetTitle;
};

// Months up to 24 get a bar each, up to 96 (8 years) a bar per quarter,
// longer ranges a bar per year.
TChartStep StepForMonths(qsizetype months);

// The month entries (in order) added up per quarter ("2026-Q1") or per year
// ("2026"); Month gives them back as they are.
QList<TChartMonth> GroupMonths(const QList<TChartMonth> &months, TChartStep step);

// The bar chart's title for a step: "每月收支", "每季度收支", "每年收支".
QString StepTitle(TChartStep step);

// Hover texts: a bar ("2026-Q1 收入：1234.56"), the balance line and a slice
// ("餐饮：1234.56 (12.34%)").
QString BarTip(const TChartMonth &entry, const QString &what, qint64 cents);
QString SliceTip(const TChartSlice &slice);

// The caption of the slice that gathers the smaller categories.
QString RestCaption();

// "%0.2f%" of part in total; "0.00%" when the total is 0 (THi::FormatShare).
QString ShareText(qint64 part, qint64 total);

// Ranking rows (largest first) as slices: up to maxSlices categories with the
// share they have in the list, then one rest slice when more are left.
QList<TChartSlice> RankSlices(const TRankRows &rankRows, int maxSlices = 8);

// One entry per calendar month from start to end, months without records
// included as zero, filled from the month rows.
QList<TChartMonth> MonthSeries(const TMonthRows &monthRows, const QDate &start, const QDate &end);

TChartData MakeChartData(const TRankRows &outCateRows, const TRankRows &inCateRows,
                         const TMonthRows &monthRows, const QDate &start, const QDate &end);
// The charts of a search: its rankings, and its months over its dates.
TChartData MakeChartData(const TSearchResult &result);

// The month whose budgets a search's dates can be measured against: the
// one both dates lie in; invalid when they span months.
QDate BudgetMonthOf(const QDate &start, const QDate &end);
// Budget bars for a search within one month: each budgeted category's
// spending over the searched dates (the whole search, not a filtered view
// of it: a budget counts every expense) against the month's budget. The
// title names the month, and the dates when they are less than all of it.
void AddBudgets(TChartData &data, const TSearchResult &whole, const TBudgetPlan &plan);
