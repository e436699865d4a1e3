#include "QuickRange.h"

namespace {

TDateSpan WholeMonth(const QDate &any)
{
    const QDate start(any.year(), any.month(), 1);
    return {start, start.addMonths(1).addDays(-1)};
}

TDateSpan WholeYear(int year)
{
    return {QDate(year, 1, 1), QDate(year, 12, 31)};
}

} // namespace

QString TQuickRange::Name(Kind kind)
{
    switch (kind) {
    case ThisMonth:
        return QStringLiteral("本月");
    case LastMonth:
        return QStringLiteral("上月");
    case ThisYear:
        return QStringLiteral("今年");
    case LastYear:
        return QStringLiteral("去年");
    case All:
        break;
    }
    return QStringLiteral("全部");
}

QString TQuickRange::Id(Kind kind)
{
    switch (kind) {
    case ThisMonth:
        return QStringLiteral("this-month");
    case LastMonth:
        return QStringLiteral("last-month");
    case ThisYear:
        return QStringLiteral("this-year");
    case LastYear:
        return QStringLiteral("last-year");
    case All:
        break;
    }
    return QStringLiteral("all");
}

std::optional<TQuickRange::Kind> TQuickRange::FromId(const QString &id)
{
    for (Kind k : Kinds()) {
        if (Id(k) == id)
            return k;
    }
    return std::nullopt;
}

TDateSpan TQuickRange::Range(Kind kind, const QDate &today, const QDate &first, const QDate &last)
{
    switch (kind) {
    case ThisMonth:
        return WholeMonth(today);
    case LastMonth:
        return WholeMonth(QDate(today.year(), today.month(), 1).addMonths(-1));
    case ThisYear:
        return WholeYear(today.year());
    case LastYear:
        return WholeYear(today.year() - 1);
    case All:
        break;
    }
    if (!first.isValid())
        return {today, today};
    QDate end = today;
    if (last.isValid() && last > end)
        end = last;
    // A first record dated after today (entered ahead) still starts the range.
    return {first < end ? first : end, end};
}

std::optional<TQuickRange::Kind> TQuickRange::Which(const TDateSpan &span, const QDate &today,
                                                    const QDate &first, const QDate &last)
{
    for (Kind k : Kinds()) {
        if (k == All && !first.isValid())
            continue;
        if (Range(k, today, first, last) == span)
            return k;
    }
    return std::nullopt;
}
