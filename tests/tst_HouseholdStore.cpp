// The household view in the store: who may be seen (the per-account consent,
// changed only with the account's password), the figures against each
// account's own period query and against sums made here, and that an account
// without consent leaves no trace in any part of it. Built twice: on data
// files, and as tst_HouseholdStore_pg on the test cluster.

#include "HouseholdStore.h"
#include "Schema.h"
#include "TestSupport.h"

#include <QtTest>

using TestSupport::Raw;

namespace {

const QString Dad = QStringLiteral("爸爸");
const QString Mum = QStringLiteral("妈妈");
const QString Gran = QStringLiteral("奶奶");
const QString Password = QStringLiteral("密码1");
const QString Out = TypeExpense();
const QString In = TypeIncome();

struct TRec {
    QString user, date, type, cate;
    qint64 cents;
    QString notes;
};

// Each account has a category and notes only it uses, so a leak shows.
const QList<TRec> &records()
{
    static const QList<TRec> list = {
        {Dad, QStringLiteral("2026-02-28"), Out, QStringLiteral("餐饮"), 999,
         QStringLiteral("before")},
        {Dad, QStringLiteral("2026-03-01"), Out, QStringLiteral("餐饮"), 1250,
         QStringLiteral("早饭")},
        {Dad, QStringLiteral("2026-03-01"), In, QStringLiteral("工资"), 800000, QString()},
        {Dad, QStringLiteral("2026-03-15"), Out, QStringLiteral("爸爸的烟"), 2500,
         QStringLiteral("dad-only")},
        {Dad, QStringLiteral("2026-03-31"), Out, QStringLiteral("房租"), 300001, QString()},
        {Mum, QStringLiteral("2026-03-01"), Out, QStringLiteral("餐饮"), 10,
         QStringLiteral("妈妈,早饭")},
        {Mum, QStringLiteral("2026-03-02"), In, QStringLiteral("工资"), 650050, QString()},
        {Mum, QStringLiteral("2026-03-20"), Out, QStringLiteral("妈妈的书"), 4321,
         QStringLiteral("mum-only")},
        {Mum, QStringLiteral("2026-04-01"), Out, QStringLiteral("餐饮"), 777,
         QStringLiteral("after")},
        {Gran, QStringLiteral("2026-03-01"), Out, QStringLiteral("餐饮"), 300,
         QStringLiteral("gran-food")},
        {Gran, QStringLiteral("2026-03-10"), In, QStringLiteral("退休金"), 400000,
         QStringLiteral("gran-only")},
        {Gran, QStringLiteral("2026-03-31"), Out, QStringLiteral("药"), 12345,
         QStringLiteral("gran-only")},
    };
    return list;
}

const QString March1 = QStringLiteral("2026-03-01");
const QString March31 = QStringLiteral("2026-03-31");

// Every text the household shows: members, category lines, records.
QStringList allTexts(const THousehold &h)
{
    QStringList texts = h.CateColumns();
    for (const THouseMember &m : h.Members) {
        for (int c = 0; c < MemberCols; ++c)
            texts << m.Text(c);
    }
    for (const THouseCateLine &l : h.CateLines) {
        for (int c = 0; c < h.CateColumnCount(); ++c)
            texts << l.Text(c);
    }
    for (int i = 0; i < h.RecordCount(); ++i)
        texts << h.RecordRow(i);
    return texts;
}

QStringList memberNames(const THousehold &h)
{
    QStringList names;
    for (const THouseMember &m : h.Members)
        names << m.Name;
    return names;
}

} // namespace

class TestHouseholdStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settingIsOffUntilTurnedOn();
    void onlyConsentingAccountsAppear_data();
    void onlyConsentingAccountsAppear();
    void figuresEqualEachAccountsPeriodSums_data();
    void figuresEqualEachAccountsPeriodSums();
    void categoryLinesAddUpPerMember();
    void recordsComeByDateThenMember();
    void turningItOffHidesTheAccountAgain();
    void wrongPasswordChangesNothing_data();
    void wrongPasswordChangesNothing();
    void newAccountByADeletedNameHasNotConsented();
    void viewWritesNothingAndWorksReadOnly();
    void readOnlyLedgerRefusesTheSetting();

