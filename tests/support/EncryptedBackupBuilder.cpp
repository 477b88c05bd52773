#include "tests/support/EncryptedBackupBuilder.h"

#include "db/PropertyList.h"

#include <QDateTime>
#include <QList>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(what);
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), size) != 1)
        fail("RAND_bytes failed");
    return bytes;
}

QByteArray pbkdf2(const QByteArray& password, const QByteArray& salt, int iterations, const EVP_MD* digest)
{
    QByteArray key(32, '\0');
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()),
                          iterations, digest, int(key.size()),
                          reinterpret_cast<unsigned char*>(key.data())) != 1)
        fail("PBKDF2 failed");
    return key;
}

QByteArray littleEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xff);
    return bytes;
}

QByteArray cipher(const EVP_CIPHER* type, const QByteArray& key, const QByteArray& input)
{
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> context(EVP_CIPHER_CTX_new(),
                                                                       EVP_CIPHER_CTX_free);
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    const unsigned char zeroIv[16] = {};
    QByteArray output(input.size() + 32, '\0');
    int written = 0;
    int last = 0;
    if (EVP_EncryptInit_ex(context.get(), type, nullptr,
                           reinterpret_cast<const unsigned char*>(key.constData()),
                           type == EVP_aes_256_cbc() ? zeroIv : nullptr) != 1 ||
        EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char*>(output.data()), &written,
                          reinterpret_cast<const unsigned char*>(input.constData()),
                          int(input.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(output.data()) + written,
                            &last) != 1)
        fail("encryption failed");
    output.truncate(written + last);
    return output;
}

// Writes every value as an object of its own, references of two bytes, offsets of four.
class BinaryPlistWriter
{
public:
    QByteArray write(const QVariant& value)
    {
        add(value);
        QByteArray out("bplist00");
        QByteArray table;
        for (const QByteArray& object : std::as_const(m_objects)) {
            table += EncryptedBackupBuilder::bigEndian(quint32(out.size()));
            out += object;
        }
        const quint64 tableOffset = quint64(out.size());
        out += table;
        out += QByteArray(6, '\0');
        out += char(4);
        out += char(2);
        out += number(quint64(m_objects.size()), 8);
        out += number(0, 8);
        out += number(tableOffset, 8);
        return out;
    }

private:
    static QByteArray number(quint64 value, int size)
    {
        QByteArray bytes(size, '\0');
        for (int i = size - 1; i >= 0; --i, value >>= 8)
            bytes[i] = char(value & 0xff);
        return bytes;
    }

    static QByteArray marker(int type, qint64 length)
    {
        if (length < 15)
            return QByteArray(1, char((type << 4) | int(length)));
        return QByteArray(1, char((type << 4) | 0x0f)) + char(0x12) + number(quint64(length), 4);
    }

    static QByteArray real(double value)
    {
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        return char(0x23) + number(bits, 8);
    }

    QByteArray ref(const QVariant& value) { return number(quint64(add(value)), 2); }

    int add(const QVariant& value)
    {
        const int index = int(m_objects.size());
        m_objects.append(QByteArray());
        QByteArray object;
        const qint64 uid = PropertyList::uid(value);
        switch (value.typeId()) {
        case QMetaType::Bool:
            object = QByteArray(1, value.toBool() ? char(0x09) : char(0x08));
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
            object = char(0x13) + number(quint64(value.toLongLong()), 8);
            break;
        case QMetaType::Double:
            object = real(value.toDouble());
            break;
        case QMetaType::QDateTime:
            object =
                real(double(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).msecsTo(value.toDateTime())) /
                     1000.0);
            object[0] = char(0x33);
            break;
        case QMetaType::QByteArray:
            object = marker(0x4, value.toByteArray().size()) + value.toByteArray();
            break;
        case QMetaType::QString: {
            const QString text = value.toString();
            bool ascii = true;
            for (const QChar c : text)
                ascii = ascii && c.unicode() < 0x80;
            if (ascii) {
                object = marker(0x5, text.size()) + text.toLatin1();
            } else {
                object = marker(0x6, text.size());
                for (const QChar c : text)
                    object += number(c.unicode(), 2);
            }
            break;
        }
        case QMetaType::QVariantList: {
            const QVariantList list = value.toList();
            object = marker(0xa, list.size());
            for (const QVariant& item : list)
                object += ref(item);
            break;
        }
        case QMetaType::QVariantMap: {
            if (uid >= 0) {
                object = char(0x83) + number(quint64(uid), 4);
                break;
            }
            const QVariantMap map = value.toMap();
            object = marker(0xd, map.size());
            QByteArray values;
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                object += ref(it.key());
                values += ref(it.value());
            }
            object += values;
            break;
        }
        default:
            fail("a value the property list writer does not know");
        }
        m_objects[index] = object;
        return index;
    }

    QList<QByteArray> m_objects;
};

} // namespace

EncryptedBackupBuilder::EncryptedBackupBuilder(const QString& password, int passwordIterations,
                                               int iterations)
{
    const QByteArray salt = randomBytes(20);
    const QByteArray passwordSalt = randomBytes(20);
    const QByteArray passcodeKey =
        pbkdf2(pbkdf2(password.toUtf8(), passwordSalt, passwordIterations, EVP_sha256()), salt, iterations,
               EVP_sha1());
    m_keybag = tlv("VERS", bigEndian(3)) + tlv("TYPE", bigEndian(1)) + tlv("UUID", randomBytes(16)) +
               tlv("HMCK", randomBytes(40)) + tlv("WRAP", bigEndian(0)) + tlv("SALT", salt) +
               tlv("ITER", bigEndian(quint32(iterations))) + tlv("DPWT", bigEndian(1)) +
               tlv("DPIC", bigEndian(quint32(passwordIterations))) + tlv("DPSL", passwordSalt);
    for (int protectionClass = 1; protectionClass <= 11; ++protectionClass) {
        const QByteArray key = randomBytes(32);
        m_classKeys.insert(protectionClass, key);
        m_keybag += tlv("UUID", randomBytes(16)) + tlv("CLAS", bigEndian(quint32(protectionClass))) +
                    tlv("WRAP", bigEndian(2)) + tlv("KTYP", bigEndian(0)) +
                    tlv("WPKY", wrap(passcodeKey, key));
    }
    m_manifestPlainKey = randomBytes(32);
    m_manifestKey = littleEndian(ManifestClass) + wrap(m_classKeys.value(ManifestClass), m_manifestPlainKey);
}

