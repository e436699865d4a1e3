#include "DbClass.h"
#include "RecordFilter.h"
#include "ResultFilter.h"
#include "RowTexts.h"
#include "TestSupport.h"

#include <QtTest>

// The filter box's view of a search result, and 搜索全部, on a data file or
// (as tst_ResultFilter_pg) on the test server: what the lists, exports and
// printing read when the box holds a filter.
class TestResultFilter : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void filteredResult_data();
    void filteredResult();
    void emptyFilterIsTheFullResult();
    void recountOfEveryRecordIsTheSearch();
    void recordDates_data();
    void recordDates();
    void searchAllYears_data();
    void searchAllYears();

private:
    bool onPg() const { return !m_pgUrl.isEmpty(); }
    TSearchResult query(TDbMan &db, const QString &user, const QString &start, const QString &end)
    {
        return TSearchResult(user, THi::YmdToDate(start), THi::YmdToDate(end),
                             db.QueryPeriod(user, start, end));
    }

    QString m_pgUrl;
    std::unique_ptr<TestSupport::DataFile> m_data;
};

namespace {
const QString Out = QStringLiteral("支出");
const QString In = QStringLiteral("收入");
const QString Li = QStringLiteral("Li");

QString s(const char *text)
{
    return QString::fromUtf8(text);
}
QString s(const QString &text)
{
    return text;
}
// A row of texts from literals and QStrings.
template <class... T> TRow r(const T &...texts)
{
    return TRow{s(texts)...};
}
QStringList list(std::initializer_list<const char *> texts)
{
    QStringList l;
    for (const char *t : texts)
        l << s(t);
    return l;
}

TRowList ledger()
{
    return {r("2011-03-30", Out, "餐饮", "10.00", "午饭 KFC"),
            r("2011-04-01", In, "工资", "5000.00", ""),
            r("2011-04-01", Out, "餐饮", "20.00", "lunch kfc"),
            r("2011-04-02", Out, "交通", "5.00", "地铁"),
            r("2011-04-02", Out, "餐饮", "30.00", "晚饭"),
            r("2011-05-10", Out, "房租", "1500.00", "五月房租"),
            r("2011-05-10", In, "奖金", "800.00", "kfc 兼职")};
}
} // namespace

void TestResultFilter::init()
{
    QString error;
    m_pgUrl = TestSupport::PgTestUrl(&error);
    if (!error.isEmpty())
        QFAIL(qPrintable(error));
    m_data = onPg() ? std::make_unique<TestSupport::DataFile>(m_pgUrl)
                    : std::make_unique<TestSupport::DataFile>();
    TDbMan db(m_data->path());
    db.AddUser(Li, QStringLiteral("1234"));
    db.AddUser(QStringLiteral("Wang"), QStringLiteral("1234"));
}

void TestResultFilter::cleanup()
{
    m_data.reset();
}

