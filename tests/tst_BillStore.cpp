// What the store keeps of the bill imports: the batches and their lines, the
// duplicates across imports and accounts, the undo, the remembered rules and
// mappings, and the bill tables' way through upgrades, backups and copies.
// Built twice: on data files, and as tst_BillStore_pg on the test cluster.

#include "BillImport.h"
#include "DbClass.h"
#include "Placement.h"
#include "Schema.h"
#include "StoreCopy.h"
#include "TestSupport.h"

#include <QtTest>

using TestSupport::Raw;

namespace {

QString billPath(const char *name)
{
    return QStringLiteral(TALLIMO_TEST_FIXTURES "/bills/") + QLatin1String(name);
}

QString fixtureText(const char *name)
{
    QFile f(QStringLiteral(TALLIMO_TEST_FIXTURES "/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("no fixture %s", name);
    return QString::fromUtf8(f.readAll());
}

QList<TBillLine> toImport(const TBillFile &file)
{
    QList<TBillLine> lines;
    for (const TBillLine &line : file.lines) {
        if (line.toImport())
            lines << line;
    }
    return lines;
}

const QStringList BillTables = {QStringLiteral("bill_batches"), QStringLiteral("bill_lines"),
                                QStringLiteral("bill_rules"), QStringLiteral("bill_classes"),
                                QStringLiteral("bill_mappings")};

// Every row of a table, every column, in id order.
QStringList tableRows(const QString &location, const QString &table)
{
    const TTableDef *t = Schema::FindTable(table);
    if (!t)
        qFatal("no table %s", qPrintable(table));
    Raw r(location);
    QStringList rows;
    for (const TColumnDef &col : t->Columns) {
        rows << r.column(QStringLiteral("select \"%1\" from \"%2\" order by \"id\"")
                             .arg(QLatin1String(col.Name), table),
                         0);
    }
    return rows;
}

} // namespace

class TestBillStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void importGivesCountsAndCentsPerType_data();
    void importGivesCountsAndCentsPerType();
    void secondImportOfTheSameFileImportsNothing();
    void duplicateOfAnotherAccountIsSkipped();
    void undoRemovesExactlyItsRecords();
    void editedRecordsAreAskedAbout();
    void rulesAppClassesAndMappingsRoundTrip();
    void plainTableNeedsAMappingOnce();
    void categoriesAreLearnedAndMerged();
    void badLineStoresNothing();
    void firstReleaseLedgerGetsEmptyBillTables();
    void firstReleaseBackupImportsWithEmptyBillTables();
    void billTablesTravelWithBackupsAndCopies();
    void badRowInABillTableRefusesTheWholeFile_data();
    void badRowInABillTableRefusesTheWholeFile();
    void commandRunsOnEitherEngine();
    void ledgerLackingABillTableIsNotOurs();

private:
    void travel();
    bool onPg() const { return !m_pgUrl.isEmpty(); }
    TBillImportResult importFile(const char *name, const QString &user = QStringLiteral("Li"));
    qint64 records(const QString &user = QStringLiteral("Li"))
    {
        return m_db->QueryPeriod(user, QStringLiteral("1900-01-01"), QStringLiteral("2999-12-31"))
            .RecRows.size();
    }

    QString m_pgUrl;
    std::unique_ptr<TestSupport::DataFile> m_data;
    QString m_file;
    std::unique_ptr<TDbMan> m_db;
    QTemporaryDir m_dir;
};

void TestBillStore::initTestCase()
{
    QString error;
    m_pgUrl = TestSupport::PgTestUrl(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestBillStore::init()
{
    m_data = onPg() ? std::make_unique<TestSupport::DataFile>(m_pgUrl)
                    : std::make_unique<TestSupport::DataFile>();
    m_file = m_data->path();
    m_db = std::make_unique<TDbMan>(m_file);
    m_db->AddUser(QStringLiteral("Li"), QStringLiteral("1"));
    m_db->AddUser(QStringLiteral("Wang"), QStringLiteral("2"));
}

void TestBillStore::cleanup()
{
    m_db.reset();
    m_data.reset();
}

TBillImportResult TestBillStore::importFile(const char *name, const QString &user)
{
    const TPreparedBill bill = BillImport::PrepareBill(*m_db, user, billPath(name));
    if (bill.NeedsMapping)
        qFatal("%s needs a mapping", name);
    return m_db->ImportBill(user, bill.File.source, QLatin1String(name), toImport(bill.File));
}

void TestBillStore::importGivesCountsAndCentsPerType_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("outCount");
    QTest::addColumn<qint64>("outCents");
    QTest::addColumn<int>("inCount");
    QTest::addColumn<qint64>("inCents");
    QTest::addRow("alipay, current layout")
        << "alipay-current.csv" << 4 << qint64(26250) << 2 << qint64(520000);
    QTest::addRow("alipay, older layout")
        << "alipay-old.csv" << 3 << qint64(16850) << 1 << qint64(30000);
    QTest::addRow("wechat csv") << "wechat.csv" << 4 << qint64(59350) << 2 << qint64(30000);
    QTest::addRow("wechat workbook") << "wechat.xlsx" << 4 << qint64(59350) << 2 << qint64(30000);
}

void TestBillStore::importGivesCountsAndCentsPerType()
{
    QFETCH(QString, file);
    QFETCH(int, outCount);
    QFETCH(qint64, outCents);
    QFETCH(int, inCount);
    QFETCH(qint64, inCents);
    const TBillImportResult r = importFile(qPrintable(file));
    QCOMPARE(r.Imported, outCount + inCount);
    QCOMPARE(r.Duplicates, 0);
    QCOMPARE(r.Count[0], outCount);
    QCOMPARE(r.Count[1], inCount);
    QCOMPARE(r.Cents[0], outCents);
    QCOMPARE(r.Cents[1], inCents);
    QVERIFY(r.BatchId > 0);
    QVERIFY(!r.FirstDate.isEmpty() && r.FirstDate <= r.LastDate);
    // The ledger holds exactly that, over the imported period.
    const TPeriod p = m_db->QueryPeriod(QStringLiteral("Li"), r.FirstDate, r.LastDate);
    QCOMPARE(p.OutCents, outCents);
    QCOMPARE(p.InCents, inCents);
    QCOMPARE(p.RecRows.size(), outCount + inCount);
    const QList<TBillBatch> batches = m_db->BillBatches(QStringLiteral("Li"));
    QCOMPARE(batches.size(), 1);
    QCOMPARE(batches[0].Id, r.BatchId);
    QCOMPARE(batches[0].FileName, file);
    QCOMPARE(batches[0].Count, qint64(outCount + inCount));
    QCOMPARE(batches[0].Cents[0], outCents);
    QCOMPARE(batches[0].Cents[1], inCents);
    QCOMPARE(batches[0].Remaining, qint64(outCount + inCount));
    QCOMPARE(batches[0].Edited, qint64(0));
    QCOMPARE(batches[0].Undone, qint64(0));
}

void TestBillStore::secondImportOfTheSameFileImportsNothing()
{
    const TBillImportResult first = importFile("alipay-current.csv");
    QCOMPARE(first.Imported, 6);
    // The preview marks every line as imported before...
    const TPreparedBill again =
        BillImport::PrepareBill(*m_db, QStringLiteral("Li"), billPath("alipay-current.csv"));
    QVERIFY(toImport(again.File).isEmpty());
    // ...and lines from a preview made before the first import (another
    // computer) are skipped inside the import.
    TBillFile stale = BillReader::ReadBillFile(billPath("alipay-current.csv"));
    const TBillImportResult second = m_db->ImportBill(QStringLiteral("Li"), stale.source,
                                                      QStringLiteral("again"), toImport(stale));
    QCOMPARE(second.Imported, 0);
    // The six imported, and the one the file itself repeats.
    QCOMPARE(second.Duplicates, int(toImport(stale).size()));
    QCOMPARE(second.Duplicates, 7);
    QCOMPARE(second.BatchId, qint64(0));
    QCOMPARE(records(), qint64(6));
    QCOMPARE(m_db->BillBatches(QStringLiteral("Li")).size(), 1);

    // A statement without order numbers is told by its contents.
    m_db->SetColumnMapping(
        BillReader::HeaderKey(BillReader::ReadTableFile(billPath("bank-utf16.csv")).rows.value(0)),
        BillReader::GuessMapping(BillReader::ReadTableFile(billPath("bank-utf16.csv"))));
    const TPreparedBill bank =
        BillImport::PrepareBill(*m_db, QStringLiteral("Li"), billPath("bank-utf16.csv"));
    QVERIFY(!bank.NeedsMapping);
    const int lines = int(toImport(bank.File).size());
    QVERIFY(lines > 0);
    QCOMPARE(m_db->ImportBill(QStringLiteral("Li"), bank.File.source, QStringLiteral("bank"),
                              toImport(bank.File))
                 .Imported,
             lines);
    QCOMPARE(m_db->ImportBill(QStringLiteral("Li"), bank.File.source, QStringLiteral("bank"),
                              toImport(bank.File))
                 .Duplicates,
             lines);
}

void TestBillStore::duplicateOfAnotherAccountIsSkipped()
{
    QCOMPARE(importFile("wechat.csv", QStringLiteral("Li")).Imported, 6);
    const TPreparedBill other =
        BillImport::PrepareBill(*m_db, QStringLiteral("Wang"), billPath("wechat.csv"));
    QVERIFY(toImport(other.File).isEmpty());
    int duplicates = 0;
    for (const TBillLine &line : other.File.lines)
        duplicates += line.skip == SkipReason::Duplicate;
    // Li's six, and the line the file itself repeats.
    QCOMPARE(duplicates, 7);
    // Ticked in by hand: an order number is still taken only once.
    QList<TBillLine> ticked;
    for (TBillLine line : other.File.lines) {
        if (line.skip == SkipReason::Duplicate)
            ticked << line;
    }
    const TBillImportResult r = m_db->ImportBill(QStringLiteral("Wang"), other.File.source,
                                                 QStringLiteral("wechat.csv"), ticked);
    QCOMPARE(r.Imported, 0);
    QCOMPARE(r.Duplicates, 7);
    QCOMPARE(records(QStringLiteral("Wang")), qint64(0));
}

void TestBillStore::undoRemovesExactlyItsRecords()
{
    m_db->AddRecord(QStringLiteral("Li"), QStringLiteral("2024-03-02"), TypeExpense(),
                    QStringLiteral("餐饮"), 1234, QStringLiteral("typed by hand"));
    const TBillImportResult a = importFile("alipay-current.csv");
    const TBillImportResult w = importFile("wechat.csv");
    QCOMPARE(records(), qint64(1 + 6 + 6));
    const TBillUndo undo = m_db->UndoBillBatch(QStringLiteral("Li"), a.BatchId, false);
    QCOMPARE(undo.Removed, 6);
    QCOMPARE(undo.EditedKept, 0);
    QCOMPARE(undo.Gone, 0);
    QCOMPARE(records(), qint64(1 + 6));
    const QList<TBillBatch> batches = m_db->BillBatches(QStringLiteral("Li"));
    QCOMPARE(batches.size(), 2);
    QCOMPARE(batches[0].Id, w.BatchId); // newest first
    QCOMPARE(batches[0].Remaining, qint64(6));
    QCOMPARE(batches[1].Id, a.BatchId);
    QCOMPARE(batches[1].Remaining, qint64(0));
    QVERIFY(batches[1].Undone > 0);
    // Its lines are gone: the same bill imports again.
    QCOMPARE(importFile("alipay-current.csv").Imported, 6);
    // Another account's undo of the batch changes nothing.
    QVERIFY_THROWS_EXCEPTION(EDbError,
                             m_db->UndoBillBatch(QStringLiteral("Wang"), w.BatchId, true));
    QCOMPARE(records(), qint64(1 + 6 + 6));
}

void TestBillStore::editedRecordsAreAskedAbout()
{
    const TBillImportResult r = importFile("alipay-current.csv");
    TPeriod p = m_db->QueryPeriod(QStringLiteral("Li"), r.FirstDate, r.LastDate);
    QCOMPARE(p.RecRows.size(), 6);
    // One edited (the record gets a new id), one deleted by hand.
    const qint64 edited = p.RecRows.Id(0), deleted = p.RecRows.Id(1);
    m_db->ReplaceRecord(QString::number(edited), QStringLiteral("Li"), p.RecRows.Date(0),
                        p.RecRows.Kind(0) == TRecordList::Income ? TypeIncome() : TypeExpense(),
                        QStringLiteral("改过的类别"), p.RecRows.Cents(0), p.RecRows.Notes(0));
    m_db->DeleteRecord(QStringLiteral("Li"), QString::number(deleted));
    TBillBatch b = m_db->BillBatches(QStringLiteral("Li")).value(0);
    QCOMPARE(b.Remaining, qint64(5));
    QCOMPARE(b.Edited, qint64(1));

    TBillUndo undo = m_db->UndoBillBatch(QStringLiteral("Li"), r.BatchId, false);
    QCOMPARE(undo.Removed, 4);
    QCOMPARE(undo.EditedKept, 1);
    QCOMPARE(undo.Gone, 1);
    p = m_db->QueryPeriod(QStringLiteral("Li"), r.FirstDate, r.LastDate);
    QCOMPARE(p.RecRows.size(), 1);
    QCOMPARE(p.RecRows.Cate(0), QStringLiteral("改过的类别"));
    b = m_db->BillBatches(QStringLiteral("Li")).value(0);
    QCOMPARE(b.Remaining, qint64(1));
    QCOMPARE(b.Edited, qint64(1));

    undo = m_db->UndoBillBatch(QStringLiteral("Li"), r.BatchId, true);
    QCOMPARE(undo.Removed, 1);
    QCOMPARE(records(), qint64(0));
    QCOMPARE(Raw(m_file).value(QStringLiteral("select count(*) from \"bill_lines\"")),
             QStringLiteral("0"));
}

void TestBillStore::rulesAppClassesAndMappingsRoundTrip()
{
    const QString li = QStringLiteral("Li"), alipay = QStringLiteral("alipay");
    m_db->SetCategoryRule(li, QStringLiteral(" 美团 "), QStringLiteral("外卖"));
    m_db->SetCategoryRule(li, QStringLiteral("地铁"), QStringLiteral("交通"));
    m_db->SetCategoryRule(li, QStringLiteral("美团"), QStringLiteral("餐饮"));
    m_db->SetCategoryRule(QStringLiteral("Wang"), QStringLiteral("书店"), QStringLiteral("书"));
    TCategoryContext c = m_db->CategoryContext(li, alipay);
    QCOMPARE(c.rules.size(), 2);
    QCOMPARE(c.rules[0].word, QStringLiteral("地铁"));
    QCOMPARE(c.rules[1].word, QStringLiteral("美团"));
    QCOMPARE(c.rules[1].category, QStringLiteral("餐饮"));
    m_db->SetCategoryRule(li, QStringLiteral("地铁"), QString());
    QCOMPARE(m_db->CategoryContext(li, alipay).rules.size(), 1);
    QVERIFY_THROWS_EXCEPTION(EDbError,
                             m_db->SetCategoryRule(li, QStringLiteral("  "), QStringLiteral("x")));

    const QHash<QString, QString> defaults = BillRules::DefaultAppClasses();
    QVERIFY(!defaults.isEmpty());
    const QString someClass = defaults.cbegin().key();
    QCOMPARE(c.appClasses, defaults);
    m_db->SetAppClass(li, alipay, someClass, QStringLiteral("我的类别"));
    m_db->SetAppClass(li, alipay, QStringLiteral("新的分类"), QStringLiteral("别的"));
    c = m_db->CategoryContext(li, alipay);
    QCOMPARE(c.appClasses.value(someClass), QStringLiteral("我的类别"));
    QCOMPARE(c.appClasses.value(QStringLiteral("新的分类")), QStringLiteral("别的"));
    // Per source and per account.
    QCOMPARE(m_db->CategoryContext(li, QStringLiteral("wechat")).appClasses, defaults);
    QCOMPARE(m_db->CategoryContext(QStringLiteral("Wang"), alipay).appClasses, defaults);
    m_db->SetAppClass(li, alipay, someClass, QString());
    QCOMPARE(m_db->CategoryContext(li, alipay).appClasses.value(someClass),
             defaults.value(someClass));

    TColumnMapping m;
    m.headerRow = 2;
    m.date = 0;
    m.income = 3;
    m.expense = 4;
    m.category = 1;
    m.externalId = 6;
    m.notes = {2, 5};
    const QString key = QString(40, QLatin1Char('a'));
    QVERIFY(!m_db->ColumnMapping(key));
    m_db->SetColumnMapping(key, m);
    QCOMPARE(m_db->ColumnMapping(key).value(), m);
    m.notes.clear();
    m.amount = 7;
    m_db->SetColumnMapping(key, m);
    QCOMPARE(m_db->ColumnMapping(key).value(), m);
    QCOMPARE(Raw(m_file).value(QStringLiteral("select count(*) from \"bill_mappings\"")),
             QStringLiteral("1"));
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->SetColumnMapping(key, TColumnMapping{}));
    // A damaged stored mapping reads as none.
    QCOMPARE(Raw(m_file).exec(QStringLiteral("update \"bill_mappings\" set \"mapping\"='h0 dx'")),
             QString());
    QVERIFY(!m_db->ColumnMapping(key));
}

void TestBillStore::plainTableNeedsAMappingOnce()
{
    const TPreparedBill first =
        BillImport::PrepareBill(*m_db, QStringLiteral("Li"), billPath("bank-gbk.csv"));
    QVERIFY(first.NeedsMapping);
    QVERIFY(first.File.lines.isEmpty());
    QVERIFY(first.Guess.isValid());
    m_db->SetColumnMapping(BillReader::HeaderKey(first.Table.rows.at(first.Guess.headerRow)),
                           first.Guess);
    const TPreparedBill next =
        BillImport::PrepareBill(*m_db, QStringLiteral("Li"), billPath("bank-gbk.csv"));
    QVERIFY(!next.NeedsMapping);
    const TBillSummary s = BillReader::Summarize(next.File.lines);
    QCOMPARE(s.count[0], 2);
    QCOMPARE(s.cents[0], qint64(15550));
    QCOMPARE(s.count[1], 1);
    QCOMPARE(s.cents[1], qint64(600000));
}

void TestBillStore::categoriesAreLearnedAndMerged()
{
    const QString li = QStringLiteral("Li");
    m_db->SetCateList(li, KindOut(), QStringLiteral("餐饮\r\n交通"));
    TPreparedBill bill = BillImport::PrepareBill(*m_db, li, billPath("alipay-current.csv"));
    QList<TBillLine> lines = toImport(bill.File);
    QVERIFY(!lines.isEmpty());
    const QString party = lines[0].counterparty;
    QVERIFY(!party.isEmpty());
    for (TBillLine &line : lines) {
        if (line.counterparty == party)
            line.category = QStringLiteral("自选类别");
    }
    m_db->ImportBill(li, bill.File.source, QStringLiteral("a"), lines);
    // The account's pick list took the new category, on top.
    const QStringList out = THi::SplitLines(m_db->GetCateList(li, KindOut()));
    QCOMPARE(out.value(0), QStringLiteral("自选类别"));
    QVERIFY(out.contains(QStringLiteral("餐饮")));
    // The next bill proposes it for the same counterparty.
    const TCategoryContext c = m_db->CategoryContext(li, bill.File.source);
    QCOMPARE(c.lastByCounterparty.value(party), QStringLiteral("自选类别"));
    // Another account learns nothing from it.
    QVERIFY(m_db->CategoryContext(QStringLiteral("Wang"), bill.File.source)
                .lastByCounterparty.isEmpty());
}

void TestBillStore::badLineStoresNothing()
{
    TBillFile bill = BillReader::ReadBillFile(billPath("alipay-current.csv"));
    QList<TBillLine> lines = toImport(bill);
    lines.last().cents = 0;
    QVERIFY_THROWS_EXCEPTION(
        EDbError, m_db->ImportBill(QStringLiteral("Li"), bill.source, QStringLiteral("x"), lines));
    lines.last().cents = 100;
    lines.last().date = QDate();
    QVERIFY_THROWS_EXCEPTION(
        EDbError, m_db->ImportBill(QStringLiteral("Li"), bill.source, QStringLiteral("x"), lines));
    QCOMPARE(records(), qint64(0));
    QVERIFY(m_db->BillBatches(QStringLiteral("Li")).isEmpty());
}

void TestBillStore::firstReleaseLedgerGetsEmptyBillTables()
{
    QString location;
    if (onPg()) {
        m_db.reset();
        m_data->clear();
        QCOMPARE(m_data->exec(fixtureText("schema-pg-v1.sql")), QString());
        location = m_file;
    } else {
        location = m_dir.filePath(QStringLiteral("first.tlmdb"));
        QCOMPARE(Raw(location).exec(fixtureText("schema-v1.sql")), QString());
    }
    {
        TDbMan db(location);
        db.Upgrade();
        QVERIFY(db.AddUser(QStringLiteral("Li"), QStringLiteral("1")));
        QVERIFY(db.BillBatches(QStringLiteral("Li")).isEmpty());
        QVERIFY(db.ImportedKeys(QStringLiteral("alipay")).externalIds.isEmpty());
    }
    for (const QString &table : BillTables)
        QCOMPARE(Raw(location).value(QStringLiteral("select count(*) from \"%1\"").arg(table)),
                 QStringLiteral("0"));
    m_db = std::make_unique<TDbMan>(location);
    QCOMPARE(importFile("alipay-current.csv").Imported, 6);
}

void TestBillStore::firstReleaseBackupImportsWithEmptyBillTables()
{
    QCOMPARE(importFile("alipay-current.csv").Imported, 6);
    m_db->SetCategoryRule(QStringLiteral("Li"), QStringLiteral("w"), QStringLiteral("c"));
    const QString old = m_dir.filePath(QStringLiteral("old.tlmdb"));
    QCOMPARE(Raw(old).exec(fixtureText("schema-v1.sql")), QString());
    m_db->ImportFrom(old);
    for (const QString &table : BillTables)
        QCOMPARE(Raw(m_file).value(QStringLiteral("select count(*) from \"%1\"").arg(table)),
                 QStringLiteral("0"));
    QCOMPARE(m_db->Counts().Records, qint64(0));
}

void TestBillStore::billTablesTravelWithBackupsAndCopies()
{
    try {
        travel();
    } catch (const TError &e) {
        QFAIL(qPrintable(e.text()));
    }
}

void TestBillStore::travel()
{
    QCOMPARE(importFile("alipay-current.csv").Imported, 6);
    const TBillImportResult w = importFile("wechat.csv", QStringLiteral("Wang"));
    m_db->UndoBillBatch(QStringLiteral("Wang"), w.BatchId, false);
    m_db->SetCategoryRule(QStringLiteral("Li"), QStringLiteral("美团"), QStringLiteral("外卖"));
    m_db->SetAppClass(QStringLiteral("Li"), QStringLiteral("alipay"), QStringLiteral("餐饮美食"),
                      QStringLiteral("吃饭"));
    TColumnMapping m;
    m.date = 0;
    m.amount = 1;
    m_db->SetColumnMapping(QString(40, QLatin1Char('b')), m);

    const QString first = m_dir.filePath(QStringLiteral("first-copy.tlmdb"));
    m_db->BackupTo(first);
    QHash<QString, QStringList> before;
    for (const QString &table : BillTables) {
        before[table] = tableRows(first, table);
        QVERIFY2(!before[table].join(QString()).isEmpty(), qPrintable(table));
    }

    // Back into a fresh ledger of the same kind (file to file, or the copy
    // onto the server), and out again.
    std::unique_ptr<TestSupport::DataFile> other;
    m_db.reset();
    QString target;
    if (onPg()) {
        // --copy-to and --copy-from: the file onto the server, replacing it,
        // and the server into a new data file.
        m_data->clear();
        StoreCopy::Copy(first, m_pgUrl, true);
        target = m_pgUrl;
    } else {
        other = std::make_unique<TestSupport::DataFile>();
        target = other->path();
        TDbMan(target).ImportFrom(first);
    }
    const QString second = m_dir.filePath(QStringLiteral("second-copy.tlmdb"));
    if (onPg()) {
        // As --copy-from does it: onto the new data file the program placed.
        QVERIFY(QFile::copy(Placement::TemplateFile(), second));
        StoreCopy::Copy(m_pgUrl, second, false);
    } else
        TDbMan(target).BackupTo(second);
    for (const QString &table : BillTables)
        QCOMPARE(tableRows(second, table), before[table]);

    // Ids go on after the copied ones.
    TDbMan copy(target);
    const qint64 lastBatch = before[QStringLiteral("bill_batches")]
                                 .first()
                                 .split(QStringLiteral(" | "))
                                 .last()
                                 .toLongLong();
    const TBillImportResult again = [&] {
        const TPreparedBill bill =
            BillImport::PrepareBill(copy, QStringLiteral("Wang"), billPath("wechat.csv"));
        return copy.ImportBill(QStringLiteral("Wang"), bill.File.source, QStringLiteral("w"),
                               toImport(bill.File));
    }();
    QCOMPARE(again.Imported, 6);
    QVERIFY(again.BatchId > lastBatch);
    // The order numbers of the copy are still known.
    QVERIFY(
        toImport(BillImport::PrepareBill(copy, QStringLiteral("Li"), billPath("alipay-current.csv"))
                     .File)
            .isEmpty());
}

void TestBillStore::badRowInABillTableRefusesTheWholeFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addRow("date not a date")
        << "update \"bill_lines\" set \"date\"='2024-02-30' where \"id\"=(select min(\"id\") "
           "from \"bill_lines\")";
    QTest::addRow("type not a type word")
        << "update \"bill_lines\" set \"type\"='spend' where \"id\"=(select min(\"id\") from "
           "\"bill_lines\")";
    QTest::addRow("text not stored text") << "update \"bill_rules\" set \"word\"='not base64!'";
    QTest::addRow("reference not an id") << "update \"bill_lines\" set \"batch\"=-3";
    QTest::addRow("cents as text") << "update \"bill_batches\" set \"out_cents\"='lots'";
    QTest::addRow("count below zero") << "update \"bill_batches\" set \"count\"=-1";
    QTest::addRow("mapping not a word") << "update \"bill_mappings\" set \"mapping\"=char(7)";
}

