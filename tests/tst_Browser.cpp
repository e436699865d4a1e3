#include "BrowserPanel.h"
#include "ChartData.h"
#include "DateEdit.h"
#include "DbClass.h"
#include "DialogScript.h"
#include "MainForm.h"
#include "Placement.h"
#include "RowListModel.h"
#include "TestSupport.h"

#include <QAction>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QMenu>
#include <QPieSeries>
#include <QPieSlice>
#include <QPushButton>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

#include <sqlite3.h>

#include <functional>

// The browser page driven through the real main window: a data file in a
// temporary XDG_DATA_HOME, a login that answers at once, dialogs answered by
// DialogScript and modal windows looked at from a timer.
using TestSupport::WithModal;

class TestBrowser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchFillsLists_data();
    void searchFillsLists();
    void typedDates_data();
    void typedDates();
    void expenseBeforeIncomeWithinDay();
    void highlightAndScroll_data();
    void highlightAndScroll();
    void deselectingClearsHighlight();
    void deleteRecord_data();
    void deleteRecord();
    void editReplacesOneRecord_data();
    void editReplacesOneRecord();
    void recordsByIdBehindAProxy_data();
    void recordsByIdBehindAProxy();
    void highlightBehindAProxy();
    void failureKeepsData_data();
    void failureKeepsData();
    void rankingMarking_data();
    void rankingMarking();
    void detailsWindow_data();
    void detailsWindow();
    void rankSlices_data();
    void rankSlices();
    void monthSeries_data();
    void monthSeries();
    void chartSteps_data();
    void chartSteps();
    void groupMonths_data();
    void groupMonths();
    void hoverTexts();
    void chartOverTenYears();
    void chartButtonFollowsRankings();
    void chartWindow();
    void renameFromRanking_data();
    void renameFromRanking();

private:
    std::unique_ptr<TfrmMain> open();
    void addLi(const TRowList &rows)
    {
        TDbMan(m_dataFile).AddRecords(QStringLiteral("Li"), Batch(rows));
    }
    void search(TfrmMain *w, const QDate &start, const QDate &end);
    template <class T> T *child(QWidget *w, const char *name)
    {
        return TestSupport::Child<T>(w, QLatin1String(name));
    }
    QTreeView *list(TfrmMain *w, const char *name) { return child<QTreeView>(w, name); }
    QPushButton *button(TfrmMain *w, const char *name) { return child<QPushButton>(w, name); }
    static QString cell(QTreeView *v, int row, int col)
    {
        return v->model()->index(row, col).data().toString();
    }
    static void selectRow(QTreeView *v, int row)
    {
        v->setFocus();
        v->selectionModel()->select(v->model()->index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
    }
    static int topRow(QTreeView *v) { return v->indexAt(QPoint(2, 2)).row(); }

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
};

namespace {
TRow rec(const QString &date, const QString &type, const QString &cate, const QString &amount,
         const QString &notes = QString())
{
    return {date, type, cate, amount, notes};
}

const QString Out = QStringLiteral("支出");
const QString In = QStringLiteral("收入");

// Li's small ledger; Wang books on the same day to prove the lists are Li's.
TRowList ledger()
{
    return {
        rec(QStringLiteral("2011-03-30"), Out, QStringLiteral("餐饮"), QStringLiteral("10.00"),
            QStringLiteral("a")),
        rec(QStringLiteral("2011-04-01"), In, QStringLiteral("工资"), QStringLiteral("5000.00")),
        rec(QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"), QStringLiteral("20.00"),
            QStringLiteral("lunch")),
        rec(QStringLiteral("2011-04-02"), Out, QStringLiteral("交通"), QStringLiteral("5.00")),
        rec(QStringLiteral("2011-04-02"), Out, QStringLiteral("餐饮"), QStringLiteral("30.00")),
        rec(QStringLiteral("2011-05-10"), Out, QStringLiteral("房租"), QStringLiteral("1500.00")),
        rec(QStringLiteral("2011-05-10"), In, QStringLiteral("奖金"), QStringLiteral("800.00"))};
}

// Three records a day over June and July: far more rows than a page.
TRowList busySummer()
{
    TRowList rows;
    for (QDate d(2011, 6, 1); d <= QDate(2011, 7, 31); d = d.addDays(1)) {
        const QByteArray day = d.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
        for (int i = 0; i < 3; ++i)
            rows.append(
                rec(QLatin1String(day), Out, QStringLiteral("餐饮"), QStringLiteral("1.00")));
    }
    return rows;
}
} // namespace

void TestBrowser::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestBrowser::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_dataFile = Placement::PlaceDataFile({});
    TDbMan db(m_dataFile);
    db.AddUser(QStringLiteral("Li"), QStringLiteral("1234"));
    db.AddUser(QStringLiteral("Wang"), QStringLiteral("1234"));
    db.AddRecord(QStringLiteral("Wang"), QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"),
                 Cents(QStringLiteral("99.00")), QStringLiteral("not Li's"));
}

void TestBrowser::cleanup()
{
    m_home.reset();
}

std::unique_ptr<TfrmMain> TestBrowser::open()
{
    const QString file = m_dataFile;
    auto w = std::make_unique<TfrmMain>(file, QStringLiteral("Li"));
    w->show();
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoTransactions"), Qt::LeftButton);
    return w;
}

void TestBrowser::search(TfrmMain *w, const QDate &start, const QDate &end)
{
    child<QDateEdit>(w, "dtpTransDate1")->setDate(start);
    child<QDateEdit>(w, "dtpTransDate2")->setDate(end);
    QTest::mouseClick(button(w, "btnTransSearch"), Qt::LeftButton);
}

void TestBrowser::searchFillsLists_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QList<int>>("counts"); // days, months, records, expense and income ranks
    QTest::addColumn<QString>("totals");
    QTest::addRow("range without records")
        << QDate(2012, 1, 1) << QDate(2012, 12, 31) << QList<int>{0, 0, 0, 0, 0}
        << QStringLiteral("收入合计：0.00    支出合计：0.00    结余合计：0.00");
    QTest::addRow("everything") << QDate(2011, 1, 1) << QDate(2011, 12, 31)
                                << QList<int>{4, 3, 7, 3, 2}
                                << QStringLiteral("收入合计：5800.00    支出合计：1565.00    "
                                                  "结余合计：4235.00");
    QTest::addRow("one day, both ends included")
        << QDate(2011, 4, 2) << QDate(2011, 4, 2) << QList<int>{1, 1, 2, 2, 0}
        << QStringLiteral("收入合计：0.00    支出合计：35.00    结余合计：-35.00");
}

