#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QStringEncoder>
#include <QStringView>

#include <cstring>

// Text appended to bytes as UTF-8, for output built straight in the encoding it is
// written in: an HTML export is mostly fixed markup, which is then copied rather than
// widened to UTF-16 and encoded again. Its operators read as QString's do, so that one
// template can build either. The Latin-1 pieces must be ASCII; they are copied as they are.
class Utf8Out
{
public:
    explicit Utf8Out(QByteArray& bytes) : m_bytes(bytes) {}

    // By hand: QByteArray::append takes the general path of insert(), which showed in
    // the profile of an export that appends a few dozen pieces for each message.
    Utf8Out& operator+=(QLatin1StringView ascii)
    {
        const qsizetype used = m_bytes.size();
        m_bytes.resize(used + ascii.size());
        std::memcpy(m_bytes.data() + used, ascii.data(), size_t(ascii.size()));
        return *this;
    }
    Utf8Out& operator+=(QStringView text)
    {
        append(m_bytes, text, m_encoder);
        return *this;
    }
    Utf8Out& operator+=(const QString& text) { return *this += QStringView(text); }

    QByteArray& bytes() { return m_bytes; }

    // Encodes text at the end of bytes, as the export's files have always been encoded:
    // through a UTF-8 encoder made stateless, so that half a surrogate pair at the end is
    // not joined to what comes next, and every lone half becomes U+FFFD.
    static QStringEncoder makeEncoder()
    {
        return QStringEncoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    }
    static void append(QByteArray& bytes, QStringView text, QStringEncoder& encoder)
    {
        const qsizetype used = bytes.size();
        bytes.resize(used + encoder.requiredSpace(text.size()));
        char* const end = encoder.appendToBuffer(bytes.data() + used, text);
        bytes.truncate(end - bytes.constData());
    }

private:
    QByteArray& m_bytes;
    QStringEncoder m_encoder = makeEncoder();
};
