#include "app/FileSha256.h"

#include <QFile>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <memory>
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
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    std::vector<char> buffer(std::size_t(1) << 20);
    for (;;) {
        const qint64 got = file.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            return {};
        if (got == 0)
            break;
        if (EVP_DigestUpdate(context.get(), buffer.data(), size_t(got)) != 1)
            return {};
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char*>(digest.data()), int(length)).toHex());
}
