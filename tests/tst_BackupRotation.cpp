#include "BackupRotation.h"

#include <QtTest>

class TestBackupRotation : public QObject {
    Q_OBJECT

private slots:
    void dayOf_data();
    void dayOf();
    void isDue_data();
    void isDue();
    void toRemove_data();
    void toRemove();
    void dailyStartsKeepSevenAndFour();
    void failedCopyPushesNothingOut();
};

namespace {

QDate D(const QString &ymd)
{
    return QDate::fromString(ymd, Qt::ISODate);
}

// "2026-12-01,2026-12-02" as file names.
QStringList Names(const QString &days)
{
    QStringList names;
    for (const QString &d : days.split(u',', Qt::SkipEmptyParts))
        names.append(TBackupRotation::FileName(D(d)));
    return names;
}

// The days of file names, comma-separated, as given.
QString Days(const QStringList &names)
{
    QStringList days;
    for (const QString &n : names)
        days.append(TBackupRotation::DayOf(n).toString(Qt::ISODate));
    return days.join(u',');
}

// n days ending on last, oldest first.
QString Run(const QString &last, int n)
{
    QStringList days;
    for (int i = n - 1; i >= 0; --i)
        days.append(D(last).addDays(-i).toString(Qt::ISODate));
    return days.join(u',');
}

} // namespace

void TestBackupRotation::dayOf_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDate>("day");

    QTest::addRow("a daily copy") << u"daily-2026-12-09.tlmdb"_qs << QDate(2026, 12, 9);
    QTest::addRow("with its folder")
        << u"/home/x/.local/share/Tallimo/backups/daily-2026-12-09.tlmdb"_qs << QDate(2026, 12, 9);
    QTest::addRow("leap day") << u"daily-2028-02-29.tlmdb"_qs << QDate(2028, 2, 29);
    QTest::addRow("impossible day") << u"daily-2026-02-30.tlmdb"_qs << QDate();
    QTest::addRow("short day") << u"daily-2026-12-9.tlmdb"_qs << QDate();
    QTest::addRow("signs in the digits") << u"daily-+026-12-09.tlmdb"_qs << QDate();
    QTest::addRow("capital letter") << u"Daily-2026-12-09.tlmdb"_qs << QDate();
    QTest::addRow("temporary of a copy") << u"daily-2026-12-09.tlmdb.partial-123-abc"_qs << QDate();
    QTest::addRow("safety copy") << u"before-restore-2026-12-09.tlmdb"_qs << QDate();
    QTest::addRow("other extension") << u"daily-2026-12-09.db"_qs << QDate();
}

void TestBackupRotation::dayOf()
{
    QFETCH(QString, name);
    QFETCH(QDate, day);
    QCOMPARE(TBackupRotation::DayOf(name), day);
    if (day.isValid())
        QCOMPARE(TBackupRotation::DayOf(TBackupRotation::FileName(day)), day);
}

void TestBackupRotation::isDue_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("due");
    QTest::addRow("no copies") << QStringList() << true;
    QTest::addRow("yesterday's only") << Names(u"2026-12-08"_qs) << true;
    QTest::addRow("today's made") << Names(u"2026-12-07,2026-12-09"_qs) << false;
    QTest::addRow("today's with its folder")
        << QStringList{u"/b/daily-2026-12-09.tlmdb"_qs} << false;
    QTest::addRow("a temporary of today's is no copy")
        << QStringList{u"daily-2026-12-09.tlmdb.partial-99-x"_qs} << true;
}

void TestBackupRotation::isDue()
{
    QFETCH(QStringList, names);
    QFETCH(bool, due);
    QCOMPARE(TBackupRotation::IsDue(QDate(2026, 12, 9), names), due);
}

