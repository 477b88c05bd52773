#include "db/ModernAndroidViberDb.h"

#include "app/AppDirs.h"
#include "app/BlobCodec.h"
#include "db/AndroidViberDb.h"
#include "db/ExtraBlobWriter.h"
#include "db/SharedValues.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMessageInfo.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <tuple>
#include <vector>

namespace {

constexpr auto ViberFiles = "Android/data/com.viber.voip/files/";
constexpr qsizetype MaxInfoLength = 256 * 1024;
constexpr qsizetype MaxPathLength = 4096;
constexpr qsizetype MaxMemberIdLength = 256;

// A file URI or absolute path on the phone, decoded; empty for other schemes.
QString phonePathOf(const QString& uri)
{
    if (uri.isEmpty() || uri.size() > MaxPathLength)
        return {};
    if (uri.startsWith(u'/'))
        return uri;
    const QUrl url(uri, QUrl::StrictMode);
    return url.isValid() && url.isLocalFile() ? url.toLocalFile() : QString();
}

bool looksLikePath(const QString& text)
{
    return text.startsWith(u'/') || text.startsWith(QLatin1String("file:")) ||
           text.startsWith(QLatin1String("content:"));
}

// The visible texts of a formatted message's body: a JSON array of parts, each with
// its text under "Text". A body that is not such an array is shown as stored.
QString formattedText(const QString& body)
{
    if (body.size() > MaxInfoLength)
        return body;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    if (!doc.isArray())
        return body;
    QStringList parts;
    for (const QJsonValue& part : doc.array()) {
        const QString text = part.toObject().value(QLatin1String("Text")).toString();
        if (!text.isEmpty())
            parts.append(text);
    }
    return parts.isEmpty() ? body : parts.join(QLatin1Char('\n'));
}

// Call durations are whole seconds; damaged values give 0 rather than an overflow.
int durationSeconds(qint64 value)
{
    return value > 0 && value <= std::numeric_limits<int>::max() ? int(value) : 0;
}

int callKindOf(qint64 type, const QString& body)
{
    return type > 0 ? int(type) : ViberCodes::callKindOfBubble(body);
}

// Name to show for one participants_info card: the address book's, then the one the
// person gave, then Viber's profile name.
QString cardName(const Sqlite3Cursor& c)
{
    for (const char* column : {"contact_name", "display_name", "viber_name"}) {
        const QString name = c.getText(QLatin1String(column)).trimmed();
        if (!name.isEmpty())
            return name;
    }
    return {};
}

// The columns the records take from a messages row; a generation that lacks one reads
// it as empty.
const char* const ModernMessageColumns[] = {"_id",
                                            "conversation_id",
                                            "participant_id",
                                            "msg_date",
                                            "order_key",
                                            "token",
                                            "seq",
                                            "send_type",
                                            "extra_mime",
                                            "body",
                                            "description",
                                            "msg_info",
                                            "extra_uri",
                                            "extra_upload_id",
                                            "extra_download_id",
                                            "extra_duration",
                                            "location_lat",
                                            "location_lng",
                                            "status",
                                            "unread",
                                            "likes_count",
                                            "extra_flags",
                                            "quoted_message_data"};

// Chat order: Viber's own is by msg_date, then order_key; restored history gets later
// ids, so _id only breaks ties. A NULL comes first, as SQLite sorts it.
class ChatOrder
{
public:
    void add(_ViberMsg* msg, const Sqlite3Cursor& c, int iDate, int iOrderKey)
    {
        m_rows.push_back({key(c, iDate), key(c, iOrderKey), msg});
    }

    // A message with no row of its own: its date, and no order key.
    void add(_ViberMsg* msg, qint64 date)
    {
        m_rows.push_back({date, std::numeric_limits<qint64>::min(), msg});
    }

    // Appends every message to its chat's list, in chat order.
    void fillChats()
    {
        std::sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
            return std::tie(a.date, a.orderKey, a.msg->id) < std::tie(b.date, b.orderKey, b.msg->id);
        });
        for (const Row& row : m_rows)
            row.msg->chat->messages.append(row.msg);
        m_rows = {};
    }