QByteArray EncryptedBackupBuilder::manifestProperties(bool withManifestKey) const
{
    QVariantMap properties{
        {QStringLiteral("BackupKeyBag"), m_keybag},
        {QStringLiteral("IsEncrypted"), true},
        {QStringLiteral("Version"), QStringLiteral("10.0")},
        {QStringLiteral("Date"), QDateTime(QDate(2024, 3, 1), QTime(9, 15), Qt::UTC)},
        {QStringLiteral("WasPasscodeSet"), true},
    };
    if (withManifestKey)
        properties.insert(QStringLiteral("ManifestKey"), m_manifestKey);
    return binaryPropertyList(properties);
}

QByteArray EncryptedBackupBuilder::encryptManifest(const QByteArray& database) const
{
    return encrypt(m_manifestPlainKey, database);
}

EncryptedBackupBuilder::StoredFile EncryptedBackupBuilder::encryptFile(const QByteArray& plain,
                                                                       const QString& relativePath,
                                                                       int protectionClass) const
{
    if (!m_classKeys.contains(protectionClass))
        fail("no key of that protection class");
    const QByteArray key = randomBytes(32);
    const QByteArray wrapped =
        littleEndian(quint32(protectionClass)) + wrap(m_classKeys.value(protectionClass), key);
    return {encrypt(key, plain), fileRecord(plain.size(), protectionClass, wrapped, relativePath)};
}

QByteArray EncryptedBackupBuilder::binaryPropertyList(const QVariant& value)
{
    return BinaryPlistWriter().write(value);
}

QByteArray EncryptedBackupBuilder::fileRecord(qint64 size, int protectionClass,
                                              const QByteArray& encryptionKey, const QString& relativePath)
{
    const auto uid = PropertyList::makeUid;
    const QVariantMap file{
        {QStringLiteral("$class"), uid(5)},
        {QStringLiteral("Birth"), 1709284500},
        {QStringLiteral("EncryptionKey"), uid(2)},
        {QStringLiteral("Flags"), 0},
        {QStringLiteral("GroupID"), 501},
        {QStringLiteral("InodeNumber"), 1234567},
        {QStringLiteral("LastModified"), 1709284500},
        {QStringLiteral("LastStatusChange"), 1709284500},
        {QStringLiteral("Mode"), 0100644},
        {QStringLiteral("ProtectionClass"), protectionClass},
        {QStringLiteral("RelativePath"), uid(4)},
        {QStringLiteral("Size"), size},
        {QStringLiteral("UserID"), 501},
    };
    const QVariantList objects{
        QStringLiteral("$null"),
        file,
        QVariantMap{{QStringLiteral("NS.data"), encryptionKey}, {QStringLiteral("$class"), uid(3)}},
        QVariantMap{
            {QStringLiteral("$classname"), QStringLiteral("NSMutableData")},
            {QStringLiteral("$classes"), QVariantList{QStringLiteral("NSMutableData"),
                                                      QStringLiteral("NSData"), QStringLiteral("NSObject")}}},
        relativePath,
        QVariantMap{
            {QStringLiteral("$classname"), QStringLiteral("MBFile")},
            {QStringLiteral("$classes"), QVariantList{QStringLiteral("MBFile"), QStringLiteral("NSObject")}}},
    };
    return binaryPropertyList(QVariantMap{
        {QStringLiteral("$version"), 100000},
        {QStringLiteral("$archiver"), QStringLiteral("NSKeyedArchiver")},
        {QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), uid(1)}}},
        {QStringLiteral("$objects"), objects},
    });
}

QByteArray EncryptedBackupBuilder::wrap(const QByteArray& kek, const QByteArray& key)
{
    return cipher(EVP_aes_256_wrap(), kek, key);
}

QByteArray EncryptedBackupBuilder::encrypt(const QByteArray& key, const QByteArray& plain)
{
    return cipher(EVP_aes_256_cbc(), key, plain);
}

QByteArray EncryptedBackupBuilder::tlv(const char* tag, const QByteArray& value)
{
    return QByteArray(tag, 4) + bigEndian(quint32(value.size())) + value;
}

QByteArray EncryptedBackupBuilder::bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[3 - i] = char((value >> (8 * i)) & 0xff);
    return bytes;
}

QByteArray EncryptedBackupBuilder::withHeaderValue(const QByteArray& keybag, const char* tag,
                                                   const QByteArray& value)
{
    for (qsizetype at = 0; at + 8 <= keybag.size();) {
        const qsizetype length = qsizetype(quint8(keybag[at + 4])) << 24 | quint8(keybag[at + 5]) << 16 |
                                 quint8(keybag[at + 6]) << 8 | quint8(keybag[at + 7]);
        if (keybag.mid(at, 4) == tag)
            return keybag.left(at) + tlv(tag, value) + keybag.mid(at + 8 + length);
        at += 8 + length;
    }
    fail("no such keybag entry");
}
