#include "Budget.h"

#include <QtTest>

class TestBudget : public QObject {
    Q_OBJECT

private slots:
    void level_data();
    void level();
    void figures_data();
    void figures();
    void budgetForAMonth_data();
    void budgetForAMonth();
    void categoriesOfAMonth();
    void monthFigures();
    void rename_data();
    void rename();
    void crossings_data();
    void crossings();
};

namespace {

const QDate Dec(2026, 12, 9);

// The plan the month tests share: food 2,000.00 a month, 1,500.00 in
// December; transport 300.00; clothes only in November (600.00); books
// 100.00 but none in December; 8,000.00 for all expenses.
TBudgetPlan Family()
{
    TBudgetPlan p;
    p.setDefault(u"餐饮"_qs, 200000);
    p.setOverride(QDate(2026, 12, 1), u"餐饮"_qs, 150000);
    p.setDefault(u"交通"_qs, 30000);
    p.setOverride(QDate(2026, 11, 20), u"服装"_qs, 60000);
    p.setDefault(u"书籍"_qs, 10000);
    p.setOverride(QDate(2026, 12, 31), u"书籍"_qs, 0);
    p.setDefault(TBudgetPlan::AllExpenses, 800000);
    return p;
}

QString LevelName(TBudgetLevel l)
{
    switch (l) {
    case TBudgetLevel::Green:
        return u"green"_qs;
    case TBudgetLevel::Amber:
        return u"amber"_qs;
    case TBudgetLevel::Red:
        break;
    }
    return u"red"_qs;
}

} // namespace

void TestBudget::level_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<qint64>("spent");
    QTest::addColumn<QString>("level");

    QTest::addRow("nothing spent") << qint64(10000) << qint64(0) << u"green"_qs;
    QTest::addRow("a cent under 80 %%") << qint64(10000) << qint64(7999) << u"green"_qs;
    QTest::addRow("exactly 80 %%") << qint64(10000) << qint64(8000) << u"amber"_qs;
    QTest::addRow("exactly 100 %%") << qint64(10000) << qint64(10000) << u"amber"_qs;
    QTest::addRow("a cent over") << qint64(10000) << qint64(10001) << u"red"_qs;
    QTest::addRow("80 %% between cents, under") << qint64(3) << qint64(2) << u"green"_qs;
    QTest::addRow("80 %% between cents, over") << qint64(3) << qint64(3) << u"amber"_qs;
    QTest::addRow("one-cent budget used") << qint64(1) << qint64(1) << u"amber"_qs;
    QTest::addRow("one-cent budget over") << qint64(1) << qint64(2) << u"red"_qs;
    QTest::addRow("refunds above spending") << qint64(10000) << qint64(-500) << u"green"_qs;
    QTest::addRow("sums past 2^63 / 100")
        << qint64(9000000000000000000) << qint64(7300000000000000000) << u"amber"_qs;
}

void TestBudget::level()
{
    QFETCH(qint64, budget);
    QFETCH(qint64, spent);
    QFETCH(QString, level);
    QCOMPARE(LevelName(TBudgetPlan::Level(budget, spent)), level);
    QCOMPARE(LevelName(TBudgetPlan::Figures(budget, spent).Level), level);
}

void TestBudget::figures_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<qint64>("spent");
    QTest::addColumn<qint64>("left");
    QTest::addColumn<int>("percent");

    QTest::addRow("half") << qint64(10000) << qint64(5000) << qint64(5000) << 50;
    QTest::addRow("79.99 %% shows 79") << qint64(10000) << qint64(7999) << qint64(2001) << 79;
    QTest::addRow("over") << qint64(10000) << qint64(12345) << qint64(-2345) << 123;
    QTest::addRow("nothing spent") << qint64(10000) << qint64(0) << qint64(10000) << 0;
    QTest::addRow("refunds") << qint64(10000) << qint64(-100) << qint64(10100) << 0;
    QTest::addRow("ten times over, large")
        << qint64(900000000000000) << qint64(9000000000000000) << qint64(-8100000000000000) << 1000;
}