void TestBrowser::searchFillsLists()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QList<int>, counts);
    QFETCH(QString, totals);
    addLi(ledger());
    auto w = open();
    search(w.get(), start, end);

    const char *names[] = {"lvwDayTotal", "lvwMonthTotal", "lvwTrans", "lvwOutCates", "lvwInCates"};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(list(w.get(), names[i])->model()->rowCount(), counts.at(i));
    QCOMPARE(child<QLabel>(w.get(), "lblTransTotal")->text(), totals);
    // Beside the chart button a long line breaks before the balance.
    QCOMPARE(child<QLabel>(w.get(), "lblCatesTotal")
                 ->text()
                 .replace(QLatin1Char('\n'), QStringLiteral("    ")),
             totals);

    const TBrowserPanel *b = w->Browser();
    QCOMPARE(b->Result().Start, start);
    QCOMPARE(b->Result().End, end);
    QCOMPARE(b->Result().RecRows.size(), counts.at(2));
    QCOMPARE(b->Result().CateRows().size(), counts.at(3) + counts.at(4));
    QCOMPARE(b->TotalsText(b->Result().InCents, b->Result().OutCents), totals);
    QCOMPARE(button(w.get(), "btnTransMore")->isEnabled(), counts.at(2) > 0);
    QCOMPARE(button(w.get(), "btnCatesExport")->isEnabled(), counts.at(3) + counts.at(4) > 0);
    QVERIFY(!button(w.get(), "btnTransEdit")->isEnabled());
    QVERIFY(!button(w.get(), "btnMoreInfo")->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(button(w.get(), "btnTransSearch")->isEnabled());
}

void TestBrowser::typedDates_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("section"); // 0 year, 1 month, 2 day: where the cursor is
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("taken"); // invalid: refused
    const char *const sections[] = {"year", "month", "day"};
    for (const char *field : {"dtpTransDate1", "dtpTransDate2"}) {
        const bool first = field[12] == '1';
        for (int section = 0; section < 3; ++section) {
            const auto row = [&](const char *what, const char *typed, const QDate &taken) {
                QTest::addRow("%s, from the %s, %s", field, sections[section], what)
                    << QString::fromLatin1(field) << section << QString::fromLatin1(typed) << taken;
            };
            if (first) {
                row("dashes", "2011-04-01", QDate(2011, 4, 1));
                row("short parts", "2011-4-1", QDate(2011, 4, 1));
            } else {
                row("slashes", "2011/04/02", QDate(2011, 4, 2));
                row("digits", "20110402", QDate(2011, 4, 2));
            }
            row("no such month", "2011-13-01", QDate());
            row("letters", "abc", QDate());
        }
    }
}

// The browser's dates typed after a click into them: Enter, then Search.
void TestBrowser::typedDates()
{
    QFETCH(QString, field);
    QFETCH(int, section);
    QFETCH(QString, typed);
    QFETCH(QDate, taken);
    addLi(ledger());
    auto w = open();
    auto *date1 = child<TDateEdit>(w.get(), "dtpTransDate1");
    auto *date2 = child<TDateEdit>(w.get(), "dtpTransDate2");
    date1->setDate(QDate(2011, 3, 1));
    date2->setDate(QDate(2011, 4, 30));
    auto *date = field == QLatin1String("dtpTransDate1") ? date1 : date2;
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    const QDate before = date->date();
    QTest::mouseClick(date->findChild<QLineEdit *>(), Qt::LeftButton);
    QVERIFY(date->hasFocus());
    date->setCurrentSection(date->sectionAt(section));
    QTest::keyClicks(date, typed);
    QTest::keyClick(date, Qt::Key_Return);
    QPushButton *searchButton = button(w.get(), "btnTransSearch");
    QTest::mouseClick(searchButton, Qt::LeftButton);

    const TBrowserPanel *b = w->Browser();
    if (taken.isValid()) {
        QCOMPARE(date->date(), taken);
        QCOMPARE(b->Result().Start, date1->date());
        QCOMPARE(b->Result().End, date2->date());
        return;
    }
    // Refused: no search over a date the field does not show.
    QCOMPARE(date->date(), before);
    QCOMPARE(date->text(), typed);
    QVERIFY(!searchButton->isEnabled());
    QVERIFY(!b->Result().Start.isValid());
    // Corrected, the search runs again.
    QTest::mouseClick(date->findChild<QLineEdit *>(), Qt::LeftButton);
    QTest::keyClick(date, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(date, QStringLiteral("20110402"));
    QVERIFY(searchButton->isEnabled());
    QTest::mouseClick(searchButton, Qt::LeftButton);
    QCOMPARE(date->date(), QDate(2011, 4, 2));
    QCOMPARE(b->Result().Start, date1->date());
}

void TestBrowser::expenseBeforeIncomeWithinDay()
{
    addLi(ledger());
    auto w = open();
    search(w.get(), QDate(2011, 4, 1), QDate(2011, 5, 31));
    QTreeView *v = list(w.get(), "lvwTrans");
    // Columns: id, date, category, income, expense, notes.
    QStringList shown;
    for (int r = 0; r < v->model()->rowCount(); ++r)
        shown << cell(v, r, 1) + QStringLiteral("|") + cell(v, r, 3) + QStringLiteral("|") +
                     cell(v, r, 4);
    QCOMPARE(
        shown,
        QStringList({QStringLiteral("2011-04-01||20.00"), QStringLiteral("2011-04-01|5000.00|"),
                     QStringLiteral("2011-04-02||5.00"), QStringLiteral("2011-04-02||30.00"),
                     QStringLiteral("2011-05-10||1500.00"), QStringLiteral("2011-05-10|800.00|")}));
    QVERIFY(cell(v, 2, 0).toLongLong() < cell(v, 3, 0).toLongLong()); // then by id
}

void TestBrowser::highlightAndScroll_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("highlighted");
    QTest::addRow("a day") << 0 << "2011-06-20" << 3;
    QTest::addRow("a month") << 1 << "2011-07" << 93;
    QTest::addRow("the first day") << 0 << "2011-06-01" << 3;
}

void TestBrowser::highlightAndScroll()
{
    QFETCH(int, tab);
    QFETCH(QString, key);
    QFETCH(int, highlighted);
    addLi(busySummer());
    auto w = open();
    search(w.get(), QDate(2011, 6, 1), QDate(2011, 8, 31));
    child<QTabBar>(w.get(), "TabSet1")->setCurrentIndex(tab);
    QTreeView *totals = list(w.get(), tab == 0 ? "lvwDayTotal" : "lvwMonthTotal");
    QVERIFY(totals->isVisible());
    QVERIFY(!list(w.get(), tab == 0 ? "lvwMonthTotal" : "lvwDayTotal")->isVisible());
    QTreeView *recs = list(w.get(), "lvwTrans");
    selectRow(recs, 5); // the page's own selection goes away
    QVERIFY(button(w.get(), "btnTransDelete")->isEnabled());

    int row = -1;
    for (int r = 0; r < totals->model()->rowCount(); ++r)
        if (cell(totals, r, 0) == key)
            row = r;
    QVERIFY(row >= 0);
    selectRow(totals, row);

    QCOMPARE(w->Browser()->HighlightKey(), key);
    int count = 0, first = -1;
    for (int r = 0; r < recs->model()->rowCount(); ++r) {
        const bool green = recs->model()->index(r, 2).data(Qt::BackgroundRole).value<QColor>() ==
                           QColor(0xE0, 0xFF, 0xE0);
        QCOMPARE(green, cell(recs, r, 1).startsWith(key));
        if (green && first < 0)
            first = r;
        count += green;
    }
    QCOMPARE(count, highlighted);
    QCOMPARE(topRow(recs), first);
    QVERIFY(!recs->selectionModel()->hasSelection());
    QVERIFY(!button(w.get(), "btnTransDelete")->isEnabled());
    QVERIFY(!button(w.get(), "btnTransEdit")->isEnabled());

    // A new search forgets the highlight.
    QTest::mouseClick(button(w.get(), "btnTransSearch"), Qt::LeftButton);
    QCOMPARE(w->Browser()->HighlightKey(), QString());
    QVERIFY(!recs->model()->index(first, 2).data(Qt::BackgroundRole).isValid());
}

