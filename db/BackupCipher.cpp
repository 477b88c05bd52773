#include "db/BackupCipher.h"

#include "app/Failure.h"

#include <QFile>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

namespace {

constexpr qint64 ChunkSize = 1024 * 1024;

struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

CipherContext cbcDecryptor(const SecretBytes& key, const unsigned char* iv)
{
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context || key.size() != BackupCipher::KeySize ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1)
        fail(QStringLiteral("cannot set up AES-256-CBC decryption"));
    return context;
}

SecretBytes pbkdf2(const SecretBytes& password, const QByteArray& salt, int iterations, int length,
                   const EVP_MD* digest)
{
    SecretBytes key(length);
    if (length < 1 || iterations < 1 ||
        PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.data()), int(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()),
                          iterations, digest, length, key.data()) != 1)
        fail(QStringLiteral("PBKDF2 failed"));
    return key;
}

// The plaintext of the last block, to see its padding: CBC needs only the block before
// it (or the zero IV) to decrypt one block.
std::array<unsigned char, BackupCipher::BlockSize> lastBlock(const SecretBytes& key, QFile& file)
{
    const qint64 length = file.size();
    std::array<unsigned char, BackupCipher::BlockSize> iv{};
    std::array<unsigned char, BackupCipher::BlockSize> block{};
    const qint64 from = length - (length >= 2 * BackupCipher::BlockSize ? 2 : 1) * BackupCipher::BlockSize;
    if (!file.seek(from))
        fail(QStringLiteral("cannot read %1").arg(file.fileName()));
    if (from > 0 && file.read(reinterpret_cast<char*>(iv.data()), iv.size()) != qint64(iv.size()))
        fail(QStringLiteral("cannot read %1").arg(file.fileName()));
    if (file.read(reinterpret_cast<char*>(block.data()), block.size()) != qint64(block.size()))
        fail(QStringLiteral("cannot read %1").arg(file.fileName()));
    CipherContext context = cbcDecryptor(key, iv.data());
    std::array<unsigned char, BackupCipher::BlockSize> plain{};
    int written = 0;
    if (EVP_DecryptUpdate(context.get(), plain.data(), &written, block.data(), int(block.size())) != 1 ||
        written != int(plain.size()) || !file.seek(0))
        fail(QStringLiteral("cannot decrypt %1").arg(file.fileName()));
    return plain;
}

// The padding's length when the block ends in valid PKCS#7 padding; 0 otherwise.
int paddingOf(const std::array<unsigned char, BackupCipher::BlockSize>& block)
{
    const int pad = block.back();
    if (pad < 1 || pad > BackupCipher::BlockSize)
        return 0;
    for (int i = BackupCipher::BlockSize - pad; i < BackupCipher::BlockSize; ++i) {
        if (block[size_t(i)] != pad)
            return 0;
    }
    return pad;
}

void decrypt(const SecretBytes& key, const QString& in, const QString& out, std::optional<qint64> size)
{
    QFile source(in);
    if (!source.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot open %1").arg(in));
    const qint64 length = source.size();
    if (length % BackupCipher::BlockSize != 0)
        fail(QStringLiteral("%1 is no whole number of cipher blocks").arg(in));
    if (!size)
        size = length > 0 ? length - paddingOf(lastBlock(key, source)) : 0;
    const qint64 tail = length - *size;
    if (*size < 0 || tail < 0 || tail > BackupCipher::BlockSize)
        fail(QStringLiteral("%1 holds %2 bytes, not the %3 its record gives").arg(in).arg(length).arg(*size));

    QFile target(out);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        fail(QStringLiteral("cannot create %1").arg(out));
    try {
        const std::array<unsigned char, BackupCipher::BlockSize> zero{};
        CipherContext context = cbcDecryptor(key, zero.data());
        // Buffers of the file's own size up to a chunk: a backup holds thousands of small
        // pictures, and a chunk each grew and shrank the heap for every one of them.
        const qint64 chunk = std::clamp<qint64>(length, BackupCipher::BlockSize, ChunkSize);
        QByteArray cipher(chunk, Qt::Uninitialized);
        QByteArray plain(chunk, Qt::Uninitialized);
        QByteArray padding;
        qint64 done = 0;
        while (done < length) {
            const qint64 got = source.read(cipher.data(), std::min(chunk, length - done));
            if (got <= 0 || got % BackupCipher::BlockSize != 0)
                fail(QStringLiteral("cannot read %1").arg(in));
            int written = 0;
            if (EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &written,
                                  reinterpret_cast<const unsigned char*>(cipher.constData()),
                                  int(got)) != 1 ||
                written != got)
                fail(QStringLiteral("cannot decrypt %1").arg(in));
            const qint64 keep = std::clamp<qint64>(*size - done, 0, got);
            if (keep > 0 && target.write(plain.constData(), keep) != keep)
                fail(QStringLiteral("cannot write %1").arg(out));
            padding.append(plain.constData() + keep, got - keep);
            done += got;
        }
        for (const char c : std::as_const(padding)) {
            if (quint8(c) != quint8(tail))
                fail(QStringLiteral("%1 does not end in the padding of its last block").arg(in));
        }
        if (!target.flush())
            fail(QStringLiteral("cannot write %1").arg(out));
    } catch (...) {
        target.remove();
        throw;
    }
}

} // namespace

SecretBytes BackupCipher::pbkdf2Sha1(const SecretBytes& password, const QByteArray& salt, int iterations,
                                     int length)
{
    return pbkdf2(password, salt, iterations, length, EVP_sha1());
}

SecretBytes BackupCipher::pbkdf2Sha256(const SecretBytes& password, const QByteArray& salt, int iterations,
                                       int length)
{
    return pbkdf2(password, salt, iterations, length, EVP_sha256());
}

SecretBytes BackupCipher::unwrap(const SecretBytes& kek, const QByteArray& wrapped)
{
    if (kek.size() != KeySize || wrapped.size() != WrappedKeySize)
        return {};
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context)
        fail(QStringLiteral("cannot set up AES key unwrap"));
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_wrap(), nullptr, kek.data(), nullptr) != 1)
        fail(QStringLiteral("cannot set up AES key unwrap"));
    // the unwrap gives the 8 bytes fewer it was given, and wipes them when they fail the check
    SecretBytes key(KeySize);
    int written = 0;
    if (EVP_DecryptUpdate(context.get(), key.data(), &written,
                          reinterpret_cast<const unsigned char*>(wrapped.constData()),
                          int(wrapped.size())) <= 0 ||
        written != KeySize)
        return {};
    return key;
}

void BackupCipher::decryptFile(const SecretBytes& key, const QString& in, const QString& out, qint64 size)
{
    decrypt(key, in, out, size);
}

void BackupCipher::decryptFile(const SecretBytes& key, const QString& in, const QString& out)
{
    decrypt(key, in, out, std::nullopt);
}
