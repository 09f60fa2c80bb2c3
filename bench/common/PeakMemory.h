#pragma once
// Peak resident memory as the kernel keeps it for one address space. Unlike getrusage's
// ru_maxrss, it does not carry over what the parent had when it forked the process.

#include <QByteArray>
#include <QFile>
#include <QString>

// A "Vm...:" line of a process's status in KB; 0 once it is gone.
inline qint64 StatusKb(qint64 pid, const QByteArray& key) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// VmHWM of a process in KB; 0 once it is gone.
inline qint64 PeakKb(qint64 pid) {
    return StatusKb(pid, "VmHWM:");
}

// Resident memory of a process now, in KB.
inline qint64 ResidentKb(qint64 pid) {
    return StatusKb(pid, "VmRSS:");
}
