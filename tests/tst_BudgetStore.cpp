// What the store keeps of budgets and the spending they are measured
// against: defaults and month overrides, the month's figures against the
// browser's ranking, categories renamed or merged, and the categories a save
// pushes past 80 % or 100 %. Built twice: on data files, and as
// tst_BudgetStore_pg on the test cluster.

#include "DbClass.h"
#include "TestSupport.h"

#include <QtTest>

class TestBudgetStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void planRoundTrips();
    void setAndClear_data();
    void setAndClear();
    void badBudgetIsRefused_data();
    void badBudgetIsRefused();
    void readOnlyLedgerRefusesBudgets();
    void monthSpendingIsTheRankingsSums_data();
    void monthSpendingIsTheRankingsSums();
    void monthFigures();
    void renameCarriesBudgets_data();
    void renameCarriesBudgets();
    void failedRenameKeepsRecordsAndBudgets();
    void crossingsOfASave_data();
    void crossingsOfASave();
    void crossingText_data();
    void crossingText();

private:
    bool onPg() const { return !m_pgUrl.isEmpty(); }
    void add(const QString &date, const QString &cate, qint64 cents,
             const QString &type = TypeExpense(), const QString &user = QStringLiteral("Li"));
    // The store's rows of a whole plan in a readable form: "餐饮|2026-12|150000".
    QStringList storedRows();

    const QString Li = QStringLiteral("Li");
    const QString Wang = QStringLiteral("Wang");
    QString m_pgUrl;
    std::unique_ptr<TestSupport::DataFile> m_data;
    std::unique_ptr<TDbMan> m_db;
};

namespace {

const QString Food = QStringLiteral("餐饮");
const QString Travel = QStringLiteral("交通");
const QString Takeaway = QStringLiteral("外卖");
const QString Meals = QStringLiteral("伙食");
const QString Odd = QStringLiteral("水电,\"燃气\"");
const QDate Nov(2026, 11, 1);
const QDate Dec(2026, 12, 1);
const QDate Jan(2027, 1, 1);

// "餐饮 150000 2026-12" style descriptions of a plan's budgets for a month:
// "category=cents" per budgeted category, sorted, "*" for all expenses.
QString budgetsOf(const TBudgetPlan &plan, const QDate &month)
{
    QStringList out;
    for (const QString &c : plan.categories(month)) {
        out << (c.isEmpty() ? QStringLiteral("*") : c) + QLatin1Char('=') +
                   QString::number(*plan.budgetFor(month, c));
    }
    return out.join(QLatin1Char(' '));
}

QDate monthArg(const QString &text)
{
    return QDate::fromString(text + QStringLiteral("-01"), Qt::ISODate);
}

QString cateArg(const QString &text)
{
    return text == QLatin1String("*") ? TBudgetPlan::AllExpenses : text;
}

} // namespace

