#include "db/ModernAndroidViberTransfer.h"

#include "app/AppDirs.h"
#include "app/SchemaCatalogue.h"
#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Transaction.h"
#include "db/ColumnInsert.h"
#include "db/ModernAndroidViberDb.h"
#include "db/ModernMessageRow.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr qint64 DuplicateWindowMs = 60000;
// Conversation types the app keys by group_id: groups, the older public chats and
// communities.
constexpr int OneToOne = 0;
constexpr int Group = 1;
// The app reads (token >> 22) + this as the send time in milliseconds.
constexpr qint64 TokenEpochMs = 292057776050;
constexpr qint64 TokenLowBits = (qint64(1) << 22) - 1;

qint64 scalar(Sqlite3DB& db, const Sqlite3Sql& sql)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

bool isGroupType(int type)
{
    return type == 1 || type == 2 || type == 3 || type == 5;
}

// The number the app keys a group by. A source that names its group by something else
// than digits gets a stable number of its own, so that a second transfer finds the
// same conversation again.
qint64 groupNumber(const _ViberChat& chat)
{
    const qint64 digits = ViberText::groupIdNumber(chat);
    if (digits > 0)
        return digits;
    const QByteArray md5 = QCryptographicHash::hash(chat.groupId.toUtf8(), QCryptographicHash::Md5);
    return qint64(qFromBigEndian<quint64>(md5.constData()) >> 2) | 1;
}

qint64 messageDateMs(const _ViberMsg& message)
{
    if (message.type == ViberMsgType::Call && message.call)
        return ViberDates::refToUnixMs(message.call->date);
    return ViberDates::refToUnixMs(message.date);
}

qint64 messageToken(const _ViberMsg& message)
{
    if (message.type == ViberMsgType::Call && message.call && message.call->token != 0)
        return message.call->token;
    return message.token;
}

bool isSent(const _ViberMsg& message)
{
    if (message.type == ViberMsgType::Call && message.call)
        return message.call->kind == ViberCallKind::Outgoing;
    return ViberText::isOutgoing(message);
}

} // namespace

ModernAndroidViberTransfer::ModernAndroidViberTransfer(const QString& messagesDbPath,
                                                       const QString& dataDbPath)
    : m_path(messagesDbPath), m_dataPath(dataDbPath), m_db(std::make_unique<Sqlite3DB>()),
      m_catalogue(std::make_unique<SchemaCatalogue>()),
      m_insertMessage(std::make_unique<ColumnInsert>("messages"))
{}

ModernAndroidViberTransfer::~ModernAndroidViberTransfer() = default;

void ModernAndroidViberTransfer::readPhone()
{
    Sqlite3DB& db = *m_db;
    {
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral(
            "select _id, number from participants_info where participant_type = 0 order by _id limit 1")));
        if (!c.moveNext())
            throw std::runtime_error(
                "The phone's Viber database names no owner: open Viber on the phone once, "
                "then load the phone again.");
        m_ownerInfo = c.getInt64(0);
        m_ownerNumber = c.getText(1).trimmed();
    }
    {
        // Only cards of type 1 hold a real number; the first card of a number is the one
        // the app's own look-ups find. Every card other than the owner's names its
        // person by member id too.
        Sqlite3Cursor c =
            db.queryThrow(Sqlite3Sql(QStringLiteral("select _id, number, participant_type, member_id from "
                                                    "participants_info where participant_type <> 0 "
                                                    "order by participant_type <> 1, _id")));
        while (c.moveNext()) {
            const qint64 id = c.getInt64(0);
            const QString member = c.getText(3).trimmed();
            if (!member.isEmpty() && !m_infoByMember.contains(member))
                m_infoByMember.insert(member, id);
            // The app names a sender in user_id by number, by member id where it has none.
            const QString number = c.getText(1).trimmed();
            m_userIdOfInfo.insert(id, c.getInt(2) == 1 && !number.isEmpty() ? number : member);
            if (c.getInt(2) != 1)
                continue;
            const QString canonical = ViberText::canonicalNumber(c.getText(1));
            if (!canonical.isEmpty() && !m_infoByNumber.contains(canonical))
                m_infoByNumber.insert(canonical, id);
        }
    }
    {
        // A chat the user deleted stays deleted: messages for that person or group go
        // into a conversation of their own.
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral(
            "select _id, conversation_type, group_id, participant_id_1 from conversations where deleted = 0 "
            "order by _id")));
        while (c.moveNext()) {
            const qint64 id = c.getInt64(0);
            const int type = c.getInt(1);
            m_typeOfConversation.insert(id, type);
            m_groupOfConversation.insert(id, c.getInt64(2));
            if (type == OneToOne && !m_directByInfo.contains(c.getInt64(3)))
                m_directByInfo.insert(c.getInt64(3), id);
            else if (isGroupType(type) && c.getInt64(2) != 0 && !m_groupById.contains(c.getInt64(2)))
                m_groupById.insert(c.getInt64(2), id);
        }
    }
    {
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral(
            "select _id, conversation_id, participant_info_id from participants order by _id")));
        while (c.moveNext()) {
            const QPair<qint64, qint64> key(c.getInt64(1), c.getInt64(2));
            if (!m_participant.contains(key))
                m_participant.insert(key, c.getInt64(0));
        }
    }
    // Every row counts for duplicates, those the app marks deleted too: a message the
    // user removed on the phone is not brought back. Only visible rows place the keys.
    Sqlite3Cursor c =
        db.queryThrow(Sqlite3Sql(QStringLiteral("select conversation_id, msg_date, order_key, token, "
                                                "send_type, body, deleted, extra_mime from messages")));
    while (c.moveNext()) {
        const qint64 conversation = c.getInt64(0);
        const qint64 date = c.getInt64(1);
        const qint64 token = c.getInt64(3);
        if (token != 0)
            m_datesByToken.add(token, date);
        m_rowsByChat[{conversation, c.getInt(4)}].append({date, qHash(c.getText(5))});
        if (c.getInt64(6) == 0 && c.getInt(7) != ModernAndroidViberDb::ReactionHelper && !c.isNull(2))
            m_orderKeys.addPhoneRow(conversation, date, c.getInt64(2));
    }
    m_orderKeys.prepare();
}

