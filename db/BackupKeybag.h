#pragma once

#include "db/SecretBytes.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <vector>

// The keybag of an encrypted iPhone backup (Manifest.plist's BackupKeyBag): a list of
// tag, big-endian length and value. A header gives the salts and iteration counts of the
// password's key; then one record per protection class, each beginning with UUID, holds
// that class's key wrapped with the password's key.
class BackupKeybag
{
public:
    static constexpr qint64 MaxSize = 1024 * 1024;
    static constexpr int MaxClassKeys = 64;
    // Phones use 10,000,000 and 10,000; far more only makes a damaged or hostile
    // keybag keep the computer busy.
    static constexpr qint64 MaxIterations = 200'000'000;

    // Polled about every 50 ms while the password's key is derived; true cancels.
    using Cancelled = std::function<bool()>;
    // Milliseconds since the derivation began and its estimated whole length (0 until
    // a short trial run has measured the speed).
    using Progress = std::function<void(qint64 elapsedMs, qint64 estimatedMs)>;

    // Throws std::runtime_error with a text for the user when the keybag is malformed.
    explicit BackupKeybag(const QByteArray& tlv);
    ~BackupKeybag();
    BackupKeybag(const BackupKeybag&) = delete;
    BackupKeybag& operator=(const BackupKeybag&) = delete;

    // Derives the password's key (seconds with a phone's iteration counts, on a thread
    // of its own) and unwraps the class keys with it. Throws WrongBackupPassword when no
    // key unwraps, OperationCancelled as soon as cancelled says so (the derivation then
    // runs out in the background and its result is wiped), std::runtime_error when only
    // some keys unwrap.
    void unlock(const SecretBytes& password, const Cancelled& cancelled = {}, const Progress& progress = {});
    bool isUnlocked() const { return m_unlocked; }

    // The key a 4-byte little-endian protection class and a 40-byte wrapped key give
    // (ManifestKey, an MBFile's EncryptionKey). Throws when the keybag is locked, holds no
    // key of that class, the length is not 44 bytes or the key does not unwrap.
    SecretBytes unwrapKey(const QByteArray& classAndWrapped) const;

    QList<quint32> classes() const;
    qint64 iterations() const { return m_iterations; }
    qint64 passwordIterations() const { return m_passwordIterations; }

private:
    struct ClassKey
    {
        quint32 protectionClass = 0;
        quint32 wrap = 0;
        QByteArray wrapped;
        SecretBytes key;
    };

    QByteArray m_salt;
    qint64 m_iterations = 0;
    // iOS 10.2 and later derive a first key with PBKDF2-SHA256 from these.
    QByteArray m_passwordSalt;
    qint64 m_passwordIterations = 0;
    std::vector<ClassKey> m_classKeys;
    bool m_unlocked = false;
};
