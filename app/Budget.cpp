#include "Budget.h"

#include <algorithm>
#include <limits>

const QString TBudgetPlan::AllExpenses;

namespace {

// Products of cents and percentages in 128 bits: sums of many large amounts
// times 100 can pass 2^63.
__extension__ typedef __int128 Wide;

} // namespace

void TBudgetPlan::setDefault(const QString &category, qint64 cents)
{
    if (cents > 0)
        m_defaults.insert(category, cents);
    else
        m_defaults.remove(category);
}

void TBudgetPlan::setOverride(const QDate &month, const QString &category, qint64 cents)
{
    m_overrides.insert({MonthKey(month), category}, std::max<qint64>(cents, 0));
}

void TBudgetPlan::clearOverride(const QDate &month, const QString &category)
{
    m_overrides.remove({MonthKey(month), category});
}

std::optional<qint64> TBudgetPlan::defaultFor(const QString &category) const
{
    const auto it = m_defaults.constFind(category);
    if (it == m_defaults.cend())
        return std::nullopt;
    return *it;
}

std::optional<qint64> TBudgetPlan::overrideFor(const QDate &month, const QString &category) const
{
    const auto it = m_overrides.constFind({MonthKey(month), category});
    if (it == m_overrides.cend())
        return std::nullopt;
    return *it;
}

std::optional<qint64> TBudgetPlan::budgetFor(const QDate &month, const QString &category) const
{
    const std::optional<qint64> o = overrideFor(month, category);
    if (o)
        return *o > 0 ? o : std::nullopt;
    return defaultFor(category);
}

QStringList TBudgetPlan::categories(const QDate &month) const
{
    QStringList names = m_defaults.keys();
    const int key = MonthKey(month);
    for (auto it = m_overrides.cbegin(); it != m_overrides.cend(); ++it) {
        if (it.key().first == key)
            names.append(it.key().second);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    // QString() sorts first, so AllExpenses leads when present.
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const QString &c) { return !budgetFor(month, c); }),
                names.end());
    return names;
}

void TBudgetPlan::renameCategory(const QString &from, const QString &to)
{
    if (from == to)
        return;
    // Months where either name has an override: what both had there,
    // defaults included, before anything moves.
    QList<QPair<QDate, qint64>> months;
    QList<QPair<int, QString>> fromKeys;
    for (auto it = m_overrides.cbegin(); it != m_overrides.cend(); ++it) {
        const QString &c = it.key().second;
        if (c != from && c != to)
            continue;
        if (c == from)
            fromKeys.append(it.key());
        const QDate month(it.key().first / 100, it.key().first % 100, 1);
        if (std::none_of(months.cbegin(), months.cend(),
                         [&](const QPair<QDate, qint64> &m) { return m.first == month; }))
            months.append(
                {month, budgetFor(month, from).value_or(0) + budgetFor(month, to).value_or(0)});
    }
    if (const auto d = defaultFor(from)) {
        m_defaults.remove(from);
        setDefault(to, defaultFor(to).value_or(0) + *d);
    }
    for (const auto &key : fromKeys)
        m_overrides.remove(key);
    for (const auto &m : months)
        setOverride(m.first, to, m.second);
}

TBudgetLevel TBudgetPlan::Level(qint64 budget, qint64 spent)
{
    if (Wide(spent) * 100 < Wide(budget) * 80)
        return TBudgetLevel::Green;
    return spent > budget ? TBudgetLevel::Red : TBudgetLevel::Amber;
}

QString TBudgetPlan::LevelText(TBudgetLevel level)
{
    switch (level) {
    case TBudgetLevel::Green:
        return QStringLiteral("正常");
    case TBudgetLevel::Amber:
        return QStringLiteral("已用八成以上");
    case TBudgetLevel::Red:
        break;
    }
    return QStringLiteral("超出预算");
}

QString TBudgetPlan::DisplayName(const QString &category)
{
    return category.isEmpty() ? QStringLiteral("全部支出") : category;
}

TBudgetFigures TBudgetPlan::Figures(qint64 budget, qint64 spent)
{
    TBudgetFigures f;
    f.Budget = budget;
    f.Spent = spent;
    f.Left = budget - spent;
    if (budget > 0 && spent > 0) {
        const Wide p = Wide(spent) * 100 / budget;
        f.Percent = int(std::min<Wide>(p, std::numeric_limits<int>::max()));
    }
    f.Level = Level(budget, spent);
    return f;
}

QList<TBudgetFigures> TBudgetPlan::figures(const QDate &month,
                                           const QHash<QString, qint64> &spent) const
{
    QList<TBudgetFigures> out;
    for (const QString &c : categories(month)) {
        TBudgetFigures f = Figures(*budgetFor(month, c), spent.value(c));
        f.Category = c;
        out.append(f);
    }
    return out;
}

QList<TBudgetCrossing> TBudgetPlan::crossings(const QDate &month,
                                              const QHash<QString, qint64> &before,
                                              const QHash<QString, qint64> &after) const
{
    QList<TBudgetCrossing> out;
    for (const QString &c : categories(month)) {
        const qint64 budget = *budgetFor(month, c);
        const TBudgetLevel was = Level(budget, before.value(c));
        TBudgetFigures now = Figures(budget, after.value(c));
        if (now.Level <= was)
            continue;
        now.Category = c;
        out.append({c, now.Level == TBudgetLevel::Red ? 100 : 80, now});
    }
    return out;
}
