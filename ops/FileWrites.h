#pragma once

#include <QByteArrayView>
#include <QFileDevice>

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

} // namespace FileWrites
