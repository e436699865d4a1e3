#include "BrowserPanel.h"
#include "DbClass.h"
#include "DialogScript.h"
#include "MainForm.h"
#include "Placement.h"
#include "Reports.h"
#include "RowListModel.h"
#include "RowTexts.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

// The browser's find bar driven through the real main window: the filter box
// (typing, Ctrl+F, Escape), what follows the filtered set, quick ranges kept
// per account, 搜索全部, and delete and edit while filtered.
using TestSupport::WithModal;

class TestBrowserFilter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listsFollowTheFilter_data();
    void listsFollowTheFilter();
    void ctrlFAndEscape();
    void matchesMarked();
    void exportAndPrintFiltered();
    void detailsFiltered();
    void quickRangeKeptPerAccount_data();
    void quickRangeKeptPerAccount();
    void quickRangeOfAnyName_data();
    void quickRangeOfAnyName();
    void searchAllYears_data();
    void searchAllYears();
    void deleteWhileFiltered();
    void editWhileFiltered();
    void newSearchKeepsTheFilter();

private:
    std::unique_ptr<TfrmMain> open(const QString &user = QStringLiteral("Li"));
    void search(TfrmMain *w, const QDate &start, const QDate &end);
    // Types into the box and waits for the pause to end.
    void filter(TfrmMain *w, const QString &text);
    template <class T> T *child(QWidget *w, const char *name)
    {
        return TestSupport::Child<T>(w, QLatin1String(name));
    }
    QTreeView *list(TfrmMain *w, const char *name) { return child<QTreeView>(w, name); }
    static QString cell(QTreeView *v, int row, int col)
    {
        return v->model()->index(row, col).data().toString();
    }
    static QStringList column(QTreeView *v, int col)
    {
        QStringList texts;
        for (int row = 0; row < v->model()->rowCount(); ++row)
            texts << cell(v, row, col);
        return texts;
    }

    std::unique_ptr<QTemporaryDir> m_home, m_config;
    QString m_dataFile;
};

namespace {
const QString Out = QStringLiteral("支出");
const QString In = QStringLiteral("收入");

QString s(const char *text)
{
    return QString::fromUtf8(text);
}
QStringList texts(std::initializer_list<const char *> texts)
{
    QStringList l;
    for (const char *t : texts)
        l << s(t);
    return l;
}

TRowList ledger()
{
    return {{s("2011-03-30"), Out, s("餐饮"), s("10.00"), s("午饭 KFC")},
            {s("2011-04-01"), In, s("工资"), s("5000.00"), QString()},
            {s("2011-04-01"), Out, s("餐饮"), s("20.00"), s("lunch kfc")},
            {s("2011-04-02"), Out, s("交通"), s("5.00"), s("地铁")},
            {s("2011-04-02"), Out, s("餐饮"), s("30.00"), s("晚饭")},
            {s("2011-05-10"), Out, s("房租"), s("1500.00"), s("五月房租")},
            {s("2011-05-10"), In, s("奖金"), s("800.00"), s("kfc 兼职")}};
}
} // namespace

void TestBrowserFilter::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestBrowserFilter::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    m_dataFile = Placement::PlaceDataFile({});
    TDbMan db(m_dataFile);
    db.AddUser(QStringLiteral("Li"), QStringLiteral("1234"));
    db.AddUser(QStringLiteral("Wang"), QStringLiteral("1234"));
    db.AddRecords(QStringLiteral("Li"), Batch(ledger()));
    db.AddRecord(QStringLiteral("Wang"), QStringLiteral("2011-04-01"), Out, QStringLiteral("餐饮"),
                 9900, QStringLiteral("kfc not Li's"));
}

void TestBrowserFilter::cleanup()
{
    m_home.reset();
    m_config.reset();
}

std::unique_ptr<TfrmMain> TestBrowserFilter::open(const QString &user)
{
    auto w = std::make_unique<TfrmMain>(m_dataFile, user);
    w->show();
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoTransactions"), Qt::LeftButton);
    return w;
}

