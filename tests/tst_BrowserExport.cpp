#include "BrowserPanel.h"
#include "DbClass.h"
#include "DialogScript.h"
#include "Exports.h"
#include "HiClass.h"
#include "MainForm.h"
#include "Placement.h"
#include "ProgressWindow.h"
#include "TestSupport.h"

#include <QAction>
#include <QDateEdit>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

// The export menus driven through the real main window: the file dialog and
// the message boxes answered by DialogScript, the written files read back.
class TestBrowserExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menus_data();
    void menus();
    void buttonOpensMenu_data();
    void buttonOpensMenu();
    void exportFile_data();
    void exportFile();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void badTemplate_data();
    void badTemplate();
    void extensionHitsExisting_data();
    void extensionHitsExisting();
    void failedWrite_data();
    void failedWrite();
    void fullDiskNamesFile_data();
    void fullDiskNamesFile();
    void progressWindow_data();
    void progressWindow();

private:
    std::unique_ptr<TfrmMain> open();
    template <class T> T *child(QWidget *w, const char *name)
    {
        return TestSupport::Child<T>(w, QLatin1String(name));
    }
    // Searches April 2011, then moves the pickers without searching again.
    void searchApril(TfrmMain *w);
    void trigger(TfrmMain *w, const QString &action)
    {
        child<QAction>(w, qPrintable(action))->trigger();
    }
    static QString text(const QString &file); // the export's text, whatever its format

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_out;
    QString m_dataFile;
};

namespace {
const QString Out = QStringLiteral("支出");
const QString In = QStringLiteral("收入");
const QString Title = QStringLiteral("Li (2011-04-01 至 2011-04-30)");

TRow rec(const QString &date, const QString &type, const QString &cate, const QString &amount,
         const QString &notes = QString())
{
    return {date, type, cate, amount, notes};
}

QByteArray unzip(const QString &zip, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}
} // namespace

void TestBrowserExport::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestBrowserExport::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_out = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_dataFile = Placement::PlaceDataFile({});
    TDbMan db(m_dataFile);
    db.AddUser(QStringLiteral("Li"), QStringLiteral("1234"));
    db.AddRecords(QStringLiteral("Li"),
                  Batch({rec(QStringLiteral("2011-04-01"), In, QStringLiteral("工资"),
                             QStringLiteral("100.00")),
                         rec(QStringLiteral("2011-04-02"), Out, QStringLiteral("餐饮"),
                             QStringLiteral("30.00"), QStringLiteral("<b>&amp;</b>")),
                         rec(QStringLiteral("2011-05-02"), Out, QStringLiteral("房租"),
                             QStringLiteral("900.00"))}));
}

void TestBrowserExport::cleanup()
{
    THtmlExport::SetTemplateFolder(QString());
    m_out.reset();
    m_home.reset();
}

std::unique_ptr<TfrmMain> TestBrowserExport::open()
{
    const QString file = m_dataFile;
    auto w = std::make_unique<TfrmMain>(file, QStringLiteral("Li"));
    w->show();
    QTest::mouseClick(child<QRadioButton>(w.get(), "rdoTransactions"), Qt::LeftButton);
    return w;
}

void TestBrowserExport::searchApril(TfrmMain *w)
{
    child<QDateEdit>(w, "dtpTransDate1")->setDate(QDate(2011, 4, 1));
    child<QDateEdit>(w, "dtpTransDate2")->setDate(QDate(2011, 4, 30));
    QTest::mouseClick(child<QPushButton>(w, "btnTransSearch"), Qt::LeftButton);
    child<QDateEdit>(w, "dtpTransDate2")->setDate(QDate(2011, 5, 31));
}

QString TestBrowserExport::text(const QString &file)
{
    const QByteArray bytes = THi::LoadFile(file);
    if (bytes.startsWith("PK"))
        return QString::fromUtf8(unzip(file, QStringLiteral("xl/sharedStrings.xml")) +
                                 unzip(file, QStringLiteral("xl/worksheets/sheet1.xml")));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return THi::FromBytes(bytes);
}

