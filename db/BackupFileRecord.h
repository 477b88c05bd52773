#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What an encrypted iPhone backup's Manifest.db keeps of one file in Files.file: an
// MBFile object archived with NSKeyedArchiver.
class BackupFileRecord
{
public:
    // Empty unless the bytes hold an MBFile with a size of zero or more.
    static std::optional<BackupFileRecord> fromArchive(const QByteArray& bytes);

    qint64 size = 0;
    int protectionClass = 0;
    // The file's key as BackupKeybag::unwrapKey takes it (class and wrapped key); empty
    // for a folder or a link.
    QByteArray encryptionKey;
    QString relativePath;
};