void TestBudget::figures()
{
    QFETCH(qint64, budget);
    QFETCH(qint64, spent);
    QFETCH(qint64, left);
    QFETCH(int, percent);
    const TBudgetFigures f = TBudgetPlan::Figures(budget, spent);
    QCOMPARE(f.Budget, budget);
    QCOMPARE(f.Spent, spent);
    QCOMPARE(f.Left, left);
    QCOMPARE(f.Percent, percent);
}

void TestBudget::budgetForAMonth_data()
{
    QTest::addColumn<QDate>("month");
    QTest::addColumn<QString>("category");
    QTest::addColumn<qint64>("budget"); // -1: none

    QTest::addRow("default") << QDate(2026, 11, 1) << u"餐饮"_qs << qint64(200000);
    QTest::addRow("override") << QDate(2026, 12, 1) << u"餐饮"_qs << qint64(150000);
    QTest::addRow("override on any day") << QDate(2026, 12, 31) << u"餐饮"_qs << qint64(150000);
    QTest::addRow("override only that month") << QDate(2027, 1, 1) << u"餐饮"_qs << qint64(200000);
    QTest::addRow("same month a year on") << QDate(2027, 12, 1) << u"餐饮"_qs << qint64(200000);
    QTest::addRow("only an override") << QDate(2026, 11, 30) << u"服装"_qs << qint64(60000);
    QTest::addRow("only an override, other month")
        << QDate(2026, 12, 1) << u"服装"_qs << qint64(-1);
    QTest::addRow("override of nothing") << QDate(2026, 12, 1) << u"书籍"_qs << qint64(-1);
    QTest::addRow("no budget at all") << QDate(2026, 12, 1) << u"娱乐"_qs << qint64(-1);
    QTest::addRow("all expenses") << QDate(2026, 12, 1) << TBudgetPlan::AllExpenses
                                  << qint64(800000);
}

void TestBudget::budgetForAMonth()
{
    QFETCH(QDate, month);
    QFETCH(QString, category);
    QFETCH(qint64, budget);
    QCOMPARE(Family().budgetFor(month, category).value_or(-1), budget);
}

void TestBudget::categoriesOfAMonth()
{
    TBudgetPlan p = Family();
    QCOMPARE(p.categories(Dec), (QStringList{QString(), u"交通"_qs, u"餐饮"_qs}));
    QCOMPARE(p.categories(QDate(2026, 11, 1)),
             (QStringList{QString(), u"书籍"_qs, u"交通"_qs, u"服装"_qs, u"餐饮"_qs}));
    p.clearOverride(Dec, u"书籍"_qs);
    QCOMPARE(p.budgetFor(Dec, u"书籍"_qs).value_or(-1), qint64(10000));
    p.setDefault(u"交通"_qs, 0);
    QVERIFY(!p.budgetFor(Dec, u"交通"_qs));
    QVERIFY(!p.isEmpty());
    QVERIFY(TBudgetPlan().isEmpty());
}

void TestBudget::monthFigures()
{
    // Spending per category as the month's sums in cents; categories
    // without a budget are left out, budgets without spending show 0.
    const QHash<QString, qint64> spent{
        {u"餐饮"_qs, 123456}, {u"娱乐"_qs, 99999}, {TBudgetPlan::AllExpenses, 223455}};
    const QList<TBudgetFigures> f = Family().figures(Dec, spent);
    QCOMPARE(f.size(), 3);
    QCOMPARE(f.at(0).Category, TBudgetPlan::AllExpenses);
    QCOMPARE(f.at(0).Left, qint64(800000 - 223455));
    QCOMPARE(f.at(1).Category, u"交通"_qs);
    QCOMPARE(f.at(1).Spent, qint64(0));
    QCOMPARE(f.at(1).Left, qint64(30000));
    QCOMPARE(f.at(2).Category, u"餐饮"_qs);
    QCOMPARE(f.at(2).Budget, qint64(150000));
    QCOMPARE(f.at(2).Left, qint64(150000 - 123456));
    QCOMPARE(f.at(2).Percent, 82);
    QCOMPARE(LevelName(f.at(2).Level), u"amber"_qs);
}

