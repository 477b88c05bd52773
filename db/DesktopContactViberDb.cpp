#include "db/DesktopContactViberDb.h"

#include "app/AppDirs.h"
#include "db/PCViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMessageInfo.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QSet>

namespace {

// Shared locations are kept in ten-millionths of a degree.
double degrees(qint64 value)
{
    return double(value) / 1e7;
}

constexpr qint64 MyNotesFlag = qint64(1) << 19;
// Rows an edit adds beside the edited message.
constexpr qint64 EditRowFlags[] = {256, 257};

} // namespace

DesktopContactViberDb::DesktopContactViberDb(const QString& path) : m_path(path) {}

DesktopContactViberDb::~DesktopContactViberDb() = default;

QString DesktopContactViberDb::cleanName(const QString& name)
{
    QString clean;
    clean.reserve(name.size());
    for (const QChar c : name) {
        if (c.unicode() < 0x2066 || c.unicode() > 0x2069)
            clean.append(c);
    }
    return clean.trimmed();
}

void DesktopContactViberDb::open()
{
    if (isOpen())
        return;
    // The desktop app's own, live file: only read it, and wait while the app writes.
    openReadOnly(m_path, m_catalogue, 5000);
}

qint64 DesktopContactViberDb::ownerContactId()
{
    // The account folder is named by the owner's number; ContactID 1 otherwise.
    const QString folderNumber = ViberText::canonicalNumber(QFileInfo(m_path).absoluteDir().dirName());
    if (!folderNumber.isEmpty()) {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral("select ContactID, Number from Contact")));
        while (c.moveNext()) {
            if (ViberText::canonicalNumber(c.getText(1)) == folderNumber)
                return c.getInt64(0);
        }
    }
    return 1;
}