void TestBrowser::deselectingClearsHighlight()
{
    addLi(ledger());
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    QTreeView *days = list(w.get(), "lvwDayTotal");
    selectRow(days, 1);
    QCOMPARE(w->Browser()->HighlightKey(), QStringLiteral("2011-04-01"));
    selectRow(days, 2);
    QCOMPARE(w->Browser()->HighlightKey(), QStringLiteral("2011-04-02"));
    days->clearSelection();
    QCOMPARE(w->Browser()->HighlightKey(), QString());
    QTreeView *recs = list(w.get(), "lvwTrans");
    for (int r = 0; r < recs->model()->rowCount(); ++r)
        QVERIFY(!recs->model()->index(r, 1).data(Qt::BackgroundRole).isValid());
}

void TestBrowser::deleteRecord_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("yes");
    QTest::addRow("button, yes") << false << true;
    QTest::addRow("Delete key, yes") << true << true;
    QTest::addRow("button, no") << false << false;
    QTest::addRow("Delete key, no") << true << false;
}

void TestBrowser::deleteRecord()
{
    QFETCH(bool, byKey);
    QFETCH(bool, yes);
    addLi(ledger());
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    QTreeView *recs = list(w.get(), "lvwTrans");
    QTreeView *days = list(w.get(), "lvwDayTotal");
    selectRow(days, 1);
    selectRow(recs, 1); // 2011-04-01, 20.00, the day Wang booked on too
    const QString id = cell(recs, 1, 0);

    DialogScript dialogs;
    if (yes)
        dialogs.yes();
    else
        dialogs.no();
    if (byKey)
        QTest::keyClick(recs, Qt::Key_Delete);
    else
        QTest::mouseClick(button(w.get(), "btnTransDelete"), Qt::LeftButton);

    QCOMPARE(dialogs.of(TDialogCall::Question).size(), 1);
    QCOMPARE(dialogs.calls.first().text, QStringLiteral("您真的想要删除它吗？"));
    const TRowList left = TestSupport::Records(*w->DbMan, QStringLiteral("Li"));
    QCOMPARE(left.size(), yes ? 6 : 7);
    bool idLeft = false;
    for (const TRow &r : left)
        idLeft = idLeft || r.value(RecId) == id;
    QCOMPARE(idLeft, !yes);
    QCOMPARE(TestSupport::Records(*w->DbMan, QStringLiteral("Wang")).size(), 1);
    QCOMPARE(recs->model()->rowCount(), left.size());
    if (yes) {
        // The lists and totals are those of a fresh search.
        QCOMPARE(w->Browser()->HighlightKey(), QString());
        QCOMPARE(child<QLabel>(w.get(), "lblTransTotal")->text(),
                 QStringLiteral("收入合计：5800.00    支出合计：1545.00    结余合计：4255.00"));
        QVERIFY(!button(w.get(), "btnTransDelete")->isEnabled());
    }
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestBrowser::editReplacesOneRecord_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("type");
    QTest::addRow("an expense stays an expense") << 1 << Out;
    QTest::addRow("an income stays an income") << 2 << In;
}

void TestBrowser::editReplacesOneRecord()
{
    QFETCH(int, row);
    QFETCH(QString, type);
    addLi(ledger());
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    QTreeView *recs = list(w.get(), "lvwTrans");
    selectRow(recs, row);
    const QString oldId = cell(recs, row, 0);
    const QString oldDate = cell(recs, row, 1);

    DialogScript dialogs;
    dialogs.yes();
    QStringList shown;
    const bool modal = WithModal(
        [&] { QTest::mouseClick(button(w.get(), "btnTransEdit"), Qt::LeftButton); },
        [&](QWidget *editor) {
            if (!editor)
                return;
            for (const char *name : {"edtCate", "edtAmount", "edtNotes"})
                shown << editor->findChild<QLineEdit *>(QLatin1String(name))->text();
            editor->findChild<QDateEdit *>(QStringLiteral("dtpDate"))->setDate(QDate(2011, 6, 1));
            editor->findChild<QLineEdit *>(QStringLiteral("edtAmount"))
                ->setText(QStringLiteral(" 42 "));
            editor->findChild<QLineEdit *>(QStringLiteral("edtNotes"))
                ->setText(QStringLiteral("changed"));
            QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("btnSave")),
                              Qt::LeftButton);
        });

    QVERIFY(modal);
    QCOMPARE(dialogs.calls.first().text, QStringLiteral("您真的想要编辑它吗？"));
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.at(1), type == In ? QStringLiteral("5000.00") : QStringLiteral("20.00"));
    QCOMPARE(oldDate, QStringLiteral("2011-04-01"));
    const TRowList left = TestSupport::Records(*w->DbMan, QStringLiteral("Li"));
    QCOMPARE(left.size(), 7);
    int changed = 0;
    for (const TRow &r : left) {
        QVERIFY(r.value(RecId) != oldId);
        if (r.value(RecNotes) == QStringLiteral("changed")) {
            ++changed;
            QCOMPARE(r.value(RecDate), QStringLiteral("2011-06-01"));
            QCOMPARE(r.value(type == In ? RecIn : RecOut), QStringLiteral("42.00"));
            QCOMPARE(r.value(type == In ? RecOut : RecIn), QString());
            QCOMPARE(r.value(RecCate), shown.at(0));
        }
    }
    QCOMPARE(changed, 1);
    // Rebuilt: the edited record is now the last one by date.
    QCOMPARE(cell(recs, recs->model()->rowCount() - 1, 5), QStringLiteral("changed"));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

// A list that shows the records newest first, or only one category's, as a
// sort or a filter box would: the view's rows are not the result's.
static QSortFilterProxyModel *newestFirst(TfrmMain *w, const QString &cate = QString())
{
    auto *proxy = new QSortFilterProxyModel(w);
    proxy->setSortRole(TRecordListModel::IdRole);
    proxy->setFilterKeyColumn(RecCate);
    proxy->setFilterFixedString(cate);
    w->Browser()->SetRecordProxy(proxy);
    proxy->sort(RecId, Qt::DescendingOrder);
    return proxy;
}

void TestBrowser::recordsByIdBehindAProxy_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("cate"); // the proxy's filter; empty: all, newest first
    QTest::addRow("delete, newest first") << false << QString();
    QTest::addRow("edit, newest first") << true << QString();
    QTest::addRow("delete, one category") << false << QStringLiteral("房租");
    QTest::addRow("edit, one category") << true << QStringLiteral("房租");
}

