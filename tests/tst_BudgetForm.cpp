#include "BrowserPanel.h"
#include "BudgetBars.h"
#include "BudgetForm.h"
#include "DialogScript.h"
#include "EntryPanel.h"
#include "MainForm.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

// Budgets through the windows: 预算… in the account menu (the month's table,
// editing, the month chooser, the bars, the exports), the budget bars of the
// chart window, and the line an expense panel shows after a save.
class TestBudgetForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menuOpensThisMonth();
    void tableShowsTheMonth_data();
    void tableShowsTheMonth();
    void barsColourTheUse();
    void editingStoresBudgets_data();
    void editingStoresBudgets();
    void badAmountStoresNothing_data();
    void badAmountStoresNothing();
    void monthChooser();
    void exports_data();
    void exports();
    void noBudgetNothingToExport();
    void chartShowsBudgetBars_data();
    void chartShowsBudgetBars();
    void saveNamesCrossedBudgets_data();
    void saveNamesCrossedBudgets();
    void lineStaysOutOfTheWay();

private:
    template <class T> T *child(QObject *w, const char *name)
    {
        return TestSupport::Child<T>(w, QLatin1String(name));
    }
    // Every row of lvwBudget, its first six columns as shown.
    TRowList rows(TfrmBudget &form);
    int rowOf(TfrmBudget &form, const QString &name);
    // Types text into the cell's editor and presses Enter, as a person does.
    void editCell(TfrmBudget &form, int row, int column, const QString &text);
    // The expense panel: one line typed in and added.
    void addLine(TfrmMain &w, const QString &cate, const QString &amount);

    const QString Li = QStringLiteral("Li");
    const QString Food = QStringLiteral("餐饮");
    const QString Travel = QStringLiteral("交通");
    const QDate Dec = QDate(2026, 12, 1);
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
    std::unique_ptr<TDbMan> m_db;
};

namespace {

const QString Out = TypeExpense();
const QString In = TypeIncome();

QByteArray unzip(const QString &zip, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

} // namespace

void TestBudgetForm::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestBudgetForm::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_dataFile = Placement::PlaceDataFile({});
    m_db = std::make_unique<TDbMan>(m_dataFile);
    m_db->AddUser(Li, QStringLiteral("1234"));
    m_db->AddUser(QStringLiteral("Wang"), QStringLiteral("1234"));
    m_db->SetCateList(Li, KindOut(), QStringLiteral("餐饮\r\n书籍\r\n交通"));
    // December: food 1,300.00 of its own 1,500.00; travel 350.00 of 300.00;
    // clothes 200.00 without a budget; 3,000.00 for all expenses.
    m_db->SetDefaultBudget(Li, Food, 200000);
    m_db->SetMonthBudget(Li, Food, Dec, 150000);
    m_db->SetDefaultBudget(Li, Travel, 30000);
    m_db->SetMonthBudget(Li, Travel, QDate(2026, 10, 1), 0);
    m_db->SetDefaultBudget(Li, TBudgetPlan::AllExpenses, 300000);
    m_db->AddRecords(Li, {{u"2026-12-02"_qs, Out, Food, 100000, {}},
                          {u"2026-12-18"_qs, Out, Food, 30000, {}},
                          {u"2026-12-03"_qs, Out, Travel, 35000, {}},
                          {u"2026-12-20"_qs, Out, u"服装"_qs, 20000, {}},
                          {u"2026-12-10"_qs, In, u"工资"_qs, 800000, {}},
                          {u"2026-11-10"_qs, Out, Food, 170000, {}}});
}

void TestBudgetForm::cleanup()
{
    m_db.reset();
    m_home.reset();
}

TRowList TestBudgetForm::rows(TfrmBudget &form)
{
    auto *view = child<QTableView>(&form, "lvwBudget");
    TRowList out;
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        TRow row;
        for (int c = BudName; c <= BudLeft; ++c)
            row << view->model()->index(r, c).data().toString();
        out << row;
    }
    return out;
}

int TestBudgetForm::rowOf(TfrmBudget &form, const QString &name)
{
    auto *view = child<QTableView>(&form, "lvwBudget");
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        if (view->model()->index(r, BudName).data().toString() == name)
            return r;
    }
    return -1;
}

