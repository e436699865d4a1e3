#include "BrowserPanel.h"
#include "DbClass.h"
#include "DialogScript.h"
#include "MainForm.h"
#include "Placement.h"
#include "PrintForm.h"
#include "ProgressWindow.h"
#include "Reports.h"
#include "TestSupport.h"

#include <QAction>
#include <QDateEdit>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

// The preview window on its own (paging, status, PDF, printing through the
// dialog seam) and the browser's two print commands through the main window.
using TestSupport::WithModal;

class TestPrintForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void navigation_data();
    void navigation();
    void windowAndPage();
    void pdf_data();
    void pdf();
    void pdfFollowsUmask_data();
    void pdfFollowsUmask();
    void print_data();
    void print();
    void progressWindow_data();
    void progressWindow();
    void catesReport();
    void transReport();

private:
    static QToolButton *tool(QWidget *w, const char *name)
    {
        return TestSupport::Child<QToolButton>(w, QLatin1String(name));
    }
    static QString status(QWidget *w)
    {
        return TestSupport::Child<QLabel>(w, QStringLiteral("StatusBar1_Panel0"))->text();
    }
    static QString run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    std::unique_ptr<TfrmMain> open();

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
};

namespace {

const QString Out = QStringLiteral("支出");
const QString In = QStringLiteral("收入");

// Three (or more) pages of ranking rows.
std::unique_ptr<TColumnReport> threePages(int count = 120)
{
    auto result = std::make_shared<TSearchResult>(QStringLiteral("王五"), QDate(2011, 1, 1),
                                                  QDate(2011, 12, 31), TPeriod());
    result->InCents = 1000;
    result->OutCents = 2000;
    for (int i = 0; i < count; ++i) {
        const TRankRow row{i < 60 ? In : Out, QStringLiteral("类别%1").arg(i), 1, i * 100,
                           i * 10000}; // 1.00% of its type
        (i < 60 ? result->InCateRows : result->OutCateRows).append(row);
    }
    return MakeCateReport(TReportUnits::Screen(), result);
}

TRow rec(const char *date, const QString &type, const QString &cate, const char *amount,
         const QString &notes = QString())
{
    return {QLatin1String(date), type, cate, QLatin1String(amount), notes};
}

} // namespace

void TestPrintForm::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestPrintForm::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    m_dataFile = Placement::PlaceDataFile({});
    TDbMan db(m_dataFile);
    db.AddUser(QStringLiteral("Li"), QStringLiteral("1234"));
}

void TestPrintForm::cleanup()
{
    TfrmPrint::SetPrintDialogHandler({});
    m_home.reset();
}

std::unique_ptr<TfrmMain> TestPrintForm::open()
{
    const QString file = m_dataFile;
    auto w = std::make_unique<TfrmMain>(file, QStringLiteral("Li"));
    w->show();
    QTest::mouseClick(TestSupport::Child<QRadioButton>(w.get(), "rdoTransactions"), Qt::LeftButton);
    return w;
}

void TestPrintForm::navigation_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<int>("page");
    QTest::addRow("上一页 on the first page stays")
        << QStringList{QStringLiteral("btnPrevPage")} << 1;
    QTest::addRow("下一页 twice") << QStringList{QStringLiteral("btnNextPage"),
                                                 QStringLiteral("btnNextPage")}
                                  << 3;
    QTest::addRow("最后页") << QStringList{QStringLiteral("btnLastPage")} << 3;
    QTest::addRow("下一页 on the last page stays")
        << QStringList{QStringLiteral("btnLastPage"), QStringLiteral("btnNextPage")} << 3;
    QTest::addRow("上一页 from the last")
        << QStringList{QStringLiteral("btnLastPage"), QStringLiteral("btnPrevPage")} << 2;
    QTest::addRow("最前页 from the last")
        << QStringList{QStringLiteral("btnLastPage"), QStringLiteral("btnFirstPage")} << 1;
}

