#include "Recurrence.h"

#include <QtTest>

class TestRecurrence : public QObject {
    Q_OBJECT

private slots:
    void due_data();
    void due();
    void longGapsAreCapped_data();
    void longGapsAreCapped();
    void monthlyKeepsItsDay();
    void yearlyKeepsItsDay();
    void next_data();
    void next();
    void text_data();
    void text();
    void badText_data();
    void badText();
    void describe_data();
    void describe();
    void invalidRules();
};

namespace {

QDate D(const QString &ymd)
{
    return ymd.isEmpty() ? QDate() : QDate::fromString(ymd, Qt::ISODate);
}

TRecurrence Rule(const QString &text)
{
    const std::optional<TRecurrence> r = TRecurrence::FromText(text);
    if (!r)
        qFatal("bad rule in the test: %s", qPrintable(text));
    return *r;
}

QString Days(const QList<QDate> &dates)
{
    QStringList s;
    for (const QDate &d : dates)
        s.append(d.toString(Qt::ISODate));
    return s.join(u',');
}

} // namespace

void TestRecurrence::due_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("lastDone");
    QTest::addColumn<QString>("today");
    QTest::addColumn<QString>("dates");

    QTest::addRow("31st through short months")
        << u"1m;31;2026-01-31;"_qs << QString() << u"2026-07-31"_qs
        << u"2026-01-31,2026-02-28,2026-03-31,2026-04-30,2026-05-31,2026-06-30,2026-07-31"_qs;
    QTest::addRow("30th in a leap February")
        << u"1m;30;2028-01-30;"_qs << QString() << u"2028-03-30"_qs
        << u"2028-01-30,2028-02-29,2028-03-30"_qs;
    QTest::addRow("29th in a common February")
        << u"1m;29;2027-01-29;"_qs << QString() << u"2027-03-29"_qs
        << u"2027-01-29,2027-02-28,2027-03-29"_qs;
    QTest::addRow("started after its day")
        << u"1m;5;2026-01-20;"_qs << QString() << u"2026-03-10"_qs << u"2026-02-05,2026-03-05"_qs;
    QTest::addRow("started on its day")
        << u"1m;5;2026-01-05;"_qs << QString() << u"2026-01-05"_qs << u"2026-01-05"_qs;
    QTest::addRow("every 2 months from the 31st")
        << u"2m;31;2026-01-31;"_qs << QString() << u"2026-09-30"_qs
        << u"2026-01-31,2026-03-31,2026-05-31,2026-07-31,2026-09-30"_qs;
    QTest::addRow("every 3 months over New Year")
        << u"3m;30;2026-11-30;"_qs << QString() << u"2027-09-01"_qs
        << u"2026-11-30,2027-02-28,2027-05-30,2027-08-30"_qs;
    QTest::addRow("since the last time")
        << u"1m;5;2026-01-05;"_qs << u"2026-03-05"_qs << u"2026-05-04"_qs << u"2026-04-05"_qs;
    QTest::addRow("today included")
        << u"1m;5;2026-01-05;"_qs << u"2026-04-05"_qs << u"2026-05-05"_qs << u"2026-05-05"_qs;
    QTest::addRow("done today") << u"1m;5;2026-01-05;"_qs << u"2026-05-05"_qs << u"2026-05-05"_qs
                                << QString();
    QTest::addRow("last done on a day that was no occurrence")
        << u"1m;31;2026-01-31;"_qs << u"2026-03-15"_qs << u"2026-05-31"_qs
        << u"2026-03-31,2026-04-30,2026-05-31"_qs;
    QTest::addRow("last done before the start") << u"1m;5;2026-03-05;"_qs << u"2025-01-01"_qs
                                                << u"2026-04-05"_qs << u"2026-03-05,2026-04-05"_qs;
    QTest::addRow("start ahead") << u"1m;5;2027-01-05;"_qs << QString() << u"2026-12-09"_qs
                                 << QString();
    QTest::addRow("leap day yearly")
        << u"1y;29;2024-02-29;"_qs << QString() << u"2029-03-01"_qs
        << u"2024-02-29,2025-02-28,2026-02-28,2027-02-28,2028-02-29,2029-02-28"_qs;
    QTest::addRow("leap day every 4 years")
        << u"4y;29;2024-02-29;"_qs << QString() << u"2033-01-01"_qs
        << u"2024-02-29,2028-02-29,2032-02-29"_qs;
    QTest::addRow("leap day, century not leap")
        << u"4y;29;2096-02-29;"_qs << QString() << u"2105-01-01"_qs
        << u"2096-02-29,2100-02-28,2104-02-29"_qs;
    QTest::addRow("yearly insurance, day before")
        << u"1y;15;2020-03-15;"_qs << u"2025-03-15"_qs << u"2026-03-14"_qs << QString();
    QTest::addRow("yearly insurance, on the day")
        << u"1y;15;2020-03-15;"_qs << u"2025-03-15"_qs << u"2026-03-15"_qs << u"2026-03-15"_qs;
    QTest::addRow("yearly on the 31st of a 30-day month")
        << u"1y;31;2026-04-30;"_qs << QString() << u"2028-05-01"_qs
        << u"2026-04-30,2027-04-30,2028-04-30"_qs;
    QTest::addRow("weekly over a leap day")
        << u"1w;;2028-02-22;"_qs << QString() << u"2028-03-14"_qs
        << u"2028-02-22,2028-02-29,2028-03-07,2028-03-14"_qs;
    QTest::addRow("weekly allowance") << u"1w;;2026-12-02;"_qs << QString() << u"2026-12-23"_qs
                                      << u"2026-12-02,2026-12-09,2026-12-16,2026-12-23"_qs;
    QTest::addRow("every 2 weeks over New Year")
        << u"2w;;2026-12-16;"_qs << QString() << u"2027-01-15"_qs
        << u"2026-12-16,2026-12-30,2027-01-13"_qs;
    QTest::addRow("every 3 days over a month end")
        << u"3d;;2026-02-26;"_qs << QString() << u"2026-03-06"_qs
        << u"2026-02-26,2026-03-01,2026-03-04"_qs;
    QTest::addRow("every 3 days, leap year")
        << u"3d;;2028-02-26;"_qs << QString() << u"2028-03-06"_qs
        << u"2028-02-26,2028-02-29,2028-03-03,2028-03-06"_qs;
    QTest::addRow("end date stops") << u"1m;10;2026-01-10;2026-03-31"_qs << QString()
                                    << u"2026-12-01"_qs << u"2026-01-10,2026-02-10,2026-03-10"_qs;
    QTest::addRow("end date included")
        << u"1d;;2026-01-01;2026-01-03"_qs << QString() << u"2026-02-01"_qs
        << u"2026-01-01,2026-01-02,2026-01-03"_qs;
    QTest::addRow("ended before the last time")
        << u"1d;;2026-01-01;2026-01-03"_qs << u"2026-01-05"_qs << u"2026-02-01"_qs << QString();
    QTest::addRow("monthly after three years away")
        << u"12m;31;2023-01-31;"_qs << u"2023-01-31"_qs << u"2026-02-27"_qs
        << u"2024-01-31,2025-01-31,2026-01-31"_qs;
}

