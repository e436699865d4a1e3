#include "BillPreview.h"

#include <algorithm>
#include <numeric>

QList<SkipReason> TBillPreview::GroupOrder()
{
    // Duplicates first among the skipped: they are the ones a person checks.
    return {SkipReason::None,      SkipReason::Duplicate, SkipReason::Neutral,
            SkipReason::Closed,    SkipReason::Refunded,  SkipReason::OtherStatus,
            SkipReason::ZeroAmount};
}

TBillPreview::TBillPreview(QList<TBillLine> lines) : m_lines(std::move(lines))
{
    const QList<SkipReason> groups = GroupOrder();
    QList<int> rank(m_lines.size());
    for (int i = 0; i < m_lines.size(); ++i)
        rank[i] = int(groups.indexOf(m_lines.at(i).skip));
    m_order.resize(m_lines.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    std::stable_sort(m_order.begin(), m_order.end(),
                     [&rank](int a, int b) { return rank.at(a) < rank.at(b); });
    m_ticked.resize(m_lines.size());
    m_edited.fill(false, m_lines.size());
    for (int i = 0; i < m_lines.size(); ++i) {
        m_ticked[i] = m_lines.at(i).toImport();
        Count(i, 1);
    }
}

void TBillPreview::Count(int index, int sign)
{
    const TBillLine &line = m_lines.at(index);
    if (m_ticked.at(index)) {
        m_summary.count[int(line.type)] += sign;
        m_summary.cents[int(line.type)] += sign * line.cents;
    } else {
        // An unticked line to import counts as the person's own choice.
        m_summary.skipped[line.skip] += sign;
        m_summary.skippedCents[line.skip] += sign * line.cents;
        if (m_summary.skipped.value(line.skip) == 0) {
            m_summary.skipped.remove(line.skip);
            m_summary.skippedCents.remove(line.skip);
        }
    }
}

bool TBillPreview::StartsGroup(int row) const
{
    return row == 0 || Line(row).skip != Line(row - 1).skip;
}

bool TBillPreview::SetTicked(int row, bool ticked)
{
    const int index = m_order.at(row);
    if (m_ticked.at(index) == ticked)
        return false;
    Count(index, -1);
    m_ticked[index] = ticked;
    Count(index, 1);
    m_changed = true;
    return true;
}

bool TBillPreview::SetType(int row, BillType type)
{
    const int index = m_order.at(row);
    if (!CanSetType(row) || m_lines.at(index).type == type)
        return false;
    Count(index, -1);
    m_lines[index].type = type;
    Count(index, 1);
    m_changed = true;
    return true;
}

void TBillPreview::SetAllTicked(SkipReason group, bool ticked)
{
    for (int row = 0; row < Count(); ++row) {
        if (Line(row).skip == group)
            SetTicked(row, ticked);
    }
}

bool TBillPreview::SetCategory(int row, const QString &category)
{
    const QString name = category.trimmed();
    TBillLine &line = m_lines[m_order.at(row)];
    if (name.isEmpty() || name == line.category)
        return false;
    line.category = name;
    m_edited[m_order.at(row)] = true;
    m_changed = true;
    return true;
}

QString TBillPreview::RuleWord(int row) const
{
    const TBillLine &line = Line(row);
    QString party = line.counterparty.trimmed();
    // "/" is how the apps write "nobody".
    if (!party.isEmpty() && party != u"/")
        return party;
    const QString goods = line.goods.trimmed();
    return goods == u"/" ? QString() : goods;
}

QList<int> TBillPreview::AddRule(const QString &word, const QString &category, BillType type)
{
    QList<int> changed;
    const QString w = word.trimmed();
    const QString c = category.trimmed();
    if (w.isEmpty() || c.isEmpty())
        return changed;
    auto same = std::find_if(m_rules.begin(), m_rules.end(), [&w](const TCategoryRule &r) {
        return r.word.compare(w, Qt::CaseInsensitive) == 0;
    });
    if (same != m_rules.end())
        same->category = c;
    else
        m_rules.append({w, c});
    m_changed = true;
    for (int row = 0; row < Count(); ++row) {
        const int index = m_order.at(row);
        TBillLine &line = m_lines[index];
        if (m_edited.at(index) || line.type != type || line.category == c)
            continue;
        if (line.counterparty.contains(w, Qt::CaseInsensitive) ||
            line.goods.contains(w, Qt::CaseInsensitive)) {
            line.category = c;
            changed.append(row);
        }
    }
    return changed;
}

QList<int> TBillPreview::Repropose(const TCategoryContext &context)
{
    // This window's rules count as if already stored, before the stored ones
    // for the same word: a line one of them reached keeps that category.
    TCategoryContext withRules = context;
    withRules.rules = m_rules + context.rules;
    QList<int> changed;
    for (int row = 0; row < Count(); ++row) {
        const int index = m_order.at(row);
        if (m_edited.at(index))
            continue;
        TBillLine &line = m_lines[index];
        const QString category = BillRules::ProposeCategory(line, withRules);
        if (category == line.category)
            continue;
        line.category = category;
        changed.append(row);
    }
    return changed;
}

QList<TBillLine> TBillPreview::ChosenLines() const
{
    QList<TBillLine> chosen;
    chosen.reserve(TickedCount());
    for (int i = 0; i < m_lines.size(); ++i) {
        if (!m_ticked.at(i))
            continue;
        chosen.append(m_lines.at(i));
        chosen.last().skip = SkipReason::None;
    }
    return chosen;
}
