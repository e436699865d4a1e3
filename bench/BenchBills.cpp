// Reading a large Alipay bill: a generated 50,000-line transaction detail
// file in GB18030 (the current layout, preamble and all), read from disk,
// decoded, split, recognised and turned into lines, then what the preview
// does before it shows them: duplicates against 50,000 imported keys,
// category proposals, sums. Prints the median of five runs (target: well
// under 1 s). With --large, a file of about 100 MB as well, once (it must be
// read, not refused, and not hang). Then the import into the store: the
// preparation with the store's keys and categories (BillImport::PrepareBill)
// and TDbMan::ImportBill of the lines to import, into a fresh data file and,
// with --server URL, into that server ledger as it stands; each run is undone
// after it, so the next imports the same lines (target: import under 2 s).
// Usage: tallimo_bench_bills [--large] [--server URL]

#include "BenchKit.h"
#include "BillGen.h"

#include "BillImport.h"
#include "BillReader.h"
#include "BillRules.h"
#include "DbClass.h"
#include "Placement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

struct TRun {
    qint64 ms;
    int lines;
    int toImport;
};

TRun readOnce(const QString &path, const TImportedKeys &imported, const TCategoryContext &context)
{
    QElapsedTimer timer;
    timer.start();
    TBillFile file = BillReader::ReadBillFile(path);
    BillRules::MarkDuplicates(file, imported);
    BillRules::ProposeCategories(file.lines, context);
    const TBillSummary summary = BillReader::Summarize(file.lines);
    return {timer.elapsed(), int(file.lines.size()), summary.count[0] + summary.count[1]};
}

// Prepare, import and undo, three times, on one ledger; medians printed.
void importRuns(const QString &location, const char *what, const QString &bill)
{
    TDbMan db(location);
    db.Upgrade();
    const QString user = QStringLiteral("林小满");
    if (!db.UserExists(user))
        db.AddUser(user, QStringLiteral("pw"));
    QList<qint64> prepare, import, undo;
    int imported = 0;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        const TPreparedBill p = BillImport::PrepareBill(db, user, bill);
        prepare << t.restart();
        QList<TBillLine> lines;
        for (const TBillLine &line : p.File.lines) {
            if (line.toImport())
                lines << line;
        }
        const TBillImportResult r = db.ImportBill(user, p.File.source, QStringLiteral("b"), lines);
        import << t.restart();
        imported = r.Imported;
        db.UndoBillBatch(user, r.BatchId, true);
        undo << t.elapsed();
    }
    for (QList<qint64> *l : {&prepare, &import, &undo})
        std::sort(l->begin(), l->end());
    std::printf("%s: prepare %lld ms, import of %d lines %lld ms (runs: %lld %lld %lld), "
                "undo %lld ms (target: import < 2000 ms)\n",
                what, static_cast<long long>(prepare[1]), imported,
                static_cast<long long>(import[1]), static_cast<long long>(import[0]),
                static_cast<long long>(import[1]), static_cast<long long>(import[2]),
                static_cast<long long>(undo[1]));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool large = app.arguments().contains(QStringLiteral("--large"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alipay-50000.csv"));
    const QByteArray bill = alipayBill(50000);
    if (!writeFile(path, bill)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    // A ledger that imported another 50,000 orders before, and the person's rules.
    TImportedKeys imported;
    for (int i = 0; i < 50000; ++i)
        imported.externalIds.insert(
            BillRules::ExternalKey(QStringLiteral("alipay"), QStringLiteral("2025%1").arg(i)));
    TCategoryContext context;
    for (int i = 0; i < 50; ++i)
        context.rules.append({QStringLiteral("规则%1").arg(i), QStringLiteral("类别%1").arg(i)});
    context.rules.append({QStringLiteral("外卖"), QStringLiteral("餐饮")});
    context.lastByCounterparty.insert(QStringLiteral("滴滴出行"), QStringLiteral("交通"));
    context.appClasses = BillRules::DefaultAppClasses();
    context.expenseCategories = {QStringLiteral("餐饮"), QStringLiteral("交通"),
                                 QStringLiteral("日用"), QStringLiteral("缴费")};

    QList<qint64> times;
    TRun run{};
    for (int i = 0; i < 5; ++i) {
        run = readOnce(path, imported, context);
        times.append(run.ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("alipay bill, %d lines (%.1f MB GB18030): read + preview work median %lld ms "
                "(runs:",
                run.lines, double(bill.size()) / (1024 * 1024), static_cast<long long>(times[2]));
    for (qint64 t : times)
        std::printf(" %lld", static_cast<long long>(t));
    std::printf("), %d to import, peak %ld kB (target < 1000 ms)\n", run.toImport, PeakMemoryKb());

    try {
        const QString ledger = dir.filePath(QStringLiteral("db.tlmdb"));
        if (!QFile::copy(Placement::TemplateFile(), ledger)) {
            std::fprintf(stderr, "cannot copy the template to %s\n", qPrintable(ledger));
            return 1;
        }
        QFile(ledger).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        importRuns(ledger, "data file", path);
        const QStringList args = app.arguments();
        if (const qsizetype at = args.indexOf(QStringLiteral("--server")); at > 0) {
            if (at + 1 >= args.size()) {
                std::fprintf(stderr, "--server needs a URL\n");
                return 1;
            }
            importRuns(args.at(at + 1), "server", path);
        }
    } catch (const TError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }

    if (large) {
        const int lines = 100 * 1024 * 1024 / int(bill.size() / 50000);
        const QString bigPath = dir.filePath(QStringLiteral("alipay-large.csv"));
        const QByteArray big = alipayBill(lines);
        if (!writeFile(bigPath, big)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(bigPath));
            return 1;
        }
        run = readOnce(bigPath, imported, context);
        std::printf("alipay bill, %d lines (%.1f MB GB18030): %lld ms, peak %ld kB\n", run.lines,
                    double(big.size()) / (1024 * 1024), static_cast<long long>(run.ms),
                    PeakMemoryKb());
    }
    return 0;
}