void TestRecurrence::due()
{
    QFETCH(QString, rule);
    QFETCH(QString, lastDone);
    QFETCH(QString, today);
    QFETCH(QString, dates);
    const TRecurrence::TDue due = Rule(rule).due(D(lastDone), D(today));
    QCOMPARE(Days(due.Dates), dates);
    QCOMPARE(due.Skipped, qint64(0));
}

void TestRecurrence::longGapsAreCapped_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("lastDone");
    QTest::addColumn<QString>("today");
    QTest::addColumn<int>("cap");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("skipped");

    // 2016-01-02 .. 2026-01-01 are 3,653 days; the newest 62 are proposed.
    QTest::addRow("daily after ten years")
        << u"1d;;2016-01-01;"_qs << u"2016-01-01"_qs << u"2026-01-01"_qs << int(TRecurrence::MaxDue)
        << u"2025-11-01"_qs << u"2026-01-01"_qs << 62 << qint64(3653 - 62);
    QTest::addRow("never done, started long ago")
        << u"1d;;1990-01-01;"_qs << QString() << u"2026-12-09"_qs << 10 << u"2026-11-30"_qs
        << u"2026-12-09"_qs << 10 << qint64(QDate(1990, 1, 1).daysTo(QDate(2026, 12, 9)) + 1 - 10);
    QTest::addRow("monthly after six years")
        << u"1m;31;2020-01-31;"_qs << u"2020-01-31"_qs << u"2026-02-27"_qs << 12 << u"2025-02-28"_qs
        << u"2026-01-31"_qs << 12 << qint64(72 - 12);
    QTest::addRow("leap-day insurance after twenty years")
        << u"1y;29;2004-02-29;"_qs << u"2004-02-29"_qs << u"2026-12-09"_qs << 5 << u"2022-02-28"_qs
        << u"2026-02-28"_qs << 5 << qint64(22 - 5);
    QTest::addRow("exactly the cap")
        << u"1w;;2026-01-07;"_qs << u"2025-12-31"_qs << u"2026-03-04"_qs << 9 << u"2026-01-07"_qs
        << u"2026-03-04"_qs << 9 << qint64(0);
}

