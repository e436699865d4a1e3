// What the store keeps of recurring entries and the proposals made of them:
// the entries per account, a category rename, and each due date claimed once,
// also by two programs on one ledger at the same moment. Built twice: on data
// files, and as tst_RecurringStore_pg on the test cluster.

#include "DbClass.h"
#include "TestSupport.h"

#include <QtTest>

#include <set>
#include <thread>
#include <utility>

using TestSupport::Raw;

namespace {

const QString Li = QStringLiteral("Li");
const QString Wang = QStringLiteral("Wang");

// Seconds since 1970 at noon of a day: an entry made then proposes from that day on.
qint64 noon(const QDate &day)
{
    return QDateTime(day, QTime(12, 0)).toSecsSinceEpoch();
}

QDate ymd(const char *text)
{
    return QDate::fromString(QLatin1String(text), Qt::ISODate);
}

TRecurringEntry entry(const QString &type, const QString &cate, qint64 cents, const char *rule,
                      const QString &notes = QString())
{
    TRecurringEntry e;
    e.Type = type;
    e.Cate = cate;
    e.Cents = cents;
    e.Notes = notes;
    const auto r = TRecurrence::FromText(QString::fromLatin1(rule));
    if (!r)
        qFatal("bad rule %s", rule);
    e.Rule = *r;
    return e;
}

QStringList dates(const QList<TProposal> &proposals)
{
    QStringList out;
    for (const TProposal &p : proposals)
        out << p.Date;
    return out;
}

QList<TProposalClaim> claims(const QList<TProposal> &proposals)
{
    QList<TProposalClaim> out;
    for (const TProposal &p : proposals)
        out << p.Claim;
    return out;
}

TBatchRows rows(const QList<TProposal> &proposals)
{
    TBatchRows out;
    for (const TProposal &p : proposals)
        out << TBatchRow{p.Date, p.Type, p.Cate, p.Cents, p.Notes};
    return out;
}

} // namespace

class TestRecurringStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void entriesRoundTrip_data();
    void entriesRoundTrip();
    void badEntryStoresNothing_data();
    void badEntryStoresNothing();
    void renameCarriesEntriesOfThatTypeOnly();
    void dueDatesAreProposedOnce_data();
    void dueDatesAreProposedOnce();
    void twoProgramsClaimEachDateOnce();
    void twoProgramsAtTheSameMomentClaimEachDateOnce();
    void savedDismissedAndReleased();
    void saveIsAllOrNothing();
    void staleClaimIsTakenOverAndTheOldHolderCannotSave();
    void keptClaimIsNotTakenOver();
    void editedEntryProposesFromItsChange();
    void deletedEntryStopsProposingButPendingLinesStillSave();
    void nextDueSkipsWhatWasProposed_data();
    void nextDueSkipsWhatWasProposed();
    void readOnlyLedgerClaimsNothing();

private:
    bool onPg() const { return !m_pgUrl.isEmpty(); }
    QString madeState(qint64 made, qint64 *record = nullptr) const
    {
        Raw raw(m_data->path());
        const QString where = QStringLiteral(" from \"recurring_made\" where \"id\"=%1").arg(made);
        if (record)
            *record = raw.value(QStringLiteral("select \"record\"") + where).toLongLong();
        return raw.value(QStringLiteral("select \"state\"") + where);
    }
    qint64 records(const QString &user = Li)
    {
        return m_db->QueryPeriod(user, QStringLiteral("1900-01-01"), QStringLiteral("2999-12-31"))
            .RecRows.size();
    }

    QString m_pgUrl;
    std::unique_ptr<TestSupport::DataFile> m_data;
    std::unique_ptr<TDbMan> m_db;
};