private:
    void share(const QString &user, bool on = true)
    {
        QVERIFY(m_db->SetHouseholdShare(user, Password, on));
    }
    // Sums of the records above for one account over [start, end].
    static qint64 sum(const QString &user, const QString &type, const QString &start,
                      const QString &end, const QString &cate = QString(), int *count = nullptr);

    std::unique_ptr<TestSupport::DataFile> m_data;
    std::unique_ptr<TDbMan> m_db;
};

qint64 TestHouseholdStore::sum(const QString &user, const QString &type, const QString &start,
                               const QString &end, const QString &cate, int *count)
{
    qint64 cents = 0;
    for (const TRec &r : records()) {
        if (r.user == user && r.date >= start && r.date <= end &&
            (type.isEmpty() || r.type == type) && (cate.isEmpty() || r.cate == cate)) {
            cents += r.cents;
            if (count)
                ++*count;
        }
    }
    return cents;
}

void TestHouseholdStore::initTestCase()
{
    QString error;
    TestSupport::PgTestUrl(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestHouseholdStore::init()
{
    QString error;
    const QString pgUrl = TestSupport::PgTestUrl(&error);
    m_data = pgUrl.isEmpty() ? std::make_unique<TestSupport::DataFile>()
                             : std::make_unique<TestSupport::DataFile>(pgUrl);
    m_db = std::make_unique<TDbMan>(m_data->path());
    for (const QString &name : {Dad, Mum, Gran})
        m_db->AddUser(name, Password);
    for (const TRec &r : records())
        m_db->AddRecord(r.user, r.date, r.type, r.cate, r.cents, r.notes);
}

void TestHouseholdStore::cleanup()
{
    m_db.reset();
    m_data.reset();
}

void TestHouseholdStore::settingIsOffUntilTurnedOn()
{
    QVERIFY(!m_db->HouseholdShare(Dad));
    share(Mum);
    QVERIFY(m_db->HouseholdShare(Mum));
    QVERIFY(!m_db->HouseholdShare(Dad)); // one account's setting is its own
    QCOMPARE(m_data->count(QStringLiteral("settings")), 1);
    share(Mum); // again: still one row
    QCOMPARE(m_data->count(QStringLiteral("settings")), 1);
    // Another value under the key (written by hand) is not consent.
    QVERIFY(m_data->exec(QStringLiteral("update \"settings\" set \"value\"='yes'")).isEmpty());
    QVERIFY(!m_db->HouseholdShare(Mum));
    QCOMPARE(memberNames(m_db->Household(Dad, March1, March31)), QStringList{Dad});
}

void TestHouseholdStore::onlyConsentingAccountsAppear_data()
{
    QTest::addColumn<QString>("asker");
    QTest::addColumn<QStringList>("sharing");
    QTest::addColumn<QStringList>("members");

    QTest::addRow("nobody allows it: only the asker") << Dad << QStringList{} << QStringList{Dad};
    QTest::addRow("one of two others allows it")
        << Dad << QStringList{Gran} << QStringList{Dad, Gran};
    QTest::addRow("the asker's own consent shows nobody else")
        << Dad << QStringList{Dad} << QStringList{Dad};
    QTest::addRow("everybody allows it: asker first, then by name")
        << Mum << QStringList{Dad, Mum, Gran} << QStringList{Mum, Gran, Dad};
    QTest::addRow("a non-sharing asker still sees those who allow it")
        << Gran << QStringList{Dad, Mum} << QStringList{Gran, Mum, Dad};
}

void TestHouseholdStore::onlyConsentingAccountsAppear()
{
    QFETCH(QString, asker);
    QFETCH(QStringList, sharing);
    QFETCH(QStringList, members);
    for (const QString &name : sharing)
        share(name);

    const THousehold h = m_db->Household(asker, March1, March31);
    QCOMPARE(memberNames(h), members);
    QVERIFY(h.Members.at(0).Self);

    const QStringList texts = allTexts(h);
    for (const QString &name : {Dad, Mum, Gran}) {
        if (members.contains(name))
            continue;
        // Neither the name, nor a category or a note only that account uses,
        // nor an amount only it has, anywhere.
        QVERIFY2(!texts.contains(name), qPrintable(name));
        for (const TRec &r : records()) {
            if (r.user != name)
                continue;
            const bool ownCate =
                std::none_of(records().cbegin(), records().cend(), [&](const TRec &o) {
                    return members.contains(o.user) && o.cate == r.cate;
                });
            if (ownCate)
                QVERIFY2(!texts.contains(r.cate), qPrintable(r.cate));
            if (!r.notes.isEmpty())
                QVERIFY2(!texts.contains(r.notes), qPrintable(r.notes));
            QVERIFY2(!texts.contains(THi::FormatCents(r.cents)),
                     qPrintable(THi::FormatCents(r.cents)));
        }
    }
    // Every record of the period of every member, and no other.
    int expected = 0;
    for (const QString &name : members)
        sum(name, QString(), March1, March31, QString(), &expected);
    QCOMPARE(h.RecordCount(), expected);
    for (int i = 0; i < h.RecordCount(); ++i)
        QVERIFY(members.contains(h.RecordText(i, HouseRecMember)));
    // The household totals are the members' only.
    qint64 out = 0, in = 0;
    for (const QString &name : members) {
        out += sum(name, Out, March1, March31);
        in += sum(name, In, March1, March31);
    }
    QCOMPARE(h.OutCents, out);
    QCOMPARE(h.InCents, in);
}

void TestHouseholdStore::figuresEqualEachAccountsPeriodSums_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");

    QTest::addRow("a month, first and last day included") << March1 << March31;
    QTest::addRow("one day") << March1 << March1;
    QTest::addRow("across a month end") << QStringLiteral("2026-02-28") << March1;
    QTest::addRow("a period without records")
        << QStringLiteral("2025-01-01") << QStringLiteral("2025-12-31");
    QTest::addRow("everything") << QStringLiteral("2000-01-01") << QStringLiteral("2099-12-31");
}

void TestHouseholdStore::figuresEqualEachAccountsPeriodSums()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    share(Mum);
    share(Gran);

    const THousehold h = m_db->Household(Dad, start, end);
    QCOMPARE(h.Start, start);
    QCOMPARE(h.End, end);
    QCOMPARE(h.Members.size(), 3);
    qint64 out = 0, in = 0;
    for (const THouseMember &m : h.Members) {
        int count = 0;
        QCOMPARE(m.OutCents, sum(m.Name, Out, start, end));
        QCOMPARE(m.InCents, sum(m.Name, In, start, end));
        sum(m.Name, QString(), start, end, QString(), &count);
        QCOMPARE(m.Count, qint64(count));
        QCOMPARE(m.Balance(), m.InCents - m.OutCents);
        QCOMPARE(m.Text(MemberBalance), THi::FormatCents(m.InCents - m.OutCents));
        // The same as that account's own browser shows.
        const TPeriod p = m_db->QueryPeriod(m.Name, start, end);
        QCOMPARE(m.OutCents, p.OutCents);
        QCOMPARE(m.InCents, p.InCents);
        out += m.OutCents;
        in += m.InCents;
    }
    QCOMPARE(h.OutCents, out);
    QCOMPARE(h.InCents, in);

    // Each category cell is that account's ranking sum of the category.
    for (const THouseCateLine &line : h.CateLines) {
        if (line.Kind != THouseCateLine::Cate)
            continue;
        qint64 total = 0;
        for (int m = 0; m < h.Members.size(); ++m) {
            const QString &name = h.Members.at(m).Name;
            QCOMPARE(line.Cents[size_t(m)], sum(name, line.Type, start, end, line.Name));
            total += line.Cents[size_t(m)];
        }
        QCOMPARE(line.TotalCents, total);
    }
    // Every category of the period has its line.
    for (const TRec &r : records()) {
        if (r.date < start || r.date > end)
            continue;
        const bool found = std::any_of(h.CateLines.cbegin(), h.CateLines.cend(), [&](auto &l) {
            return l.Kind == THouseCateLine::Cate && l.Type == r.type && l.Name == r.cate;
        });
        QVERIFY2(found, qPrintable(r.cate));
    }
}