void TestPrintForm::navigation()
{
    QFETCH(QStringList, clicks);
    QFETCH(int, page);
    const auto report = threePages();
    TfrmPrint w(nullptr, *report);
    w.show();
    QCOMPARE(status(&w), QStringLiteral("第 1 页 / 共 3 页"));
    auto *area = TestSupport::Child<QScrollArea>(&w, QStringLiteral("QRPreview1"));
    for (const QString &name : clicks) {
        const int before = w.PageNumber();
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        const int scrolled = area->verticalScrollBar()->value();
        QTest::mouseClick(tool(&w, name.toLatin1().constData()), Qt::LeftButton);
        // A new page starts at its top; a refused step leaves the view alone.
        QCOMPARE(area->verticalScrollBar()->value(), w.PageNumber() != before ? 0 : scrolled);
    }
    QCOMPARE(w.PageNumber(), page);
    QCOMPARE(status(&w), QStringLiteral("第 %1 页 / 共 3 页").arg(page));
}

void TestPrintForm::windowAndPage()
{
    const auto report = threePages();
    TfrmPrint w(nullptr, *report);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The whole window, frame included, is the work area; under a window
    // manager the frame arrives after the show (run under xvfb with openbox).
    const QRect area = w.screen()->availableGeometry();
    QTRY_COMPARE(w.frameGeometry(), area);
    QTest::qWait(100);
    QCOMPARE(w.frameGeometry(), area);
    QCOMPARE(w.minimumSize(), w.maximumSize());
    // The page status at the bottom is on the screen.
    const QWidget *status = TestSupport::Child<QWidget>(&w, QStringLiteral("StatusBar1"));
    QVERIFY(status->mapToGlobal(QPoint(0, status->height() - 1)).y() <= area.bottom());
    QCOMPARE(w.windowTitle(), QStringLiteral("打印"));
    // 100 %: the page widget is the page in screen pixels.
    QCOMPARE(TestSupport::Child<QWidget>(&w, QStringLiteral("pnlPage"))->size(),
             report->PageSize());
    const struct {
        const char *name, *text;
        int x, width;
    } buttons[] = {{"btnFirstPage", "最前页", 0, 78},  {"btnPrevPage", "上一页", 78, 78},
                   {"btnNextPage", "下一页", 156, 78}, {"btnLastPage", "最后页", 234, 78},
                   {"btnPrint", "打印 (A4)", 312, 78}, {"btnPdf", "保存为PDF(&F)", 390, 100}};
    for (const auto &b : buttons) {
        QToolButton *t = tool(&w, b.name);
        QCOMPARE(t->text(), QString::fromUtf8(b.text));
        QCOMPARE(t->geometry(), QRect(b.x, 0, b.width, 23));
        QVERIFY(t->autoRaise());
    }
}

void TestPrintForm::pdf_data()
{
    QTest::addColumn<QString>("typed");    // relative to the folder
    QTest::addColumn<bool>("existing");    // out.pdf is there before
    QTest::addColumn<QVariant>("replace"); // answer to the question, if one is expected
    QTest::addColumn<QString>("written");  // empty: nothing written
    QTest::addColumn<bool>("full");        // the disk fills up while writing
    QTest::addRow("suffix added") << "out" << false << QVariant() << "out.pdf" << false;
    QTest::addRow("suffix in capitals kept")
        << "out.PDF" << false << QVariant() << "out.PDF" << false;
    QTest::addRow("suffix given, the dialog asked")
        << "out.pdf" << true << QVariant() << "out.pdf" << false;
    QTest::addRow("added suffix names a file, replaced")
        << "out" << true << QVariant(true) << "out.pdf" << false;
    QTest::addRow("added suffix names a file, kept")
        << "out" << true << QVariant(false) << "" << false;
    QTest::addRow("folder missing") << "missing/out.pdf" << false << QVariant() << "" << false;
    QTest::addRow("cancelled") << "" << false << QVariant() << "" << false;
    QTest::addRow("disk full") << "out.pdf" << false << QVariant() << "" << true;
    QTest::addRow("disk full, old file kept") << "out.pdf" << true << QVariant() << "" << true;
}