void TestResultFilter::filteredResult_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("outCents");
    QTest::addColumn<qint64>("inCents");
    QTest::addColumn<TRowList>("days");
    QTest::addColumn<TRowList>("months");
    QTest::addColumn<TRowList>("ranks");     // incomes, then expenses
    QTest::addColumn<QList<int>>("records"); // positions in ledger()

    const TRowList kfcDays{r("2011-03-30", "0.00", "10.00"), r("2011-04-01", "0.00", "20.00"),
                           r("2011-05-10", "800.00", "0.00")};
    const TRowList kfcMonths{r("2011-03", "0.00", "10.00"), r("2011-04", "0.00", "20.00"),
                             r("2011-05", "800.00", "0.00")};
    const TRowList kfcRanks{r(In, "奖金", "1", "800.00", "100.00%"),
                            r(Out, "餐饮", "2", "30.00", "100.00%")};
    QTest::addRow("notes, either case") << s("kfc") << qint64(3000) << qint64(80000) << kfcDays
                                        << kfcMonths << kfcRanks << QList<int>{0, 2, 6};
    QTest::addRow("full-width letters") << s("ＫＦＣ") << qint64(3000) << qint64(80000) << kfcDays
                                        << kfcMonths << kfcRanks << QList<int>{0, 2, 6};
    QTest::addRow("category and a comparison")
        << s("餐饮 >15") << qint64(5000) << qint64(0)
        << TRowList{r("2011-04-01", "0.00", "20.00"), r("2011-04-02", "0.00", "30.00")}
        << TRowList{r("2011-04", "0.00", "50.00")}
        << TRowList{r(Out, "餐饮", "2", "50.00", "100.00%")} << QList<int>{2, 4};
    QTest::addRow("amount range, both types") << s("100-2000") << qint64(150000) << qint64(80000)
                                              << TRowList{r("2011-05-10", "800.00", "1500.00")}
                                              << TRowList{r("2011-05", "800.00", "1500.00")}
                                              << TRowList{r(In, "奖金", "1", "800.00", "100.00%"),
                                                          r(Out, "房租", "1", "1500.00", "100.00%")}
                                              << QList<int>{5, 6};
    // Shares of the filtered total (60 and 5 of 65), equal order of first appearance.
    QTest::addRow("ranking of several categories")
        << s("<=30") << qint64(6500) << qint64(0)
        << TRowList{r("2011-03-30", "0.00", "10.00"), r("2011-04-01", "0.00", "20.00"),
                    r("2011-04-02", "0.00", "35.00")}
        << TRowList{r("2011-03", "0.00", "10.00"), r("2011-04", "0.00", "55.00")}
        << TRowList{r(Out, "餐饮", "3", "60.00", "92.31%"), r(Out, "交通", "1", "5.00", "7.69%")}
        << QList<int>{0, 2, 3, 4};
    QTest::addRow("nothing matches") << s("没有这个词") << qint64(0) << qint64(0) << TRowList{}
                                     << TRowList{} << TRowList{} << QList<int>{};
}

void TestResultFilter::filteredResult()
{
    QFETCH(QString, typed);
    QFETCH(qint64, outCents);
    QFETCH(qint64, inCents);
    QFETCH(TRowList, days);
    QFETCH(TRowList, months);
    QFETCH(TRowList, ranks);
    QFETCH(QList<int>, records);
    TDbMan db(m_data->path());
    db.AddRecords(Li, Batch(ledger()));
    db.AddRecord(QStringLiteral("Wang"), QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"),
                 9900, QStringLiteral("kfc"));

    TResultFilter filter(std::make_shared<const TSearchResult>(
        query(db, Li, QStringLiteral("2011-01-01"), QStringLiteral("2011-12-31"))));
    const TSearchResultPtr full = filter.Full();
    const TSearchResultPtr shown = filter.Apply(TRecordFilter(typed), typed);
    QVERIFY(shown != full);
    QVERIFY(shown->Filtered());
    QCOMPARE(shown->Filter, typed);
    QCOMPARE(shown->User, Li);
    QCOMPARE(shown->Start, full->Start);
    QCOMPARE(shown->End, full->End);
    QCOMPARE(shown->OutCents, outCents);
    QCOMPARE(shown->InCents, inCents);
    QCOMPARE(Texts(shown->DayRows), days);
    QCOMPARE(Texts(shown->MonthRows), months);
    QCOMPARE(Texts(shown->CateRows()), ranks);
    TRowList expected;
    for (int i : records)
        expected << ledger().at(i).mid(0, 3);
    TRowList got;
    for (int i = 0; i < shown->RecRows.size(); ++i) {
        const TRecordList &r = shown->RecRows;
        got << TRow{r.Date(i), r.Kind(i) == TRecordList::Income ? In : Out, r.Cate(i)};
        QCOMPARE(r.Notes(i), ledger().at(records.at(i)).value(4));
    }
    QCOMPARE(got, expected);
    // The full result is untouched: the box cleared goes back to it.
    QCOMPARE(full->RecRows.size(), ledger().size());
    QCOMPARE(full->OutCents, qint64(156500));
}

