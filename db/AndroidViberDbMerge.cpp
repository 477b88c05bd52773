// The merge half of AndroidViberDb: adding records of any source to a working copy of
// a phone's viber_messages without duplicating what the phone already holds.

#include "db/AndroidViberDb.h"

#include "app/OnDemandFiles.h"
#include "app/Sqlite3Error.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"

#include <QDebug>
#include <QFileInfo>

#include <iterator>
#include <vector>

namespace {

struct MergeIndex
{
    const char* name;
    const char* definition;
};

// Each serves a look-up the merge runs once per message or per chat: participants by
// number and by conversation (ensureParticipant, addParticipant), the links of a number
// (one-to-one chats), groups by id, and messages by date and token (duplicates). The
// participants index names the person too, so that a link in a large group is found
// without reading every member's row; an index of that name left by an interrupted
// merge of an earlier version (conversation alone) still serves, only slower.
//
// The duplicate look-up reads the messages of the two minutes around a date. By token
// first, the index took each message written at a random place: once it outgrew
// SQLite's page cache, a merge into a phone of 100,000 messages spent 5.8 times as long
// per message as one into 25,000. Messages are written in date order, so by date the
// writes and the look-ups move through the index together. (Phones have such an index
// of their own; one without it still gets this one.)
constexpr MergeIndex MergeIndexes[] = {
    {"kestrune_participants_info_number", "participants_info(number)"},
    {"kestrune_participants_conversation_id", "participants(conversation_id, participant_info_id)"},
    {"kestrune_participants_participant_info_id", "participants(participant_info_id)"},
    {"kestrune_conversations_group_id", "conversations(group_id)"},
    {"kestrune_messages_date_token", "messages(date, token)"},
};

// Merge indexes of earlier versions that an interrupted merge may have left in a working
// copy: they go before a merge, which they would only slow, and with the merge's own.
constexpr const char* RetiredMergeIndexes[] = {"kestrune_messages_token_date"};

const QString OwnerInfoSql =
    QStringLiteral("select _id from participants_info where participant_type=0 order by _id limit 1");
// The owner's row is never a counterpart: a made-up owner row has an empty number, and
// a person without a number must not turn into the owner.
const QString FindInfoSql = QStringLiteral(
    "select _id from participants_info where number=? and participant_type <> 0 order by _id limit 1");
const QString FindLinkSql =
    QStringLiteral("select _id from participants where conversation_id=? and participant_info_id=? limit 1");
const QString InsertLinkSql =
    QStringLiteral("insert into participants(conversation_id, participant_info_id) values(?, ?)");
const QString FindGroupSql =
    QStringLiteral("select _id from conversations where group_id=? order by _id limit 1");
const QString FindOneToOneSql = QStringLiteral(
    "select p.conversation_id from participants as p inner join participants_info as pi on "
    "p.participant_info_id=pi._id and pi.participant_type <> 0 and pi.number=? inner join conversations as c "
    "on p.conversation_id=c._id and (c.group_id=0 or c.group_id is null) order by c._id limit 1");
const QString FindDuplicateSql =
    QStringLiteral("select _id from messages where token=? and date >= ? and date <= ? limit 1");
const QString MessageSummarySql = QStringLiteral(
    "select _id, conversation_id, participant_id, date, extra_mime in ('video', 'image') from messages "
    "order by _id");
const QString ConversationMembersSql = QStringLiteral(
    "select p.conversation_id, p.participant_info_id, pi.participant_type from participants as p inner join "
    "participants_info as pi on p.participant_info_id = pi._id order by p._id");
const QString ParticipantLastMessageSql =
    QStringLiteral("update participants set last_message_id=? where _id=?");
const QString CollatedIndexesSql = QStringLiteral(
    "select distinct upper(x.coll), l.name from sqlite_master as m, pragma_index_list(m.name) as l, "
    "pragma_index_xinfo(l.name) as x where m.type='table' and x.key=1 and upper(x.coll) in ('LOCALIZED', "
    "'UNICODE')");
const QString MarkLocaleSql = QStringLiteral("update android_metadata set locale=?");

constexpr qint64 DuplicateWindowMs = 60000;
// A message without a token is told apart by its date alone; the window only absorbs
// the millisecond a date can lose on its way through the records' seconds.
constexpr qint64 UntokenedWindowMs = 1;
constexpr int DefaultThumbnailSide = 400;
constexpr int ConversationParticipantColumns = 8;

qint64 firstId(Sqlite3DB& db, const Sqlite3Sql& sql)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

int mapInt(const QVariantMap& map, const QString& key)
{
    return map.value(key).toInt();
}

qint64 mapInt64(const QVariantMap& map, const QString& key)
{
    return map.value(key).toLongLong();
}

// Android keeps upload ids as Java longs, so the reader's decimal text may be negative;
// only a text beyond the signed range is read as unsigned.
qint64 uploadId(const QString& fileId)
{
    bool ok = false;
    const qint64 value = fileId.toLongLong(&ok);
    return ok ? value : qint64(fileId.toULongLong());
}

qint64 fileSize(const QString& path)
{
    if (path.isEmpty())
        return 0;
    OnDemandFiles::prepare(path);
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

bool isWritableKind(int type)
{
    switch (type) {
    case ViberMsgType::Picture:
    case ViberMsgType::Location:
    case ViberMsgType::Voice:
    case ViberMsgType::Sticker:
    case ViberMsgType::Text:
    case ViberMsgType::Video:
        return true;
    default:
        return false;
    }
}

} // namespace

void AndroidViberDb::resetMergeState()
{
    m_participantInfoInsert.reset(&m_catalogue);
    m_conversationInsert.reset(&m_catalogue);
    m_messageInsert.reset(&m_catalogue);
    m_callInsert.reset(&m_catalogue);
    m_chatConversations.clear();
    m_mergeCoordinateScale.reset();
}

const CoordinateScale& AndroidViberDb::mergeCoordinateScale()
{
    if (!m_mergeCoordinateScale)
        m_mergeCoordinateScale = CoordinateScale::ofTable(*this, "messages", "location_lat", "location_lng");
    return *m_mergeCoordinateScale;
}

// A failed statement SQLite answered by rolling the whole transaction back (an I/O
// error, a full disk): the statements after it would each be committed on their own, so
// the merge would no longer be all or nothing. That failure ends the merge.
void AndroidViberDb::requireTransactionKept(bool wasInTransaction, const QString& error) const
{
    if (wasInTransaction && !inTransaction())
        throw Sqlite3Error(error.toStdString());
}

void AndroidViberDb::createMergeIndexes()
{
    open();
    const bool wasInTransaction = inTransaction();
    dropIndexes(RetiredMergeIndexes, wasInTransaction);
    for (const MergeIndex& index : MergeIndexes) {
        QString error;
        // Without an index the merge is only slower, so a failure is not worth a stop.
        if (exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 on %2")
                     .arg(QLatin1String(index.name), QLatin1String(index.definition)),
                 error) != 0) {
            requireTransactionKept(wasInTransaction, error);
            qWarning().noquote() << "cannot create merge index" << index.name << ":" << error;
        }
    }
}