void TestPrintForm::pdf()
{
    QFETCH(QString, typed);
    QFETCH(bool, existing);
    QFETCH(QVariant, replace);
    QFETCH(QString, written);
    QFETCH(bool, full);
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("out.pdf"));
    if (existing) {
        QFile f(old);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    const auto report = threePages();
    TfrmPrint w(nullptr, *report);
    w.show();
    DialogScript script;
    script.answer(typed.isEmpty() ? QString() : dir.filePath(typed));
    if (replace.isValid())
        script.answers.enqueue(replace);
    {
        // A file size limit makes every write past 4 KiB fail, as a full disk does.
        rlimit oldLimit{}, small{};
        ::getrlimit(RLIMIT_FSIZE, &oldLimit);
        small = oldLimit;
        small.rlim_cur = 4096;
        if (full) {
            std::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        QTest::mouseClick(tool(&w, "btnPdf"), Qt::LeftButton);
        if (full)
            ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    }

    const QList<TDialogCall> save = script.of(TDialogCall::SaveFile);
    QCOMPARE(save.size(), 1);
    QCOMPARE(save[0].text, QStringLiteral("*.pdf"));
    QCOMPARE(script.of(TDialogCall::Question).size(), replace.isValid() ? 1 : 0);
    QVERIFY(w.isVisible());
    QVERIFY(tool(&w, "btnPdf")->isEnabled());
    // Never a temporary left beside the target.
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        QVERIFY2(!name.contains(QStringLiteral(".partial-")), qPrintable(name));

    if (written.isEmpty()) {
        QVERIFY(script.of(TDialogCall::Info).isEmpty());
        QCOMPARE(script.of(TDialogCall::Error).size(),
                 typed.startsWith(QStringLiteral("missing")) || full ? 1 : 0);
        if (full) {
            // What happened, and to the file chosen.
            const QString text = script.of(TDialogCall::Error).first().text;
            QVERIFY2(text.contains(QStringLiteral("“%1”").arg(dir.filePath(typed))),
                     qPrintable(text));
            QVERIFY2(text.contains(qt_error_string(EFBIG)), qPrintable(text));
        }
        QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("out.pdf"))), existing);
        if (existing) {
            QFile f(old);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("old"));
        }
        return;
    }
    const QString path = dir.filePath(written);
    const QList<TDialogCall> info = script.of(TDialogCall::Info);
    QCOMPARE(info.size(), 1);
    QCOMPARE(info[0].caption, QStringLiteral("Tallimo"));
    QCOMPARE(info[0].text, QStringLiteral("成功！\r\n\r\n") + path);
    QVERIFY(script.of(TDialogCall::Error).isEmpty());

    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext is not installed");
    QVERIFY(run(QStringLiteral("pdfinfo"), {path})
                .contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\b"))));
    // pdftotext may drop a narrow space between Chinese and digits.
    const QString text =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")})
            .remove(QLatin1Char(' '));
    for (const char *s : {"王五", "(2011-01-01 至 2011-12-31)", "收入合计：", "10.00", "-10.00",
                          "类别", "0 - 100%", "类别119", "第 3 页"})
        QVERIFY2(text.contains(QString::fromUtf8(s).remove(QLatin1Char(' '))), s);
}

void TestPrintForm::pdfFollowsUmask_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("mode");
    QTest::addRow("private umask") << 077 << 0600;
    QTest::addRow("usual umask") << 022 << 0644;
}

void TestPrintForm::pdfFollowsUmask()
{
    QFETCH(int, mask);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const auto report = threePages();
    TfrmPrint w(nullptr, *report);
    w.show();
    DialogScript script;
    script.answer(dir.filePath(QStringLiteral("out.pdf")));
    const mode_t old = ::umask(mode_t(mask));
    QTest::mouseClick(tool(&w, "btnPdf"), Qt::LeftButton);
    ::umask(old);
    QCOMPARE(script.of(TDialogCall::Info).size(), 1);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(dir.filePath(QStringLiteral("out.pdf"))).constData(), &st),
             0);
    QCOMPARE(int(st.st_mode & 0777), mode);
}

void TestPrintForm::print_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("from"); // 0: all pages
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("pages"); // in the printed file
    QTest::addRow("cancelled prints nothing") << false << 0 << 0 << 1 << 0;
    QTest::addRow("all pages") << true << 0 << 0 << 1 << 3;
    QTest::addRow("pages 2 to 3") << true << 2 << 3 << 1 << 2;
    QTest::addRow("page 2, two copies") << true << 2 << 2 << 2 << 2;
}

