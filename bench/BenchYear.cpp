// The year at a glance on a large data file (bench/run.sh makes it):
//   tallimo_bench_year <data file> [runs] [--server URL]
// MakeYearTable (twelve month queries and last year's) for the busiest year
// of the user with the most records, on the data file and, with --server, on
// a PostgreSQL database holding the same records (imported first when its
// count differs); the year table's CSV is timed beside it. The target is
// under 300 ms. Figures are medians in milliseconds.
// With --shots <folder> it instead opens 年度概览 on a small made-up ledger
// and leaves screenshots of the window and a category's records, the
// printed report as a PDF, and the three exports.

#include "BenchKit.h"
#include "DbClass.h"
#include "HiClass.h"
#include "MoreInfoForm.h"
#include "Placement.h"
#include "ReportPage.h"
#include "YearExport.h"
#include "YearForm.h"
#include "YearTable.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using BenchKit::die;
using BenchKit::median;
using BenchKit::msOf;

// The user with the most records and that user's year with the most, with
// its record count, straight from the file.
struct TBusiest {
    QString user;
    int year = 0;
    qint64 records = 0;
};

TBusiest busiest(const QString &file)
{
    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &h, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        die(QStringLiteral("cannot open %1").arg(file));
    sqlite3_stmt *q = nullptr;
    sqlite3_prepare_v2(h,
                       "select [user], substr([date],1,4), count(*) from [data] "
                       "group by 1, 2 order by 3 desc limit 1",
                       -1, &q, nullptr);
    TBusiest b;
    if (sqlite3_step(q) == SQLITE_ROW) {
        b.user = THi::Base64DecodeBytes(QByteArray(
            reinterpret_cast<const char *>(sqlite3_column_text(q, 0)), sqlite3_column_bytes(q, 0)));
        b.year = sqlite3_column_int(q, 1);
        b.records = sqlite3_column_int64(q, 2);
    }
    sqlite3_finalize(q);
    sqlite3_close(h);
    if (b.user.isEmpty())
        die(QStringLiteral("%1 holds no records").arg(file));
    return b;
}

void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

int shots(const QString &folder)
{
    QDir().mkpath(folder);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const QString file = Placement::PlaceDataFile({});
    const QString user = QStringLiteral("家用");
    TDbMan db(file);
    db.AddUser(user, QStringLiteral("1234"));
    TBatchRows rows;
    const struct {
        const char *cate;
        bool income;
        int base;  // cents a month, roughly
        int every; // months
    } cates[] = {
        {"房租", false, 320000, 1},   {"餐饮", false, 185000, 1},
        {"交通", false, 42000, 1},    {"水电,燃气", false, 31000, 1},
        {"日用品", false, 26000, 1},  {"孩子学费", false, 480000, 6},
        {"保险", false, 360000, 12},  {"旅游", false, 650000, 7},
        {"工资", true, 1250000, 1},   {"年终奖", true, 2000000, 12},
        {"理财收益", true, 38000, 3},
    };
    for (int year : {2025, 2026}) {
        for (int m = 1; m <= 12; ++m) {
            int i = 0;
            for (const auto &c : cates) {
                ++i;
                if ((m + i) % c.every != 0 && c.every > 1)
                    continue;
                const int cents = c.base + ((year * 31 + m * 17 + i * 7) % 23 - 11) * c.base / 100;
                rows.append(
                    {QDate(year, m, 1 + (i * 3) % 28).toString(QStringLiteral("yyyy-MM-dd")),
                     c.income ? TypeIncome() : TypeExpense(), QString::fromUtf8(c.cate), cents,
                     QString()});
            }
        }
    }
    db.AddRecords(user, rows);

    TfrmYear w(nullptr, db, user, 2026);
    w.resize(1040, 680);
    w.show();
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("year-window.png")));

    // A category's month: its records over the window.
    QTimer::singleShot(300, [&] {
        if (QWidget *details = QApplication::activeModalWidget()) {
            details->grab().save(QDir(folder).filePath(QStringLiteral("year-details.png")));
            details->close();
        }
    });
    w.lvwYearActivate(1, YearJan + 2);

    const auto report = YearExport::MakeReport(TReportUnits(), w.Table());
    QFile pdf(QDir(folder).filePath(QStringLiteral("year-report.pdf")));
    if (!pdf.open(QIODevice::WriteOnly) || !WritePdf(*report, &pdf))
        die(QStringLiteral("cannot write the PDF"));
    pdf.close();
    YearExport::SaveXlsx(QDir(folder).filePath(QStringLiteral("year.xlsx")), w.Table());
    YearExport::SaveHtml(QDir(folder).filePath(QStringLiteral("year.html")), w.Table());
    YearExport::SaveCsv(QDir(folder).filePath(QStringLiteral("year.csv")), w.Table());
    std::printf("shots in %s\n", qPrintable(folder));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--shots") == 0) {
        QApplication gui(argc, argv);
        QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
        return shots(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QString serverUrl;
    if (const int at = int(args.indexOf(QStringLiteral("--server"))); at > 0)
        serverUrl = args.value(at + 1);
    if (args.size() < 2 || args.at(1).startsWith(QLatin1Char('-')))
        die(QStringLiteral("usage: tallimo_bench_year <data file> [runs] [--server URL]"));
    const QString file = args.at(1);
    const int runs = args.size() > 2 && !args.at(2).startsWith(QLatin1Char('-'))
                         ? std::max(1, args.at(2).toInt())
                         : 5;

    const TBusiest b = busiest(file);
    try {
        const qint64 total = TDbMan(file).Counts().Records;
        std::printf("%lld records; year %d of the busiest user: %lld records\n",
                    static_cast<long long>(total), b.year, static_cast<long long>(b.records));
        std::printf("%-34s %10s %10s\n", "year table", "median", "worst");
        const auto measure = [&](TDbMan &db, const char *where) {
            std::vector<double> ms;
            TYearTable t;
            for (int i = 0; i < runs; ++i)
                ms.push_back(msOf([&] { t = MakeYearTable(db, b.user, b.year); }));
            std::printf("%-34s %7.1f ms %7.1f ms %s\n", where, median(ms),
                        *std::max_element(ms.begin(), ms.end()),
                        median(ms) < 300 ? "(under 300 ms)" : "(OVER 300 ms)");
            std::vector<double> csv;
            for (int i = 0; i < runs; ++i)
                csv.push_back(msOf([&] { YearExport::Csv(t); }));
            std::printf("%-34s %7.1f ms  (%d categories)\n", "  its CSV", median(csv),
                        int(t.OutRows.size() + t.InRows.size()));
        };
        TDbMan db(file);
        measure(db, "  data file");
        if (!serverUrl.isEmpty()) {
            TDbMan srv(serverUrl);
            if (srv.Counts().Records != total) {
                const double ms = msOf([&] { srv.ImportFrom(file); });
                std::printf("copied the data file to the server in %.1f s\n", ms / 1000.0);
            }
            measure(srv, "  server");
        }
    } catch (const TError &e) {
        die(e.text());
    }
    return 0;
}