void TestBrowser::recordsByIdBehindAProxy()
{
    QFETCH(bool, edit);
    QFETCH(QString, cate);
    addLi(ledger());
    auto w = open();
    newestFirst(w.get(), cate);
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    QTreeView *recs = list(w.get(), "lvwTrans");
    QCOMPARE(recs->model()->rowCount(), cate.isEmpty() ? 7 : 1);

    // The record the view shows at this row sits elsewhere in the result.
    const TSearchResultPtr before = w->Browser()->SharedResult();
    const TRecordList &result = before->RecRows;
    const int row = cate.isEmpty() ? 1 : 0;
    selectRow(recs, row);
    const qint64 id = cell(recs, row, RecId).toLongLong();
    QCOMPARE(w->Browser()->SelectedRecordId(), id);
    QVERIFY(result.Id(row) != id);
    const int at = result.IndexOfId(id);
    QVERIFY(at >= 0);
    const bool income = result.Kind(at) == TRecordList::Income;
    const QStringList picked{result.Cate(at), result.Text(at, income ? RecIn : RecOut)};

    DialogScript dialogs;
    dialogs.yes();
    QStringList shown;
    if (edit) {
        QVERIFY(WithModal(
            [&] { QTest::mouseClick(button(w.get(), "btnTransEdit"), Qt::LeftButton); },
            [&](QWidget *editor) {
                if (!editor)
                    return;
                for (const char *name : {"edtCate", "edtAmount"})
                    shown << editor->findChild<QLineEdit *>(QLatin1String(name))->text();
                editor->findChild<QLineEdit *>(QStringLiteral("edtAmount"))
                    ->setText(QStringLiteral("42"));
                QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("btnSave")),
                                  Qt::LeftButton);
            }));
        QCOMPARE(shown, picked);
    } else {
        QTest::mouseClick(button(w.get(), "btnTransDelete"), Qt::LeftButton);
    }

    // That record, and only that one, is gone or replaced.
    const TRowList left = TestSupport::Records(*w->DbMan, QStringLiteral("Li"));
    QCOMPARE(left.size(), edit ? 7 : 6);
    int replaced = 0;
    for (const TRow &r : left) {
        QVERIFY(r.value(RecId).toLongLong() != id);
        replaced += r.value(RecCate) == picked.at(0) &&
                    r.value(income ? RecIn : RecOut) == QStringLiteral("42.00");
    }
    QCOMPARE(replaced, edit ? 1 : 0);

    // The lists and totals are a fresh query's, and the view still sorts and filters.
    const TPeriod fresh = TDbMan(m_dataFile)
                              .QueryPeriod(QStringLiteral("Li"), QStringLiteral("2011-01-01"),
                                           QStringLiteral("2011-12-31"));
    const TSearchResult &now = w->Browser()->Result();
    QCOMPARE(child<QLabel>(w.get(), "lblTransTotal")->text(),
             TBrowserPanel::TotalsText(fresh.InCents, fresh.OutCents));
    QCOMPARE(std::make_pair(now.InCents, now.OutCents),
             std::make_pair(fresh.InCents, fresh.OutCents));
    QCOMPARE(Texts(now.DayRows), Texts(fresh.DayRows));
    QCOMPARE(Texts(now.MonthRows), Texts(fresh.MonthRows));
    QCOMPARE(Texts(now.OutCateRows), Texts(fresh.OutCateRows));
    QCOMPARE(Texts(now.InCateRows), Texts(fresh.InCateRows));
    QCOMPARE(recs->model()->rowCount(), cate.isEmpty() ? left.size() : (edit ? 1 : 0));
    for (int r = 1; r < recs->model()->rowCount(); ++r)
        QVERIFY(cell(recs, r - 1, RecId).toLongLong() > cell(recs, r, RecId).toLongLong());
    QCOMPARE(w->Browser()->SelectedRecordId(), qint64(-1));
    QVERIFY(!button(w.get(), "btnTransDelete")->isEnabled());
}

void TestBrowser::highlightBehindAProxy()
{
    // Newest first, a day's first record is the last of its rows in the
    // view; picking the day still brings that record to the top.
    addLi(busySummer());
    auto w = open();
    newestFirst(w.get());
    search(w.get(), QDate(2011, 6, 1), QDate(2011, 8, 31));
    QTreeView *days = list(w.get(), "lvwDayTotal");
    QTreeView *recs = list(w.get(), "lvwTrans");
    const TRecordList &result = w->Browser()->Result().RecRows;
    for (const QString &day : {QStringLiteral("2011-07-15"), QStringLiteral("2011-06-20")}) {
        int row = -1;
        for (int r = 0; r < days->model()->rowCount(); ++r)
            if (cell(days, r, DayDate) == day)
                row = r;
        QVERIFY(row >= 0);
        selectRow(days, row);
        const int first = FirstRecordOf(result, day);
        QVERIFY(first >= 0);
        const int top = topRow(recs);
        QCOMPARE(cell(recs, top, RecId).toLongLong(), result.Id(first));
        QCOMPARE(cell(recs, top, RecDate), day);
        QCOMPARE(cell(recs, top - 1, RecDate), day); // its later rows above it
        QVERIFY(!recs->selectionModel()->hasSelection());
    }
    // A record picked from the code is selected where the view shows it.
    const qint64 id = result.Id(10);
    w->Browser()->SelectRecord(id);
    QCOMPARE(w->Browser()->SelectedRecordId(), id);
    QCOMPARE(cell(recs, recs->selectionModel()->selectedRows().value(0).row(), RecId),
             QString::number(id));
    w->Browser()->SelectRecord(-1);
    QCOMPARE(w->Browser()->SelectedRecordId(), qint64(-1));
}

void TestBrowser::failureKeepsData_data()
{
    QTest::addColumn<QString>("action");
    QTest::addRow("search") << "search";
    QTest::addRow("delete") << "delete";
    QTest::addRow("edit") << "edit";
    QTest::addRow("details") << "details";
}