void TestBudgetForm::editCell(TfrmBudget &form, int row, int column, const QString &text)
{
    auto *view = child<QTableView>(&form, "lvwBudget");
    const QModelIndex index = view->model()->index(row, column);
    view->setCurrentIndex(index);
    view->edit(index);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY2(editor, "no line editor opened on the cell");
    editor->clear();
    TestSupport::TypeText(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The view commits the editor's text, then the window stores it, each a
    // posted event later.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

void TestBudgetForm::addLine(TfrmMain &w, const QString &cate, const QString &amount)
{
    auto *cbo = child<QComboBox>(&w, "cboOutCate");
    cbo->setEditText(QString());
    TestSupport::TypeText(cbo, cate);
    auto *amt = child<QLineEdit>(&w, "edtOutAmount");
    amt->clear();
    TestSupport::TypeText(amt, amount);
    QTest::mouseClick(child<QPushButton>(&w, "btnOutAdd"), Qt::LeftButton);
}

void TestBudgetForm::menuOpensThisMonth()
{
    TfrmMain w(m_dataFile, Li);
    w.show();
    auto *entry = child<QAction>(&w, "mnuMenu_Budget");
    QCOMPARE(entry->text(), QStringLiteral("预算…"));
    // In the account menu, right after the recycle bin.
    const QList<QAction *> actions = child<QMenu>(&w, "mnuMenu")->actions();
    QCOMPARE(actions.indexOf(entry), actions.indexOf(child<QAction>(&w, "mnuMenu_Recycle")) + 1);
    QDate month;
    QString title;
    QVERIFY(TestSupport::WithModal([&] { entry->trigger(); },
                                   [&](QWidget *modal) {
                                       auto *form = qobject_cast<TfrmBudget *>(modal);
                                       QVERIFY(form);
                                       month = form->Month().Month;
                                       title = form->windowTitle();
                                       form->reject();
                                   }));
    const QDate today = QDate::currentDate();
    QCOMPARE(month, QDate(today.year(), today.month(), 1));
    QCOMPARE(title, QStringLiteral("预算 - Li %1年%2月").arg(today.year()).arg(today.month()));
}

void TestBudgetForm::tableShowsTheMonth_data()
{
    QTest::addColumn<QDate>("month");
    QTest::addColumn<TRowList>("expected");
    QTest::addColumn<QString>("summary");

    // 项目, 每月预算, 本月另定, 本月预算, 已支出, 剩余: all expenses, the
    // budgeted categories, the others spent on, then the rest of the pick list.
    QTest::addRow("december, an own budget and one overrun")
        << QDate(2026, 12, 24)
        << TRowList{{u"全部支出"_qs, u"3000.00"_qs, u""_qs, u"3000.00"_qs, u"1850.00"_qs,
                     u"1150.00"_qs},
                    {u"交通"_qs, u"300.00"_qs, u""_qs, u"300.00"_qs, u"350.00"_qs, u"-50.00"_qs},
                    {u"餐饮"_qs, u"2000.00"_qs, u"1500.00"_qs, u"1500.00"_qs, u"1300.00"_qs,
                     u"200.00"_qs},
                    {u"服装"_qs, u""_qs, u""_qs, u""_qs, u"200.00"_qs, u""_qs},
                    {u"书籍"_qs, u""_qs, u""_qs, u""_qs, u"0.00"_qs, u""_qs}}
        << u"本月已支出 1850.00；3 项有预算，其中 1 项超出预算，1 项已用八成以上。"_qs;
    QTest::addRow("november, the defaults")
        << QDate(2026, 11, 1)
        << TRowList{{u"全部支出"_qs, u"3000.00"_qs, u""_qs, u"3000.00"_qs, u"1700.00"_qs,
                     u"1300.00"_qs},
                    {u"交通"_qs, u"300.00"_qs, u""_qs, u"300.00"_qs, u"0.00"_qs, u"300.00"_qs},
                    {u"餐饮"_qs, u"2000.00"_qs, u""_qs, u"2000.00"_qs, u"1700.00"_qs, u"300.00"_qs},
                    {u"书籍"_qs, u""_qs, u""_qs, u""_qs, u"0.00"_qs, u""_qs}}
        << u"本月已支出 1700.00；3 项有预算，其中 0 项超出预算，1 项已用八成以上。"_qs;
    QTest::addRow("october, no travel budget that month")
        << QDate(2026, 10, 31)
        << TRowList{{u"全部支出"_qs, u"3000.00"_qs, u""_qs, u"3000.00"_qs, u"0.00"_qs,
                     u"3000.00"_qs},
                    {u"餐饮"_qs, u"2000.00"_qs, u""_qs, u"2000.00"_qs, u"0.00"_qs, u"2000.00"_qs},
                    {u"书籍"_qs, u""_qs, u""_qs, u""_qs, u"0.00"_qs, u""_qs},
                    {u"交通"_qs, u"300.00"_qs, u"本月不设"_qs, u""_qs, u"0.00"_qs, u""_qs}}
        << u"本月已支出 0.00；2 项有预算，其中 0 项超出预算，0 项已用八成以上。"_qs;
}

void TestBudgetForm::tableShowsTheMonth()
{
    QFETCH(QDate, month);
    QFETCH(TRowList, expected);
    QFETCH(QString, summary);
    TfrmBudget form(nullptr, *m_db, Li, month);
    QCOMPARE(rows(form), expected);
    QCOMPARE(child<QLabel>(&form, "lblBudgetTotal")->text(), summary);
    QCOMPARE(child<QDateEdit>(&form, "dtpBudgetMonth")->date(),
             QDate(month.year(), month.month(), 1));
}

void TestBudgetForm::barsColourTheUse()
{
    TfrmBudget form(nullptr, *m_db, Li, Dec);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *view = child<QTableView>(&form, "lvwBudget");
    const QImage shot = view->viewport()->grab().toImage();
    const auto barStart = [&](const QString &name) {
        const QRect cell = view->visualRect(view->model()->index(rowOf(form, name), BudBar));
        return shot.pixelColor(cell.left() + 5, cell.top() + 5);
    };
    QCOMPARE(barStart(u"全部支出"_qs), BudgetColor(TBudgetLevel::Green)); // 61 %
    QCOMPARE(barStart(Food), BudgetColor(TBudgetLevel::Amber));           // 86 %
    QCOMPARE(barStart(Travel), BudgetColor(TBudgetLevel::Red));           // 116 %
    // A category without a budget has no bar.
    QVERIFY(barStart(u"服装"_qs) != BudgetColor(TBudgetLevel::Green));
    // The figures are on the bar, in its tooltip too.
    QCOMPARE(view->model()->index(rowOf(form, Travel), BudBar).data(Qt::ToolTipRole).toString(),
             QStringLiteral("116%  350.00 / 300.00  超支 50.00（超出预算）"));
}

void TestBudgetForm::editingStoresBudgets_data()
{
    // The row, the column, what is typed; then the budgets of December and
    // November as the store gives them (default / December's own) and the
    // row as shown.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<TRow>("shown");

    QTest::addRow("default typed")
        << Food << int(BudDefault) << u"1800"_qs << u"180000/150000"_qs
        << TRow{Food, u"1800.00"_qs, u"1500.00"_qs, u"1500.00"_qs, u"1300.00"_qs, u"200.00"_qs};
    QTest::addRow("default with cents, blanks around")
        << Travel << int(BudDefault) << u" 420.5 "_qs << u"42050/-"_qs
        << TRow{Travel, u"420.50"_qs, u""_qs, u"420.50"_qs, u"350.00"_qs, u"70.50"_qs};
    QTest::addRow("default cleared") << Travel << int(BudDefault) << u""_qs << u"-/-"_qs
                                     << TRow{Travel, u""_qs, u""_qs, u""_qs, u"350.00"_qs, u""_qs};
    QTest::addRow("default of 0 clears it")
        << Travel << int(BudDefault) << u"0"_qs << u"-/-"_qs
        << TRow{Travel, u""_qs, u""_qs, u""_qs, u"350.00"_qs, u""_qs};
    QTest::addRow("the month's own")
        << Travel << int(BudOverride) << u"400"_qs << u"30000/40000"_qs
        << TRow{Travel, u"300.00"_qs, u"400.00"_qs, u"400.00"_qs, u"350.00"_qs, u"50.00"_qs};
    QTest::addRow("no budget this month")
        << Food << int(BudOverride) << u"0"_qs << u"200000/0"_qs
        << TRow{Food, u"2000.00"_qs, u"本月不设"_qs, u""_qs, u"1300.00"_qs, u""_qs};
    QTest::addRow("the month back to the default")
        << Food << int(BudOverride) << u""_qs << u"200000/-"_qs
        << TRow{Food, u"2000.00"_qs, u""_qs, u"2000.00"_qs, u"1300.00"_qs, u"700.00"_qs};
    QTest::addRow("all expenses") << u"全部支出"_qs << int(BudDefault) << u"1000"_qs
                                  << u"100000/-"_qs
                                  << TRow{u"全部支出"_qs, u"1000.00"_qs, u""_qs,
                                          u"1000.00"_qs,  u"1850.00"_qs, u"-850.00"_qs};
    QTest::addRow("a category of the pick list without budget")
        << u"书籍"_qs << int(BudDefault) << u"100"_qs << u"10000/-"_qs
        << TRow{u"书籍"_qs, u"100.00"_qs, u""_qs, u"100.00"_qs, u"0.00"_qs, u"100.00"_qs};
}

void TestBudgetForm::editingStoresBudgets()
{
    QFETCH(QString, name);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(TRow, shown);
    TfrmBudget form(nullptr, *m_db, Li, Dec);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    DialogScript script;
    editCell(form, rowOf(form, name), column, typed);
    QCOMPARE(script.calls.size(), 0);

    const QString cate = name == u"全部支出"_qs ? TBudgetPlan::AllExpenses : name;
    const TBudgetPlan plan = TDbMan(m_dataFile).BudgetPlan(Li);
    const auto text = [](const std::optional<qint64> &c) {
        return c ? QString::number(*c) : QStringLiteral("-");
    };
    QCOMPARE(text(plan.defaultFor(cate)) + QLatin1Char('/') + text(plan.overrideFor(Dec, cate)),
             stored);
    const int row = rowOf(form, name);
    QVERIFY(row >= 0);
    QCOMPARE(rows(form).at(row), shown);
    // The cell stays current where it went, for the next edit.
    QCOMPARE(child<QTableView>(&form, "lvwBudget")->currentIndex().row(), row);
}

void TestBudgetForm::badAmountStoresNothing_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addRow("letters") << int(BudDefault) << u"abc"_qs;
    QTest::addRow("negative") << int(BudOverride) << u"-5"_qs;
    QTest::addRow("beyond any household sum") << int(BudDefault) << u"1e12"_qs;
    QTest::addRow("below a cent") << int(BudOverride) << u"0.001"_qs;
}

void TestBudgetForm::badAmountStoresNothing()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    const TBudgetPlan before = m_db->BudgetPlan(Li);
    TfrmBudget form(nullptr, *m_db, Li, Dec);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    DialogScript script;
    const TRowList shown = rows(form);
    editCell(form, rowOf(form, Food), column, typed);
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QVERIFY(script.of(TDialogCall::Error)
                .first()
                .text.startsWith(QStringLiteral("“%1”不是预算金额。").arg(typed.trimmed())));
    QCOMPARE(m_db->BudgetPlan(Li), before);
    QCOMPARE(rows(form), shown);
}