private:
    // A NULL as the lowest value: a stored value equal to it still sorts beside it, and
    // _id decides between the two.
    static qint64 key(const Sqlite3Cursor& c, int index)
    {
        return index < 0 || c.isNull(index) ? std::numeric_limits<qint64>::min() : c.getInt64(index);
    }

    struct Row
    {
        qint64 date;
        qint64 orderKey;
        _ViberMsg* msg;
    };
    std::vector<Row> m_rows; // one per message until the scan ends
};

} // namespace

ModernAndroidViberDb::ModernAndroidViberDb(const QString& deviceRoot, const QString& extractRoot,
                                           const QString& mediaRoot)
    : m_deviceRoot(deviceRoot), m_extractRoot(extractRoot),
      m_mediaRoot(mediaRoot.isEmpty() ? extractRoot : mediaRoot)
{}

ModernAndroidViberDb::~ModernAndroidViberDb() = default;

QString ModernAndroidViberDb::messagesDbPath() const
{
    return AndroidViberDb(m_deviceRoot, m_extractRoot).messagesDbPath();
}

QString ModernAndroidViberDb::dataDbPath() const
{
    return AndroidViberDb(m_deviceRoot, m_extractRoot).dataDbPath();
}

double ModernAndroidViberDb::microdegrees(qint64 value)
{
    return double(value) / 1e6;
}

QString ModernAndroidViberDb::localMediaPath(const QString& phoneUri) const
{
    const QString path = phonePathOf(phoneUri.trimmed());
    if (path.isEmpty())
        return {};
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return {};
    }
    if (path.split(u'/').contains(QStringLiteral("..")))
        return {};
    const QString cleaned = QDir::cleanPath(path);
    // Android names the same storage by several paths; the app's folder is what counts.
    const qsizetype at = cleaned.indexOf(u'/' + QLatin1String(ViberFiles));
    if (at < 0)
        return {};
    const QString relative = cleaned.mid(at + 1);
    if (QFileInfo(relative).fileName().isEmpty())
        return {};
    return QDir::cleanPath(
        QDir(m_mediaRoot).absoluteFilePath(QStringLiteral("ab-extract/sdcard/") + relative));
}

void ModernAndroidViberDb::open()
{
    if (isOpen())
        return;
    try {
        // The cache keeps the phone's file as fetched; reading never changes it. The
        // connection is the loading worker's alone, so SQLite's lock around each call
        // is left out.
        openThrow(messagesDbPath(), OpenReadOnly | OpenNoMutex);
        applyDefensiveSettings();
        registerFallbackCollation(QStringLiteral("LOCALIZED"));
        registerFallbackCollation(QStringLiteral("UNICODE"));
        m_catalogue.readCatalogue(*this);
    } catch (...) {
        m_catalogue.clear();
        close();
        throw;
    }
}

void ModernAndroidViberDb::loadInto(ViberDataSet& dataSet)
{
    m_personByInfo.clear();
    m_infoByParticipant.clear();
    m_personByNumber.clear();
    m_callByToken.clear();
    m_logCalls.clear();
    m_callsWithBubble.clear();
    m_directChat.clear();
    m_nextMadeUpId = -1;
    loadPeople(dataSet);
    loadChats(dataSet);
    loadCallLog(dataSet);
    loadMessages(dataSet);
}