void AndroidViberDb::dropMergeIndexes(bool vacuum)
{
    open();
    const bool wasInTransaction = inTransaction();
    std::vector<const char*> names;
    for (const MergeIndex& index : MergeIndexes)
        names.push_back(index.name);
    names.insert(names.end(), std::begin(RetiredMergeIndexes), std::end(RetiredMergeIndexes));
    dropIndexes(names, wasInTransaction);
    QString error;
    if (vacuum && exec(QStringLiteral("VACUUM"), error) != 0)
        qWarning().noquote() << "cannot vacuum" << path() << ":" << error;
}

void AndroidViberDb::dropIndexes(std::span<const char* const> names, bool wasInTransaction)
{
    QString error;
    for (const char* name : names) {
        if (exec(QStringLiteral("DROP INDEX IF EXISTS %1").arg(QLatin1String(name)), error) != 0) {
            requireTransactionKept(wasInTransaction, error);
            qWarning().noquote() << "cannot drop merge index" << name << ":" << error;
        }
    }
}

qint64 AndroidViberDb::ownerParticipantInfo(qint64& ownerInfoId)
{
    open();
    if (ownerInfoId > 0)
        return ownerInfoId;
    ownerInfoId = firstId(*this, Sqlite3Sql(OwnerInfoSql));
    if (ownerInfoId > 0)
        return ownerInfoId;
    ownerInfoId = writeParticipantInfo(QString(), QString(), 0);
    return ownerInfoId;
}

