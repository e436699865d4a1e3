#pragma once

// Shared by the benchmarks: the process's peak memory as the kernel counts it,
// and the small timing helpers of the window benches.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

// VmHWM of this process in kB; -1 where /proc cannot tell.
inline long PeakMemoryKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

namespace BenchKit {

[[noreturn]] inline void die(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::exit(1);
}

// The middle run (the upper one of an even count).
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline double msOf(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace BenchKit