void TestRecurringStore::initTestCase()
{
    QString error;
    m_pgUrl = TestSupport::PgTestUrl(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestRecurringStore::init()
{
    m_data = onPg() ? std::make_unique<TestSupport::DataFile>(m_pgUrl)
                    : std::make_unique<TestSupport::DataFile>();
    m_db = std::make_unique<TDbMan>(m_data->path());
    m_db->AddUser(Li, QStringLiteral("1"));
    m_db->AddUser(Wang, QStringLiteral("2"));
}

void TestRecurringStore::cleanup()
{
    m_db.reset();
    m_data.reset();
}

void TestRecurringStore::entriesRoundTrip_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("cate");
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("rule");
    QTest::addRow("rent on the last day, with an end")
        << TypeExpense() << u"房租"_qs << qint64(320000) << u"三月起涨价"_qs
        << u"1m;31;2026-01-31;2027-12-31"_qs;
    QTest::addRow("weekly allowance")
        << TypeExpense() << u"零花钱"_qs << qint64(5000) << QString() << u"1w;;2026-12-02;"_qs;
    QTest::addRow("salary") << TypeIncome() << u"工资"_qs << qint64(1234567) << u"月薪"_qs
                            << u"1m;10;2026-01-10;"_qs;
    QTest::addRow("insurance on a leap day")
        << TypeExpense() << u"保险"_qs << qint64(99) << QString() << u"1y;29;2024-02-29;"_qs;
    QTest::addRow("every 3 days") << TypeExpense() << u"买菜"_qs << qint64(1)
                                  << u"含 \"引号\" 与 ;分号"_qs << u"3d;;2026-02-27;"_qs;
}

void TestRecurringStore::entriesRoundTrip()
{
    QFETCH(QString, type);
    QFETCH(QString, cate);
    QFETCH(qint64, cents);
    QFETCH(QString, notes);
    QFETCH(QString, rule);
    const TRecurringEntry e = entry(type, cate, cents, qPrintable(rule), notes);
    const qint64 id = m_db->AddRecurring(Li, e, noon(ymd("2026-12-01")));
    QVERIFY(id > 0);
    const QList<TRecurringEntry> back = m_db->RecurringEntries(Li);
    QCOMPARE(back.size(), 1);
    QCOMPARE(back[0].Id, id);
    QCOMPARE(back[0].Type, type);
    QCOMPARE(back[0].Cate, cate);
    QCOMPARE(back[0].Cents, cents);
    QCOMPARE(back[0].Notes, notes);
    QCOMPARE(back[0].Rule.toText(), rule);
    QCOMPARE(back[0].Time, noon(ymd("2026-12-01")));
    QVERIFY(!back[0].LastMade.isValid());
    // Another account sees none of it; start and stop are kept beside the rule.
    QVERIFY(m_db->RecurringEntries(Wang).isEmpty());
    Raw raw(m_data->path());
    QCOMPARE(raw.value(u"select \"start\" from \"recurring\""_qs),
             e.Rule.start().toString(Qt::ISODate));
    QCOMPARE(raw.value(u"select \"stop\" from \"recurring\""_qs),
             e.Rule.end().isValid() ? e.Rule.end().toString(Qt::ISODate) : QString());
}

void TestRecurringStore::badEntryStoresNothing_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("cate");
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<bool>("validRule");
    QTest::addRow("blank category") << TypeExpense() << u"  "_qs << qint64(100) << true;
    QTest::addRow("category of two lines") << TypeExpense() << u"房\n租"_qs << qint64(100) << true;
    QTest::addRow("no amount") << TypeExpense() << u"房租"_qs << qint64(0) << true;
    QTest::addRow("negative amount") << TypeExpense() << u"房租"_qs << qint64(-100) << true;
    QTest::addRow("amount too large")
        << TypeExpense() << u"房租"_qs << qint64(THi::MaxAmount) * 100 << true;
    QTest::addRow("no rule") << TypeExpense() << u"房租"_qs << qint64(100) << false;
    QTest::addRow("unknown type") << u"转账"_qs << u"房租"_qs << qint64(100) << true;
}