void ModernAndroidViberTransfer::readCallLog()
{
    if (m_dataPath.isEmpty() || !QFileInfo(m_dataPath).isFile())
        return;
    Sqlite3DB data;
    data.openThrow(m_dataPath, Sqlite3DB::OpenReadOnly);
    data.applyDefensiveSettings();
    SchemaCatalogue catalogue;
    catalogue.readCatalogue(data);
    if (!catalogue.hasColumn(QStringLiteral("calls"), QStringLiteral("token")))
        return;
    Sqlite3Cursor c =
        data.queryThrow(Sqlite3Sql(QStringLiteral("select token, date from calls where token <> 0")));
    while (c.moveNext())
        m_callDatesByToken.add(c.getInt64(0), c.getInt64(1));
}

void ModernAndroidViberTransfer::readTemplates()
{
    // The delivery state and flags the app itself leaves on an ordinary, read text of
    // each direction and kind of chat. Their meanings are not published, so the phone's
    // own most common values are what an added message takes. A phone without such
    // rows gives a received message status 0 and a sent one status 2 (delivered, as the
    // older generation counts), flags 0.
    Sqlite3Cursor c = m_db->queryThrow(Sqlite3Sql(QStringLiteral(
        "select send_type, conversation_type, status, flag, count(*) as n from messages where deleted = 0 "
        "and unread = 0 and extra_mime = 0 and extra_flags = 0 group by 1, 2, 3, 4 order by n desc")));
    while (c.moveNext()) {
        const QPair<int, int> key(c.getInt(0), c.getInt(1));
        if (!m_templates.contains(key))
            m_templates.insert(key, {c.getInt64(2), c.getInt64(3), true});
        const QPair<int, int> anyKind(c.getInt(0), -1);
        if (!m_templates.contains(anyKind))
            m_templates.insert(anyKind, {c.getInt64(2), 0, true});
    }
}

bool ModernAndroidViberTransfer::isDuplicate(const SeenRow& row, qint64 token) const
{
    if (token == 0)
        return isDuplicateWithoutToken(row);
    return m_datesByToken.near(token, row.date, DuplicateWindowMs);
}

bool ModernAndroidViberTransfer::isDuplicateWithoutToken(const SeenRow& row) const
{
    // Without a token, a message is the phone's when its chat, direction and text are
    // and its date lies within the window: two texts of one minute differ in their text.
    const auto rows = m_rowsByChat.constFind({row.conversationId, row.sendType});
    if (rows == m_rowsByChat.constEnd())
        return false;
    return std::any_of(rows->cbegin(), rows->cend(), [&](const SeenText& seen) {
        return seen.bodyHash == row.bodyHash && qAbs(seen.date - row.date) <= DuplicateWindowMs;
    });
}

