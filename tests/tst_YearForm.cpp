#include "DialogScript.h"
#include "MainForm.h"
#include "MoreInfoForm.h"
#include "Placement.h"
#include "RowTexts.h"
#include "TestSupport.h"
#include "YearForm.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

// 年度概览 through its window: opened from the browser's more menu, the
// table and the chart, a cell's records, a total's month in the browser, the
// year chooser and the exports.
class TestYearForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openedFromTheMoreMenu();
    void tableShowsTheYear_data();
    void tableShowsTheYear();
    void chartHasThisYearAgainstLast();
    void categoryCellOpensItsRecords();
    void emptyCellOpensNothing();
    void totalCellSearchesItsMonthInTheBrowser();
    void yearChooserShowsAnotherYear();
    void exports_data();
    void exports();

private:
    template <class T> T *child(QWidget *w, const char *name)
    {
        return TestSupport::Child<T>(w, QLatin1String(name));
    }
    // The row of the line named name in lvwYear, or -1.
    static int rowOf(TfrmYear &form, const QString &name);

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
    std::unique_ptr<TDbMan> m_db;
};

namespace {
const QString Out = QStringLiteral("支出");
const QString In = QStringLiteral("收入");

TRow rec(const QString &date, const QString &type, const QString &cate, const QString &amount)
{
    return {date, type, cate, amount, QString()};
}

QByteArray unzip(const QString &zip, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}
} // namespace

void TestYearForm::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestYearForm::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_dataFile = Placement::PlaceDataFile({});
    m_db = std::make_unique<TDbMan>(m_dataFile);
    m_db->AddUser(QStringLiteral("Li"), QStringLiteral("1234"));
    m_db->AddRecords(
        QStringLiteral("Li"),
        Batch(
            {rec(QStringLiteral("2010-04-09"), In, QStringLiteral("工资"), QStringLiteral("50.00")),
             rec(QStringLiteral("2011-04-01"), In, QStringLiteral("工资"),
                 QStringLiteral("100.00")),
             rec(QStringLiteral("2011-04-02"), Out, QStringLiteral("餐饮"),
                 QStringLiteral("30.00")),
             rec(QStringLiteral("2011-04-20"), Out, QStringLiteral("餐饮"), QStringLiteral("0.50")),
             rec(QStringLiteral("2011-05-02"), Out, QStringLiteral("房租"),
                 QStringLiteral("900.00"))}));
}

void TestYearForm::cleanup()
{
    m_db.reset();
    m_home.reset();
}

int TestYearForm::rowOf(TfrmYear &form, const QString &name)
{
    auto *view = form.findChild<QTableView *>(QStringLiteral("lvwYear"));
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        if (view->model()->index(r, YearCate).data().toString() == name)
            return r;
    }
    return -1;
}

void TestYearForm::openedFromTheMoreMenu()
{
    TfrmMain w(m_dataFile, QStringLiteral("Li"));
    w.show();
    QTest::mouseClick(child<QRadioButton>(&w, "rdoTransactions"), Qt::LeftButton);
    child<QDateEdit>(&w, "dtpTransDate1")->setDate(QDate(2011, 4, 1));
    child<QDateEdit>(&w, "dtpTransDate2")->setDate(QDate(2011, 4, 30));
    QTest::mouseClick(child<QPushButton>(&w, "btnTransSearch"), Qt::LeftButton);

    auto *entry = child<QAction>(&w, "btnTransMore_Year");
    QCOMPARE(entry->text(), QStringLiteral("年度概览…"));
    QVERIFY(child<QMenu>(&w, "mnuTransMenu")->actions().contains(entry));
    QString title;
    int year = 0;
    QVERIFY(TestSupport::WithModal([&] { entry->trigger(); },
                                   [&](QWidget *modal) {
                                       auto *form = qobject_cast<TfrmYear *>(modal);
                                       QVERIFY(form);
                                       title = form->windowTitle();
                                       year = form->Year();
                                       form->reject();
                                   }));
    // The year of the browser's first date.
    QCOMPARE(year, 2011);
    QCOMPARE(title, QStringLiteral("年度概览 - Li 2011年"));
}

