#include "db/PCViberDb.h"

#include "app/AppDirs.h"
#include "db/CoordinateScale.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString ChatsSql = QStringLiteral("select c.*, n.rowid as PersonId, n.* from ChatInfo as c left join "
                                        "OriginNumberInfo as n on n.Number = c.Token");
const QString MembersSql =
    QStringLiteral("select r.ChatId, n.rowid as PersonId, n.* from ChatRelation as r inner "
                   "join OriginNumberInfo as n on r.Number = n.Number");
const QString PersonsSql = QStringLiteral("select n.rowid as PersonId, n.* from OriginNumberInfo as n");
const QString MessagesSql = QStringLiteral(
    "select m.*, e.TimeStamp, e.Direction, e.ContactLongitude, e.ContactLatitude, e.ChatID, e.Number, "
    "e.Token, "
    "n.rowid as PersonId from Messages as m inner join Events as e on m.EventId = e.EventId left join "
    "OriginNumberInfo as n on n.Number = e.Number");
const QString CallsSql = QStringLiteral(
    "select c.*, e.TimeStamp, e.Direction, e.ChatID, e.Number, e.Token, n.rowid as PersonId from Calls as c "
    "inner join Events as e on c.EventId = e.EventId left join OriginNumberInfo as n on n.Number = e.Number");

// The first bit set decides; the order matters for rows that carry several.
int messageType(qint64 typeBits)
{
    static constexpr struct
    {
        qint64 bit;
        int type;
    } Kinds[] = {
        {0x40, ViberMsgType::Text},   {0x80, ViberMsgType::Picture},    {0x10000, ViberMsgType::Voice},
        {0x200, ViberMsgType::Video}, {0x1000, ViberMsgType::Location}, {0x800, ViberMsgType::Sticker},
    };
    for (const auto& kind : Kinds) {
        if (typeBits & kind.bit)
            return kind.type;
    }
    return 0;
}

// The columns that describe a person in every query joining OriginNumberInfo.
struct PersonColumns
{
    explicit PersonColumns(const Sqlite3Cursor& c)
        : id(c.colIndex(QStringLiteral("PersonId"))), number(c.colIndex(QStringLiteral("Number"))),
          name(c.colIndex(QStringLiteral("ClientName"))), avatar(c.colIndex(QStringLiteral("AvatarPath")))
    {}

    _ViberPerson* obtain(const Sqlite3Cursor& c, ViberDataSet& dataSet) const
    {
        const qint64 personId = c.getInt64(id);
        if (_ViberPerson* known = dataSet.persons.value(personId))
            return known;
        auto person = std::make_unique<_ViberPerson>();
        person->id = personId;
        person->number = c.getText(number);
        person->name = c.getText(name);
        person->photoPath = PCViberDb::normalisedPath(c.getText(avatar));
        return dataSet.persons.insert(std::move(person));
    }

    int id, number, name, avatar;
};

} // namespace