void TestBrowser::failureKeepsData()
{
    QFETCH(QString, action);
    addLi(ledger());
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    QTreeView *recs = list(w.get(), "lvwTrans");
    selectRow(recs, 1);
    const QString shownTotals = child<QLabel>(w.get(), "lblTransTotal")->text();

    QFile original(m_dataFile);
    QByteArray saved;
    const auto breakFile = [&] {
        QVERIFY(original.open(QIODevice::ReadOnly));
        saved = original.readAll();
        original.close();
        QFile f(m_dataFile);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(8192, 'x')); // no longer a database
    };
    const auto refuse = [&](const char *statement) {
        const QString error = TestSupport::Raw(m_dataFile).exec(QString::fromLatin1(statement));
        QVERIFY2(error.isEmpty(), qPrintable(error));
    };

    DialogScript dialogs;
    QPushButton *sender = nullptr;
    if (action == QStringLiteral("search")) {
        breakFile();
        sender = button(w.get(), "btnTransSearch");
        QTest::mouseClick(sender, Qt::LeftButton);
    } else if (action == QStringLiteral("delete")) {
        refuse("create trigger no_delete before delete on [data] "
               "begin select raise(abort,'disk says no'); end");
        dialogs.yes();
        sender = button(w.get(), "btnTransDelete");
        QTest::mouseClick(sender, Qt::LeftButton);
    } else if (action == QStringLiteral("edit")) {
        refuse("create trigger no_insert before insert on [data] "
               "begin select raise(abort,'disk says no'); end");
        dialogs.yes();
        sender = button(w.get(), "btnTransEdit");
        QVERIFY(WithModal([&] { QTest::mouseClick(sender, Qt::LeftButton); },
                          [](QWidget *editor) {
                              if (!editor)
                                  return;
                              editor->findChild<QLineEdit *>(QStringLiteral("edtAmount"))
                                  ->setText(QStringLiteral("42"));
                              QTest::mouseClick(
                                  editor->findChild<QPushButton *>(QStringLiteral("btnSave")),
                                  Qt::LeftButton);
                          }));
    } else {
        selectRow(list(w.get(), "lvwOutCates"), 0);
        breakFile();
        sender = button(w.get(), "btnMoreInfo");
        // Only the error comes up, never the window.
        QVERIFY(!WithModal([&] { QTest::mouseClick(sender, Qt::LeftButton); },
                           [](QWidget *m) {
                               if (m)
                                   m->close();
                           }));
    }
    if (!saved.isEmpty()) {
        QFile f(m_dataFile);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(saved);
    }

    QCOMPARE(dialogs.of(TDialogCall::Error).size(), 1);
    QVERIFY(sender->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(recs->model()->rowCount(), 7);
    QCOMPARE(child<QLabel>(w.get(), "lblTransTotal")->text(), shownTotals);
    QCOMPARE(TestSupport::Records(*w->DbMan, QStringLiteral("Li")).size(), 7);
    QCOMPARE(w->Browser()->Result().Start, QDate(2011, 1, 1));
}

void TestBrowser::rankingMarking_data()
{
    QTest::addColumn<QStringList>("order"); // lists selected one after the other
    QTest::addRow("expense list") << QStringList{QStringLiteral("lvwOutCates")};
    QTest::addRow("expense, then income")
        << QStringList{QStringLiteral("lvwOutCates"), QStringLiteral("lvwInCates")};
    QTest::addRow("income, then expense")
        << QStringList{QStringLiteral("lvwInCates"), QStringLiteral("lvwOutCates")};
}

void TestBrowser::rankingMarking()
{
    QFETCH(QStringList, order);
    addLi(ledger());
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoTransCategories"), Qt::LeftButton);
    QVERIFY(!button(w.get(), "btnMoreInfo")->isEnabled());
    for (const QString &name : order)
        selectRow(list(w.get(), name.toLatin1().constData()), 1);
    QTreeView *active = list(w.get(), order.last().toLatin1().constData());
    QCOMPARE(w->Browser()->ActiveCateList(), active);
    QVERIFY(button(w.get(), "btnMoreInfo")->isEnabled());

    const QColor navy(0, 0, 128);
    for (QTreeView *v : {list(w.get(), "lvwInCates"), list(w.get(), "lvwOutCates")}) {
        const QImage shot = v->viewport()->grab().toImage();
        for (int r = 0; r < v->model()->rowCount(); ++r) {
            const QRect cellRect = v->visualRect(v->model()->index(r, 1));
            const QColor c = shot.pixelColor(cellRect.right() - 2, cellRect.center().y());
            const bool marked = v == active && r == 1;
            QVERIFY2(
                (c == navy) == marked,
                qPrintable(
                    QStringLiteral("%1 row %2: %3").arg(v->objectName()).arg(r).arg(c.name())));
        }
    }

    // A new search leaves no list active.
    QTest::mouseClick(button(w.get(), "btnTransSearch"), Qt::LeftButton);
    QCOMPARE(w->Browser()->ActiveCateList(), nullptr);
    QVERIFY(!button(w.get(), "btnMoreInfo")->isEnabled());
}

void TestBrowser::detailsWindow_data()
{
    QTest::addColumn<QString>("listName");
    QTest::addColumn<QString>("cate");
    QTest::addColumn<QDate>("pickerStart"); // the pickers moved after the search
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("amountCaption");
    QTest::addColumn<QStringList>("rows");
    QTest::addRow("expense category")
        << "lvwOutCates" << QStringLiteral("餐饮") << QDate(2011, 1, 1)
        << QStringLiteral("数量：3  合计：60.00") << Out
        << QStringList{QStringLiteral("2011-03-30|餐饮|10.00|a"),
                       QStringLiteral("2011-04-01|餐饮|20.00|lunch"),
                       QStringLiteral("2011-04-02|餐饮|30.00|")};
    QTest::addRow("income category") << "lvwInCates" << QStringLiteral("奖金") << QDate(2011, 1, 1)
                                     << QStringLiteral("数量：1  合计：800.00") << In
                                     << QStringList{QStringLiteral("2011-05-10|奖金|800.00|")};
    QTest::addRow("dates shown now, caption from the ranking")
        << "lvwOutCates" << QStringLiteral("餐饮") << QDate(2011, 4, 2)
        << QStringLiteral("数量：3  合计：60.00") << Out
        << QStringList{QStringLiteral("2011-04-02|餐饮|30.00|")};
}