void DesktopContactViberDb::loadInto(ViberDataSet& dataSet)
{
    const qint64 owner = ownerContactId();
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral("select * from Contact")));
        const int iId = c.colIndex(QStringLiteral("ContactID"));
        const int iName = c.colIndex(QStringLiteral("Name"));
        const int iClientName = c.colIndex(QStringLiteral("ClientName"));
        const int iNumber = c.colIndex(QStringLiteral("Number"));
        const int iDownloadId = c.colIndex(QStringLiteral("DownloadID"));
        while (c.moveNext()) {
            const qint64 id = c.getInt64(iId);
            if (id == owner)
                continue;
            _ViberPerson* person = dataSet.persons.obtain(id);
            person->number = c.getText(iNumber).trimmed();
            person->name = cleanName(c.getText(iName));
            if (person->name.isEmpty())
                person->name = cleanName(c.getText(iClientName));
            person->avatarRef = c.getText(iDownloadId);
        }
    }
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral("select * from ChatInfo")));
        const int iId = c.colIndex(QStringLiteral("ChatID"));
        const int iName = c.colIndex(QStringLiteral("Name"));
        const int iToken = c.colIndex(QStringLiteral("Token"));
        const int iFlags = c.colIndex(QStringLiteral("Flags"));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.obtain(c.getInt64(iId));
            chat->name = cleanName(c.getText(iName));
            if (c.getInt64(iFlags) & MyNotesFlag) {
                if (chat->name.isEmpty())
                    chat->name = QStringLiteral("My Notes");
            } else {
                chat->groupId = c.getText(iToken).trimmed();
            }
        }
    }
    {
        Sqlite3Cursor c =
            queryThrow(Sqlite3Sql(QStringLiteral("select ChatID, ContactID from ChatRelation")));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.value(c.getInt64(0));
            _ViberPerson* person = c.getInt64(1) == owner ? nullptr : dataSet.persons.value(c.getInt64(1));
            if (chat && person)
                chat->participants.insert(person->id, person);
        }
    }

    QSet<qint64> reactionEvents;
    if (m_catalogue.hasColumn(QStringLiteral("LikeRelation"), QStringLiteral("LikeEventID"))) {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral("select LikeEventID from LikeRelation")));
        while (c.moveNext())
            reactionEvents.insert(c.getInt64(0));
    }

    const bool hasSortOrder = m_catalogue.hasColumn(QStringLiteral("Events"), QStringLiteral("SortOrder"));
    Sqlite3Cursor c = queryThrow(Sqlite3Sql(
        QStringLiteral(
            "select m.*, e.TimeStamp, e.Direction, e.ContactLongitude, e.ContactLatitude, e.ChatID, "
            "e.ContactID, e.Token from Messages as m inner join Events as e on m.EventID = e.EventID "
            "order by e.TimeStamp%1, e.EventID")
            .arg(hasSortOrder ? QStringLiteral(", e.SortOrder") : QString())));
    const int iEventId = c.colIndex(QStringLiteral("EventID"));
    const int iType = c.colIndex(QStringLiteral("Type"));
    const int iBody = c.colIndex(QStringLiteral("Body"));
    const int iSubject = c.colIndex(QStringLiteral("Subject"));
    const int iInfo = c.colIndex(QStringLiteral("Info"));
    const int iClientFlag = c.colIndex(QStringLiteral("ClientFlag"));
    const int iPayload = c.colIndex(QStringLiteral("PayloadPath"));
    const int iThumbnail = c.colIndex(QStringLiteral("ThumbnailPath"));
    const int iSticker = c.colIndex(QStringLiteral("StickerID"));
    const int iPttId = c.colIndex(QStringLiteral("PttID"));
    const int iDuration = c.colIndex(QStringLiteral("Duration"));
    const int iTime = c.colIndex(QStringLiteral("TimeStamp"));
    const int iDirection = c.colIndex(QStringLiteral("Direction"));
    const int iLng = c.colIndex(QStringLiteral("ContactLongitude"));
    const int iLat = c.colIndex(QStringLiteral("ContactLatitude"));
    const int iChatId = c.colIndex(QStringLiteral("ChatID"));
    const int iContactId = c.colIndex(QStringLiteral("ContactID"));
    const int iToken = c.colIndex(QStringLiteral("Token"));
    const int iMembersReactions = c.colIndex(QStringLiteral("MembersReactions"));
    while (c.moveNext()) {
        _ViberChat* chat = dataSet.chats.value(c.getInt64(iChatId));
        const qint64 eventId = c.getInt64(iEventId);
        const int kind = c.getInt(iType);
        if (!chat || kind == ReactionHelper || reactionEvents.contains(eventId))
            continue;
        const qint64 clientFlag = c.getInt64(iClientFlag);
        if (std::find(std::begin(EditRowFlags), std::end(EditRowFlags), clientFlag) != std::end(EditRowFlags))
            continue;
        const qint64 token = c.getInt64(iToken);
        const QJsonObject info = ViberMessageInfo::parse(c.getText(iInfo));
        if (ViberMessageInfo::editedToken(info, token) != 0)
            continue;

        _ViberMsg* msg = dataSet.messages.obtain(eventId);
        if (msg->chat) // the event id repeats; the first row stays
            continue;
        ViberDataSet::addToChat(chat, msg);
        const qint64 timeMs = c.getInt64(iTime);
        msg->date = ViberDates::unixMsToRef(timeMs);
        msg->stateDate = msg->date;
        msg->token = token;
        msg->seq = token;
        const bool outgoing = c.getInt(iDirection) == 1;
        msg->status = outgoing ? ViberStatus::Delivered : ViberStatus::Received;
        if (!outgoing)
            msg->sender = dataSet.persons.value(c.getInt64(iContactId));
        chat->date = qMax(chat->date, msg->date);

        QVariantMap extra;
        extra.insert(QStringLiteral("Type"), kind);
        if (const QString reactions = c.getText(iMembersReactions);
            !reactions.isEmpty() && reactions.size() < 256)
            extra.insert(QStringLiteral("MembersReactions"), reactions);

        const QString body = c.getText(iBody);
        const QString caption = !body.isEmpty() ? body : c.getText(iSubject);
        const QJsonObject fileInfo = info.value(QLatin1String("fileInfo")).toObject();
        const auto attach = [&]() {
            _ViberAtta* atta = dataSet.attachments.obtain(msg->id);
            ViberDataSet::attach(msg, atta);
            atta->seq = token;
            atta->fileId = QString::number(token);
            atta->fileName = QString::number(token > 0 ? token : timeMs);
            atta->fileSize = ViberMessageInfo::integer(fileInfo.value(QLatin1String("FileSize")));
            atta->localPath = PCViberDb::normalisedPath(c.getText(iPayload));
            atta->previewPath = PCViberDb::normalisedPath(c.getText(iThumbnail));
            const QString suffix = AppDirs::sanitizeFileName(QFileInfo(atta->localPath).suffix());
            if (!suffix.isEmpty())
                atta->fileName += u'.' + suffix;
            return atta;
        };
        const bool gif = fileInfo.value(QLatin1String("mediaInfo"))
                                 .toObject()
                                 .value(QLatin1String("MediaType"))
                                 .toString() == QLatin1String("GIF") ||
                         info.value(QLatin1String("ClientInnerMessageType")).toString() ==
                             QLatin1String("EXPRESSION_PANEL_GIF");

        switch (kind) {
        case Text:
        case Business:
        case Link:
            msg->type = ViberMsgType::Text;
            msg->text = !body.isEmpty() ? body : info.value(QLatin1String("URL")).toString();
            break;
        case ContactCard:
            msg->type = ViberMsgType::Text;
            msg->text = ViberMessageInfo::contactCardText(info, body);
            break;
        case Picture:
        case Video:
        case InstantVideo:
            msg->type = kind == Picture ? ViberMsgType::Picture : ViberMsgType::Video;
            msg->text = caption;
            attach()->duration = kind == Picture ? 0 : double(c.getInt64(iDuration)) / 1000.0;
            break;
        case File:
            if (gif) {
                msg->type = ViberMsgType::Picture;
                msg->text = caption;
                attach();
            } else if (info.contains(QLatin1String("audio_ptt"))) {
                msg->type = ViberMsgType::Voice;
                attach()->duration = double(c.getInt64(iDuration)) / 1000.0;
            } else {
                msg->type = ViberMsgType::Text;
                _ViberAtta* atta = attach();
                const QString named =
                    AppDirs::sanitizeFileName(fileInfo.value(QLatin1String("FileName")).toString());
                if (!named.isEmpty())
                    atta->fileName = named;
                msg->text = ViberMessageInfo::fileText(named, caption);
            }
            break;
        case Sticker:
            msg->type = ViberMsgType::Sticker;
            attach()->fileId = QString::number(c.getInt64(iSticker));
            break;
        case Voice: {
            msg->type = ViberMsgType::Voice;
            _ViberAtta* atta = attach();
            const QString pttId = c.getText(iPttId);
            atta->fileId = pttId;
            const QString name = AppDirs::sanitizeFileName(pttId);
            if (!name.isEmpty())
                atta->fileName = name;
            atta->duration = double(c.getInt64(iDuration)) / 1000.0;
            break;
        }
        case Location:
            msg->type = ViberMsgType::Location;
            msg->location.setLatitude(degrees(c.getInt64(iLat)));
            msg->location.setLongitude(degrees(c.getInt64(iLng)));
            msg->text = body;
            msg->location.setAddress(info.value(QLatin1String("locationInfo"))
                                         .toObject()
                                         .value(QLatin1String("address"))
                                         .toString());
            attach();
            break;
        case ServiceLine:
            msg->type = ViberMsgType::System;
            msg->text =
                !body.isEmpty()
                    ? body
                    : info.value(QLatin1String("pin")).toObject().value(QLatin1String("text")).toString();
            break;
        case DeletedBySender:
            msg->type = ViberMsgType::System;
            msg->text = ViberMessageInfo::deletedText();
            break;
        default:
            msg->type = ViberMsgType::Text;
            msg->text = ViberMessageInfo::unknownKindText(kind, body);
            break;
        }
        msg->setExtra(extra);
    }
}
