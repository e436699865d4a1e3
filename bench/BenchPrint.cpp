// Print benchmark on 100,000 made-up records (1,924 pages):
//   - layout: the record list report made and every page laid out once,
//     one after the other as printing does, with the process's peak memory;
//   - preview: the window created and shown until the first page is painted;
//   - PDF: every page written, time and file size.
// Usage: tallimo_bench_print [records] [pdf file]
//
// With --shots <folder> it instead drives the real main window on a small
// ledger and leaves there: entry.png (three pending lines, 0.1 + 0.2 +
// 1.005), browser-trans.png and browser-cates.png (the
// browser page after the search), browser-filter.png and
// browser-filter-cates.png (the filter box holding "超市 >20"), trans.png and cates.png (the two
// previews as shown), report.pdf (the record list, two pages, saved with btnPdf).

#include "BenchKit.h"
#include "BrowserPanel.h"
#include "DbClass.h"
#include "Dialogs.h"
#include "HiClass.h"
#include "MainForm.h"
#include "Placement.h"
#include "PrintForm.h"
#include "Reports.h"
#include "SafeFile.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <functional>

namespace {

// A household's mix: three a day, a few categories, short notes, some empty.
TRecordList makeRecords(int n)
{
    TRecordList recs;
    const QStringList cates = {QStringLiteral("餐饮"),   QStringLiteral("交通"),
                               QStringLiteral("房租"),   QStringLiteral("工资"),
                               QStringLiteral("日用品"), QStringLiteral("医疗"),
                               QStringLiteral("娱乐"),   QStringLiteral("水电费")};
    const QStringList notes = {QStringLiteral(""),
                               QStringLiteral("午饭"),
                               QStringLiteral("地铁月票"),
                               QStringLiteral("超市：牛奶、面包、鸡蛋"),
                               QStringLiteral("给孩子买的学习用品和两本书"),
                               QStringLiteral("Taxi to the airport")};
    QList<QByteArray> stored;
    for (const QString &note : notes)
        stored.append(THi::Base64Encode(note).toLatin1());
    QDate day(1990, 1, 1);
    int dayIndex = recs.AddDate(THi::DateToYmd(day));
    for (int i = 0; i < n; ++i) {
        if (i > 0 && i % 3 == 0) {
            day = day.addDays(1);
            dayIndex = recs.AddDate(THi::DateToYmd(day));
        }
        const int c = i % cates.size();
        const QByteArray &note = stored.at(i % stored.size());
        recs.Append(i + 1, 100 + (i * 37) % 500000, dayIndex, recs.AddCate(cates.at(c)),
                    c == 3 ? TRecordList::Income : TRecordList::Expense, note.constData(),
                    int(note.size()));
    }
    return recs;
}

// Lets a freshly shown window finish its layout before it is grabbed.
void settle()
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool withModal(const std::function<void()> &trigger, const std::function<void(QWidget *)> &body)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        ran = true;
        body(QApplication::activeModalWidget());
    });
    trigger();
    return ran;
}