void TestPrintForm::print()
{
    QFETCH(bool, accept);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, copies);
    QFETCH(int, pages);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("printed.pdf"));
    const auto report = threePages();
    TfrmPrint w(nullptr, *report);
    w.show();
    int asked = 0;
    TfrmPrint::SetPrintDialogHandler([&](QPrinter &printer) {
        ++asked;
        // Offered: A4 portrait, every page of the report.
        [&] {
            QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A4);
            QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
            QCOMPARE(printer.fromPage(), 1);
            QCOMPARE(printer.toPage(), 3);
        }();
        printer.setOutputFileName(out);
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setCopyCount(copies);
        if (from > 0) {
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(from, to);
        }
        return accept;
    });
    QTest::mouseClick(tool(&w, "btnPrint"), Qt::LeftButton);
    QCOMPARE(asked, 1);
    QVERIFY(tool(&w, "btnPrint")->isEnabled());
    QVERIFY(w.isVisible());
    QCOMPARE(QFile::exists(out), accept);
    if (!accept)
        return;
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdfinfo is not installed");
    const QString info = run(QStringLiteral("pdfinfo"), {out});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\b").arg(pages))),
             qPrintable(info));
    // Portrait A4 although landscape was chosen.
    QVERIFY2(info.contains(QRegularExpression(
                 QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts"))),
             qPrintable(info));
    const QString text =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), out, QStringLiteral("-")})
            .remove(QLatin1Char(' '));
    QCOMPARE(text.count(QStringLiteral("第2页")), from == 2 && to == 2 ? copies : 1);
    QCOMPARE(text.contains(QStringLiteral("第1页")), from == 0);
}

void TestPrintForm::catesReport()
{
    TDbMan(m_dataFile)
        .AddRecords(QStringLiteral("Li"),
                    Batch({rec("2011-04-01", Out, QStringLiteral("餐饮"), "20.00"),
                           rec("2011-04-02", In, QStringLiteral("工资"), "5000.00"),
                           rec("2011-04-03", Out, QStringLiteral("交通"), "5.50"),
                           rec("2011-04-04", In, QStringLiteral("奖金"), "800.00")}));
    auto w = open();
    TestSupport::Child<QDateEdit>(w.get(), "dtpTransDate1")->setDate(QDate(2011, 4, 1));
    TestSupport::Child<QDateEdit>(w.get(), "dtpTransDate2")->setDate(QDate(2011, 4, 30));
    QTest::mouseClick(TestSupport::Child<QPushButton>(w.get(), "btnTransSearch"), Qt::LeftButton);
    // Moved afterwards without a search: the report keeps the searched period.
    TestSupport::Child<QDateEdit>(w.get(), "dtpTransDate1")->setDate(QDate(2010, 1, 1));
    QTest::mouseClick(TestSupport::Child<QRadioButton>(w.get(), "rdoTransCategories"),
                      Qt::LeftButton);
    auto *print = TestSupport::Child<QPushButton>(w.get(), "btnCatesPrint");
    QVERIFY(print->isEnabled());

    QStringList types, texts;
    bool disabled = false;
    QVERIFY(WithModal([&] { QTest::mouseClick(print, Qt::LeftButton); },
                      [&](QWidget *modal) {
                          auto *preview = qobject_cast<TfrmPrint *>(modal);
                          if (!preview)
                              return;
                          disabled = !print->isEnabled();
                          const auto &report = static_cast<const TColumnReport &>(preview->Report);
                          const TReportPage page = report.Page(0);
                          const int firstRow = report.Units().BandTop() + report.RowTop(0);
                          for (const TReportText &t : page.Texts) {
                              texts << t.Text;
                              if (t.Top >= firstRow && (t.Text == In || t.Text == Out))
                                  types << t.Text;
                          }
                          preview->close();
                      }));
    QVERIFY(disabled);
    QVERIFY(print->isEnabled());
    QCOMPARE(w->focusWidget(), print);
    QCOMPARE(types, (QStringList{In, In, Out, Out}));
    for (const char *s : {"Li", "(2011-04-01 至 2011-04-30)", "5800.00", "25.50", "5774.50",
                          "第 1 页", "5000.00", "5.50"})
        QVERIFY2(texts.contains(QString::fromUtf8(s)), s);
}

