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
#include "ops/MessageFilter.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimeZone>

#include <algorithm>
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

// One message's line, written straight into text: building a QJsonObject per message
// and serialising it cost more than the rest of the export together. The output is
// what QJsonDocument writes for the same values, compact, with the keys in its order
// (sorted), so files stay byte for byte as they were.
class JsonLine
{
public:
    explicit JsonLine(QString& text) : m_text(text) {}

    void open()
    {
        m_text += QLatin1Char('{');
        m_first = true;
    }

    void close()
    {
        m_text += QLatin1Char('}');
        m_first = false;
    }

    JsonLine& key(QLatin1String name)
    {
        if (!m_first)
            m_text += QLatin1Char(',');
        m_first = false;
        m_text += QLatin1Char('"');
        m_text += name;
        m_text += QLatin1String("\":");
        return *this;
    }

    void string(const QString& value)
    {
        m_text += QLatin1Char('"');
        qsizetype plain = 0;
        const qsizetype size = value.size();
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t c = value.at(i).unicode();
            if (c >= 0x20 && c != u'"' && c != u'\\')
                continue;
            m_text += QStringView(value).mid(plain, i - plain);
            plain = i + 1;
            m_text += QLatin1Char('\\');
            switch (c) {
            case u'"':
                m_text += QLatin1Char('"');
                break;
            case u'\\':
                m_text += QLatin1Char('\\');
                break;
            case u'\b':
                m_text += QLatin1Char('b');
                break;
            case u'\f':
                m_text += QLatin1Char('f');
                break;
            case u'\n':
                m_text += QLatin1Char('n');
                break;
            case u'\r':
                m_text += QLatin1Char('r');
                break;
            case u'\t':
                m_text += QLatin1Char('t');
                break;
            default:
                m_text += QLatin1String("u00") + QLatin1Char("0123456789abcdef"[c >> 4]) +
                          QLatin1Char("0123456789abcdef"[c & 0xf]);
            }
        }
        m_text += QStringView(value).mid(plain);
        m_text += QLatin1Char('"');
    }

    void integer(qint64 value) { m_text += QString::number(value); }

    void number(double value)
    {
        if (std::isfinite(value))
            m_text += QString::number(value, 'g', QLocale::FloatingPointShortest);
        else
            m_text += QLatin1String("null");
    }

    void null() { m_text += QLatin1String("null"); }

    void isoTime(double refSeconds)
    {
        m_text += QLatin1Char('"');
        ExportMessagesJson::appendIsoTime(m_text, refSeconds);
        m_text += QLatin1Char('"');
    }

    void person(const _ViberPerson& person)
    {
        open();
        key(QLatin1String("name")).string(person.name);
        key(QLatin1String("number")).string(person.number);
        close();
    }

private:
    QString& m_text;
    bool m_first = true;
};

} // namespace

ExportMessagesJson::ExportMessagesJson(const QString& folder, const QString& fileName, const _ViberChat& chat,
                                       bool copyMedia, QJsonArray& index, LocalFileIndex& sources)
    : m_folder(folder), m_fileName(fileName), m_chat(chat), m_copyMedia(copyMedia), m_index(index),
      m_sources(sources), m_file(QDir(folder).filePath(fileName))
{}

QString ExportMessagesJson::isoTime(double refSeconds)
{
    QString text;
    appendIsoTime(text, refSeconds);
    return text;
}

