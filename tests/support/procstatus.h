#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
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

// The process ids whose parent is `parent`, as /proc lists them; zombies
// (ended, not yet collected) only when `zombies`.
inline QList<qint64> Children(qint64 parent, bool zombies = true) {
    QList<qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold anything but ends at the last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1].toLongLong() == parent && (zombies || rest[0] != "Z"))
            children << pid;
    }
    return children;
}

// Descriptors a process (this one: 0) holds open right now.
inline int OpenDescriptors(qint64 pid = 0) {
    return int(
        QDir(pid > 0 ? QStringLiteral("/proc/%1/fd").arg(pid) : QStringLiteral("/proc/self/fd"))
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
            .size());
}

} // namespace ProcStatus
