#include "ops/ExportMessagesJson.h"

#include "app/AppDirs.h"
#include "app/LocalFileIndex.h"
#include "db/LocalDbPaths.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"
#include "ops/FileBatch.h"
#include "ops/MessageFilter.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <tuple>

namespace {

QJsonObject personObject(const _ViberPerson& person)
{
    return {{QStringLiteral("number"), person.number}, {QStringLiteral("name"), person.name}};
}

QString callKindName(int kind)
{
    switch (kind) {
    case ViberCallKind::Incoming:
        return QStringLiteral("incoming");
    case ViberCallKind::Outgoing:
        return QStringLiteral("outgoing");
    case ViberCallKind::Missed:
        return QStringLiteral("missed");
    default:
        return QStringLiteral("unknown");
    }
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// One message's line, written straight into UTF-8: building a QJsonObject per message
// and serialising it cost more than the rest of the export together, and a line built
// as UTF-16 was encoded again on its way to the file. The output is what QJsonDocument
// writes for the same values, compact, with the keys in its order (sorted), and half a
// surrogate pair becomes U+FFFD as Qt's UTF-8 encoder writes it.
class JsonLine
{
public:
    // Writes after what text holds. Text is written through a cursor into room made ahead,
    // as QByteArray's appends of a few bytes each were a tenth of the export; the text is
    // cut to what was written when the line is done.
    explicit JsonLine(QByteArray& text) : m_text(text), m_used(text.size()) {}
    ~JsonLine() { m_text.truncate(m_used); }
    JsonLine(const JsonLine&) = delete;
    JsonLine& operator=(const JsonLine&) = delete;

    void open()
    {
        put("{");
        m_first = true;
    }

    void close()
    {
        put("}");
        m_first = false;
    }

    template<qsizetype N> JsonLine& key(const char (&name)[N])
    {
        char* out = room(N + 3);
        if (!m_first)
            *out++ = ',';
        m_first = false;
        *out++ = '"';
        out = std::copy_n(name, N - 1, out);
        *out++ = '"';
        *out++ = ':';
        done(out);
        return *this;
    }

    void string(QStringView value)
    {
        // Room for the longest a unit can become: a control takes six characters.
        char* out = room(2 + 6 * value.size());
        *out++ = '"';
        const char16_t* in = value.utf16();
        const char16_t* const end = in + value.size();
        while (in != end) {
            const char16_t c = *in++;
            if (c < 0x80) {
                if (c >= 0x20 && c != u'"' && c != u'\\')
                    *out++ = char(c);
                else
                    out = escape(out, c);
            } else if (c < 0x800) {
                *out++ = char(0xc0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3f));
            } else if (!QChar::isSurrogate(c)) {
                *out++ = char(0xe0 | (c >> 12));
                *out++ = char(0x80 | ((c >> 6) & 0x3f));
                *out++ = char(0x80 | (c & 0x3f));
            } else if (QChar::isHighSurrogate(c) && in != end && QChar::isLowSurrogate(*in)) {
                const char32_t code = QChar::surrogateToUcs4(c, *in++);
                *out++ = char(0xf0 | (code >> 18));
                *out++ = char(0x80 | ((code >> 12) & 0x3f));
                *out++ = char(0x80 | ((code >> 6) & 0x3f));
                *out++ = char(0x80 | (code & 0x3f));
            } else {
                *out++ = char(0xef);
                *out++ = char(0xbf);
                *out++ = char(0xbd);
            }
        }
        *out++ = '"';
        done(out);
    }

    void integer(qint64 value)
    {
        char* out = room(20); // the longest qint64, with its sign
        done(std::to_chars(out, out + 20, value).ptr);
    }

    void number(double value)
    {
        if (std::isfinite(value))
            put(QByteArray::number(value, 'g', QLocale::FloatingPointShortest));
        else
            null();
    }

    void null() { put("null"); }

    void isoTime(double refSeconds)
    {
        char text[ExportMessagesJson::IsoTimeSize];
        const qsizetype size = ExportMessagesJson::formatIsoTime(text, refSeconds);
        put("\"");
        if (size > 0)
            put(QByteArrayView(text, size));
        else
            put(ExportMessagesJson::isoTime(refSeconds).toUtf8());
        put("\"");
    }

    void person(const _ViberPerson& person)
    {
        open();
        key("name").string(person.name);
        key("number").string(person.number);
        close();
    }

private:
    static char* escape(char* out, char16_t c)
    {
        *out++ = '\\';
        switch (c) {
        case u'"':
            *out++ = '"';
            break;
        case u'\\':
            *out++ = '\\';
            break;
        case u'\b':
            *out++ = 'b';
            break;
        case u'\f':
            *out++ = 'f';
            break;
        case u'\n':
            *out++ = 'n';
            break;
        case u'\r':
            *out++ = 'r';
            break;
        case u'\t':
            *out++ = 't';
            break;
        default:
            *out++ = 'u';
            *out++ = '0';
            *out++ = '0';
            *out++ = "0123456789abcdef"[c >> 4];
            *out++ = "0123456789abcdef"[c & 0xf];
        }
        return out;
    }

    char* room(qsizetype size)
    {
        if (m_text.size() - m_used < size)
            m_text.resize(std::max(m_used + size, 2 * m_text.size()));
        return m_text.data() + m_used;
    }

    void done(const char* end) { m_used = end - m_text.constData(); }

    void put(QByteArrayView bytes) { done(std::copy_n(bytes.data(), bytes.size(), room(bytes.size()))); }

    QByteArray& m_text;
    qsizetype m_used;
    bool m_first = true;
};

} // namespace

