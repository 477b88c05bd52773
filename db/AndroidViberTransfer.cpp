#include "db/AndroidViberTransfer.h"

#include "app/SchemaCatalogue.h"
#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Transaction.h"
#include "db/AndroidViberDb.h"
#include "db/TokenDates.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"

#include <QCryptographicHash>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace {

qint64 scalar(Sqlite3DB& db, const Sqlite3Sql& sql)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

bool hasMessagesSequence(Sqlite3DB& db)
{
    return scalar(db,
                  Sqlite3Sql(QStringLiteral(
                      "select count(*) from sqlite_master where type='table' and name='sqlite_sequence'"))) >
           0;
}

// The date and token a message is written with: a call message is written from its call.
struct Key
{
    qint64 dateMs = 0;
    qint64 token = 0;
};

Key keyOf(const _ViberMsg& message)
{
    if (message.type == ViberMsgType::Call && message.call)
        return {ViberDates::refToUnixMs(message.call->date), message.call->token};
    return {ViberDates::refToUnixMs(message.date), message.token};
}

struct Entry
{
    Key key;
    _ViberMsg* message = nullptr;
};

} // namespace

AndroidViberTransfer::AndroidViberTransfer(AndroidViberDb& work) : m_work(work) {}

const QList<AndroidViberTransfer::MessageReference>& AndroidViberTransfer::messageReferences()
{
    static const QList<MessageReference> references = {
        {"messages_calls", "message_id"},
        {"public_messages_extras", "message_id"},
        {"conversations", "last_message_id"},
        {"participants", "last_message_id"},
    };
    return references;
}

AndroidViberTransfer::Result AndroidViberTransfer::mergeMessages(const QList<_ViberMsg*>& messages,
                                                                 const MediaResolver& media,
                                                                 const ProgressReport& progress)
{
    m_work.open();
    Result result;
    TokenDates seen;
    {
        Sqlite3Cursor c = m_work.queryThrow(Sqlite3Sql(QStringLiteral("select token, date from messages")));
        while (c.moveNext())
            seen.add(c.getInt64(0), c.getInt64(1));
    }
    const qint64 lastPhoneId = scalar(m_work, Sqlite3Sql(QStringLiteral("select max(_id) from messages")));
    const qint64 oldSequence =
        hasMessagesSequence(m_work)
            ? scalar(m_work,
                     Sqlite3Sql(QStringLiteral("select seq from sqlite_sequence where name='messages'")))
            : 0;

    QList<Entry> queue;
    for (_ViberMsg* message : messages) {
        if (!message || !message->chat || message->systemType != ViberSystemType::None)
            continue;
        queue.append({keyOf(*message), message});
        if (message->type == ViberMsgType::Call && message->call && message->call->person)
            result.calls.append(message->call);
    }
    result.queued = queue.size();
    // Dates are integers, so this is a strict weak order; stable keeps the source order
    // of equal dates, which decides which of two copies of one message is written.
    std::stable_sort(queue.begin(), queue.end(),
                     [](const Entry& a, const Entry& b) { return a.key.dateMs < b.key.dateMs; });
    QList<Entry> accepted;
    for (const Entry& entry : std::as_const(queue)) {
        if (seen.near(entry.key.token, entry.key.dateMs,
                      AndroidViberDb::duplicateWindowMs(entry.key.token))) {
            ++result.duplicates;
            continue;
        }
        seen.add(entry.key.token, entry.key.dateMs);
        accepted.append(entry);
    }
    if (accepted.isEmpty())
        return result;

    Sqlite3Transaction transaction(m_work);
    m_work.createMergeIndexes();
    qint64 ownerInfoId = 0;
    const qint64 total = accepted.size();
    for (qint64 i = 0; i < total; ++i) {
        const _ViberMsg& message = *accepted.at(i).message;
        if (progress)
            progress(i + 1, total);
        // Rows the phone holds under another date form (seconds rounded by a source)
        // are still caught here.
        const Key& key = accepted.at(i).key;
        if (m_work.findDuplicateMessage(key.dateMs, key.token) != 0) {
            ++result.duplicates;
            continue;
        }
        // A conversation and its participants come with the first message written into
        // them: a chat whose messages the phone has or declines leaves no trace.
        if (!AndroidViberDb::isWritable(message))
            continue;
        const MediaTexts texts = media ? media(message) : MediaTexts();
        qint64 conversationId = m_work.findConversation(message.chat);
        if (conversationId == 0)
            conversationId = m_work.insertConversation(ownerInfoId, message.chat);
        for (const _ViberPerson* person : message.chat->participants)
            m_work.addParticipant(conversationId, person);
        if (m_work.insertMessage(conversationId, ownerInfoId, message, texts.bodyText, texts.uriText) != 0)
            ++result.written;
    }
    // Nothing written: the transaction is rolled back with the merge indexes, so the
    // working copy is left exactly as it was.
    if (result.written == 0)
        return result;
    renumberByDate(lastPhoneId, oldSequence);
    m_work.fixConversations();
    m_work.dropMergeIndexes(false);
    transaction.commit();
    m_work.dropMergeIndexes(true);
    return result;
}

