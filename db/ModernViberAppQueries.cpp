#include "db/ModernViberAppQueries.h"

#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"

#include <QSet>

#include <algorithm>
#include <future>
#include <limits>
#include <tuple>
#include <vector>

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

struct OrderFindings
{
    qint64 staleLast = 0;  // chats whose list entry shows an older message than an added one
    qint64 outOfOrder = 0; // messages that sort before an older one of their chat
};

// A chat as the app lists it: its visible rows by order_key, then msg_date, newest first
// (SQLite puts a NULL key last in that order). The rows are read by the app's own
// selection; the order is applied here, where sorting every chat of a large phone takes
// a fraction of what SQLite's sorter takes within its small page cache.
OrderFindings chatOrder(const QString& messagesDbPath, qint64 lastPhoneId)
{
    Sqlite3DB db;
    openCopy(db, messagesDbPath);
    // One pass reads each page once: a page cache would only hold memory.
    db.setCacheSize(-256);
    // 32 bytes a row: a large phone's chats are held at once. The id goes with whether
    // the row counts for the last message, in its lowest bit (ids are positive).
    struct Row
    {
        qint64 conversation;
        qint64 key;
        qint64 date;
        qint64 idAndCounted;

        qint64 id() const { return idAndCounted >> 1; }
        bool counted() const { return idAndCounted & 1; }
    };
    // The chats with an added row, from the ids above the phone's: a few rows.
    QSet<qint64> affected;
    {
        Sqlite3Cursor added =
            db.queryThrow(Sqlite3Sql(QStringLiteral("select distinct conversation_id from messages where _id "
                                                    "> ? and conversation_id is not null"))
                              .addInt64Param(lastPhoneId));
        while (added.moveNext())
            affected.insert(added.getInt64(0));
    }
    // One pass over the table, each row's chat looked up here: through an index
    // (phones have one on conversation_id) SQLite would fetch every row by a read of
    // its own, and its own look-up in a list of the chats took as long as the pass.
    // Grown as read: counting the rows first was a second pass over the whole table.
    std::vector<Row> rows;
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(
        QStringLiteral("select conversation_id, ifnull(order_key, -9223372036854775808), msg_date, _id, %2 "
                       "from messages not indexed where %1 and conversation_id is not null")
            .arg(Visible, Counted)));
    // No phone's ids come near 2^62; a damaged file's are held there rather than overflow.
    constexpr qint64 IdBound = std::numeric_limits<qint64>::max() / 4;
    while (c.moveNext()) {
        if (!affected.contains(c.getInt64(0)))
            continue;
        const qint64 id = std::clamp(c.getInt64(3), -IdBound, IdBound);
        rows.push_back({c.getInt64(0), c.getInt64(1), c.getInt64(2), id * 2 + (c.getInt(4) != 0 ? 1 : 0)});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (a.conversation != b.conversation)
            return a.conversation < b.conversation;
        return std::tie(b.key, b.date) < std::tie(a.key, a.date);
    });
    OrderFindings found;
    for (size_t first = 0; first < rows.size();) {
        size_t end = first;
        qint64 newestAdded = std::numeric_limits<qint64>::min();
        const Row* last = nullptr; // the message the conversation list shows
        for (; end < rows.size() && rows[end].conversation == rows[first].conversation; ++end) {
            const Row& row = rows[end];
            if (row.id() > lastPhoneId)
                newestAdded = std::max(newestAdded, row.date);
            if (!last && row.counted())
                last = &row;
            if (end > first) {
                const Row& newer = rows[end - 1];
                if ((row.id() > lastPhoneId || newer.id() > lastPhoneId) && newer.date < row.date)
                    ++found.outOfOrder;
            }
        }
        if (last && newestAdded > last->date)
            ++found.staleLast;
        first = end;
    }
    return found;
}

QString likePattern(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'%', QStringLiteral("\\%"))
        .replace(u'_', QStringLiteral("\\_"));
    return u'%' + escaped + u'%';
}

// The text search finds added texts as it finds the phone's: the first of a sample of
// added texts that it misses, 0 when it finds them all.
qint64 firstTextUnfound(Sqlite3DB& db, qint64 lastPhoneId)
{
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
            return id;
    }
    return 0;
}

} // namespace

void ModernViberAppQueries::check(const QString& messagesDbPath, qint64 lastPhoneId)
{
    // The chats' order takes one pass over the whole table, the other views only the
    // added rows: it is read beside them, on a connection of its own.
    std::future<OrderFindings> order = std::async(std::launch::async, chatOrder, messagesDbPath, lastPhoneId);
    Sqlite3DB db;
    openCopy(db, messagesDbPath);
    const QString added = QStringLiteral("select distinct conversation_id from messages where _id > ?1");

    // The conversation list: every chat with an added message is listed, and the
    // message it shows last is not older than any added one (with the chat order).
    const qint64 unlisted = scalar(
        db,
        QStringLiteral(
            "select count(*) from (%1) as a left join conversations as c on c._id = a.conversation_id "
            "left join participants_info as p on c.conversation_type = 0 and p._id = c.participant_id_1 "
            "where c._id is null or c.deleted <> 0 or (c.flags & 262144) <> 0 or "
            "(c.conversation_type = 0 and (p._id is null or (p.participant_info_flags & 2) <> 0))")
            .arg(added),
        lastPhoneId);
    const qint64 strangers = scalar(
        db,
        QStringLiteral(
            "select count(*) from messages as m left join participants as p on p._id = m.participant_id "
            "left join participants_info as i on i._id = p.participant_info_id where m._id > ?1 and "
            "(p._id is null or p.conversation_id <> m.conversation_id or i._id is null)"),
        lastPhoneId);
    // Badges and notifications come from the unread counts. The phone's own rows are as
    // they were, so a chat counts what it counted before exactly when none of its added
    // rows counts.
    const qint64 raised = scalar(
        db,
        QStringLiteral("select count(distinct conversation_id) from messages where _id > ?1 and unread > 0 "
                       "and %1 and %2")
            .arg(Visible, Counted),
        lastPhoneId);
    const qint64 unfound = firstTextUnfound(db, lastPhoneId);
    const OrderFindings chats = order.get();

    // Told in the order a person meets the views: the list, a chat, its badge, a search.
    if (unlisted > 0)
        failCheck("conversation list", QStringLiteral("%1 chats not listed").arg(unlisted));
    if (chats.staleLast > 0)
        failCheck("conversation list",
                  QStringLiteral("%1 chats show an older last message").arg(chats.staleLast));
    if (chats.outOfOrder > 0)
        failCheck("chat messages", QStringLiteral("%1 messages out of date order").arg(chats.outOfOrder));
    if (strangers > 0)
        failCheck("chat messages",
                  QStringLiteral("%1 messages without a sender of their chat").arg(strangers));
    if (raised > 0)
        failCheck("unread counts", QStringLiteral("%1 chats count more unread messages").arg(raised));
    if (unfound != 0)
        failCheck("text search", QStringLiteral("message %1 not found").arg(unfound));
}
