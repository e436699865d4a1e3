// Recurring entries as a person meets them: the 定期收支 window (entries
// added, changed and deleted, each with its next due date), and the
// proposals that come into the entry panels' pending lists at start, once,
// and stay unsaved until the person saves them.

#include "DbClass.h"
#include "DialogScript.h"
#include "MainForm.h"
#include "Placement.h"
#include "RecurringForm.h"
#include "TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <QDateEdit>

using TestSupport::Child;

namespace {

const QString Li = QStringLiteral("Li");

qint64 noon(const QDate &day)
{
    return QDateTime(day, QTime(12, 0)).toSecsSinceEpoch();
}

TRecurringEntry entry(const QString &type, const QString &cate, qint64 cents,
                      const TRecurrence &rule, const QString &notes = QString())
{
    TRecurringEntry e;
    e.Type = type;
    e.Cate = cate;
    e.Cents = cents;
    e.Notes = notes;
    e.Rule = rule;
    return e;
}

// The pending lines as "date cate amount notes", and how many are marked as proposed.
QStringList lines(QTreeWidget *list, int *marked = nullptr)
{
    QStringList out;
    if (marked)
        *marked = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        out << QStringList{item->text(1), item->text(3), item->text(4), item->text(5)}.join(u' ');
        if (marked && item->background(1).style() != Qt::NoBrush)
            ++*marked;
    }
    return out;
}

QString day(const QDate &d)
{
    return d.toString(Qt::ISODate);
}

// When TALLIMO_SHOTS names a folder, a picture of the window goes there (for
// looking at it under a real display).
void shoot(QWidget *w, const QString &name)
{
    const QString folder = qEnvironmentVariable("TALLIMO_SHOTS");
    if (folder.isEmpty())
        return;
    QTest::qWait(200);
    w->grab().save(folder + u'/' + name + QStringLiteral(".png"));
}

} // namespace

class TestRecurring : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void proposalsComeOnceAndSaveAsRecords();
    void secondProgramSeesNoDuplicate();
    void unsavedProposalsComeBackAfterClosing();
    void quietProgramLosesItsProposalsToTheNext();
    void editedProposalStaysAProposalDeletedOneIsNotProposedAgain();
    void windowShowsEachRuleAndItsNextDate_data();
    void windowShowsEachRuleAndItsNextDate();
    void badFieldsAreExplained_data();
    void badFieldsAreExplained();
    void windowEditsAndDeletes();
    void menuEntryProposesWhatIsDueAtOnce();

private:
    std::unique_ptr<TfrmMain> open()
    {
        auto w = std::make_unique<TfrmMain>(m_dataFile, Li);
        w->show();
        QTest::qWait(0); // the proposals come once the window shows
        QCoreApplication::processEvents();
        return w;
    }
    // Rent weekly and pocket money every two weeks from two weeks ago, made the day before.
    void addTwoEntries()
    {
        TDbMan db(m_dataFile);
        db.AddRecurring(Li,
                        entry(TypeExpense(), u"零花钱"_qs, 5000,
                              TRecurrence(TRecurrence::Weeks, 1, m_today.addDays(-14)),
                              u"孩子每周"_qs),
                        noon(m_today.addDays(-15)));
        db.AddRecurring(Li,
                        entry(TypeIncome(), u"兼职"_qs, 120000,
                              TRecurrence(TRecurrence::Weeks, 2, m_today.addDays(-14))),
                        noon(m_today.addDays(-15)));
    }
    qint64 records()
    {
        return TDbMan(m_dataFile)
            .QueryPeriod(Li, u"1900-01-01"_qs, u"2999-12-31"_qs)
            .RecRows.size();
    }
    // What became of one due date of an entry (1: the pocket money, 2: the side job).
    QString state(const QString &due, int entry = 1)
    {
        return TestSupport::Raw(m_dataFile)
            .value(u"select \"state\" from \"recurring_made\" where \"due\"='%1' and "
                   "\"entry\"=%2"_qs.arg(due)
                       .arg(entry));
    }

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
    QDate m_today;
};

