#include "DbClass.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QtTest>

// Every test works on a fresh copy of the template data file.
class TestDbClass : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // accounts and category lists
    void listUsersNewestFirst();
    void checkLogin_data();
    void checkLogin();
    void passwordIsNotRecoverable();
    void deleteAndAddAgainKeepsData();
    void rewriteUserIsAtomic();
    void cateLists();
    void setCateListIsAtomic();
    void unknownCateKind();

    // records
    void addRecordsAllOrNothing_data();
    void addRecordsAllOrNothing();
    void emptyPeriod();
    void periodBoundsAreInclusive();
    void dayMonthAndRecordRows();
    void rankingShares();
    void rankingWithZeroTotal();
    void sumsAreExactToTheCent();
    void quotesAndChineseRoundTrip();
    void usersAreSeparate();
    void deleteRecord();
    void replaceRecord();
    void replaceRecordIsAtomic();
    void cateDetail();
    void missingFileIsAnError();
    void backupIsAConsistentCopy();

private:
    void sql(const QString &statement) { QCOMPARE(m_data->exec(statement), QString()); }
    int count(const QString &table) { return m_data->count(table); }
    struct Period {
        double out = -1, in = -1;
        TRowList days, months, recs, outCates, inCates;
    };
    Period query(const QString &user, const QString &start, const QString &end);
    void add(const QString &date, const QString &type, const QString &cate, const QString &amount,
             const QString &notes = QString(), const QString &user = "Li");

    std::unique_ptr<TestSupport::DataFile> m_data;
    QString m_file;
    std::unique_ptr<TDbMan> m_db;
};

void TestDbClass::init()
{
    m_data = std::make_unique<TestSupport::DataFile>();
    m_file = m_data->path();
    m_db = std::make_unique<TDbMan>(m_file);
}

void TestDbClass::cleanup()
{
    m_db.reset();
    m_data.reset();
}

TestDbClass::Period TestDbClass::query(const QString &user, const QString &start,
                                       const QString &end)
{
    Period p;
    m_db->QueryPeriod(user, start, end, p.out, p.in, p.days, p.months, p.recs, p.outCates,
                      p.inCates);
    return p;
}

void TestDbClass::add(const QString &date, const QString &type, const QString &cate,
                      const QString &amount, const QString &notes, const QString &user)
{
    m_db->AddRecord(user, date, type, cate, amount, notes);
}

// ---------------------------------------------------------------------------

void TestDbClass::listUsersNewestFirst()
{
    QCOMPARE(m_db->ListUsers(), QString());
    m_db->AddUser("Ann", "1");
    m_db->AddUser("Bob", "2");
    m_db->AddUser(QStringLiteral("郭靖"), "3");
    QCOMPARE(m_db->ListUsers(), QStringLiteral("郭靖\r\nBob\r\nAnn"));
    // A rewritten account row is the newest one.
    m_db->RewriteUser("Ann", "9");
    QCOMPARE(m_db->ListUsers(), QStringLiteral("Ann\r\n郭靖\r\nBob"));
    QCOMPARE(count("users"), 3);
}

void TestDbClass::checkLogin_data()
{
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("storedPwd");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pwd");
    QTest::addColumn<bool>("ok");
    QTest::addRow("right password") << "Tom"
                                    << "1234"
                                    << "Tom"
                                    << "1234" << true;
    QTest::addRow("wrong password") << "Tom"
                                    << "1234"
                                    << "Tom"
                                    << "4321" << false;
    QTest::addRow("names compare exactly") << "Tom"
                                           << "1234"
                                           << "tom"
                                           << "1234" << false;
    QTest::addRow("empty matches only empty") << "Tom"
                                              << ""
                                              << "Tom"
                                              << "" << true;
    QTest::addRow("empty against stored") << "Tom"
                                          << "1234"
                                          << "Tom"
                                          << "" << false;
    QTest::addRow("quote in name") << "O'Neil"
                                   << "pw'd"
                                   << "O'Neil"
                                   << "pw'd" << true;
    QTest::addRow("chinese password") << QStringLiteral("郭靖") << QStringLiteral("密码")
                                      << QStringLiteral("郭靖") << QStringLiteral("密码") << true;
}

