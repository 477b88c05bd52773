#include "db/BackupKeybag.h"

#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/OperationCancelled.h"
#include "db/BackupCipher.h"
#include "db/WrongBackupPassword.h"

#include <QElapsedTimer>
#include <QThreadPool>

#include <openssl/crypto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>

namespace {

// Wrapped with the key derived from the password (bit 1 would be the device's own key,
// which a backup never has).
constexpr quint32 WrappedByPassword = 2;
constexpr quint32 WrappedByDevice = 1;
constexpr int CalibrationIterations = 10'000;
constexpr auto PollInterval = std::chrono::milliseconds(50);

[[noreturn]] void damaged()
{
    fail(KeyTranslator::text("IDS_IPHONE_BACKUP_KEYBAG_DAMAGED"));
}

qint64 integer(const QByteArray& value)
{
    if (value.isEmpty() || value.size() > 8)
        damaged();
    quint64 number = 0;
    for (const char c : value)
        number = (number << 8) | quint8(c);
    if (number > quint64(std::numeric_limits<qint64>::max()))
        damaged();
    return qint64(number);
}

// PBKDF2 cannot be interrupted, so it runs on a pool thread that shares this with the
// caller: a caller that stops waiting leaves it to the thread, whose last reference
// wipes the password and the key.
struct Derivation
{
    SecretBytes password;
    QByteArray passwordSalt;
    int passwordIterations = 0;
    QByteArray salt;
    int iterations = 0;

    std::atomic<qint64> estimatedMs{0};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    SecretBytes key;
    std::exception_ptr error;

    void run()
    {
        SecretBytes result;
        std::exception_ptr caught;
        try {
            result = derive();
        } catch (...) {
            caught = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex);
            key = std::move(result);
            error = caught;
            done = true;
            finished.notify_all();
        }
        // A pool thread outlives the job: what OpenSSL keeps per thread goes with the job.
        OPENSSL_thread_stop();
    }

    SecretBytes derive()
    {
        const qint64 total = qint64(passwordIterations) + iterations;
        // a short trial run measures this computer's speed for the estimate
        QElapsedTimer trial;
        trial.start();
        if (passwordIterations > 0)
            BackupCipher::pbkdf2Sha256(password, passwordSalt,
                                       std::min(CalibrationIterations, passwordIterations),
                                       BackupCipher::KeySize);
        else
            BackupCipher::pbkdf2Sha1(password, salt, std::min(CalibrationIterations, iterations),
                                     BackupCipher::KeySize);
        const int trialIterations =
            std::min(CalibrationIterations, passwordIterations > 0 ? passwordIterations : iterations);
        estimatedMs = std::max<qint64>(1, trial.nsecsElapsed() * total / trialIterations / 1'000'000);
        if (passwordIterations <= 0)
            return BackupCipher::pbkdf2Sha1(password, salt, iterations, BackupCipher::KeySize);
        const SecretBytes first =
            BackupCipher::pbkdf2Sha256(password, passwordSalt, passwordIterations, BackupCipher::KeySize);
        return BackupCipher::pbkdf2Sha1(first, salt, iterations, BackupCipher::KeySize);
    }
};

// Derivations a user gave up on may still run; the pool waits for them when the program
// ends, before OpenSSL's own clean-up (initialised first, so registered to run later).
QThreadPool& derivationPool()
{
    static QThreadPool* pool = [] {
        OPENSSL_init_crypto(0, nullptr);
        static QThreadPool instance;
        instance.setMaxThreadCount(4);
        return &instance;
    }();
    return *pool;
}

} // namespace