void TestRecurring::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(QStringLiteral("config"))));
    m_dataFile = Placement::PlaceDataFile({});
    TDbMan(m_dataFile).AddUser(Li, QStringLiteral("1234"));
    m_today = QDate::currentDate();
}

void TestRecurring::cleanup()
{
    m_home.reset();
}

void TestRecurring::proposalsComeOnceAndSaveAsRecords()
{
    addTwoEntries();
    auto w = open();
    auto *out = Child<QTreeWidget>(w.get(), "lvwOutRecs");
    auto *in = Child<QTreeWidget>(w.get(), "lvwInRecs");
    int marked = 0;
    QCOMPARE(lines(out, &marked),
             (QStringList{day(m_today.addDays(-14)) + u" 零花钱 50.00 孩子每周"_qs,
                          day(m_today.addDays(-7)) + u" 零花钱 50.00 孩子每周"_qs,
                          day(m_today) + u" 零花钱 50.00 孩子每周"_qs}));
    QCOMPARE(marked, 3);
    QCOMPARE(lines(in), (QStringList{day(m_today.addDays(-14)) + u" 兼职 1200.00 "_qs,
                                     day(m_today) + u" 兼职 1200.00 "_qs}));
    QCOMPARE(Child<QLabel>(w.get(), "lblOutTotal")->text(), u"合计：150.00"_qs);
    QVERIFY(Child<QPushButton>(w.get(), "btnOutSave")->isEnabled());
    auto *line = Child<QLabel>(w.get(), "lblProposals");
    QVERIFY(line->isVisible());
    QCOMPARE(line->text(), u"定期收支待保存：支出 3 条、收入 2 条"_qs);
    shoot(w.get(), u"proposals"_qs);
    // Nothing is stored before the person saves; opening the pages again proposes nothing twice.
    QCOMPARE(records(), 0);
    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoIncome"), Qt::LeftButton);
    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoTransactions"), Qt::LeftButton);
    QVERIFY(!line->isVisible()); // the find bar's place
    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoExpense"), Qt::LeftButton);
    QVERIFY(line->isVisible());
    QCOMPARE(out->topLevelItemCount(), 3);
    QCOMPARE(in->topLevelItemCount(), 2);

    DialogScript dialogs;
    dialogs.yes();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutSave"), Qt::LeftButton);
    QCOMPARE(out->topLevelItemCount(), 0);
    QCOMPARE(records(), 3);
    QCOMPARE(line->text(), u"定期收支待保存：收入 2 条"_qs);
    QCOMPARE(state(day(m_today.addDays(-7))), u"saved"_qs);
    const QString record =
        TestSupport::Raw(m_dataFile)
            .value(
                u"select \"record\" from \"recurring_made\" where \"due\"='%1' and \"entry\"=1"_qs
                    .arg(day(m_today))); // the pocket money was the first entry
    const TRecordList recs = TDbMan(m_dataFile).QueryPeriod(Li, day(m_today), day(m_today)).RecRows;
    QCOMPARE(recs.size(), 1);
    QCOMPARE(QString::number(recs.Id(0)), record);
    QCOMPARE(recs.Notes(0), u"孩子每周"_qs);
}

void TestRecurring::secondProgramSeesNoDuplicate()
{
    addTwoEntries();
    auto first = open();
    auto second = open();
    QCOMPARE(Child<QTreeWidget>(first.get(), "lvwOutRecs")->topLevelItemCount(), 3);
    QCOMPARE(Child<QTreeWidget>(second.get(), "lvwOutRecs")->topLevelItemCount(), 0);
    QCOMPARE(Child<QTreeWidget>(second.get(), "lvwInRecs")->topLevelItemCount(), 0);
    // Its pages opened again: still nothing, while the first holds them.
    QTest::mouseClick(Child<QRadioButton>(second.get(), "rdoIncome"), Qt::LeftButton);
    QCOMPARE(Child<QTreeWidget>(second.get(), "lvwInRecs")->topLevelItemCount(), 0);
    QCOMPARE(TestSupport::Raw(m_dataFile).value(u"select count(*) from \"recurring_made\""_qs),
             u"5"_qs);
}

