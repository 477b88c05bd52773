#include "db/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Dates in property lists count seconds from 2001-01-01 00:00 UTC.
const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

QVariant dateFromSeconds(double seconds)
{
    // QDateTime keeps milliseconds in a qint64; far beyond any real date is malformed.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13)
        return {};
    return referenceDate().addMSecs(qint64(std::llround(seconds * 1000.0)));
}

// Thrown inside the readers only, turned into an empty result at their edge.
struct Malformed
{};

// The binary format: "bplist00", the objects, a table of their offsets and a 32-byte
// trailer that gives the table's place, the sizes of offsets and references, the number
// of objects and the top one.
class BinaryReader
{
public:
    explicit BinaryReader(const QByteArray& data) : m_data(data) {}

    QVariant read()
    {
        constexpr qint64 TrailerSize = 32;
        constexpr qint64 HeaderSize = 8;
        if (m_data.size() < HeaderSize + TrailerSize || !m_data.startsWith("bplist00"))
            throw Malformed();
        const qint64 trailer = m_data.size() - TrailerSize;
        m_offsetSize = byteAt(trailer + 6);
        m_refSize = byteAt(trailer + 7);
        const quint64 count = number(trailer + 8, 8);
        const quint64 top = number(trailer + 16, 8);
        const quint64 table = number(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || count == 0 ||
            count > quint64(PropertyList::MaxObjects) || top >= count || table < quint64(HeaderSize) ||
            table > quint64(trailer) || count > (quint64(trailer) - table) / quint64(m_offsetSize))
            throw Malformed();
        m_count = qint64(count);
        m_table = qint64(table);
        // objects lie between the header and the offset table
        m_end = m_table;
        m_state.assign(size_t(m_count), State::Unread);
        m_values.resize(size_t(m_count));
        return object(qint64(top), 0);
    }

private:
    enum class State : quint8 { Unread, Reading, Read };

    int byteAt(qint64 at) const
    {
        if (at < 0 || at >= m_data.size())
            throw Malformed();
        return quint8(m_data[at]);
    }

    // Big-endian unsigned of size bytes at at, inside the object area or the trailer.
    quint64 number(qint64 at, int size) const
    {
        if (size < 1 || size > 8 || at < 0 || at > m_data.size() - size)
            throw Malformed();
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | quint8(m_data[at + i]);
        return value;
    }

    // Checks that length bytes from at lie inside the object area.
    void need(qint64 at, qint64 length) const
    {
        if (at < 0 || length < 0 || at > m_end || length > m_end - at)
            throw Malformed();
    }

    // The low half of a marker is the length; 15 means an integer object follows with it.
    qint64 length(qint64& at) const
    {
        const int low = byteAt(at++) & 0x0f;
        if (low != 0x0f)
            return low;
        need(at, 1);
        const int marker = byteAt(at);
        if ((marker & 0xf0) != 0x10 || (marker & 0x0f) > 3)
            throw Malformed();
        const int size = 1 << (marker & 0x0f);
        need(at + 1, size);
        const quint64 value = number(at + 1, size);
        at += 1 + size;
        if (value > quint64(m_end))
            throw Malformed();
        return qint64(value);
    }

    qint64 reference(qint64 at) const
    {
        need(at, m_refSize);
        const quint64 ref = number(at, m_refSize);
        if (ref >= quint64(m_count))
            throw Malformed();
        return qint64(ref);
    }

    QVariant object(qint64 ref, int depth)
    {
        if (depth > PropertyList::MaxDepth)
            throw Malformed();
        switch (m_state[size_t(ref)]) {
        case State::Read:
            return m_values[size_t(ref)];
        case State::Reading: // a container that holds itself
            throw Malformed();
        case State::Unread:
            break;
        }
        m_state[size_t(ref)] = State::Reading;
        const quint64 offset = number(m_table + ref * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= quint64(m_end))
            throw Malformed();
        QVariant value = decode(qint64(offset), depth);
        m_state[size_t(ref)] = State::Read;
        m_values[size_t(ref)] = value;
        return value;
    }

    void spend(qint64 elements)
    {
        m_elements += elements;
        if (m_elements > PropertyList::MaxElements)
            throw Malformed();
    }

