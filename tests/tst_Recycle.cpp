// The recycle bin and the undo of a session, on the store: deletes and edits
// keep the old version in the same transaction, restores bring it back, old
// entries go after 90 days, the bin travels with backups and copies, and
// undo and redo of every kind of change, refused where another program
// changed the records since. Built twice: on data files, and as
// tst_Recycle_pg on the test cluster.

#include "DbClass.h"
#include "Placement.h"
#include "RecurringStore.h"
#include "StoreCopy.h"
#include "TestSupport.h"
#include "UndoStack.h"

#include <QtTest>

using TestSupport::Raw;

namespace {

const QString Li = QStringLiteral("Li");

// The user's records without their ids (an edit made again gets a new one).
QStringList contents(TDbMan &db, const QString &user = Li)
{
    QStringList rows;
    for (QStringList row : TestSupport::Records(db, user)) {
        row.removeFirst();
        rows << row.join(QLatin1Char('|'));
    }
    return rows;
}

// With the ids.
QStringList records(TDbMan &db, const QString &user = Li)
{
    QStringList rows;
    for (const QStringList &row : TestSupport::Records(db, user))
        rows << row.join(QLatin1Char('|'));
    return rows;
}

qint64 idOf(TDbMan &db, const QString &notes, const QString &user = Li)
{
    for (const QStringList &row : TestSupport::Records(db, user)) {
        if (row[RecNotes] == notes)
            return row[RecId].toLongLong();
    }
    return 0;
}

TBatchRow row(const char *date, const char *cate, qint64 cents, const char *notes,
              const QString &type = TypeExpense())
{
    return TBatchRow{QLatin1String(date), type, QString::fromUtf8(cate), cents,
                     QString::fromUtf8(notes)};
}

QList<TBillLine> billLines()
{
    QList<TBillLine> lines;
    const auto line = [&](int n, const char *date, qint64 cents, const char *ext) {
        TBillLine l;
        l.lineNumber = n;
        l.date = QDate::fromString(QLatin1String(date), Qt::ISODate);
        l.cents = cents;
        l.notes = QStringLiteral("超市 · 日用品 %1").arg(n);
        l.externalId = QLatin1String(ext);
        l.category = QStringLiteral("日用");
        lines << l;
    };
    line(2, "2024-05-02", 3550, "T0001");
    line(3, "2024-05-03", 1200, "T0002");
    return lines;
}

} // namespace

class TestRecycle : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void deleteAndEditKeepTheOldVersion();
    void binWriteFailureChangesNothing_data();
    void binWriteFailureChangesNothing();
    void binListsTheAccountNewestFirst();
    void restoreBringsBackTheOldVersion_data();
    void restoreBringsBackTheOldVersion();
    void restoreTwiceRestoresOnce();
    void purgeRemovesEntriesPast90Days_data();
    void purgeRemovesEntriesPast90Days();
    void binTravelsWithBackupsAndCopies();

    void undoAndRedoEachAction_data();
    void undoAndRedoEachAction();
    void undoRefusedAfterAnotherProgramsChange_data();
    void undoRefusedAfterAnotherProgramsChange();
    void undoOfASaveKeepsWhatWasEditedSince();
    void newActionClearsRedo();
    void undoOfARenameTakesBudgetsAndEntriesBack();

private:
    bool onPg() const { return !m_pgUrl.isEmpty(); }
    void seed();
    void renameTakesBudgetsAndEntriesBack();

    QString m_pgUrl;
    std::unique_ptr<TestSupport::DataFile> m_data;
    std::unique_ptr<TDbMan> m_db;
    QTemporaryDir m_dir;
};