void TestRecurring::unsavedProposalsComeBackAfterClosing()
{
    addTwoEntries();
    {
        auto w = open();
        DialogScript dialogs;
        dialogs.yes(); // give up the unsaved lines
        QVERIFY(w->close());
        QCOMPARE(dialogs.calls.value(0).text, u"有尚未保存的记录，确定要放弃它们吗？"_qs);
    }
    QCOMPARE(TestSupport::Raw(m_dataFile).value(u"select count(*) from \"recurring_made\""_qs),
             u"0"_qs);
    QCOMPARE(records(), 0);
    auto again = open();
    QCOMPARE(Child<QTreeWidget>(again.get(), "lvwOutRecs")->topLevelItemCount(), 3);
    QCOMPARE(Child<QTreeWidget>(again.get(), "lvwInRecs")->topLevelItemCount(), 2);
}

void TestRecurring::quietProgramLosesItsProposalsToTheNext()
{
    addTwoEntries();
    auto first = open();
    // The first stopped confirming two hours ago (its computer slept); the
    // second starts a second later than the first confirmed, as it would.
    QTest::qWait(1100);
    TestSupport::Raw(m_dataFile).exec(u"update \"recurring_made\" set \"time\"=\"time\"-7200"_qs);
    auto second = open();
    QCOMPARE(Child<QTreeWidget>(second.get(), "lvwOutRecs")->topLevelItemCount(), 3);
    QCOMPARE(Child<QTreeWidget>(second.get(), "lvwInRecs")->topLevelItemCount(), 2);
    // Awake again, the first learns at its next confirmation and drops them,
    // so they cannot be saved twice.
    first->findChild<QTimer *>(u"tmrKeepProposals"_qs)->setInterval(1);
    QTRY_COMPARE(Child<QTreeWidget>(first.get(), "lvwOutRecs")->topLevelItemCount(), 0);
    QCOMPARE(Child<QTreeWidget>(first.get(), "lvwInRecs")->topLevelItemCount(), 0);
    QCOMPARE(Child<QLabel>(first.get(), "lblOutTotal")->text(), u"合计：0.00"_qs);
    // Closing it gives back nothing of the second's.
    first.reset();
    QCOMPARE(TestSupport::Raw(m_dataFile).value(u"select count(*) from \"recurring_made\""_qs),
             u"5"_qs);
    DialogScript dialogs;
    dialogs.yes();
    QTest::mouseClick(Child<QPushButton>(second.get(), "btnInSave"), Qt::LeftButton);
    QCOMPARE(records(), 2);
}

void TestRecurring::editedProposalStaysAProposalDeletedOneIsNotProposedAgain()
{
    addTwoEntries();
    auto w = open();
    auto *out = Child<QTreeWidget>(w.get(), "lvwOutRecs");
    DialogScript dialogs;
    // The oldest is deleted: dismissed.
    out->topLevelItem(0)->setSelected(true);
    dialogs.yes();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutDelete"), Qt::LeftButton);
    QCOMPARE(out->topLevelItemCount(), 2);
    QCOMPARE(state(day(m_today.addDays(-14))), u"dismissed"_qs);
    QCOMPARE(state(day(m_today.addDays(-14)), 2), u"proposed"_qs);
    // The next one is taken back, its amount corrected, and added again.
    out->topLevelItem(0)->setSelected(true);
    dialogs.yes();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutEdit"), Qt::LeftButton);
    auto *amount = Child<QLineEdit>(w.get(), "edtOutAmount");
    amount->setText(u"65"_qs);
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutAdd"), Qt::LeftButton);
    int marked = 0;
    QCOMPARE(lines(out, &marked),
             (QStringList{day(m_today) + u" 零花钱 50.00 孩子每周"_qs,
                          day(m_today.addDays(-7)) + u" 零花钱 65.00 孩子每周"_qs}));
    QCOMPARE(marked, 2);
    dialogs.yes();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutSave"), Qt::LeftButton);
    QCOMPARE(records(), 2);
    TestSupport::Raw raw(m_dataFile);
    QCOMPARE(raw.value(u"select count(*) from \"recurring_made\" where \"state\"='dismissed'"_qs),
             u"1"_qs);
    QCOMPARE(raw.value(u"select count(*) from \"recurring_made\" where \"state\"='saved'"_qs),
             u"2"_qs);
    // The income lines given up; the next start proposes them, and only them.
    w.reset();
    auto again = open();
    QCOMPARE(Child<QTreeWidget>(again.get(), "lvwOutRecs")->topLevelItemCount(), 0);
    QCOMPARE(Child<QTreeWidget>(again.get(), "lvwInRecs")->topLevelItemCount(), 2);
}

