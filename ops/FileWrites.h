#pragma once

#include <QByteArrayView>
#include <QDir>
#include <QFileDevice>
#include <QString>

#include <cstring>

namespace FileWrites {

// Writes all of bytes to file. A write the disk can take only part of (a file size
// limit, a disk that fills up) returns short without an error from QFile; the rest is
// written again, so that the write that fails sets the error that says why.
inline bool writeAll(QFileDevice& file, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 written = file.write(bytes.data(), bytes.size());
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

// "path: why", the form every failure of an export's files is reported in.
inline QString failureText(const QString& path, const QString& why)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
}

// The system's words for an errno value.
inline QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace FileWrites
