#include "app/BlobCodec.h"

#include "app/BinaryIO.h"

#include <QBuffer>

namespace BlobCodec {

namespace {

constexpr char Magic[] = "tinykv";
constexpr qint64 MagicSize = 6;

enum Tag : quint8 {
    TagInt = 'i',
    TagInt64 = 'l',
    TagDouble = 'd',
    TagString = 's',
    TagBytes = 'v',
    TagNull = 'n',
};

} // namespace

bool writeValue(QIODevice& device, const QVariant& value)
{
    using namespace BinaryIO;
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Char:
        return writeByte(device, TagInt) && writeInt32(device, value.toInt());
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return writeByte(device, TagInt64) && writeInt64(device, value.toLongLong());
    case QMetaType::Double:
        return writeByte(device, TagDouble) && writeDouble(device, value.toDouble());
    case QMetaType::QString:
        return writeByte(device, TagString) && writeString(device, value.toString());
    case QMetaType::QByteArray:
        return writeByte(device, TagBytes) && writeBytes(device, value.toByteArray());
    default:
        // Maps, lists, dates and the like are not kept.
        return writeByte(device, TagNull);
    }
}

bool readValue(QIODevice& device, QVariant& value)
{
    using namespace BinaryIO;
    quint8 tag = 0;
    if (!readByte(device, tag))
        return false;
    switch (tag) {
    case TagInt: {
        qint32 v = 0;
        if (!readInt32(device, v))
            return false;
        value = QVariant(int(v));
        return true;
    }
    case TagInt64: {
        qint64 v = 0;
        if (!readInt64(device, v))
            return false;
        value = QVariant(qlonglong(v));
        return true;
    }
    case TagDouble: {
        double v = 0;
        if (!readDouble(device, v))
            return false;
        value = QVariant(v);
        return true;
    }
    case TagString: {
        QString v;
        if (!readString(device, v))
            return false;
        value = QVariant(v);
        return true;
    }
    case TagBytes: {
        QByteArray v;
        if (!readBytes(device, v))
            return false;
        value = QVariant(v);
        return true;
    }
    case TagNull:
        value = QVariant();
        return true;
    default:
        return false;
    }
}

bool writeMap(QIODevice& device, const QVariantMap& map)
{
    if (device.write(Magic, MagicSize) != MagicSize)
        return false;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!BinaryIO::writeString(device, it.key()) || !writeValue(device, it.value()))
            return false;
    }
    return true;
}

bool readMap(QIODevice& device, QVariantMap& map)
{
    map.clear();
    if (device.read(MagicSize) != QByteArray(Magic, MagicSize))
        return false;
    for (;;) {
        QString key;
        // A key that cannot be read ends the map: what came before it is complete.
        if (!BinaryIO::readString(device, key))
            return true;
        QVariant value;
        if (!readValue(device, value)) {
            map.clear();
            return false;
        }
        map.insert(key, value);
    }
}

QByteArray encodeMap(const QVariantMap& map)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!writeMap(buffer, map))
        return {};
    return bytes;
}

QVariantMap decodeMap(const QByteArray& bytes)
{
    if (bytes.size() < MagicSize)
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QVariantMap map;
    if (!readMap(buffer, map))
        return {};
    return map;
}

} // namespace BlobCodec
