#pragma once

#include "db/SecretBytes.h"

#include <QByteArray>
#include <QString>

// The ciphers of an encrypted iPhone backup, all OpenSSL's: PBKDF2 for the password,
// AES key unwrap (RFC 3394) for the keys, AES-256-CBC with a zero IV for the files.
class BackupCipher
{
public:
    static constexpr int KeySize = 32;
    static constexpr int WrappedKeySize = 40;
    static constexpr int BlockSize = 16;

    // Throws on a length or count OpenSSL refuses.
    static SecretBytes pbkdf2Sha1(const SecretBytes& password, const QByteArray& salt, int iterations,
                                  int length);
    static SecretBytes pbkdf2Sha256(const SecretBytes& password, const QByteArray& salt, int iterations,
                                    int length);
    // The 32-byte key wrapped in 40 bytes with a 32-byte key; empty when the wrapped key
    // fails its integrity check (another key wrapped it) or is not 40 bytes.
    static SecretBytes unwrap(const SecretBytes& kek, const QByteArray& wrapped);

    // Decrypts the stored file in into out, which must not exist yet and is made
    // readable by its owner only; the plaintext is the first size bytes and what follows
    // them must be the padding of the last block. Streams in chunks. Throws when in
    // cannot be read, is not whole blocks, is shorter than size or longer by more than
    // a block, or its padding is wrong, and leaves no out behind.
    static void decryptFile(const SecretBytes& key, const QString& in, const QString& out, qint64 size);
    // The same for a file whose size is not recorded (Manifest.db): the padding of the
    // last block is taken off when there is one.
    static void decryptFile(const SecretBytes& key, const QString& in, const QString& out);
};
