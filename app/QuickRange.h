#pragma once

// The quick ranges beside the browser's dates: 本月, 上月, 今年, 去年, 全部.
// Each has a fixed id (kept per account to remember the last choice) and
// gives a start and an end date for a given today, so that a range
// remembered in December means the new month when the program opens in
// January.

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

struct TDateSpan {
    QDate Start, End; // both included
    bool operator==(const TDateSpan &o) const { return Start == o.Start && End == o.End; }
};

class TQuickRange {
public:
    // The order of the buttons.
    enum Kind { ThisMonth, LastMonth, ThisYear, LastYear, All };

    TQuickRange() = delete;

    static QList<Kind> Kinds() { return {ThisMonth, LastMonth, ThisYear, LastYear, All}; }
    // The button's text: "本月", "上月", "今年", "去年", "全部".
    static QString Name(Kind kind);
    // The id kept in the settings: "this-month", "last-month", "this-year",
    // "last-year", "all". Ids never change once released.
    static QString Id(Kind kind);
    // The kind of a kept id; nothing for an unknown or empty id (a setting
    // written by a newer release, or hand-edited).
    static std::optional<Kind> FromId(const QString &id);

    // The dates of a range for today. Months and years are whole: 本月 ends on
    // the month's last day, so records entered ahead (rent due next week)
    // show. 全部 runs from the account's first record to its last, and never
    // ends before today; with no records (first invalid) it is today alone.
    // first and last: the account's earliest and latest record dates.
    static TDateSpan Range(Kind kind, const QDate &today, const QDate &first = QDate(),
                           const QDate &last = QDate());

    // Which quick range the dates shown are, if any (the button to show as
    // chosen); 全部 is recognised only when first is given.
    static std::optional<Kind> Which(const TDateSpan &span, const QDate &today,
                                     const QDate &first = QDate(), const QDate &last = QDate());
};