qint64 AndroidViberDb::findParticipantInfo(const _ViberPerson* person)
{
    open();
    if (!person)
        return 0;
    return firstId(*this, Sqlite3Sql(FindInfoSql).addTextParam(person->number));
}

qint64 AndroidViberDb::insertParticipantInfo(const _ViberPerson* person)
{
    open();
    if (!person)
        return 0;
    return writeParticipantInfo(person->number, person->name, 1);
}

qint64 AndroidViberDb::writeParticipantInfo(const QString& number, const QString& name, int participantType)
{
    ColumnInsert& row = m_participantInfoInsert;
    row.begin();
    row.set("number", number);
    row.set("display_name", name);
    row.set("contact_name", name);
    row.set("contact_id", 0);
    row.set("native_contact_id", 0);
    row.set("viber_name", QString());
    row.set("viber_image", QString());
    row.set("location_lat", 0);
    row.set("location_lng", 0);
    row.set("location_date", 0);
    row.set("participant_type", participantType);
    executeThrow(row.sql());
    return lastInsertId();
}

qint64 AndroidViberDb::ensureParticipant(qint64 conversationId, qint64 participantInfoId)
{
    open();
    // A link to nothing would give messages a sender the phone cannot resolve.
    if (conversationId <= 0 || participantInfoId <= 0)
        return 0;
    const qint64 existing = firstId(
        *this, Sqlite3Sql(FindLinkSql).addInt64Param(conversationId).addInt64Param(participantInfoId));
    if (existing > 0)
        return existing;
    executeThrow(Sqlite3Sql(InsertLinkSql).addInt64Param(conversationId).addInt64Param(participantInfoId));
    return lastInsertId();
}

qint64 AndroidViberDb::addParticipant(qint64 conversationId, const _ViberPerson* person)
{
    open();
    if (!person)
        return 0;
    qint64 infoId = findParticipantInfo(person);
    if (infoId == 0)
        infoId = insertParticipantInfo(person);
    return ensureParticipant(conversationId, infoId);
}

qint64 AndroidViberDb::findConversation(const _ViberChat* chat)
{
    open();
    if (!chat)
        return 0;
    const auto known = m_chatConversations.constFind(chat);
    if (known != m_chatConversations.constEnd())
        return known.value();
    qint64 found = 0;
    if (chat->isGroup()) {
        const qint64 groupId = ViberText::groupIdNumber(*chat);
        if (groupId > 0)
            found = firstId(*this, Sqlite3Sql(FindGroupSql).addInt64Param(groupId));
    } else if (chat->participants.size() == 1 && chat->participants.cbegin().value()) {
        found = firstId(
            *this, Sqlite3Sql(FindOneToOneSql).addTextParam(chat->participants.cbegin().value()->number));
    }
    // The merge asks once per message; the conversation with the lowest id stays the
    // answer while rows are only added.
    if (found != 0)
        m_chatConversations.insert(chat, found);
    return found;
}

