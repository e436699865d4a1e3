#pragma once

// Monthly budgets of one account and the figures shown beside them.
//
// A category's budget for a month is its override for that month if it has
// one, else its default. An override of 0 means "no budget this month" (a
// default that does not apply to, say, the holiday month); a default of 0
// is no default. The budget for all expenses together sits under the key
// AllExpenses (an empty name, which no category can have).
//
// Levels, on exact cents (no rounding): green while spent is under 80 % of
// the budget; amber from exactly 80 % up to and including 100 % (the budget
// is used up but not overrun); red once spent is more than the budget.

#include <QDate>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

enum class TBudgetLevel { Green, Amber, Red };

struct TBudgetFigures {
    QString Category;
    qint64 Budget = 0; // cents, > 0
    qint64 Spent = 0;
    qint64 Left = 0; // Budget - Spent; negative when over
    int Percent = 0; // spent of budget, rounded down (79.99 % shows 79)
    TBudgetLevel Level = TBudgetLevel::Green;
};

// A category whose level rose with a save: "passed 80 %" (to Amber) or
// "passed 100 %" (to Red, possibly straight from Green).
struct TBudgetCrossing {
    QString Category;
    int Threshold = 0; // 80 or 100: the highest one passed
    TBudgetFigures After;
};

class TBudgetPlan {
public:
    static const QString AllExpenses; // the key of the budget for all expenses

    // cents <= 0 removes the default.
    void setDefault(const QString &category, qint64 cents);
    // For the month of `month` (any day in it); 0 means no budget that month.
    void setOverride(const QDate &month, const QString &category, qint64 cents);
    void clearOverride(const QDate &month, const QString &category);

    std::optional<qint64> defaultFor(const QString &category) const;
    // The override as set (0 included); nothing when the month has none.
    std::optional<qint64> overrideFor(const QDate &month, const QString &category) const;
    // The budget that applies; nothing when the category has none that month.
    std::optional<qint64> budgetFor(const QDate &month, const QString &category) const;
    // Categories with a budget in that month, sorted, AllExpenses first when set.
    QStringList categories(const QDate &month) const;

    // A category renamed (or merged into another): its defaults and
    // overrides follow it; where both names had a budget, they add up, as
    // the spending of both now counts under one name.
    void renameCategory(const QString &from, const QString &to);

    bool isEmpty() const { return m_defaults.isEmpty() && m_overrides.isEmpty(); }

    // Figures of every budgeted category of the month, in categories() order,
    // from the month's spending per category (AllExpenses: the total).
    QList<TBudgetFigures> figures(const QDate &month, const QHash<QString, qint64> &spent) const;
    // The categories whose level rose between spending before and after a
    // save, in categories() order.
    QList<TBudgetCrossing> crossings(const QDate &month, const QHash<QString, qint64> &before,
                                     const QHash<QString, qint64> &after) const;

    // The figures of one budget (budget > 0).
    static TBudgetFigures Figures(qint64 budget, qint64 spent);
    static TBudgetLevel Level(qint64 budget, qint64 spent);
    // How lists and exports name a level ("正常", "已用八成以上", "超出预算")
    // and a budget's category (AllExpenses is "全部支出").
    static QString LevelText(TBudgetLevel level);
    static QString DisplayName(const QString &category);

    // What the store keeps: the defaults, and the overrides by month
    // (yyyymm, e.g. 202612) and category.
    const QMap<QString, qint64> &defaults() const { return m_defaults; }
    const QMap<QPair<int, QString>, qint64> &overrides() const { return m_overrides; }
    static int MonthKey(const QDate &d) { return d.year() * 100 + d.month(); }

    bool operator==(const TBudgetPlan &o) const
    {
        return m_defaults == o.m_defaults && m_overrides == o.m_overrides;
    }

private:
    QMap<QString, qint64> m_defaults;
    QMap<QPair<int, QString>, qint64> m_overrides; // (yyyymm, category)
};