void TestBudgetForm::monthChooser()
{
    TfrmBudget form(nullptr, *m_db, Li, Dec);
    QTest::mouseClick(child<QPushButton>(&form, "btnBudgetNext"), Qt::LeftButton);
    QCOMPARE(form.Month().Month, QDate(2027, 1, 1));
    QCOMPARE(form.windowTitle(), QStringLiteral("预算 - Li 2027年1月"));
    // January follows the defaults: food 2,000.00 again.
    QCOMPARE(rows(form).at(rowOf(form, Food)).at(BudBudget), QStringLiteral("2000.00"));
    QTest::mouseClick(child<QPushButton>(&form, "btnBudgetPrev"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(&form, "btnBudgetPrev"), Qt::LeftButton);
    QCOMPARE(form.Month().Month, QDate(2026, 11, 1));
    QCOMPARE(rows(form).at(rowOf(form, Food)).at(BudSpent), QStringLiteral("1700.00"));
    child<QDateEdit>(&form, "dtpBudgetMonth")->setDate(QDate(2026, 12, 17));
    QCOMPARE(form.Month().Month, Dec);
    QCOMPARE(rows(form).at(rowOf(form, Food)).at(BudBudget), QStringLiteral("1500.00"));
}

void TestBudgetForm::exports_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("ext");
    QTest::addRow("workbook") << u"mnuBudgetExport_ToXls"_qs << u".xlsx"_qs;
    QTest::addRow("csv") << u"mnuBudgetExport_ToCsv"_qs << u".csv"_qs;
}

