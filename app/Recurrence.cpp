#include "Recurrence.h"

#include <QStringList>

#include <algorithm>

namespace {

QDate OnDay(int year, int month, int day)
{
    const QDate first(year, month, 1);
    return first.addDays(std::min(day, first.daysInMonth()) - 1);
}

const QStringView WeekDays[] = {u"一", u"二", u"三", u"四", u"五", u"六", u"日"};

} // namespace

TRecurrence::TRecurrence(Unit unit, int every, const QDate &start, const QDate &end, int day)
    : m_unit(unit), m_every(every), m_start(start), m_end(end)
{
    if (unit == Months || unit == Years)
        m_day = day == 0 && start.isValid() ? start.day() : day;
    if (isValid())
        m_skip = candidate(0) < m_start ? 1 : 0;
}

bool TRecurrence::isValid() const
{
    if (m_every < 1 || m_every > MaxEvery || !m_start.isValid() || m_start.year() < 1)
        return false;
    if (m_end.isValid() && m_end < m_start)
        return false;
    if (m_unit == Months || m_unit == Years)
        return m_day >= 1 && m_day <= 31;
    return m_unit == Days || m_unit == Weeks;
}

QDate TRecurrence::candidate(qint64 k) const
{
    switch (m_unit) {
    case Days:
        return m_start.addDays(k * m_every);
    case Weeks:
        return m_start.addDays(7 * k * m_every);
    case Months: {
        const qint64 m = qint64(m_start.year()) * 12 + (m_start.month() - 1) + k * m_every;
        return OnDay(int(m / 12), int(m % 12) + 1, m_day);
    }
    case Years:
        break;
    }
    return OnDay(int(m_start.year() + k * m_every), m_start.month(), m_day);
}

QDate TRecurrence::occurrence(qint64 k) const
{
    if (!isValid() || k < 0)
        return {};
    return candidate(k + m_skip);
}

qint64 TRecurrence::firstAfter(const QDate &date) const
{
    if (date < m_start)
        return 0;
    // An index surely past the date, then a binary search: occurrences only grow.
    const qint64 days = m_start.daysTo(date);
    qint64 hi = 0;
    switch (m_unit) {
    case Days:
        hi = days / m_every + 1;
        break;
    case Weeks:
        hi = days / (7 * qint64(m_every)) + 1;
        break;
    case Months:
        hi = ((qint64(date.year()) - m_start.year()) * 12 + date.month() - m_start.month()) /
                 m_every +
             1;
        break;
    case Years:
        hi = (qint64(date.year()) - m_start.year()) / m_every + 1;
        break;
    }
    qint64 lo = 0;
    while (lo < hi) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (occurrence(mid) > date)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

QDate TRecurrence::next(const QDate &after) const
{
    if (!isValid())
        return {};
    const QDate d = occurrence(after.isValid() ? firstAfter(after) : 0);
    if (m_end.isValid() && d > m_end)
        return {};
    return d;
}

TRecurrence::TDue TRecurrence::due(const QDate &lastDone, const QDate &today, int cap) const
{
    TDue out;
    if (!isValid() || !today.isValid())
        return out;
    QDate upto = today;
    if (m_end.isValid() && m_end < upto)
        upto = m_end;
    const qint64 first = lastDone.isValid() ? firstAfter(lastDone) : 0;
    const qint64 last = firstAfter(upto) - 1;
    if (last < first)
        return out;
    qint64 from = first;
    if (last - first + 1 > cap) {
        from = last - std::max(cap, 0) + 1;
        out.Skipped = from - first;
    }
    for (qint64 k = from; k <= last; ++k)
        out.Dates.append(occurrence(k));
    return out;
}

QString TRecurrence::toText() const
{
    if (!isValid())
        return {};
    static const char16_t units[] = {u'd', u'w', u'm', u'y'};
    QString s = QString::number(m_every) + QChar(units[m_unit]) + QChar(u';');
    if (m_unit == Months || m_unit == Years)
        s += QString::number(m_day);
    s += QChar(u';') + m_start.toString(Qt::ISODate) + QChar(u';');
    if (m_end.isValid())
        s += m_end.toString(Qt::ISODate);
    return s;
}

std::optional<TRecurrence> TRecurrence::FromText(QStringView text)
{
    const QList<QStringView> parts = text.split(u';');
    if (parts.size() != 4 || parts.at(0).size() < 2)
        return std::nullopt;
    const QStringView head = parts.at(0);
    Unit unit = Days;
    switch (head.back().unicode()) {
    case u'd':
        unit = Days;
        break;
    case u'w':
        unit = Weeks;
        break;
    case u'm':
        unit = Months;
        break;
    case u'y':
        unit = Years;
        break;
    default:
        return std::nullopt;
    }
    // Plain digits only: toInt would take signs and blanks.
    auto number = [](QStringView s, int *v) {
        if (s.isEmpty() || s.size() > 3)
            return false;
        for (QChar c : s) {
            if (c < u'0' || c > u'9')
                return false;
        }
        *v = s.toInt();
        return true;
    };
    auto date = [](QStringView s) {
        return s.size() == 10 ? QDate::fromString(s.toString(), Qt::ISODate) : QDate();
    };
    int every = 0, day = 0;
    if (!number(head.chopped(1), &every))
        return std::nullopt;
    const bool hasDay = unit == Months || unit == Years;
    if (hasDay ? !number(parts.at(1), &day) : !parts.at(1).isEmpty())
        return std::nullopt;
    if (hasDay && day == 0)
        return std::nullopt;
    const QDate start = date(parts.at(2));
    const QDate end = parts.at(3).isEmpty() ? QDate() : date(parts.at(3));
    if (!start.isValid() || (!parts.at(3).isEmpty() && !end.isValid()))
        return std::nullopt;
    TRecurrence rule(unit, every, start, end, day);
    if (!rule.isValid())
        return std::nullopt;
    return rule;
}

QString TRecurrence::describe() const
{
    if (!isValid())
        return {};
    const QString n = QString::number(m_every);
    switch (m_unit) {
    case Days:
        return m_every == 1 ? QStringLiteral("每天") : QStringLiteral("每 %1 天").arg(n);
    case Weeks: {
        const QString wd = WeekDays[m_start.dayOfWeek() - 1].toString();
        return m_every == 1 ? QStringLiteral("每周") + wd
                            : QStringLiteral("每 %1 周（周%2）").arg(n, wd);
    }
    case Months: {
        const QString every =
            m_every == 1 ? QStringLiteral("每月") : QStringLiteral("每 %1 个月").arg(n);
        if (m_day == 31)
            return every + QStringLiteral("最后一天");
        QString s = every + QStringLiteral(" %1 日").arg(m_day);
        if (m_day > 28)
            s += QStringLiteral("（短月取最后一天）");
        return s;
    }
    case Years:
        break;
    }
    const QString every = m_every == 1 ? QStringLiteral("每年") : QStringLiteral("每 %1 年").arg(n);
    const int month = m_start.month();
    // The longest the month ever is (29 for February) and the shortest.
    const int longest = QDate(2000, month, 1).daysInMonth();
    const int shortest = QDate(2001, month, 1).daysInMonth();
    const int day = std::min(m_day, longest);
    QString s = every + QStringLiteral(" %1 月 %2 日").arg(month).arg(day);
    if (day > shortest)
        s += QStringLiteral("（平年取 %1 月 %2 日）").arg(month).arg(shortest);
    return s;
}

bool TRecurrence::operator==(const TRecurrence &o) const
{
    return m_unit == o.m_unit && m_every == o.m_every && m_start == o.m_start && m_end == o.m_end &&
           m_day == o.m_day;
}