QString PCViberDb::normalisedPath(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

PCViberDb::PCViberDb(const QString& path) : m_path(path) {}

PCViberDb::~PCViberDb() = default;

void PCViberDb::open()
{
    if (isOpen())
        return;
    // This is the desktop app's own, live file: only read it, and wait a moment
    // while the app is writing instead of failing at once.
    openReadOnly(m_path, m_catalogue, 5000);
}

void PCViberDb::loadInto(ViberDataSet& dataSet)
{
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(ChatsSql));
        const PersonColumns person(c);
        const int iChatId = c.colIndex(QStringLiteral("ChatId"));
        const int iTime = c.colIndex(QStringLiteral("TimeStamp"));
        const int iName = c.colIndex(QStringLiteral("Name"));
        const int iToken = c.colIndex(QStringLiteral("Token"));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.obtain(c.getInt64(iChatId));
            chat->date = ViberDates::unixSecondsToRef(c.getInt64(iTime));
            if (!c.isNull(person.id)) {
                _ViberPerson* peer = person.obtain(c, dataSet);
                chat->participants.insert(peer->id, peer);
            } else {
                chat->name = c.getText(iName);
                chat->groupId = c.getText(iToken);
            }
        }
    }
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(MembersSql));
        const PersonColumns person(c);
        const int iChatId = c.colIndex(QStringLiteral("ChatId"));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.value(c.getInt64(iChatId));
            if (!chat || !chat->isGroup())
                continue;
            _ViberPerson* member = person.obtain(c, dataSet);
            chat->participants.insert(member->id, member);
        }
    }
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(PersonsSql));
        const PersonColumns person(c);
        while (c.moveNext())
            person.obtain(c, dataSet);
    }

    const bool hasDuration = m_catalogue.hasColumn(QStringLiteral("Messages"), QStringLiteral("Duration"));
    const bool hasPttDuration =
        m_catalogue.hasColumn(QStringLiteral("Messages"), QStringLiteral("PttDuration"));
    const QString pttFolder = QDir::homePath() + QLatin1String("/Documents/ViberDownloads/PTT/");
    {
        const CoordinateScale coordinates =
            CoordinateScale::ofTable(*this, "Events", "ContactLatitude", "ContactLongitude");
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(MessagesSql));
        const int iEventId = c.colIndex(QStringLiteral("EventID"));
        const int iType = c.colIndex(QStringLiteral("Type"));
        const int iPayload = c.colIndex(QStringLiteral("PayloadPath"));
        const int iThumbnail = c.colIndex(QStringLiteral("ThumbnailPath"));
        const int iSubject = c.colIndex(QStringLiteral("Subject"));
        const int iDuration = hasDuration ? c.colIndex(QStringLiteral("Duration")) : -1;
        const int iPttId = c.colIndex(QStringLiteral("PttID"));
        const int iPttDuration = hasPttDuration ? c.colIndex(QStringLiteral("PttDuration")) : -1;
        const int iSticker = c.colIndex(QStringLiteral("StickerID"));
        const int iBody = c.colIndex(QStringLiteral("Body"));
        const int iTime = c.colIndex(QStringLiteral("TimeStamp"));
        const int iDirection = c.colIndex(QStringLiteral("Direction"));
        const int iLng = c.colIndex(QStringLiteral("ContactLongitude"));
        const int iLat = c.colIndex(QStringLiteral("ContactLatitude"));
        const int iChatId = c.colIndex(QStringLiteral("ChatID"));
        const int iToken = c.colIndex(QStringLiteral("Token"));
        const int iPersonId = c.colIndex(QStringLiteral("PersonId"));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.value(c.getInt64(iChatId));
            if (!chat)
                continue;
            const int type = messageType(c.getInt64(iType));
            if (type == 0)
                continue;
            _ViberMsg* msg = dataSet.messages.obtain(c.getInt64(iEventId));
            if (msg->chat) // the event id repeats; the first row stays
                continue;
            const qint64 timeStamp = c.getInt64(iTime);
            msg->token = c.getInt64(iToken);
            msg->seq = msg->token;
            msg->location.setLatitude(coordinates.latitude(c.getInt64(iLat)));
            msg->location.setLongitude(coordinates.longitude(c.getInt64(iLng)));
            msg->date = ViberDates::unixSecondsToRef(timeStamp);
            msg->stateDate = msg->date;
            msg->status = c.getInt(iDirection) == 1 ? ViberStatus::Delivered : ViberStatus::Received;
            msg->type = type;
            ViberDataSet::addToChat(chat, msg);
            if (!ViberText::isOutgoing(*msg))
                msg->sender = dataSet.persons.value(c.getInt64(iPersonId));

            if (type == ViberMsgType::Text) {
                msg->text = c.getText(iBody);
                continue;
            }
            _ViberAtta* atta = dataSet.attachments.obtain(msg->id);
            ViberDataSet::attach(msg, atta);
            atta->seq = msg->token;
            // Without a token the key is the time in milliseconds, which a damaged row may
            // not have: then the attachment has no file name.
            qint64 timeMs = 0;
            QString fileKey;
            if (msg->token > 0)
                fileKey = QString::number(msg->token);
            else if (!qMulOverflow(timeStamp, qint64(1000), &timeMs))
                fileKey = QString::number(timeMs);
            else
                qWarning("event %lld: time stamp %lld is out of range", msg->id, timeStamp);
            switch (type) {
            case ViberMsgType::Picture:
            case ViberMsgType::Video: {
                atta->fileId = QString::number(msg->token);
                atta->fileName = fileKey;
                atta->localPath = normalisedPath(c.getText(iPayload));
                atta->previewPath = normalisedPath(c.getText(iThumbnail));
                if (iDuration >= 0)
                    atta->duration = double(c.getInt64(iDuration) / 1000);
                msg->text = c.getText(iSubject);
                const QString suffix = QFileInfo(atta->localPath).suffix();
                if (!suffix.isEmpty() && !fileKey.isEmpty())
                    atta->fileName += QLatin1Char('.') + suffix;
                break;
            }
            case ViberMsgType::Location:
                atta->fileName = fileKey;
                break;
            case ViberMsgType::Voice: {
                const QString pttId = c.getText(iPttId);
                atta->fileId = pttId;
                const QString name = AppDirs::sanitizeFileName(pttId);
                atta->fileName = name;
                if (iDuration >= 0)
                    atta->duration = double(c.getInt64(iDuration) / 1000);
                else if (iPttDuration >= 0)
                    atta->duration = double(c.getInt64(iPttDuration) / 1000);
                if (!name.isEmpty())
                    atta->localPath = AppDirs::pathInside(pttFolder, name);
                break;
            }
            case ViberMsgType::Sticker:
                atta->fileId = QString::number(c.getInt64(iSticker));
                atta->fileName = fileKey;
                break;
            default:
                break;
            }
        }
    }
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(CallsSql));
        const int iEventId = c.colIndex(QStringLiteral("EventID"));
        const int iDuration = c.colIndex(QStringLiteral("Duration"));
        const int iTime = c.colIndex(QStringLiteral("TimeStamp"));
        const int iDirection = c.colIndex(QStringLiteral("Direction"));
        const int iChatId = c.colIndex(QStringLiteral("ChatID"));
        const int iToken = c.colIndex(QStringLiteral("Token"));
        const int iPersonId = c.colIndex(QStringLiteral("PersonId"));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.value(c.getInt64(iChatId));
            _ViberPerson* person = dataSet.persons.value(c.getInt64(iPersonId));
            if (!chat || !person || c.isNull(iPersonId))
                continue;
            const qint64 eventId = c.getInt64(iEventId);
            if (dataSet.messages.contains(eventId) || dataSet.calls.contains(eventId))
                continue;
            auto msg = std::make_unique<_ViberMsg>();
            msg->id = eventId;
            msg->token = c.getInt64(iToken);
            msg->seq = msg->token;
            msg->date = ViberDates::unixSecondsToRef(c.getInt64(iTime));
            msg->stateDate = msg->date;
            const bool outgoing = c.getInt(iDirection) == 1;
            msg->status = outgoing ? ViberStatus::Delivered : ViberStatus::Received;
            msg->type = ViberMsgType::Call;

            auto call = std::make_unique<_ViberCall>();
            call->id = eventId;
            call->token = msg->token;
            call->duration = c.getInt(iDuration);
            call->date = msg->date;
            if (outgoing)
                call->kind = ViberCallKind::Outgoing;
            else
                call->kind = call->duration != 0 ? ViberCallKind::Incoming : ViberCallKind::Missed;
            call->person = person;

            _ViberMsg* stored = dataSet.messages.insert(std::move(msg));
            stored->call = dataSet.calls.insert(std::move(call));
            ViberDataSet::addToChat(chat, stored);
        }
    }
}