void ModernAndroidViberDb::loadPeople(ViberDataSet& dataSet)
{
    // Cards with a real number come first, so that a person seen through a second,
    // encrypted card keeps the number of the first.
    const bool typed =
        m_catalogue.hasColumn(QStringLiteral("participants_info"), QStringLiteral("participant_type"));
    Sqlite3Cursor c = queryThrow(Sqlite3Sql(
        typed ? QStringLiteral("select * from participants_info order by participant_type <> 1, _id")
              : QStringLiteral("select * from participants_info order by _id")));
    const int iId = c.colIndex(QStringLiteral("_id"));
    const int iType = typed ? c.colIndex(QStringLiteral("participant_type")) : -1;
    const int iNumber = c.colIndex(QStringLiteral("number"));
    const int iImage = c.colIndex(QStringLiteral("viber_image"));
    const int iEncryptedMember = c.colIndex(QStringLiteral("encrypted_member_id"));
    const int iMember = c.colIndex(QStringLiteral("member_id"));
    QHash<QString, _ViberPerson*> byMember;
    while (c.moveNext()) {
        const qint64 infoId = c.getInt64(iId);
        const int type = iType >= 0 ? c.getInt(iType) : 1;
        if (type == 0)
            continue; // the phone's owner is no person of the data set
        const QString member = c.getText(iEncryptedMember);
        _ViberPerson* person = member.isEmpty() ? nullptr : byMember.value(member);
        const QString name = cardName(c);
        // Only cards of type 1 hold a phone number; the others an encrypted stand-in.
        const QString number = type == 1 ? c.getText(iNumber).trimmed() : QString();
        if (!person) {
            auto made = std::make_unique<_ViberPerson>();
            made->id = infoId;
            made->number = number;
            made->name = name.isEmpty() && number.isEmpty() ? c.getText(iNumber).trimmed() : name;
            made->avatarRef = c.getText(iImage);
            // The app's own key of a person besides the number (group members may hide
            // theirs); a transfer into another phone finds the person by it.
            const QString memberId = c.getText(iMember).trimmed();
            if (!memberId.isEmpty() && memberId.size() <= MaxMemberIdLength)
                made->setExtra({{QStringLiteral("member_id"), memberId}});
            person = dataSet.persons.insert(std::move(made));
            if (!member.isEmpty())
                byMember.insert(member, person);
        } else if (person->name.isEmpty()) {
            person->name = name;
        }
        m_personByInfo.insert(infoId, person);
        const QString canonical = ViberText::canonicalNumber(person->number);
        if (!canonical.isEmpty() && !m_personByNumber.contains(canonical))
            m_personByNumber.insert(canonical, person);
    }
}

void ModernAndroidViberDb::loadChats(ViberDataSet& dataSet)
{
    QHash<qint64, QString> communityNames;
    if (m_catalogue.hasColumn(QStringLiteral("public_accounts"), QStringLiteral("group_id")) &&
        m_catalogue.hasColumn(QStringLiteral("public_accounts"), QStringLiteral("name"))) {
        Sqlite3Cursor c =
            queryThrow(Sqlite3Sql(QStringLiteral("select group_id, name from public_accounts")));
        while (c.moveNext())
            communityNames.insert(c.getInt64(0), c.getText(1));
    }

    const bool hasDeleted = m_catalogue.hasColumn(QStringLiteral("conversations"), QStringLiteral("deleted"));
    Sqlite3Cursor c =
        queryThrow(Sqlite3Sql(hasDeleted ? QStringLiteral("select * from conversations where deleted = 0")
                                         : QStringLiteral("select * from conversations")));
    const int iId = c.colIndex(QStringLiteral("_id"));
    const int iType = c.colIndex(QStringLiteral("conversation_type"));
    const int iGroupId = c.colIndex(QStringLiteral("group_id"));
    const int iName = c.colIndex(QStringLiteral("name"));
    const int iDate = c.colIndex(QStringLiteral("date"));
    const int iPeer = c.colIndex(QStringLiteral("participant_id_1"));
    while (c.moveNext()) {
        auto chat = std::make_unique<_ViberChat>();
        chat->id = c.getInt64(iId);
        const int type = c.getInt(iType);
        const qint64 groupId = c.getInt64(iGroupId);
        chat->name = c.getText(iName);
        chat->date = ViberDates::unixMsToRef(c.getInt64(iDate));
        switch (type) {
        case 0:
            // One-to-one: the other person is named by the conversation itself.
            if (_ViberPerson* peer = m_personByInfo.value(c.getInt64(iPeer)))
                chat->participants.insert(peer->id, peer);
            break;
        case 4: // a broadcast list: the owner's messages to several people, not a group
            break;
        case 6:
            if (chat->name.isEmpty())
                chat->name = QStringLiteral("My Notes");
            break;
        default:
            // Groups, communities and the older public chats are keyed by their group id.
            if (groupId != 0)
                chat->groupId = QString::number(groupId);
            if (chat->name.isEmpty())
                chat->name = communityNames.value(groupId);
            break;
        }
        _ViberPerson* peer =
            type == 0 && !chat->participants.isEmpty() ? chat->participants.cbegin().value() : nullptr;
        _ViberChat* stored = dataSet.chats.insert(std::move(chat));
        if (peer) {
            _ViberChat*& direct = m_directChat[peer];
            if (!direct || stored->id < direct->id)
                direct = stored;
        }
    }

    Sqlite3Cursor p = queryThrow(
        Sqlite3Sql(QStringLiteral("select _id, conversation_id, participant_info_id from participants")));
    while (p.moveNext()) {
        const qint64 infoId = p.getInt64(2);
        m_infoByParticipant.insert(p.getInt64(0), infoId);
        _ViberChat* chat = dataSet.chats.value(p.getInt64(1));
        _ViberPerson* person = m_personByInfo.value(infoId);
        if (chat && person)
            chat->participants.insert(person->id, person);
    }
}