ExportMessagesJson::ExportMessagesJson(const QString& folder, const QString& fileName, const _ViberChat& chat,
                                       bool copyMedia, QJsonArray& index, LocalFileIndex& sources,
                                       FileBatch& batch)
    : m_folder(folder), m_fileName(fileName), m_chat(chat), m_copyMedia(copyMedia), m_index(index),
      m_sources(sources), m_batch(batch), m_file(QDir(folder).filePath(fileName), &batch)
{}

QString ExportMessagesJson::isoTime(double refSeconds)
{
    char digits[IsoTimeSize];
    const qsizetype size = formatIsoTime(digits, refSeconds);
    if (size > 0)
        return QString::fromLatin1(digits, size);
    // An explicit offset, so that a reader in another zone, or after a change of
    // daylight-saving time, reads the same instant.
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(MessageFilter::unixMs(refSeconds));
    return local.toTimeZone(QTimeZone(local.offsetFromUtc())).toString(Qt::ISODateWithMs);
}

qsizetype ExportMessagesJson::formatIsoTime(char (&text)[IsoTimeSize], double refSeconds)
{
#ifdef Q_OS_UNIX
    // The C library's local time, as QDateTime reads it, but without the tzset() that
    // QDateTime calls first every time: that has the zone file looked up again for each
    // message, which cost more than the rest of the line. The digits are written by hand,
    // as snprintf was the larger part of what remained.
    const qint64 ms = MessageFilter::unixMs(refSeconds);
    const time_t seconds = time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    struct tm parts = {};
    if (!localtime_r(&seconds, &parts) || parts.tm_year < 1 - 1900 || parts.tm_year > 9999 - 1900)
        return 0;
    const int offsetMinutes = int(std::abs(parts.tm_gmtoff) / 60);
    static constexpr char Pattern[] = "0000-00-00T00:00:00.000+00:00";
    static_assert(sizeof Pattern - 1 == IsoTimeSize);
    std::copy(std::begin(Pattern), std::end(Pattern) - 1, text);
    const auto put = [&text](int at, int value, int width) {
        for (int i = at + width - 1; i >= at; --i, value /= 10)
            text[i] = char('0' + value % 10);
    };
    put(0, parts.tm_year + 1900, 4);
    put(5, parts.tm_mon + 1, 2);
    put(8, parts.tm_mday, 2);
    put(11, parts.tm_hour, 2);
    put(14, parts.tm_min, 2);
    put(17, std::min(parts.tm_sec, 59), 2);
    put(20, int(ms - qint64(seconds) * 1000), 3);
    text[23] = parts.tm_gmtoff < 0 ? '-' : '+';
    put(24, std::min(offsetMinutes / 60, 99), 2);
    put(27, offsetMinutes % 60, 2);
    return IsoTimeSize;
#else
    Q_UNUSED(text);
    Q_UNUSED(refSeconds);
    return 0;
#endif
}