void TestYearForm::tableShowsTheYear_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addRow("largest category first, its month")
        << QStringLiteral("房租") << YearJan + 4 << QStringLiteral("900.00");
    QTest::addRow("a month without records is empty")
        << QStringLiteral("房租") << int(YearJan) << QString();
    QTest::addRow("two records of a month added")
        << QStringLiteral("餐饮") << YearJan + 3 << QStringLiteral("30.50");
    QTest::addRow("balance of a month")
        << QStringLiteral("结余") << YearJan + 3 << QStringLiteral("69.50");
    QTest::addRow("balance of the year")
        << QStringLiteral("结余") << int(YearTotal) << QStringLiteral("-830.50");
    QTest::addRow("header of the year column")
        << QString() << int(YearTotal) << QStringLiteral("全年");
}

void TestYearForm::tableShowsTheYear()
{
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, text);
    TfrmYear form(nullptr, *m_db, QStringLiteral("Li"), 2011);
    auto *view = child<QTableView>(&form, "lvwYear");
    if (line.isEmpty()) {
        QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(), text);
        return;
    }
    const int row = rowOf(form, line);
    QVERIFY(row >= 0);
    QCOMPARE(view->model()->index(row, column).data().toString(), text);
    QCOMPARE(rowOf(form, QStringLiteral("房租")), 0);
}

void TestYearForm::chartHasThisYearAgainstLast()
{
    TfrmYear form(nullptr, *m_db, QStringLiteral("Li"), 2011);
    QChart *chart = child<QChartView>(&form, "chtYear")->chart();
    const QList<QAbstractSeries *> series = chart->series();
    QCOMPARE(series.size(), 4);
    QStringList names;
    for (QAbstractSeries *s : series)
        names << s->name();
    QCOMPARE(names, (QStringList{QStringLiteral("2011年支出"), QStringLiteral("2011年收入"),
                                 QStringLiteral("2010年支出"), QStringLiteral("2010年收入")}));
    auto *outNow = qobject_cast<QLineSeries *>(series.at(0));
    auto *inLast = qobject_cast<QLineSeries *>(series.at(3));
    QCOMPARE(outNow->count(), 12); // a past year: every month
    QCOMPARE(outNow->at(3).y(), 30.5);
    QCOMPARE(outNow->at(4).y(), 900.0);
    QCOMPARE(inLast->at(3).y(), 50.0);
    QCOMPARE(inLast->at(4).y(), 0.0);
}

void TestYearForm::categoryCellOpensItsRecords()
{
    TfrmYear form(nullptr, *m_db, QStringLiteral("Li"), 2011);
    form.show();
    const int row = rowOf(form, QStringLiteral("餐饮"));
    int rows = -1;
    QString title;
    QVERIFY(TestSupport::WithModal([&] { form.lvwYearActivate(row, YearJan + 3); },
                                   [&](QWidget *modal) {
                                       auto *details = qobject_cast<TfrmMoreInfo *>(modal);
                                       QVERIFY(details);
                                       rows = details->Rows().rowCount();
                                       title = details->windowTitle();
                                       details->reject();
                                   }));
    QCOMPARE(rows, 2);
    QCOMPARE(title, QStringLiteral("餐饮 2011年4月  数量：2  合计：30.50"));
}

