#include "DialogScript.h"
#include "FormKit.h"
#include "HouseholdForm.h"
#include "MainForm.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The household view through its windows: 家庭共享… in the account menu (the
// password asked, the tick as the store says), 家庭汇总 from the browser's
// more menu over the shown period, and that an account without consent shows
// nowhere in the window.
class TestHouseholdForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void shareEntryAsksThePassword_data();
    void shareEntryAsksThePassword();
    void openedFromTheMoreMenuOverTheShownPeriod();
    void windowShowsOnlyConsentingMembers();
    void turnedOffInTheMenuLeavesTheWindow();
    void datesInTheWindowReadAnotherPeriod();
    void memberRowShowsThatMembersRecords_data();
    void memberRowShowsThatMembersRecords();
    void windowHasNoEditingActions();

private:
    template <class T> static T *child(QObject *w, const char *name)
    {
        return TestSupport::Child<T>(w, QLatin1String(name));
    }
    // Every text the window shows: title, labels, headers and cells.
    static QStringList shownTexts(QWidget &form);
    // A table's rows as the texts of their cells.
    static TRowList rows(QWidget &form, const char *view);

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
    std::unique_ptr<TDbMan> m_db;
};

namespace {
const QString Dad = QStringLiteral("爸爸");
const QString Mum = QStringLiteral("妈妈");
const QString Gran = QStringLiteral("奶奶");
const QString GranCate = QStringLiteral("奶奶的药");
const QString GranNotes = QStringLiteral("gran-private");
const QDate March1(2026, 3, 1), March31(2026, 3, 31);
} // namespace

void TestHouseholdForm::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestHouseholdForm::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_dataFile = Placement::PlaceDataFile({});
    m_db = std::make_unique<TDbMan>(m_dataFile);
    m_db->AddUser(Dad, QStringLiteral("1111"));
    m_db->AddUser(Mum, QStringLiteral("2222"));
    m_db->AddUser(Gran, QStringLiteral("3333"));
    const QString out = TypeExpense(), in = TypeIncome();
    m_db->AddRecords(Dad, Batch({{u"2026-03-01"_s, out, u"餐饮"_s, u"12.50"_s, u"早饭"_s},
                                 {u"2026-03-05"_s, in, u"工资"_s, u"8000"_s, u""_s},
                                 {u"2026-04-02"_s, out, u"交通"_s, u"4"_s, u""_s}}));
    m_db->AddRecords(Mum, Batch({{u"2026-03-02"_s, out, u"餐饮"_s, u"0.10"_s, u"妈妈,午饭"_s},
                                 {u"2026-03-20"_s, out, u"书"_s, u"43.21"_s, u""_s},
                                 {u"2026-04-03"_s, in, u"奖金"_s, u"100"_s, u""_s}}));
    m_db->AddRecords(Gran, Batch({{u"2026-03-03"_s, out, GranCate, u"123.45"_s, GranNotes},
                                  {u"2026-03-10"_s, in, u"退休金"_s, u"4000"_s, u""_s}}));
}

void TestHouseholdForm::cleanup()
{
    m_db.reset();
    m_home.reset();
}

QStringList TestHouseholdForm::shownTexts(QWidget &form)
{
    QStringList texts{form.windowTitle()};
    for (QLabel *l : form.findChildren<QLabel *>())
        texts << l->text();
    for (QTableView *v : form.findChildren<QTableView *>()) {
        const QAbstractItemModel *m = v->model();
        for (int c = 0; c < m->columnCount(); ++c)
            texts << m->headerData(c, Qt::Horizontal).toString();
        for (int r = 0; r < m->rowCount(); ++r) {
            for (int c = 0; c < m->columnCount(); ++c)
                texts << m->index(r, c).data().toString();
        }
    }
    return texts;
}