void AndroidViberTransfer::renumberByDate(qint64 lastPhoneId, qint64 oldSequence)
{
    // The app's triggers react to its own changes; a renumbering is none, and a trigger
    // on messages would otherwise see every row deleted and inserted again.
    QList<QPair<QString, QString>> triggers;
    {
        Sqlite3Cursor c = m_work.queryThrow(Sqlite3Sql(
            QStringLiteral("select name, sql from sqlite_master where type='trigger' and sql is not null")));
        while (c.moveNext())
            triggers.append({c.getText(0), c.getText(1)});
    }
    for (const auto& trigger : std::as_const(triggers))
        m_work.executeThrow(
            Sqlite3Sql(QStringLiteral("DROP TRIGGER main.%1").arg(Sqlite3Sql::quotedName(trigger.first))));

    // Rows of the phone carry _id up to lastPhoneId; the added rows were inserted after
    // them in date order. Equal dates put the phone's row first.
    m_work.executeThrow(Sqlite3Sql(QStringLiteral(
        "CREATE TEMP TABLE kestrune_renumber(old_id INTEGER PRIMARY KEY, new_id INTEGER NOT NULL UNIQUE)")));
    m_work.executeThrow(
        Sqlite3Sql(QStringLiteral("INSERT INTO temp.kestrune_renumber(old_id, new_id) SELECT _id, "
                                  "row_number() OVER (ORDER BY date, _id > ?, _id) FROM "
                                  "main.messages"))
            .addInt64Param(lastPhoneId));

    QStringList columns;
    for (const _SqliteCol& column : m_work.tbCols(QStringLiteral("messages"))) {
        if (column.name.compare(QLatin1String("_id"), Qt::CaseInsensitive) != 0)
            columns.append(Sqlite3Sql::quotedName(column.name));
    }
    const QString moved = QStringLiteral("SELECT old_id FROM temp.kestrune_renumber WHERE old_id <> new_id");
    m_work.executeThrow(Sqlite3Sql(
        QStringLiteral(
            "CREATE TEMP TABLE kestrune_moved AS SELECT m.* FROM main.messages AS m WHERE m._id IN (%1)")
            .arg(moved)));
    m_work.executeThrow(Sqlite3Sql(QStringLiteral("DELETE FROM main.messages WHERE _id IN (%1)").arg(moved)));
    m_work.executeThrow(Sqlite3Sql(
        QStringLiteral(
            "INSERT INTO main.messages(_id, %1) SELECT r.new_id, m.%2 FROM temp.kestrune_moved AS m "
            "JOIN temp.kestrune_renumber AS r ON r.old_id = m._id ORDER BY r.new_id")
            .arg(columns.join(QStringLiteral(", ")), columns.join(QStringLiteral(", m.")))));

    for (const MessageReference& reference : messageReferences()) {
        const QString table = QLatin1String(reference.table);
        const QString column = QLatin1String(reference.column);
        if (!m_work.catalogue().hasColumn(table, column))
            continue;
        // A reference to a message that is gone would otherwise name whichever row
        // inherits its number; it is cleared first, while the numbers are still the old ones.
        m_work.executeThrow(Sqlite3Sql(
            QStringLiteral("UPDATE main.%1 SET %2 = 0 WHERE %2 > 0 AND %2 NOT IN (SELECT old_id FROM "
                           "temp.kestrune_renumber)")
                .arg(Sqlite3Sql::quotedName(table), Sqlite3Sql::quotedName(column))));
        m_work.executeThrow(
            Sqlite3Sql(QStringLiteral("UPDATE main.%1 SET %2 = (SELECT new_id FROM "
                                      "temp.kestrune_renumber WHERE old_id = %2) WHERE %2 IN (%3)")
                           .arg(Sqlite3Sql::quotedName(table), Sqlite3Sql::quotedName(column), moved)));
    }
    m_work.executeThrow(Sqlite3Sql(QStringLiteral("DROP TABLE temp.kestrune_moved")));
    m_work.executeThrow(Sqlite3Sql(QStringLiteral("DROP TABLE temp.kestrune_renumber")));

    // The app hands out new _id values from the sequence; it never goes below what the
    // phone had, so no number the phone once gave out is given again.
    if (hasMessagesSequence(m_work))
        m_work.executeThrow(Sqlite3Sql(QStringLiteral("UPDATE sqlite_sequence SET seq = max(?, (SELECT "
                                                      "ifnull(max(_id), 0) FROM main.messages)) WHERE "
                                                      "name='messages'"))
                                .addInt64Param(oldSequence));
    for (const auto& trigger : std::as_const(triggers))
        m_work.executeThrow(Sqlite3Sql(trigger.second));
}

