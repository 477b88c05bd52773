#include "app/BlobCodec.h"

#include "app/BinaryIO.h"

#include <QBuffer>
#include <QLatin1StringView>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

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

// The held form begins with a byte no stored blob of ours begins with ("tinykv"), then
// says which it is: the compact form, or the stored bytes as they are (other bytes that
// happen to begin with the marker).
constexpr char HeldMarker = '\xff';
constexpr char HeldCompact = '\x01';
constexpr char HeldVerbatim = '\xff';

// Keys one byte stands for (its index + 1); 0 introduces a key spelled out.
constexpr std::array<QLatin1StringView, 17> HeldKeys = {
    QLatin1StringView("body"),
    QLatin1StringView("extra_download_id"),
    QLatin1StringView("extra_flags"),
    QLatin1StringView("extra_mime"),
    QLatin1StringView("extra_status"),
    QLatin1StringView("extra_upload_id"),
    QLatin1StringView("extra_uri"),
    QLatin1StringView("flag"),
    QLatin1StringView("likes_count"),
    QLatin1StringView("message_global_id"),
    QLatin1StringView("quoted_message_data"),
    QLatin1StringView("seq"),
    QLatin1StringView("status"),
    QLatin1StringView("thumbnail_x"),
    QLatin1StringView("thumbnail_y"),
    QLatin1StringView("unread"),
    QLatin1StringView("Z_OPT"),
};
// Beginnings of texts one byte stands for: Viber's media folders on a phone's shared
// storage, each before the shorter ones it begins with (a text takes the first that fits).
constexpr std::array<QLatin1StringView, 8> HeldPrefixes = {
    QLatin1StringView("file:///storage/emulated/0/viber/media/Viber%20Images/"),
    QLatin1StringView("file:///storage/emulated/0/viber/media/Viber%20Videos/"),
    QLatin1StringView("/storage/emulated/0/viber/media/.thumbnails/"),
    QLatin1StringView("file:///storage/emulated/0/viber/media/"),
    QLatin1StringView("/storage/emulated/0/viber/media/"),
    QLatin1StringView("file:///storage/emulated/0/"),
    QLatin1StringView("/storage/emulated/0/"),
    QLatin1StringView("file:///"),
};
// A text of the held form that is stored with one of the prefixes before it.
constexpr char TagPrefixedString = 'p';