void TestHouseholdStore::categoryLinesAddUpPerMember()
{
    share(Mum);
    const THousehold h = m_db->Household(Dad, March1, March31);
    // 餐饮 is both members': one line, each member's own sum in its column.
    const auto line = [&](const QString &name) -> const THouseCateLine * {
        for (const THouseCateLine &l : h.CateLines) {
            if (l.Name == name)
                return &l;
        }
        return nullptr;
    };
    QVERIFY(line(QStringLiteral("餐饮")));
    QCOMPARE(h.CateColumns(), (QStringList{QStringLiteral("类型"), QStringLiteral("项目"), Dad, Mum,
                                           QStringLiteral("合计")}));
    const THouseCateLine &food = *line(QStringLiteral("餐饮"));
    QCOMPARE(food.Text(2), QStringLiteral("12.50"));
    QCOMPARE(food.Text(3), QStringLiteral("0.10"));
    QCOMPARE(food.Text(4), QStringLiteral("12.60"));
    // A member without the category: an empty cell, not 0.00.
    QCOMPARE(line(QStringLiteral("妈妈的书"))->Text(2), QString());
    QCOMPARE(line(QStringLiteral("妈妈的书"))->Text(3), QStringLiteral("43.21"));

    // Order: expenses by household sum, 支出合计, incomes, 收入合计.
    QStringList order;
    for (const THouseCateLine &l : h.CateLines)
        order << l.Name;
    QCOMPARE(order, (QStringList{QStringLiteral("房租"), QStringLiteral("妈妈的书"),
                                 QStringLiteral("爸爸的烟"), QStringLiteral("餐饮"),
                                 QStringLiteral("支出合计"), QStringLiteral("工资"),
                                 QStringLiteral("收入合计")}));
    const THouseCateLine &outTotal = h.CateLines.at(4);
    QCOMPARE(outTotal.Kind, THouseCateLine::Total);
    QCOMPARE(outTotal.Text(2), QStringLiteral("3037.51"));
    QCOMPARE(outTotal.Text(3), QStringLiteral("43.31"));
    QCOMPARE(outTotal.Text(4), QStringLiteral("3080.82"));
    QCOMPARE(h.CateLines.at(6).Text(4), QStringLiteral("14500.50"));
}