void TestBudgetStore::initTestCase()
{
    QString error;
    m_pgUrl = TestSupport::PgTestUrl(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestBudgetStore::init()
{
    m_data = onPg() ? std::make_unique<TestSupport::DataFile>(m_pgUrl)
                    : std::make_unique<TestSupport::DataFile>();
    m_db = std::make_unique<TDbMan>(m_data->path());
    m_db->AddUser(Li, QStringLiteral("1"));
    m_db->AddUser(Wang, QStringLiteral("2"));
}

void TestBudgetStore::cleanup()
{
    m_db.reset();
    m_data.reset();
}

void TestBudgetStore::add(const QString &date, const QString &cate, qint64 cents,
                          const QString &type, const QString &user)
{
    m_db->AddRecord(user, date, type, cate, cents, QString());
}

QStringList TestBudgetStore::storedRows()
{
    TestSupport::Raw r(m_data->path());
    const QString all = r.column(QStringLiteral("select \"cate\" || '|' || \"month\" || '|' || "
                                                "\"cents\" from \"budgets\" order by \"id\""),
                                 0);
    QStringList rows;
    for (const QString &row : all.split(QStringLiteral(" | "), Qt::SkipEmptyParts)) {
        const qsizetype bar = row.indexOf(QLatin1Char('|'));
        rows << THi::Base64Decode(row.left(bar)) + row.mid(bar);
    }
    rows.sort();
    return rows;
}

void TestBudgetStore::planRoundTrips()
{
    TBudgetPlan expected;
    expected.setDefault(Food, 200000);
    expected.setOverride(Dec, Food, 150000);
    expected.setOverride(Nov, Food, 0);
    expected.setDefault(Odd, 12345);
    expected.setDefault(TBudgetPlan::AllExpenses, 800000);
    expected.setOverride(Jan, Travel, 30001);

    m_db->SetDefaultBudget(Li, Food, 200000);
    m_db->SetMonthBudget(Li, Food, Dec.addDays(20), 150000);
    m_db->SetMonthBudget(Li, Food, Nov, 0);
    m_db->SetDefaultBudget(Li, Odd, 12345);
    m_db->SetDefaultBudget(Li, TBudgetPlan::AllExpenses, 800000);
    m_db->SetMonthBudget(Li, Travel, Jan, 30001);
    m_db->SetDefaultBudget(Wang, Food, 99);

    // Read back by another store object, as another running copy would.
    TDbMan other(m_data->path());
    QCOMPARE(other.BudgetPlan(Li), expected);
    QCOMPARE(budgetsOf(other.BudgetPlan(Wang), Dec), QStringLiteral("餐饮=99"));
    QVERIFY(other.BudgetPlan(QStringLiteral("nobody")).isEmpty());

    // Texts stored as the other tables store them (base64 of GB18030),
    // months as plain "yyyy-mm", the default under ''.
    TestSupport::Raw r(m_data->path());
    QCOMPARE(r.value(QStringLiteral("select \"cate\" from \"budgets\" where \"cents\"=12345")),
             THi::Base64Encode(Odd));
    QCOMPARE(r.value(QStringLiteral("select \"month\" from \"budgets\" where \"cents\"=150000")),
             QStringLiteral("2026-12"));
    QCOMPARE(r.value(QStringLiteral("select count(*) from \"budgets\" where \"month\"='' "
                                    "and \"cate\"=''")),
             QStringLiteral("1"));
}

void TestBudgetStore::setAndClear_data()
{
    // Steps: "default CATE CENTS", "month YYYY-MM CATE CENTS" or
    // "month YYYY-MM CATE -" (the month follows the default again); "*" is
    // all expenses. Then the budgets of November and December and the rows kept.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("november");
    QTest::addColumn<QString>("december");
    QTest::addColumn<int>("rows");

    QTest::addRow("default only") << QStringList{u"default 餐饮 200000"_qs} << u"餐饮=200000"_qs
                                  << u"餐饮=200000"_qs << 1;
    QTest::addRow("a month lower")
        << QStringList{u"default 餐饮 200000"_qs, u"month 2026-12 餐饮 150000"_qs}
        << u"餐饮=200000"_qs << u"餐饮=150000"_qs << 2;
    QTest::addRow("a month without budget")
        << QStringList{u"default 餐饮 200000"_qs, u"month 2026-12 餐饮 0"_qs} << u"餐饮=200000"_qs
        << QString() << 2;
    QTest::addRow("a month back to the default")
        << QStringList{u"default 餐饮 200000"_qs, u"month 2026-12 餐饮 150000"_qs,
                       u"month 2026-12 餐饮 -"_qs}
        << u"餐饮=200000"_qs << u"餐饮=200000"_qs << 1;
    QTest::addRow("default replaced, not doubled")
        << QStringList{u"default 餐饮 100000"_qs, u"default 餐饮 250000"_qs} << u"餐饮=250000"_qs
        << u"餐饮=250000"_qs << 1;
    QTest::addRow("month replaced, not doubled")
        << QStringList{u"month 2026-12 餐饮 100000"_qs, u"month 2026-12 餐饮 90000"_qs} << QString()
        << u"餐饮=90000"_qs << 1;
    QTest::addRow("default removed, the month's own stays")
        << QStringList{u"default 餐饮 200000"_qs, u"month 2026-12 餐饮 150000"_qs,
                       u"default 餐饮 0"_qs}
        << QString() << u"餐饮=150000"_qs << 1;
    QTest::addRow("only one month")
        << QStringList{u"month 2026-12 交通 5000"_qs} << QString() << u"交通=5000"_qs << 1;
    QTest::addRow("all expenses first")
        << QStringList{u"default 餐饮 200000"_qs, u"default * 800000"_qs,
                       u"month 2026-11 * 600000"_qs}
        << u"*=600000 餐饮=200000"_qs << u"*=800000 餐饮=200000"_qs << 3;
    QTest::addRow("removing what is not there")
        << QStringList{u"default 餐饮 0"_qs, u"month 2026-12 餐饮 -"_qs} << QString() << QString()
        << 0;
}

void TestBudgetStore::setAndClear()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, november);
    QFETCH(QString, december);
    QFETCH(int, rows);
    for (const QString &step : steps) {
        const QStringList w = step.split(QLatin1Char(' '));
        if (w[0] == QLatin1String("default")) {
            m_db->SetDefaultBudget(Li, cateArg(w[1]), w[2].toLongLong());
        } else {
            const std::optional<qint64> cents =
                w[3] == QLatin1String("-") ? std::nullopt : std::optional(w[3].toLongLong());
            m_db->SetMonthBudget(Li, cateArg(w[2]), monthArg(w[1]), cents);
        }
    }
    const TBudgetPlan plan = m_db->BudgetPlan(Li);
    QCOMPARE(budgetsOf(plan, Nov), november);
    QCOMPARE(budgetsOf(plan, Dec), december);
    QCOMPARE(m_data->count(QStringLiteral("budgets")), rows);
}

