#pragma once

// What the bill preview decides before anything is stored, without widgets:
// the order the lines are shown in (those to import first, in the file's
// order, then the skipped ones grouped by reason), which lines are ticked,
// the category of each, the sums of the ticked lines, and the rules the
// person asked to remember. The preview window shows it; tests drive it.

#include "BillRules.h"

#include <QList>

class TBillPreview {
public:
    explicit TBillPreview(QList<TBillLine> lines);

    int Count() const { return int(m_order.size()); }
    // The line shown in row `row`, and its index in the file's order.
    const TBillLine &Line(int row) const { return m_lines.at(m_order.at(row)); }
    int FileIndex(int row) const { return m_order.at(row); }
    // The first row of each group, for the group headers: rows to import
    // first, then one group per skip reason.
    bool StartsGroup(int row) const;

    bool IsTicked(int row) const { return m_ticked.at(m_order.at(row)); }
    // Ticks a line in or out; false when nothing changed.
    bool SetTicked(int row, bool ticked);
    void SetAllTicked(SkipReason group, bool ticked);
    int TickedCount() const { return m_summary.count[0] + m_summary.count[1]; }

    bool IsEdited(int row) const { return m_edited.at(m_order.at(row)); }
    // The person's own category; false when it is the one the line had. An
    // empty name is refused.
    bool SetCategory(int row, const QString &category);

    // The type of a line the bill left neutral (the only one whose type is
    // a guess); false for any other line, or when nothing changed.
    bool CanSetType(int row) const { return Line(row).skip == SkipReason::Neutral; }
    bool SetType(int row, BillType type);

    // Whether the person changed anything: a tick, a category, a type, a rule.
    bool IsChanged() const { return m_changed; }

    // The word a rule made from this line would look for: the counterparty,
    // or the goods where the bill names none. Empty: no rule can be offered.
    QString RuleWord(int row) const;
    // Remembers "word → category" (a later rule for the same word replaces
    // the earlier one) and gives its category to the other lines of the
    // same type whose counterparty or goods contain the word and whose
    // category the person has not chosen by hand. Returns the rows changed.
    QList<int> AddRule(const QString &word, const QString &category, BillType type);
    const QList<TCategoryRule> &Rules() const { return m_rules; }

    // Proposes again, from context and the rules remembered here, the
    // category of every line the person has not chosen by hand (after the
    // app-class table changed). Returns the rows changed.
    QList<int> Repropose(const TCategoryContext &context);

    // The ticked lines in the file's order, with their final categories; a
    // skipped line ticked in by hand comes as a line to import.
    QList<TBillLine> ChosenLines() const;
    // Counts and sums of the ticked lines, and what stays unticked by reason.
    const TBillSummary &Summary() const { return m_summary; }

    // The reasons in the order their groups are shown.
    static QList<SkipReason> GroupOrder();

private:
    void Count(int index, int sign);

    QList<TBillLine> m_lines;
    QList<int> m_order;
    QList<bool> m_ticked;
    QList<bool> m_edited;
    QList<TCategoryRule> m_rules;
    TBillSummary m_summary;
    bool m_changed = false;
};