QString ExportMessagesJson::kindName(int msgType)
{
    switch (msgType) {
    case ViberMsgType::Call:
        return QStringLiteral("call");
    case ViberMsgType::Picture:
        return QStringLiteral("picture");
    case ViberMsgType::Location:
        return QStringLiteral("location");
    case ViberMsgType::System:
        return QStringLiteral("system");
    case ViberMsgType::Voice:
        return QStringLiteral("voice");
    case ViberMsgType::Sticker:
        return QStringLiteral("sticker");
    case ViberMsgType::Text:
        return QStringLiteral("text");
    case ViberMsgType::Video:
        return QStringLiteral("video");
    default:
        return QStringLiteral("unknown");
    }
}

QJsonObject ExportMessagesJson::chatObject(const _ViberChat& chat)
{
    // By number, as the chat keeps them in a hash whose order changes from run to run.
    QList<const _ViberPerson*> persons(chat.participants.cbegin(), chat.participants.cend());
    std::sort(persons.begin(), persons.end(), [](const _ViberPerson* a, const _ViberPerson* b) {
        return std::tie(a->number, a->name, a->id) < std::tie(b->number, b->name, b->id);
    });
    QJsonArray participants;
    for (const _ViberPerson* person : std::as_const(persons))
        participants.append(personObject(*person));
    return {{QStringLiteral("id"), chat.id},
            {QStringLiteral("title"), ViberText::chatTitle(chat)},
            {QStringLiteral("group"), chat.isGroup()},
            {QStringLiteral("participants"), participants}};
}

void ExportMessagesJson::appendMessage(QByteArray& text, const _ViberMsg& msg, const QString& attachmentPath)
{
    JsonLine line(text);
    line.open();
    if (msg.attachment && msg.type != ViberMsgType::Sticker && msg.type != ViberMsgType::Location) {
        const _ViberAtta& atta = *msg.attachment;
        line.key("attachment").open();
        if (atta.duration > 0)
            line.key("duration").number(atta.duration);
        line.key("name").string(atta.fileName);
        if (attachmentPath.isEmpty())
            line.key("path").null();
        else
            line.key("path").string(attachmentPath);
        line.key("size").integer(atta.fileSize);
        line.key("type").string(ViberCodes::attachmentTypeWord(msg.type));
        line.close();
    }
    if (msg.call) {
        line.key("call").open();
        line.key("duration").integer(msg.call->duration);
        line.key("kind").string(callKindName(msg.call->kind));
        line.close();
    }
    line.key("direction")
        .string(ViberText::isOutgoing(msg) ? QStringLiteral("outgoing") : QStringLiteral("incoming"));
    if (msg.type == ViberMsgType::System)
        line.key("event").string(ViberText::groupEventText(msg));
    line.key("id").integer(msg.id);
    line.key("kind").string(kindName(msg.type));
    if (msg.hasLocation()) {
        line.key("location").open();
        line.key("address").string(msg.location.address());
        line.key("latitude").number(msg.location.latitude());
        line.key("longitude").number(msg.location.longitude());
        line.close();
    }
    if (msg.sender)
        line.key("sender").person(*msg.sender);
    else
        line.key("sender").null();
    const QString status = ViberCodes::statusText(msg.status);
    if (!status.isEmpty())
        line.key("status").string(status);
    if (msg.type == ViberMsgType::Sticker && msg.attachment) {
        line.key("sticker").open();
        line.key("id").string(msg.attachment->fileId);
        line.close();
    }
    // The line the text and CSV exports write for the message.
    line.key("summary").string(ViberText::summaryText(msg));
    line.key("text").string(msg.text);
    line.key("time").isoTime(msg.date);
    line.close();
}

