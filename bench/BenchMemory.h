#pragma once

#include <QByteArray>
#include <QFile>

// A figure of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); -1 when unreadable.
inline qint64 statusKb(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