void TestHouseholdStore::recordsComeByDateThenMember()
{
    share(Dad);
    share(Gran);
    const THousehold h = m_db->Household(Mum, March1, March31);
    TRowList rows;
    for (int i = 0; i < h.RecordCount(); ++i)
        rows << h.RecordRow(i);
    const TRowList expected = {
        {Mum, March1, QStringLiteral("餐饮"), QString(), QStringLiteral("0.10"),
         QStringLiteral("妈妈,早饭")},
        {Gran, March1, QStringLiteral("餐饮"), QString(), QStringLiteral("3.00"),
         QStringLiteral("gran-food")},
        {Dad, March1, QStringLiteral("餐饮"), QString(), QStringLiteral("12.50"),
         QStringLiteral("早饭")},
        {Dad, March1, QStringLiteral("工资"), QStringLiteral("8000.00"), QString(), QString()},
        {Mum, QStringLiteral("2026-03-02"), QStringLiteral("工资"), QStringLiteral("6500.50"),
         QString(), QString()},
        {Gran, QStringLiteral("2026-03-10"), QStringLiteral("退休金"), QStringLiteral("4000.00"),
         QString(), QStringLiteral("gran-only")},
        {Dad, QStringLiteral("2026-03-15"), QStringLiteral("爸爸的烟"), QString(),
         QStringLiteral("25.00"), QStringLiteral("dad-only")},
        {Mum, QStringLiteral("2026-03-20"), QStringLiteral("妈妈的书"), QString(),
         QStringLiteral("43.21"), QStringLiteral("mum-only")},
        {Gran, QStringLiteral("2026-03-31"), QStringLiteral("药"), QString(),
         QStringLiteral("123.45"), QStringLiteral("gran-only")},
        {Dad, QStringLiteral("2026-03-31"), QStringLiteral("房租"), QString(),
         QStringLiteral("3000.01"), QString()},
    };
    QCOMPARE(rows, expected);
    QCOMPARE(THousehold::RecordColumns().size(), int(HouseRecCols));
}