void ExportMessagesJson::appendIsoTime(QString& text, double refSeconds)
{
    const qint64 ms = MessageFilter::unixMs(refSeconds);
    // An explicit offset, so that a reader in another zone, or after a change of
    // daylight-saving time, reads the same instant.
#ifdef Q_OS_UNIX
    // The C library's local time, as QDateTime reads it, but without the tzset() that
    // QDateTime calls first every time: that has the zone file looked up again for each
    // message, which cost more than the rest of the line. The digits are written by hand,
    // as snprintf was the larger part of what remained.
    const time_t seconds = time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    struct tm parts = {};
    if (localtime_r(&seconds, &parts) && parts.tm_year >= 1 - 1900 && parts.tm_year <= 9999 - 1900) {
        const int offsetMinutes = int(std::abs(parts.tm_gmtoff) / 60);
        char digits[] = "0000-00-00T00:00:00.000+00:00";
        const auto put = [&digits](int at, int value, int width) {
            for (int i = at + width - 1; i >= at; --i, value /= 10)
                digits[i] = char('0' + value % 10);
        };
        put(0, parts.tm_year + 1900, 4);
        put(5, parts.tm_mon + 1, 2);
        put(8, parts.tm_mday, 2);
        put(11, parts.tm_hour, 2);
        put(14, parts.tm_min, 2);
        put(17, std::min(parts.tm_sec, 59), 2);
        put(20, int(ms - qint64(seconds) * 1000), 3);
        digits[23] = parts.tm_gmtoff < 0 ? '-' : '+';
        put(24, std::min(offsetMinutes / 60, 99), 2);
        put(27, offsetMinutes % 60, 2);
        text += QLatin1String(digits, sizeof digits - 1);
        return;
    }
#endif
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    text += local.toTimeZone(QTimeZone(local.offsetFromUtc())).toString(Qt::ISODateWithMs);
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

void ExportMessagesJson::appendMessage(QString& text, const _ViberMsg& msg, const QString& attachmentPath)
{
    JsonLine line(text);
    line.open();
    if (msg.attachment && msg.type != ViberMsgType::Sticker && msg.type != ViberMsgType::Location) {
        const _ViberAtta& atta = *msg.attachment;
        line.key(QLatin1String("attachment")).open();
        if (atta.duration > 0)
            line.key(QLatin1String("duration")).number(atta.duration);
        line.key(QLatin1String("name")).string(atta.fileName);
        if (attachmentPath.isEmpty())
            line.key(QLatin1String("path")).null();
        else
            line.key(QLatin1String("path")).string(attachmentPath);
        line.key(QLatin1String("size")).integer(atta.fileSize);
        line.key(QLatin1String("type")).string(ViberCodes::attachmentTypeWord(msg.type));
        line.close();
    }
    if (msg.call) {
        line.key(QLatin1String("call")).open();
        line.key(QLatin1String("duration")).integer(msg.call->duration);
        line.key(QLatin1String("kind")).string(callKindName(msg.call->kind));
        line.close();
    }
    line.key(QLatin1String("direction"))
        .string(ViberText::isOutgoing(msg) ? QStringLiteral("outgoing") : QStringLiteral("incoming"));
    if (msg.type == ViberMsgType::System)
        line.key(QLatin1String("event")).string(ViberText::groupEventText(msg));
    line.key(QLatin1String("id")).integer(msg.id);
    line.key(QLatin1String("kind")).string(kindName(msg.type));
    if (msg.hasLocation()) {
        line.key(QLatin1String("location")).open();
        line.key(QLatin1String("address")).string(msg.address);
        line.key(QLatin1String("latitude")).number(msg.latitude);
        line.key(QLatin1String("longitude")).number(msg.longitude);
        line.close();
    }
    if (msg.sender)
        line.key(QLatin1String("sender")).person(*msg.sender);
    else
        line.key(QLatin1String("sender")).null();
    const QString status = ViberCodes::statusText(msg.status);
    if (!status.isEmpty())
        line.key(QLatin1String("status")).string(status);
    if (msg.type == ViberMsgType::Sticker && msg.attachment) {
        line.key(QLatin1String("sticker")).open();
        line.key(QLatin1String("id")).string(msg.attachment->fileId);
        line.close();
    }
    // The line the text and CSV exports write for the message.
    line.key(QLatin1String("summary")).string(ViberText::summaryText(msg));
    line.key(QLatin1String("text")).string(msg.text);
    line.key(QLatin1String("time")).isoTime(msg.date);
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
    m_line += m_count == 0 ? QLatin1String("\n") : QLatin1String(",\n");
    appendMessage(m_line, msg, path);
    m_file.write(m_line);
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
    if (source.isEmpty())
        return {};
    const QString name = LocalDbPaths::mediaCopyName(source, attachmentName);
    if (name.isEmpty() || !m_sources.hasFile(source))
        return {};
    const QString folder = m_folder.filePath(QLatin1String(MediaFolder));
    if (!QDir().mkpath(folder))
        return {};
    const QString target = AppDirs::uniqueFileName(QDir(folder).filePath(name));
    if (!QFile::copy(source, target))
        return {};
    return QLatin1String(MediaFolder) + QLatin1Char('/') + QFileInfo(target).fileName();
}

void ExportMessagesJson::writeIndex(const QString& folder, const QJsonArray& chats)
{
    TextFileWriter file(QDir(folder).filePath(QLatin1String(IndexFile)));
    file.open();
    const QJsonObject index{{QStringLiteral("format"), QStringLiteral("velliport-index")},
                            {QStringLiteral("version"), FormatVersion},
                            {QStringLiteral("chats"), chats}};
    file.write(QString::fromUtf8(QJsonDocument(index).toJson(QJsonDocument::Indented)));
    file.finish();
}
