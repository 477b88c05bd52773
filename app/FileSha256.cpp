#include "app/FileSha256.h"

#include "app/Sha256.h"

#include <QFile>

#include <openssl/crypto.h>

#include <vector>

QString FileSha256::hexOf(const QString& path)
{
    const QString hex = digest(path);
    // libcrypto keeps state per thread (its error queue) that it frees only as the thread
    // ends, after Qt has reported the thread finished: a program ending right then would
    // leave it behind. The workers that hash files let it go at once.
    OPENSSL_thread_stop();
    return hex;
}

QString FileSha256::digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Sha256 hash;
    std::vector<char> buffer(std::size_t(1) << 20);
    for (;;) {
        const qint64 got = file.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            return {};
        if (got == 0)
            break;
        hash.add(QByteArrayView(buffer.data(), got));
    }
    return hash.finishHex();
}