qint64 ModernAndroidViberTransfer::personInfoId(const _ViberPerson& person, bool create)
{
    const QString number = person.number.trimmed();
    const QString canonical = ViberText::canonicalNumber(number);
    if (canonical.isEmpty()) {
        // Someone who hides their number is found by the member id another phone of
        // today's app gave them, and never made up.
        return m_infoByMember.value(person.extraMap().value(QStringLiteral("member_id")).toString());
    }
    if (const qint64 known = m_infoByNumber.value(canonical); known != 0 || !create)
        return known;
    // What the app keeps of someone who is not in the phone's address book: the number,
    // the name they gave, and the number as member id, as the app's older accounts have.
    ColumnInsert insert("participants_info");
    insert.reset(m_catalogue.get());
    insert.set("number", number);
    insert.setIfPresent("display_name", person.name);
    insert.setIfPresent("viber_name", person.name);
    insert.setIfPresent("participant_type", 1);
    insert.setIfPresent("member_id", number);
    m_db->executeThrow(insert.sql());
    const qint64 id = m_db->lastInsertId();
    m_infoByNumber.insert(canonical, id);
    m_userIdOfInfo.insert(id, number);
    return id;
}

qint64 ModernAndroidViberTransfer::participantRow(qint64 conversationId, qint64 infoId)
{
    const QPair<qint64, qint64> key(conversationId, infoId);
    if (const qint64 known = m_participant.value(key))
        return known;
    m_db->executeThrow(
        Sqlite3Sql(QStringLiteral("insert into participants (conversation_id, participant_info_id, active) "
                                  "values (?, ?, 1)"))
            .addInt64Param(conversationId)
            .addInt64Param(infoId));
    const qint64 id = m_db->lastInsertId();
    m_participant.insert(key, id);
    return id;
}

qint64 ModernAndroidViberTransfer::conversationFor(const _ViberChat& chat, qint64 dateMs, bool create)
{
    if (chat.isGroup()) {
        const qint64 groupId = groupNumber(chat);
        if (const qint64 known = m_groupById.value(groupId); known != 0 || !create)
            return known;
        QList<qint64> members;
        for (const _ViberPerson* person : chat.participants) {
            if (const qint64 info = person ? personInfoId(*person, true) : 0)
                members.append(info);
        }
        std::sort(members.begin(), members.end());
        ColumnInsert insert("conversations");
        insert.reset(m_catalogue.get());
        insert.set("conversation_type", Group);
        insert.set("group_id", groupId);
        insert.setIfPresent("name", chat.name);
        insert.setIfPresent("date", dateMs);
        static const char* const firstMembers[] = {"participant_id_1", "participant_id_2", "participant_id_3",
                                                   "participant_id_4"};
        for (int i = 0; i < 4 && i < members.size(); ++i)
            insert.setIfPresent(firstMembers[i], members.at(i));
        m_db->executeThrow(insert.sql());
        const qint64 id = m_db->lastInsertId();
        m_groupById.insert(groupId, id);
        m_newestOfNew.insert(id, dateMs);
        m_typeOfConversation.insert(id, Group);
        m_groupOfConversation.insert(id, groupId);
        participantRow(id, m_ownerInfo);
        for (const qint64 info : std::as_const(members))
            participantRow(id, info);
        return id;
    }
    // A one-to-one chat is the app's by the other person's number; one without a single
    // person with a number (a broadcast list, My Notes) has nothing to be found by.
    if (chat.participants.size() != 1 || !chat.participants.cbegin().value())
        return 0;
    const qint64 peer = personInfoId(*chat.participants.cbegin().value(), create);
    if (peer == 0)
        return 0;
    if (const qint64 known = m_directByInfo.value(peer); known != 0 || !create)
        return known;
    ColumnInsert insert("conversations");
    insert.reset(m_catalogue.get());
    insert.set("conversation_type", OneToOne);
    insert.setIfPresent("date", dateMs);
    insert.setIfPresent("participant_id_1", peer);
    m_db->executeThrow(insert.sql());
    const qint64 id = m_db->lastInsertId();
    m_directByInfo.insert(peer, id);
    m_newestOfNew.insert(id, dateMs);
    m_typeOfConversation.insert(id, OneToOne);
    m_groupOfConversation.insert(id, 0);
    participantRow(id, m_ownerInfo);
    participantRow(id, peer);
    return id;
}

