#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>
#include <QtEndian>

// The extra-column blob of one messages row, written straight into the codec's byte
// layout: a map built per row would cost more than everything else a loader does.
// Callers add keys in the codec's (sorted) order so the bytes equal what
// BlobCodec::encodeMap gives for the same map. Every reader of the map takes a missing
// key as 0 or empty, so NULL columns, zeros and empty texts are left out: most columns
// hold them, and a load keeps one blob per message.
class ExtraBlobWriter
{
public:
    // out keeps its capacity, so a buffer reused row after row allocates nothing.
    explicit ExtraBlobWriter(QByteArray& out) : m_out(out)
    {
        m_out.resize(0);
        m_out.append("tinykv", 6);
    }

    void addInt(QLatin1StringView key, int value)
    {
        if (value == 0)
            return;
        addKeptInt(key, value);
    }
    // Written even when 0, for keys whose presence the map has always had.
    void addKeptInt(QLatin1StringView key, int value)
    {
        writeKey(key);
        m_out.append('i');
        writeLittle(qint32(value));
    }
    void addInt64(QLatin1StringView key, qint64 value)
    {
        if (value == 0)
            return;
        writeKey(key);
        m_out.append('l');
        writeLittle(value);
    }
    void addText(QLatin1StringView key, const QString& value)
    {
        if (value.isEmpty())
            return;
        writeKey(key);
        m_out.append('s');
        const QByteArray utf8 = value.toUtf8();
        writeLittle(qint32(utf8.size()));
        m_out.append(utf8);
    }

private:
    void writeKey(QLatin1StringView key)
    {
        writeLittle(qint32(key.size()));
        m_out.append(key.data(), key.size());
    }
    template<typename T> void writeLittle(T value)
    {
        const T little = qToLittleEndian(value);
        m_out.append(reinterpret_cast<const char*>(&little), sizeof little);
    }

    QByteArray& m_out;
};