TRowList TestHouseholdForm::rows(QWidget &form, const char *view)
{
    const QAbstractItemModel *m = child<QTableView>(&form, view)->model();
    TRowList list;
    TRow header;
    for (int c = 0; c < m->columnCount(); ++c)
        header << m->headerData(c, Qt::Horizontal).toString();
    list << header;
    for (int r = 0; r < m->rowCount(); ++r) {
        TRow row;
        for (int c = 0; c < m->columnCount(); ++c)
            row << m->index(r, c).data().toString();
        list << row;
    }
    return list;
}

void TestHouseholdForm::shareEntryAsksThePassword_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<QString>("answer"); // null: cancelled
    QTest::addColumn<bool>("after");
    QTest::addColumn<bool>("refused");

    QTest::addRow("right password turns it on") << false << QStringLiteral("1111") << true << false;
    QTest::addRow("spaces around it, as the login takes it")
        << false << QStringLiteral(" 1111 ") << true << false;
    QTest::addRow("another member's password leaves it off")
        << false << QStringLiteral("2222") << false << true;
    QTest::addRow("cancel leaves it off") << false << QString() << false << false;
    QTest::addRow("right password turns it off")
        << true << QStringLiteral("1111") << false << false;
    QTest::addRow("wrong password leaves it on") << true << QStringLiteral("x") << true << true;
    QTest::addRow("cancel leaves it on") << true << QString() << true << false;
}

void TestHouseholdForm::shareEntryAsksThePassword()
{
    QFETCH(bool, before);
    QFETCH(QString, answer);
    QFETCH(bool, after);
    QFETCH(bool, refused);
    if (before)
        QVERIFY(m_db->SetHouseholdShare(Dad, QStringLiteral("1111"), true));
    TfrmMain w(m_dataFile, Dad);
    auto *entry = child<QAction>(&w, "mnuMenu_HouseholdShare");
    QVERIFY(entry->isCheckable());
    QCOMPARE(entry->isChecked(), before);

    DialogScript script;
    script.answers.enqueue(answer);
    entry->trigger();
    const QList<TDialogCall> asked = script.of(TDialogCall::Input);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.at(0).caption, QStringLiteral("家庭共享"));
    QVERIFY(asked.at(0).hidden); // a password is never shown as typed
    QVERIFY(asked.at(0).text.contains(Dad));
    QCOMPARE(script.of(TDialogCall::Error).size(), refused ? 1 : 0);
    QCOMPARE(script.of(TDialogCall::Info).size(), before != after ? 1 : 0);
    QCOMPARE(m_db->HouseholdShare(Dad), after);
    QCOMPARE(entry->isChecked(), after);
}

void TestHouseholdForm::openedFromTheMoreMenuOverTheShownPeriod()
{
    QVERIFY(m_db->SetHouseholdShare(Mum, QStringLiteral("2222"), true));
    TfrmMain w(m_dataFile, Dad);
    w.show();
    QTest::mouseClick(child<QRadioButton>(&w, "rdoTransactions"), Qt::LeftButton);
    child<QDateEdit>(&w, "dtpTransDate1")->setDate(March1);
    child<QDateEdit>(&w, "dtpTransDate2")->setDate(March31);
    QTest::mouseClick(child<QPushButton>(&w, "btnTransSearch"), Qt::LeftButton);

    auto *entry = child<QAction>(&w, "btnTransMore_Household");
    QVERIFY(child<QMenu>(&w, "mnuTransMenu")->actions().contains(entry));
    QDate start, end;
    QString title, first;
    int members = 0;
    QVERIFY(TestSupport::WithModal([&] { entry->trigger(); },
                                   [&](QWidget *modal) {
                                       auto *form = qobject_cast<TfrmHousehold *>(modal);
                                       QVERIFY(form);
                                       start = child<QDateEdit>(form, "dtpHouseDate1")->date();
                                       end = child<QDateEdit>(form, "dtpHouseDate2")->date();
                                       title = form->windowTitle();
                                       members = int(form->Household().Members.size());
                                       first = form->Household().Members.at(0).Name;
                                       form->reject();
                                   }));
    QCOMPARE(start, March1);
    QCOMPARE(end, March31);
    QCOMPARE(title, QStringLiteral("家庭汇总 - 2026-03-01 至 2026-03-31"));
    QCOMPARE(members, 2);
    QCOMPARE(first, Dad);
}