void TestDbClass::checkLogin()
{
    QFETCH(QString, storedName);
    QFETCH(QString, storedPwd);
    QFETCH(QString, name);
    QFETCH(QString, pwd);
    QFETCH(bool, ok);
    QVERIFY(m_db->AddUser(storedName, storedPwd));
    QVERIFY(m_db->UserExists(storedName));
    QCOMPARE(m_db->CheckLogin(name, pwd), ok);
}

void TestDbClass::passwordIsNotRecoverable()
{
    m_db->AddUser("Li", "s3cret");
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
    db.setDatabaseName(m_file);
    QVERIFY(db.open());
    {
        QSqlQuery q("select [pwd] from [users]", db);
        QVERIFY(q.next());
        const QString stored = q.value(0).toString();
        QVERIFY(stored.startsWith("$argon2id$"));
        QVERIFY(!stored.contains("s3cret"));
        QVERIFY(!stored.contains(THi::Base64Encode("s3cret")));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("peek");
}

void TestDbClass::deleteAndAddAgainKeepsData()
{
    m_db->AddUser("Li", "1");
    m_db->SetCateList("Li", "out", "Food");
    add("2011-04-12", TypeExpense(), "Food", "3.50");
    QVERIFY(m_db->DeleteUser("Li"));
    QVERIFY(!m_db->UserExists("Li"));
    QVERIFY(m_db->DeleteUser("Li")); // already gone: still true, no error
    QVERIFY(m_db->AddUser("Li", "2"));
    QCOMPARE(m_db->GetCateList("Li", "out"), QString("Food"));
    QCOMPARE(query("Li", "2011-04-01", "2011-04-30").recs.size(), 1);
}

void TestDbClass::rewriteUserIsAtomic()
{
    m_db->AddUser("Li", "old");
    // The new row cannot be written: the old one must survive the failed rewrite.
    QCOMPARE(TestSupport::RefuseInserts(*m_data, "users", "disk says no"), QString());
    try {
        m_db->RewriteUser("Li", "new");
        QFAIL("no error raised");
    } catch (const EDbError &e) {
        QVERIFY2(e.text().contains("disk says no"), qPrintable(e.text()));
    }
    QVERIFY(m_db->CheckLogin("Li", "old"));
    QCOMPARE(count("users"), 1);

    QCOMPARE(TestSupport::AllowInserts(*m_data, "users"), QString());
    m_db->RewriteUser("Li", "new");
    QVERIFY(m_db->CheckLogin("Li", "new"));
    QVERIFY(!m_db->CheckLogin("Li", "old"));
    QCOMPARE(count("users"), 1);
}

void TestDbClass::cateLists()
{
    QCOMPARE(m_db->GetCateList("Li", "out"), QString());
    m_db->SetCateList("Li", "in", QStringLiteral("工资\r\nBonus"));
    QCOMPARE(m_db->GetCateList("Li", "out"), QString());
    QCOMPARE(m_db->GetCateList("Li", "in"), QStringLiteral("工资\r\nBonus"));

    const QString out = QStringLiteral("Food\r\nRent\r\n\r\nO'Brien's pub\r\n");
    m_db->SetCateList("Li", "out", out);
    QCOMPARE(m_db->GetCateList("Li", "out"), out); // line breaks kept exactly
    QCOMPARE(m_db->GetCateList("Li", "in"), QStringLiteral("工资\r\nBonus"));
    m_db->SetCateList("Wang", "out", "Other");
    QCOMPARE(count("cates"), 2); // one row per user
    QCOMPARE(m_db->GetCateList("Li", "out"), out);
}

void TestDbClass::setCateListIsAtomic()
{
    m_db->SetCateList("Li", "out", "Food");
    QCOMPARE(TestSupport::RefuseInserts(*m_data, "cates"), QString());
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->SetCateList("Li", "out", "Food\r\nRent"));
    QCOMPARE(m_db->GetCateList("Li", "out"), QString("Food"));
}

void TestDbClass::unknownCateKind()
{
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->GetCateList("Li", "OUT"));
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->GetCateList("Li", "[out]"));
}

