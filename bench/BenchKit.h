#pragma once

// Shared by the benchmarks: the process's peak memory as the kernel counts it.

#include <QByteArray>
#include <QFile>

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