void TestBrowserFilter::search(TfrmMain *w, const QDate &start, const QDate &end)
{
    child<QDateEdit>(w, "dtpTransDate1")->setDate(start);
    child<QDateEdit>(w, "dtpTransDate2")->setDate(end);
    QTest::mouseClick(child<QPushButton>(w, "btnTransSearch"), Qt::LeftButton);
}

void TestBrowserFilter::filter(TfrmMain *w, const QString &text)
{
    auto *box = child<QLineEdit>(w, "edtTransFilter");
    box->setFocus();
    box->selectAll();
    TestSupport::TypeText(box, text);
    QCOMPARE(box->text(), text);
    QTRY_COMPARE(w->Browser()->Result().Filter, TRecordFilter(text).isEmpty() ? QString() : text);
}

void TestBrowserFilter::listsFollowTheFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("notes"); // the record list's
    QTest::addColumn<QStringList>("days");  // the day list's
    QTest::addColumn<QStringList>("outs");  // the expense ranking's categories
    QTest::addColumn<QString>("totals");
    QTest::addRow("notes, either case")
        << s("KFC") << texts({"午饭 KFC", "lunch kfc", "kfc 兼职"})
        << texts({"2011-03-30", "2011-04-01", "2011-05-10"}) << texts({"餐饮"})
        << s("筛选后：收入合计：800.00    支出合计：30.00    结余合计：770.00");
    QTest::addRow("category and a comparison")
        << s("餐饮 >15") << texts({"lunch kfc", "晚饭"}) << texts({"2011-04-01", "2011-04-02"})
        << texts({"餐饮"}) << s("筛选后：收入合计：0.00    支出合计：50.00    结余合计：-50.00");
    QTest::addRow("an amount range")
        << s("5-25") << texts({"午饭 KFC", "lunch kfc", "地铁"})
        << texts({"2011-03-30", "2011-04-01", "2011-04-02"}) << texts({"餐饮", "交通"})
        << s("筛选后：收入合计：0.00    支出合计：35.00    "
             "结余合计：-35.00");
    QTest::addRow("nothing") << s("没有这个词") << QStringList{} << QStringList{} << QStringList{}
                             << s("筛选后：收入合计：0.00    支出合计：0.00    结余合计：0.00");
}

void TestBrowserFilter::listsFollowTheFilter()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, days);
    QFETCH(QStringList, outs);
    QFETCH(QString, totals);
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    const TSearchResultPtr full = w->Browser()->SharedResult();
    filter(w.get(), typed);

    QCOMPARE(column(list(w.get(), "lvwTrans"), RecNotes), notes);
    QCOMPARE(column(list(w.get(), "lvwDayTotal"), DayDate), days);
    QCOMPARE(column(list(w.get(), "lvwOutCates"), RankCate), outs);
    QCOMPARE(child<QLabel>(w.get(), "lblTransTotal")->text(), totals);
    QCOMPARE(child<QLabel>(w.get(), "lblCatesTotal")
                 ->text()
                 .replace(QLatin1Char('\n'), QStringLiteral("    ")),
             totals);
    QCOMPARE(w->Browser()->FullResult(), full);
    QCOMPARE(child<QPushButton>(w.get(), "btnTransMore")->isEnabled(), !notes.isEmpty());
    QCOMPARE(child<QPushButton>(w.get(), "btnCatesChart")->isEnabled(), !notes.isEmpty());

    // The clear button (an empty box) goes back to the whole search at once.
    child<QLineEdit>(w.get(), "edtTransFilter")->clear();
    QCOMPARE(w->Browser()->SharedResult(), full);
    QCOMPARE(list(w.get(), "lvwTrans")->model()->rowCount(), 7);
    QVERIFY(!child<QLabel>(w.get(), "lblTransTotal")->text().startsWith(s("筛选后")));
}