void TestHouseholdStore::turningItOffHidesTheAccountAgain()
{
    share(Gran);
    QCOMPARE(memberNames(m_db->Household(Dad, March1, March31)), (QStringList{Dad, Gran}));
    share(Gran, false);
    QVERIFY(!m_db->HouseholdShare(Gran));
    const THousehold h = m_db->Household(Dad, March1, March31);
    QCOMPARE(memberNames(h), QStringList{Dad});
    const QStringList texts = allTexts(h);
    QVERIFY(!texts.contains(Gran));
    QVERIFY(!texts.contains(QStringLiteral("退休金")));
    QVERIFY(!texts.contains(QStringLiteral("gran-only")));
    QCOMPARE(h.OutCents, sum(Dad, Out, March1, March31));
    QCOMPARE(m_data->count(QStringLiteral("settings")), 0); // off is no row at all
    // And on again.
    share(Gran);
    QCOMPARE(memberNames(m_db->Household(Dad, March1, March31)), (QStringList{Dad, Gran}));
}

void TestHouseholdStore::wrongPasswordChangesNothing_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("wanted");
    QTest::addColumn<QString>("password");

    QTest::addRow("turning on, wrong password") << false << true << QStringLiteral("密码2");
    QTest::addRow("turning on, empty password") << false << true << QString();
    QTest::addRow("turning on, the password with a space") << false << true << Password + u' ';
    QTest::addRow("turning off, wrong password") << true << false << QStringLiteral("1234");
    QTest::addRow("turning off, another account's password")
        << true << false << QStringLiteral("other");
}

void TestHouseholdStore::wrongPasswordChangesNothing()
{
    QFETCH(bool, before);
    QFETCH(bool, wanted);
    QFETCH(QString, password);
    m_db->RewriteUser(Mum, QStringLiteral("other")); // a password that opens only Mum
    if (before)
        share(Gran);
    QVERIFY(!m_db->SetHouseholdShare(Gran, password, wanted));
    QCOMPARE(m_db->HouseholdShare(Gran), before);
    QCOMPARE(m_data->count(QStringLiteral("settings")), before ? 1 : 0);
    QCOMPARE(memberNames(m_db->Household(Dad, March1, March31)).contains(Gran), before);
}

void TestHouseholdStore::newAccountByADeletedNameHasNotConsented()
{
    share(Gran);
    QVERIFY(m_db->DeleteUser(Gran));
    // Gone with its account row: no member, and no stale consent either.
    QCOMPARE(memberNames(m_db->Household(Dad, March1, March31)), QStringList{Dad});
    QCOMPARE(m_data->count(QStringLiteral("settings")), 0);
    // Whoever makes an account by that name later has not been asked.
    QVERIFY(m_db->AddUser(Gran, QStringLiteral("new")));
    QVERIFY(!m_db->HouseholdShare(Gran));
    QCOMPARE(memberNames(m_db->Household(Dad, March1, March31)), QStringList{Dad});
}

void TestHouseholdStore::viewWritesNothingAndWorksReadOnly()
{
    share(Mum);
    share(Gran);
    // Every column of every table of the ledger.
    const auto snapshot = [&] {
        QStringList rows;
        Raw r(m_data->path());
        for (const TTableDef &t : Schema::Tables()) {
            for (const TColumnDef &col : t.Columns) {
                rows << r.column(QStringLiteral("select \"%1\" from \"%2\" order by \"id\"")
                                     .arg(QLatin1String(col.Name), QLatin1String(t.Name)),
                                 0);
            }
        }
        return rows;
    };
    const QStringList before = snapshot();
    m_db->SetReadOnly(true);
    const THousehold h =
        m_db->Household(Dad, QStringLiteral("2000-01-01"), QStringLiteral("2099-12-31"));
    QCOMPARE(h.RecordCount(), records().size());
    QCOMPARE(snapshot(), before);
}

void TestHouseholdStore::readOnlyLedgerRefusesTheSetting()
{
    m_db->SetReadOnly(true);
    QVERIFY_THROWS_EXCEPTION(EDbCannotWrite, m_db->SetHouseholdShare(Dad, Password, true));
    QVERIFY(!m_db->HouseholdShare(Dad));
}

QTEST_GUILESS_MAIN(TestHouseholdStore)
#include "tst_HouseholdStore.moc"