void TestBrowser::detailsWindow()
{
    QFETCH(QString, listName);
    QFETCH(QString, cate);
    QFETCH(QDate, pickerStart);
    QFETCH(QString, caption);
    QFETCH(QString, amountCaption);
    QFETCH(QStringList, rows);
    addLi(ledger());
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    child<QDateEdit>(w.get(), "dtpTransDate1")->setDate(pickerStart);
    QTreeView *ranking = list(w.get(), listName.toLatin1().constData());
    int row = -1;
    for (int r = 0; r < ranking->model()->rowCount(); ++r)
        if (cell(ranking, r, 1) == cate)
            row = r;
    selectRow(ranking, row);

    QString shownCaption, shownAmount;
    QStringList shown;
    QSize size;
    const bool modal =
        WithModal([&] { QTest::mouseClick(button(w.get(), "btnMoreInfo"), Qt::LeftButton); },
                  [&](QWidget *m) {
                      if (!m)
                          return;
                      shownCaption = m->windowTitle();
                      size = m->size();
                      auto *recs = m->findChild<QTreeView *>(QStringLiteral("lvwRecs"));
                      shownAmount = recs->model()->headerData(2, Qt::Horizontal).toString();
                      for (int r = 0; r < recs->model()->rowCount(); ++r) {
                          QStringList cells;
                          for (int c = 0; c < 4; ++c)
                              cells << cell(recs, r, c);
                          shown << cells.join(QLatin1Char('|'));
                      }
                      m->close();
                  });

    QVERIFY(modal);
    QCOMPARE(shownCaption, caption);
    QCOMPARE(shownAmount, amountCaption);
    QCOMPARE(shown, rows);
    QCOMPARE(size, QSize(631, 453));
    QVERIFY(button(w.get(), "btnMoreInfo")->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestBrowser::rankSlices_data()
{
    QTest::addColumn<int>("categories"); // sums 100, 99, 98, ... in cents x 100
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<qint64>("restCents");
    QTest::addRow("none") << 0 << QStringList{} << qint64(-1);
    QTest::addRow("three, no rest")
        << 3
        << QStringList{QStringLiteral("c0 33.67%"), QStringLiteral("c1 33.33%"),
                       QStringLiteral("c2 33.00%")}
        << qint64(-1);
    QTest::addRow("exactly eight, no rest") << 8 << QStringList{} << qint64(-1);
    QTest::addRow("nine: one in the rest") << 9 << QStringList{} << qint64(9200);
    QTest::addRow("twelve: four in the rest") << 12 << QStringList{} << qint64(36200);
}

void TestBrowser::rankSlices()
{
    QFETCH(int, categories);
    QFETCH(QStringList, labels);
    QFETCH(qint64, restCents);
    TRowList rows;
    qint64 total = 0;
    for (int i = 0; i < categories; ++i)
        total += (100 - i) * 100;
    for (int i = 0; i < categories; ++i) {
        const qint64 cents = (100 - i) * 100;
        rows.append({Out, QStringLiteral("c%1").arg(i), QStringLiteral("1"),
                     THi::FormatCents(cents), ShareText(cents, total)});
    }
    const QList<TChartSlice> slices = RankSlices(RankRows(rows));
    QCOMPARE(slices.size(), std::min(categories, 8) + (categories > 8 ? 1 : 0));
    qint64 sum = 0;
    for (int i = 0; i < slices.size(); ++i) {
        sum += slices.at(i).Cents;
        QCOMPARE(slices.at(i).Type, Out);
        if (i < labels.size())
            QCOMPARE(slices.at(i).Label(), labels.at(i));
    }
    QCOMPARE(sum, total);
    if (restCents >= 0) {
        const TChartSlice &rest = slices.last();
        QVERIFY(rest.Rest);
        QCOMPARE(rest.Cate, QStringLiteral("其他"));
        QCOMPARE(rest.Cents, restCents);
        QCOMPARE(rest.Share, ShareText(restCents, total));
        QCOMPARE(slices.at(7).Cate, QStringLiteral("c7"));
    } else {
        for (const TChartSlice &s : slices)
            QVERIFY(!s.Rest);
    }
    QCOMPARE(ShareText(0, 0), QStringLiteral("0.00%"));
    QCOMPARE(ShareText(1, 3), QStringLiteral("33.33%"));
}

void TestBrowser::monthSeries_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QStringList>("expected"); // month|in cents|out cents|balance cents
    const TRowList none;
    QTest::addRow("months without records are zero")
        << QDate(2011, 1, 15) << QDate(2011, 4, 3)
        << QStringList{QStringLiteral("2011-01|0|0|0"), QStringLiteral("2011-02|50000|12050|37950"),
                       QStringLiteral("2011-03|0|0|0"), QStringLiteral("2011-04|0|100|-100")};
    QTest::addRow("across a year end")
        << QDate(2010, 12, 31) << QDate(2011, 2, 1)
        << QStringList{QStringLiteral("2010-12|0|0|0"), QStringLiteral("2011-01|0|0|0"),
                       QStringLiteral("2011-02|50000|12050|37950")};
    QTest::addRow("one day") << QDate(2011, 2, 28) << QDate(2011, 2, 28)
                             << QStringList{QStringLiteral("2011-02|50000|12050|37950")};
}

void TestBrowser::monthSeries()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QStringList, expected);
    const TRowList months{
        {QStringLiteral("2011-02"), QStringLiteral("500.00"), QStringLiteral("120.50")},
        {QStringLiteral("2011-04"), QStringLiteral("0.00"), QStringLiteral("1.00")}};
    QStringList shown;
    for (const TChartMonth &m : MonthSeries(SumRows(months), start, end)) {
        if (m.Month < THi::DateToYmd(start).left(7) || m.Month > THi::DateToYmd(end).left(7))
            continue; // a month row outside the range is kept, but not asked about here
        shown << QStringLiteral("%1|%2|%3|%4")
                     .arg(m.Month)
                     .arg(m.InCents)
                     .arg(m.OutCents)
                     .arg(m.BalanceCents());
    }
    QCOMPARE(shown, expected);
}

void TestBrowser::chartSteps_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<int>("step"); // TChartStep
    QTest::addColumn<int>("bars");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    const int month = int(TChartStep::Month), quarter = int(TChartStep::Quarter),
              year = int(TChartStep::Year);
    QTest::addRow("one month") << QDate(2011, 4, 1) << QDate(2011, 4, 30) << month << 1 << "2011-04"
                               << "2011-04";
    QTest::addRow("24 months: a bar each")
        << QDate(2010, 1, 1) << QDate(2011, 12, 31) << month << 24 << "2010-01"
        << "2011-12";
    QTest::addRow("25 months: quarters")
        << QDate(2010, 1, 1) << QDate(2012, 1, 31) << quarter << 9 << "2010-Q1"
        << "2012-Q1";
    QTest::addRow("quarters cut by the range")
        << QDate(2010, 2, 15) << QDate(2012, 5, 3) << quarter << 10 << "2010-Q1"
        << "2012-Q2";
    QTest::addRow("8 years: still quarters")
        << QDate(2003, 1, 1) << QDate(2010, 12, 31) << quarter << 32 << "2003-Q1"
        << "2010-Q4";
    QTest::addRow("97 months: years")
        << QDate(2003, 1, 1) << QDate(2011, 1, 1) << year << 9 << "2003"
        << "2011";
    QTest::addRow("ten years") << QDate(2011, 1, 1) << QDate(2020, 12, 31) << year << 10 << "2011"
                               << "2020";
}

void TestBrowser::chartSteps()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(int, step);
    QFETCH(int, bars);
    QFETCH(QString, first);
    QFETCH(QString, last);
    const TChartData d = MakeChartData({}, {}, {}, start, end);
    QCOMPARE(int(d.Step), step);
    QCOMPARE(d.Months.size(), bars);
    QCOMPARE(d.Months.first().Month, first);
    QCOMPARE(d.Months.last().Month, last);
}

