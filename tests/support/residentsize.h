#pragma once

// What a process holds in memory, as the kernel counts it: VmRSS in KiB, -1 when unreadable.

#include <QByteArray>
#include <QFile>
#include <QString>

inline qint64 ResidentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