qint64 AndroidViberDb::insertConversation(qint64& ownerInfoId, const _ViberChat* chat)
{
    open();
    if (!chat)
        return 0;
    ownerParticipantInfo(ownerInfoId);
    const bool group = chat->isGroup();
    ColumnInsert& row = m_conversationInsert;
    row.begin();
    row.set("conversation_type", group ? 1 : 0);
    row.set("group_id", group ? ViberText::groupIdNumber(*chat) : qint64(0));
    if (!group && chat->participants.size() == 1 && chat->participants.cbegin().value())
        row.set("recipient_number", chat->participants.cbegin().value()->number);
    row.set("smart_notification", group ? 1 : 0);
    row.set("unread_calls_count", 0);
    row.set("deleted", 0);
    row.set("delete_token", 0);
    row.set("smart_event_date", 0);
    row.set("mute_notification", 0);
    row.set("flags", 0);
    row.set("read_notification_token", 0);
    row.set("name", chat->name);
    executeThrow(row.sql());
    const qint64 conversationId = lastInsertId();
    m_chatConversations.insert(chat, conversationId);
    ensureParticipant(conversationId, ownerInfoId);
    return conversationId;
}

bool AndroidViberDb::isWritable(const _ViberMsg& message)
{
    if (!message.chat)
        return false;
    if (message.type == ViberMsgType::Call) {
        const _ViberCall* call = message.call;
        if (!call || !call->person)
            return false;
        return call->kind == ViberCallKind::Incoming || call->kind == ViberCallKind::Outgoing ||
               call->kind == ViberCallKind::Missed;
    }
    if (!isWritableKind(message.type))
        return false;
    if (ViberText::isOutgoing(message))
        return true;
    const _ViberChat& chat = *message.chat;
    return (chat.participants.size() == 1 ? chat.participants.cbegin().value() : message.sender) != nullptr;
}

qint64 AndroidViberDb::findDuplicateMessage(qint64 dateMs, qint64 token)
{
    open();
    const qint64 window = duplicateWindowMs(token);
    return firstId(*this, Sqlite3Sql(FindDuplicateSql)
                              .addInt64Param(token)
                              .addInt64Param(dateMs - window)
                              .addInt64Param(dateMs + window));
}

qint64 AndroidViberDb::duplicateWindowMs(qint64 token)
{
    return token == 0 ? UntokenedWindowMs : DuplicateWindowMs;
}