void TestRecycle::initTestCase()
{
    QString error;
    m_pgUrl = TestSupport::PgTestUrl(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestRecycle::init()
{
    m_data = onPg() ? std::make_unique<TestSupport::DataFile>(m_pgUrl)
                    : std::make_unique<TestSupport::DataFile>();
    m_db = std::make_unique<TDbMan>(m_data->path());
    m_db->AddUser(Li, QStringLiteral("1"));
    m_db->AddUser(QStringLiteral("Wang"), QStringLiteral("2"));
}

void TestRecycle::cleanup()
{
    m_db.reset();
    m_data.reset();
}

void TestRecycle::seed()
{
    m_db->SetCateList(Li, KindOut(), QStringLiteral("餐饮\r\n交通"));
    m_db->AddRecords(Li, {row("2024-03-01", "餐饮", 1250, "午饭"),
                          row("2024-03-02", "交通", 400, "公交"),
                          row("2024-03-03", "餐饮", 3000, "晚饭")});
}

void TestRecycle::deleteAndEditKeepTheOldVersion()
{
    seed();
    const qint64 lunch = idOf(*m_db, QStringLiteral("午饭"));
    const qint64 bus = idOf(*m_db, QStringLiteral("公交"));
    m_db->DeleteRecord(Li, QString::number(lunch));
    m_db->ReplaceRecord(QString::number(bus), Li, QStringLiteral("2024-03-05"), TypeExpense(),
                        QStringLiteral("交通"), 450, QStringLiteral("地铁"));
    const QList<TRecycleEntry> bin = m_db->RecycleBin(Li);
    QCOMPARE(bin.size(), 2);
    // Newest first: the edit, naming the id the record took.
    QCOMPARE(bin[0].What, RecycleEdit());
    QCOMPARE(bin[0].Record, (TRecordVersion{bus, QStringLiteral("2024-03-02"), TypeExpense(),
                                            QStringLiteral("交通"), 400, QStringLiteral("公交")}));
    QCOMPARE(bin[0].Successor, idOf(*m_db, QStringLiteral("地铁")));
    QCOMPARE(bin[1].What, RecycleDelete());
    QCOMPARE(bin[1].Record, (TRecordVersion{lunch, QStringLiteral("2024-03-01"), TypeExpense(),
                                            QStringLiteral("餐饮"), 1250, QStringLiteral("午饭")}));
    QCOMPARE(bin[1].Successor, 0);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY(qAbs(bin[1].Time - now) < 60);
    // Text columns are stored as every other table stores them.
    QCOMPARE(Raw(m_data->path())
                 .value(QStringLiteral("select \"notes\" from \"recycle\" where "
                                       "\"what\"='delete'")),
             THi::Base64Encode(QStringLiteral("午饭")));

    // A delete of a record that is not there keeps nothing.
    m_db->DeleteRecord(Li, QString::number(lunch));
    m_db->DeleteRecord(QStringLiteral("Wang"),
                       QString::number(idOf(*m_db, QStringLiteral("晚饭"))));
    QCOMPARE(m_data->count(QStringLiteral("recycle")), 2);
}

void TestRecycle::binWriteFailureChangesNothing_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addRow("delete") << false;
    QTest::addRow("edit") << true;
}

void TestRecycle::binWriteFailureChangesNothing()
{
    QFETCH(bool, edit);
    seed();
    const QStringList before = records(*m_db);
    QCOMPARE(TestSupport::RefuseInserts(*m_data, QStringLiteral("recycle")), QString());
    const QString id = QString::number(idOf(*m_db, QStringLiteral("午饭")));
    if (edit) {
        QVERIFY_THROWS_EXCEPTION(
            EDbError, m_db->ReplaceRecord(id, Li, QStringLiteral("2024-03-01"), TypeExpense(),
                                          QStringLiteral("餐饮"), 1300, QStringLiteral("午饭")));
    } else {
        QVERIFY_THROWS_EXCEPTION(EDbError, m_db->DeleteRecord(Li, id));
    }
    QCOMPARE(records(*m_db), before);
}

void TestRecycle::binListsTheAccountNewestFirst()
{
    seed();
    m_db->AddRecord(QStringLiteral("Wang"), QStringLiteral("2024-03-01"), TypeIncome(),
                    QStringLiteral("工资"), 500000, QString());
    for (const char *notes : {"晚饭", "午饭", "公交"})
        m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QString::fromUtf8(notes))));
    m_db->DeleteRecord(QStringLiteral("Wang"),
                       QString::number(idOf(*m_db, QString(), QStringLiteral("Wang"))));
    // Two deletes within a second: the later entry still comes first.
    QStringList order;
    for (const TRecycleEntry &e : m_db->RecycleBin(Li))
        order << e.Record.Notes;
    QCOMPARE(order,
             (QStringList{QStringLiteral("公交"), QStringLiteral("午饭"), QStringLiteral("晚饭")}));
    QCOMPARE(m_db->RecycleBin(QStringLiteral("Wang")).size(), 1);
    QCOMPARE(m_db->RecycleBin(QStringLiteral("Wang")).first().Record.Type, TypeIncome());
}