qint64 ModernAndroidViberTransfer::freshToken(qint64 dateMs, const _ViberMsg& message) const
{
    // Shaped as the app's own tokens, whose upper bits are the send time; the low bits
    // come from the message, so a second transfer of it makes the same token.
    const QByteArray md5 = QCryptographicHash::hash(
        (message.text + QString::number(dateMs) + QString::number(message.type)).toUtf8(),
        QCryptographicHash::Md5);
    // A date beyond what 40 bits hold after the epoch (a damaged source's) is held there.
    const qint64 sinceEpoch = dateMs > TokenEpochMs ? std::min(dateMs - TokenEpochMs, qint64(1) << 40) : 1;
    qint64 token = (sinceEpoch << 22) | (qint64(qFromBigEndian<quint32>(md5.constData())) & TokenLowBits);
    while (m_datesByToken.contains(token))
        ++token;
    return token;
}

qint64 ModernAndroidViberTransfer::writeMessage(qint64 conversationId, const _ViberMsg& message,
                                                const ModernMessageRow& row, qint64 dateMs, qint64 senderInfo)
{
    const int sendType = isSent(message) ? 1 : 0;
    const int conversationType = m_typeOfConversation.value(conversationId);
    Template kind = m_templates.value({sendType, conversationType});
    if (!kind.found)
        kind = m_templates.value({sendType, -1});
    if (!kind.found)
        kind.status = sendType == 1 ? 2 : 0;
    qint64 token = messageToken(message);
    // A token the phone holds for another message would make two messages one.
    if (token == 0 || m_datesByToken.contains(token))
        token = freshToken(dateMs, message);

    ColumnInsert& insert = *m_insertMessage;
    insert.begin();
    insert.set("conversation_id", conversationId);
    insert.set("order_key", m_orderKeys.keyFor(conversationId, dateMs));
    insert.set("msg_date", dateMs);
    insert.set("token", token);
    insert.set("conversation_type", conversationType);
    insert.set("participant_id", participantRow(conversationId, senderInfo));
    insert.set("unread", 0);
    insert.set("flag", kind.flag);
    insert.set("group_id", m_groupOfConversation.value(conversationId));
    insert.set("extra_flags", 0);
    insert.set("deleted", 0);
    insert.set("send_type", sendType);
    insert.set("extra_mime", row.kind);
    insert.set("user_id", sendType == 1 ? m_ownerNumber : m_userIdOfInfo.value(senderInfo));
    insert.set("status", kind.status);
    insert.set("body", row.body);
    insert.set("msg_info", row.msgInfo);
    if (!row.uri.isEmpty())
        insert.set("extra_uri", row.uri);
    if (!row.downloadId.isEmpty())
        insert.set("extra_download_id", row.downloadId);
    if (row.durationMs > 0)
        insert.set("extra_duration", row.durationMs);
    if (row.uploadId != 0)
        insert.set("extra_upload_id", row.uploadId);
    if (row.hasLocation) {
        insert.set("location_lat", row.latitude);
        insert.set("location_lng", row.longitude);
    }
    m_db->executeThrow(insert.sql());
    const qint64 id = m_db->lastInsertId();
    m_datesByToken.add(token, dateMs);
    if (const auto made = m_newestOfNew.find(conversationId); made != m_newestOfNew.end())
        *made = std::max(*made, dateMs);
    m_rowsByChat[{conversationId, sendType}].append({dateMs, qHash(row.body)});
    if (row.kind == ModernAndroidViberDb::Call)
        writeCallRow(conversationId, id, *message.call, token, dateMs);
    return token;
}

void ModernAndroidViberTransfer::writeCallRow(qint64 conversationId, qint64 messageId, const _ViberCall& call,
                                              qint64 token, qint64 dateMs)
{
    if (!m_catalogue->hasTable(QStringLiteral("messages_calls")))
        return;
    // The call log's ending of a call that was answered; a missed call has none.
    const int endReason = call.kind == ViberCallKind::Missed ? 0 : 3;
    const int videoCall = 4;
    const int callType =
        call.extraMap().value(QStringLiteral("viber_call_type")).toInt() == videoCall ? videoCall : 1;
    m_db->executeThrow(
        Sqlite3Sql(
            QStringLiteral("insert into messages_calls (conversation_id, message_id, canonized_number, "
                           "viber_call_type, date, duration, type, end_reason, start_reason, token) "
                           "values (?, ?, ?, ?, ?, ?, ?, ?, 0, ?)"))
            .addInt64Param(conversationId)
            .addInt64Param(messageId)
            .addTextParam(call.person ? ViberText::canonicalNumber(call.person->number) : QString())
            .addIntParam(callType)
            .addInt64Param(dateMs)
            .addInt64Param(call.duration)
            .addIntParam(call.kind)
            .addIntParam(endReason)
            .addInt64Param(token));
}