qint64 AndroidViberDb::insertMessage(qint64 conversationId, qint64& ownerInfoId, const _ViberMsg& message,
                                     const QString& bodyText, const QString& uriText)
{
    open();
    ownerParticipantInfo(ownerInfoId);
    if (!message.chat || conversationId <= 0)
        return 0;
    if (message.type == ViberMsgType::Call)
        return insertCallMessage(conversationId, message);
    if (!isWritableKind(message.type))
        return 0;

    const _ViberChat& chat = *message.chat;
    const bool outgoing = ViberText::isOutgoing(message);
    const _ViberPerson* counterpart =
        chat.participants.size() == 1 ? chat.participants.cbegin().value() : message.sender;
    const qint64 participantId = outgoing ? ensureParticipant(conversationId, ownerInfoId)
                                          : addParticipant(conversationId, counterpart);
    if (participantId <= 0) {
        qDebug("skip group message without sender, msg text=%s", qUtf8Printable(message.text));
        return 0;
    }

    const QVariantMap extra = message.extraMap();
    const int status = mapInt(extra, QStringLiteral("status"));
    const int extraStatus = mapInt(extra, QStringLiteral("extra_status"));
    const qint64 groupId = ViberText::groupIdNumber(chat);
    const qint64 dateMs = ViberDates::refToUnixMs(message.date);
    // A source without a state date (a local database's unsent or system rows) would
    // otherwise put 2001-01-01 into a column the app sorts and shows by.
    const qint64 dateRealMs = message.stateDate > 0 ? ViberDates::refToUnixMs(message.stateDate) : dateMs;
    const bool thumbnailX = m_messageInsert.has("thumbnail_x");
    const bool thumbnailY = m_messageInsert.has("thumbnail_y");
    int thumbX = mapInt(extra, QStringLiteral("thumbnail_x"));
    int thumbY = mapInt(extra, QStringLiteral("thumbnail_y"));
    if (message.type == ViberMsgType::Picture) {
        thumbX = thumbX == 0 ? DefaultThumbnailSide : thumbX;
        thumbY = thumbY == 0 ? DefaultThumbnailSide : thumbY;
    }

    ColumnInsert& row = m_messageInsert;
    row.begin();
    row.set("address", counterpart ? counterpart->number : QString());
    row.set("date", dateMs);
    row.set("read", 0);
    row.set("opened", 0);
    row.set("status", status > 0 ? status : 2);
    row.set("type", outgoing ? 1 : 0);
    row.set("participant_id", participantId);
    row.set("flag", mapInt(extra, QStringLiteral("flag")));
    row.set("token", message.token);
    const bool located = message.location.latitude() != 0 || message.location.longitude() != 0;
    row.set("location_lat", located ? mergeCoordinateScale().stored(message.location.latitude()) : 0);
    row.set("location_lng", located ? mergeCoordinateScale().stored(message.location.longitude()) : 0);
    row.set("extra_status", extraStatus > 0 ? extraStatus : 3);
    row.set("seq", message.seq);
    row.set("message_global_id", mapInt64(extra, QStringLiteral("message_global_id")));
    if (thumbnailX)
        row.set("thumbnail_x", thumbX);
    if (thumbnailY)
        row.set("thumbnail_y", thumbY);
    row.set("deleted", 0);
    row.set("count", 1);
    row.set("group_id", groupId);
    row.set("conversation_id", conversationId);
    row.set("conversation_type", groupId > 0 ? 1 : 0);
    row.set("extra_flags", mapInt(extra, QStringLiteral("extra_flags")));
    row.set("date_real", dateRealMs);

    const _ViberAtta* atta = message.attachment;
    switch (message.type) {
    case ViberMsgType::Picture:
        row.set("extra_mime", QStringLiteral("image"));
        row.set("description", message.text);
        row.set("body", bodyText);
        row.set("extra_uri", uriText);
        if (atta && outgoing) {
            row.set("extra_upload_id", uploadId(atta->fileId));
        } else if (atta) {
            row.set("extra_download_id", atta->fileId);
            row.set("extra_bucket_name",
                    QString(QStringLiteral("Share") +
                            ViberDates::refToLocal(message.date).toString(QStringLiteral("yyyy-MM-dd"))));
        }
        if (atta)
            row.set("extra_duration", fileSize(atta->localPath));
        break;
    case ViberMsgType::Location:
        row.set("extra_mime", QStringLiteral("location"));
        row.set("body", ViberText::mapImageUrl(message));
        row.set("extra_bucket_name", message.location.address());
        row.set("description", QString());
        break;
    case ViberMsgType::Voice: {
        row.set("extra_mime", QStringLiteral("sound"));
        row.set("extra_upload_id", mapInt64(extra, QStringLiteral("extra_upload_id")));
        const QString downloadId = extra.value(QStringLiteral("extra_download_id")).toString();
        if (!downloadId.isEmpty())
            row.set("extra_download_id", downloadId);
        if (atta)
            row.set("extra_duration", ViberDates::wholeUnits(atta->duration * 1000.0));
        row.set("description", QString());
        row.set("extra_uri", uriText);
        break;
    }
    case ViberMsgType::Sticker: {
        row.set("extra_mime", QStringLiteral("sticker"));
        if (atta)
            row.set("extra_upload_id", atta->fileId);
        const QString downloadId = extra.value(QStringLiteral("extra_download_id")).toString();
        if (!downloadId.isEmpty())
            row.set("extra_download_id", downloadId);
        row.set("description", QString());
        row.set("body", QString());
        break;
    }
    case ViberMsgType::Text:
        row.set("extra_mime", QStringLiteral("text"));
        row.set("body", message.text);
        break;
    case ViberMsgType::Video:
        row.set("extra_mime", QStringLiteral("video"));
        if (atta && outgoing)
            row.set("extra_upload_id", uploadId(atta->fileId));
        else if (atta)
            row.set("extra_download_id", atta->fileId);
        if (atta)
            row.set("extra_duration", ViberDates::wholeUnits(atta->duration * 1000.0));
        row.set("description", message.text);
        row.set("body", bodyText);
        row.set("extra_uri", uriText);
        break;
    default:
        return 0;
    }
    executeThrow(row.sql());
    return lastInsertId();
}