_ViberPerson* ModernAndroidViberDb::personForNumber(ViberDataSet& dataSet, const QString& number)
{
    const QString canonical = ViberText::canonicalNumber(number);
    if (canonical.isEmpty())
        return nullptr;
    if (_ViberPerson* known = m_personByNumber.value(canonical))
        return known;
    // Someone the call log knows but no chat does.
    auto made = std::make_unique<_ViberPerson>();
    made->id = m_nextMadeUpId--;
    made->number = number.trimmed();
    _ViberPerson* person = dataSet.persons.insert(std::move(made));
    m_personByNumber.insert(canonical, person);
    return person;
}

void ModernAndroidViberDb::loadCallLog(ViberDataSet& dataSet)
{
    const QString path = dataDbPath();
    if (!QFileInfo(path).isFile())
        return;
    Sqlite3DB data;
    data.openThrow(path, OpenReadOnly);
    data.applyDefensiveSettings();
    data.registerFallbackCollation(QStringLiteral("LOCALIZED"));
    data.registerFallbackCollation(QStringLiteral("UNICODE"));
    SchemaCatalogue catalogue;
    catalogue.readCatalogue(data);
    if (!catalogue.hasColumn(QStringLiteral("calls"), QStringLiteral("date")))
        return;
    Sqlite3Cursor c = data.queryThrow(Sqlite3Sql(QStringLiteral("select * from calls order by date, _id")));
    const int iId = c.colIndex(QStringLiteral("_id"));
    const int iNumber = c.colIndex(QStringLiteral("number"));
    const int iCanonized = c.colIndex(QStringLiteral("canonized_number"));
    const int iDate = c.colIndex(QStringLiteral("date"));
    const int iDuration = c.colIndex(QStringLiteral("duration"));
    const int iType = c.colIndex(QStringLiteral("type"));
    const int iToken = c.colIndex(QStringLiteral("token"));
    const int iCallType = c.colIndex(QStringLiteral("viber_call_type"));
    const int iGroupId = c.colIndex(QStringLiteral("group_id"));
    const int iConference = c.colIndex(QStringLiteral("conference_info"));
    while (c.moveNext()) {
        auto call = std::make_unique<_ViberCall>();
        call->id = c.getInt64(iId);
        call->token = c.getInt64(iToken);
        call->date = ViberDates::unixMsToRef(c.getInt64(iDate));
        call->duration = durationSeconds(c.getInt64(iDuration));
        // Types beyond incoming, outgoing and missed stay as the app wrote them.
        call->kind = c.getInt(iType);
        const QString canonized = c.getText(iCanonized);
        call->person = personForNumber(dataSet, canonized.isEmpty() ? c.getText(iNumber) : canonized);
        QVariantMap extra;
        extra.insert(QStringLiteral("viber_call_type"), c.getInt64(iCallType));
        if (const qint64 groupId = c.getInt64(iGroupId))
            extra.insert(QStringLiteral("group_id"), groupId);
        if (const QString conference = c.getText(iConference); !conference.isEmpty())
            extra.insert(QStringLiteral("conference_info"), conference);
        call->setExtra(extra);
        _ViberCall* stored = dataSet.calls.insert(std::move(call));
        if (stored->token != 0)
            m_callByToken.insert(stored->token, stored);
        m_logCalls.append({stored, c.getInt64(iGroupId)});
    }
}

