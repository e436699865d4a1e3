// Browser benchmark: drives the real main window offscreen on a large data
// file and prints, beside the sqlite3 shell's time for the six period
// statements on the same file:
//   - search click until the five lists are filled and painted, one year and
//     ten years of the user with the most records;
//   - peak memory of the whole process (VmHWM) after the ten-year search;
//   - one page step of the ten-year record list, scrolled top to bottom;
//   - the details window of one year's largest category, click until shown.
// Usage: tallimo_bench_browser <data file> [runs]   (run.sh makes the file)

#include "BenchKit.h"
#include "BrowserPanel.h"
#include "DbClass.h"
#include "HiClass.h"
#include "MainForm.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QString g_sqlite = QStringLiteral("sqlite3");

QString shell(const QString &file, const QString &script)
{
    QProcess p;
    p.start(g_sqlite, {file});
    p.waitForStarted();
    p.write(script.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The six statements of a period search, as bench/run.sh sends them.
double shellPeriodMs(const QString &file, const QString &storedUser, const QString &start,
                     const QString &end)
{
    const QString w =
        QStringLiteral("[user]='%1' and [date]>='%2' and [date]<='%3'").arg(storedUser, start, end);
    const QString sums =
        QStringLiteral("sum(case when [type]='支出' then [amount] else 0 end) as outsum,"
                       "sum(case when [type]='收入' then [amount] else 0 end) as insum");
    const QString script =
        QStringLiteral(".output /dev/null\n.timer on\n") +
        QStringLiteral("select [user],%2 from [data] where %1 group by [user];\n"
                       "select [date],%2 from [data] where %1 group by [date] order by [date];\n"
                       "select substr([date],1,4) as yyyy,substr([date],6,2) as mm,%2 from "
                       "[data] where %1 group by 1,2 order by 1,2;\n"
                       "select * from [data] where %1 order by [date] asc,[type] desc,[id] asc;\n"
                       "select [cate],sum(1) as qty,sum([amount]) as outsum from [data] where %1 "
                       "and [type]='支出' group by [cate] order by sum([amount]) desc;\n"
                       "select [cate],sum(1) as qty,sum([amount]) as outsum from [data] where %1 "
                       "and [type]='收入' group by [cate] order by sum([amount]) desc;\n")
            .arg(w, sums);
    shell(file, script); // warm the page cache
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        double total = 0;
        const QStringList lines = shell(file, script).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            // "Run Time: real 0.123 user 0.1 sys 0.0"
            const QStringList f = line.simplified().split(QLatin1Char(' '));
            if (f.size() >= 4 && f.at(0) == QLatin1String("Run"))
                total += f.at(3).toDouble() * 1000.0;
        }
        runs.push_back(total);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

template <class T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// Click until the lists are filled and the page has painted.
double searchMs(TfrmMain &w, const QDate &start, const QDate &end)
{
    child<QDateEdit>(&w, "dtpTransDate1")->setDate(start);
    child<QDateEdit>(&w, "dtpTransDate2")->setDate(end);
    QCoreApplication::processEvents();
    QElapsedTimer t;
    t.start();
    child<QPushButton>(&w, "btnTransSearch")->click();
    child<QTreeView>(&w, "lvwTrans")->viewport()->repaint();
    QCoreApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: tallimo_bench_browser <data file> [runs]\n");
        return 2;
    }
    const QString file = args.at(1);
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 3;
    if (!qEnvironmentVariableIsEmpty("SQLITE3"))
        g_sqlite = qEnvironmentVariable("SQLITE3");

    const QString stored = shell(file, QStringLiteral("select [user] from [data] group by [user] "
                                                      "order by count(*) desc limit 1;"));
    const QString user = THi::Base64Decode(stored);
    std::printf("== browser (tallimo_bench_browser) on %s, user %s\n", qPrintable(file),
                qPrintable(user));

    TfrmMain w(file, user);
    if (!w.LoggedIn())
        qFatal("cannot open %s", qPrintable(file));
    w.show();
    child<QRadioButton>(&w, "rdoTransactions")->click();
    QCoreApplication::processEvents();

    const QDate y1s(2020, 1, 1), y1e(2020, 12, 31), y10s(2015, 1, 1), y10e(2024, 12, 31);
    const double shell1 =
        shellPeriodMs(file, stored, QStringLiteral("2020-01-01"), QStringLiteral("2020-12-31"));
    const double shell10 =
        shellPeriodMs(file, stored, QStringLiteral("2015-01-01"), QStringLiteral("2024-12-31"));

    std::vector<double> one, ten;
    for (int i = 0; i < runs; ++i)
        one.push_back(searchMs(w, y1s, y1e));
    const int oneYearRecs = w.Browser()->Result().RecRows.size();

    // Details of one year's largest category (of either type).
    const TRankRows &outs = w.Browser()->Result().OutCateRows;
    const TRankRows &ins = w.Browser()->Result().InCateRows;
    const bool useIn = !ins.isEmpty() && (outs.isEmpty() || ins.first().Cents > outs.first().Cents);
    QTreeView *ranking = child<QTreeView>(&w, useIn ? "lvwInCates" : "lvwOutCates");
    child<QRadioButton>(&w, "rdoTransCategories")->click();
    ranking->setFocus();
    ranking->selectionModel()->select(ranking->model()->index(0, 0),
                                      QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
    const TRankRow top = (useIn ? ins : outs).first();
    std::vector<double> details;
    int detailRows = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        QTimer::singleShot(0, [&] {
            details.push_back(double(t.nsecsElapsed()) / 1e6);
            if (QWidget *m = QApplication::activeModalWidget()) {
                if (auto *v = m->findChild<QTreeView *>(QStringLiteral("lvwRecs")))
                    detailRows = v->model()->rowCount();
                m->close();
            }
        });
        t.start();
        child<QPushButton>(&w, "btnMoreInfo")->click();
    }
    child<QRadioButton>(&w, "rdoTransTransactions")->click();

    for (int i = 0; i < runs; ++i)
        ten.push_back(searchMs(w, y10s, y10e));
    const int tenYearRecs = w.Browser()->Result().RecRows.size();
    const long hwm = PeakMemoryKb();

    // Page steps through the whole ten-year list, each painted at once.
    QTreeView *recs = child<QTreeView>(&w, "lvwTrans");
    QScrollBar *bar = recs->verticalScrollBar();
    bar->setValue(0);
    std::vector<double> steps;
    QElapsedTimer all;
    all.start();
    while (bar->value() < bar->maximum()) {
        QElapsedTimer t;
        t.start();
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        recs->viewport()->repaint();
        steps.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const double allMs = double(all.nsecsElapsed()) / 1e6;
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted.empty() ? 0 : sorted[sorted.size() * 99 / 100];
    const double worst = sorted.empty() ? 0 : sorted.back();

    std::printf("%-44s %10s %12s %10s\n", "measure", "median", "sqlite3 (6)", "target");
    std::printf("%-44s %7.1f ms %9.1f ms %10s\n",
                qPrintable(QStringLiteral("search 1 year (%1 records)").arg(oneYearRecs)),
                median(one), shell1, "200 ms");
    std::printf("%-44s %7.1f ms %9.1f ms %10s\n",
                qPrintable(QStringLiteral("search 10 years (%1 records)").arg(tenYearRecs)),
                median(ten), shell10, "1500 ms");
    std::printf("%-44s %7.1f MB %12s %10s\n", "peak memory VmHWM after 10 years",
                double(hwm) / 1024.0, "", "250 MB");
    std::printf("%-44s %7.2f ms %12s %10s\n",
                qPrintable(QStringLiteral("page step, 10 years (%1 steps, p99 %2, max %3 ms)")
                               .arg(steps.size())
                               .arg(p99, 0, 'f', 2)
                               .arg(worst, 0, 'f', 2)),
                median(steps), "", "smooth");
    std::printf("%-44s %7.1f ms %12s %10s\n",
                qPrintable(QStringLiteral("details, largest of 1 year (%1, %2 rows)")
                               .arg(top.Cate)
                               .arg(detailRows)),
                median(details), "", "100 ms");
    std::printf("whole scroll top to bottom: %.0f ms; runs per figure: %d\n", allMs, runs);
    return 0;
}
