#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Little-endian primitives of the extra-column blob. Every reader returns false when
// the device delivers fewer bytes than required; every writer when it accepts fewer.
namespace BinaryIO {

bool readByte(QIODevice& device, quint8& value);
bool readInt32(QIODevice& device, qint32& value);
bool readInt64(QIODevice& device, qint64& value);
bool readDouble(QIODevice& device, double& value);
// int32 length, then the bytes. A negative length or one beyond the data fails
// before anything is allocated for it.
bool readBytes(QIODevice& device, QByteArray& value);
bool readString(QIODevice& device, QString& value);

bool writeByte(QIODevice& device, quint8 value);
bool writeInt32(QIODevice& device, qint32 value);
bool writeInt64(QIODevice& device, qint64 value);
bool writeDouble(QIODevice& device, double value);
bool writeBytes(QIODevice& device, const QByteArray& value);
bool writeString(QIODevice& device, const QString& value);

} // namespace BinaryIO