void TestBudgetStore::badBudgetIsRefused_data()
{
    QTest::addColumn<QString>("cate");
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<bool>("month");

    QTest::addRow("negative default") << Food << qint64(-1) << false;
    QTest::addRow("negative month") << Food << qint64(-100) << true;
    QTest::addRow("at the records' limit") << Food << qint64(1000000000000) << false;
    QTest::addRow("name over two lines") << u"餐饮\n交通"_qs << qint64(100) << false;
    QTest::addRow("name of blanks") << u"  "_qs << qint64(100) << true;
    QTest::addRow("name with blanks around") << u" 餐饮"_qs << qint64(100) << false;
}

void TestBudgetStore::badBudgetIsRefused()
{
    QFETCH(QString, cate);
    QFETCH(qint64, cents);
    QFETCH(bool, month);
    bool refused = false;
    try {
        if (month)
            m_db->SetMonthBudget(Li, cate, Dec, cents);
        else
            m_db->SetDefaultBudget(Li, cate, cents);
    } catch (const EDbError &e) {
        refused = true;
        QVERIFY2(e.text().contains(QStringLiteral("预算没有保存")), qPrintable(e.text()));
    }
    QVERIFY(refused);
    QCOMPARE(m_data->count(QStringLiteral("budgets")), 0);

    // An invalid month is refused as well.
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->SetMonthBudget(Li, Food, QDate(), qint64(100)));
    QCOMPARE(m_data->count(QStringLiteral("budgets")), 0);
}

void TestBudgetStore::readOnlyLedgerRefusesBudgets()
{
    m_db->SetDefaultBudget(Li, Food, 200000);
    m_db->SetReadOnly(true);
    QVERIFY_THROWS_EXCEPTION(EDbCannotWrite, m_db->SetDefaultBudget(Li, Food, 100));
    QVERIFY_THROWS_EXCEPTION(EDbCannotWrite, m_db->SetMonthBudget(Li, Food, Dec, qint64(100)));
    QCOMPARE(budgetsOf(m_db->BudgetPlan(Li), Dec), QStringLiteral("餐饮=200000"));
}

void TestBudgetStore::monthSpendingIsTheRankingsSums_data()
{
    QTest::addColumn<QDate>("month");
    QTest::addColumn<qint64>("food");
    QTest::addColumn<qint64>("total");

    QTest::addRow("december, days at both ends") << Dec << qint64(12030) << qint64(17043);
    QTest::addRow("november, one record") << Nov << qint64(0) << qint64(999);
    QTest::addRow("january, no records") << Jan << qint64(0) << qint64(0);
    QTest::addRow("february of a leap year") << QDate(2028, 2, 10) << qint64(100) << qint64(100);
}

