// Speed and memory of the three exports on a large record list.
//
// One export per process, so that the peak memory (VmHWM) is that export's:
//   tallimo_bench_export <html|xlsx|csv> [records] [folder]
// builds a record list like the store hands out (dates over ten years, a few
// dozen categories, notes on most records, some with markup and commas),
// then writes it through the file-name entry point, temporary and rename
// included, and prints the time and the peak memory before and after.
// Without a kind it runs itself once per kind and prints a table.

#include "BenchKit.h"
#include "Exports.h"
#include "HiClass.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

TRecordList makeRecords(int n)
{
    static const char *const cates[] = {"餐饮", "交通", "房租", "水电",   "通讯", "服装", "医疗",
                                        "教育", "娱乐", "旅游", "日用品", "书籍", "礼金", "保险",
                                        "维修", "宠物", "运动", "数码",   "家具", "其他"};
    static const char *const notes[] = {"",
                                        "",
                                        "午饭",
                                        "和同事一起吃饭, AA",
                                        "地铁 + 公交",
                                        "<b>发票</b> & 收据",
                                        "房东 \"王先生\"",
                                        "买了一本关于家庭理财的书，顺便带了两支笔和一个笔记本"};
    QRandomGenerator rng(42);
    TRecordList list;
    QList<int> cateIds;
    for (const char *c : cates)
        cateIds.append(list.AddCate(QString::fromUtf8(c)));
    QList<QByteArray> stored;
    for (const char *t : notes)
        stored.append(*t ? THi::Base64Encode(QString::fromUtf8(t)).toLatin1() : QByteArray());
    const QDate first(2005, 1, 1);
    int dateId = -1;
    QDate current;
    for (int i = 0; i < n; ++i) {
        const QDate d = first.addDays(qint64(i) * 3650 / n);
        if (d != current) {
            current = d;
            dateId = list.AddDate(THi::DateToYmd(d));
        }
        const bool income = rng.bounded(10) == 0;
        const QByteArray &note = stored.at(int(rng.bounded(stored.size())));
        list.Append(i + 1, 1 + rng.bounded(500000), dateId,
                    cateIds.at(int(rng.bounded(cateIds.size()))),
                    income ? TRecordList::Income : TRecordList::Expense, note.constData(),
                    int(note.size()));
    }
    return list;
}

int runOne(const QString &kind, int n, const QString &folder)
{
    TSearchResult data(QStringLiteral("bench"), QDate(2005, 1, 1), QDate(2014, 12, 31), {});
    data.RecRows = makeRecords(n);
    data.InCents = 12345678;
    data.OutCents = 9876543;
    const long before = PeakMemoryKb();

    const QString file = folder + QStringLiteral("/export.") + kind;
    QElapsedTimer t;
    t.start();
    const std::clock_t cpu0 = std::clock();
    // With a progress callback, as the program exports (counting here).
    qint64 reports = 0;
    const TProgress progress = [&reports](qint64, qint64) {
        ++reports;
        return true;
    };
    if (kind == QLatin1String("html"))
        THtmlExport::FromFile(TExportKind::Trans, THtmlExport::TemplateFile(TExportKind::Trans))
            .Save(file, data, progress);
    else if (kind == QLatin1String("xlsx"))
        TXlsxExport::Save(file, TExportKind::Trans, data, progress);
    else
        TCsvExport::Save(file, TExportKind::Trans, data, progress);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const double cpuMs = double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC;
    std::printf("%s %d %.1f %ld %ld %lld %.1f\n", qPrintable(kind), n, ms, before, PeakMemoryKb(),
                QFileInfo(file).size(), cpuMs);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int n = args.size() > 2 ? args.at(2).toInt() : 100000;
    if (args.size() > 1 && args.at(1) != QLatin1String("all")) {
        QTemporaryDir tmp;
        return runOne(args.at(1), n, args.size() > 3 ? args.at(3) : tmp.path());
    }

    struct Target {
        const char *kind;
        double ms;
    };
    // CPU time beside the wall time: on a shared machine the wall time alone
    // says more about the neighbours than about the export.
    std::printf("%-28s %10s %10s %10s %12s %12s %8s\n", "export of records", "time", "cpu",
                "target", "VmHWM before", "VmHWM after", "size");
    for (const Target &target : {Target{"html", 1000}, Target{"xlsx", 3000}, Target{"csv", 500}}) {
        QProcess p;
        p.start(app.applicationFilePath(), {QLatin1String(target.kind), QString::number(n)});
        p.waitForFinished(-1);
        const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
        if (p.exitCode() != 0 || f.size() < 7) {
            std::printf("%s failed: %s\n", target.kind, p.readAllStandardError().constData());
            return 1;
        }
        std::printf(
            "%-28s %7.0f ms %7.0f ms %7.0f ms %9.1f MB %9.1f MB %5.1f MB\n",
            qPrintable(QStringLiteral("%1, %2 records").arg(QLatin1String(target.kind)).arg(n)),
            f.at(2).toDouble(), f.at(6).toDouble(), target.ms, f.at(3).toDouble() / 1024,
            f.at(4).toDouble() / 1024, f.at(5).toDouble() / 1048576);
    }
    std::printf("peak memory target: 200 MB each\n");
    return 0;
}