qint64 AndroidViberDb::insertCallMessage(qint64 conversationId, const _ViberMsg& message)
{
    const _ViberCall* call = message.call;
    if (!call || !call->person)
        return 0;
    int messageType = 0;
    int callType = 0;
    int endReason = 0;
    QString body;
    switch (call->kind) {
    case ViberCallKind::Incoming:
        body = QStringLiteral("incoming_call");
        callType = 1;
        endReason = 3;
        break;
    case ViberCallKind::Outgoing:
        messageType = 1;
        body = QStringLiteral("outgoing_call");
        callType = 2;
        endReason = 3;
        break;
    case ViberCallKind::Missed:
        body = QStringLiteral("missed_call");
        callType = 3;
        break;
    default:
        // Both tables require a type; a kind without one cannot be written.
        return 0;
    }

    const qint64 dateMs = ViberDates::refToUnixMs(call->date);
    // The row carries the call's token, while callers look for duplicates by the
    // message's, which sources without call messages of their own leave at 0.
    if (findDuplicateMessage(dateMs, call->token) != 0)
        return 0;
    const QVariantMap extra = call->extraMap();
    const int status = mapInt(extra, QStringLiteral("status"));
    const int extraStatus = mapInt(extra, QStringLiteral("extra_status"));
    const qint64 participantId = addParticipant(conversationId, call->person);

    ColumnInsert& row = m_messageInsert;
    row.begin();
    row.set("address", call->person->number);
    row.set("date", dateMs);
    row.set("read", 0);
    row.set("opened", 0);
    row.set("status", status > 0 ? status : 2);
    row.set("type", messageType);
    row.set("body", body);
    row.set("token", call->token);
    row.set("extra_mime", QStringLiteral("call"));
    row.set("extra_status", extraStatus > 0 ? extraStatus : 3);
    row.set("seq", qint64(call->date / 1000.0));
    row.set("extra_bucket_name", QStringLiteral("has_description"));
    row.set("extra_duration", call->duration);
    row.set("deleted", 0);
    row.set("count", 1);
    row.set("description", QString());
    row.set("group_id", 0);
    row.set("conversation_id", conversationId);
    row.set("conversation_type", 0);
    row.set("participant_id", participantId);
    row.set("date_real", dateMs);
    executeThrow(row.sql());
    const qint64 messageId = lastInsertId();

    ColumnInsert& callRow = m_callInsert;
    callRow.begin();
    callRow.set("conversation_id", conversationId);
    callRow.set("message_id", messageId);
    // The phone keeps this column in the canonical digits-only form.
    callRow.set("canonized_number", ViberText::canonicalNumber(call->person->number));
    callRow.set("viber_call_type", 1);
    callRow.set("date", dateMs);
    callRow.set("duration", call->duration);
    callRow.set("type", callType);
    callRow.set("end_reason", endReason);
    callRow.set("start_reason", 0);
    callRow.set("token", call->token);
    executeThrow(callRow.sql());
    return messageId;
}