void TestRecurringStore::badEntryStoresNothing()
{
    QFETCH(QString, type);
    QFETCH(QString, cate);
    QFETCH(qint64, cents);
    QFETCH(bool, validRule);
    TRecurringEntry e = entry(type, cate, cents, "1m;5;2026-01-05;");
    if (!validRule)
        e.Rule = TRecurrence();
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->AddRecurring(Li, e, noon(ymd("2026-12-01"))));
    QCOMPARE(m_data->count(u"recurring"_qs), 0);
    // An edit with the same values changes nothing either.
    const qint64 id = m_db->AddRecurring(
        Li, entry(TypeExpense(), u"水费"_qs, 100, "1m;5;2026-01-05;"), noon(ymd("2026-12-01")));
    e.Id = id;
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->ReplaceRecurring(Li, e, noon(ymd("2026-12-02"))));
    QCOMPARE(m_db->RecurringEntries(Li).value(0).Cate, u"水费"_qs);
}

void TestRecurringStore::renameCarriesEntriesOfThatTypeOnly()
{
    const qint64 now = noon(ymd("2026-12-01"));
    const qint64 out =
        m_db->AddRecurring(Li, entry(TypeExpense(), u"房租"_qs, 100, "1m;5;2026-01-05;"), now);
    const qint64 in =
        m_db->AddRecurring(Li, entry(TypeIncome(), u"房租"_qs, 200, "1m;5;2026-01-05;"), now);
    m_db->AddRecurring(Wang, entry(TypeExpense(), u"房租"_qs, 300, "1m;5;2026-01-05;"), now);
    m_db->RenameCate(Li, TypeExpense(), u"房租"_qs, u" 住房 "_qs);
    for (const TRecurringEntry &e : m_db->RecurringEntries(Li)) {
        if (e.Id == out) {
            QCOMPARE(e.Cate, u"住房"_qs);
        } else {
            QCOMPARE(e.Id, in);
            QCOMPARE(e.Cate, u"房租"_qs);
        }
    }
    QCOMPARE(m_db->RecurringEntries(Wang).value(0).Cate, u"房租"_qs);
    // A proposal made after the rename carries the new name.
    const QList<TProposal> p = m_db->ClaimProposals(Li, ymd("2026-12-05"), now);
    QCOMPARE(p.size(), 2);
    QCOMPARE(p[0].Type == TypeExpense() ? p[0].Cate : p[1].Cate, u"住房"_qs);
}

void TestRecurringStore::dueDatesAreProposedOnce_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("made");
    QTest::addColumn<QString>("today");
    QTest::addColumn<QStringList>("expected");
    QTest::addRow("last day over short months")
        << u"1m;31;2026-01-31;"_qs << u"2026-01-01"_qs << u"2026-04-30"_qs
        << QStringList{u"2026-01-31"_qs, u"2026-02-28"_qs, u"2026-03-31"_qs, u"2026-04-30"_qs};
    QTest::addRow("leap February")
        << u"1m;30;2028-01-30;"_qs << u"2028-01-01"_qs << u"2028-03-01"_qs
        << QStringList{u"2028-01-30"_qs, u"2028-02-29"_qs};
    QTest::addRow("nothing before the day it was made")
        << u"1m;5;2026-01-05;"_qs << u"2026-06-15"_qs << u"2026-08-05"_qs
        << QStringList{u"2026-07-05"_qs, u"2026-08-05"_qs};
    QTest::addRow("due on the day it was made")
        << u"1m;5;2026-01-05;"_qs << u"2026-06-05"_qs << u"2026-06-05"_qs
        << QStringList{u"2026-06-05"_qs};
    QTest::addRow("start ahead") << u"1y;29;2028-02-29;"_qs << u"2026-12-01"_qs << u"2027-12-31"_qs
                                 << QStringList();
    QTest::addRow("ended") << u"1w;;2026-12-02;2026-12-16"_qs << u"2026-12-01"_qs
                           << u"2027-03-01"_qs
                           << QStringList{u"2026-12-02"_qs, u"2026-12-09"_qs, u"2026-12-16"_qs};
    QStringList daily;
    for (QDate d = ymd("2027-12-31").addDays(1 - RecurringStore::MaxPerEntry);
         d <= ymd("2027-12-31"); d = d.addDays(1))
        daily << d.toString(Qt::ISODate);
    QTest::addRow("a year away: the newest only")
        << u"1d;;2026-12-01;"_qs << u"2026-12-01"_qs << u"2027-12-31"_qs << daily;
}

