#include "app/BinaryIO.h"

#include <QIODevice>
#include <QtEndian>

#include <cstring>

namespace BinaryIO {

namespace {

// Bytes read at once from a device whose remaining size is unknown (a socket): the
// buffer grows with the data that arrives, never with a length the data claims.
constexpr qint64 ChunkSize = 64 * 1024;

bool readExact(QIODevice& device, char* data, qint64 size)
{
    return size == 0 || device.read(data, size) == size;
}

template<typename T> bool readLittle(QIODevice& device, T& value)
{
    char raw[sizeof(T)];
    if (!readExact(device, raw, sizeof(T)))
        return false;
    value = qFromLittleEndian<T>(raw);
    return true;
}

template<typename T> bool writeLittle(QIODevice& device, T value)
{
    char raw[sizeof(T)];
    qToLittleEndian<T>(value, raw);
    return device.write(raw, sizeof(T)) == qint64(sizeof(T));
}

} // namespace

bool readByte(QIODevice& device, quint8& value)
{
    return readLittle(device, value);
}

bool readInt32(QIODevice& device, qint32& value)
{
    return readLittle(device, value);
}

bool readInt64(QIODevice& device, qint64& value)
{
    return readLittle(device, value);
}

bool readDouble(QIODevice& device, double& value)
{
    quint64 bits = 0;
    if (!readLittle(device, bits))
        return false;
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool readBytes(QIODevice& device, QByteArray& value)
{
    qint32 length = 0;
    if (!readInt32(device, length) || length < 0)
        return false;
    if (!device.isSequential() && length > device.size() - device.pos())
        return false;
    QByteArray result;
    while (result.size() < length) {
        const qint64 step = qMin<qint64>(ChunkSize, length - result.size());
        const qint64 old = result.size();
        result.resize(old + step);
        if (!readExact(device, result.data() + old, step))
            return false;
    }
    value = result;
    return true;
}

bool readString(QIODevice& device, QString& value)
{
    QByteArray utf8;
    if (!readBytes(device, utf8))
        return false;
    value = QString::fromUtf8(utf8);
    return true;
}

bool writeByte(QIODevice& device, quint8 value)
{
    return writeLittle(device, value);
}

bool writeInt32(QIODevice& device, qint32 value)
{
    return writeLittle(device, value);
}

bool writeInt64(QIODevice& device, qint64 value)
{
    return writeLittle(device, value);
}

bool writeDouble(QIODevice& device, double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    return writeLittle(device, bits);
}

bool writeBytes(QIODevice& device, const QByteArray& value)
{
    return writeInt32(device, qint32(value.size())) &&
           (value.isEmpty() || device.write(value) == value.size());
}

bool writeString(QIODevice& device, const QString& value)
{
    return writeBytes(device, value.toUtf8());
}

} // namespace BinaryIO