void TestRecurrence::longGapsAreCapped()
{
    QFETCH(QString, rule);
    QFETCH(QString, lastDone);
    QFETCH(QString, today);
    QFETCH(int, cap);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(int, count);
    QFETCH(qint64, skipped);
    const TRecurrence::TDue due = Rule(rule).due(D(lastDone), D(today), cap);
    QCOMPARE(due.Dates.size(), count);
    QCOMPARE(due.Dates.first(), D(first));
    QCOMPARE(due.Dates.last(), D(last));
    QCOMPARE(due.Skipped, skipped);
    for (int i = 1; i < due.Dates.size(); ++i)
        QVERIFY(due.Dates.at(i - 1) < due.Dates.at(i));
}

void TestRecurrence::monthlyKeepsItsDay()
{
    // Every day of the month, ten years on: one date a month, on the rule's
    // day or the month's last when the month is shorter, never drifting to
    // the short month's day.
    for (int day = 1; day <= 31; ++day) {
        const TRecurrence rule(TRecurrence::Months, 1, QDate(2024, 1, 1), QDate(), day);
        for (int k = 0; k < 120; ++k) {
            const QDate d = rule.occurrence(k);
            const QDate month = QDate(2024, 1, 1).addMonths(k);
            QCOMPARE(d.year(), month.year());
            QCOMPARE(d.month(), month.month());
            QCOMPARE(d.day(), std::min(day, month.daysInMonth()));
        }
    }
}

void TestRecurrence::yearlyKeepsItsDay()
{
    for (int month = 1; month <= 12; ++month) {
        const int longest = QDate(2000, month, 1).daysInMonth();
        const TRecurrence rule(TRecurrence::Years, 1, QDate(2024, month, longest));
        for (int k = 0; k < 30; ++k) {
            const QDate d = rule.occurrence(k);
            QCOMPARE(d.year(), 2024 + k);
            QCOMPARE(d.month(), month);
            QCOMPARE(d.day(), std::min(longest, QDate(2024 + k, month, 1).daysInMonth()));
        }
    }
}

void TestRecurrence::next_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("next");
    QTest::addRow("before the start")
        << u"1m;31;2026-01-31;"_qs << u"2025-06-01"_qs << u"2026-01-31"_qs;
    QTest::addRow("on an occurrence")
        << u"1m;31;2026-01-31;"_qs << u"2026-01-31"_qs << u"2026-02-28"_qs;
    QTest::addRow("between") << u"1m;31;2026-01-31;"_qs << u"2026-03-01"_qs << u"2026-03-31"_qs;
    QTest::addRow("past the end") << u"1m;31;2026-01-31;2026-04-29"_qs << u"2026-03-31"_qs
                                  << QString();
    QTest::addRow("no date: the first") << u"2w;;2026-12-02;"_qs << QString() << u"2026-12-02"_qs;
}

void TestRecurrence::next()
{
    QFETCH(QString, rule);
    QFETCH(QString, after);
    QFETCH(QString, next);
    QCOMPARE(Rule(rule).next(D(after)), D(next));
}

void TestRecurrence::text_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("every");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");

    QTest::addRow("monthly, last day") << int(TRecurrence::Months) << 1 << QDate(2026, 1, 31)
                                       << QDate() << 31 << u"1m;31;2026-01-31;"_qs;
    QTest::addRow("monthly, the start's day") << int(TRecurrence::Months) << 1 << QDate(2026, 1, 5)
                                              << QDate() << 0 << u"1m;5;2026-01-05;"_qs;
    QTest::addRow("every 2 weeks with an end")
        << int(TRecurrence::Weeks) << 2 << QDate(2026, 1, 5) << QDate(2026, 12, 31) << 0
        << u"2w;;2026-01-05;2026-12-31"_qs;
    QTest::addRow("daily, day ignored") << int(TRecurrence::Days) << 1 << QDate(2026, 1, 5)
                                        << QDate() << 17 << u"1d;;2026-01-05;"_qs;
    QTest::addRow("every 999 years") << int(TRecurrence::Years) << 999 << QDate(2024, 2, 29)
                                     << QDate() << 0 << u"999y;29;2024-02-29;"_qs;
}

