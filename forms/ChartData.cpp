#include "ChartData.h"

#include "HiClass.h"

#include <QHash>

#include <algorithm>

QString RestCaption()
{
    return QStringLiteral("其他");
}

QString ShareText(qint64 part, qint64 total)
{
    return THi::FormatShare(part, total);
}

QList<TChartSlice> RankSlices(const TRankRows &rankRows, int maxSlices)
{
    QList<TChartSlice> slices;
    qint64 total = 0, rest = 0;
    for (const TRankRow &row : rankRows)
        total += row.Cents;
    for (int i = 0; i < rankRows.size(); ++i) {
        const TRankRow &row = rankRows.at(i);
        if (i < maxSlices) {
            // The share as the ranking list shows it, so both read alike.
            slices.append({row.Type, row.Cate, row.Cents, row.Text(RankShare), false});
        } else {
            rest += row.Cents;
        }
    }
    if (rankRows.size() > maxSlices)
        slices.append({rankRows.first().Type, RestCaption(), rest, ShareText(rest, total), true});
    return slices;
}

QList<TChartMonth> MonthSeries(const TMonthRows &monthRows, const QDate &start, const QDate &end)
{
    QHash<QString, int> at;
    QList<TChartMonth> months;
    if (start.isValid() && end.isValid() && start <= end) {
        for (QDate m(start.year(), start.month(), 1); m <= end; m = m.addMonths(1)) {
            const QString key = m.toString(QStringLiteral("yyyy-MM"));
            at.insert(key, int(months.size()));
            months.append({key, 0, 0});
        }
    }
    for (const TMonthRow &row : monthRows) {
        const QString key = THi::Trim(row.Key);
        auto it = at.constFind(key);
        if (it == at.constEnd()) { // a month outside the range: keep it, in order
            TChartMonth m{key, 0, 0};
            auto pos = std::lower_bound(
                months.begin(), months.end(), key,
                [](const TChartMonth &a, const QString &k) { return a.Month < k; });
            const int i = int(pos - months.begin());
            months.insert(i, m);
            at.clear();
            for (int j = 0; j < months.size(); ++j)
                at.insert(months.at(j).Month, j);
            it = at.constFind(key);
        }
        TChartMonth &m = months[*it];
        m.InCents += row.InCents;
        m.OutCents += row.OutCents;
    }
    return months;
}

TChartStep StepForMonths(qsizetype months)
{
    if (months > 96)
        return TChartStep::Year;
    if (months > 24)
        return TChartStep::Quarter;
    return TChartStep::Month;
}

QList<TChartMonth> GroupMonths(const QList<TChartMonth> &months, TChartStep step)
{
    if (step == TChartStep::Month)
        return months;
    QList<TChartMonth> groups;
    for (const TChartMonth &m : months) {
        // "yyyy-mm": the year, and the month's quarter; anything else stays apart.
        bool ok = false;
        const int month = m.Month.mid(5, 2).toInt(&ok);
        QString key = m.Month;
        if (ok && month >= 1 && month <= 12 && m.Month.size() == 7)
            key = step == TChartStep::Year
                      ? m.Month.left(4)
                      : QStringLiteral("%1-Q%2").arg(m.Month.left(4)).arg((month + 2) / 3);
        if (groups.isEmpty() || groups.last().Month != key)
            groups.append({key, 0, 0});
        groups.last().InCents += m.InCents;
        groups.last().OutCents += m.OutCents;
    }
    return groups;
}

QString StepTitle(TChartStep step)
{
    switch (step) {
    case TChartStep::Quarter:
        return QStringLiteral("每季度收支");
    case TChartStep::Year:
        return QStringLiteral("每年收支");
    case TChartStep::Month:
        break;
    }
    return QStringLiteral("每月收支");
}

QString BarTip(const TChartMonth &entry, const QString &what, qint64 cents)
{
    return QStringLiteral("%1 %2：%3").arg(entry.Month, what, THi::FormatCents(cents));
}

QString SliceTip(const TChartSlice &slice)
{
    return QStringLiteral("%1：%2 (%3)")
        .arg(slice.Cate, THi::FormatCents(slice.Cents), slice.Share);
}

TChartData MakeChartData(const TSearchResult &result)
{
    return MakeChartData(result.OutCateRows, result.InCateRows, result.MonthRows, result.Start,
                         result.End);
}

TChartData MakeChartData(const TRankRows &outCateRows, const TRankRows &inCateRows,
                         const TMonthRows &monthRows, const QDate &start, const QDate &end)
{
    TChartData d;
    d.OutSlices = RankSlices(outCateRows);
    d.InSlices = RankSlices(inCateRows);
    const QList<TChartMonth> months = MonthSeries(monthRows, start, end);
    d.Step = StepForMonths(months.size());
    d.Months = GroupMonths(months, d.Step);
    return d;
}

QDate BudgetMonthOf(const QDate &start, const QDate &end)
{
    if (!start.isValid() || !end.isValid() || start.year() != end.year() ||
        start.month() != end.month())
        return {};
    return QDate(start.year(), start.month(), 1);
}

void AddBudgets(TChartData &data, const TSearchResult &whole, const TBudgetPlan &plan)
{
    data.Budgets.clear();
    data.BudgetTitle.clear();
    const QDate month = BudgetMonthOf(whole.Start, whole.End);
    if (!month.isValid())
        return;
    data.Budgets = plan.figures(month, BudgetSpentOf(whole.OutCateRows));
    if (data.Budgets.isEmpty())
        return;
    data.BudgetTitle = QStringLiteral("预算：%1年%2月").arg(month.year()).arg(month.month());
    const QDate last = month.addMonths(1).addDays(-1);
    if (whole.Start != month || whole.End != last)
        data.BudgetTitle += QStringLiteral("（只计 %1 至 %2 的支出）")
                                .arg(THi::DateToYmd(whole.Start), THi::DateToYmd(whole.End));
}