void TestBrowserFilter::ctrlFAndEscape()
{
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    auto *box = child<QLineEdit>(w.get(), "edtTransFilter");
    QTreeView *recs = list(w.get(), "lvwTrans");
    QVERIFY(box->isVisible());
    QCOMPARE(box->placeholderText(), s("筛选：备注、项目或金额"));
    QVERIFY(box->isClearButtonEnabled());
    QCOMPARE(box->focusPolicy(), Qt::ClickFocus); // the designed tab chain is unchanged

    w->activateWindow(); // a window shortcut
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    recs->setFocus();
    QTest::keyClick(recs, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(box->hasFocus());
    TestSupport::TypeText(box, s("房租"));
    QTRY_COMPARE(recs->model()->rowCount(), 1);

    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QString());
    QCOMPARE(recs->model()->rowCount(), 7);
    QVERIFY(!w->Browser()->Result().Filtered());
    QVERIFY(w->isVisible()); // Escape closed nothing

    // Not on an entry page: Ctrl+F there leaves the focus alone.
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoExpense"), Qt::LeftButton);
    QVERIFY(!box->isVisible());
    auto *amount = child<QLineEdit>(w.get(), "edtOutAmount");
    amount->setFocus();
    QTest::keyClick(amount, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(!box->hasFocus());
}

void TestBrowserFilter::matchesMarked()
{
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    filter(w.get(), s("kfc >100"));
    // "kfc" and an amount above 100 both hold only for the 800.00 income.
    QTreeView *recs = list(w.get(), "lvwTrans");
    QCOMPARE(column(recs, RecNotes), texts({"kfc 兼职"}));
    const TRecordFilter &f = w->Browser()->Filter();
    QCOMPARE(f.highlights(cell(recs, 0, RecNotes)), (QList<TTextSpan>{{0, 3}}));
    QVERIFY(f.amountMatches(80000));
    // The list paints through the marking delegate without trouble.
    recs->viewport()->repaint();
}

void TestBrowserFilter::exportAndPrintFiltered()
{
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    filter(w.get(), s("kfc"));
    QTemporaryDir out;
    for (const char *action : {"btnTransMore_ToCsv", "mnuCatesExport_ToCsv"}) {
        DialogScript script;
        const QString file = out.filePath(QLatin1String(action) + QStringLiteral(".csv"));
        script.answer(file);
        child<QAction>(w.get(), action)->trigger();
        QCOMPARE(script.of(TDialogCall::Error).size(), 0);
        const QByteArray bytes = THi::LoadFile(file);
        const QString content = bytes.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(bytes.mid(3))
                                                                 : THi::FromBytes(bytes);
        QVERIFY2(!content.isEmpty(), action);
        if (QLatin1String(action) == QLatin1String("btnTransMore_ToCsv")) {
            QVERIFY(content.contains(s("lunch kfc")));
            QVERIFY(!content.contains(s("地铁")));
            QVERIFY(!content.contains(s("工资")));
        } else {
            QVERIFY(content.contains(s("奖金")));
            QVERIFY(!content.contains(s("工资")));
            QVERIFY(!content.contains(s("房租")));
        }
    }
    // Printing reads the same filtered result.
    const TSearchResultPtr shown = w->Browser()->SharedResult();
    QCOMPARE(MakeTransReport(TReportUnits::Screen(), shown)->RowCount(), 3);
    QCOMPARE(MakeCateReport(TReportUnits::Screen(), shown)->RowCount(), 2);
}

void TestBrowserFilter::detailsFiltered()
{
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    filter(w.get(), s("饭"));
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoTransCategories"), Qt::LeftButton);
    QTreeView *outs = list(w.get(), "lvwOutCates");
    QCOMPARE(column(outs, RankCount), texts({"2"}));
    outs->setFocus();
    outs->selectionModel()->select(outs->model()->index(0, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QStringList notes;
    QString title;
    QVERIFY(WithModal(
        [&] { QTest::mouseClick(child<QPushButton>(w.get(), "btnMoreInfo"), Qt::LeftButton); },
        [&](QWidget *details) {
            title = details->windowTitle();
            notes = column(details->findChild<QTreeView *>(QStringLiteral("lvwRecs")), DetailNotes);
            details->close();
        }));
    QCOMPARE(notes, texts({"午饭 KFC", "晚饭"}));
    QCOMPARE(title, s("数量：2  合计：40.00"));
}

void TestBrowserFilter::quickRangeKeptPerAccount_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    const QDate today = QDate::currentDate();
    for (TQuickRange::Kind k : TQuickRange::Kinds()) {
        const TDateSpan span = TQuickRange::Range(k, today, QDate(2011, 3, 30), QDate(2011, 5, 10));
        QTest::addRow("%s", qPrintable(TQuickRange::Id(k))) << int(k) << span.Start << span.End;
    }
}

void TestBrowserFilter::quickRangeKeptPerAccount()
{
    QFETCH(int, kind);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    const QDate today = QDate::currentDate();
    const QDate monthStart = today.addDays(1 - today.day());
    {
        auto w = open();
        auto *range = child<QComboBox>(w.get(), "cboTransRange");
        QCOMPARE(range->count(), 5);
        QCOMPARE(range->itemText(kind), TQuickRange::Name(TQuickRange::Kind(kind)));
        range->setCurrentIndex(kind);
        emit range->activated(kind);
        QCOMPARE(child<QDateEdit>(w.get(), "dtpTransDate1")->date(), start);
        QCOMPARE(child<QDateEdit>(w.get(), "dtpTransDate2")->date(), end);
        QCOMPARE(w->Browser()->Result().Start, start); // searched at once
        QCOMPARE(w->Browser()->Result().End, end);
    }
    {
        // The next start of Li's window takes the range; Wang's keeps the month.
        auto li = open();
        QCOMPARE(child<QDateEdit>(li.get(), "dtpTransDate1")->date(), start);
        QCOMPARE(child<QDateEdit>(li.get(), "dtpTransDate2")->date(), end);
        QCOMPARE(child<QComboBox>(li.get(), "cboTransRange")->currentIndex(), kind);
        auto wang = open(QStringLiteral("Wang"));
        QCOMPARE(child<QDateEdit>(wang.get(), "dtpTransDate1")->date(), monthStart);
        QCOMPARE(child<QDateEdit>(wang.get(), "dtpTransDate2")->date(), today);
    }
    QCOMPARE(Settings::QuickRange(QStringLiteral("Li")), TQuickRange::Id(TQuickRange::Kind(kind)));
    QCOMPARE(Settings::QuickRange(QStringLiteral("Wang")), QString());
}

void TestBrowserFilter::quickRangeOfAnyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("other"); // a name that must not share it
    QTest::addRow("Chinese") << s("李明") << s("李");
    QTest::addRow("case") << s("Li") << s("li");
    QTest::addRow("settings syntax") << s("a/b\\c = [x]; #y") << s("a/b");
    QTest::addRow("blanks") << s(" Li ") << s("Li");
}

void TestBrowserFilter::quickRangeOfAnyName()
{
    QFETCH(QString, name);
    QFETCH(QString, other);
    Settings::RememberQuickRange(name, TQuickRange::Id(TQuickRange::LastYear));
    QCOMPARE(Settings::QuickRange(name), s("last-year"));
    QCOMPARE(Settings::QuickRange(other), QString());
    Settings::RememberQuickRange(other, TQuickRange::Id(TQuickRange::All));
    QCOMPARE(Settings::QuickRange(name), s("last-year"));
}

void TestBrowserFilter::searchAllYears_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("start"); // invalid: nothing found
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QStringList>("notes");
    QTest::addRow("hits in two months") << s("kfc") << QDate(2011, 3, 30) << QDate(2011, 5, 10)
                                        << texts({"午饭 KFC", "lunch kfc", "kfc 兼职"});
    QTest::addRow("one day") << s("地铁") << QDate(2011, 4, 2) << QDate(2011, 4, 2)
                             << texts({"地铁"});
    QTest::addRow("only another account's") << s("not Li") << QDate() << QDate() << QStringList{};
}