void TestDbClass::addRecordsAllOrNothing_data()
{
    QTest::addColumn<TRowList>("rows");
    QTest::addColumn<bool>("engineFails"); // a trigger refuses the category "Bad"
    QTest::addColumn<int>("stored");
    const TRow a{"2011-04-12", TypeExpense(), "Food", "1.00", ""};
    const TRow b{"2011-04-12", TypeIncome(), "Pay", "2.00", "x"};
    QTest::addRow("three good rows") << TRowList{a, b, a} << false << 3;
    QTest::addRow("empty batch") << TRowList{} << false << 0;
    QTest::addRow("bad amount in the middle")
        << TRowList{a, TRow{"2011-04-12", TypeExpense(), "Food", "abc", ""}, a} << false << 0;
    QTest::addRow("amount beyond the limit")
        << TRowList{a, TRow{"2011-04-12", TypeExpense(), "Car", "1e12", ""}} << false << 0;
    QTest::addRow("bad date last")
        << TRowList{a, b, TRow{"2011-02-30", TypeExpense(), "Food", "1", ""}} << false << 0;
    QTest::addRow("unknown type") << TRowList{a, TRow{"2011-04-12", "x", "Food", "1", ""}} << false
                                  << 0;
    QTest::addRow("engine refuses third row")
        << TRowList{a, b, TRow{"2011-04-12", TypeExpense(), "Bad", "1", ""}} << true << 0;
}

void TestDbClass::addRecordsAllOrNothing()
{
    QFETCH(TRowList, rows);
    QFETCH(bool, engineFails);
    QFETCH(int, stored);
    if (engineFails) {
        QCOMPARE(TestSupport::RefuseInserts(*m_data, "data", "refused",
                                            TestSupport::RecordOfCategory("Bad")),
                 QString());
    }
    const bool shouldFail = stored == 0 && !rows.isEmpty();
    try {
        m_db->AddRecords("Li", rows);
        QVERIFY(!shouldFail);
    } catch (const EDbError &) {
        QVERIFY(shouldFail);
    }
    QCOMPARE(count("data"), stored);
}

void TestDbClass::emptyPeriod()
{
    add("2011-04-12", TypeExpense(), "Food", "3");
    const Period p = query("Li", "2011-05-01", "2011-05-31");
    QCOMPARE(p.out, 0.0);
    QCOMPARE(p.in, 0.0);
    QVERIFY(p.days.isEmpty() && p.months.isEmpty() && p.recs.isEmpty());
    QVERIFY(p.outCates.isEmpty() && p.inCates.isEmpty());
}

void TestDbClass::periodBoundsAreInclusive()
{
    add("2011-03-31", TypeExpense(), "Food", "1");
    add("2011-04-01", TypeExpense(), "Food", "2");
    add("2011-04-30", TypeExpense(), "Food", "4");
    add("2011-05-01", TypeExpense(), "Food", "8");
    const Period p = query("Li", "2011-04-01", "2011-04-30");
    QCOMPARE(p.out, 6.0);
    QCOMPARE(p.recs.size(), 2);
    QCOMPARE(p.recs.first().at(1), QString("2011-04-01"));
    QCOMPARE(p.recs.last().at(1), QString("2011-04-30"));
}

void TestDbClass::dayMonthAndRecordRows()
{
    add("2011-10-05", TypeExpense(), "Rent", "100");
    add("2011-01-15", TypeExpense(), "Food", "12.5", "lunch");
    add("2011-01-15", TypeIncome(), "Pay", "1000");
    add("2011-01-15", TypeExpense(), "Food", "2.25");
    add("2011-1-3", TypeIncome(), "Gift", "5"); // stored as 2011-01-03

    const Period p = query("Li", "2011-01-01", "2011-12-31");
    QCOMPARE(p.in, 1005.0);
    QCOMPARE(p.out, 114.75);
    QCOMPARE(p.days, (TRowList{{"2011-01-03", "5.00", "0.00"},
                               {"2011-01-15", "1000.00", "14.75"},
                               {"2011-10-05", "0.00", "100.00"}}));
    QCOMPARE(p.months, (TRowList{{"2011-01", "1005.00", "14.75"}, {"2011-10", "0.00", "100.00"}}));

    // Within a day: income (收入) before expense (支出), then by ascending id.
    QCOMPARE(p.recs.size(), 5);
    const QStringList cates{p.recs[0][2], p.recs[1][2], p.recs[2][2], p.recs[3][2], p.recs[4][2]};
    QCOMPARE(cates, (QStringList{"Gift", "Pay", "Food", "Food", "Rent"}));
    QVERIFY(p.recs[2][0].toInt() < p.recs[3][0].toInt());
    QCOMPARE(p.recs[1], (TRow{p.recs[1][0], "2011-01-15", "Pay", "1000.00", "", ""}));
    QCOMPARE(p.recs[2], (TRow{p.recs[2][0], "2011-01-15", "Food", "", "12.50", "lunch"}));
}