void TestBudgetStore::monthSpendingIsTheRankingsSums()
{
    QFETCH(QDate, month);
    QFETCH(qint64, food);
    QFETCH(qint64, total);

    add(u"2026-11-30"_qs, Travel, 999);
    add(u"2026-12-01"_qs, Food, 10000);
    add(u"2026-12-31"_qs, Food, 2000);
    // Three dimes add up to exactly 30 cents, as the ranking adds them.
    for (int i = 0; i < 3; ++i)
        add(u"2026-12-15"_qs, Food, 10);
    add(u"2026-12-15"_qs, Odd, 5000);
    add(u"2026-12-16"_qs, Food, 88888, TypeIncome()); // income of the same name
    add(u"2026-12-16"_qs, Food, 77777, TypeExpense(), Wang);
    add(u"2027-02-01"_qs, Food, 55);
    add(u"2028-02-29"_qs, Food, 100);
    add(u"2028-03-01"_qs, Food, 7);
    // Rows an older program or a hand edit left: a half cent (each engine's
    // round() would settle it differently; the ranking rounds each record
    // away from zero), and a type word with a blank that the ranking leaves out.
    const QString rawInsert =
        QStringLiteral("insert into \"data\" (\"user\",\"date\",\"type\",\"cate\",\"amount\","
                       "\"notes\") values ('%1','2026-12-20','%2','%3',%4,'')");
    QCOMPARE(m_data->exec(rawInsert.arg(THi::Base64Encode(Li), TypeExpense(),
                                        THi::Base64Encode(Travel), QStringLiteral("0.125"))),
             QString());
    QCOMPARE(m_data->exec(rawInsert.arg(THi::Base64Encode(Li), TypeExpense() + QLatin1Char(' '),
                                        THi::Base64Encode(Food), QStringLiteral("40"))),
             QString());

    const QHash<QString, qint64> spent = m_db->MonthSpending(Li, month);
    const QDate first(month.year(), month.month(), 1);
    const TPeriod p = m_db->QueryPeriod(Li, THi::DateToYmd(first),
                                        THi::DateToYmd(first.addMonths(1).addDays(-1)));
    QCOMPARE(spent, BudgetSpentOf(p.OutCateRows));
    QCOMPARE(spent.value(TBudgetPlan::AllExpenses), p.OutCents);
    QCOMPARE(spent.value(Food), food);
    QCOMPARE(spent.value(TBudgetPlan::AllExpenses), total);
}