void TestBudget::rename_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QDate>("month");
    QTest::addColumn<qint64>("budgetTo");

    QTest::addRow("default follows")
        << u"交通"_qs << u"出行"_qs << QDate(2026, 10, 1) << qint64(30000);
    QTest::addRow("override follows") << u"餐饮"_qs << u"吃饭"_qs << Dec << qint64(150000);
    QTest::addRow("only an override follows")
        << u"服装"_qs << u"衣服"_qs << QDate(2026, 11, 1) << qint64(60000);
    QTest::addRow("merged defaults add up")
        << u"交通"_qs << u"餐饮"_qs << QDate(2026, 10, 1) << qint64(230000);
    QTest::addRow("merged override and default add up")
        << u"交通"_qs << u"餐饮"_qs << Dec << qint64(180000);
    QTest::addRow("merged into a month without budget")
        << u"交通"_qs << u"书籍"_qs << Dec << qint64(30000);
    QTest::addRow("merged, the other's override month")
        << u"餐饮"_qs << u"交通"_qs << Dec << qint64(180000);
    QTest::addRow("renamed to itself") << u"餐饮"_qs << u"餐饮"_qs << Dec << qint64(150000);
}

void TestBudget::rename()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QDate, month);
    QFETCH(qint64, budgetTo);
    TBudgetPlan p = Family();
    p.renameCategory(from, to);
    QCOMPARE(p.budgetFor(month, to).value_or(-1), budgetTo);
    if (from != to) {
        QVERIFY(!p.budgetFor(month, from));
        QVERIFY(!p.defaultFor(from));
        QVERIFY(!p.overrideFor(month, from));
    }
    // The other months keep their sums too.
    const QDate other(2027, 3, 1);
    const TBudgetPlan before = Family();
    const qint64 expected = from == to ? before.budgetFor(other, to).value_or(-1)
                                       : before.budgetFor(other, from).value_or(0) +
                                             before.budgetFor(other, to).value_or(0);
    QCOMPARE(p.budgetFor(other, to).value_or(0), expected);
}

void TestBudget::crossings_data()
{
    QTest::addColumn<qint64>("before");
    QTest::addColumn<qint64>("after");
    QTest::addColumn<int>("threshold"); // 0: not named

    // Transport: 300.00.
    QTest::addRow("stays green") << qint64(10000) << qint64(23999) << 0;
    QTest::addRow("reaches 80 %%") << qint64(10000) << qint64(24000) << 80;
    QTest::addRow("passes 80 %%") << qint64(23999) << qint64(25000) << 80;
    QTest::addRow("stays amber") << qint64(24000) << qint64(29000) << 0;
    QTest::addRow("reaches 100 %%, not over") << qint64(29000) << qint64(30000) << 0;
    QTest::addRow("passes 100 %%") << qint64(30000) << qint64(30001) << 100;
    QTest::addRow("green to red at once") << qint64(0) << qint64(50000) << 100;
    QTest::addRow("already red") << qint64(31000) << qint64(40000) << 0;
    QTest::addRow("an edit lowered it") << qint64(31000) << qint64(10000) << 0;
}

void TestBudget::crossings()
{
    QFETCH(qint64, before);
    QFETCH(qint64, after);
    QFETCH(int, threshold);
    const TBudgetPlan p = Family();
    // Entertainment has no budget: never named, however much.
    const QHash<QString, qint64> was{{u"交通"_qs, before}, {u"娱乐"_qs, 0}};
    const QHash<QString, qint64> now{{u"交通"_qs, after}, {u"娱乐"_qs, 9999999}};
    const QList<TBudgetCrossing> c = p.crossings(Dec, was, now);
    if (threshold == 0) {
        QVERIFY(c.isEmpty());
        return;
    }
    QCOMPARE(c.size(), 1);
    QCOMPARE(c.at(0).Category, u"交通"_qs);
    QCOMPARE(c.at(0).Threshold, threshold);
    QCOMPARE(c.at(0).After.Spent, after);
    QCOMPARE(c.at(0).After.Category, u"交通"_qs);
}

QTEST_GUILESS_MAIN(TestBudget)
#include "tst_Budget.moc"
