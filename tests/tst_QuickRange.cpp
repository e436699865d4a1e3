#include "QuickRange.h"

#include <QtTest>

class TestQuickRange : public QObject {
    Q_OBJECT

private slots:
    void range_data();
    void range();
    void ids_data();
    void ids();
    void unknownIds();
    void which_data();
    void which();
};

namespace {
QDate D(const char *ymd)
{
    return QDate::fromString(QString::fromLatin1(ymd), Qt::ISODate);
}
} // namespace

void TestQuickRange::range_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");

    using R = TQuickRange;
    QTest::addRow("this month, whole") << int(R::ThisMonth) << D("2026-12-09") << QDate() << QDate()
                                       << D("2026-12-01") << D("2026-12-31");
    QTest::addRow("this month, leap February") << int(R::ThisMonth) << D("2028-02-10") << QDate()
                                               << QDate() << D("2028-02-01") << D("2028-02-29");
    QTest::addRow("last month in January") << int(R::LastMonth) << D("2027-01-15") << QDate()
                                           << QDate() << D("2026-12-01") << D("2026-12-31");
    QTest::addRow("last month from the 31st") << int(R::LastMonth) << D("2026-03-31") << QDate()
                                              << QDate() << D("2026-02-01") << D("2026-02-28");
    QTest::addRow("this year on New Year's Day") << int(R::ThisYear) << D("2027-01-01") << QDate()
                                                 << QDate() << D("2027-01-01") << D("2027-12-31");
    QTest::addRow("last year on New Year's Eve") << int(R::LastYear) << D("2026-12-31") << QDate()
                                                 << QDate() << D("2025-01-01") << D("2025-12-31");
    QTest::addRow("all, records in the past")
        << int(R::All) << D("2026-12-09") << D("2019-03-02") << D("2026-11-30") << D("2019-03-02")
        << D("2026-12-09");
    QTest::addRow("all, records ahead") << int(R::All) << D("2026-12-09") << D("2019-03-02")
                                        << D("2027-01-05") << D("2019-03-02") << D("2027-01-05");
    QTest::addRow("all, every record ahead")
        << int(R::All) << D("2026-12-09") << D("2027-01-05") << D("2027-02-05") << D("2027-01-05")
        << D("2027-02-05");
    QTest::addRow("all, no records") << int(R::All) << D("2026-12-09") << QDate() << QDate()
                                     << D("2026-12-09") << D("2026-12-09");
}

void TestQuickRange::range()
{
    QFETCH(int, kind);
    QFETCH(QDate, today);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    const TDateSpan span = TQuickRange::Range(TQuickRange::Kind(kind), today, first, last);
    QCOMPARE(span.Start, start);
    QCOMPARE(span.End, end);
}

void TestQuickRange::ids_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addRow("this month") << int(TQuickRange::ThisMonth) << u"this-month"_qs << u"本月"_qs;
    QTest::addRow("last month") << int(TQuickRange::LastMonth) << u"last-month"_qs << u"上月"_qs;
    QTest::addRow("this year") << int(TQuickRange::ThisYear) << u"this-year"_qs << u"今年"_qs;
    QTest::addRow("last year") << int(TQuickRange::LastYear) << u"last-year"_qs << u"去年"_qs;
    QTest::addRow("all") << int(TQuickRange::All) << u"all"_qs << u"全部"_qs;
}

void TestQuickRange::ids()
{
    QFETCH(int, kind);
    QFETCH(QString, id);
    QFETCH(QString, name);
    const auto k = TQuickRange::Kind(kind);
    QCOMPARE(TQuickRange::Id(k), id);
    QCOMPARE(TQuickRange::Name(k), name);
    QCOMPARE(TQuickRange::FromId(id), std::optional<TQuickRange::Kind>(k));
    QCOMPARE(TQuickRange::Kinds().at(kind), k); // the buttons' order
}

void TestQuickRange::unknownIds()
{
    QVERIFY(!TQuickRange::FromId(QString()));
    QVERIFY(!TQuickRange::FromId(u"next-month"_qs));
    QVERIFY(!TQuickRange::FromId(u"This-Month"_qs));
}

void TestQuickRange::which_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<int>("kind"); // -1: none

    QTest::addRow("last month") << D("2026-11-01") << D("2026-11-30") << QDate()
                                << int(TQuickRange::LastMonth);
    QTest::addRow("this year") << D("2026-01-01") << D("2026-12-31") << QDate()
                               << int(TQuickRange::ThisYear);
    QTest::addRow("part of a month") << D("2026-12-01") << D("2026-12-09") << QDate() << -1;
    QTest::addRow("all, with the first record")
        << D("2020-05-05") << D("2026-12-09") << D("2020-05-05") << int(TQuickRange::All);
    QTest::addRow("today alone, no first record")
        << D("2026-12-09") << D("2026-12-09") << QDate() << -1;
}

void TestQuickRange::which()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QDate, first);
    QFETCH(int, kind);
    const auto got = TQuickRange::Which({start, end}, D("2026-12-09"), first, D("2026-12-01"));
    QCOMPARE(got ? int(*got) : -1, kind);
}

QTEST_GUILESS_MAIN(TestQuickRange)
#include "tst_QuickRange.moc"