void TestRecurringStore::dueDatesAreProposedOnce()
{
    QFETCH(QString, rule);
    QFETCH(QString, made);
    QFETCH(QString, today);
    QFETCH(QStringList, expected);
    const QDate day = QDate::fromString(today, Qt::ISODate);
    const qint64 now = noon(day);
    m_db->AddRecurring(Li, entry(TypeExpense(), u"房租"_qs, 150000, qPrintable(rule), u"按月"_qs),
                       noon(QDate::fromString(made, Qt::ISODate)));
    const QList<TProposal> first = m_db->ClaimProposals(Li, day, now);
    QCOMPARE(dates(first), expected);
    for (const TProposal &p : first) {
        QCOMPARE(p.Cents, qint64(150000));
        QCOMPARE(p.Notes, u"按月"_qs);
        QCOMPARE(p.Claim.Token, now);
        QCOMPARE(madeState(p.Claim.Made), u"proposed"_qs);
    }
    // Asked again, by this program or another, later on: nothing twice.
    QVERIFY(m_db->ClaimProposals(Li, day, now + 60).isEmpty());
    TDbMan other(m_data->path());
    QVERIFY(other.ClaimProposals(Li, day, now + 120).isEmpty());
    QVERIFY(m_db->ClaimProposals(Wang, day, now).isEmpty());
    QCOMPARE(m_data->count(u"recurring_made"_qs), expected.size());
}

void TestRecurringStore::twoProgramsClaimEachDateOnce()
{
    // Two programs on one ledger, starting on alternate days of a month.
    const qint64 made = noon(ymd("2026-11-30"));
    m_db->AddRecurring(Li, entry(TypeExpense(), u"早餐"_qs, 800, "1d;;2026-12-01;"), made);
    m_db->AddRecurring(Li, entry(TypeExpense(), u"零花钱"_qs, 5000, "1w;;2026-12-02;"), made);
    m_db->AddRecurring(Li, entry(TypeIncome(), u"工资"_qs, 800000, "1m;31;2026-12-31;"), made);
    TDbMan other(m_data->path());
    std::set<std::pair<qint64, QString>> seen;
    int total = 0;
    for (QDate d = ymd("2026-12-01"); d <= ymd("2026-12-31"); d = d.addDays(1)) {
        TDbMan &program = d.day() % 2 ? *m_db : other;
        TDbMan &second = d.day() % 2 ? other : *m_db;
        for (TDbMan *p : {&program, &second}) {
            const QList<TProposal> got = p->ClaimProposals(Li, d, noon(d));
            for (const TProposal &x : got) {
                QVERIFY2(seen.insert({x.Entry, x.Date}).second, qPrintable(x.Date));
                ++total;
            }
            // The person saves what was proposed (a claim left unconfirmed
            // for a day would be free again).
            p->AddProposedRecords(Li, rows(got), claims(got), noon(d) + 60);
        }
    }
    QCOMPARE(total, 31 + 5 + 1);
    QCOMPARE(records(), total);
}

void TestRecurringStore::twoProgramsAtTheSameMomentClaimEachDateOnce()
{
    // Both start at once after a month away, on threads of their own; the
    // wait hook lets neither give up on the other's lock.
    const qint64 made = noon(ymd("2026-10-31"));
    for (int i = 0; i < 6; ++i) {
        m_db->AddRecurring(Li,
                           entry(TypeExpense(), u"项目%1"_qs.arg(i), 100 + i,
                                 i % 2 ? "1d;;2026-11-01;" : "1w;;2026-11-03;"),
                           made);
    }
    const QString location = m_data->path();
    for (int round = 0; round < 3; ++round) {
        const QDate today = ymd("2026-11-30").addDays(round);
        QList<TProposal> got[2];
        QString failed[2];
        auto run = [&](int k) {
            try {
                TDbMan program(location);
                got[k] = program.ClaimProposals(Li, today, noon(today));
                program.AddProposedRecords(Li, rows(got[k]), claims(got[k]), noon(today));
            } catch (const EDbError &e) {
                failed[k] = e.text();
            }
        };
        std::thread a(run, 0), b(run, 1);
        a.join();
        b.join();
        QVERIFY2(failed[0].isEmpty(), qPrintable(failed[0]));
        QVERIFY2(failed[1].isEmpty(), qPrintable(failed[1]));
        std::set<std::pair<qint64, QString>> seen;
        for (const auto &list : got) {
            for (const TProposal &x : list)
                QVERIFY2(seen.insert({x.Entry, x.Date}).second, qPrintable(x.Date));
        }
        const int expected = round == 0 ? 3 * 30 + 3 * 4 : 3 + (today.dayOfWeek() == 2 ? 3 : 0);
        QCOMPARE(int(seen.size()), expected);
    }
    QCOMPARE(m_data->count(u"recurring_made"_qs), 3 * 32 + 3 * 5);
    QCOMPARE(records(), 3 * 32 + 3 * 5);
}

