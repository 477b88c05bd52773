#include "db/ModernViberAppQueries.h"

#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"

namespace {

// Rows the app never shows as messages: those it marks deleted and reaction helpers.
const QString Visible = QStringLiteral("deleted = 0 and extra_mime is not 1007");
// Bit 22 of extra_flags keeps a row out of the last message and the unread counts.
const QString Counted = QStringLiteral("(extra_flags & 4194304) = 0");
constexpr int SearchSample = 64;

void openCopy(Sqlite3DB& db, const QString& path)
{
    db.openThrow(path, Sqlite3DB::OpenReadOnly);
    db.applyDefensiveSettings();
    db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
    db.registerFallbackCollation(QStringLiteral("UNICODE"));
}

qint64 scalar(Sqlite3DB& db, const QString& sql, qint64 lastPhoneId)
{
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql).addInt64Param(lastPhoneId));
    return c.moveNext() ? c.getInt64(0) : 0;
}

[[noreturn]] void failCheck(const char* view, const QString& detail)
{
    fail(KeyTranslator::text("IDS_MODERN_TRANSFER_CHECK_FAILED_%1_%2").arg(QLatin1String(view), detail));
}

QString likePattern(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'%', QStringLiteral("\\%"))
        .replace(u'_', QStringLiteral("\\_"));
    return u'%' + escaped + u'%';
}

} // namespace

void ModernViberAppQueries::check(const QString& messagesDbPath, qint64 lastPhoneId)
{
    Sqlite3DB db;
    openCopy(db, messagesDbPath);
    const QString added = QStringLiteral("select distinct conversation_id from messages where _id > ?1");

    // The conversation list: every chat with an added message is listed, and the
    // message it shows last is not older than any added one.
    const qint64 unlisted = scalar(
        db,
        QStringLiteral(
            "select count(*) from (%1) as a left join conversations as c on c._id = a.conversation_id "
            "left join participants_info as p on c.conversation_type = 0 and p._id = c.participant_id_1 "
            "where c._id is null or c.deleted <> 0 or (c.flags & 262144) <> 0 or "
            "(c.conversation_type = 0 and (p._id is null or (p.participant_info_flags & 2) <> 0))")
            .arg(added),
        lastPhoneId);
    if (unlisted > 0)
        failCheck("conversation list", QStringLiteral("%1 chats not listed").arg(unlisted));
    const qint64 staleLast = scalar(
        db,
        QStringLiteral(
            "select count(*) from (%1) as a where (select max(msg_date) from messages where "
            "conversation_id = a.conversation_id and _id > ?1 and %2) > (select msg_date from messages "
            "where conversation_id = a.conversation_id and %2 and %3 order by order_key desc, msg_date "
            "desc limit 1)")
            .arg(added, Visible, Counted),
        lastPhoneId);
    if (staleLast > 0)
        failCheck("conversation list", QStringLiteral("%1 chats show an older last message").arg(staleLast));

    // A chat's messages: next to an added message, the app's order is the date order.
    const qint64 outOfOrder = scalar(
        db,
        QStringLiteral(
            "select count(*) from (select _id, msg_date, lag(msg_date) over w as newer_date, lag(_id) "
            "over w as newer_id from messages where %2 and conversation_id in (%1) window w as "
            "(partition by conversation_id order by order_key desc, msg_date desc)) where (_id > ?1 or "
            "newer_id > ?1) and newer_date < msg_date")
            .arg(added, Visible),
        lastPhoneId);
    if (outOfOrder > 0)
        failCheck("chat messages", QStringLiteral("%1 messages out of date order").arg(outOfOrder));
    const qint64 strangers = scalar(
        db,
        QStringLiteral(
            "select count(*) from messages as m left join participants as p on p._id = m.participant_id "
            "left join participants_info as i on i._id = p.participant_info_id where m._id > ?1 and "
            "(p._id is null or p.conversation_id <> m.conversation_id or i._id is null)"),
        lastPhoneId);
    if (strangers > 0)
        failCheck("chat messages",
                  QStringLiteral("%1 messages without a sender of their chat").arg(strangers));

    // Badges and notifications come from the unread counts: a chat with added messages
    // counts what it counted with the phone's rows alone.
    const qint64 raised =
        scalar(db,
               QStringLiteral(
                   "select count(*) from (select sum(_id <= ?1) as own, count(*) as now from messages where "
                   "unread > 0 and %2 and %3 and conversation_id in (%1) group by conversation_id) where own "
                   "<> now")
                   .arg(added, Visible, Counted),
               lastPhoneId);
    if (raised > 0)
        failCheck("unread counts", QStringLiteral("%1 chats count more unread messages").arg(raised));

    // The text search finds added texts as it finds the phone's.
    Sqlite3Cursor texts = db.queryThrow(
        Sqlite3Sql(QStringLiteral("select _id, body from messages where _id > ?1 and extra_mime = 0 and "
                                  "length(body) > 0 order by _id"))
            .addInt64Param(lastPhoneId));
    QList<QPair<qint64, QString>> sample;
    while (sample.size() < SearchSample && texts.moveNext()) {
        // Cut at a whole character: half a surrogate pair matches nothing.
        QString words = texts.getText(1).left(40);
        if (!words.isEmpty() && words.back().isHighSurrogate())
            words.chop(1);
        sample.append({texts.getInt64(0), words});
    }
    for (const auto& [id, words] : std::as_const(sample)) {
        Sqlite3Cursor found = db.queryThrow(
            Sqlite3Sql(
                QStringLiteral("select m._id from messages as m join conversations as c on c._id = "
                               "m.conversation_id where m.body like ? escape '\\' and m.deleted = 0 and "
                               "m.extra_mime is not 1007 and c.deleted = 0 and m._id = ?"))
                .addTextParam(likePattern(words))
                .addInt64Param(id));
        if (!found.moveNext())
            failCheck("text search", QStringLiteral("message %1 not found").arg(id));
    }
}