void TestBrowserExport::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("entries"); // objectName=text, in order
    QTest::addRow("mnuTransMenu")
        << "mnuTransMenu"
        << QStringList{QStringLiteral("btnTransMore_ToXls=导出为Excel文件(*.xlsx)"),
                       QStringLiteral("btnTransMore_ToHtml=导出为网页文件(*.html)"),
                       QStringLiteral("btnTransMore_ToCsv=导出为CSV文件(*.csv)"),
                       QStringLiteral("btnTransMore_Separator="),
                       QStringLiteral("btnTransMore_Print=打印"),
                       QStringLiteral("btnTransMore_YearSeparator="),
                       QStringLiteral("btnTransMore_Year=年度概览…"),
                       QStringLiteral("btnTransMore_Household=家庭汇总…"),
                       QStringLiteral("mnuTransMore_UndoSeparator="),
                       QStringLiteral("mnuTransMore_Undo=撤销	Ctrl+Z"),
                       QStringLiteral("mnuTransMore_Redo=重做	Ctrl+Shift+Z")};
    QTest::addRow("mnuCatesExport")
        << "mnuCatesExport"
        << QStringList{QStringLiteral("mnuCatesExport_ToXls=导出为Excel文件(*.xlsx)"),
                       QStringLiteral("mnuCatesExport_ToHtml=导出为网页文件(*.html)"),
                       QStringLiteral("mnuCatesExport_ToCsv=导出为CSV文件(*.csv)")};
}

void TestBrowserExport::menus()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, entries);
    auto w = open();
    QStringList actual;
    for (QAction *a : child<QMenu>(w.get(), qPrintable(menu))->actions())
        actual.append(a->objectName() + QLatin1Char('=') + a->text());
    QCOMPARE(actual, entries);
}

void TestBrowserExport::buttonOpensMenu_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("menu");
    QTest::addRow("btnTransMore") << "btnTransMore"
                                  << "mnuTransMenu";
    QTest::addRow("btnCatesExport") << "btnCatesExport"
                                    << "mnuCatesExport";
}

void TestBrowserExport::buttonOpensMenu()
{
    QFETCH(QString, button);
    QFETCH(QString, menu);
    auto w = open();
    auto *b = child<QPushButton>(w.get(), qPrintable(button));
    QVERIFY(!b->isEnabled()); // nothing searched yet
    searchApril(w.get());
    QTest::mouseClick(child<QRadioButton>(w.get(), button == QStringLiteral("btnTransMore")
                                                       ? "rdoTransTransactions"
                                                       : "rdoTransCategories"),
                      Qt::LeftButton);
    QVERIFY(b->isEnabled());
    auto *m = child<QMenu>(w.get(), qPrintable(menu));
    b->click();
    QTRY_VERIFY(m->isVisible());
    m->close();
}

void TestBrowserExport::exportFile_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("contains");

    const QStringList rankTexts{QStringLiteral("工资"), QStringLiteral("餐饮"), Title};
    const QStringList recTexts{QStringLiteral("2011-04-02"), QStringLiteral("餐饮"), Title};
    QTest::addRow("records page, no extension")
        << "btnTransMore_ToHtml"
        << "report"
        << "report.html"
        << "*.html (*.html)"
        << recTexts + QStringList{QStringLiteral("&lt;b&gt;&amp;amp;&lt;/b&gt;"),
                                  QStringLiteral("<meta charset=\"gb18030\">")};
    QTest::addRow("records page, .htm gets .html") << "btnTransMore_ToHtml"
                                                   << "report.htm"
                                                   << "report.htm.html"
                                                   << "*.html (*.html)" << recTexts;
    QTest::addRow("ranking page, .HTML kept")
        << "mnuCatesExport_ToHtml"
        << "cates.HTML"
        << "cates.HTML"
        << "*.html (*.html)"
        << rankTexts + QStringList{QStringLiteral("&nbsp;&nbsp;结余合计：70.00")};
    QTest::addRow("records workbook, .xls gets .xlsx")
        << "btnTransMore_ToXls"
        << "book.xls"
        << "book.xls.xlsx"
        << "*.xlsx (*.xlsx)"
        << QStringList{QStringLiteral("餐饮"), Title, QStringLiteral("<v>40635</v>")};
    QTest::addRow("ranking workbook, .XLSX kept") << "mnuCatesExport_ToXls"
                                                  << "book.XLSX"
                                                  << "book.XLSX"
                                                  << "*.xlsx (*.xlsx)" << rankTexts;
    // The CSV holds the table only; its title and totals are checked absent below.
    QTest::addRow("records csv") << "btnTransMore_ToCsv"
                                 << "list"
                                 << "list.csv"
                                 << "*.csv (*.csv)"
                                 << QStringList{
                                        QStringLiteral("2011-04-02,餐饮,,30.00,<b>&amp;</b>\r\n")};
    QTest::addRow("ranking csv") << "mnuCatesExport_ToCsv"
                                 << "list.CSV"
                                 << "list.CSV"
                                 << "*.csv (*.csv)"
                                 << QStringList{QStringLiteral("工资"), QStringLiteral("餐饮")};
}