void TestRecurring::windowShowsEachRuleAndItsNextDate_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("every");
    QTest::addColumn<int>("dayIndex"); // in the day field: 0 is the 1st, 30 the last day
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("next");
    const QDate none;
    QTest::addRow("rent on the 5th") << 0 << int(TRecurrence::Months) << 1 << 4 << QDate(2026, 1, 5)
                                     << none << u"每月 5 日"_qs << u"2027-01-05"_qs;
    QTest::addRow("salary on the last day")
        << 1 << int(TRecurrence::Months) << 1 << 30 << QDate(2026, 1, 31) << none
        << u"每月最后一天"_qs << u"2026-12-31"_qs;
    QTest::addRow("weekly allowance, due today")
        << 0 << int(TRecurrence::Weeks) << 1 << 0 << QDate(2026, 12, 2) << none << u"每周三"_qs
        << u"2026-12-09"_qs;
    QTest::addRow("insurance on a leap day, with an end")
        << 0 << int(TRecurrence::Years) << 1 << 28 << QDate(2024, 2, 29) << QDate(2027, 12, 31)
        << u"每年 2 月 29 日（平年取 2 月 28 日），至 2027-12-31"_qs << u"2027-02-28"_qs;
    QTest::addRow("every 3 days, ended")
        << 0 << int(TRecurrence::Days) << 3 << 0 << QDate(2026, 11, 1) << QDate(2026, 11, 30)
        << u"每 3 天，至 2026-11-30"_qs << u"已结束"_qs;
    QTest::addRow("starts next year")
        << 1 << int(TRecurrence::Months) << 2 << 14 << QDate(2027, 3, 1) << none
        << u"每 2 个月 15 日"_qs << u"2027-03-15"_qs;
}