void TestRecurringStore::savedDismissedAndReleased()
{
    const QDate today = ymd("2026-12-09");
    const qint64 now = noon(today);
    m_db->AddRecurring(Li, entry(TypeExpense(), u"零花钱"_qs, 5000, "1w;;2026-11-18;"),
                       noon(ymd("2026-11-17")));
    const QList<TProposal> p = m_db->ClaimProposals(Li, today, now);
    QCOMPARE(dates(p),
             (QStringList{u"2026-11-18"_qs, u"2026-11-25"_qs, u"2026-12-02"_qs, u"2026-12-09"_qs}));
    // Saved with a plain line between; dismissed; two released at close.
    TBatchRows lines = rows({p[0]});
    QList<TProposalClaim> held = claims({p[0]});
    lines << TBatchRow{u"2026-12-09"_qs, TypeExpense(), u"午饭"_qs, 2500, QString()};
    held << TProposalClaim();
    m_db->AddProposedRecords(Li, lines, held, now + 10);
    QCOMPARE(records(), 2);
    qint64 record = 0;
    QCOMPARE(madeState(p[0].Claim.Made, &record), u"saved"_qs);
    const TRecordList recs = m_db->QueryPeriod(Li, u"2026-11-18"_qs, u"2026-11-18"_qs).RecRows;
    QCOMPARE(recs.size(), 1);
    QCOMPARE(recs.Id(0), record);
    QCOMPARE(recs.Cents(0), qint64(5000));

    m_db->DismissProposal(p[1].Claim, now + 20);
    QCOMPARE(madeState(p[1].Claim.Made), u"dismissed"_qs);
    m_db->ReleaseProposals(claims({p[2], p[3]}));
    QCOMPARE(m_data->count(u"recurring_made"_qs), 2);

    // Next start: the released dates again, the saved and dismissed ones never.
    TDbMan next(m_data->path());
    QCOMPARE(dates(next.ClaimProposals(Li, today, now + 30)),
             (QStringList{u"2026-12-02"_qs, u"2026-12-09"_qs}));
    QCOMPARE(next.RecurringEntries(Li).value(0).LastMade, today);
}

void TestRecurringStore::saveIsAllOrNothing()
{
    const QDate today = ymd("2026-12-09");
    m_db->AddRecurring(Li, entry(TypeExpense(), u"房租"_qs, 320000, "1m;5;2026-12-05;"),
                       noon(ymd("2026-12-01")));
    const QList<TProposal> p = m_db->ClaimProposals(Li, today, noon(today));
    QCOMPARE(p.size(), 1);
    TBatchRows lines = rows(p);
    lines << TBatchRow{u"2026-13-01"_qs, TypeExpense(), u"午饭"_qs, 2500, QString()};
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->AddProposedRecords(Li, lines, claims(p), noon(today)));
    QCOMPARE(records(), 0);
    QCOMPARE(madeState(p[0].Claim.Made), u"proposed"_qs);
    // Corrected, it saves, with the claim.
    lines[1].Date = u"2026-12-01"_qs;
    m_db->AddProposedRecords(Li, lines, claims(p), noon(today));
    QCOMPARE(records(), 2);
    QCOMPARE(madeState(p[0].Claim.Made), u"saved"_qs);
    // Saving the same claim again (a second save of a stale list) stores nothing.
    QVERIFY_THROWS_EXCEPTION(EDbError,
                             m_db->AddProposedRecords(Li, rows(p), claims(p), noon(today)));
    QCOMPARE(records(), 2);
}