void TestHouseholdForm::windowShowsOnlyConsentingMembers()
{
    QVERIFY(m_db->SetHouseholdShare(Mum, QStringLiteral("2222"), true));
    TfrmHousehold form(nullptr, *m_db, Dad, March1, March31);

    const QStringList texts = shownTexts(form);
    for (const QString &hidden : {Gran, GranCate, GranNotes, QStringLiteral("123.45"),
                                  QStringLiteral("4000.00"), QStringLiteral("退休金")}) {
        for (const QString &t : texts)
            QVERIFY2(!t.contains(hidden), qPrintable(hidden + QStringLiteral(" in ") + t));
    }

    QCOMPARE(rows(form, "lvwHouseMembers"),
             (TRowList{{u"成员"_s, u"支出"_s, u"收入"_s, u"结余"_s, u"笔数"_s},
                       {Dad, u"12.50"_s, u"8000.00"_s, u"7987.50"_s, u"2"_s},
                       {Mum, u"43.31"_s, u"0.00"_s, u"-43.31"_s, u"2"_s},
                       {u"家庭合计"_s, u"55.81"_s, u"8000.00"_s, u"7944.19"_s, u"4"_s}}));
    QCOMPARE(rows(form, "lvwHouseCates"),
             (TRowList{{u"类型"_s, u"项目"_s, Dad, Mum, u"合计"_s},
                       {u"支出"_s, u"书"_s, u""_s, u"43.21"_s, u"43.21"_s},
                       {u"支出"_s, u"餐饮"_s, u"12.50"_s, u"0.10"_s, u"12.60"_s},
                       {u"支出"_s, u"支出合计"_s, u"12.50"_s, u"43.31"_s, u"55.81"_s},
                       {u"收入"_s, u"工资"_s, u"8000.00"_s, u""_s, u"8000.00"_s},
                       {u"收入"_s, u"收入合计"_s, u"8000.00"_s, u"0.00"_s, u"8000.00"_s}}));
    QCOMPARE(rows(form, "lvwHouseRecs"),
             (TRowList{{u"成员"_s, u"日期"_s, u"项目"_s, u"收入"_s, u"支出"_s, u"备注"_s},
                       {Dad, u"2026-03-01"_s, u"餐饮"_s, u""_s, u"12.50"_s, u"早饭"_s},
                       {Mum, u"2026-03-02"_s, u"餐饮"_s, u""_s, u"0.10"_s, u"妈妈,午饭"_s},
                       {Dad, u"2026-03-05"_s, u"工资"_s, u"8000.00"_s, u""_s, u""_s},
                       {Mum, u"2026-03-20"_s, u"书"_s, u""_s, u"43.21"_s, u""_s}}));
    QCOMPARE(child<QLabel>(&form, "lblHouseTotal")->text(),
             QStringLiteral("家庭合计    支出：55.81    收入：8000.00    结余：7944.19    "
                            "成员：2    记录：4 笔"));
    // A negative balance in the program's red.
    const QModelIndex mumBalance =
        child<QTableView>(&form, "lvwHouseMembers")->model()->index(1, MemberBalance);
    QCOMPARE(mumBalance.data(Qt::ForegroundRole).value<QColor>(), Maroon());
}

void TestHouseholdForm::turnedOffInTheMenuLeavesTheWindow()
{
    // Gran turns it on and off again in her own account menu.
    TfrmMain gran(m_dataFile, Gran);
    auto *entry = child<QAction>(&gran, "mnuMenu_HouseholdShare");
    {
        DialogScript script;
        script.answer(QStringLiteral("3333"));
        entry->trigger();
    }
    {
        TfrmHousehold form(nullptr, *m_db, Dad, March1, March31);
        QVERIFY(shownTexts(form).contains(Gran));
        QVERIFY(shownTexts(form).contains(GranNotes));
    }
    {
        DialogScript script;
        script.answer(QStringLiteral("3333"));
        entry->trigger();
    }
    QVERIFY(!entry->isChecked());
    TfrmHousehold form(nullptr, *m_db, Dad, March1, March31);
    for (const QString &t : shownTexts(form)) {
        QVERIFY2(!t.contains(Gran), qPrintable(t));
        QVERIFY2(!t.contains(GranCate), qPrintable(t));
    }
}