void TestDbClass::rankingShares()
{
    add("2011-04-01", TypeExpense(), "Small", "10");
    add("2011-04-02", TypeExpense(), "Big", "20");
    add("2011-04-03", TypeExpense(), "Big", "10");
    add("2011-04-03", TypeIncome(), "Pay", "7");
    add("2011-04-03", TypeExpense(), "big", "0"); // another name: another group
    const Period p = query("Li", "2011-04-01", "2011-04-30");
    QCOMPARE(p.outCates, (TRowList{{TypeExpense(), "Big", "2", "30.00", "75.00%"},
                                   {TypeExpense(), "Small", "1", "10.00", "25.00%"},
                                   {TypeExpense(), "big", "1", "0.00", "0.00%"}}));
    QCOMPARE(p.inCates, (TRowList{{TypeIncome(), "Pay", "1", "7.00", "100.00%"}}));
}

void TestDbClass::rankingWithZeroTotal()
{
    add("2011-04-01", TypeExpense(), "Refund", "-5");
    add("2011-04-02", TypeExpense(), "Food", "5");
    const Period p = query("Li", "2011-04-01", "2011-04-30");
    QCOMPARE(p.out, 0.0);
    QCOMPARE(p.outCates.size(), 2);
    for (const TRow &r : p.outCates)
        QCOMPARE(r.at(4), QString("0.00%"));
}

void TestDbClass::sumsAreExactToTheCent()
{
    TRowList rows;
    for (int i = 0; i < 1000; ++i)
        rows << TRow{"2011-04-01", TypeExpense(), "Coins", "0.10", ""};
    rows << TRow{"2011-04-01", TypeExpense(), "Coins", "0.20", ""};
    m_db->AddRecords("Li", rows);
    const Period p = query("Li", "2011-04-01", "2011-04-01");
    QCOMPARE(p.days.first().at(2), QString("100.20"));
    QCOMPARE(p.outCates.first().at(3), QString("100.20"));
    QCOMPARE(THi::FormatFloat(p.out), QString("100.20"));
}

void TestDbClass::quotesAndChineseRoundTrip()
{
    const QString cate = QStringLiteral("O'Brien's \"pub\" 酒吧");
    const QString notes = QStringLiteral("it's 好 😀; drop table [data];--");
    add("2011-04-12", TypeExpense(), cate, "3", notes, "D'Arcy");
    const Period p = query("D'Arcy", "2011-04-12", "2011-04-12");
    QCOMPARE(p.recs.size(), 1);
    QCOMPARE(p.recs[0][2], cate);
    QCOMPARE(p.recs[0][5], notes);
    QCOMPARE(p.outCates[0][1], cate);
    TRowList detail;
    m_db->QueryCateDetail("D'Arcy", "2011-04-12", "2011-04-12", TypeExpense(), cate, detail);
    QCOMPARE(detail, (TRowList{{"2011-04-12", cate, "3.00", notes}}));
    QCOMPARE(count("data"), 1);
}

void TestDbClass::usersAreSeparate()
{
    add("2011-04-12", TypeExpense(), "Food", "3", "", "Li");
    add("2011-04-12", TypeExpense(), "Food", "4", "", "li");
    QCOMPARE(query("Li", "2011-01-01", "2011-12-31").out, 3.0);
    QCOMPARE(query("li", "2011-01-01", "2011-12-31").out, 4.0);
    QCOMPARE(query("Wang", "2011-01-01", "2011-12-31").recs.size(), 0);
}

void TestDbClass::deleteRecord()
{
    add("2011-04-12", TypeExpense(), "Food", "3");
    add("2011-04-12", TypeExpense(), "Rent", "4");
    const QString id = query("Li", "2011-04-12", "2011-04-12").recs.first().at(0);
    m_db->DeleteRecord("Li", " " + id + " ");
    m_db->DeleteRecord("Li", id); // gone already: no error, nothing else changes
    m_db->DeleteRecord("Li", "999999");
    const Period p = query("Li", "2011-04-12", "2011-04-12");
    QCOMPARE(p.recs.size(), 1);
    QCOMPARE(p.recs.first().at(2), QString("Rent"));
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->DeleteRecord("Li", "1 or 1=1"));
    QCOMPARE(count("data"), 1);
}