void TestBrowser::groupMonths_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<TRowList>("months");      // month rows: month, in, out
    QTest::addColumn<QStringList>("expected"); // key|in cents|out cents
    const TRowList rows{
        {QStringLiteral("2010-11"), QStringLiteral("1.00"), QStringLiteral("2.00")},
        {QStringLiteral("2010-12"), QStringLiteral("10.00"), QStringLiteral("0.00")},
        {QStringLiteral("2011-01"), QStringLiteral("0.00"), QStringLiteral("0.05")},
        {QStringLiteral("2011-03"), QStringLiteral("100.00"), QStringLiteral("50.00")},
        {QStringLiteral("2011-04"), QStringLiteral("0.01"), QStringLiteral("0.00")}};
    QTest::addRow("by quarter") << int(TChartStep::Quarter) << rows
                                << QStringList{QStringLiteral("2010-Q4|1100|200"),
                                               QStringLiteral("2011-Q1|10000|5005"),
                                               QStringLiteral("2011-Q2|1|0")};
    QTest::addRow("by year") << int(TChartStep::Year) << rows
                             << QStringList{QStringLiteral("2010|1100|200"),
                                            QStringLiteral("2011|10001|5005")};
    QTest::addRow("by month unchanged")
        << int(TChartStep::Month)
        << TRowList{{QStringLiteral("2011-03"), QStringLiteral("1.00"), QStringLiteral("2.00")}}
        << QStringList{QStringLiteral("2011-03|100|200")};
}

void TestBrowser::groupMonths()
{
    QFETCH(int, step);
    QFETCH(TRowList, months);
    QFETCH(QStringList, expected);
    QList<TChartMonth> series =
        MonthSeries(SumRows(months), QDate(2010, 11, 1), QDate(2011, 4, 30));
    if (step == int(TChartStep::Month))
        series = MonthSeries(SumRows(months), QDate(2011, 3, 1), QDate(2011, 3, 31));
    QStringList shown;
    for (const TChartMonth &m : GroupMonths(series, TChartStep(step)))
        shown << QStringLiteral("%1|%2|%3").arg(m.Month).arg(m.InCents).arg(m.OutCents);
    QCOMPARE(shown, expected);
}

void TestBrowser::hoverTexts()
{
    const TChartMonth q{QStringLiteral("2011-Q1"), 123456, 7};
    QCOMPARE(BarTip(q, In, q.InCents), QStringLiteral("2011-Q1 收入：1234.56"));
    QCOMPARE(BarTip(q, QStringLiteral("结余"), q.BalanceCents()),
             QStringLiteral("2011-Q1 结余：1234.49"));
    const TChartSlice slice{Out, QStringLiteral("餐饮"), 6000, QStringLiteral("3.81%"), false};
    QCOMPARE(SliceTip(slice), QStringLiteral("餐饮：60.00 (3.81%)"));
    QCOMPARE(StepTitle(TChartStep::Month), QStringLiteral("每月收支"));
    QCOMPARE(StepTitle(TChartStep::Quarter), QStringLiteral("每季度收支"));
    QCOMPARE(StepTitle(TChartStep::Year), QStringLiteral("每年收支"));
}

// Ten years in the chart window: a bar per year, labels that fit, amounts on hover.
void TestBrowser::chartOverTenYears()
{
    TRowList rows;
    for (int y = 2011; y <= 2020; ++y)
        for (int m = 1; m <= 12; ++m)
            rows.append(rec(QStringLiteral("%1-%2-10").arg(y).arg(m, 2, 10, QLatin1Char('0')), Out,
                            QStringLiteral("餐饮"), QStringLiteral("10.00")));
    addLi(rows);
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2020, 12, 31));
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoTransCategories"), Qt::LeftButton);
    QStringList labels;
    QString chartTitle;
    qreal angle = 1;
    QStringList tips;
    WithModal([&] { QTest::mouseClick(button(w.get(), "btnCatesChart"), Qt::LeftButton); },
              [&](QWidget *chart) {
                  if (!chart)
                      return;
                  auto *view = chart->findChild<QChartView *>(QStringLiteral("chtMonths"));
                  auto *axis = qobject_cast<QBarCategoryAxis *>(
                      view->chart()->axes(Qt::Horizontal).value(0));
                  labels = axis->categories();
                  angle = axis->labelsAngle();
                  chartTitle = view->chart()->title();
                  // Hovering a bar and a slice shows its amount.
                  auto *bars = qobject_cast<QBarSeries *>(view->chart()->series().value(0));
                  emit bars->hovered(true, 9, bars->barSets().at(1));
                  tips << QToolTip::text();
                  auto *pie = qobject_cast<QPieSeries *>(
                      chart->findChild<QChartView *>(QStringLiteral("chtOut"))
                          ->chart()
                          ->series()
                          .value(0));
                  emit pie->slices().at(0)->hovered(true);
                  tips << QToolTip::text();
                  chart->close();
              });
    QCOMPARE(labels,
             QStringList({QStringLiteral("2011"), QStringLiteral("2012"), QStringLiteral("2013"),
                          QStringLiteral("2014"), QStringLiteral("2015"), QStringLiteral("2016"),
                          QStringLiteral("2017"), QStringLiteral("2018"), QStringLiteral("2019"),
                          QStringLiteral("2020")}));
    QCOMPARE(angle, qreal(0)); // ten short labels fit across
    QCOMPARE(chartTitle, QStringLiteral("每年收支"));
    QCOMPARE(tips, QStringList({QStringLiteral("2020 支出：120.00"),
                                QStringLiteral("餐饮：1200.00 (100.00%)")}));
}

void TestBrowser::chartButtonFollowsRankings()
{
    addLi(ledger());
    auto w = open();
    QPushButton *chart = button(w.get(), "btnCatesChart");
    QCOMPARE(chart->text(), QStringLiteral("图表(&G)"));
    QCOMPARE(chart->pos(), QPoint(370, 370));
    QCOMPARE(chart->parentWidget()->objectName(), QStringLiteral("pnlTransCategories"));
    QVERIFY(!chart->isEnabled());
    search(w.get(), QDate(2011, 4, 2), QDate(2011, 4, 2)); // expenses only
    QVERIFY(chart->isEnabled());
    search(w.get(), QDate(2012, 1, 1), QDate(2012, 1, 31));
    QVERIFY(!chart->isEnabled());
}