void TestBudgetStore::monthFigures()
{
    m_db->SetDefaultBudget(Li, Food, 200000);
    m_db->SetMonthBudget(Li, Food, Dec, 150000);
    m_db->SetDefaultBudget(Li, Travel, 30000);
    m_db->SetMonthBudget(Li, Travel, Nov, 0);
    m_db->SetDefaultBudget(Li, TBudgetPlan::AllExpenses, 300000);
    add(u"2026-12-03"_qs, Food, 120000);
    add(u"2026-12-04"_qs, Travel, 31000);
    add(u"2026-12-05"_qs, Odd, 149000);
    add(u"2026-11-03"_qs, Travel, 50000);

    struct Want {
        QString cate;
        qint64 budget, spent, left;
        TBudgetLevel level;
    };
    const auto check = [&](const QDate &month, const QList<Want> &want) {
        const TBudgetMonth m = m_db->BudgetMonth(Li, month.addDays(9));
        QCOMPARE(m.Month, month);
        const QList<TBudgetFigures> got = m.Figures();
        QCOMPARE(got.size(), want.size());
        for (int i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].Category, want[i].cate);
            QCOMPARE(got[i].Budget, want[i].budget);
            QCOMPARE(got[i].Spent, want[i].spent);
            QCOMPARE(got[i].Left, want[i].left);
            QCOMPARE(got[i].Level, want[i].level);
        }
    };
    // December: food's own budget, travel over, all expenses exactly used up.
    check(Dec, {{QString(), 300000, 300000, 0, TBudgetLevel::Amber},
                {Travel, 30000, 31000, -1000, TBudgetLevel::Red},
                {Food, 150000, 120000, 30000, TBudgetLevel::Amber}});
    // November: no travel budget that month, so its spending is not measured.
    check(Nov, {{QString(), 300000, 50000, 250000, TBudgetLevel::Green},
                {Food, 200000, 0, 200000, TBudgetLevel::Green}});
    // A month with neither records nor own budgets takes the defaults.
    check(Jan, {{QString(), 300000, 0, 300000, TBudgetLevel::Green},
                {Travel, 30000, 0, 30000, TBudgetLevel::Green},
                {Food, 200000, 0, 200000, TBudgetLevel::Green}});
    // Another account has no budget at all.
    QVERIFY(m_db->BudgetMonth(Wang, Dec).Figures().isEmpty());

    // The ranking and the plan read together are the two read apart.
    TBudgetPlan plan;
    const TPeriod both = m_db->QueryPeriodAndBudgets(Li, u"2026-12-01"_qs, u"2026-12-31"_qs, plan);
    QCOMPARE(plan, m_db->BudgetPlan(Li));
    const TPeriod alone = m_db->QueryPeriod(Li, u"2026-12-01"_qs, u"2026-12-31"_qs);
    QCOMPARE(both.OutCateRows, alone.OutCateRows);
    QCOMPARE(both.InCateRows, alone.InCateRows);
    QCOMPARE(plan.figures(Dec, BudgetSpentOf(both.OutCateRows)).size(), 3);
}

void TestBudgetStore::renameCarriesBudgets_data()
{
    // The rename's type, from, to; then the plan of December and November.
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("december");
    QTest::addColumn<QString>("november");
    QTest::addColumn<QStringList>("rows");

    QTest::addRow("to a new name")
        << TypeExpense() << Food << Meals << u"伙食=150000 外卖=50000"_qs
        << u"伙食=200000 外卖=50000"_qs
        << QStringList{u"伙食||200000"_qs, u"伙食|2026-12|150000"_qs, u"外卖||50000"_qs};
    QTest::addRow("typed with blanks around")
        << TypeExpense() << Food << u" 伙食 "_qs << u"伙食=150000 外卖=50000"_qs
        << u"伙食=200000 外卖=50000"_qs
        << QStringList{u"伙食||200000"_qs, u"伙食|2026-12|150000"_qs, u"外卖||50000"_qs};
    QTest::addRow("merged into a budgeted name")
        << TypeExpense() << Takeaway << Food << u"餐饮=200000"_qs << u"餐饮=250000"_qs
        << QStringList{u"餐饮||250000"_qs, u"餐饮|2026-12|200000"_qs};
    QTest::addRow("an income category of that name")
        << TypeIncome() << Food << Meals << u"外卖=50000 餐饮=150000"_qs
        << u"外卖=50000 餐饮=200000"_qs
        << QStringList{u"外卖||50000"_qs, u"餐饮||200000"_qs, u"餐饮|2026-12|150000"_qs};
    QTest::addRow("a category without budget")
        << TypeExpense() << Travel << Meals << u"外卖=50000 餐饮=150000"_qs
        << u"外卖=50000 餐饮=200000"_qs
        << QStringList{u"外卖||50000"_qs, u"餐饮||200000"_qs, u"餐饮|2026-12|150000"_qs};
}