void TestRecycle::restoreBringsBackTheOldVersion_data()
{
    QTest::addColumn<QString>("meanwhile"); // what happened to the edit's result since
    QTest::addColumn<int>("replaced");
    QTest::addColumn<int>("revived");
    QTest::addColumn<QStringList>("binAfter"); // notes of the open entries
    QTest::addRow("deleted record") << QStringLiteral("delete") << 0 << 0 << QStringList{};
    QTest::addRow("edited record")
        << QStringLiteral("edit") << 0 << 0 << QStringList{QStringLiteral("地铁")};
    QTest::addRow("edited, then edited again")
        << QStringLiteral("edit twice") << 1 << 0
        << QStringList{QStringLiteral("打车"), QStringLiteral("地铁")};
    QTest::addRow("edited, then the new version deleted")
        << QStringLiteral("edit, delete") << 0 << 1 << QStringList{QStringLiteral("地铁")};
}

void TestRecycle::restoreBringsBackTheOldVersion()
{
    QFETCH(QString, meanwhile);
    QFETCH(int, replaced);
    QFETCH(int, revived);
    QFETCH(QStringList, binAfter);
    seed();
    const QStringList before = records(*m_db);
    const qint64 bus = idOf(*m_db, QStringLiteral("公交"));
    const auto edit = [&](qint64 id, const char *notes, qint64 cents) {
        m_db->ReplaceRecord(QString::number(id), Li, QStringLiteral("2024-03-02"), TypeExpense(),
                            QStringLiteral("交通"), cents, QString::fromUtf8(notes));
    };
    if (meanwhile == QLatin1String("delete")) {
        m_db->DeleteRecord(Li, QString::number(bus));
    } else {
        edit(bus, "地铁", 450);
        if (meanwhile.contains(QLatin1String("twice")))
            edit(idOf(*m_db, QStringLiteral("地铁")), "打车", 2500);
        if (meanwhile.contains(QLatin1String("delete")))
            m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("地铁"))));
    }
    // The oldest entry is the one for the record as seeded.
    const QList<TRecycleEntry> bin = m_db->RecycleBin(Li);
    const TRecycleRestore r = m_db->RestoreRecycled(Li, {bin.last().Id});
    QCOMPARE(r.Restored, 1);
    QCOMPARE(r.Replaced, replaced);
    QCOMPARE(r.Revived, revived);
    QCOMPARE(r.Skipped, 0);
    QCOMPARE(r.Ids, QList<qint64>{bus});
    QCOMPARE(r.FirstDate, QStringLiteral("2024-03-02"));
    // The record is back under its own id, as it was; whatever it replaced
    // is in the bin now.
    QCOMPARE(records(*m_db), before);
    QStringList open;
    for (const TRecycleEntry &e : m_db->RecycleBin(Li))
        open << e.Record.Notes;
    open.sort();
    binAfter.sort();
    QCOMPARE(open, binAfter);
}

void TestRecycle::restoreTwiceRestoresOnce()
{
    seed();
    m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("午饭"))));
    const qint64 entry = m_db->RecycleBin(Li).first().Id;
    // A second computer restores the same entry from its own (older) list.
    TDbMan other(m_data->path());
    QCOMPARE(other.RestoreRecycled(Li, {entry}).Restored, 1);
    const TRecycleRestore again = m_db->RestoreRecycled(Li, {entry});
    QCOMPARE(again.Restored, 0);
    QCOMPARE(again.Skipped, 1);
    QCOMPARE(contents(*m_db).size(), 3);
    // Another account cannot restore it either.
    QCOMPARE(m_db->RestoreRecycled(QStringLiteral("Wang"), {entry}).Skipped, 1);
}

void TestRecycle::purgeRemovesEntriesPast90Days_data()
{
    QTest::addColumn<int>("ageDays");
    QTest::addColumn<int>("kept");
    QTest::addRow("a day old") << 1 << 1;
    QTest::addRow("89 days old") << 89 << 1;
    QTest::addRow("91 days old") << 91 << 0;
    QTest::addRow("a year old") << 365 << 0;
}