BackupKeybag::BackupKeybag(const QByteArray& tlv)
{
    if (tlv.size() > MaxSize)
        damaged();
    bool headerUuid = false;
    bool hasIterations = false;
    qsizetype at = 0;
    while (at < tlv.size()) {
        if (tlv.size() - at < 8)
            damaged();
        const QByteArray tag = tlv.mid(at, 4);
        for (const char c : tag) {
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                damaged();
        }
        quint64 length = 0;
        for (int i = 4; i < 8; ++i)
            length = (length << 8) | quint8(tlv[at + i]);
        at += 8;
        if (length > quint64(tlv.size() - at))
            damaged();
        const QByteArray value = tlv.mid(at, qsizetype(length));
        at += qsizetype(length);

        if (tag == "UUID") {
            if (!headerUuid) {
                headerUuid = true;
                continue;
            }
            if (m_classKeys.size() >= size_t(MaxClassKeys))
                damaged();
            m_classKeys.emplace_back();
            m_classKeys.back().protectionClass = quint32(-1);
            continue;
        }
        if (m_classKeys.empty()) {
            if (tag == "SALT") {
                m_salt = value;
            } else if (tag == "ITER") {
                m_iterations = integer(value);
                hasIterations = true;
            } else if (tag == "DPSL") {
                m_passwordSalt = value;
            } else if (tag == "DPIC") {
                m_passwordIterations = integer(value);
            }
            continue;
        }
        ClassKey& record = m_classKeys.back();
        if (tag == "CLAS" || tag == "WRAP") {
            const qint64 number = integer(value);
            if (number >= qint64(quint32(-1)))
                damaged();
            (tag == "CLAS" ? record.protectionClass : record.wrap) = quint32(number);
        }
        if (tag == "WPKY")
            record.wrapped = value;
    }
    const bool twoSteps = m_passwordIterations > 0 || !m_passwordSalt.isEmpty();
    if (m_salt.isEmpty() || m_salt.size() > 1024 || !hasIterations || m_iterations < 1 ||
        m_iterations > MaxIterations || m_passwordIterations > MaxIterations ||
        (twoSteps &&
         (m_passwordIterations < 1 || m_passwordSalt.isEmpty() || m_passwordSalt.size() > 1024)) ||
        m_classKeys.empty())
        damaged();
    for (size_t i = 0; i < m_classKeys.size(); ++i) {
        const ClassKey& record = m_classKeys[i];
        if (record.protectionClass == quint32(-1) ||
            ((record.wrap & WrappedByPassword) && record.wrapped.size() != BackupCipher::WrappedKeySize))
            damaged();
        for (size_t j = 0; j < i; ++j) {
            if (m_classKeys[j].protectionClass == record.protectionClass)
                damaged();
        }
    }
}

BackupKeybag::~BackupKeybag() = default;

void BackupKeybag::unlock(const SecretBytes& password, const Cancelled& cancelled, const Progress& progress)
{
    auto job = std::make_shared<Derivation>();
    job->password = password.clone();
    job->passwordSalt = m_passwordSalt;
    job->passwordIterations = int(m_passwordIterations);
    job->salt = m_salt;
    job->iterations = int(m_iterations);
    QElapsedTimer elapsed;
    elapsed.start();
    derivationPool().start([job] { job->run(); });

    SecretBytes key;
    {
        std::unique_lock lock(job->mutex);
        while (!job->finished.wait_for(lock, PollInterval, [&] { return job->done; })) {
            lock.unlock();
            if (cancelled && cancelled())
                throw OperationCancelled();
            if (progress)
                progress(elapsed.elapsed(), job->estimatedMs.load());
            lock.lock();
        }
        if (job->error)
            std::rethrow_exception(job->error);
        key = std::move(job->key);
    }
    if (progress)
        progress(elapsed.elapsed(), elapsed.elapsed());

    int opened = 0;
    int tried = 0;
    for (ClassKey& record : m_classKeys) {
        if (!(record.wrap & WrappedByPassword) || (record.wrap & WrappedByDevice))
            continue;
        ++tried;
        record.key = BackupCipher::unwrap(key, record.wrapped);
        opened += record.key.isEmpty() ? 0 : 1;
    }
    if (opened == 0) {
        for (ClassKey& record : m_classKeys)
            record.key = SecretBytes();
        if (tried == 0)
            damaged();
        throw WrongBackupPassword(KeyTranslator::text("IDS_IPHONE_BACKUP_WRONG_PASSWORD").toStdString());
    }
    // the right password opens every key it wrapped; one that does not open is damaged
    if (opened != tried) {
        for (ClassKey& record : m_classKeys)
            record.key = SecretBytes();
        damaged();
    }
    m_unlocked = true;
}

SecretBytes BackupKeybag::unwrapKey(const QByteArray& classAndWrapped) const
{
    if (!m_unlocked)
        fail(QStringLiteral("the backup's keybag is not unlocked"));
    if (classAndWrapped.size() != 4 + BackupCipher::WrappedKeySize)
        fail(QStringLiteral("a wrapped key of the backup has %1 bytes, not 44").arg(classAndWrapped.size()));
    quint32 protectionClass = 0;
    for (int i = 3; i >= 0; --i)
        protectionClass = (protectionClass << 8) | quint8(classAndWrapped[i]);
    for (const ClassKey& record : m_classKeys) {
        if (record.protectionClass != protectionClass || record.key.isEmpty())
            continue;
        SecretBytes key = BackupCipher::unwrap(record.key, classAndWrapped.mid(4));
        if (key.isEmpty())
            fail(QStringLiteral("a key of protection class %1 of the backup does not unwrap")
                     .arg(protectionClass));
        return key;
    }
    fail(QStringLiteral("the backup's keybag holds no open key of protection class %1").arg(protectionClass));
}

QList<quint32> BackupKeybag::classes() const
{
    QList<quint32> classes;
    for (const ClassKey& record : m_classKeys)
        classes.append(record.protectionClass);
    return classes;
}