void TestRecurring::windowShowsEachRuleAndItsNextDate()
{
    QFETCH(int, type);
    QFETCH(int, unit);
    QFETCH(int, every);
    QFETCH(int, dayIndex);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QString, rule);
    QFETCH(QString, next);
    TDbMan db(m_dataFile);
    TfrmRecurring form(nullptr, db, Li, {u"房租"_qs, u"保险"_qs}, {u"工资"_qs}, QDate(2026, 12, 9));
    form.show();
    Child<QComboBox>(&form, "cboType")->setCurrentIndex(type);
    QCOMPARE(Child<QComboBox>(&form, "cboCate")->count(), type == 0 ? 2 : 1);
    Child<QComboBox>(&form, "cboCate")->setEditText(u"房租"_qs);
    Child<QLineEdit>(&form, "edtAmount")->setText(u"3200"_qs);
    Child<QLineEdit>(&form, "edtNotes")->setText(u"按时"_qs);
    Child<QSpinBox>(&form, "spnEvery")->setValue(every);
    Child<QComboBox>(&form, "cboUnit")->setCurrentIndex(unit);
    Child<QComboBox>(&form, "cboDay")->setCurrentIndex(dayIndex);
    QCOMPARE(Child<QComboBox>(&form, "cboDay")->isEnabled(),
             unit == TRecurrence::Months || unit == TRecurrence::Years);
    Child<QDateEdit>(&form, "dtpStart")->setDate(start);
    Child<QCheckBox>(&form, "chkEnd")->setChecked(end.isValid());
    if (end.isValid())
        Child<QDateEdit>(&form, "dtpEnd")->setDate(end);
    auto *add = Child<QPushButton>(&form, "btnAdd");
    QVERIFY(add->isEnabled());
    QVERIFY2(Child<QLabel>(&form, "lblRule")->text().startsWith(rule),
             qPrintable(Child<QLabel>(&form, "lblRule")->text()));
    QTest::mouseClick(add, Qt::LeftButton);
    shoot(&form, u"recurring-"_qs + QString::fromUtf8(QTest::currentDataTag()));
    auto *list = Child<QTreeWidget>(&form, "lvwEntries");
    QCOMPARE(list->topLevelItemCount(), 1);
    const QTreeWidgetItem *row = list->topLevelItem(0);
    QCOMPARE(row->text(TfrmRecurring::ColType), type == 0 ? TypeExpense() : TypeIncome());
    QCOMPARE(row->text(TfrmRecurring::ColCate), u"房租"_qs);
    QCOMPARE(row->text(TfrmRecurring::ColAmount), u"3200.00"_qs);
    QCOMPARE(row->text(TfrmRecurring::ColRule), rule);
    QCOMPARE(row->text(TfrmRecurring::ColNext), next);
    QCOMPARE(row->text(TfrmRecurring::ColNotes), u"按时"_qs);
    // What the store holds is what the window showed.
    const TRecurringEntry stored = db.RecurringEntries(Li).value(0);
    QCOMPARE(stored.Cents, qint64(320000));
    QCOMPARE(stored.Rule.start(), start);
    QCOMPARE(stored.Rule.end(), end);
    QCOMPARE(stored.Rule.every(), every);
}

void TestRecurring::badFieldsAreExplained_data()
{
    QTest::addColumn<QString>("cate");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QString>("message");
    QTest::addRow("no category") << u"  "_qs << u"10"_qs << QDate() << u"请填写项目。"_qs;
    QTest::addRow("no amount") << u"房租"_qs << QString() << QDate()
                               << u"请填写金额，例如：1500 或 89.90。"_qs;
    QTest::addRow("amount zero") << u"房租"_qs << u"0"_qs << QDate()
                                 << u"请填写金额，例如：1500 或 89.90。"_qs;
    QTest::addRow("not a number") << u"房租"_qs << u"三千"_qs << QDate()
                                  << u"请填写金额，例如：1500 或 89.90。"_qs;
    QTest::addRow("end before start")
        << u"房租"_qs << u"10"_qs << QDate(2026, 12, 1) << u"结束日期早于开始日期。"_qs;
}

void TestRecurring::badFieldsAreExplained()
{
    QFETCH(QString, cate);
    QFETCH(QString, amount);
    QFETCH(QDate, end);
    QFETCH(QString, message);
    TDbMan db(m_dataFile);
    TfrmRecurring form(nullptr, db, Li, {u"房租"_qs}, {}, QDate(2026, 12, 9));
    form.show();
    Child<QComboBox>(&form, "cboCate")->setEditText(cate);
    Child<QLineEdit>(&form, "edtAmount")->setText(amount);
    Child<QDateEdit>(&form, "dtpStart")->setDate(QDate(2026, 12, 9));
    Child<QCheckBox>(&form, "chkEnd")->setChecked(end.isValid());
    if (end.isValid())
        Child<QDateEdit>(&form, "dtpEnd")->setDate(end);
    QVERIFY(!Child<QPushButton>(&form, "btnAdd")->isEnabled());
    QCOMPARE(Child<QLabel>(&form, "lblRule")->text(), message);
    QTest::mouseClick(Child<QPushButton>(&form, "btnAdd"), Qt::LeftButton);
    QVERIFY(db.RecurringEntries(Li).isEmpty());
}