void TestBackupRotation::toRemove_data()
{
    QTest::addColumn<QString>("today");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("removed"); // days, oldest first
    QTest::addColumn<int>("kept");

    QTest::addRow("fewer than seven")
        << u"2026-12-09"_qs << Names(Run(u"2026-12-09"_qs, 5)) << QString() << 5;
    QTest::addRow("five weeks of days")
        << u"2026-12-09"_qs
        << Names(Run(u"2026-12-09"_qs, 35))
        // Kept: Dec 3-9, then the newest of each older week: Dec 2 (week of
        // Nov 30), Nov 29, Nov 22, Nov 15.
        << u"2026-11-05,2026-11-06,2026-11-07,2026-11-08,2026-11-09,2026-11-10,2026-11-11,"
           "2026-11-12,2026-11-13,2026-11-14,2026-11-16,2026-11-17,2026-11-18,2026-11-19,"
           "2026-11-20,2026-11-21,2026-11-23,2026-11-24,2026-11-25,2026-11-26,2026-11-27,"
           "2026-11-28,2026-11-30,2026-12-01"_qs
        << 11;
    QTest::addRow("opened on Saturdays only")
        << u"2026-12-12"_qs
        << Names(u"2026-09-05,2026-09-12,2026-09-19,2026-09-26,2026-10-03,2026-10-10,2026-10-17,"
                 "2026-10-24,2026-10-31,2026-11-07,2026-11-14,2026-11-21,2026-11-28,2026-12-05,"
                 "2026-12-12"_qs)
        << u"2026-09-05,2026-09-12,2026-09-19,2026-09-26"_qs << 11;
    QTest::addRow("two copies of one old week")
        << u"2026-12-31"_qs
        << Names(Run(u"2026-12-31"_qs, 7) + u",2026-12-22,2026-12-23,2026-12-15"_qs)
        << u"2026-12-22"_qs << 9;
    QTest::addRow("one ISO week over New Year")
        // Mon 28 Dec 2026 and Fri 1 Jan 2027 are both in week 53 of 2026.
        << u"2027-01-20"_qs << Names(Run(u"2027-01-20"_qs, 7) + u",2026-12-28,2027-01-01"_qs)
        << u"2026-12-28"_qs << 8;
    QTest::addRow("a copy dated ahead is left alone")
        << u"2026-12-09"_qs << Names(Run(u"2026-12-09"_qs, 8) + u",2027-03-01"_qs) << QString()
        << 9;
    QTest::addRow("other files are never touched")
        << u"2026-12-09"_qs
        << (Names(Run(u"2026-12-09"_qs, 7)) +
            QStringList{u"notes.txt"_qs, u"before-restore-2026-01-01.tlmdb"_qs})
        << QString() << 9;
}

void TestBackupRotation::toRemove()
{
    QFETCH(QString, today);
    QFETCH(QStringList, names);
    QFETCH(QString, removed);
    QFETCH(int, kept);
    const QStringList gone = TBackupRotation::ToRemove(D(today), names);
    QCOMPARE(Days(gone), removed);
    const QStringList stay = TBackupRotation::Kept(D(today), names);
    // Kept and removed split the daily copies up to today; the rest stays too.
    QCOMPARE(stay.size() + gone.size() + (names.size() - stay.size() - gone.size()), names.size());
    QCOMPARE(names.size() - gone.size(), kept);
    for (int i = 1; i < stay.size(); ++i)
        QVERIFY(TBackupRotation::DayOf(stay.at(i - 1)) > TBackupRotation::DayOf(stay.at(i)));
}

void TestBackupRotation::dailyStartsKeepSevenAndFour()
{
    // A start every day for three months, with a pause: after each day's
    // rotation exactly the seven newest copies and four older weekly ones stay.
    QStringList folder;
    for (QDate day(2026, 9, 1); day <= QDate(2026, 12, 9); day = day.addDays(1)) {
        if (day >= QDate(2026, 10, 10) && day < QDate(2026, 10, 20))
            continue; // away
        QVERIFY(TBackupRotation::IsDue(day, folder));
        folder.append(TBackupRotation::FileName(day));
        QVERIFY(!TBackupRotation::IsDue(day, folder));
        for (const QString &name : TBackupRotation::ToRemove(day, folder))
            folder.removeOne(name);
        QVERIFY(folder.size() <= 11);
    }
    QCOMPARE(folder.size(), 11);
    QSet<QPair<int, int>> weeks;
    QList<QDate> days;
    for (const QString &n : folder)
        days.append(TBackupRotation::DayOf(n));
    std::sort(days.begin(), days.end(), std::greater<>());
    for (int i = 0; i < 7; ++i)
        QCOMPARE(days.at(i), QDate(2026, 12, 9).addDays(-i));
    for (int i = 7; i < 11; ++i) {
        int year = 0;
        const int week = days.at(i).weekNumber(&year);
        QVERIFY2(!weeks.contains({year, week}), "two weekly copies of one week");
        weeks.insert({year, week});
    }
}

void TestBackupRotation::failedCopyPushesNothingOut()
{
    // Today's copy failed its check and was removed: the listing has no
    // copy of today, and nothing older goes for it.
    const QStringList names = Names(Run(u"2026-12-08"_qs, 7));
    QVERIFY(TBackupRotation::IsDue(QDate(2026, 12, 9), names));
    QVERIFY(TBackupRotation::ToRemove(QDate(2026, 12, 9), names).isEmpty());
}

QTEST_GUILESS_MAIN(TestBackupRotation)
#include "tst_BackupRotation.moc"
