#include "db/BackupFileRecord.h"

#include "db/KeyedArchive.h"

std::optional<BackupFileRecord> BackupFileRecord::fromArchive(const QByteArray& bytes)
{
    const KeyedArchive archive = KeyedArchive::fromBytes(bytes);
    const QVariant file = archive.top();
    if (archive.className(file) != QLatin1String("MBFile"))
        return {};
    const QVariant size = archive.member(file, QStringLiteral("Size"));
    const QVariant protection = archive.member(file, QStringLiteral("ProtectionClass"));
    const QVariant path = archive.member(file, QStringLiteral("RelativePath"));
    if (size.typeId() != QMetaType::LongLong || size.toLongLong() < 0)
        return {};
    BackupFileRecord record;
    record.size = size.toLongLong();
    if (protection.typeId() == QMetaType::LongLong && protection.toLongLong() >= 0 &&
        protection.toLongLong() <= 0xffff)
        record.protectionClass = int(protection.toLongLong());
    record.encryptionKey = archive.data(archive.member(file, QStringLiteral("EncryptionKey")));
    if (path.typeId() == QMetaType::QString)
        record.relativePath = path.toString();
    return record;
}
