// tallimo_bench_recycle <file> [ops] [rounds] [--server URL]: what keeping
// deleted and edited records costs. On a copy of a data file made by
// tallimo_gen (1,000,000 records for the figures in the README), or with
// --server on an emptied PostgreSQL database the file is copied into, times one DeleteRecord and
// one ReplaceRecord each of a record picked at random (ops of each, median per operation), and
// AddRecords of 1,000 lines with and without the session's undo listening. Rounds alternate the
// operations so that the machine's load falls on all of them alike; the median of all rounds is
// printed.
//
// The program uses only what every release's store offers, so the same
// source built against an older tree gives the figures before a change.

#include "BenchKit.h"
#include "DbClass.h"
#include "HiClass.h"
#include "StoreCopy.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QRandomGenerator>

#if __has_include("UndoStack.h")
#include "UndoStack.h"
#define TALLIMO_BENCH_UNDO 1
#endif

#include <cstdio>
#include <memory>
#include <vector>

namespace {

TBatchRows lines(int n)
{
    TBatchRows rows;
    for (int i = 0; i < n; ++i) {
        rows.append(TBatchRow{THi::DateToYmd(QDate(2024, 1, 1).addDays(i % 366)), TypeExpense(),
                              QStringLiteral("餐饮"), 100 + i,
                              QStringLiteral("批量第%1行").arg(i)});
    }
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QString server;
    if (const qsizetype at = args.indexOf(QStringLiteral("--server")); at > 0) {
        server = args.value(at + 1);
        args.remove(at, 2);
    }
    if (args.size() < 2)
        BenchKit::die(
            QStringLiteral("usage: tallimo_bench_recycle <file> [ops] [rounds] [--server URL]"));
    const QString source = args[1];
    const int ops = args.size() > 2 ? args[2].toInt() : 200;
    const int rounds = args.size() > 3 ? args[3].toInt() : 3;
    const QString file = source + QStringLiteral(".bench-recycle");
    QFile::remove(file);
    if (!QFile::copy(source, file))
        BenchKit::die(QStringLiteral("cannot copy %1").arg(source));
    QFile::setPermissions(file, QFile::permissions(file) | QFile::WriteOwner);

    if (!server.isEmpty()) {
        // The same records on the server, replacing what it held.
        StoreCopy::Copy(file, server, true);
    }
    TDbMan db(server.isEmpty() ? file : server);
    // The user with the most records, and the ids of theirs to work on.
    const QStringList users = THi::SplitLines(db.ListUsers());
    QString user;
    qint64 most = -1;
    for (const QString &u : users) {
        const qint64 n =
            db.QueryPeriod(u, QStringLiteral("2024-01-01"), QStringLiteral("2024-12-31"))
                .RecRows.size();
        if (n > most) {
            most = n;
            user = u;
        }
    }
    const TPeriod year =
        db.QueryPeriod(user, QStringLiteral("1900-01-01"), QStringLiteral("2999-12-31"));
    std::vector<qint64> ids;
    for (int i = 0; i < year.RecRows.size(); ++i)
        ids.push_back(year.RecRows.Id(i));
    std::printf("%lld records in the file, %zu of user %s\n", qlonglong(db.Counts().Records),
                ids.size(), qPrintable(user));
    QRandomGenerator pick(20261209);
    const auto takeId = [&] {
        const size_t i = size_t(pick.bounded(quint32(ids.size())));
        const qint64 id = ids[i];
        ids[i] = ids.back();
        ids.pop_back();
        return id;
    };

    std::vector<double> del, edit, save, saveUndo;
    const TBatchRows batch = lines(1000);
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < ops; ++i) {
            const QString id = QString::number(takeId());
            del.push_back(BenchKit::msOf([&] { db.DeleteRecord(user, id); }));
        }
        for (int i = 0; i < ops; ++i) {
            const QString id = QString::number(takeId());
            edit.push_back(BenchKit::msOf([&] {
                db.ReplaceRecord(id, user, QStringLiteral("2024-06-01"), TypeExpense(),
                                 QStringLiteral("餐饮"), 1234, QStringLiteral("改过"));
            }));
        }
        for (int i = 0; i < 3; ++i)
            save.push_back(BenchKit::msOf([&] { db.AddRecords(user, batch); }));
#ifdef TALLIMO_BENCH_UNDO
        {
            TUndoStack undo(db);
            for (int i = 0; i < 3; ++i)
                saveUndo.push_back(BenchKit::msOf([&] { db.AddRecords(user, batch); }));
        }
#endif
    }
    std::printf("DeleteRecord, one record              %8.3f ms (median of %zu)\n",
                BenchKit::median(del), del.size());
    std::printf("ReplaceRecord, one record             %8.3f ms (median of %zu)\n",
                BenchKit::median(edit), edit.size());
    std::printf("AddRecords 1,000 lines                %8.3f ms (median of %zu)\n",
                BenchKit::median(save), save.size());
    if (!saveUndo.empty())
        std::printf("AddRecords 1,000 lines, undo listening %7.3f ms (median of %zu)\n",
                    BenchKit::median(saveUndo), saveUndo.size());
    QFile::remove(file);
    return 0;
}