void TestRecurringStore::staleClaimIsTakenOverAndTheOldHolderCannotSave()
{
    const QDate today = ymd("2026-12-10");
    const qint64 t = noon(today);
    m_db->AddRecurring(Li, entry(TypeIncome(), u"工资"_qs, 800000, "1m;10;2026-12-10;"),
                       noon(ymd("2026-12-01")));
    QList<TProposalClaim> mine = claims(m_db->ClaimProposals(Li, today, t));
    QCOMPARE(mine.size(), 1);
    TDbMan other(m_data->path());
    // Still confirmed an hour ago: not free yet.
    QVERIFY(other.ClaimProposals(Li, today, t + RecurringStore::StaleSeconds).isEmpty());
    // The holder went quiet (a crash, a laptop asleep): the next program takes it.
    const QList<TProposal> theirs =
        other.ClaimProposals(Li, today, t + RecurringStore::StaleSeconds + 1);
    QCOMPARE(dates(theirs), QStringList{u"2026-12-10"_qs});
    QCOMPARE(theirs[0].Claim.Made, mine[0].Made);
    // The old holder learns it lost it and can neither save nor release it.
    QList<TProposalClaim> kept = mine;
    QCOMPARE(m_db->KeepProposals(kept, t + 4000), QList<int>{0});
    const TBatchRows line = {TBatchRow{u"2026-12-10"_qs, TypeIncome(), u"工资"_qs, 800000, {}}};
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->AddProposedRecords(Li, line, mine, t + 4000));
    m_db->ReleaseProposals(mine);
    m_db->DismissProposal(mine[0], t + 4000);
    QCOMPARE(records(), 0);
    QCOMPARE(madeState(mine[0].Made), u"proposed"_qs);
    other.AddProposedRecords(Li, line, claims(theirs), t + 4000);
    QCOMPARE(records(), 1);
}

void TestRecurringStore::keptClaimIsNotTakenOver()
{
    const QDate today = ymd("2026-12-10");
    const qint64 t = noon(today);
    m_db->AddRecurring(Li, entry(TypeIncome(), u"工资"_qs, 800000, "1m;10;2026-12-10;"),
                       noon(ymd("2026-12-01")));
    QList<TProposalClaim> mine = claims(m_db->ClaimProposals(Li, today, t));
    // Confirmed every ten minutes for a whole day.
    for (qint64 at = t + 600; at <= t + 86400; at += 600) {
        QVERIFY(m_db->KeepProposals(mine, at).isEmpty());
        QCOMPARE(mine[0].Token, at);
    }
    TDbMan other(m_data->path());
    QVERIFY(other.ClaimProposals(Li, today.addDays(1), t + 86400 + 60).isEmpty());
    m_db->AddProposedRecords(
        Li, {TBatchRow{u"2026-12-10"_qs, TypeIncome(), u"工资"_qs, 800000, {}}}, mine, t + 86400);
    QCOMPARE(madeState(mine[0].Made), u"saved"_qs);
}

void TestRecurringStore::editedEntryProposesFromItsChange()
{
    TRecurringEntry e = entry(TypeExpense(), u"房租"_qs, 300000, "1m;5;2026-01-05;");
    e.Id = m_db->AddRecurring(Li, e, noon(ymd("2026-01-01")));
    QCOMPARE(m_db->ClaimProposals(Li, ymd("2026-02-05"), noon(ymd("2026-02-05"))).size(), 2);
    // Months later the rent rises and moves to the 8th; what fell due in
    // between was entered by hand meanwhile, so only what comes now is proposed.
    e.Cents = 320000;
    e.Rule = *TRecurrence::FromText(u"1m;8;2026-01-08;");
    m_db->ReplaceRecurring(Li, e, noon(ymd("2026-06-08")));
    const QList<TProposal> p = m_db->ClaimProposals(Li, ymd("2026-07-09"), noon(ymd("2026-07-09")));
    QCOMPARE(dates(p), (QStringList{u"2026-06-08"_qs, u"2026-07-08"_qs}));
    QCOMPARE(p[0].Cents, qint64(320000));
    // Another account cannot change it.
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->ReplaceRecurring(Wang, e, noon(ymd("2026-07-09"))));
}