void TestBudgetForm::exports()
{
    QFETCH(QString, action);
    QFETCH(QString, ext);
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("预算")); // the extension is added
    TfrmBudget form(nullptr, *m_db, Li, Dec);
    QVERIFY(child<QPushButton>(&form, "btnBudgetExport")->isEnabled());
    DialogScript script;
    script.answer(file);
    child<QAction>(&form, qPrintable(action))->trigger();
    QCOMPARE(script.of(TDialogCall::Error).size(), 0);
    QCOMPARE(script.of(TDialogCall::Info).size(), 1);
    QVERIFY(QFileInfo::exists(file + ext));
    if (ext == QLatin1String(".xlsx")) {
        const QString sheet =
            QString::fromUtf8(unzip(file + ext, QStringLiteral("xl/worksheets/sheet1.xml")));
        // Travel's row (3): the budget and the spending as numbers, what is
        // left and the share as formulas over them.
        QVERIFY2(sheet.contains(QStringLiteral("<c r=\"D3\" s=\"2\"><v>300</v></c>")),
                 qPrintable(sheet));
        QVERIFY2(sheet.contains(QStringLiteral("<c r=\"E3\" s=\"2\"><v>350</v></c>")),
                 qPrintable(sheet));
        QVERIFY2(sheet.contains(QStringLiteral("<f>D3-E3</f><v>-50</v>")), qPrintable(sheet));
        QVERIFY2(sheet.contains(QStringLiteral("<f>E3/D3</f><v>1.1666666666666")),
                 qPrintable(sheet));
    } else {
        QFile f(file + ext);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromUtf8(bytes.mid(3)),
                 QStringLiteral("月份,项目,每月预算,本月预算,已支出,剩余,已用,状态\r\n"
                                "2026-12,全部支出,3000.00,3000.00,1850.00,1150.00,61%,正常\r\n"
                                "2026-12,交通,300.00,300.00,350.00,-50.00,116%,超出预算\r\n"
                                "2026-12,餐饮,2000.00,1500.00,1300.00,200.00,86%,"
                                "已用八成以上\r\n"));
    }
}

