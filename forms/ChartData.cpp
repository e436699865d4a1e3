#include "ChartData.h"

#include "HiClass.h"

#include <QHash>

#include <algorithm>

#include <cmath>

QString RestCaption()
{
    return QStringLiteral("其他");
}

QString ShareText(qint64 part, qint64 total)
{
    if (total == 0)
        return QStringLiteral("0.00%");
    return THi::FormatFloat(double(part) * 100.0 / double(total)) + QLatin1Char('%');
}

qint64 TextToCents(const QString &text)
{
    bool ok = false;
    const double v = THi::Trim(text).toDouble(&ok);
    return ok && std::isfinite(v) ? qint64(std::llround(v * 100.0)) : 0;
}

QList<TChartSlice> RankSlices(const TRowList &rankRows, int maxSlices)
{
    QList<TChartSlice> slices;
    qint64 total = 0, rest = 0;
    for (const TRow &row : rankRows)
        total += TextToCents(row.value(RankSum));
    for (int i = 0; i < rankRows.size(); ++i) {
        const TRow &row = rankRows.at(i);
        const qint64 cents = TextToCents(row.value(RankSum));
        if (i < maxSlices) {
            // The share as the ranking list shows it, so both read alike.
            slices.append(
                {row.value(RankType), row.value(RankCate), cents, row.value(RankShare), false});
        } else {
            rest += cents;
        }
    }
    if (rankRows.size() > maxSlices) {
        slices.append(
            {rankRows.first().value(RankType), RestCaption(), rest, ShareText(rest, total), true});
    }
    return slices;
}

QList<TChartMonth> MonthSeries(const TRowList &monthRows, const QDate &start, const QDate &end)
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
    for (const TRow &row : monthRows) {
        const QString key = THi::Trim(row.value(MonthMonth));
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
        m.InCents += TextToCents(row.value(MonthIn));
        m.OutCents += TextToCents(row.value(MonthOut));
    }
    return months;
}

TChartData MakeChartData(const TRowList &outCateRows, const TRowList &inCateRows,
                         const TRowList &monthRows, const QDate &start, const QDate &end)
{
    TChartData d;
    d.OutSlices = RankSlices(outCateRows);
    d.InSlices = RankSlices(inCateRows);
    d.Months = MonthSeries(monthRows, start, end);
    return d;
}