void TestDbClass::replaceRecord()
{
    add("2011-04-12", TypeExpense(), "Food", "3");
    const QString id = query("Li", "2011-04-12", "2011-04-12").recs.first().at(0);
    m_db->ReplaceRecord(id, "Li", "2011-04-13", TypeExpense(), "Meal", "3.5", "fixed");
    const Period p = query("Li", "2011-04-01", "2011-04-30");
    QCOMPARE(p.recs.size(), 1);
    QVERIFY(p.recs[0][0].toInt() > id.toInt()); // an edit gets a new id, never an old one
    QCOMPARE(p.recs[0].mid(1), (QStringList{"2011-04-13", "Meal", "", "3.50", "fixed"}));
}

void TestDbClass::replaceRecordIsAtomic()
{
    add("2011-04-12", TypeExpense(), "Food", "3");
    const QString id = query("Li", "2011-04-12", "2011-04-12").recs.first().at(0);
    QVERIFY_THROWS_EXCEPTION(
        EDbError, m_db->ReplaceRecord(id, "Li", "2011-04-31", TypeExpense(), "Food", "3", ""));
    QCOMPARE(TestSupport::RefuseInserts(*m_data, "data"), QString());
    QVERIFY_THROWS_EXCEPTION(
        EDbError, m_db->ReplaceRecord(id, "Li", "2011-04-13", TypeExpense(), "Food", "4", ""));
    const Period p = query("Li", "2011-04-01", "2011-04-30");
    QCOMPARE(p.recs.size(), 1);
    QCOMPARE(p.recs[0][0], id);
    QCOMPARE(p.recs[0][4], QString("3.00"));
}

void TestDbClass::cateDetail()
{
    add("2011-04-20", TypeExpense(), "Food", "1", "late");
    add("2011-04-02", TypeExpense(), "Food", "2", "early");
    add("2011-04-20", TypeExpense(), "Food", "3");
    add("2011-04-20", TypeIncome(), "Food", "4");  // other type
    add("2011-04-20", TypeExpense(), "food", "5"); // other category
    add("2011-05-01", TypeExpense(), "Food", "6"); // outside
    TRowList rows;
    m_db->QueryCateDetail("Li", "2011-04-01", "2011-04-30", TypeExpense(), "Food", rows);
    QCOMPARE(rows, (TRowList{{"2011-04-02", "Food", "2.00", "early"},
                             {"2011-04-20", "Food", "1.00", "late"},
                             {"2011-04-20", "Food", "3.00", ""}}));
}

void TestDbClass::missingFileIsAnError()
{
    const QString missing = QDir(m_data->folder()).filePath("nothing.tlmdb");
    TDbMan db(missing);
    QVERIFY_THROWS_EXCEPTION(EDbError, db.ListUsers());
    QVERIFY(!QFileInfo::exists(missing)); // the engine must not create an empty file
}

void TestDbClass::backupIsAConsistentCopy()
{
    m_db->AddUser("Li", "1");
    add("2011-04-12", TypeExpense(), "Food", "3");
    const QString target = QDir(m_data->folder()).filePath("backup.tlmdb");
    QFile stale(target);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("older file in the way");
    stale.close();
    m_db->BackupTo(target); // replaces without asking: the dialog asked already
    QVERIFY(Placement::IsTallimoDataFile(target));
    TDbMan copy(target);
    QCOMPARE(copy.ListUsers(), QString("Li"));
    QVERIFY(copy.CheckLogin("Li", "1"));
    QCOMPARE(QDir(m_data->folder()).filePath("backup.tlmdb"), target);
    QCOMPARE(QDir(m_data->folder()).entryList(QDir::Files).size(), 2);
    QVERIFY_THROWS_EXCEPTION(EDbError,
                             m_db->BackupTo(QDir(m_data->folder()).filePath("no/dir/x.tlmdb")));
}

QTEST_GUILESS_MAIN(TestDbClass)
#include "tst_DbClass.moc"