void TestBudgetStore::renameCarriesBudgets()
{
    QFETCH(QString, type);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, december);
    QFETCH(QString, november);
    QFETCH(QStringList, rows);

    m_db->SetDefaultBudget(Li, Food, 200000);
    m_db->SetMonthBudget(Li, Food, Dec, 150000);
    m_db->SetDefaultBudget(Li, Takeaway, 50000);
    m_db->SetDefaultBudget(Wang, Food, 70000);
    add(u"2026-12-02"_qs, Food, 40000);
    add(u"2026-12-03"_qs, Takeaway, 3000);
    add(u"2026-12-04"_qs, Travel, 800);
    add(u"2026-12-05"_qs, Food, 20000, TypeIncome());

    m_db->RenameCate(Li, type, from, to);

    const TBudgetPlan plan = m_db->BudgetPlan(Li);
    QCOMPARE(budgetsOf(plan, Dec), december);
    QCOMPARE(budgetsOf(plan, Nov), november);
    QStringList expected = rows;
    expected << u"餐饮||70000"_qs; // Wang's budget never moves
    expected.sort();
    QCOMPARE(storedRows(), expected);
    // The figures follow the records to the new name, as the ranking does.
    const TBudgetMonth m = m_db->BudgetMonth(Li, Dec);
    const TPeriod p = m_db->QueryPeriod(Li, u"2026-12-01"_qs, u"2026-12-31"_qs);
    for (const TBudgetFigures &f : m.Figures()) {
        const TRankRow *row = nullptr;
        for (const TRankRow &r : p.OutCateRows) {
            if (r.Cate == f.Category)
                row = &r;
        }
        QCOMPARE(f.Spent, row ? row->Cents : 0);
    }
}

void TestBudgetStore::failedRenameKeepsRecordsAndBudgets()
{
    m_db->SetDefaultBudget(Li, Food, 200000);
    m_db->SetMonthBudget(Li, Food, Dec, 150000);
    add(u"2026-12-02"_qs, Food, 40000);
    const QStringList before = storedRows();
    QCOMPARE(TestSupport::RefuseInserts(*m_data, QStringLiteral("budgets")), QString());
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->RenameCate(Li, TypeExpense(), Food, Meals));
    QCOMPARE(TestSupport::AllowInserts(*m_data, QStringLiteral("budgets")), QString());
    // All or nothing: the records kept their name, the budgets theirs.
    QCOMPARE(storedRows(), before);
    QCOMPARE(m_db->CountCate(Li, TypeExpense(), Food), qint64(1));
    QCOMPARE(m_db->CountCate(Li, TypeExpense(), Meals), qint64(0));
}

void TestBudgetStore::crossingsOfASave_data()
{
    // Lines saved at once ("date cate cents [收入]"), and the crossings
    // reported ("yyyy-mm cate threshold percent", "*" for all expenses).
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("crossings");

    // Before the save in December: food 1,500.00 of 2,000.00 (75 %), travel
    // 500.00 of 600.00 (83 %, amber), all expenses 2,000.00 of 3,000.00.
    QTest::addRow("food to exactly 80 %%")
        << QStringList{u"2026-12-20 餐饮 10000"_qs} << QStringList{u"2026-12 餐饮 80 80"_qs};
    QTest::addRow("a cent short of 80 %%")
        << QStringList{u"2026-12-20 餐饮 9999"_qs} << QStringList{};
    QTest::addRow("food past 100 %% in one save")
        << QStringList{u"2026-12-20 餐饮 50001"_qs}
        << QStringList{u"2026-12 * 80 83"_qs, u"2026-12 餐饮 100 100"_qs};
    QTest::addRow("travel already amber, to exactly 100 %%")
        << QStringList{u"2026-12-20 交通 10000"_qs} << QStringList{};
    QTest::addRow("travel over") << QStringList{u"2026-12-20 交通 10001"_qs}
                                 << QStringList{u"2026-12 交通 100 100"_qs};
    QTest::addRow("lines adding up together")
        << QStringList{u"2026-12-20 餐饮 5000"_qs, u"2026-12-21 餐饮 5000"_qs}
        << QStringList{u"2026-12 餐饮 80 80"_qs};
    QTest::addRow("income is no spending")
        << QStringList{u"2026-12-20 餐饮 90000 收入"_qs} << QStringList{};
    QTest::addRow("a category without budget, all expenses passing")
        << QStringList{u"2026-12-20 书籍 40000"_qs} << QStringList{u"2026-12 * 80 80"_qs};
    QTest::addRow("november has its own food budget")
        << QStringList{u"2026-11-30 餐饮 40000"_qs} << QStringList{u"2026-11 餐饮 80 80"_qs};
    QTest::addRow("two months in one save")
        << QStringList{u"2026-11-30 餐饮 60000"_qs, u"2026-12-01 餐饮 60000"_qs}
        << QStringList{u"2026-11 餐饮 100 120"_qs, u"2026-12 * 80 86"_qs,
                       u"2026-12 餐饮 100 105"_qs};
    QTest::addRow("january: no budget for food that month")
        << QStringList{u"2027-01-05 餐饮 500000"_qs} << QStringList{};
}

