#pragma once

// Shared by the data file's trials (Trials.cpp) and the server's
// (PgTrials.cpp): the report line, child processes of this same program, and
// batches of pending lines.

#include "DbClass.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <functional>

inline int g_passed = 0;
inline int g_failed = 0;

// One line per trial: ok or FAIL, its name, what was seen.
inline void report(bool ok, const QString &name, const QString &figures)
{
    (ok ? g_passed : g_failed)++;
    std::printf("%-4s %-44s %s\n", ok ? "ok" : "FAIL", qPrintable(name), qPrintable(figures));
    std::fflush(stdout);
}

// This program started again with a --child-... mode; its stderr is ours.
inline QProcess *startChild(const QStringList &args)
{
    auto *p = new QProcess;
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QCoreApplication::applicationFilePath(), args);
    if (!p->waitForStarted())
        qFatal("cannot start a child");
    return p;
}

inline void killChild(QProcess *p)
{
    p->kill(); // SIGKILL: no clean-up of any kind runs
    p->waitForFinished();
    delete p;
}

inline bool waitForLine(QProcess *p, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!p->canReadLine()) {
        if (t.elapsed() > ms || !p->waitForReadyRead(ms))
            return p->canReadLine();
    }
    return true;
}

// The error text of op, empty when it succeeded.
inline QString attempt(const std::function<void()> &op)
{
    try {
        op();
        return QString();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
}

// Pending lines in December 2026, all with the same notes.
inline TBatchRows batch(int lines, const QString &notes)
{
    TBatchRows rows;
    rows.reserve(lines);
    for (int i = 0; i < lines; ++i)
        rows.append(TBatchRow{QStringLiteral("2026-12-%1").arg(1 + i % 28, 2, 10, QLatin1Char('0')),
                              i % 5 ? TypeExpense() : TypeIncome(),
                              QStringLiteral("类别%1").arg(i % 17), (1 + i % 997) * 100 + 25,
                              notes});
    return rows;
}

// The server's trials (PgTrials.cpp): tallimo_trials --server [--quick], and
// their child modes (--child-pg-...).
int ServerTrials(bool quick);
int ServerChildMain(const QStringList &args);
