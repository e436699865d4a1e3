// TDbMan's budget block: an account's monthly budgets (table budgets,
// schema version 3) and the spending they are measured against, written
// once for both engines.

#include "BudgetStore.h"

#include "DbClass.h"
#include "DbConn.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

#include <cmath>

namespace {

QByteArray enc(const QString &text)
{
    return THi::Base64Encode(text).toLatin1();
}

// "yyyy-mm" as stored; an invalid date for anything else.
QDate monthOf(const QByteArray &key)
{
    if (key.size() != 7 || key.at(4) != '-')
        return {};
    bool yearOk = false, monthOk = false;
    const int year = key.left(4).toInt(&yearOk);
    const int month = key.mid(5).toInt(&monthOk);
    if (!yearOk || !monthOk)
        return {};
    return QDate(year, month, 1);
}

TBudgetPlan readPlan(TConn &c, const QByteArray &encUser)
{
    TBudgetPlan plan;
    // One row per (cate, month) by the unique index, so their order does not matter.
    Stmt q(c, "select \"cate\",\"month\",\"cents\" from \"budgets\" where \"user\"=?");
    q.bind(1, encUser);
    while (q.step()) {
        const QString cate = q.decoded(0);
        const QByteArray month = q.bytes(1);
        if (month.isEmpty()) {
            plan.setDefault(cate, q.int64(2));
        } else if (const QDate m = monthOf(month); m.isValid()) {
            plan.setOverride(m, cate, q.int64(2));
        }
    }
    return plan;
}

// Replaces one row (user, cate, month) by the value, or removes it.
void writeRow(TConn &c, const QByteArray &encUser, const QByteArray &encCate,
              const QByteArray &month, std::optional<qint64> cents)
{
    Stmt del(c, "delete from \"budgets\" where \"user\"=? and \"cate\"=? and \"month\"=?");
    del.bind(1, encUser).bind(2, encCate).bind(3, month);
    del.step();
    if (!cents)
        return;
    Stmt ins(c, "insert into \"budgets\" (\"user\",\"cate\",\"month\",\"cents\") values "
                "(?,?,?,?)");
    ins.bind(1, encUser).bind(2, encCate).bind(3, month).bind(4, *cents);
    ins.step();
}

// A budget's name and amount as typed into the window or a script: a
// category name (or AllExpenses) and whole cents below the records' limit.
void checkBudget(const QString &cate, qint64 cents)
{
    if (cate != TBudgetPlan::AllExpenses && THi::CateName(cate) != cate)
        throw EDbError(
            QStringLiteral("类别名称“%1”无效：它不能是空的，也不能分成几行。预算没有保存。")
                .arg(cate));
    if (cents < 0 || double(cents) >= THi::MaxAmount * 100.0)
        throw EDbError(
            QStringLiteral("预算金额“%1”无效，预算没有保存。").arg(THi::FormatCents(cents)));
}

} // namespace

QByteArray BudgetMonthKey(const QDate &month)
{
    if (!month.isValid())
        return QByteArray();
    return QByteArray::number(month.year()).rightJustified(4, '0') + '-' +
           QByteArray::number(month.month()).rightJustified(2, '0');
}

QList<TBudgetRow> BudgetRows(const TBudgetMonth &month, const QStringList &pickList,
                             bool budgetedOnly)
{
    QList<TBudgetRow> rows;
    QSet<QString> seen;
    const auto add = [&](const QString &cate) {
        if (seen.contains(cate))
            return;
        seen.insert(cate);
        TBudgetRow row;
        row.Category = cate;
        row.Default = month.Plan.defaultFor(cate);
        row.Override = month.Plan.overrideFor(month.Month, cate);
        row.Spent = month.Spent.value(cate);
        if (const auto budget = month.Plan.budgetFor(month.Month, cate)) {
            row.Figures = TBudgetPlan::Figures(*budget, row.Spent);
            row.Figures->Category = cate;
        }
        if (!budgetedOnly || row.Figures)
            rows << row;
    };
    add(TBudgetPlan::AllExpenses);
    for (const QString &cate : month.Plan.categories(month.Month))
        add(cate);
    if (budgetedOnly)
        return rows;
    QList<QPair<qint64, QString>> spent;
    for (auto it = month.Spent.cbegin(); it != month.Spent.cend(); ++it) {
        if (!it.key().isEmpty() && !seen.contains(it.key()))
            spent.append({it.value(), it.key()});
    }
    std::sort(spent.begin(), spent.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto &s : spent)
        add(s.second);
    for (const QString &item : pickList) {
        const QString cate = THi::CateName(item);
        if (!cate.isEmpty())
            add(cate);
    }
    return rows;
}

QString BudgetCrossingText(const QList<TBudgetSaveCrossing> &crossings)
{
    if (crossings.isEmpty())
        return QString();
    const bool severalMonths =
        std::any_of(crossings.cbegin(), crossings.cend(), [&](const TBudgetSaveCrossing &c) {
            return c.Month != crossings.first().Month;
        });
    QStringList parts;
    for (const TBudgetSaveCrossing &c : crossings) {
        const TBudgetFigures &f = c.Crossing.After;
        QString part = severalMonths ? QStringLiteral("%1月").arg(c.Month.month()) : QString();
        part += TBudgetPlan::DisplayName(c.Crossing.Category);
        part += f.Level == TBudgetLevel::Red ? QStringLiteral("超出预算（%1%）").arg(f.Percent)
                                             : QStringLiteral("已用 %1%").arg(f.Percent);
        parts << part;
    }
    return QStringLiteral("预算：") + parts.join(QStringLiteral("；"));
}