void TestRecurringStore::deletedEntryStopsProposingButPendingLinesStillSave()
{
    const QDate today = ymd("2026-12-09");
    const qint64 id = m_db->AddRecurring(
        Li, entry(TypeExpense(), u"零花钱"_qs, 5000, "1w;;2026-12-02;"), noon(ymd("2026-12-01")));
    const QList<TProposal> p = m_db->ClaimProposals(Li, today, noon(today));
    QCOMPARE(p.size(), 2);
    m_db->AddProposedRecords(Li, rows({p[0]}), claims({p[0]}), noon(today));
    m_db->DeleteRecurring(Wang, id); // not Wang's: nothing happens
    QCOMPARE(m_db->RecurringEntries(Li).size(), 1);
    m_db->DeleteRecurring(Li, id);
    QVERIFY(m_db->RecurringEntries(Li).isEmpty());
    QCOMPARE(m_data->count(u"recurring_made"_qs), 1); // the line still pending
    m_db->AddProposedRecords(Li, rows({p[1]}), claims({p[1]}), noon(today));
    QCOMPARE(records(), 2);
    QVERIFY(m_db->ClaimProposals(Li, ymd("2026-12-31"), noon(ymd("2026-12-31"))).isEmpty());
}

void TestRecurringStore::nextDueSkipsWhatWasProposed_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("claimedOn");
    QTest::addColumn<QString>("today");
    QTest::addColumn<QString>("next");
    QTest::addRow("nothing claimed yet: today counts")
        << u"1m;31;2026-01-31;"_qs << QString() << u"2026-02-28"_qs << u"2026-02-28"_qs;
    QTest::addRow("today claimed: the next month's last day")
        << u"1m;31;2026-01-31;"_qs << u"2026-02-28"_qs << u"2026-02-28"_qs << u"2026-03-31"_qs;
    QTest::addRow("leap day yearly")
        << u"1y;29;2024-02-29;"_qs << u"2024-03-01"_qs << u"2024-03-01"_qs << u"2025-02-28"_qs;
    QTest::addRow("ended") << u"1w;;2026-12-02;2026-12-09"_qs << u"2026-12-09"_qs
                           << u"2026-12-10"_qs << QString();
}

void TestRecurringStore::nextDueSkipsWhatWasProposed()
{
    QFETCH(QString, rule);
    QFETCH(QString, claimedOn);
    QFETCH(QString, today);
    QFETCH(QString, next);
    m_db->AddRecurring(Li, entry(TypeExpense(), u"房租"_qs, 100, qPrintable(rule)),
                       noon(ymd("2024-01-01")));
    if (!claimedOn.isEmpty()) {
        const QDate d = QDate::fromString(claimedOn, Qt::ISODate);
        QVERIFY(!m_db->ClaimProposals(Li, d, noon(d)).isEmpty());
    }
    const TRecurringEntry e = m_db->RecurringEntries(Li).value(0);
    QCOMPARE(e.NextDue(QDate::fromString(today, Qt::ISODate)).toString(Qt::ISODate), next);
}

void TestRecurringStore::readOnlyLedgerClaimsNothing()
{
    m_db->AddRecurring(Li, entry(TypeExpense(), u"房租"_qs, 100, "1m;5;2026-12-05;"),
                       noon(ymd("2026-12-01")));
    m_db->SetReadOnly(true);
    // Nothing due yet: a start reads and writes nothing, so read-only is no obstacle.
    QVERIFY(m_db->ClaimProposals(Li, ymd("2026-12-04"), noon(ymd("2026-12-04"))).isEmpty());
    QVERIFY_THROWS_EXCEPTION(EDbCannotWrite,
                             m_db->ClaimProposals(Li, ymd("2026-12-09"), noon(ymd("2026-12-09"))));
    QCOMPARE(m_data->count(u"recurring_made"_qs), 0);
}

QTEST_GUILESS_MAIN(TestRecurringStore)
#include "tst_RecurringStore.moc"
