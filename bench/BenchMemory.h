#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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

// Starts the peak resident size afresh, so that the load's own peak does not hide the
// workers'.
inline bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// The memory of a data set (the resident size its load added) and the peak of the work
// done on it, taken over the resident size before the load.
struct Memory
{
    qint64 beforeLoadKb = 0;
    qint64 dataSetKb = 0;
    bool peakReset = false;

    double peakOverDataSet() const
    {
        return dataSetKb > 0 ? double(statusKb("VmHWM:") - beforeLoadKb) / double(dataSetKb) : 0;
    }

    QString figures() const
    {
        return QStringLiteral("peak_kb=%1 rss_before_load_kb=%2 data_set_kb=%3 peak_over_data_set=%4%5")
            .arg(statusKb("VmHWM:"))
            .arg(beforeLoadKb)
            .arg(dataSetKb)
            .arg(QString::number(peakOverDataSet(), 'f', 3))
            .arg(peakReset ? QString() : QStringLiteral(" (peak includes the load)"));
    }
};