QHash<QString, qint64> BudgetSpentOf(const QList<TRankRow> &outCateRows)
{
    QHash<QString, qint64> spent;
    qint64 total = 0;
    for (const TRankRow &row : outCateRows) {
        spent[row.Cate] += row.Cents;
        total += row.Cents;
    }
    spent.insert(TBudgetPlan::AllExpenses, total);
    return spent;
}

void BudgetsFollowCate(TConn &c, const QByteArray &encUser, const QString &from, const QString &to)
{
    // The budget for all expenses has the empty name; no category is renamed to or from it.
    if (from == to || from.isEmpty() || to.isEmpty())
        return;
    const TBudgetPlan before = readPlan(c, encUser);
    TBudgetPlan after = before;
    after.renameCategory(from, to);
    if (after == before)
        return;
    // Only the rows of the two names change; rewriting them keeps it exact.
    for (const QString &cate : {from, to}) {
        Stmt del(c, "delete from \"budgets\" where \"user\"=? and \"cate\"=?");
        del.bind(1, encUser).bind(2, enc(cate));
        del.step();
    }
    const QByteArray encTo = enc(to);
    if (const auto d = after.defaultFor(to))
        writeRow(c, encUser, encTo, QByteArray(), *d);
    const auto &overrides = after.overrides();
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        if (it.key().second != to)
            continue;
        const QDate month(it.key().first / 100, it.key().first % 100, 1);
        writeRow(c, encUser, encTo, BudgetMonthKey(month), it.value());
    }
}

TBudgetPlan TDbMan::BudgetPlan(const QString &user)
{
    TConnRef c = Connect();
    return readPlan(c, enc(user));
}

void TDbMan::SetDefaultBudget(const QString &user, const QString &cate, qint64 cents)
{
    RefuseWrite();
    checkBudget(cate, cents);
    TConnRef c = Connect();
    WriteTransaction(c, [&] {
        writeRow(c, enc(user), enc(cate), QByteArray(),
                 cents > 0 ? std::optional<qint64>(cents) : std::nullopt);
    });
}

void TDbMan::SetMonthBudget(const QString &user, const QString &cate, const QDate &month,
                            std::optional<qint64> cents)
{
    RefuseWrite();
    if (!month.isValid())
        throw EDbError(QStringLiteral("月份无效，预算没有保存。"));
    checkBudget(cate, cents.value_or(0));
    TConnRef c = Connect();
    WriteTransaction(c, [&] { writeRow(c, enc(user), enc(cate), BudgetMonthKey(month), cents); });
}

TPeriod TDbMan::QueryPeriodAndBudgets(const QString &user, const QString &start, const QString &end,
                                      TBudgetPlan &plan)
{
    TConnRef c = Connect();
    plan = readPlan(c, enc(user));
    return QueryPeriodOn(c, user, start, end);
}

QHash<QString, qint64> TDbMan::MonthSpending(const QString &user, const QDate &month)
{
    const QDate first(month.year(), month.month(), 1);
    const QByteArray start = THi::DateToYmd(first).toLatin1();
    const QByteArray end = THi::DateToYmd(first.addMonths(1).addDays(-1)).toLatin1();
    TConnRef c = Connect();
    // The ranking's sums: each record rounded to cents, then added, so
    // neither engine's rounding of a half cent decides a budget's level.
    Stmt q(c,
           "select \"cate\",\"amount\" from \"data\" where \"user\"=? and \"date\">=? and "
           "\"date\"<=? and \"type\"=?",
           Stmt::Streamed);
    q.bind(1, enc(user)).bind(2, start).bind(3, end).bind(4, TypeExpense());
    QHash<QByteArray, qint64> byStored;
    qint64 total = 0;
    while (q.step()) {
        const qint64 cents = std::llround(q.number(1) * 100.0);
        byStored[q.bytes(0)] += cents;
        total += cents;
    }
    QHash<QString, qint64> spent;
    for (auto it = byStored.cbegin(); it != byStored.cend(); ++it)
        spent[THi::Base64DecodeBytes(it.key())] += it.value();
    spent.insert(TBudgetPlan::AllExpenses, total);
    return spent;
}

TBudgetMonth TDbMan::BudgetMonth(const QString &user, const QDate &month)
{
    TBudgetMonth m;
    m.Month = QDate(month.year(), month.month(), 1);
    m.Plan = BudgetPlan(user);
    m.Spent = MonthSpending(user, m.Month);
    return m;
}

QList<TBudgetSaveCrossing> TDbMan::BudgetCrossings(const QString &user, const TBatchRows &saved)
{
    // What this save added per month and category; the spending before it
    // is the spending now less that.
    QMap<QDate, QHash<QString, qint64>> added;
    for (const TBatchRow &row : saved) {
        if (row.Type != TypeExpense())
            continue;
        const QDate day = QDate::fromString(row.Date, Qt::ISODate);
        if (!day.isValid())
            continue;
        QHash<QString, qint64> &month = added[QDate(day.year(), day.month(), 1)];
        month[row.Cate] += row.Cents;
        month[TBudgetPlan::AllExpenses] += row.Cents;
    }
    QList<TBudgetSaveCrossing> out;
    if (added.isEmpty())
        return out;
    const TBudgetPlan plan = BudgetPlan(user);
    for (auto it = added.cbegin(); it != added.cend(); ++it) {
        if (plan.categories(it.key()).isEmpty())
            continue;
        const QHash<QString, qint64> after = MonthSpending(user, it.key());
        QHash<QString, qint64> before = after;
        for (auto a = it->cbegin(); a != it->cend(); ++a)
            before[a.key()] -= a.value();
        for (const TBudgetCrossing &c : plan.crossings(it.key(), before, after))
            out.append({it.key(), c});
    }
    return out;
}