void TestBudgetForm::noBudgetNothingToExport()
{
    TfrmBudget form(nullptr, *m_db, QStringLiteral("Wang"), Dec);
    QVERIFY(!child<QPushButton>(&form, "btnBudgetExport")->isEnabled());
    DialogScript script;
    child<QAction>(&form, "mnuBudgetExport_ToCsv")->trigger();
    QCOMPARE(script.calls.size(), 0);
    QCOMPARE(child<QLabel>(&form, "lblBudgetTotal")->text(),
             QStringLiteral("本月已支出 0.00；这个月还没有预算。"));
}

void TestBudgetForm::chartShowsBudgetBars_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("title");    // empty: no bars
    QTest::addColumn<QStringList>("bars"); // category spent/budget

    QTest::addRow("the whole month")
        << QDate(2026, 12, 1) << QDate(2026, 12, 31) << QString() << u"预算：2026年12月"_qs
        << QStringList{u"全部支出 185000/300000"_qs, u"交通 35000/30000"_qs,
                       u"餐饮 130000/150000"_qs};
    QTest::addRow("part of a month")
        << QDate(2026, 12, 1) << QDate(2026, 12, 10) << QString()
        << u"预算：2026年12月（只计 2026-12-01 至 2026-12-10 的支出）"_qs
        << QStringList{u"全部支出 135000/300000"_qs, u"交通 35000/30000"_qs,
                       u"餐饮 100000/150000"_qs};
    QTest::addRow("a filtered view counts the whole search")
        << QDate(2026, 12, 1) << QDate(2026, 12, 31) << u"1000"_qs << u"预算：2026年12月"_qs
        << QStringList{u"全部支出 185000/300000"_qs, u"交通 35000/30000"_qs,
                       u"餐饮 130000/150000"_qs};
    QTest::addRow("two months") << QDate(2026, 11, 1) << QDate(2026, 12, 31) << QString()
                                << QString() << QStringList{};
}