void TestBudgetStore::crossingsOfASave()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, crossings);

    m_db->SetDefaultBudget(Li, Food, 200000);
    m_db->SetMonthBudget(Li, Food, Nov, 50000);
    m_db->SetMonthBudget(Li, Food, Jan, 0);
    m_db->SetDefaultBudget(Li, Travel, 60000);
    m_db->SetMonthBudget(Li, TBudgetPlan::AllExpenses, Dec, 300000);
    add(u"2026-12-02"_qs, Food, 150000);
    add(u"2026-12-03"_qs, Travel, 50000);
    // Another account's spending counts for nobody here.
    add(u"2026-12-03"_qs, Food, 900000, TypeExpense(), Wang);

    TBatchRows rows;
    for (const QString &line : lines) {
        const QStringList w = line.split(QLatin1Char(' '));
        rows << TBatchRow{w[0], w.size() > 3 ? w[3] : TypeExpense(), w[1], w[2].toLongLong(),
                          QString()};
    }
    m_db->AddRecords(Li, rows);
    QStringList got;
    for (const TBudgetSaveCrossing &c : m_db->BudgetCrossings(Li, rows)) {
        const QString cate = c.Crossing.Category.isEmpty() ? u"*"_qs : c.Crossing.Category;
        got << QStringLiteral("%1 %2 %3 %4")
                   .arg(c.Month.toString(u"yyyy-MM"_qs), cate)
                   .arg(c.Crossing.Threshold)
                   .arg(c.Crossing.After.Percent);
    }
    QCOMPARE(got, crossings);
}

void TestBudgetStore::crossingText_data()
{
    // Crossings as "yyyy-mm cate budget spent" ("*" all expenses) and the line.
    QTest::addColumn<QStringList>("crossings");
    QTest::addColumn<QString>("line");

    QTest::addRow("none") << QStringList{} << QString();
    QTest::addRow("one past 80 %%")
        << QStringList{u"2026-12 餐饮 10000 8500"_qs} << u"预算：餐饮已用 85%"_qs;
    QTest::addRow("used up exactly")
        << QStringList{u"2026-12 餐饮 10000 10000"_qs} << u"预算：餐饮已用 100%"_qs;
    QTest::addRow("over") << QStringList{u"2026-12 * 10000 10001"_qs}
                          << u"预算：全部支出超出预算（100%）"_qs;
    QTest::addRow("one month, several")
        << QStringList{u"2026-12 * 10000 9000"_qs, u"2026-12 交通 100 250"_qs}
        << u"预算：全部支出已用 90%；交通超出预算（250%）"_qs;
    QTest::addRow("several months are named")
        << QStringList{u"2026-11 餐饮 10000 12000"_qs, u"2026-12 餐饮 10000 8000"_qs}
        << u"预算：11月餐饮超出预算（120%）；12月餐饮已用 80%"_qs;
}

void TestBudgetStore::crossingText()
{
    QFETCH(QStringList, crossings);
    QFETCH(QString, line);
    QList<TBudgetSaveCrossing> list;
    for (const QString &c : crossings) {
        const QStringList w = c.split(QLatin1Char(' '));
        TBudgetFigures f = TBudgetPlan::Figures(w[2].toLongLong(), w[3].toLongLong());
        f.Category = cateArg(w[1]);
        list << TBudgetSaveCrossing{monthArg(w[0]),
                                    {f.Category, f.Level == TBudgetLevel::Red ? 100 : 80, f}};
    }
    QCOMPARE(BudgetCrossingText(list), line);
}

QTEST_GUILESS_MAIN(TestBudgetStore)
#include "tst_BudgetStore.moc"