void putVarint(QByteArray& out, quint64 value)
{
    while (value >= 0x80) {
        out.append(char(value | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}

bool takeVarint(const char*& at, const char* end, quint64& value)
{
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (at == end)
            return false;
        const quint8 byte = quint8(*at++);
        value |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

quint64 zigzag(qint64 value)
{
    return (quint64(value) << 1) ^ quint64(value >> 63);
}

qint64 unzigzag(quint64 value)
{
    return qint64(value >> 1) ^ -qint64(value & 1);
}

template<typename T> bool takeLittle(const char*& at, const char* end, T& value)
{
    if (end - at < qsizetype(sizeof(T)))
        return false;
    value = qFromLittleEndian<T>(at);
    at += sizeof(T);
    return true;
}

template<typename T> void putLittle(QByteArray& out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), sizeof little);
}

// A length-prefixed run of bytes of a stored blob.
bool takeRun(const char*& at, const char* end, QByteArrayView& run)
{
    qint32 size = 0;
    if (!takeLittle(at, end, size) || size < 0 || end - at < size)
        return false;
    run = QByteArrayView(at, size);
    at += size;
    return true;
}

// A number of a stored blob as the compact form writes it: its tag, then its value as a
// zigzag varint.
template<typename T> bool compactNumber(const char*& at, const char* end, char tag, QByteArray& out)
{
    T value = 0;
    if (!takeLittle(at, end, value))
        return false;
    out.append(tag);
    putVarint(out, zigzag(value));
    return true;
}

// The compact form of a stored blob whose values are all numbers and texts; none for
// anything else, which is held as it is.
std::optional<QByteArray> compacted(QByteArrayView stored)
{
    if (!stored.startsWith(QByteArrayView(Magic, MagicSize)))
        return std::nullopt;
    QByteArray out;
    out.reserve(stored.size());
    out.append(HeldMarker);
    out.append(HeldCompact);
    const char* at = stored.data() + MagicSize;
    const char* const end = stored.data() + stored.size();
    while (at != end) {
        QByteArrayView key;
        if (!takeRun(at, end, key) || at == end)
            return std::nullopt;
        const auto known = std::find(HeldKeys.cbegin(), HeldKeys.cend(), QLatin1StringView(key));
        if (known != HeldKeys.cend()) {
            out.append(char(known - HeldKeys.cbegin() + 1));
        } else {
            out.append('\0');
            putVarint(out, quint64(key.size()));
            out.append(key);
        }
        const char tag = *at++;
        switch (tag) {
        case TagInt:
            if (!compactNumber<qint32>(at, end, tag, out))
                return std::nullopt;
            break;
        case TagInt64:
            if (!compactNumber<qint64>(at, end, tag, out))
                return std::nullopt;
            break;
        case TagString: {
            QByteArrayView text;
            if (!takeRun(at, end, text))
                return std::nullopt;
            const auto prefix = std::find_if(HeldPrefixes.cbegin(), HeldPrefixes.cend(),
                                             [&](QLatin1StringView p) { return text.startsWith(p); });
            if (prefix != HeldPrefixes.cend()) {
                out.append(TagPrefixedString);
                out.append(char(prefix - HeldPrefixes.cbegin()));
                text = text.sliced(prefix->size());
            } else {
                out.append(tag);
            }
            putVarint(out, quint64(text.size()));
            out.append(text);
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// The stored blob of a compact one; none for bytes that are no compact blob.
std::optional<QByteArray> expanded(QByteArrayView held)
{
    QByteArray out;
    out.reserve(held.size() * 3);
    out.append(Magic, MagicSize);
    const char* at = held.data() + 2;
    const char* const end = held.data() + held.size();
    constexpr quint64 MaxRun = std::numeric_limits<qint32>::max();
    while (at != end) {
        const quint8 key = quint8(*at++);
        if (key == 0) {
            quint64 size = 0;
            if (!takeVarint(at, end, size) || size > quint64(end - at))
                return std::nullopt;
            putLittle(out, qint32(size));
            out.append(at, qsizetype(size));
            at += size;
        } else if (key <= HeldKeys.size()) {
            const QLatin1StringView name = HeldKeys[key - 1];
            putLittle(out, qint32(name.size()));
            out.append(name.data(), name.size());
        } else {
            return std::nullopt;
        }
        if (at == end)
            return std::nullopt;
        const char tag = *at++;
        quint64 raw = 0;
        switch (tag) {
        case TagInt: {
            if (!takeVarint(at, end, raw))
                return std::nullopt;
            const qint64 value = unzigzag(raw);
            if (value != qint32(value))
                return std::nullopt;
            out.append(tag);
            putLittle(out, qint32(value));
            break;
        }
        case TagInt64:
            if (!takeVarint(at, end, raw))
                return std::nullopt;
            out.append(tag);
            putLittle(out, unzigzag(raw));
            break;
        case TagString:
        case TagPrefixedString: {
            QLatin1StringView prefix;
            if (tag == TagPrefixedString) {
                if (at == end || quint8(*at) >= HeldPrefixes.size())
                    return std::nullopt;
                prefix = HeldPrefixes[quint8(*at++)];
            }
            if (!takeVarint(at, end, raw) || raw > quint64(end - at) || raw + quint64(prefix.size()) > MaxRun)
                return std::nullopt;
            out.append(char(TagString));
            putLittle(out, qint32(raw + quint64(prefix.size())));
            out.append(prefix.data(), prefix.size());
            out.append(at, qsizetype(raw));
            at += raw;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// bytes in an allocation of their exact size
QByteArray exactly(QByteArrayView bytes)
{
    return QByteArray(bytes.data(), bytes.size());
}

} // namespace

QByteArray held(const QByteArray& stored)
{
    if (std::optional<QByteArray> compact = compacted(stored))
        return std::move(*compact);
    if (stored.startsWith(HeldMarker)) {
        QByteArray verbatim;
        verbatim.reserve(stored.size() + 2);
        verbatim.append(HeldMarker).append(HeldVerbatim).append(stored);
        return verbatim;
    }
    return stored;
}

QByteArray stored(const QByteArray& held)
{
    if (held.size() >= 2 && held[0] == HeldMarker) {
        if (held[1] == HeldVerbatim)
            return exactly(QByteArrayView(held).sliced(2));
        if (held[1] == HeldCompact) {
            if (std::optional<QByteArray> plain = expanded(held))
                return exactly(*plain);
        }
    }
    return held.capacity() == held.size() ? held : exactly(held);
}

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
    const QByteArray plain = stored(bytes);
    if (plain.size() < MagicSize)
        return {};
    QBuffer buffer;
    buffer.setData(plain);
    buffer.open(QIODevice::ReadOnly);
    QVariantMap map;
    if (!readMap(buffer, map))
        return {};
    return map;
}

} // namespace BlobCodec