void TestRecycle::purgeRemovesEntriesPast90Days()
{
    QFETCH(int, ageDays);
    QFETCH(int, kept);
    seed();
    m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("午饭"))));
    m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("公交"))));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QCOMPARE(
        m_data->exec(QStringLiteral("update \"recycle\" set \"time\"=%1 where \"what\"='delete' "
                                    "and \"record\"=%2")
                         .arg(now - qint64(ageDays) * 86400)
                         .arg(m_db->RecycleBin(Li).last().Record.Id)),
        QString());
    QCOMPARE(m_db->PurgeRecycleBin(now), qint64(1 - kept));
    QCOMPARE(m_db->RecycleBin(Li).size(), 1 + kept);
    QCOMPARE(m_db->PurgeRecycleBin(now), qint64(0));
}

void TestRecycle::binTravelsWithBackupsAndCopies()
{
    seed();
    m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("午饭"))));
    m_db->ReplaceRecord(QString::number(idOf(*m_db, QStringLiteral("公交"))), Li,
                        QStringLiteral("2024-03-02"), TypeExpense(), QStringLiteral("交通"), 450,
                        QStringLiteral("地铁"));
    const QString first = m_dir.filePath(QStringLiteral("first.tlmdb"));
    m_db->BackupTo(first);
    const QList<TRecycleEntry> before = m_db->RecycleBin(Li);
    const auto same = [&](TDbMan &db) {
        const QList<TRecycleEntry> after = db.RecycleBin(Li);
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            QCOMPARE(after[i].Id, before[i].Id);
            QCOMPARE(after[i].Time, before[i].Time);
            QCOMPARE(after[i].What, before[i].What);
            QCOMPARE(after[i].Successor, before[i].Successor);
            QCOMPARE(after[i].Record, before[i].Record);
        }
    };

    m_db.reset();
    std::unique_ptr<TestSupport::DataFile> other;
    QString target;
    if (onPg()) {
        // --copy-to onto an emptied server.
        m_data->clear();
        StoreCopy::Copy(first, m_pgUrl, true);
        target = m_pgUrl;
    } else {
        // The backup imported into another ledger.
        other = std::make_unique<TestSupport::DataFile>();
        target = other->path();
        TDbMan(target).ImportFrom(first);
    }
    TDbMan copy(target);
    same(copy);
    // What is restored there is the record as it was.
    const TRecycleRestore r = copy.RestoreRecycled(Li, {before.last().Id, before.first().Id});
    QCOMPARE(r.Restored, 2);
    QCOMPARE(contents(copy), (QStringList{QStringLiteral("2024-03-01|餐饮||12.50|午饭"),
                                          QStringLiteral("2024-03-02|交通||4.00|公交"),
                                          QStringLiteral("2024-03-03|餐饮||30.00|晚饭")}));
    if (onPg()) {
        // --copy-from: the server into a new data file carries the bin too.
        const QString second = m_dir.filePath(QStringLiteral("second.tlmdb"));
        QVERIFY(QFile::copy(Placement::TemplateFile(), second));
        QFile(second).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        StoreCopy::Copy(m_pgUrl, second, false);
        TDbMan back(second);
        QCOMPARE(back.RecycleBin(Li).size(), copy.RecycleBin(Li).size());
        QCOMPARE(m_data->count(QStringLiteral("recycle")), 3);
        QCOMPARE(Raw(second).value(QStringLiteral("select count(*) from \"recycle\"")),
                 QStringLiteral("3"));
    }
}

// ---------------------------------------------------------------------------
// Undo and redo

void TestRecycle::undoAndRedoEachAction_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("line"); // how the undo line starts
    QTest::addRow("save") << QStringLiteral("save") << QStringLiteral("已撤销：保存 2 条记录");
    QTest::addRow("save with a recurring proposal")
        << QStringLiteral("proposal") << QStringLiteral("已撤销：保存 2 条记录");
    QTest::addRow("delete") << QStringLiteral("delete")
                            << QStringLiteral("已撤销：删除记录（2024-03-01 餐饮 12.50）");
    QTest::addRow("edit") << QStringLiteral("edit")
                          << QStringLiteral("已撤销：修改记录（2024-03-02 交通 4.00）");
    QTest::addRow("rename") << QStringLiteral("rename")
                            << QStringLiteral("已撤销：把类别“餐饮”改名为“吃饭”");
    QTest::addRow("rename into a category in use")
        << QStringLiteral("merge") << QStringLiteral("已撤销：把类别“餐饮”改名为“交通”");
    QTest::addRow("bill import") << QStringLiteral("bill")
                                 << QStringLiteral("已撤销：导入账单“bill.csv”。删除了 2 条记录。");
}

