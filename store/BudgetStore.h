#pragma once

// What the store answers about budgets (TDbMan's budget block in DbClass.h,
// store/BudgetStore.cpp): an account's plan, and the month's spending it is
// measured against, summed as the browser's ranking sums it (each record's
// amount in whole cents, expense records of the exact type word only).

#include "Budget.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class TConn;
struct TPeriod;
struct TRankRow;

// One month of one account: its plan and what was spent, per expense
// category and (under TBudgetPlan::AllExpenses) in total.
struct TBudgetMonth {
    QDate Month; // the first day of the month
    TBudgetPlan Plan;
    QHash<QString, qint64> Spent;

    // The budgeted categories' figures, AllExpenses first when set.
    QList<TBudgetFigures> Figures() const { return Plan.figures(Month, Spent); }
};

// One line of the 预算 window: a category (or all expenses), its budgets as
// stored, what was spent in the month, and the figures when the month has a
// budget for it.
struct TBudgetRow {
    QString Category; // TBudgetPlan::AllExpenses for all expenses
    std::optional<qint64> Default, Override;
    qint64 Spent = 0;
    std::optional<TBudgetFigures> Figures;

    QString Name() const { return TBudgetPlan::DisplayName(Category); }
};

// The month's lines: all expenses, the categories with a budget this month,
// those spent on without one (largest first), then the rest of the pick
// list (its order), each name once. With budgetedOnly, the first two only.
QList<TBudgetRow> BudgetRows(const TBudgetMonth &month, const QStringList &pickList = {},
                             bool budgetedOnly = false);

// A category that passed 80 % or 100 % of its budget with one save.
struct TBudgetSaveCrossing {
    QDate Month; // the first day of the month the records were saved in
    TBudgetCrossing Crossing;
};

// The short line an expense panel shows beside its total after a save:
// "预算：餐饮已用 85%；交通超出预算（112%）", the month named ("11月") only when the
// save reached several; empty when nothing passed a threshold.
QString BudgetCrossingText(const QList<TBudgetSaveCrossing> &crossings);

// The expense ranking's sums as the plan takes them: each category's sum,
// and their total under AllExpenses.
QHash<QString, qint64> BudgetSpentOf(const QList<TRankRow> &outCateRows);

// Inside RenameCate's transaction: the budgets of an expense category follow
// it to its new name (TBudgetPlan::renameCategory).
void BudgetsFollowCate(TConn &c, const QByteArray &encUser, const QString &from, const QString &to);

// TDbMan::QueryPeriod on a connection already open (store/DbClass.cpp), so
// that the budgets can be read on the same one.
TPeriod QueryPeriodOn(TConn &c, const QString &user, const QString &start, const QString &end);

// The month key as stored: "yyyy-mm"; '' for the default.
QByteArray BudgetMonthKey(const QDate &month);