void TestRecurring::windowEditsAndDeletes()
{
    TDbMan db(m_dataFile);
    db.AddRecurring(Li,
                    entry(TypeExpense(), u"房租"_qs, 300000,
                          TRecurrence(TRecurrence::Months, 1, QDate(2026, 1, 5))),
                    noon(QDate(2026, 1, 1)));
    db.AddRecurring(Li,
                    entry(TypeIncome(), u"工资"_qs, 800000,
                          TRecurrence(TRecurrence::Months, 1, QDate(2026, 1, 10))),
                    noon(QDate(2026, 1, 1)));
    TfrmRecurring form(nullptr, db, Li, {u"房租"_qs}, {u"工资"_qs}, QDate(2026, 12, 9));
    form.show();
    shoot(&form, u"recurring-window"_qs);
    auto *list = Child<QTreeWidget>(&form, "lvwEntries");
    QCOMPARE(list->topLevelItemCount(), 2);
    auto *replace = Child<QPushButton>(&form, "btnReplace");
    auto *del = Child<QPushButton>(&form, "btnDelete");
    QVERIFY(!replace->isEnabled());
    QVERIFY(!del->isEnabled());
    // Picking the salary fills the fields with it.
    list->topLevelItem(1)->setSelected(true);
    QCOMPARE(Child<QComboBox>(&form, "cboType")->currentIndex(), 1);
    QCOMPARE(Child<QComboBox>(&form, "cboCate")->currentText(), u"工资"_qs);
    QCOMPARE(Child<QLineEdit>(&form, "edtAmount")->text(), u"8000.00"_qs);
    QCOMPARE(Child<QComboBox>(&form, "cboDay")->currentIndex(), 9);
    Child<QLineEdit>(&form, "edtAmount")->setText(u"8500"_qs);
    QTest::mouseClick(replace, Qt::LeftButton);
    QCOMPARE(list->topLevelItem(1)->text(TfrmRecurring::ColAmount), u"8500.00"_qs);
    QVERIFY(list->topLevelItem(1)->isSelected());
    QCOMPARE(db.RecurringEntries(Li).size(), 2);

    DialogScript dialogs;
    dialogs.no();
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(db.RecurringEntries(Li).size(), 2);
    dialogs.yes();
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(db.RecurringEntries(Li).value(0).Cate, u"房租"_qs);
}

void TestRecurring::menuEntryProposesWhatIsDueAtOnce()
{
    auto w = open();
    auto *out = Child<QTreeWidget>(w.get(), "lvwOutRecs");
    QCOMPARE(out->topLevelItemCount(), 0);
    // The window is filled in as a person would, with a rule due today.
    bool seen = false;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *form = qobject_cast<TfrmRecurring *>(QApplication::activeModalWidget());
        if (!form || seen)
            return;
        seen = true;
        Child<QComboBox>(form, "cboCate")->setEditText(u"车位费"_qs);
        Child<QLineEdit>(form, "edtAmount")->setText(u"3200"_qs);
        Child<QComboBox>(form, "cboUnit")->setCurrentIndex(TRecurrence::Months);
        Child<QComboBox>(form, "cboDay")->setCurrentIndex(m_today.day() - 1);
        Child<QDateEdit>(form, "dtpStart")->setDate(m_today);
        QTest::mouseClick(Child<QPushButton>(form, "btnAdd"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(form, "btnClose"), Qt::LeftButton);
    });
    timer.start();
    w->findChild<QAction *>(u"mnuMenu_Recurring"_qs)->trigger();
    timer.stop();
    QVERIFY(seen);
    QCOMPARE(lines(out), QStringList{day(m_today) + u" 车位费 3200.00 "_qs});
    QCOMPARE(records(), 0);
    // The category typed there is in the panel's pick list now.
    QVERIFY(Child<QComboBox>(w.get(), "cboOutCate")->findText(u"车位费"_qs) >= 0);
}

QTEST_MAIN(TestRecurring)
#include "tst_Recurring.moc"