void TestBrowserFilter::searchAllYears()
{
    QFETCH(QString, typed);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QStringList, notes);
    auto w = open();
    auto *all = child<QPushButton>(w.get(), "btnTransSearchAll");
    QVERIFY(!all->isEnabled()); // nothing typed
    TestSupport::TypeText(child<QLineEdit>(w.get(), "edtTransFilter"), typed);
    QVERIFY(all->isEnabled());
    DialogScript script;
    QTest::mouseClick(all, Qt::LeftButton);
    if (!start.isValid()) {
        QCOMPARE(script.of(TDialogCall::Info).size(), 1);
        QCOMPARE(script.of(TDialogCall::Info).first().text,
                 s("没有找到符合“%1”的记录。").arg(typed));
        QVERIFY(!w->Browser()->Result().Start.isValid());
        return;
    }
    QCOMPARE(script.calls.size(), 0);
    QCOMPARE(child<QDateEdit>(w.get(), "dtpTransDate1")->date(), start);
    QCOMPARE(child<QDateEdit>(w.get(), "dtpTransDate2")->date(), end);
    QCOMPARE(column(list(w.get(), "lvwTrans"), RecNotes), notes);
    QVERIFY(w->Browser()->Result().Filtered());
    // Cleared, the box shows every record of those dates.
    child<QLineEdit>(w.get(), "edtTransFilter")->clear();
    const TSearchResult &full = w->Browser()->Result();
    QCOMPARE(full.Start, start);
    QCOMPARE(full.End, end);
    int expected = 0;
    for (const TRow &r : ledger()) {
        const QDate d = THi::YmdToDate(r.value(0));
        expected += d >= start && d <= end;
    }
    QCOMPARE(full.RecRows.size(), expected);
}

