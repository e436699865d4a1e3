// The browser's find bar on a large data file (bench/run.sh makes it):
//   tallimo_bench_find <data file> [runs] [--server URL]
// - a filter keystroke through the real main window (offscreen), from the
//   box's text to the painted record list, over one year and ten years of the
//   user with the most records: the first keystroke after a search (which
//   decodes and folds the period's notes once) and the following ones;
// - 搜索全部 through the window, click until painted, on the data file;
// - the same search (SearchAllYears, what the button runs) on the data file
//   and, with --server, on a PostgreSQL database holding the same records
//   (imported first when its count differs).
// Figures are medians in milliseconds.

#include "BenchKit.h"
#include "BrowserPanel.h"
#include "DbClass.h"
#include "HiClass.h"
#include "MainForm.h"
#include "RecordFilter.h"
#include "ResultFilter.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using BenchKit::die;
using BenchKit::median;
using BenchKit::msOf;

// The user with the most records, straight from the file.
QString busiestUser(const QString &file)
{
    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &h, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        die(QStringLiteral("cannot open %1").arg(file));
    sqlite3_stmt *q = nullptr;
    sqlite3_prepare_v2(h,
                       "select [user] from [data] group by [user] order by count(*) desc limit 1",
                       -1, &q, nullptr);
    QString user;
    if (sqlite3_step(q) == SQLITE_ROW)
        user = THi::Base64DecodeBytes(QByteArray(
            reinterpret_cast<const char *>(sqlite3_column_text(q, 0)), sqlite3_column_bytes(q, 0)));
    sqlite3_finalize(q);
    sqlite3_close(h);
    if (user.isEmpty())
        die(QStringLiteral("%1 holds no records").arg(file));
    return user;
}

template <class T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

const QStringList Typed = {QStringLiteral("维修"),      QStringLiteral("装修 2"),
                           QStringLiteral("100-500"),   QStringLiteral(">5000"),
                           QStringLiteral("电费 >100"), QStringLiteral("ＫＦＣ")};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    QStringList args = QCoreApplication::arguments();
    QString serverUrl;
    if (const int at = int(args.indexOf(QStringLiteral("--server"))); at > 0) {
        serverUrl = args.value(at + 1);
        args.remove(at, 2);
    }
    if (args.size() < 2)
        die(QStringLiteral("usage: tallimo_bench_find <data file> [runs] [--server URL]"));
    const QString file = args.at(1);
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 5;
    const QString user = busiestUser(file);
    std::printf("== find bar (tallimo_bench_find) on %s, user %s, %d runs\n", qPrintable(file),
                qPrintable(user), runs);

    TfrmMain w(file, user);
    if (!w.LoggedIn())
        die(QStringLiteral("cannot open %1").arg(file));
    w.show();
    child<QRadioButton>(&w, "rdoTransactions")->click();
    QCoreApplication::processEvents();
    auto *box = child<QLineEdit>(&w, "edtTransFilter");
    auto *recs = child<QTreeView>(&w, "lvwTrans");
    auto search = [&](const QDate &start, const QDate &end) {
        box->clear();
        child<QDateEdit>(&w, "dtpTransDate1")->setDate(start);
        child<QDateEdit>(&w, "dtpTransDate2")->setDate(end);
        child<QPushButton>(&w, "btnTransSearch")->click();
        QCoreApplication::processEvents();
    };
    // One keystroke: the text in the box, applied (as the pause's end does), painted.
    auto keystroke = [&](const QString &text) {
        return msOf([&] {
            box->setText(text);
            w.Browser()->edtTransFilterChange();
            recs->viewport()->repaint();
            QCoreApplication::processEvents();
        });
    };

    std::printf("%-34s %10s %10s %8s %s\n", "keystroke", "first", "next", "hits", "typed");
    struct Span {
        const char *name;
        QDate start, end;
        double target;
    };
    for (const Span &span : {Span{"1 year (2020)", QDate(2020, 1, 1), QDate(2020, 12, 31), 50},
                             Span{"10 years", QDate(2015, 1, 1), QDate(2024, 12, 31), 300}}) {
        search(span.start, span.end);
        const int records = w.Browser()->Result().RecRows.size();
        double worst = 0;
        for (const QString &text : Typed) {
            std::vector<double> first, next;
            for (int r = 0; r < runs; ++r) {
                search(span.start, span.end);
                first.push_back(keystroke(text));
                box->clear();
                next.push_back(keystroke(text));
                box->clear();
            }
            keystroke(text);
            const int hits = w.Browser()->Result().RecRows.size();
            worst = std::max({worst, median(first), median(next)});
            std::printf(
                "%-34s %7.1f ms %7.1f ms %8d %s\n",
                qPrintable(
                    QStringLiteral("%1, %2 records").arg(QLatin1String(span.name)).arg(records)),
                median(first), median(next), hits, qPrintable(text));
            box->clear();
        }
        std::printf("%-34s %7.1f ms (target %.0f ms)\n", "  slowest", worst, span.target);
    }

    // 搜索全部 through the window.
    auto *all = child<QPushButton>(&w, "btnTransSearchAll");
    std::printf("%-34s %10s %8s %s\n", "search all years", "median", "hits", "typed");
    for (const QString &text : {QStringLiteral("装修 >1000"), QStringLiteral("维修")}) {
        std::vector<double> ms;
        for (int r = 0; r < runs; ++r) {
            box->setText(text);
            ms.push_back(msOf([&] {
                all->click();
                recs->viewport()->repaint();
                QCoreApplication::processEvents();
            }));
        }
        std::printf("%-34s %7.1f ms %8d %s\n", "  window, data file", median(ms),
                    w.Browser()->Result().RecRows.size(), qPrintable(text));
    }

    // The same search without the window, on each engine.
    auto searchAll = [&](TDbMan &db, const char *label) {
        for (const QString &text : {QStringLiteral("装修 >1000"), QStringLiteral("维修")}) {
            std::vector<double> ms;
            int hits = 0;
            for (int r = 0; r < runs; ++r) {
                ms.push_back(msOf([&] {
                    const TSearchAllResult found =
                        SearchAllYears(db, user, TRecordFilter(text), text);
                    hits = found.Filtered ? found.Filtered->RecRows.size() : 0;
                }));
            }
            std::printf(
                "%-34s %7.1f ms %8d %s (target 1000 ms)\n",
                qPrintable(QStringLiteral("  SearchAllYears, %1").arg(QLatin1String(label))),
                median(ms), hits, qPrintable(text));
        }
    };
    try {
        TDbMan db(file);
        searchAll(db, "data file");
        if (!serverUrl.isEmpty()) {
            TDbMan srv(serverUrl);
            if (srv.Counts().Records != TDbMan(file).Counts().Records) {
                const double ms = msOf([&] { srv.ImportFrom(file); });
                std::printf("copied the data file to the server in %.1f s\n", ms / 1000.0);
            }
            searchAll(srv, "server");
        }
    } catch (const TError &e) {
        die(e.text());
    }
    std::printf("peak memory (VmHWM): %.1f MB\n", double(PeakMemoryKb()) / 1024.0);
    return 0;
}