void TestBrowserExport::exportFile()
{
    QFETCH(QString, action);
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QFETCH(QString, filter);
    QFETCH(QStringList, contains);
    auto w = open();
    searchApril(w.get());
    DialogScript script;
    script.answer(m_out->filePath(chosen));
    trigger(w.get(), action);

    const QString file = m_out->filePath(saved);
    QCOMPARE(script.of(TDialogCall::SaveFile).size(), 1);
    QCOMPARE(script.of(TDialogCall::SaveFile).first().text, filter);
    QCOMPARE(script.of(TDialogCall::Error).size(), 0);
    QCOMPARE(script.of(TDialogCall::Question).size(), 0);
    const auto infos = script.of(TDialogCall::Info);
    QCOMPARE(infos.size(), 1);
    QCOMPARE(infos.first().caption, QStringLiteral("Tallimo"));
    QCOMPARE(infos.first().text, QStringLiteral("成功！\r\n\r\n") + file);
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files), QStringList{saved});

    // The period of the search, not of the pickers moved afterwards; May is out.
    const QString content = text(file);
    for (const QString &t : contains)
        QVERIFY2(content.contains(t), qPrintable(t));
    QVERIFY(!content.contains(QStringLiteral("房租")));
    QVERIFY(!content.contains(QStringLiteral("2011-05-31")));
    if (filter.contains(QLatin1String("csv"))) {
        QVERIFY(!content.contains(Title));
        QVERIFY(!content.contains(QStringLiteral("合计")));
    }
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestBrowserExport::cancelWritesNothing_data()
{
    QTest::addColumn<QString>("action");
    for (const char *a : {"btnTransMore_ToHtml", "btnTransMore_ToXls", "btnTransMore_ToCsv",
                          "mnuCatesExport_ToHtml", "mnuCatesExport_ToXls", "mnuCatesExport_ToCsv"})
        QTest::addRow("%s", a) << a;
}

void TestBrowserExport::cancelWritesNothing()
{
    QFETCH(QString, action);
    auto w = open();
    searchApril(w.get());
    DialogScript script;
    script.cancel();
    trigger(w.get(), action);
    QCOMPARE(script.calls.size(), 1);
    QCOMPARE(script.calls.first().kind, TDialogCall::SaveFile);
}

void TestBrowserExport::badTemplate_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("templ");
    QTest::addColumn<QByteArray>("content"); // null: missing
    QTest::addColumn<QString>("error");
    QTest::addRow("records, missing")
        << "btnTransMore_ToHtml"
        << "trans.html" << QByteArray() << QStringLiteral("找不到网页模板文件：");
    QTest::addRow("ranking, missing")
        << "mnuCatesExport_ToHtml"
        << "cates.html" << QByteArray() << QStringLiteral("找不到网页模板文件：");
    QTest::addRow("records, two pieces") << "btnTransMore_ToHtml"
                                         << "trans.html" << QByteArray("<p>#top</p><!-- - -->#date")
                                         << QStringLiteral("网页模板文件不完整：");
}

void TestBrowserExport::badTemplate()
{
    QFETCH(QString, action);
    QFETCH(QString, templ);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QTemporaryDir templates;
    THtmlExport::SetTemplateFolder(templates.path());
    const QString templFile = templates.filePath(templ);
    if (!content.isNull())
        THi::SaveFile(templFile, content);
    auto w = open();
    searchApril(w.get());
    const QString target = m_out->filePath(QStringLiteral("page.html"));
    THi::SaveFile(target, "old"); // the chosen file is left as it was
    DialogScript script;
    script.answer(target);
    trigger(w.get(), action);

    const auto errors = script.of(TDialogCall::Error);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().text.startsWith(error), qPrintable(errors.first().text));
    QVERIFY2(errors.first().text.contains(templFile), qPrintable(errors.first().text));
    QCOMPARE(script.of(TDialogCall::Info).size(), 0);
    QCOMPARE(THi::LoadFile(target), QByteArray("old"));
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files), QStringList{QStringLiteral("page.html")});
}

void TestBrowserExport::extensionHitsExisting_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<bool>("replace");
    QTest::addRow("page, kept") << "btnTransMore_ToHtml"
                                << "r"
                                << "r.html" << false;
    QTest::addRow("page, replaced") << "btnTransMore_ToHtml"
                                    << "r"
                                    << "r.html" << true;
    QTest::addRow("workbook, kept") << "mnuCatesExport_ToXls"
                                    << "r.xls"
                                    << "r.xls.xlsx" << false;
    QTest::addRow("csv, replaced") << "mnuCatesExport_ToCsv"
                                   << "r"
                                   << "r.csv" << true;
}