void TestBudgetForm::chartShowsBudgetBars()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QString, filter);
    QFETCH(QString, title);
    QFETCH(QStringList, bars);
    TfrmMain w(m_dataFile, Li);
    w.show();
    QTest::mouseClick(child<QRadioButton>(&w, "rdoTransactions"), Qt::LeftButton);
    child<QDateEdit>(&w, "dtpTransDate1")->setDate(start);
    child<QDateEdit>(&w, "dtpTransDate2")->setDate(end);
    QTest::mouseClick(child<QPushButton>(&w, "btnTransSearch"), Qt::LeftButton);
    if (!filter.isEmpty()) {
        TestSupport::TypeText(child<QLineEdit>(&w, "edtTransFilter"), filter);
        QTRY_COMPARE(w.Browser()->Result().Filter, filter);
    }
    QTest::mouseClick(child<QRadioButton>(&w, "rdoTransCategories"), Qt::LeftButton);
    bool hasBars = false;
    QString shownTitle;
    QStringList shown;
    QVERIFY(TestSupport::WithModal(
        [&] { QTest::mouseClick(child<QPushButton>(&w, "btnCatesChart"), Qt::LeftButton); },
        [&](QWidget *chart) {
            QVERIFY(chart);
            auto *panel = chart->findChild<TBudgetBars *>(QStringLiteral("pnlChartBudget"));
            hasBars = panel != nullptr;
            if (panel) {
                shownTitle = child<QLabel>(chart, "lblChartBudget")->text();
                for (const TBudgetFigures &f : panel->Figures())
                    shown << QStringLiteral("%1 %2/%3")
                                 .arg(TBudgetPlan::DisplayName(f.Category))
                                 .arg(f.Spent)
                                 .arg(f.Budget);
            }
            chart->close();
        }));
    QCOMPARE(hasBars, !title.isEmpty());
    QCOMPARE(shownTitle, title);
    QCOMPARE(shown, bars);
}

void TestBudgetForm::saveNamesCrossedBudgets_data()
{
    // Lines added to the expense panel and saved at once (category, amount),
    // and the line beside the total afterwards. This month before the save:
    // food 1,500.00 of 2,000.00, travel 250.00 of 300.00 (amber already),
    // 2,200.00 of 3,000.00 for all expenses.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("shown");

    QTest::addRow("food to 80 %%") << QStringList{u"餐饮 100"_qs} << u"预算：餐饮已用 80%"_qs;
    QTest::addRow("food over, all expenses past 80 %%")
        << QStringList{u"餐饮 600"_qs} << u"预算：全部支出已用 93%；餐饮超出预算（105%）"_qs;
    QTest::addRow("a cent under 80 %%") << QStringList{u"餐饮 99.99"_qs} << QString();
    QTest::addRow("amber to used up is no news") << QStringList{u"交通 50"_qs} << QString();
    QTest::addRow("several at once, all expenses first, then by name")
        << QStringList{u"餐饮 150"_qs, u"交通 60"_qs, u"服装 10"_qs}
        << u"预算：全部支出已用 80%；交通超出预算（103%）；餐饮已用 82%"_qs;
    QTest::addRow("a category without budget") << QStringList{u"服装 100"_qs} << QString();
}