    QVariant decode(qint64 at, int depth)
    {
        const int marker = byteAt(at);
        const int low = marker & 0x0f;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x00)
                return QVariant::fromValue(nullptr);
            if (marker == 0x08 || marker == 0x09)
                return marker == 0x09;
            throw Malformed();
        case 0x1: {
            // 1, 2 and 4 bytes hold unsigned values, 8 a signed one; 16 is not taken.
            if (low > 3)
                throw Malformed();
            const int size = 1 << low;
            need(at + 1, size);
            return qint64(number(at + 1, size));
        }
        case 0x2: {
            if (low != 2 && low != 3)
                throw Malformed();
            need(at + 1, 1 << low);
            return real(at + 1, 1 << low);
        }
        case 0x3:
            if (marker != 0x33)
                throw Malformed();
            need(at + 1, 8);
            return dateFromSeconds(real(at + 1, 8));
        case 0x4: {
            const qint64 size = length(at);
            need(at, size);
            return m_data.mid(at, size);
        }
        case 0x5: {
            const qint64 size = length(at);
            need(at, size);
            for (qint64 i = 0; i < size; ++i) {
                if (quint8(m_data[at + i]) > 0x7f)
                    throw Malformed();
            }
            return QString::fromLatin1(m_data.constData() + at, size);
        }
        case 0x6: {
            const qint64 units = length(at);
            if (units > m_end / 2)
                throw Malformed();
            need(at, units * 2);
            QString text(units, Qt::Uninitialized);
            for (qint64 i = 0; i < units; ++i)
                text[i] = QChar(char16_t(number(at + 2 * i, 2)));
            return text;
        }
        case 0x8:
            need(at + 1, low + 1);
            return PropertyList::makeUid(qint64(number(at + 1, low + 1)));
        case 0xa:
        case 0xc: { // a set reads as a list
            const qint64 size = length(at);
            if (size > m_end / m_refSize)
                throw Malformed();
            need(at, size * m_refSize);
            spend(size);
            QVariantList list;
            list.reserve(size);
            for (qint64 i = 0; i < size; ++i)
                list.append(object(reference(at + i * m_refSize), depth + 1));
            return list;
        }
        case 0xd: {
            const qint64 size = length(at);
            if (size > m_end / (2 * m_refSize))
                throw Malformed();
            need(at, 2 * size * m_refSize);
            spend(size);
            QVariantMap map;
            for (qint64 i = 0; i < size; ++i) {
                const QVariant key = object(reference(at + i * m_refSize), depth + 1);
                if (key.typeId() != QMetaType::QString)
                    throw Malformed();
                map.insert(key.toString(), object(reference(at + (size + i) * m_refSize), depth + 1));
            }
            return map;
        }
        default:
            throw Malformed();
        }
    }

    double real(qint64 at, int size) const
    {
        const quint64 bits = number(at, size);
        if (size == 4) {
            const quint32 narrow = quint32(bits);
            float value;
            std::memcpy(&value, &narrow, sizeof value);
            return value;
        }
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    const QByteArray& m_data;
    int m_offsetSize = 0;
    int m_refSize = 0;
    qint64 m_count = 0;
    qint64 m_table = 0;
    qint64 m_end = 0;
    qint64 m_elements = 0;
    std::vector<State> m_state;
    std::vector<QVariant> m_values;
};

// The XML format: <plist> around one value. Element names are Apple's.
class XmlReader
{
public:
    explicit XmlReader(const QByteArray& data) : m_xml(data) {}

    QVariant read()
    {
        if (!nextElement() || m_xml.name() != QLatin1String("plist") || !nextElement())
            throw Malformed();
        const QVariant value = element(1);
        // nothing but the closing </plist> may follow
        while (!m_xml.atEnd()) {
            if (m_xml.readNext() == QXmlStreamReader::StartElement)
                throw Malformed();
        }
        if (m_xml.hasError())
            throw Malformed();
        return value;
    }

private:
    // Moves to the next start element of the current level; false at its end.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace())
                    throw Malformed();
                break;
            default:
                break;
            }
        }
        throw Malformed();
    }

    QString text()
    {
        const QString value = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError())
            throw Malformed();
        return value;
    }

    void spend()
    {
        if (++m_elements > PropertyList::MaxElements)
            throw Malformed();
    }

    // The value whose start element the reader stands on; leaves it on its end element.
    QVariant element(int depth)
    {
        if (depth > PropertyList::MaxDepth)
            throw Malformed();
        spend();
        const QStringView name = m_xml.name();
        if (name == QLatin1String("dict")) {
            QVariantMap map;
            while (nextElement()) {
                if (m_xml.name() != QLatin1String("key"))
                    throw Malformed();
                const QString key = text();
                if (!nextElement())
                    throw Malformed();
                map.insert(key, element(depth + 1));
            }
            return map;
        }
        if (name == QLatin1String("array")) {
            QVariantList list;
            while (nextElement())
                list.append(element(depth + 1));
            return list;
        }
        if (name == QLatin1String("string"))
            return text();
        if (name == QLatin1String("data")) {
            const QByteArray encoded = text().toLatin1();
            const auto decoded = QByteArray::fromBase64Encoding(
                QByteArray(encoded).replace(' ', "").replace('\n', "").replace('\t', "").replace('\r', ""),
                QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                throw Malformed();
            return *decoded;
        }
        if (name == QLatin1String("integer")) {
            bool ok = false;
            const qint64 value = text().trimmed().toLongLong(&ok);
            if (!ok)
                throw Malformed();
            return value;
        }
        if (name == QLatin1String("real")) {
            bool ok = false;
            const double value = text().trimmed().toDouble(&ok);
            if (!ok)
                throw Malformed();
            return value;
        }
        if (name == QLatin1String("true") || name == QLatin1String("false")) {
            const bool value = name == QLatin1String("true");
            if (!text().isEmpty())
                throw Malformed();
            return value;
        }
        if (name == QLatin1String("date")) {
            const QDateTime date = QDateTime::fromString(text().trimmed(), Qt::ISODate);
            if (!date.isValid())
                throw Malformed();
            return date.toUTC();
        }
        throw Malformed();
    }

    QXmlStreamReader m_xml;
    qint64 m_elements = 0;
};

} // namespace

QVariant PropertyList::read(const QByteArray& data)
{
    if (data.size() > MaxSize)
        return {};
    try {
        return data.startsWith("bplist") ? BinaryReader(data).read() : XmlReader(data).read();
    } catch (const Malformed&) {
        return {};
    }
}

QVariant PropertyList::readFile(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > MaxSize)
        return {};
    return read(file.read(MaxSize + 1));
}

qint64 PropertyList::uid(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return -1;
    const QVariantMap map = value.toMap();
    const QVariant index = map.value(QLatin1String(UidKey));
    return map.size() == 1 && index.typeId() == QMetaType::LongLong && index.toLongLong() >= 0
               ? index.toLongLong()
               : -1;
}

QVariant PropertyList::makeUid(qint64 index)
{
    return QVariantMap{{QLatin1String(UidKey), index}};
}