void TestRecycle::undoAndRedoEachAction()
{
    QFETCH(QString, action);
    QFETCH(QString, line);
    seed();
    TUndoStack undo(*m_db);
    int changes = 0;
    undo.Changed = [&] { ++changes; };
    const QStringList before = records(*m_db);
    const QString listBefore = m_db->GetCateList(Li, KindOut());
    QVERIFY(!undo.CanUndo());

    if (action == QLatin1String("save")) {
        m_db->AddRecords(Li, {row("2024-03-04", "餐饮", 800, "早饭"),
                              row("2024-03-04", "工资", 900000, "三月", TypeIncome())});
    } else if (action == QLatin1String("proposal")) {
        // A saved pending list with a proposed line is one step like any save.
        TRecurringEntry rent;
        rent.Type = TypeExpense();
        rent.Cate = QStringLiteral("房租");
        rent.Cents = 150000;
        rent.Rule = *TRecurrence::FromText(u"1m;5;2024-03-05;");
        const qint64 made = QDateTime(QDate(2024, 3, 1), QTime(12, 0)).toSecsSinceEpoch();
        m_db->AddRecurring(Li, rent, made);
        const QList<TProposal> due = m_db->ClaimProposals(Li, QDate(2024, 3, 5), made + 60);
        QCOMPARE(due.size(), 1);
        const TProposal &p = due.first();
        m_db->AddProposedRecords(Li,
                                 {row("2024-03-04", "餐饮", 800, "早饭"),
                                  TBatchRow{p.Date, p.Type, p.Cate, p.Cents, p.Notes}},
                                 {TProposalClaim(), p.Claim}, made + 120);
    } else if (action == QLatin1String("delete")) {
        m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("午饭"))));
    } else if (action == QLatin1String("edit")) {
        m_db->ReplaceRecord(QString::number(idOf(*m_db, QStringLiteral("公交"))), Li,
                            QStringLiteral("2024-03-06"), TypeIncome(), QStringLiteral("报销"), 999,
                            QStringLiteral("车费"));
    } else if (action == QLatin1String("rename")) {
        m_db->RenameCate(Li, TypeExpense(), QStringLiteral("餐饮"), QStringLiteral("吃饭"));
    } else if (action == QLatin1String("merge")) {
        m_db->RenameCate(Li, TypeExpense(), QStringLiteral("餐饮"), QStringLiteral("交通"));
    } else {
        QCOMPARE(
            m_db->ImportBill(Li, QStringLiteral("alipay"), QStringLiteral("bill.csv"), billLines())
                .Imported,
            2);
    }
    const QStringList after = records(*m_db);
    const QString listAfter = m_db->GetCateList(Li, KindOut());
    QVERIFY(after != before);
    QVERIFY(undo.CanUndo());
    QCOMPARE(changes, 1);

    QCOMPARE(undo.UndoQuestion(), QString());
    QCOMPARE(undo.Undo().left(line.size()), line);
    QCOMPARE(records(*m_db), before);
    if (action != QLatin1String("bill")) // an import's categories stay in the pick list
        QCOMPARE(m_db->GetCateList(Li, KindOut()), listBefore);
    QVERIFY(!undo.CanUndo());
    QVERIFY(undo.CanRedo());

    QVERIFY(undo.Redo().startsWith(QStringLiteral("已重做：")));
    QCOMPARE(contents(*m_db), [&] {
        QStringList rows;
        for (QString r : after)
            rows << r.section(QLatin1Char('|'), 1);
        return rows;
    }());
    QCOMPARE(m_db->GetCateList(Li, KindOut()), listAfter);
    QVERIFY(!undo.CanRedo());

    // And back again: redo left what undo needs.
    QVERIFY(undo.Undo().startsWith(QStringLiteral("已撤销：")));
    QCOMPARE(contents(*m_db), [&] {
        QStringList rows;
        for (QString r : before)
            rows << r.section(QLatin1Char('|'), 1);
        return rows;
    }());
    QCOMPARE(changes, 4);
}

