#include "ops/ExportMessagesJson.h"

#include "app/AppDirs.h"
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

} // namespace

ExportMessagesJson::ExportMessagesJson(const QString& folder, const QString& fileName, const _ViberChat& chat,
                                       bool copyMedia, QJsonArray& index)
    : m_folder(folder), m_fileName(fileName), m_chat(chat), m_copyMedia(copyMedia), m_index(index),
      m_file(QDir(folder).filePath(fileName))
{}

QString ExportMessagesJson::isoTime(double refSeconds)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(MessageFilter::unixMs(refSeconds));
    // An explicit offset, so that a reader in another zone, or after a change of
    // daylight-saving time, reads the same instant.
    return local.toTimeZone(QTimeZone(local.offsetFromUtc())).toString(Qt::ISODateWithMs);
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

QJsonObject ExportMessagesJson::messageObject(const _ViberMsg& msg, const QString& attachmentPath)
{
    QJsonObject object{
        {QStringLiteral("id"), msg.id},
        {QStringLiteral("time"), isoTime(msg.date)},
        {QStringLiteral("direction"),
         ViberText::isOutgoing(msg) ? QStringLiteral("outgoing") : QStringLiteral("incoming")},
        {QStringLiteral("kind"), kindName(msg.type)},
        {QStringLiteral("text"), msg.text},
        // The line the text and CSV exports write for the message.
        {QStringLiteral("summary"), ViberText::summaryText(msg)},
    };
    object.insert(QStringLiteral("sender"),
                  msg.sender ? QJsonValue(personObject(*msg.sender)) : QJsonValue());
    const QString status = ViberCodes::statusText(msg.status);
    if (!status.isEmpty())
        object.insert(QStringLiteral("status"), status);
    if (msg.attachment && msg.type != ViberMsgType::Sticker && msg.type != ViberMsgType::Location) {
        const _ViberAtta& atta = *msg.attachment;
        QJsonObject attachment{{QStringLiteral("type"), ViberCodes::attachmentTypeWord(msg.type)},
                               {QStringLiteral("name"), atta.fileName},
                               {QStringLiteral("size"), atta.fileSize}};
        attachment.insert(QStringLiteral("path"),
                          attachmentPath.isEmpty() ? QJsonValue() : QJsonValue(attachmentPath));
        if (atta.duration > 0)
            attachment.insert(QStringLiteral("duration"), atta.duration);
        object.insert(QStringLiteral("attachment"), attachment);
    }
    if (msg.hasLocation()) {
        object.insert(QStringLiteral("location"), QJsonObject{{QStringLiteral("latitude"), msg.latitude},
                                                              {QStringLiteral("longitude"), msg.longitude},
                                                              {QStringLiteral("address"), msg.address}});
    }
    if (msg.type == ViberMsgType::Sticker && msg.attachment)
        object.insert(QStringLiteral("sticker"), QJsonObject{{QStringLiteral("id"), msg.attachment->fileId}});
    if (msg.call) {
        object.insert(QStringLiteral("call"),
                      QJsonObject{{QStringLiteral("kind"), callKindName(msg.call->kind)},
                                  {QStringLiteral("duration"), msg.call->duration}});
    }
    if (msg.type == ViberMsgType::System)
        object.insert(QStringLiteral("event"), ViberText::groupEventText(msg));
    return object;
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
    m_file.write((m_count == 0 ? QStringLiteral("\n") : QStringLiteral(",\n")) +
                 QString::fromUtf8(compact(messageObject(msg, path))));
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
    const QFileInfo info(source);
    const QString name = LocalDbPaths::mediaCopyName(source, attachmentName);
    if (source.isEmpty() || name.isEmpty() || !info.isFile())
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