void TestBrowser::chartWindow()
{
    TRowList rows = ledger();
    for (int i = 0; i < 10; ++i) // eleven expense categories in all
        rows.append(rec(QStringLiteral("2011-06-01"), Out, QStringLiteral("small%1").arg(i),
                        QStringLiteral("1.00")));
    addLi(rows);
    auto w = open();
    search(w.get(), QDate(2011, 3, 1), QDate(2011, 6, 30));
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoTransCategories"), Qt::LeftButton);

    QString title;
    QStringList outLabels, inLabels, outShares;
    int months = -1;
    QString detailsCaption;
    int detailsRows = -1;
    bool restOpened = false, closedByEsc = false;
    const bool modal = WithModal(
        [&] { QTest::mouseClick(button(w.get(), "btnCatesChart"), Qt::LeftButton); },
        [&](QWidget *chart) {
            if (!chart)
                return;
            title = chart->windowTitle();
            auto *outView = chart->findChild<QChartView *>(QStringLiteral("chtOut"));
            auto *inView = chart->findChild<QChartView *>(QStringLiteral("chtIn"));
            auto *monthView = chart->findChild<QChartView *>(QStringLiteral("chtMonths"));
            if (!outView || !inView || !monthView) {
                chart->close();
                return;
            }
            auto *outSeries = qobject_cast<QPieSeries *>(outView->chart()->series().value(0));
            auto *inSeries = qobject_cast<QPieSeries *>(inView->chart()->series().value(0));
            // Name and share in the legend, the share again beside the slice.
            for (QLegendMarker *m : outView->chart()->legend()->markers(outSeries))
                outLabels << m->label();
            for (QLegendMarker *m : inView->chart()->legend()->markers(inSeries))
                inLabels << m->label();
            for (QPieSlice *s : outSeries->slices())
                outShares << s->label();
            months = monthView->chart()->axes(Qt::Horizontal).value(0)->property("count").toInt();

            // A category's slice opens its details; the rest slice opens nothing.
            WithModal([&] { emit outSeries->slices().at(1)->clicked(); }, // 餐饮, second by sum
                      [&](QWidget *details) {
                          if (details && details != chart) {
                              detailsCaption = details->windowTitle();
                              detailsRows =
                                  details->findChild<QTreeView *>(QStringLiteral("lvwRecs"))
                                      ->model()
                                      ->rowCount();
                              details->close();
                          }
                      });
            restOpened = WithModal([&] { emit outSeries->slices().last()->clicked(); },
                                   [](QWidget *m) {
                                       if (m)
                                           m->close();
                                   });
            QTest::keyClick(chart, Qt::Key_Escape);
            closedByEsc = !chart->isVisible();
            if (!closedByEsc)
                chart->close();
        });

    QVERIFY(modal);
    QCOMPARE(title, QStringLiteral("收支图表"));
    QCOMPARE(outLabels.size(), 9);
    QCOMPARE(outLabels.first(), QStringLiteral("房租 95.24%"));
    QCOMPARE(outLabels.last(), QStringLiteral("其他 0.32%")); // five of 1.00 in 1575.00
    QCOMPARE(inLabels, QStringList({QStringLiteral("工资 86.21%"), QStringLiteral("奖金 13.79%")}));
    QCOMPARE(outShares.first(), QStringLiteral("95.24%"));
    QCOMPARE(outShares.last(), QStringLiteral("0.32%"));
    QCOMPARE(months, 4);
    QCOMPARE(detailsCaption, QStringLiteral("数量：3  合计：60.00"));
    QCOMPARE(detailsRows, 3);
    QVERIFY(!restOpened);
    QVERIFY(closedByEsc);
}

void TestBrowser::renameFromRanking_data()
{
    QTest::addColumn<QString>("listName");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QVariant>("typed");   // the input's answer; a null text cancels
    QTest::addColumn<QVariant>("merge");   // the answer to the merge question, if asked
    QTest::addColumn<QStringList>("rows"); // the ranking afterwards: category|count|sum
    QTest::addColumn<QStringList>("pick"); // the pick list afterwards
    QTest::addColumn<int>("errors");
    const QStringList before{QStringLiteral("房租|1|1500.00"), QStringLiteral("餐饮|3|60.00"),
                             QStringLiteral("交通|1|5.00")};
    const QStringList pickBefore{QStringLiteral("餐饮"), QStringLiteral("交通")};
    QTest::addRow("renamed") << "lvwOutCates" << QStringLiteral("交通")
                             << QVariant(QStringLiteral(" 公交 ")) << QVariant()
                             << QStringList{QStringLiteral("房租|1|1500.00"),
                                            QStringLiteral("餐饮|3|60.00"),
                                            QStringLiteral("公交|1|5.00")}
                             << QStringList{QStringLiteral("餐饮"), QStringLiteral("公交")} << 0;
    QTest::addRow("merged after asking")
        << "lvwOutCates" << QStringLiteral("交通") << QVariant(QStringLiteral("餐饮"))
        << QVariant(true)
        << QStringList{QStringLiteral("房租|1|1500.00"), QStringLiteral("餐饮|4|65.00")}
        << QStringList{QStringLiteral("餐饮")} << 0;
    QTest::addRow("merge declined")
        << "lvwOutCates" << QStringLiteral("交通") << QVariant(QStringLiteral("餐饮"))
        << QVariant(false) << before << pickBefore << 0;
    QTest::addRow("cancelled") << "lvwOutCates" << QStringLiteral("交通") << QVariant(QString())
                               << QVariant() << before << pickBefore << 0;
    QTest::addRow("blank refused")
        << "lvwOutCates" << QStringLiteral("交通") << QVariant(QStringLiteral("  ")) << QVariant()
        << before << pickBefore << 1;
    QTest::addRow("income") << "lvwInCates" << QStringLiteral("奖金")
                            << QVariant(QStringLiteral("年终奖")) << QVariant()
                            << QStringList{QStringLiteral("工资|1|5000.00"),
                                           QStringLiteral("年终奖|1|800.00")}
                            << pickBefore << 0;
}

// 重命名类别 in a ranking's context menu renames the category in every record
// and in the pick list; the ranking is searched again and shows one row.
void TestBrowser::renameFromRanking()
{
    QFETCH(QString, listName);
    QFETCH(QString, from);
    QFETCH(QVariant, typed);
    QFETCH(QVariant, merge);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, pick);
    QFETCH(int, errors);
    addLi(ledger());
    TDbMan(m_dataFile)
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("餐饮\r\n交通"));
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    QTreeView *ranking = list(w.get(), listName.toLatin1().constData());
    int row = -1;
    for (int r = 0; r < ranking->model()->rowCount(); ++r)
        if (cell(ranking, r, 1) == from)
            row = r;
    QVERIFY(row >= 0);

    DialogScript script;
    script.answers.enqueue(typed);
    if (merge.isValid())
        script.answers.enqueue(merge);
    // The menu opens on the row clicked, which becomes the selected one.
    const QRect at = ranking->visualRect(ranking->model()->index(row, 1));
    emit ranking->customContextMenuRequested(at.center());
    auto *menu = child<QMenu>(w.get(), "mnuCatesContext");
    QTRY_VERIFY(menu->isVisible());
    auto *entry = child<QAction>(w.get(), "mnuCatesContext_Rename");
    QCOMPARE(entry->text(), QStringLiteral("重命名类别"));
    menu->close();
    entry->trigger();

    const auto inputs = script.of(TDialogCall::Input);
    QCOMPARE(inputs.size(), 1);
    QCOMPARE(inputs.first().caption, QStringLiteral("重命名类别"));
    QCOMPARE(inputs.first().value, from);
    QCOMPARE(script.of(TDialogCall::Question).size(), merge.isValid() ? 1 : 0);
    QCOMPARE(script.of(TDialogCall::Error).size(), errors);
    QStringList shown;
    for (int r = 0; r < ranking->model()->rowCount(); ++r)
        shown << QStringList{cell(ranking, r, 1), cell(ranking, r, 2), cell(ranking, r, 3)}.join(
            QLatin1Char('|'));
    QCOMPARE(shown, rows);
    auto *combo = child<QComboBox>(w.get(), "cboOutCate");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, pick);
    // Wang's record of the same name is his own.
    QCOMPARE(TDbMan(m_dataFile).CountCate(QStringLiteral("Wang"), Out, QStringLiteral("餐饮")),
             qint64(1));
}

QTEST_MAIN(TestBrowser)
#include "tst_Browser.moc"