QList<_ViberMsg*> ModernAndroidViberDb::addCallsWithoutBubble(ViberDataSet& dataSet)
{
    // The app leaves a call in its log when the user deletes the call's bubble (or the
    // whole chat): the call stays in Viber's own call list, so it is kept here too, in
    // the chat where it took place, as the local database's reader places its calls.
    QHash<QString, _ViberChat*> groups;
    for (_ViberChat* chat : dataSet.chats) {
        if (!chat->isGroup())
            continue;
        _ViberChat*& group = groups[chat->groupId];
        if (!group || chat->id < group->id)
            group = chat;
    }
    QList<_ViberMsg*> made;
    for (const auto& [call, groupId] : std::as_const(m_logCalls)) {
        if (m_callsWithBubble.contains(call))
            continue;
        _ViberChat* chat = groupId != 0 ? groups.value(QString::number(groupId)) : nullptr;
        if (!chat && call->person)
            chat = m_directChat.value(call->person);
        if (!chat && call->person) {
            auto chatMade = std::make_unique<_ViberChat>();
            qint64 chatId = -1;
            while (dataSet.chats.contains(chatId))
                --chatId;
            chatMade->id = chatId;
            chatMade->name = call->person->name;
            chatMade->participants.insert(call->person->id, call->person);
            chat = dataSet.chats.insert(std::move(chatMade));
            m_directChat.insert(call->person, chat);
        }
        if (!chat || dataSet.messages.contains(-call->id))
            continue;
        _ViberMsg* msg = dataSet.messages.obtain(-call->id);
        msg->chat = chat;
        msg->type = ViberMsgType::Call;
        msg->call = call;
        msg->date = call->date;
        msg->stateDate = call->date;
        msg->token = call->token;
        const bool outgoing = call->kind == ViberCallKind::Outgoing;
        msg->status = outgoing ? ViberStatus::Delivered : ViberStatus::Received;
        if (!outgoing)
            msg->sender = call->person;
        chat->date = std::max(chat->date, call->date);
        made.append(msg);
    }
    return made;
}

void ModernAndroidViberDb::placeMedia(_ViberAtta& atta, int kind, const QString& uri,
                                      const QString& downloadId) const
{
    atta.sourceUri = uri;
    atta.localPath = localMediaPath(uri);
    if (!atta.localPath.isEmpty() || downloadId.isEmpty())
        return;
    // Without a stored path the app's own name is used: the MD5 of the download id.
    const QString hex = AppDirs::md5Hex(downloadId);
    QString relative;
    switch (kind) {
    case Picture:
        relative = QStringLiteral(".image/IMG-%1-V.jpg").arg(hex);
        break;
    case Video:
        relative = QStringLiteral(".video/video-%1-V.mp4").arg(hex);
        break;
    case InstantVideo:
        relative = QStringLiteral(".vptt/%1.vptt").arg(hex);
        break;
    default:
        return;
    }
    const QString phonePath = m_deviceRoot + u'/' + QLatin1String(ViberFiles) + relative;
    atta.sourceUri = phonePath;
    atta.localPath = localMediaPath(phonePath);
}