void AndroidViberDb::fixConversations()
{
    open();
    struct Latest
    {
        qint64 id = 0;
        qint64 date = 0;
        bool seen = false;

        void offer(qint64 rowId, qint64 rowDate)
        {
            // the first row read wins a tie
            if (!seen || rowDate > date) {
                id = rowId;
                date = rowDate;
                seen = true;
            }
        }
    };
    struct Summary
    {
        Latest latest;
        qint64 mediaCount = 0;
        qint64 ownerInfoId = 0;
        QList<qint64> others; // participants_info ids in link order
    };
    QHash<qint64, Summary> conversations;
    QHash<qint64, Latest> participants;

    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(MessageSummarySql));
        while (c.moveNext()) {
            const qint64 id = c.getInt64(0);
            const qint64 date = c.getInt64(3);
            Summary& summary = conversations[c.getInt64(1)];
            summary.latest.offer(id, date);
            if (c.getInt(4) != 0)
                ++summary.mediaCount;
            participants[c.getInt64(2)].offer(id, date);
        }
    }
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(ConversationMembersSql));
        while (c.moveNext()) {
            Summary& summary = conversations[c.getInt64(0)];
            const qint64 infoId = c.getInt64(1);
            if (c.getInt(2) != 0)
                summary.others.append(infoId);
            else if (summary.ownerInfoId == 0)
                summary.ownerInfoId = infoId;
        }
    }

    // One statement text per file: which summary columns exist is a property of the
    // table, and a date of 0 keeps the stored one through coalesce.
    const QString table = QStringLiteral("conversations");
    QStringList sets = {QStringLiteral("date=coalesce(?, date)"), QStringLiteral("last_message_id=?")};
    const bool mediaCount = m_catalogue.hasColumn(table, QStringLiteral("media_msg_count"));
    if (mediaCount)
        sets.append(QStringLiteral("media_msg_count=?"));
    QList<int> participantColumns;
    for (int n = 1; n <= ConversationParticipantColumns; ++n) {
        const QString column = QStringLiteral("participant_id_%1").arg(n);
        if (m_catalogue.hasColumn(table, column)) {
            participantColumns.append(n);
            sets.append(column + QStringLiteral("=?"));
        }
    }
    const QString updateSql =
        QStringLiteral("update conversations set %1 where _id=?").arg(sets.join(QStringLiteral(", ")));

    for (auto it = conversations.cbegin(); it != conversations.cend(); ++it) {
        const Summary& summary = it.value();
        Sqlite3Sql sql(updateSql);
        if (summary.latest.date > 0)
            sql.addInt64Param(summary.latest.date);
        else
            sql.addNullParam();
        if (summary.latest.seen)
            sql.addInt64Param(summary.latest.id);
        else
            sql.addNullParam();
        if (mediaCount)
            sql.addInt64Param(summary.mediaCount);
        for (int n : std::as_const(participantColumns)) {
            // Column 2 is the owner's; 1 and 3 to 8 take the others in link order.
            const qsizetype other = n == 1 ? 0 : n - 2;
            if (n == 2)
                sql.addInt64Param(summary.ownerInfoId);
            else
                sql.addInt64Param(other < summary.others.size() ? summary.others.at(other) : 0);
        }
        sql.addInt64Param(it.key());
        executeThrow(sql);
    }

    for (auto it = participants.cbegin(); it != participants.cend(); ++it)
        executeThrow(
            Sqlite3Sql(ParticipantLastMessageSql).addInt64Param(it.value().id).addInt64Param(it.key()));

    markLocalizedIndexesStale();
}

// Rows written here, and VACUUM's rebuild of the file, order the entries of indexes that
// use Android's LOCALIZED collation by the reader's stand-in, not by the phone's
// collator. The app's database opener compares android_metadata.locale with the
// device's locale and runs "REINDEX LOCALIZED" when they differ, so a locale no device
// has makes the phone rebuild those indexes with its own collator at the next start.
// UNICODE indexes have no such trigger on the phone; they are only reported.
void AndroidViberDb::markLocalizedIndexesStale()
{
    bool localized = false;
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(CollatedIndexesSql));
        while (c.moveNext()) {
            if (c.getText(0) == QLatin1StringView("LOCALIZED"))
                localized = true;
            else
                qWarning().noquote() << "index" << c.getText(1)
                                     << "uses the UNICODE collation, which the merge can only approximate";
        }
    }
    if (localized && m_catalogue.hasTable(QStringLiteral("android_metadata")))
        executeThrow(Sqlite3Sql(MarkLocaleSql).addTextParam(QLatin1String(ReindexLocale)));
}