void TestBillStore::badRowInABillTableRefusesTheWholeFile()
{
    QFETCH(QString, damage);
    QCOMPARE(importFile("alipay-current.csv").Imported, 6);
    m_db->SetCategoryRule(QStringLiteral("Li"), QStringLiteral("w"), QStringLiteral("c"));
    TColumnMapping m;
    m.date = 0;
    m.amount = 1;
    m_db->SetColumnMapping(QString(40, QLatin1Char('c')), m);
    const QString backup = m_dir.filePath(QStringLiteral("damaged.tlmdb"));
    QFile::remove(backup);
    m_db->BackupTo(backup);
    QCOMPARE(Raw(backup).exec(damage), QString());
    // The current ledger differs from the backup, so a partial import would show.
    m_db->AddRecord(QStringLiteral("Li"), QStringLiteral("2024-01-01"), TypeExpense(),
                    QStringLiteral("x"), 100, QString());
    QVERIFY_THROWS_EXCEPTION(EDbError, m_db->ImportFrom(backup));
    QCOMPARE(records(), qint64(7));
    QCOMPARE(m_db->BillBatches(QStringLiteral("Li")).size(), 1);
}

void TestBillStore::commandRunsOnEitherEngine()
{
    // What tallimo --import does after reading the password, on this engine.
    auto run = [&](const QString &password, bool dryRun, QString *out, QString *err) {
        QTextStream o(out), e(err);
        const int code = BillImport::RunCommand(m_file, QStringLiteral("Li"), password,
                                                billPath("wechat.csv"), dryRun, o, e);
        o.flush();
        e.flush();
        return code;
    };
    QString out, err;
    QCOMPARE(run(QStringLiteral("wrong"), false, &out, &err), 1);
    QVERIFY(err.contains(QStringLiteral("密码不对")));
    QVERIFY(out.isEmpty());
    QCOMPARE(records(), qint64(0));
    out.clear();
    err.clear();
    QCOMPARE(run(QStringLiteral("1"), true, &out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("支出 4 笔，合计 593.50")), qPrintable(out));
    QCOMPARE(records(), qint64(0));
    QVERIFY(m_db->BillBatches(QStringLiteral("Li")).isEmpty());
    out.clear();
    QCOMPARE(run(QStringLiteral("1"), false, &out, &err), 0);
    QCOMPARE(err, QString());
    QVERIFY2(out.contains(QStringLiteral("支出 4 笔，合计 593.50")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("收入 2 笔，合计 300.00")), qPrintable(out));
    QCOMPARE(records(), qint64(6));
}

void TestBillStore::ledgerLackingABillTableIsNotOurs()
{
    // A ledger of version 2 holds every table of version 2 (a version-1
    // ledger holds none of them: firstReleaseLedgerGetsEmptyBillTables).
    m_db.reset();
    QCOMPARE(Raw(m_file).exec(QStringLiteral("drop table \"bill_rules\"")), QString());
    if (onPg()) {
        QVERIFY_THROWS_EXCEPTION(EDbError, TDbMan(m_file).ListUsers());
        QCOMPARE(Raw(m_file).value(QStringLiteral("select count(*) from \"users\"")),
                 QStringLiteral("2"));
    } else {
        QVERIFY(!TDbMan::IsDataFile(m_file));
    }
}

QTEST_GUILESS_MAIN(TestBillStore)
#include "tst_BillStore.moc"