void ModernAndroidViberDb::loadMessages(ViberDataSet& dataSet)
{
    // messages_calls: the call behind each call bubble.
    struct CallRow
    {
        qint64 type = 0, duration = 0, token = 0, callType = 0;
        QString number;
    };
    QHash<qint64, CallRow> callRows;
    if (m_catalogue.hasColumn(QStringLiteral("messages_calls"), QStringLiteral("message_id"))) {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral("select * from messages_calls")));
        const int iMessage = c.colIndex(QStringLiteral("message_id"));
        const int iType = c.colIndex(QStringLiteral("type"));
        const int iDuration = c.colIndex(QStringLiteral("duration"));
        const int iToken = c.colIndex(QStringLiteral("token"));
        const int iCallType = c.colIndex(QStringLiteral("viber_call_type"));
        const int iNumber = c.colIndex(QStringLiteral("canonized_number"));
        while (c.moveNext()) {
            callRows.insert(c.getInt64(iMessage),
                            {c.getInt64(iType), c.getInt64(iDuration), c.getInt64(iToken),
                             c.getInt64(iCallType), c.getText(iNumber)});
        }
    }

    // Only the columns the records use, unsorted: an "order by" would have SQLite sort
    // every whole row, through a temporary file for a long history. Each chat's list is
    // put in order after the scan instead.
    const bool hasDeleted = m_catalogue.hasColumn(QStringLiteral("messages"), QStringLiteral("deleted"));
    const QString sql = QStringLiteral("select %1 from messages where extra_mime is not %2%3")
                            .arg(m_catalogue.presentColumns(QStringLiteral("messages"), ModernMessageColumns))
                            .arg(int(ReactionHelper))
                            .arg(hasDeleted ? QStringLiteral(" and deleted = 0") : QString());
    Sqlite3Cursor c = queryThrow(Sqlite3Sql(sql));
    const int iOrderKey = c.colIndex(QStringLiteral("order_key"));
    ChatOrder order;
    const int iId = c.colIndex(QStringLiteral("_id"));
    const int iConversation = c.colIndex(QStringLiteral("conversation_id"));
    const int iParticipant = c.colIndex(QStringLiteral("participant_id"));
    const int iDate = c.colIndex(QStringLiteral("msg_date"));
    const int iToken = c.colIndex(QStringLiteral("token"));
    const int iSeq = c.colIndex(QStringLiteral("seq"));
    const int iSendType = c.colIndex(QStringLiteral("send_type"));
    const int iMime = c.colIndex(QStringLiteral("extra_mime"));
    const int iBody = c.colIndex(QStringLiteral("body"));
    const int iDescription = c.colIndex(QStringLiteral("description"));
    const int iInfo = c.colIndex(QStringLiteral("msg_info"));
    const int iUri = c.colIndex(QStringLiteral("extra_uri"));
    const int iUploadId = c.colIndex(QStringLiteral("extra_upload_id"));
    const int iDownloadId = c.colIndex(QStringLiteral("extra_download_id"));
    const int iDuration = c.colIndex(QStringLiteral("extra_duration"));
    const int iLat = c.colIndex(QStringLiteral("location_lat"));
    const int iLng = c.colIndex(QStringLiteral("location_lng"));
    const int iStatus = c.colIndex(QStringLiteral("status"));
    const int iUnread = c.colIndex(QStringLiteral("unread"));
    const int iLikes = c.colIndex(QStringLiteral("likes_count"));
    const int iExtraFlags = c.colIndex(QStringLiteral("extra_flags"));
    const int iQuoted = c.colIndex(QStringLiteral("quoted_message_data"));
    QByteArray extraBlob;
    SharedValues<QByteArray, HeldBlob> sharedBlobs;

    while (c.moveNext()) {
        _ViberChat* chat = dataSet.chats.value(c.getInt64(iConversation));
        if (!chat)
            continue;
        const qint64 token = c.getInt64(iToken);
        const QJsonObject info = ViberMessageInfo::parse(c.getText(iInfo));
        if (ViberMessageInfo::editedToken(info, token) != 0)
            continue;

        const int kind = c.getInt(iMime);
        const QString body = c.getText(iBody);
        const QString description = c.getText(iDescription);
        const QString caption = !description.isEmpty() ? description : looksLikePath(body) ? QString() : body;
        const QJsonObject fileInfo = info.value(QLatin1String("fileInfo")).toObject();

        _ViberMsg* msg = dataSet.messages.obtain(c.getInt64(iId));
        if (msg->chat) // a file without a real row id repeats it; the first row stays
            continue;
        msg->chat = chat;
        order.add(msg, c, iDate, iOrderKey);
        msg->date = ViberDates::unixMsToRef(c.getInt64(iDate));
        msg->stateDate = msg->date;
        msg->token = token;
        msg->seq = c.getInt64(iSeq);
        const bool outgoing = c.getInt(iSendType) == 1;
        msg->status = outgoing ? ViberStatus::Delivered : ViberStatus::Received;
        if (!outgoing) {
            msg->sender = m_personByInfo.value(m_infoByParticipant.value(c.getInt64(iParticipant)));
            if (!msg->sender && !chat->isGroup() && chat->participants.size() == 1)
                msg->sender = chat->participants.cbegin().value();
        }

        const auto attach = [&]() {
            _ViberAtta* atta = dataSet.attachments.obtain(msg->id);
            ViberDataSet::attach(msg, atta);
            atta->seq = msg->token;
            atta->fileName = QString::number(msg->token > 0 ? msg->token : c.getInt64(iDate));
            atta->fileSize = ViberMessageInfo::integer(fileInfo.value(QLatin1String("FileSize")));
            atta->fileId = c.getText(iDownloadId);
            return atta;
        };

        switch (kind) {
        case Text:
            msg->type = ViberMsgType::Text;
            msg->text = body;
            break;
        case Formatted:
            msg->type = ViberMsgType::Text;
            msg->text = formattedText(body);
            break;
        case Link:
            msg->type = ViberMsgType::Text;
            msg->text = !body.isEmpty() ? body : info.value(QLatin1String("URL")).toString();
            break;
        case ContactCard:
            msg->type = ViberMsgType::Text;
            msg->text = ViberMessageInfo::contactCardText(info, body);
            break;
        case File: {
            msg->type = ViberMsgType::Text;
            _ViberAtta* atta = attach();
            const QString named =
                AppDirs::sanitizeFileName(fileInfo.value(QLatin1String("FileName")).toString());
            if (!named.isEmpty())
                atta->fileName = named;
            placeMedia(*atta, kind, c.getText(iUri), QString());
            msg->text = ViberMessageInfo::fileText(named, caption);
            break;
        }
        case Picture:
        case Gif:
        case Video:
        case InstantVideo: {
            msg->type = kind == Picture || kind == Gif ? ViberMsgType::Picture : ViberMsgType::Video;
            msg->text = caption;
            _ViberAtta* atta = attach();
            placeMedia(*atta, kind, c.getText(iUri), c.getText(iDownloadId));
            QString suffix = AppDirs::sanitizeFileName(QFileInfo(atta->localPath).suffix());
            // A file sent from the gallery has no copy in Viber's folders, but the
            // message still names it.
            if (suffix.isEmpty())
                suffix = ViberMessageInfo::fileExtension(fileInfo);
            if (!suffix.isEmpty())
                atta->fileName += u'.' + suffix;
            if (kind != Picture && kind != Gif)
                atta->duration = double(c.getInt64(iDuration)) / 1000.0;
            break;
        }
        case OldVoice:
        case Voice: {
            msg->type = ViberMsgType::Voice;
            _ViberAtta* atta = attach();
            placeMedia(*atta, kind, c.getText(iUri), QString());
            const QString name = AppDirs::sanitizeFileName(QFileInfo(atta->localPath).fileName());
            if (!name.isEmpty())
                atta->fileName = name;
            qint64 ms = c.getInt64(iDuration);
            if (ms == 0)
                ms = ViberMessageInfo::integer(
                    info.value(QLatin1String("audio_ptt")).toObject().value(QLatin1String("duration")));
            atta->duration = double(ms) / 1000.0;
            break;
        }
        case Sticker: {
            msg->type = ViberMsgType::Sticker;
            _ViberAtta* atta = attach();
            atta->fileId = QString::number(c.getInt64(iUploadId));
            break;
        }
        case Location: {
            msg->type = ViberMsgType::Location;
            msg->location.setLatitude(microdegrees(c.getInt64(iLat)));
            msg->location.setLongitude(microdegrees(c.getInt64(iLng)));
            msg->text = body;
            msg->location.setAddress(info.value(QLatin1String("locationInfo"))
                                         .toObject()
                                         .value(QLatin1String("address"))
                                         .toString());
            attach();
            break;
        }
        case Call: {
            msg->type = ViberMsgType::Call;
            const CallRow row = callRows.value(msg->id);
            _ViberCall* call = m_callByToken.value(row.token != 0 ? row.token : token);
            if (!call) {
                // A bubble whose call the log no longer holds keeps its own record.
                auto made = std::make_unique<_ViberCall>();
                made->id = -msg->id;
                made->token = row.token != 0 ? row.token : token;
                made->date = msg->date;
                made->kind = callKindOf(row.type, body);
                made->duration = durationSeconds(row.duration != 0 ? row.duration : c.getInt64(iDuration));
                made->person = !row.number.isEmpty() ? personForNumber(dataSet, row.number) : msg->sender;
                if (!made->person && chat->participants.size() == 1)
                    made->person = chat->participants.cbegin().value();
                QVariantMap callExtra;
                callExtra.insert(QStringLiteral("viber_call_type"), row.callType);
                made->setExtra(callExtra);
                call = dataSet.calls.insert(std::move(made));
            }
            msg->call = call;
            m_callsWithBubble.insert(call);
            break;
        }
        case Notice:
            // Group changes arrive as coded strings; they are shown as stored.
            msg->type = ViberMsgType::System;
            msg->text = body;
            break;
        case DeletedBySender:
            msg->type = ViberMsgType::System;
            msg->text = ViberMessageInfo::deletedText();
            break;
        default: {
            // Rich messages of kinds the app has added over time: a place sent with its
            // name and address is a location like any other.
            // The row's own coordinates stand in when the description has none.
            const ViberMessageInfo::Place place = ViberMessageInfo::place(info);
            if (place.hasCoordinates() || !place.name.isEmpty() || !place.address.isEmpty()) {
                msg->type = ViberMsgType::Location;
                const bool own = place.hasCoordinates();
                msg->location.setLatitude(own ? place.latitude : microdegrees(c.getInt64(iLat)));
                msg->location.setLongitude(own ? place.longitude : microdegrees(c.getInt64(iLng)));
                msg->location.setAddress(place.address);
                msg->text = !place.name.isEmpty() ? place.name : place.address;
                attach();
                break;
            }
            msg->type = ViberMsgType::Text;
            const QString buttons =
                body.trimmed().isEmpty() ? ViberMessageInfo::keyboardText(info) : QString();
            msg->text = ViberMessageInfo::unknownKindText(kind, !buttons.isEmpty() ? buttons : body);
            break;
        }
        }
        // A bot's message may be nothing but its keyboard: its buttons are what the user saw.
        if (msg->type == ViberMsgType::Text && msg->text.trimmed().isEmpty())
            msg->text = ViberMessageInfo::keyboardText(info);
        // Keys in the codec's order; the kind is kept even for plain texts.
        const auto bounded = [&c](int index) {
            const QString value = c.getText(index);
            return value.size() <= MaxInfoLength ? value : QString();
        };
        const QString downloadId = bounded(iDownloadId);
        const QString uri = bounded(iUri);
        const QString quoted = bounded(iQuoted);
        ExtraBlobWriter extra(extraBlob);
        extra.addText(QLatin1StringView("extra_download_id"), downloadId);
        extra.addInt64(QLatin1StringView("extra_flags"), c.getInt64(iExtraFlags));
        extra.addKeptInt(QLatin1StringView("extra_mime"), kind);
        extra.addText(QLatin1StringView("extra_uri"), uri);
        extra.addInt64(QLatin1StringView("likes_count"), c.getInt64(iLikes));
        extra.addText(QLatin1StringView("quoted_message_data"), quoted);
        extra.addInt64(QLatin1StringView("status"), c.getInt64(iStatus));
        extra.addInt64(QLatin1StringView("unread"), c.getInt64(iUnread));
        // Blobs without a message's own texts repeat across a history: their held form
        // is made once, and the records holding one share it.
        const bool likelyRepeated = downloadId.isEmpty() && uri.isEmpty() && quoted.isEmpty();
        msg->extra =
            likelyRepeated ? sharedBlobs.share(extraBlob, BlobCodec::held) : BlobCodec::held(extraBlob);
    }
    for (_ViberMsg* msg : addCallsWithoutBubble(dataSet))
        order.add(msg, ViberDates::refToUnixMs(msg->date));
    order.fillChats();
    // Lists grown by appending keep up to half their room unused.
    for (_ViberChat* chat : dataSet.chats)
        chat->messages.squeeze();
}