qint64 AndroidViberTransfer::mergeCalls(const QString& dataDbPath, const QList<const _ViberCall*>& calls,
                                        const ProgressReport& progress)
{
    if (calls.isEmpty())
        return 0;
    Sqlite3DB db;
    db.openThrow(dataDbPath, Sqlite3DB::OpenReadWrite);
    db.applyDefensiveSettings();
    db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
    db.registerFallbackCollation(QStringLiteral("UNICODE"));
    SchemaCatalogue catalogue;
    catalogue.readCatalogue(db);
    if (!catalogue.hasTable(QStringLiteral("calls")))
        throw std::runtime_error("viber_data has no call log.");

    qint64 written = 0;
    Sqlite3Transaction transaction(db);
    const QString findSql =
        QStringLiteral("select _id from calls where token=? and date >= ? and date <= ? limit 1");
    const QString insertSql = QStringLiteral(
        "insert into calls(number, aggregate_hash, call_id, canonized_number, viber_call, viber_call_type, "
        "duration, start_reason, type, end_reason, date, token) values(?, ?, ?, ?, 1, 1, ?, 0, ?, ?, ?, ?)");
    const qint64 total = calls.size();
    for (qint64 i = 0; i < total; ++i) {
        if (progress)
            progress(i + 1, total);
        const _ViberCall* call = calls.at(i);
        if (!call || !call->person)
            continue;
        int type = 0;
        int endReason = 0;
        switch (call->kind) {
        case ViberCallKind::Incoming:
            type = 1;
            endReason = 3;
            break;
        case ViberCallKind::Outgoing:
            type = 2;
            endReason = 3;
            break;
        case ViberCallKind::Missed:
            type = 3;
            break;
        default:
            continue; // the log requires a type
        }
        const qint64 dateMs = ViberDates::refToUnixMs(call->date);
        const qint64 window = AndroidViberDb::duplicateWindowMs(call->token);
        if (scalar(db, Sqlite3Sql(findSql)
                           .addInt64Param(call->token)
                           .addInt64Param(dateMs - window)
                           .addInt64Param(dateMs + window)) != 0)
            continue;
        const QString number = call->person->number;
        db.executeThrow(Sqlite3Sql(insertSql)
                            .addTextParam(number)
                            .addIntParam(numberHash(number))
                            .addInt64Param(dateMs / 1000)
                            .addTextParam(ViberText::canonicalNumber(number))
                            .addInt64Param(call->duration)
                            .addIntParam(type)
                            .addIntParam(endReason)
                            .addInt64Param(dateMs)
                            .addInt64Param(call->token));
        ++written;
    }
    transaction.commit();
    return written;
}

qint32 AndroidViberTransfer::numberHash(const QString& number)
{
    const QByteArray digest = QCryptographicHash::hash(number.toUtf8(), QCryptographicHash::Md5);
    qint32 hash = 0;
    for (int i = 0; i < 4; ++i)
        hash ^= qFromLittleEndian<qint32>(digest.constData() + 4 * i);
    return hash;
}
