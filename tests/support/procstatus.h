#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// This process's memory as the kernel counts it, for tests and benchmarks.
namespace ProcStatus {

// A line of /proc/self/status (or another process's) in KiB, e.g.
// Kib("VmRSS:") or Kib("VmHWM:") (the peak); -1 when it cannot be read.
inline long Kib(const char *key, long long pid = 0) {
    QFile status(pid > 0 ? QStringLiteral("/proc/%1/status").arg(pid)
                         : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray wanted(key);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(wanted))
            return line.mid(wanted.size()).trimmed().split(' ').front().toLong();
    return -1;
}

// Starts the peak (VmHWM) over from the present size.
inline void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace ProcStatus