void TestResultFilter::emptyFilterIsTheFullResult()
{
    TDbMan db(m_data->path());
    db.AddRecords(Li, Batch(ledger()));
    TResultFilter filter(std::make_shared<const TSearchResult>(
        query(db, Li, QStringLiteral("2011-01-01"), QStringLiteral("2011-12-31"))));
    for (const QString &typed : {QString(), QStringLiteral("   "), QStringLiteral("\u3000")}) {
        const TSearchResultPtr shown = filter.Apply(TRecordFilter(typed), typed);
        QCOMPARE(shown, filter.Full());
        QVERIFY(!shown->Filtered());
    }
    // Filter, then clear: the same full result, not a copy.
    filter.Apply(TRecordFilter(QStringLiteral("kfc")), QStringLiteral("kfc"));
    QCOMPARE(filter.Apply(TRecordFilter(), QString()), filter.Full());
}

void TestResultFilter::recountOfEveryRecordIsTheSearch()
{
    // Counted again from every record, a result is the store's own: day and
    // month rows, totals and rankings, also with a record of a type word the
    // sums leave out (written by hand into the ledger) and equal sums.
    TDbMan db(m_data->path());
    db.AddRecords(Li, Batch(ledger()));
    db.AddRecords(Li, Batch({r("2011-06-01", Out, "交通", "30.00", "same sum as 餐饮's 30"),
                             r("2011-06-01", In, "利息", "0.01", "")}));
    const QString other =
        m_data->exec(QStringLiteral("insert into \"data\" (\"user\",\"date\",\"type\",\"cate\","
                                    "\"amount\",\"notes\") values ('%1','2011-07-01','转账','%2',"
                                    "12.5,'')")
                         .arg(THi::Base64Encode(Li), THi::Base64Encode(QStringLiteral("其他"))));
    QVERIFY2(other.isEmpty(), qPrintable(other));
    const TSearchResult full =
        query(db, Li, QStringLiteral("2011-01-01"), QStringLiteral("2011-12-31"));
    QCOMPARE(full.RecRows.size(), ledger().size() + 3);
    std::vector<int> every(size_t(full.RecRows.size()));
    for (int i = 0; i < full.RecRows.size(); ++i)
        every[size_t(i)] = i;
    const TSearchResult again = RecountResult(full, every, full.Start, full.End, QString());
    QCOMPARE(Texts(again.DayRows), Texts(full.DayRows));
    QCOMPARE(Texts(again.MonthRows), Texts(full.MonthRows));
    QCOMPARE(Texts(again.CateRows()), Texts(full.CateRows()));
    QCOMPARE(again.OutCents, full.OutCents);
    QCOMPARE(again.InCents, full.InCents);
    QCOMPARE(again.RecRows.size(), full.RecRows.size());
    QCOMPARE(Texts(full.DayRows).last(), r("2011-07-01", "0.00", "0.00"));
}

void TestResultFilter::recordDates_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addRow("records over years") << Li << s("2015-02-03") << s("2024-11-30");
    QTest::addRow("one record") << s("Wang") << s("2010-01-01") << s("2010-01-01");
    QTest::addRow("no records") << s("Zhao") << s("") << s("");
}

void TestResultFilter::recordDates()
{
    QFETCH(QString, user);
    QFETCH(QString, first);
    QFETCH(QString, last);
    TDbMan db(m_data->path());
    db.AddUser(QStringLiteral("Zhao"), QStringLiteral("1234"));
    db.AddRecords(Li, Batch({r("2019-03-04", Out, "维修", "1200.00", ""),
                             r("2024-11-30", Out, "餐饮", "40.00", ""),
                             r("2015-02-03", Out, "维修", "300.00", "")}));
    db.AddRecord(QStringLiteral("Wang"), QStringLiteral("2010-01-01"), Out, QStringLiteral("维修"),
                 9900, QString());
    const TDbMan::TDateBounds bounds = db.RecordDates(user);
    QCOMPARE(bounds.First, first);
    QCOMPARE(bounds.Last, last);
}