void TestYearForm::emptyCellOpensNothing()
{
    bool searched = false;
    TfrmYear form(nullptr, *m_db, QStringLiteral("Li"), 2011,
                  [&](const QDate &, const QDate &) { searched = true; });
    form.show();
    // No details window (no event loop runs), no search, the window stays.
    QVERIFY(!TestSupport::WithModal(
        [&] { form.lvwYearActivate(rowOf(form, QStringLiteral("房租")), YearJan); },
        [](QWidget *modal) { modal->close(); }));
    form.lvwYearActivate(rowOf(form, QStringLiteral("支出合计")), YearJan + 5);
    QVERIFY(!searched);
    QVERIFY(form.isVisible());
}

void TestYearForm::totalCellSearchesItsMonthInTheBrowser()
{
    TfrmMain w(m_dataFile, QStringLiteral("Li"));
    w.show();
    child<QDateEdit>(&w, "dtpTransDate1")->setDate(QDate(2011, 4, 1));
    child<QDateEdit>(&w, "dtpTransDate2")->setDate(QDate(2011, 4, 30));
    QTest::mouseClick(child<QPushButton>(&w, "btnTransSearch"), Qt::LeftButton);
    QVERIFY(TestSupport::WithModal([&] { child<QAction>(&w, "btnTransMore_Year")->trigger(); },
                                   [&](QWidget *modal) {
                                       auto *form = qobject_cast<TfrmYear *>(modal);
                                       QVERIFY(form);
                                       form->lvwYearActivate(
                                           rowOf(*form, QStringLiteral("支出合计")), YearJan + 4);
                                   }));
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(child<QDateEdit>(&w, "dtpTransDate1")->date(), QDate(2011, 5, 1));
    QCOMPARE(child<QDateEdit>(&w, "dtpTransDate2")->date(), QDate(2011, 5, 31));
    QCOMPARE(child<QLabel>(&w, "lblTransTotal")->text().contains(QStringLiteral("900.00")), true);
}

void TestYearForm::yearChooserShowsAnotherYear()
{
    TfrmYear form(nullptr, *m_db, QStringLiteral("Li"), 2011);
    auto *years = child<QComboBox>(&form, "cboYear");
    // From the first record's year to this year, newest first.
    QCOMPARE(years->itemData(years->count() - 1).toInt(), 2010);
    QCOMPARE(years->itemData(0).toInt(), std::max(2011, QDate::currentDate().year()));
    const int at = years->findData(2010);
    years->setCurrentIndex(at);
    emit years->activated(at);
    QCOMPARE(form.Year(), 2010);
    QCOMPARE(rowOf(form, QStringLiteral("工资")), 0);
    QCOMPARE(rowOf(form, QStringLiteral("房租")), -1);
}

void TestYearForm::exports_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("ext");
    QTest::addRow("workbook") << QStringLiteral("mnuYearExport_ToXls") << QStringLiteral(".xlsx");
    QTest::addRow("page") << QStringLiteral("mnuYearExport_ToHtml") << QStringLiteral(".html");
    QTest::addRow("CSV") << QStringLiteral("mnuYearExport_ToCsv") << QStringLiteral(".csv");
}

void TestYearForm::exports()
{
    QFETCH(QString, action);
    QFETCH(QString, ext);
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("年度")); // the extension is added
    TfrmYear form(nullptr, *m_db, QStringLiteral("Li"), 2011);
    DialogScript script;
    script.answer(file);
    child<QAction>(&form, qPrintable(action))->trigger();
    QCOMPARE(script.of(TDialogCall::Info).size(), 1);
    QVERIFY(QFileInfo::exists(file + ext));
    if (ext == QLatin1String(".xlsx")) {
        const QString sheet =
            QString::fromUtf8(unzip(file + ext, QStringLiteral("xl/worksheets/sheet1.xml")));
        // May (column G) of 支出合计 over the two expense rows.
        QVERIFY2(sheet.contains(QStringLiteral("<f>SUM(G2:G3)</f><v>900</v>")), qPrintable(sheet));
    } else {
        QFile f(file + ext);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.contains(QStringLiteral("-830.50")));
    }
}

QTEST_MAIN(TestYearForm)
#include "tst_YearForm.moc"