int shots(const QString &folder)
{
    QDir().mkpath(folder);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const QString file = Placement::PlaceDataFile({});
    {
        TDbMan db(file);
        db.AddUser(QStringLiteral("李明"), QStringLiteral("1234"));
        TBatchRows rows;
        const QStringList cates = {QStringLiteral("餐饮"),   QStringLiteral("交通"),
                                   QStringLiteral("日用品"), QStringLiteral("房租"),
                                   QStringLiteral("工资"),   QStringLiteral("奖金")};
        for (int i = 0; i < 60; ++i) {
            const bool income = i % 10 == 4;
            rows.append({QDate(2011, 4, 1).addDays(i / 2).toString(QStringLiteral("yyyy-MM-dd")),
                         income ? TypeIncome() : TypeExpense(),
                         cates.at(income ? 4 + i % 2 : i % 4),
                         (income ? 3000 + i : 5 + i * 3) * 100 + i % 100,
                         i % 3 ? QStringLiteral("备注 %1：超市、牛奶和面包").arg(i) : QString()});
        }
        db.AddRecords(QStringLiteral("李明"), rows);
    }
    TfrmMain w(file, QStringLiteral("李明"));
    w.show();
    w.findChild<QRadioButton *>(QStringLiteral("rdoExpense"))->click();
    for (const char *amount : {"0.1", "0.2", "1.005"}) {
        w.findChild<QComboBox *>(QStringLiteral("cboOutCate"))->setEditText(QStringLiteral("餐饮"));
        w.findChild<QLineEdit *>(QStringLiteral("edtOutAmount"))->setText(QLatin1String(amount));
        w.findChild<QPushButton *>(QStringLiteral("btnOutAdd"))->click();
    }
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("entry.png")));
    w.findChild<QRadioButton *>(QStringLiteral("rdoTransactions"))->click();
    w.findChild<QDateEdit *>(QStringLiteral("dtpTransDate1"))->setDate(QDate(2011, 4, 1));
    w.findChild<QDateEdit *>(QStringLiteral("dtpTransDate2"))->setDate(QDate(2011, 5, 31));
    w.findChild<QPushButton *>(QStringLiteral("btnTransSearch"))->click();
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("browser-trans.png")));
    // The same records through the filter box: matches marked, totals filtered.
    auto *filter = w.findChild<QLineEdit *>(QStringLiteral("edtTransFilter"));
    filter->setText(QStringLiteral("超市 >20"));
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("browser-filter.png")));
    w.findChild<QRadioButton *>(QStringLiteral("rdoTransCategories"))->click();
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("browser-filter-cates.png")));
    w.findChild<QRadioButton *>(QStringLiteral("rdoTransTransactions"))->click();
    filter->clear();
    settle();

    const QString pdf = QDir(folder).filePath(QStringLiteral("report.pdf"));
    QFile::remove(pdf);
    TDialogs::SetHandler([&](const TDialogCall &call) -> QVariant {
        std::printf("dialog: %s | %s\n", qPrintable(call.caption), qPrintable(call.text));
        return call.kind == TDialogCall::SaveFile
                   ? QVariant(QDir(folder).filePath(QStringLiteral("report")))
                   : QVariant(true);
    });
    withModal([&] { w.findChild<QAction *>(QStringLiteral("btnTransMore_Print"))->trigger(); },
              [&](QWidget *modal) {
                  settle();
                  std::printf("trans preview %dx%d\n", modal->width(), modal->height());
                  modal->grab().save(QDir(folder).filePath(QStringLiteral("trans.png")));
                  modal->findChild<QToolButton *>(QStringLiteral("btnPdf"))->click();
                  modal->findChild<QToolButton *>(QStringLiteral("btnLastPage"))->click();
                  settle();
                  modal->grab().save(QDir(folder).filePath(QStringLiteral("trans-2.png")));
                  modal->close();
              });
    w.findChild<QRadioButton *>(QStringLiteral("rdoTransCategories"))->click();
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("browser-cates.png")));
    withModal([&] { w.findChild<QPushButton *>(QStringLiteral("btnCatesPrint"))->click(); },
              [&](QWidget *modal) {
                  settle();
                  std::printf("cates preview %dx%d\n", modal->width(), modal->height());
                  modal->grab().save(QDir(folder).filePath(QStringLiteral("cates.png")));
                  modal->close();
              });
    TDialogs::SetHandler({});
    std::printf("%s: %lld bytes\n", qPrintable(pdf), QFileInfo(pdf).size());
    return QFileInfo::exists(pdf) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    const QStringList args = QCoreApplication::arguments();
    if (args.value(1) == QLatin1String("--shots"))
        return shots(args.value(2, QStringLiteral(".")));

    const int n = args.size() > 1 ? args.at(1).toInt() : 100000;
    const QString pdfFile =
        args.size() > 2 ? args.at(2) : QDir::temp().filePath(QStringLiteral("bench-print.pdf"));
    const long baseKb = PeakMemoryKb();
    auto result = std::make_shared<TSearchResult>(QStringLiteral("李明"), QDate(1990, 1, 1),
                                                  QDate(2020, 12, 31), TPeriod());
    result->RecRows = makeRecords(n);
    result->InCents = 12345678;
    result->OutCents = 9876543;
    std::printf("== print (tallimo_bench_print), %d records, start peak %ld MB\n", n,
                baseKb / 1024);

    QElapsedTimer t;
    t.start();
    auto report = MakeTransReport(TReportUnits::Screen(), result);
    const double makeMs = t.nsecsElapsed() / 1e6;
    size_t items = 0;
    for (int i = 0; i < report->PageCount(); ++i)
        items += report->Page(i).Texts.size();
    const double layoutMs = t.nsecsElapsed() / 1e6;
    std::printf("layout: report made %.1f ms, all %d pages laid out %.0f ms (%zu texts), "
                "peak %ld MB\n",
                makeMs, report->PageCount(), layoutMs, items, PeakMemoryKb() / 1024);

    t.restart();
    {
        TfrmPrint preview(nullptr, *report);
        preview.show();
        QWidget *page = preview.findChild<QWidget *>(QStringLiteral("pnlPage"));
        page->repaint();
        const double shownMs = t.nsecsElapsed() / 1e6;
        std::printf("preview: open to first page painted %.1f ms (%d pages)\n", shownMs,
                    preview.PageCount());
    }

    // Written as the preview writes it: through the file sink, with a progress
    // callback (counting here, where the program moves its progress window).
    t.restart();
    qint64 reports = 0;
    const TProgress progress = [&reports](qint64, qint64) {
        ++reports;
        return true;
    };
    {
        THi::SaveFile(pdfFile, QByteArray());
        TFileSink out(pdfFile, pdfFile);
        if (!WritePdf(*report, &out, progress))
            qFatal("cannot write %s", qPrintable(pdfFile));
        out.Finish();
    }
    std::printf("pdf: %d pages %.1f s, %.1f MB (%s), peak %ld MB, %lld progress reports\n",
                report->PageCount(), t.nsecsElapsed() / 1e9, QFileInfo(pdfFile).size() / 1048576.0,
                qPrintable(pdfFile), PeakMemoryKb() / 1024, reports);
    return 0;
}
