#pragma once

// The rule of a recurring entry: every N days, weeks, months or years from a
// start date, up to an optional end date. Monthly and yearly rules fall on a
// day of the month (yearly ones in the start's month); in a month too short
// for that day they fall on its last day, and the next long month has the
// rule's own day again (31 means the last day of every month). Weekly rules
// keep the start's weekday.
//
// Occurrences are counted from the start: the first is the first candidate
// on or after the start (a rule "on the 5th" starting on the 20th first falls
// on the 5th of the next period), so a rule "every 2 months" keeps its
// rhythm whatever days were skipped.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

class TRecurrence {
public:
    enum Unit { Days, Weeks, Months, Years };
    static constexpr int MaxEvery = 999;
    // Dates handed out at most per call of Due: a daily rule after a long
    // absence proposes its last two months, not years of lines.
    static constexpr int MaxDue = 62;

    TRecurrence() = default; // not valid
    // day: for Months and Years 1..31, 0 for the start's day; ignored otherwise.
    TRecurrence(Unit unit, int every, const QDate &start, const QDate &end = QDate(), int day = 0);

    // every in 1..MaxEvery, a start, an end not before it, a day in 1..31.
    bool isValid() const;
    Unit unit() const { return m_unit; }
    int every() const { return m_every; }
    QDate start() const { return m_start; }
    QDate end() const { return m_end; } // invalid: no end
    int day() const { return m_day; }   // Months and Years; 0 otherwise

    // The k-th occurrence from 0, ignoring the end date.
    QDate occurrence(qint64 k) const;
    // The first occurrence after a date (on or after the start, up to the
    // end); invalid when there is none.
    QDate next(const QDate &after) const;

    struct TDue {
        QList<QDate> Dates; // oldest first, at most the cap
        qint64 Skipped = 0; // earlier due dates left out for the cap
    };
    // The dates that fell due after lastDone up to and including today
    // (invalid lastDone: since the start). After a gap longer than the cap
    // allows, the newest cap dates.
    TDue due(const QDate &lastDone, const QDate &today, int cap = MaxDue) const;

    // The stored form, e.g. "1m;31;2026-01-31;" or "2w;;2026-01-05;2026-12-31":
    // every and unit (d, w, m, y), the day (empty for d and w), start, end.
    QString toText() const;
    // Nothing for a text that is not a valid rule.
    static std::optional<TRecurrence> FromText(QStringView text);

    // For lists: "每天", "每 2 周（周三）", "每月 5 日", "每月最后一天",
    // "每 3 个月 30 日（短月取最后一天）", "每年 2 月 29 日（平年取 2 月 28 日）".
    QString describe() const;

    bool operator==(const TRecurrence &o) const;

private:
    QDate candidate(qint64 k) const;
    qint64 firstAfter(const QDate &date) const; // smallest k with occurrence(k) > date

    Unit m_unit = Days;
    int m_every = 0;
    QDate m_start, m_end;
    int m_day = 0;
    qint64 m_skip = 0; // 1 when the start's period's candidate lies before the start
};