void TestRecycle::undoRefusedAfterAnotherProgramsChange_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("other"); // what the other program does meanwhile
    QTest::addColumn<bool>("redo");     // the refusal comes at the redo
    QTest::addRow("save, then edited elsewhere") << "save"
                                                 << "edit all" << false;
    QTest::addRow("save, then deleted elsewhere") << "save"
                                                  << "delete all" << false;
    QTest::addRow("delete, then restored elsewhere") << "delete"
                                                     << "restore" << false;
    QTest::addRow("edit, then edited again elsewhere") << "edit"
                                                       << "edit all" << false;
    QTest::addRow("edit, then deleted elsewhere") << "edit"
                                                  << "delete all" << false;
    QTest::addRow("rename, then edited elsewhere") << "rename"
                                                   << "edit all" << false;
    QTest::addRow("bill import, then edited elsewhere") << "bill"
                                                        << "edit all" << false;
    QTest::addRow("undone delete, then edited elsewhere") << "delete"
                                                          << "edit all" << true;
    QTest::addRow("undone edit, then edited elsewhere") << "edit"
                                                        << "edit all" << true;
}

void TestRecycle::undoRefusedAfterAnotherProgramsChange()
{
    QFETCH(QString, action);
    QFETCH(QString, other);
    QFETCH(bool, redo);
    m_db->AddRecords(Li, {row("2024-03-01", "餐饮", 1250, "午饭")});
    TUndoStack undo(*m_db);
    const qint64 lunch = idOf(*m_db, QStringLiteral("午饭"));
    if (action == QLatin1String("save")) {
        m_db->AddRecords(Li, {row("2024-03-04", "餐饮", 800, "早饭")});
    } else if (action == QLatin1String("delete")) {
        m_db->DeleteRecord(Li, QString::number(lunch));
    } else if (action == QLatin1String("edit")) {
        m_db->ReplaceRecord(QString::number(lunch), Li, QStringLiteral("2024-03-01"), TypeExpense(),
                            QStringLiteral("餐饮"), 1300, QStringLiteral("午饭加汤"));
    } else if (action == QLatin1String("rename")) {
        m_db->RenameCate(Li, TypeExpense(), QStringLiteral("餐饮"), QStringLiteral("吃饭"));
    } else {
        m_db->ImportBill(Li, QStringLiteral("alipay"), QStringLiteral("bill.csv"), billLines());
    }
    if (redo)
        QVERIFY(undo.Undo().startsWith(QStringLiteral("已撤销：")));

    // Another program on the same ledger (another computer on a server).
    TDbMan elsewhere(m_data->path());
    if (other == QLatin1String("restore")) {
        elsewhere.RestoreRecycled(Li, {elsewhere.RecycleBin(Li).first().Id});
    } else {
        for (const QStringList &r : TestSupport::Records(elsewhere, Li)) {
            if (other == QLatin1String("delete all"))
                elsewhere.DeleteRecord(Li, r[RecId]);
            else
                elsewhere.ReplaceRecord(r[RecId], Li, r[RecDate], TypeExpense(), r[RecCate], 7777,
                                        r[RecNotes] + QStringLiteral("（另一台）"));
        }
    }
    const QStringList theirs = records(*m_db);

    const QString line = redo ? undo.Redo() : undo.Undo();
    QVERIFY2(line.startsWith(redo ? QStringLiteral("无法重做") : QStringLiteral("无法撤销")) &&
                 line.endsWith(QStringLiteral("没有改动任何数据。")),
             qPrintable(line));
    QCOMPARE(records(*m_db), theirs);
    // The step is dropped, not tried again and again.
    QVERIFY(!(redo ? undo.CanRedo() : undo.CanUndo()));
}

