#include "YearTable.h"

#include <QHash>

#include <algorithm>

void TYearCells::Add(int month, qint64 cents, qint64 count)
{
    Cents[size_t(month)] += cents;
    Count[size_t(month)] += count;
    TotalCents += cents;
    TotalCount += count;
}

QString TYearLine::Text(int col) const
{
    if (col == YearType)
        return Type;
    if (col == YearCate)
        return Name;
    if (col < YearJan || col > YearTotal)
        return QString();
    const std::optional<qint64> &c = Cents[size_t(col - YearJan)];
    return c ? THi::FormatCents(*c) : QString();
}

QDate TYearTable::First(int month) const
{
    return QDate(Year, month < 12 ? month + 1 : 1, 1);
}

QDate TYearTable::Last(int month) const
{
    return month < 12 ? First(month).addMonths(1).addDays(-1) : QDate(Year, 12, 31);
}

QString TYearTable::MonthName(int month)
{
    return QStringLiteral("%1月").arg(month + 1);
}

QStringList TYearTable::ColumnNames()
{
    QStringList names{QStringLiteral("类型"), QStringLiteral("项目")};
    for (int m = 0; m < 12; ++m)
        names << MonthName(m);
    names << QStringLiteral("全年");
    return names;
}

namespace {

TYearLine lineOf(TYearLine::TKind kind, const QString &type, const QString &name,
                 const TYearCells &cells)
{
    TYearLine line;
    line.Kind = kind;
    line.Type = type;
    line.Name = name;
    for (int m = 0; m < 12; ++m) {
        if (cells.Has(m))
            line.Cents[size_t(m)] = cells.Cents[size_t(m)];
    }
    if (cells.TotalCount > 0)
        line.Cents[12] = cells.TotalCents;
    return line;
}

} // namespace

QList<TYearLine> TYearTable::Lines() const
{
    QList<TYearLine> lines;
    for (const TYearRow &row : OutRows)
        lines << lineOf(TYearLine::Category, row.Type, row.Cate, row);
    for (const TYearRow &row : InRows)
        lines << lineOf(TYearLine::Category, row.Type, row.Cate, row);
    lines << lineOf(TYearLine::OutTotal, QString(), QStringLiteral("支出合计"), OutTotals);
    lines << lineOf(TYearLine::InTotal, QString(), QStringLiteral("收入合计"), InTotals);

    // The balance of a month with records of either type; empty otherwise.
    TYearLine balance;
    balance.Kind = TYearLine::Balance;
    balance.Name = QStringLiteral("结余");
    for (int m = 0; m < 12; ++m) {
        if (OutTotals.Has(m) || InTotals.Has(m))
            balance.Cents[size_t(m)] = InTotals.Cents[size_t(m)] - OutTotals.Cents[size_t(m)];
    }
    if (OutTotals.TotalCount > 0 || InTotals.TotalCount > 0)
        balance.Cents[12] = BalanceCents();
    lines << balance;
    return lines;
}

TYearTable MakeYearTable(TDbMan &db, const QString &user, int year)
{
    TYearTable t;
    t.User = user;
    t.Year = year;

    // Month by month, so each cell is the sum the ranking of that month shows
    // (the same records, the same type words, the same exact cents).
    QHash<QString, int> outAt, inAt;
    for (int m = 0; m < 12; ++m) {
        const TPeriod p =
            db.QueryPeriod(user, THi::DateToYmd(t.First(m)), THi::DateToYmd(t.Last(m)));
        const auto add = [m](const TRankRows &ranks, QList<TYearRow> &rows, QHash<QString, int> &at,
                             TYearCells &totals) {
            for (const TRankRow &rank : ranks) {
                auto it = at.constFind(rank.Cate);
                if (it == at.cend()) {
                    TYearRow row;
                    row.Type = rank.Type;
                    row.Cate = rank.Cate;
                    it = at.insert(rank.Cate, int(rows.size()));
                    rows << row;
                }
                rows[it.value()].Add(m, rank.Cents, rank.Count);
                totals.Add(m, rank.Cents, rank.Count);
            }
        };
        add(p.OutCateRows, t.OutRows, outAt, t.OutTotals);
        add(p.InCateRows, t.InRows, inAt, t.InTotals);
    }

    const auto order = [](const TYearRow &a, const TYearRow &b) {
        if (a.TotalCents != b.TotalCents)
            return a.TotalCents > b.TotalCents;
        return a.Cate < b.Cate;
    };
    std::sort(t.OutRows.begin(), t.OutRows.end(), order);
    std::sort(t.InRows.begin(), t.InRows.end(), order);

    if (year > 1) {
        const TPeriod last = db.QueryPeriod(user, THi::DateToYmd(QDate(year - 1, 1, 1)),
                                            THi::DateToYmd(QDate(year - 1, 12, 31)));
        for (const TSumRow &row : last.MonthRows) {
            const int m = row.Key.mid(5, 2).toInt() - 1;
            if (m >= 0 && m < 12) {
                t.LastOutCents[size_t(m)] = row.OutCents;
                t.LastInCents[size_t(m)] = row.InCents;
            }
        }
    }
    return t;
}