void TestBrowserFilter::deleteWhileFiltered()
{
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    filter(w.get(), s("kfc"));
    QTreeView *recs = list(w.get(), "lvwTrans");
    recs->setFocus();
    recs->selectionModel()->select(recs->model()->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(cell(recs, 1, RecNotes), s("lunch kfc"));
    const QString id = cell(recs, 1, RecId);
    DialogScript script;
    script.yes();
    QTest::mouseClick(child<QPushButton>(w.get(), "btnTransDelete"), Qt::LeftButton);

    const TRowList left = TestSupport::Records(*w->DbMan, QStringLiteral("Li"));
    QCOMPARE(left.size(), 6);
    for (const TRow &r : left)
        QVERIFY(r.value(RecId) != id);
    // Still filtered, one record fewer, totals counted again.
    QCOMPARE(column(recs, RecNotes), texts({"午饭 KFC", "kfc 兼职"}));
    QCOMPARE(child<QLabel>(w.get(), "lblTransTotal")->text(),
             s("筛选后：收入合计：800.00    支出合计：10.00    结余合计：790.00"));
}

void TestBrowserFilter::editWhileFiltered()
{
    auto w = open();
    search(w.get(), QDate(2011, 1, 1), QDate(2011, 12, 31));
    filter(w.get(), s("饭"));
    QTreeView *recs = list(w.get(), "lvwTrans");
    recs->setFocus();
    recs->selectionModel()->select(recs->model()->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QString id = cell(recs, 1, RecId);
    DialogScript script;
    script.yes();
    QString shownNotes;
    QVERIFY(WithModal(
        [&] { QTest::mouseClick(child<QPushButton>(w.get(), "btnTransEdit"), Qt::LeftButton); },
        [&](QWidget *editor) {
            auto *notes = editor->findChild<QLineEdit *>(QStringLiteral("edtNotes"));
            shownNotes = notes->text();
            notes->setText(QStringLiteral("晚饭 加班"));
            QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("btnSave")),
                              Qt::LeftButton);
        }));
    QCOMPARE(shownNotes, s("晚饭"));
    const TRowList left = TestSupport::Records(*w->DbMan, QStringLiteral("Li"));
    QCOMPARE(left.size(), 7);
    int edited = 0;
    for (const TRow &r : left) {
        QVERIFY(r.value(RecId) != id);
        edited += r.value(RecNotes) == s("晚饭 加班");
    }
    QCOMPARE(edited, 1);
    QCOMPARE(column(recs, RecNotes), texts({"午饭 KFC", "晚饭 加班"}));
}

void TestBrowserFilter::newSearchKeepsTheFilter()
{
    auto w = open();
    // Typed before any search: the first search comes out filtered.
    TestSupport::TypeText(child<QLineEdit>(w.get(), "edtTransFilter"), s("kfc"));
    search(w.get(), QDate(2011, 4, 1), QDate(2011, 12, 31));
    QCOMPARE(column(list(w.get(), "lvwTrans"), RecNotes), texts({"lunch kfc", "kfc 兼职"}));
    QVERIFY(w->Browser()->Result().Filtered());
}

QTEST_MAIN(TestBrowserFilter)
#include "tst_BrowserFilter.moc"