void ExportMessagesJson::begin()
{
    m_file.open();
    QJsonObject head{{QStringLiteral("format"), QStringLiteral("velliport-chat")},
                     {QStringLiteral("version"), FormatVersion},
                     {QStringLiteral("chat"), chatObject(m_chat)}};
    // The head is written as an object missing its closing brace, so that the messages
    // follow it one by one instead of being gathered into one document.
    QByteArray text = compact(head);
    text.chop(1);
    m_file.write(QString::fromUtf8(text) + QStringLiteral(",\"messages\":["));
}

void ExportMessagesJson::write(const _ViberMsg& msg)
{
    QString path;
    if (m_copyMedia && msg.attachment && msg.type != ViberMsgType::Sticker &&
        msg.type != ViberMsgType::Location)
        path = copyMedia(msg.attachment->localPath, msg.attachment->fileName);
    m_line.truncate(0); // keeps the capacity from line to line
    m_line += m_count == 0 ? "\n" : ",\n";
    appendMessage(m_line, msg, path);
    m_file.writeUtf8(m_line);
    if (m_count == 0 || msg.date < m_first)
        m_first = msg.date;
    if (m_count == 0 || msg.date > m_last)
        m_last = msg.date;
    ++m_count;
}

void ExportMessagesJson::end()
{
    m_file.write(QStringLiteral("\n]}\n"));
    m_file.finish();
    QJsonObject entry = chatObject(m_chat);
    entry.insert(QStringLiteral("file"), m_fileName);
    entry.insert(QStringLiteral("messages"), m_count);
    entry.insert(QStringLiteral("first"), m_count ? QJsonValue(isoTime(m_first)) : QJsonValue());
    entry.insert(QStringLiteral("last"), m_count ? QJsonValue(isoTime(m_last)) : QJsonValue());
    m_index.append(entry);
}

// A file name from the data is made safe and kept apart from the others by a number;
// a file missing on this computer is named in the message but has no path.
QString ExportMessagesJson::copyMedia(const QString& source, const QString& attachmentName)
{
    // Whether the file is there is a look-up in its folder's listing; the name is worked
    // out only for a file to copy.
    if (source.isEmpty() || !m_sources.hasFile(source))
        return {};
    const QString name = LocalDbPaths::mediaCopyName(source, attachmentName);
    if (name.isEmpty())
        return {};
    const QString folder = m_folder.filePath(QLatin1String(MediaFolder));
    if (!QDir().mkpath(folder))
        return {};
    const QString target = AppDirs::uniqueFileName(QDir(folder).filePath(name));
    if (!m_batch.copyNew(source, target))
        return {};
    return QLatin1String(MediaFolder) + QLatin1Char('/') + QFileInfo(target).fileName();
}

void ExportMessagesJson::writeIndex(const QString& folder, const QJsonArray& chats, FileBatch& batch)
{
    TextFileWriter file(QDir(folder).filePath(QLatin1String(IndexFile)), &batch);
    file.open();
    const QJsonObject index{{QStringLiteral("format"), QStringLiteral("velliport-index")},
                            {QStringLiteral("version"), FormatVersion},
                            {QStringLiteral("chats"), chats}};
    file.write(QString::fromUtf8(QJsonDocument(index).toJson(QJsonDocument::Indented)));
    file.finish();
}