void TestBudgetForm::saveNamesCrossedBudgets()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, shown);
    // An account of its own: its month is today's, whatever today is.
    const QString zhao = QStringLiteral("Zhao");
    m_db->AddUser(zhao, QStringLiteral("1"));
    const QDate today = QDate::currentDate();
    m_db->SetDefaultBudget(zhao, Food, 200000);
    m_db->SetDefaultBudget(zhao, Travel, 30000);
    m_db->SetMonthBudget(zhao, TBudgetPlan::AllExpenses, today, 300000);
    m_db->AddRecords(zhao, {{THi::DateToYmd(today), Out, Food, 150000, {}},
                            {THi::DateToYmd(today), Out, Travel, 25000, {}},
                            {THi::DateToYmd(today), Out, u"服装"_qs, 45000, {}}});

    TfrmMain w(m_dataFile, zhao);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *line = child<QLabel>(&w, "lblOutBudget");
    QVERIFY(line->isHidden());
    for (const QString &l : lines) {
        const QStringList f = l.split(QLatin1Char(' '));
        addLine(w, f[0], f[1]);
    }
    QCOMPARE(w.findChild<TEntryPanel *>(QStringLiteral("pnlExpense"))->PendingRows().size(),
             lines.size());
    DialogScript script;
    script.yes();
    QTest::mouseClick(child<QPushButton>(&w, "btnOutSave"), Qt::LeftButton);
    // The designed boxes only: the question and "成功！"; nothing for the budgets.
    QCOMPARE(script.calls.size(), 2);
    QCOMPARE(script.of(TDialogCall::Info).size(), 1);
    QCOMPARE(line->isVisible(), !shown.isEmpty());
    QCOMPARE(line->toolTip(), shown);
    // Whole, or cut at the end where it is too long for the room.
    if (line->text() != shown) {
        QVERIFY2(line->text().endsWith(QChar(0x2026)), qPrintable(line->text()));
        QVERIFY(shown.startsWith(line->text().chopped(1)));
    }
    QCOMPARE(child<QLabel>(&w, "lblOutTotal")->text(), QStringLiteral("合计：0.00"));
}

void TestBudgetForm::lineStaysOutOfTheWay()
{
    const QString zhao = QStringLiteral("Zhao");
    m_db->AddUser(zhao, QStringLiteral("1"));
    const QDate today = QDate::currentDate();
    m_db->SetMonthBudget(zhao, Food, today, 100);
    TfrmMain w(m_dataFile, zhao);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    addLine(w, Food, u"5"_qs);
    DialogScript script;
    script.yes().yes().yes(); // save, "成功！", and the second save
    QTest::mouseClick(child<QPushButton>(&w, "btnOutSave"), Qt::LeftButton);
    auto *line = child<QLabel>(&w, "lblOutBudget");
    auto *total = child<QLabel>(&w, "lblOutTotal");
    QVERIFY(line->isVisible());
    QCOMPARE(line->toolTip(), QStringLiteral("预算：餐饮超出预算（500%）"));
    // Beside the total's text, short of the 删除 button, on the total's line.
    const auto placed = [&] {
        const int textEnd =
            total->x() + QFontMetrics(total->font()).horizontalAdvance(total->text());
        return line->x() > textEnd &&
               line->geometry().right() < child<QPushButton>(&w, "btnOutDelete")->x() &&
               line->y() == total->y();
    };
    QVERIFY(placed());
    // A longer total moves it along.
    addLine(w, Food, u"1234567.89"_qs);
    addLine(w, Food, u"1234567.89"_qs);
    QCOMPARE(total->text(), QStringLiteral("合计：2469135.78"));
    QVERIFY(placed());
    // The next save without news clears it.
    m_db->SetMonthBudget(zhao, Food, today, std::nullopt);
    QTest::mouseClick(child<QPushButton>(&w, "btnOutSave"), Qt::LeftButton);
    QVERIFY(line->isHidden());
    // The income panel has no such line.
    QVERIFY(!child<QWidget>(&w, "pnlIncome")->findChild<QLabel *>(QStringLiteral("lblOutBudget")));
}

QTEST_MAIN(TestBudgetForm)
#include "tst_BudgetForm.moc"