void TestPrintForm::transReport()
{
    TRowList rows;
    for (int i = 0; i < 53; ++i)
        rows.append(rec("2011-05-02", i % 2 ? In : Out, QStringLiteral("项目%1").arg(i), "1.25",
                        QStringLiteral("备注%1").arg(i)));
    TDbMan(m_dataFile).AddRecords(QStringLiteral("Li"), Batch(rows));
    auto w = open();
    TestSupport::Child<QDateEdit>(w.get(), "dtpTransDate1")->setDate(QDate(2011, 5, 1));
    TestSupport::Child<QDateEdit>(w.get(), "dtpTransDate2")->setDate(QDate(2011, 5, 31));
    QTest::mouseClick(TestSupport::Child<QPushButton>(w.get(), "btnTransSearch"), Qt::LeftButton);
    // "更多(&M)..." opens the menu that holds the entry.
    auto *menu = TestSupport::Child<QMenu>(w.get(), "mnuTransMenu");
    QTest::mouseClick(TestSupport::Child<QPushButton>(w.get(), "btnTransMore"), Qt::LeftButton);
    QVERIFY(menu->isVisible());
    menu->hide();
    auto *action = TestSupport::Child<QAction>(w.get(), "btnTransMore_Print");
    QVERIFY(menu->actions().contains(action));
    QCOMPARE(action->text(), QStringLiteral("打印"));

    int pageCount = 0;
    QStringList second;
    QVERIFY(WithModal([&] { action->trigger(); },
                      [&](QWidget *modal) {
                          auto *preview = qobject_cast<TfrmPrint *>(modal);
                          if (!preview)
                              return;
                          pageCount = preview->PageCount();
                          QTest::mouseClick(tool(preview, "btnLastPage"), Qt::LeftButton);
                          if (status(preview) == QStringLiteral("第 2 页 / 共 2 页"))
                              for (const TReportText &t : preview->Report.Page(1).Texts)
                                  second << t.Text;
                          preview->close();
                      }));
    QCOMPARE(pageCount, 2);
    // The second page: full header, headings and the one remaining record.
    for (const char *s : {"Li", "(2011-05-01 至 2011-05-31)", "收入合计：", "日期", "备注",
                          "2011-05-02", "第 2 页"})
        QVERIFY2(second.contains(QString::fromUtf8(s)), s);
    QCOMPARE(second.filter(QStringLiteral("备注")).size(), 2); // heading and one row
}

void TestPrintForm::progressWindow_data()
{
    QTest::addColumn<bool>("pdf"); // else printed (into a file, as a printer would)
    QTest::addColumn<bool>("cancel");
    QTest::addRow("PDF to the end") << true << false;
    QTest::addRow("PDF cancelled") << true << true;
    QTest::addRow("printing to the end") << false << false;
    QTest::addRow("printing cancelled") << false << true;
}

// A report of a few thousand rows shows a progress window while the pages
// are written; 取消 stops and leaves no file.
void TestPrintForm::progressWindow()
{
    QFETCH(bool, pdf);
    QFETCH(bool, cancel);
    TProgressWindow::SetShowDelay(0);
    const auto back = qScopeGuard([] { TProgressWindow::SetShowDelay(500); });
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("big.pdf"));
    const auto report = threePages(80 * TColumnReport::RowsPerPage);
    TfrmPrint w(nullptr, *report);
    w.show();
    DialogScript script;
    script.answer(out);
    TfrmPrint::SetPrintDialogHandler([&](QPrinter &printer) {
        printer.setOutputFileName(out);
        return true;
    });

    int seen = 0;
    QTimer watch;
    watch.setInterval(0);
    connect(&watch, &QTimer::timeout, [&] {
        auto *d = w.findChild<QProgressDialog *>(QStringLiteral("frmProgress"));
        if (!d || !d->isVisible())
            return;
        ++seen;
        auto *b = d->findChild<QPushButton *>(QStringLiteral("btnProgressCancel"));
        QVERIFY(b && b->text() == QStringLiteral("取消"));
        if (cancel && seen == 2)
            b->click();
    });
    watch.start();
    QTest::mouseClick(tool(&w, pdf ? "btnPdf" : "btnPrint"), Qt::LeftButton);
    watch.stop();

    QVERIFY(seen >= 2);
    QVERIFY(!w.findChild<QProgressDialog *>(QStringLiteral("frmProgress")));
    QCOMPARE(script.of(TDialogCall::Error).size(), 0);
    QCOMPARE(script.of(TDialogCall::Info).size(), pdf && !cancel ? 1 : 0);
    QCOMPARE(QFile::exists(out), !cancel);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), cancel ? 0 : 1);
    QVERIFY(tool(&w, pdf ? "btnPdf" : "btnPrint")->isEnabled());
}

QTEST_MAIN(TestPrintForm)
#include "tst_PrintForm.moc"