void TestHouseholdForm::datesInTheWindowReadAnotherPeriod()
{
    QVERIFY(m_db->SetHouseholdShare(Mum, QStringLiteral("2222"), true));
    TfrmHousehold form(nullptr, *m_db, Dad, March1, March31);
    auto *date1 = child<QDateEdit>(&form, "dtpHouseDate1");
    auto *date2 = child<QDateEdit>(&form, "dtpHouseDate2");
    auto *search = child<QPushButton>(&form, "btnHouseSearch");

    date1->setDate(QDate(2026, 4, 1));
    QVERIFY(!search->isEnabled()); // the first date after the last
    date2->setDate(QDate(2026, 4, 30));
    QVERIFY(search->isEnabled());
    QTest::mouseClick(search, Qt::LeftButton);
    QCOMPARE(form.windowTitle(), QStringLiteral("家庭汇总 - 2026-04-01 至 2026-04-30"));
    QCOMPARE(rows(form, "lvwHouseMembers"),
             (TRowList{{u"成员"_s, u"支出"_s, u"收入"_s, u"结余"_s, u"笔数"_s},
                       {Dad, u"4.00"_s, u"0.00"_s, u"-4.00"_s, u"1"_s},
                       {Mum, u"0.00"_s, u"100.00"_s, u"100.00"_s, u"1"_s},
                       {u"家庭合计"_s, u"4.00"_s, u"100.00"_s, u"96.00"_s, u"2"_s}}));
    QCOMPARE(rows(form, "lvwHouseRecs").size(), 3);
}

void TestHouseholdForm::memberRowShowsThatMembersRecords_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("members"); // of the records shown, in order
    QTest::addRow("the asker") << 0 << QStringList{Dad, Dad};
    QTest::addRow("another member") << 1 << QStringList{Mum, Mum};
    QTest::addRow("the household's line: everybody") << 2 << QStringList{Dad, Mum, Dad, Mum};
}

void TestHouseholdForm::memberRowShowsThatMembersRecords()
{
    QFETCH(int, row);
    QFETCH(QStringList, members);
    QVERIFY(m_db->SetHouseholdShare(Mum, QStringLiteral("2222"), true));
    TfrmHousehold form(nullptr, *m_db, Dad, March1, March31);
    form.show();
    auto *view = child<QTableView>(&form, "lvwHouseMembers");
    const QRect cell = view->visualRect(view->model()->index(row, MemberName));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QStringList shown;
    const TRowList recs = rows(form, "lvwHouseRecs");
    for (qsizetype i = 1; i < recs.size(); ++i)
        shown << recs.at(i).value(HouseRecMember);
    QCOMPARE(shown, members);
    // Another period shows everybody's again.
    QTest::mouseClick(child<QPushButton>(&form, "btnHouseSearch"), Qt::LeftButton);
    QCOMPARE(rows(form, "lvwHouseRecs").size(), 5);
}

void TestHouseholdForm::windowHasNoEditingActions()
{
    QVERIFY(m_db->SetHouseholdShare(Mum, QStringLiteral("2222"), true));
    TfrmHousehold form(nullptr, *m_db, Dad, March1, March31);
    QStringList buttons;
    for (QPushButton *b : form.findChildren<QPushButton *>())
        buttons << b->objectName();
    buttons.sort();
    QCOMPARE(buttons,
             (QStringList{QStringLiteral("btnHouseClose"), QStringLiteral("btnHouseSearch")}));
    for (QTableView *v : form.findChildren<QTableView *>()) {
        QCOMPARE(v->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(v->contextMenuPolicy(), Qt::DefaultContextMenu);
        QVERIFY(v->actions().isEmpty());
    }
}

QTEST_MAIN(TestHouseholdForm)
#include "tst_HouseholdForm.moc"