ModernAndroidViberTransfer::Result
ModernAndroidViberTransfer::mergeMessages(const QList<_ViberMsg*>& messages, const MediaResolver& media,
                                          const ProgressReport& progress)
{
    m_db->openThrow(m_path, Sqlite3DB::OpenReadWrite);
    m_db->applyDefensiveSettings();
    m_db->registerFallbackCollation(QStringLiteral("LOCALIZED"));
    m_db->registerFallbackCollation(QStringLiteral("UNICODE"));
    m_catalogue->readCatalogue(*m_db);
    for (const char* column : {"msg_date", "send_type", "order_key", "msg_info"}) {
        if (!m_catalogue->hasColumn(QStringLiteral("messages"), QLatin1String(column)))
            throw std::runtime_error("The phone's messages database is not of today's Viber.");
    }
    m_insertMessage->reset(m_catalogue.get());
    readPhone();
    readCallLog();
    readTemplates();

    Result result;
    result.lastPhoneId =
        scalar(*m_db, Sqlite3Sql(QStringLiteral("select ifnull(max(_id), 0) from messages")));
    QList<Entry> queue;
    for (_ViberMsg* message : messages) {
        if (!message || !message->chat || message->systemType != ViberSystemType::None)
            continue;
        ++result.queued;
        if (ModernMessageRow::isWritable(*message))
            queue.append({messageDateMs(*message), message});
    }
    // Dates are integers, so this is a strict weak order; stable keeps the source order
    // of equal dates, which decides which of two copies of one message is written.
    std::stable_sort(queue.begin(), queue.end(),
                     [](const Entry& a, const Entry& b) { return a.dateMs < b.dateMs; });

    Sqlite3Transaction transaction(*m_db);
    const qint64 total = queue.size();
    for (qint64 i = 0; i < total; ++i) {
        if (progress)
            progress(i + 1, total);
        const Entry& entry = queue.at(i);
        const _ViberMsg& message = *entry.message;
        const int sendType = isSent(message) ? 1 : 0;
        const qint64 token = messageToken(message);
        ModernMessageRow row = ModernMessageRow::build(message, QString());
        const SeenRow probe{entry.dateMs, 0, sendType, qHash(row.body)};
        // A call the log holds is the phone's even where the user removed its bubble.
        const bool inCallLog = message.type == ViberMsgType::Call && token != 0 &&
                               m_callDatesByToken.near(token, entry.dateMs, DuplicateWindowMs);
        if (inCallLog || (token != 0 && isDuplicate(probe, token))) {
            ++result.duplicates;
            continue;
        }
        // Looked up first and made only for a message that is written: a chat whose
        // messages the phone has already leaves no trace.
        const auto identify = [&](bool create) {
            const _ViberChat& chat = *message.chat;
            const _ViberPerson* sender = sendType == 1 ? nullptr : message.sender;
            if (sendType == 0 && !chat.isGroup() && chat.participants.size() == 1)
                sender = chat.participants.cbegin().value();
            const qint64 info = sendType == 1 ? m_ownerInfo : sender ? personInfoId(*sender, create) : 0;
            return QPair<qint64, qint64>(info, info != 0 ? conversationFor(chat, entry.dateMs, create) : 0);
        };
        const QPair<qint64, qint64> known = identify(false);
        if (token == 0 && known.second != 0 &&
            isDuplicate({entry.dateMs, known.second, sendType, probe.bodyHash}, 0)) {
            ++result.duplicates;
            continue;
        }
        const auto [senderInfo, conversationId] = identify(true);
        if (senderInfo == 0 || conversationId == 0) {
            ++result.withoutIdentity;
            continue;
        }
        // The media resolver places the file, so it is asked only for a message written.
        if (media && ModernMessageRow::hasMedia(row.kind))
            row.uri = media(message, row.kind);
        const qint64 written = writeMessage(conversationId, message, row, entry.dateMs, senderInfo);
        ++result.written;
        if (message.type == ViberMsgType::Call && message.call->person) {
            result.calls.append(*message.call);
            result.calls.last().token = written;
        }
    }
    if (result.written == 0)
        return result; // rolled back: not even a participant card is left
    // A conversation made here lists the date of its newest message, as the app's own do.
    for (auto it = m_newestOfNew.cbegin(); it != m_newestOfNew.cend(); ++it)
        m_db->executeThrow(Sqlite3Sql(QStringLiteral("update conversations set date = ? where _id = ?"))
                               .addInt64Param(it.value())
                               .addInt64Param(it.key()));
    result.conversationsAdded = m_newestOfNew.size();
    transaction.commit();
    m_db->close();
    return result;
}