void TestBrowserExport::extensionHitsExisting()
{
    QFETCH(QString, action);
    QFETCH(QString, chosen);
    QFETCH(QString, existing);
    QFETCH(bool, replace);
    auto w = open();
    searchApril(w.get());
    const QString file = m_out->filePath(existing);
    THi::SaveFile(file, QByteArray(100000, 'x'));
    DialogScript script;
    script.answer(m_out->filePath(chosen));
    if (replace)
        script.yes();
    trigger(w.get(), action);

    const auto questions = script.of(TDialogCall::Question);
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions.first().text.contains(file));
    QCOMPARE(script.of(TDialogCall::Info).size(), replace ? 1 : 0);
    QCOMPARE(THi::LoadFile(file) == QByteArray(100000, 'x'), !replace);
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files), QStringList{existing});
}

void TestBrowserExport::failedWrite_data()
{
    cancelWritesNothing_data();
}

void TestBrowserExport::failedWrite()
{
    QFETCH(QString, action);
    auto w = open();
    searchApril(w.get());
    DialogScript script;
    script.answer(m_out->filePath(QStringLiteral("missing/file")));
    trigger(w.get(), action);
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QCOMPARE(script.of(TDialogCall::Info).size(), 0);
    QVERIFY(QDir(m_out->path()).isEmpty());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestBrowserExport::fullDiskNamesFile_data()
{
    cancelWritesNothing_data();
}

// A full disk (here a file size limit, which refuses writes the same way)
// gives a message with the chosen file and the system's reason.
void TestBrowserExport::fullDiskNamesFile()
{
    QFETCH(QString, action);
    auto w = open();
    searchApril(w.get());
    const QString chosen =
        m_out->filePath(action.contains(QStringLiteral("Xls"))    ? QStringLiteral("full.xlsx")
                        : action.contains(QStringLiteral("Html")) ? QStringLiteral("full.html")
                                                                  : QStringLiteral("full.csv"));
    DialogScript script;
    script.answer(chosen);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit tiny = old;
    tiny.rlim_cur = 16;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    trigger(w.get(), action);
    ::setrlimit(RLIMIT_FSIZE, &old);

    const auto errors = script.of(TDialogCall::Error);
    QCOMPARE(errors.size(), 1);
    const QString text = errors.first().text;
    QVERIFY2(text.contains(QStringLiteral("“%1”").arg(chosen)), qPrintable(text));
    QVERIFY2(text.contains(qt_error_string(EFBIG)), qPrintable(text));
    QVERIFY2(!text.contains(QLatin1String(".partial-")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("未知错误")), qPrintable(text));
    QCOMPARE(script.of(TDialogCall::Info).size(), 0);
    QVERIFY(QDir(m_out->path()).isEmpty());
}

void TestBrowserExport::progressWindow_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("cancel");
    for (const char *a : {"btnTransMore_ToHtml", "btnTransMore_ToXls", "btnTransMore_ToCsv"}) {
        QTest::addRow("%s, to the end", a) << a << false;
        QTest::addRow("%s, cancelled", a) << a << true;
    }
}

void TestBrowserExport::progressWindow()
{
    QFETCH(QString, action);
    QFETCH(bool, cancel);
    {
        TDbMan db(m_dataFile);
        TRowList many;
        for (int i = 0; i < TProgressWindow::ShowFromRows + 500; ++i)
            many.append(rec(QStringLiteral("2011-04-03"), Out, QStringLiteral("杂项%1").arg(i % 50),
                            QStringLiteral("1.00")));
        db.AddRecords(QStringLiteral("Li"), Batch(many));
    }
    TProgressWindow::SetShowDelay(0);
    const auto back = qScopeGuard([] { TProgressWindow::SetShowDelay(500); });
    auto w = open();
    searchApril(w.get());
    DialogScript script;
    script.answer(m_out->filePath(QStringLiteral("big")));

    // Looks for the window while the export runs; it repaints through events.
    bool seen = false, cancelShown = false;
    QTimer watch;
    watch.setInterval(0);
    connect(&watch, &QTimer::timeout, [&] {
        QProgressDialog *d = TestSupport::VisibleProgress();
        if (!d)
            return;
        seen = true;
        auto *b = d->findChild<QPushButton *>(QStringLiteral("btnProgressCancel"));
        cancelShown = b && b->isVisible() && b->text() == QStringLiteral("取消");
        if (cancel && b)
            b->click();
    });
    watch.start();
    trigger(w.get(), action);
    watch.stop();

    QVERIFY(seen);
    QVERIFY(cancelShown);
    QCOMPARE(script.of(TDialogCall::Error).size(), 0);
    QCOMPARE(script.of(TDialogCall::Info).size(), cancel ? 0 : 1);
    // Cancelled: no file at all, not even a temporary.
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden).size(), cancel ? 0 : 1);
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY(top->objectName() != QLatin1String("frmProgress"));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(TestBrowserExport)
#include "tst_BrowserExport.moc"