void TestRecurrence::text()
{
    QFETCH(int, unit);
    QFETCH(int, every);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(int, day);
    QFETCH(QString, text);
    const TRecurrence rule(TRecurrence::Unit(unit), every, start, end, day);
    QVERIFY(rule.isValid());
    QCOMPARE(rule.toText(), text);
    const std::optional<TRecurrence> back = TRecurrence::FromText(text);
    QVERIFY(back);
    QVERIFY(*back == rule);
    QCOMPARE(back->toText(), text);
}

void TestRecurrence::badText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("empty") << QString();
    QTest::addRow("three fields") << u"1m;31;2026-01-31"_qs;
    QTest::addRow("five fields") << u"1m;31;2026-01-31;;"_qs;
    QTest::addRow("no count") << u"m;31;2026-01-31;"_qs;
    QTest::addRow("count zero") << u"0m;31;2026-01-31;"_qs;
    QTest::addRow("count too large") << u"1000d;;2026-01-31;"_qs;
    QTest::addRow("signed count") << u"+1m;31;2026-01-31;"_qs;
    QTest::addRow("blank before the count") << u" 1m;31;2026-01-31;"_qs;
    QTest::addRow("unknown unit") << u"1x;;2026-01-31;"_qs;
    QTest::addRow("capital unit") << u"1M;31;2026-01-31;"_qs;
    QTest::addRow("day on a daily rule") << u"1d;5;2026-01-31;"_qs;
    QTest::addRow("monthly without a day") << u"1m;;2026-01-31;"_qs;
    QTest::addRow("day zero") << u"1m;0;2026-01-31;"_qs;
    QTest::addRow("day 32") << u"1m;32;2026-01-31;"_qs;
    QTest::addRow("impossible start") << u"1m;5;2026-02-30;"_qs;
    QTest::addRow("short start") << u"1m;5;2026-1-5;"_qs;
    QTest::addRow("no start") << u"1m;5;;"_qs;
    QTest::addRow("end before start") << u"1m;5;2026-03-05;2026-03-04"_qs;
    QTest::addRow("impossible end") << u"1m;5;2026-03-05;2026-13-01"_qs;
}

void TestRecurrence::badText()
{
    QFETCH(QString, text);
    QVERIFY(!TRecurrence::FromText(text));
}

void TestRecurrence::describe_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("text");
    QTest::addRow("daily") << u"1d;;2026-01-01;"_qs << u"每天"_qs;
    QTest::addRow("every 3 days") << u"3d;;2026-01-01;"_qs << u"每 3 天"_qs;
    QTest::addRow("weekly") << u"1w;;2026-12-02;"_qs << u"每周三"_qs;
    QTest::addRow("every 2 weeks") << u"2w;;2026-12-06;"_qs << u"每 2 周（周日）"_qs;
    QTest::addRow("rent on the 5th") << u"1m;5;2026-01-05;"_qs << u"每月 5 日"_qs;
    QTest::addRow("last day") << u"1m;31;2026-01-31;"_qs << u"每月最后一天"_qs;
    QTest::addRow("30th, short months")
        << u"3m;30;2026-01-30;"_qs << u"每 3 个月 30 日（短月取最后一天）"_qs;
    QTest::addRow("yearly") << u"1y;15;2026-03-15;"_qs << u"每年 3 月 15 日"_qs;
    QTest::addRow("leap day") << u"1y;29;2024-02-29;"_qs
                              << u"每年 2 月 29 日（平年取 2 月 28 日）"_qs;
    QTest::addRow("31 in a 30-day month") << u"2y;31;2026-04-30;"_qs << u"每 2 年 4 月 30 日"_qs;
}

void TestRecurrence::describe()
{
    QFETCH(QString, rule);
    QFETCH(QString, text);
    QCOMPARE(Rule(rule).describe(), text);
}

void TestRecurrence::invalidRules()
{
    const TRecurrence none;
    QVERIFY(!none.isValid());
    QVERIFY(none.due(QDate(), QDate(2026, 1, 1)).Dates.isEmpty());
    QVERIFY(!none.next(QDate(2026, 1, 1)).isValid());
    QVERIFY(none.toText().isEmpty());
    QVERIFY(!TRecurrence(TRecurrence::Months, 1, QDate(2026, 1, 1), QDate(2025, 1, 1)).isValid());
    QVERIFY(!TRecurrence(TRecurrence::Days, 0, QDate(2026, 1, 1)).isValid());
    QVERIFY(!TRecurrence(TRecurrence::Months, 1, QDate()).isValid());
    QVERIFY(!TRecurrence(TRecurrence::Months, 1, QDate(2026, 1, 1), QDate(), 32).isValid());
}

QTEST_GUILESS_MAIN(TestRecurrence)
#include "tst_Recurrence.moc"