void TestResultFilter::searchAllYears_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("start"); // empty: nothing found
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("records");      // of the whole span
    QTest::addColumn<QStringList>("hits"); // their notes
    QTest::addColumn<qint64>("outCents");
    QTest::addRow("two years apart") << s("修车") << s("2015-02-03") << s("2019-03-04") << 5
                                     << list({"修车 发票", "修车"}) << qint64(150000);
    QTest::addRow("first and last record") << s("饭") << s("2015-02-03") << s("2024-11-30") << 6
                                           << list({"早饭 2015", "午饭", "晚饭"}) << qint64(7300);
    QTest::addRow("an amount, one day") << s(">1000") << s("2019-03-04") << s("2019-03-04") << 2
                                        << list({"修车", ""}) << qint64(120000);
    QTest::addRow("another account's record only")
        << s("工作餐") << s("") << s("") << 0 << QStringList{} << qint64(0);
    QTest::addRow("nothing") << s("没有这个词") << s("") << s("") << 0 << QStringList{}
                             << qint64(0);
}

void TestResultFilter::searchAllYears()
{
    QFETCH(QString, typed);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(int, records);
    QFETCH(QStringList, hits);
    QFETCH(qint64, outCents);
    TDbMan db(m_data->path());
    db.AddRecords(Li, Batch({r("2015-02-03", Out, "维修", "300.00", "修车 发票"),
                             r("2015-02-03", Out, "餐饮", "25.00", "早饭 2015"),
                             r("2016-06-01", Out, "餐饮", "8.00", "午饭"),
                             r("2019-03-04", Out, "维修", "1200.00", "修车"),
                             r("2019-03-04", In, "工资", "3000.00", ""),
                             r("2024-11-30", Out, "餐饮", "40.00", "晚饭")}));
    db.AddRecord(QStringLiteral("Wang"), QStringLiteral("2010-01-01"), Out, QStringLiteral("餐饮"),
                 9900, QStringLiteral("工作餐 修车"));

    const TSearchAllResult found = SearchAllYears(db, Li, TRecordFilter(typed), typed);
    if (start.isEmpty()) {
        QVERIFY(!found.Full);
        QVERIFY(!found.Filtered);
        return;
    }
    QVERIFY(found.Full && found.Filtered);
    QCOMPARE(found.Full->Start, THi::YmdToDate(start));
    QCOMPARE(found.Full->End, THi::YmdToDate(end));
    QVERIFY(!found.Full->Filtered());
    // The whole span as a search of those dates finds it.
    const TSearchResult direct = query(db, Li, start, end);
    QCOMPARE(found.Full->RecRows.size(), records);
    QCOMPARE(direct.RecRows.size(), records);
    QCOMPARE(Texts(found.Full->DayRows), Texts(direct.DayRows));
    QCOMPARE(Texts(found.Full->CateRows()), Texts(direct.CateRows()));
    QCOMPARE(found.Full->OutCents, direct.OutCents);
    QCOMPARE(found.Full->InCents, direct.InCents);

    QCOMPARE(found.Filtered->Filter, typed);
    QCOMPARE(found.Filtered->Start, found.Full->Start);
    QCOMPARE(found.Filtered->End, found.Full->End);
    QStringList notes;
    for (int i = 0; i < found.Filtered->RecRows.size(); ++i)
        notes << found.Filtered->RecRows.Notes(i);
    QCOMPARE(notes, hits);
    QCOMPARE(found.Filtered->OutCents, outCents);
}

QTEST_GUILESS_MAIN(TestResultFilter)
#include "tst_ResultFilter.moc"