void TestRecycle::undoOfASaveKeepsWhatWasEditedSince()
{
    TUndoStack undo(*m_db);
    m_db->AddRecords(Li, {row("2024-03-01", "餐饮", 1250, "午饭"),
                          row("2024-03-02", "交通", 400, "公交"),
                          row("2024-03-03", "餐饮", 3000, "晚饭")});
    TDbMan elsewhere(m_data->path());
    elsewhere.ReplaceRecord(QString::number(idOf(elsewhere, QStringLiteral("公交"))), Li,
                            QStringLiteral("2024-03-02"), TypeExpense(), QStringLiteral("交通"),
                            500, QStringLiteral("公交"));
    QCOMPARE(undo.UndoQuestion(),
             QStringLiteral("保存的 3 条记录中有 1 条后来被修改或删除过（可能是在另一台电脑上）。"
                            "\n撤销只删除其余 2 条，修改过的保留原样。要撤销吗？"));
    QCOMPARE(undo.Undo(),
             QStringLiteral("已撤销：保存 3 条记录。另有 1 条已在别处修改或删除，保留原样。"));
    QCOMPARE(contents(*m_db), QStringList{QStringLiteral("2024-03-02|交通||5.00|公交")});
    // Redo puts back exactly the two it removed.
    undo.Redo();
    QCOMPARE(contents(*m_db).size(), 3);
}

void TestRecycle::newActionClearsRedo()
{
    seed();
    TUndoStack undo(*m_db);
    m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("午饭"))));
    m_db->DeleteRecord(Li, QString::number(idOf(*m_db, QStringLiteral("公交"))));
    QCOMPARE(undo.UndoName(), QStringLiteral("删除记录（2024-03-02 交通 4.00）"));
    undo.Undo();
    QCOMPARE(undo.RedoName(), QStringLiteral("删除记录（2024-03-02 交通 4.00）"));
    QCOMPARE(undo.UndoName(), QStringLiteral("删除记录（2024-03-01 餐饮 12.50）"));
    m_db->AddRecord(Li, QStringLiteral("2024-03-09"), TypeExpense(), QStringLiteral("餐饮"), 100,
                    QString()); // not a save of pending lines: not on the stack
    QVERIFY(undo.CanRedo());
    m_db->AddRecords(Li, {row("2024-03-09", "餐饮", 100, "")});
    QVERIFY(!undo.CanRedo());
    QCOMPARE(undo.UndoName(), QStringLiteral("保存记录（2024-03-09 餐饮 1.00）"));
    // Undo through the whole stack.
    int steps = 0;
    while (undo.CanUndo()) {
        undo.Undo();
        ++steps;
    }
    QCOMPARE(steps, 2);
    QCOMPARE(contents(*m_db).size(), 4);
}

QTEST_GUILESS_MAIN(TestRecycle)
void TestRecycle::undoOfARenameTakesBudgetsAndEntriesBack()
{
    try {
        renameTakesBudgetsAndEntriesBack();
    } catch (const TError &e) {
        QFAIL(qPrintable(e.text()));
    }
}

void TestRecycle::renameTakesBudgetsAndEntriesBack()
{
    seed();
    TUndoStack undo(*m_db);
    const QString food = QStringLiteral("餐饮"), meals = QStringLiteral("吃饭");
    m_db->SetDefaultBudget(Li, food, 200000);
    TRecurringEntry lunch;
    lunch.Type = TypeExpense();
    lunch.Cate = food;
    lunch.Cents = 2500;
    lunch.Rule = *TRecurrence::FromText(u"1m;4;2024-03-04;");
    m_db->AddRecurring(Li, lunch, QDateTime(QDate(2024, 3, 1), QTime(12, 0)).toSecsSinceEpoch());
    const auto where = [&] {
        const TBudgetPlan plan = m_db->BudgetPlan(Li);
        return QStringList{plan.defaultFor(food) ? food : QString(),
                           plan.defaultFor(meals) ? meals : QString(),
                           m_db->RecurringEntries(Li).value(0).Cate};
    };
    QCOMPARE(where(), (QStringList{food, QString(), food}));

    m_db->RenameCate(Li, TypeExpense(), food, meals);
    QCOMPARE(where(), (QStringList{QString(), meals, meals}));
    QVERIFY(undo.Undo().startsWith(QStringLiteral("已撤销：")));
    QCOMPARE(where(), (QStringList{food, QString(), food}));
    QVERIFY(undo.Redo().startsWith(QStringLiteral("已重做：")));
    QCOMPARE(where(), (QStringList{QString(), meals, meals}));
}

#include "tst_Recycle.moc"
