#include "db/SearchIndex.h"

#include "app/Failure.h"
#include "app/Sqlite3Error.h"
#include "app/Sqlite3Transaction.h"
#include "db/ViberDates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {

// Thai, the kana, and the CJK ideographs (with extension A): scripts written without
// spaces between words, which the word index would take for one word a sentence long.
// All lie in the Basic Multilingual Plane, and each takes three bytes in UTF-8.
constexpr std::pair<char16_t, char16_t> SpacelessRanges[] = {
    {0x0E00, 0x0E7F}, {0x3040, 0x30FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}};

bool isSpacelessChar(char32_t c)
{
    return std::any_of(std::begin(SpacelessRanges), std::end(SpacelessRanges),
                       [c](const auto& range) { return c >= range.first && c <= range.second; });
}

// spaceless(TEXT) in SQL: 1 when the text holds a character of those scripts. It picks
// the texts worth a trigram index; a GLOB with a character class, tried at every
// position of every text, took a quarter of the indexing.
void spacelessFunction(sqlite3_context* context, int, sqlite3_value** values)
{
    const auto* text = sqlite3_value_text(values[0]);
    const int size = sqlite3_value_bytes(values[0]);
    bool found = false;
    for (int i = 0; text && i + 2 < size && !found; ++i) {
        const unsigned char lead = text[i];
        if (lead < 0xE0 || lead > 0xEF || (text[i + 1] & 0xC0) != 0x80 || (text[i + 2] & 0xC0) != 0x80)
            continue;
        found =
            isSpacelessChar(char32_t((lead & 0x0F) << 12 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F)));
    }
    sqlite3_result_int(context, found ? 1 : 0);
}

// An FTS5 string: quoted, inner quotes doubled, so that no input is taken for syntax.
QString ftsString(const QString& text)
{
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

// The query's pieces: phrases in double quotes, else words between spaces.
QStringList pieces(const QString& words)
{
    QStringList found;
    static const QRegularExpression piece(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
    for (const QRegularExpressionMatch& m : piece.globalMatch(words)) {
        const QString text = m.captured(1).isNull() ? m.captured(2) : m.captured(0);
        if (!text.isEmpty() && text != QLatin1String("\"\""))
            found.append(text);
    }
    return found;
}

} // namespace

SearchIndex::SearchIndex(const QString& folder, const QString& databaseFile)
    : m_folder(folder), m_database(QDir(folder).filePath(databaseFile))
{
    if (!QFile::exists(m_database))
        fail(QStringLiteral("%1 does not exist").arg(m_database));
    try {
        open();
    } catch (const Sqlite3Error&) {
        // A damaged index is only a copy: it is made again.
        m_db.close();
        QFile::remove(indexPath(m_folder));
        open();
    }
}

QString SearchIndex::indexPath(const QString& folder)
{
    return QDir(folder).filePath(QLatin1String(FileName));
}

std::optional<qint64> SearchIndex::indexedMessagesIn(const QString& folder)
{
    if (!QFile::exists(indexPath(folder)))
        return std::nullopt;
    try {
        Sqlite3DB db;
        db.openThrow(indexPath(folder), Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor c =
            db.queryThrow(Sqlite3Sql(QStringLiteral("select value from state where key='count'")));
        return c.moveNext() ? c.getInt64(0) : 0;
    } catch (const Sqlite3Error&) {
        return std::nullopt;
    }
}

void SearchIndex::open()
{
    m_db.openThrow(indexPath(m_folder), Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
    if (sqlite3_create_function_v2(m_db.handle(), "spaceless", 1,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                                   spacelessFunction, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw Sqlite3Error(sqlite3_errmsg(m_db.handle()));
    m_db.executeScriptThrow(QStringLiteral(
        "create virtual table if not exists words using fts5(text, content='', "
        "tokenize='unicode61 remove_diacritics 2');"
        "create virtual table if not exists grams using fts5(text, content='', tokenize='trigram');"
        "create table if not exists state (key text primary key, value integer);"
        "create table if not exists stamp (text text);"
        // The index's rows are keyed by the message's date (whole seconds, shifted left by
        // KeyShift) plus the low bits of its row id: the index yields the newest matches
        // first and can stop at the query's limit, and keys of messages close in time
        // stay close, which keeps the index small.
        "create table if not exists docs (key integer primary key, pk integer not null);"));
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("attach database ? as h")).addTextParam(m_database));
    // A file that is no index, or a database without messages, fails here rather than later.
    indexedCounts();
    m_db.queryThrow(Sqlite3Sql(QStringLiteral("select Z_PK, ZTEXT from h.ZVIBERMESSAGE limit 0")));
}

QString SearchIndex::databaseStamp() const
{
    // SQLite changes a file's size or modification time with every write it commits (into
    // the database or its log), and a file put in place by a rename has another inode:
    // the same stamp means the same rows, and a search need not count them again.
    QString stamp;
    for (const QString& path : QStringList{m_database, m_database + QStringLiteral("-wal")}) {
        struct stat info
        {};
        if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
            stamp += QStringLiteral("-;");
            continue;
        }
        stamp += QStringLiteral("%1:%2:%3.%4;")
                     .arg(qulonglong(info.st_ino))
                     .arg(qlonglong(info.st_size))
                     .arg(qlonglong(info.st_mtim.tv_sec))
                     .arg(qlonglong(info.st_mtim.tv_nsec));
    }
    return stamp;
}

SearchIndex::Counts SearchIndex::databaseCounts()
{
    Sqlite3Cursor c = m_db.queryThrow(
        Sqlite3Sql(QStringLiteral("select count(*), ifnull(max(Z_PK), 0), ifnull(sum(Z_PK), 0) from "
                                  "h.ZVIBERMESSAGE")));
    c.moveNext();
    return {c.getInt64(0), c.getInt64(1), c.getInt64(2)};
}

QString SearchIndex::indexedStamp()
{
    Sqlite3Cursor c = m_db.queryThrow(Sqlite3Sql(QStringLiteral("select text from stamp")));
    return c.moveNext() ? c.getText(0) : QString();
}

void SearchIndex::saveStamp(const QString& stamp)
{
    m_db.executeScriptThrow(QStringLiteral("delete from stamp"));
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert into stamp values (?)")).addTextParam(stamp));
}

void SearchIndex::saveCounts(const Counts& counts)
{
    for (const auto& [key, value] : {std::pair{"count", counts.count},
                                     {"max_id", counts.maxId},
                                     {"id_sum", counts.idSum},
                                     {"layout", Layout}})
        m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert or replace into state values (?, ?)"))
                              .addTextParam(QLatin1String(key))
                              .addInt64Param(value));
}

bool SearchIndex::isSpaceless(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return isSpacelessChar(c.unicode()); });
}

SearchIndex::Counts SearchIndex::indexedCounts()
{
    Counts counts;
    // An index made before its rows were keyed by date names no layout.
    counts.layout = 0;
    Sqlite3Cursor c = m_db.queryThrow(Sqlite3Sql(QStringLiteral("select key, value from state")));
    while (c.moveNext()) {
        const QString key = c.getText(0);
        if (key == QLatin1String("count"))
            counts.count = c.getInt64(1);
        else if (key == QLatin1String("max_id"))
            counts.maxId = c.getInt64(1);
        else if (key == QLatin1String("id_sum"))
            counts.idSum = c.getInt64(1);
        else if (key == QLatin1String("layout"))
            counts.layout = c.getInt64(1);
    }
    return counts;
}

qint64 SearchIndex::update()
{
    const QString stamp = databaseStamp();
    if (indexedStamp() == stamp)
        return 0;
    const Counts now = databaseCounts();
    const Counts indexed = indexedCounts();
    const bool currentLayout = indexed.layout == Layout;
    if (currentLayout && now == indexed) {
        saveStamp(stamp);
        return 0;
    }
    // Rows only added (a backup appends) are indexed alone; anything else (a deletion)
    // makes the index anew.
    Sqlite3Cursor c = m_db.queryThrow(
        Sqlite3Sql(
            QStringLiteral("select count(*), ifnull(sum(Z_PK), 0) from h.ZVIBERMESSAGE where Z_PK > ?"))
            .addInt64Param(indexed.maxId));
    c.moveNext();
    const bool appended = currentLayout && now.count - c.getInt64(0) == indexed.count &&
                          now.idSum - c.getInt64(1) == indexed.idSum;
    Sqlite3Transaction transaction(m_db);
    if (!appended) {
        m_db.executeScriptThrow(QStringLiteral("insert into words(words) values('delete-all');"
                                               "insert into grams(grams) values('delete-all');"
                                               "delete from docs;"));
    }
    const qint64 from = appended ? indexed.maxId : 0;
    index(from);
    saveCounts(now);
    saveStamp(stamp);
    transaction.commit();
    return appended ? now.count - indexed.count : now.count;
}

void SearchIndex::index(qint64 afterId)
{
    // Dates far outside any history's (a damaged row) are held to what the key can take.
    // (The whole seconds are the floor: a cast alone rounds a date before 2001 up.)
    const QString second = QStringLiteral("(cast(coalesce(ZDATE, 0) as integer) - (coalesce(ZDATE, 0) < "
                                          "cast(coalesce(ZDATE, 0) as integer)))");
    const QString key = QStringLiteral("((max(%1, min(%2, %3)) << %4) + (Z_PK & %5))")
                            .arg(-MaxKeySecond)
                            .arg(MaxKeySecond)
                            .arg(second)
                            .arg(KeyShift)
                            .arg((qint64(1) << KeyShift) - 1);
    const QString rows = QStringLiteral("from h.ZVIBERMESSAGE where Z_PK > ? and ZTEXT <> ''");
    // Keys go in in ascending order: the tables append instead of inserting into the
    // middle, which takes about a third off the indexing.
    m_db.executeThrow(
        Sqlite3Sql(QStringLiteral("insert or ignore into docs(key, pk) select %1, Z_PK %2 order by 1")
                       .arg(key, rows))
            .addInt64Param(afterId));
    const qint64 placed = m_db.changes();
    Sqlite3Cursor counted =
        m_db.queryThrow(Sqlite3Sql(QStringLiteral("select count(*) %1").arg(rows)).addInt64Param(afterId));
    counted.moveNext();
    if (counted.getInt64(0) == placed) {
        // Every message has the key its row gives.
        m_db.executeThrow(
            Sqlite3Sql(QStringLiteral("insert into words(rowid, text) select %1, ZTEXT %2 order by 1")
                           .arg(key, rows))
                .addInt64Param(afterId));
        m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert into grams(rowid, text) select %1, ZTEXT %2 and "
                                                    "spaceless(ZTEXT) order by 1")
                                         .arg(key, rows))
                              .addInt64Param(afterId));
        return;
    }
    placeCollidingKeys(afterId);
    const QString placedRows =
        QStringLiteral("from docs as d join h.ZVIBERMESSAGE as m on m.Z_PK = d.pk where d.pk > ?");
    m_db.executeThrow(
        Sqlite3Sql(QStringLiteral("insert into words(rowid, text) select d.key, m.ZTEXT %1 order by d.key")
                       .arg(placedRows))
            .addInt64Param(afterId));
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert into grams(rowid, text) select d.key, m.ZTEXT %1 and "
                                                "spaceless(m.ZTEXT) order by d.key")
                                     .arg(placedRows))
                          .addInt64Param(afterId));
}

void SearchIndex::placeCollidingKeys(qint64 afterId)
{
    // Two messages of one millisecond whose row ids agree in their low bits would share a
    // key: the later one takes the next free key, which still sorts by its date.
    Sqlite3Cursor left = m_db.queryThrow(
        Sqlite3Sql(QStringLiteral("select Z_PK, coalesce(ZDATE, 0) from h.ZVIBERMESSAGE where Z_PK > ? and "
                                  "ZTEXT <> '' and Z_PK not in (select pk from docs where pk > ?)"))
            .addInt64Param(afterId)
            .addInt64Param(afterId));
    QList<std::pair<qint64, double>> rows;
    while (left.moveNext())
        rows.append({left.getInt64(0), left.getDouble(1)});
    for (const auto& [pk, date] : std::as_const(rows)) {
        for (qint64 key = keyOf(date, false) + (pk & ((qint64(1) << KeyShift) - 1));; ++key) {
            m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert or ignore into docs(key, pk) values (?, ?)"))
                                  .addInt64Param(key)
                                  .addInt64Param(pk));
            if (m_db.changes() > 0)
                break;
        }
    }
}

qint64 SearchIndex::keyOf(double refSeconds, bool roundUp)
{
    const double whole = roundUp ? std::ceil(refSeconds) : std::floor(refSeconds);
    // Infinite dates are held to the ends as the index's SQL holds them; no date is NaN there.
    const qint64 second =
        std::isnan(whole) ? 0 : qint64(std::clamp(whole, -double(MaxKeySecond), double(MaxKeySecond)));
    return second << KeyShift;
}

QList<SearchIndex::Hit> SearchIndex::search(const Query& query)
{
    QStringList words;
    QStringList grams;
    QStringList scans;
    for (QString piece : pieces(query.words)) {
        const bool phrase = piece.startsWith(QLatin1Char('"'));
        const bool prefix = !phrase && piece.endsWith(QLatin1Char('*')) && piece.size() > 1;
        if (phrase)
            piece = piece.mid(1, piece.size() - 2);
        else if (prefix)
            piece.chop(1);
        if (!isSpaceless(piece))
            words.append(ftsString(piece) + (prefix ? QStringLiteral("*") : QString()));
        else if (piece.size() >= 3)
            grams.append(ftsString(piece));
        else
            scans.append(piece);
    }
    if (words.isEmpty() && grams.isEmpty() && scans.isEmpty())
        fail(QStringLiteral("nothing to search for"));

    // What a message must also be, beyond matching the index that drives the search.
    Filter filter;
    if (!words.isEmpty() && !grams.isEmpty()) {
        filter.conditions.append(QStringLiteral("d.key in (select rowid from grams where grams match ?)"));
        filter.parameters.append(grams.join(QLatin1Char(' ')));
    }
    for (const QString& scan : std::as_const(scans)) {
        filter.conditions.append(QStringLiteral("instr(m.ZTEXT, ?) > 0"));
        filter.parameters.append(scan);
    }
    if (query.after) {
        filter.conditions.append(QStringLiteral("m.ZDATE >= ?"));
        filter.parameters.append(ViberDates::unixMsToRef(query.after->toMSecsSinceEpoch()));
    }
    if (query.before) {
        filter.conditions.append(QStringLiteral("m.ZDATE < ?"));
        filter.parameters.append(ViberDates::unixMsToRef(query.before->toMSecsSinceEpoch()));
    }
    if (!query.chats.isEmpty()) {
        QStringList ids;
        for (const qint64 id : chatsMatching(query.chats))
            ids.append(QString::number(id));
        if (ids.isEmpty())
            return {};
        filter.conditions.append(QStringLiteral("m.ZCONVERSATION in (%1)").arg(ids.join(QLatin1Char(','))));
    }
    const int limit = std::max(1, query.limit);
    QList<Hit> hits;
    if (words.isEmpty() && grams.isEmpty())
        hits = scanNewestFirst(filter, limit);
    else if (!words.isEmpty())
        hits = matchNewestFirst(QStringLiteral("words"), words.join(QLatin1Char(' ')), query, filter, limit);
    else
        hits = matchNewestFirst(QStringLiteral("grams"), grams.join(QLatin1Char(' ')), query, filter, limit);
    for (Hit& hit : hits) {
        hit.chat = chatTitle(hit.chatId);
        // A one-to-one chat's messages name no sender: they are its one person's.
        if (!hit.outgoing && hit.sender.isEmpty() && chatPeople(hit.chatId).size() == 1)
            hit.sender = chatPeople(hit.chatId).constFirst();
    }
    return hits;
}

QList<SearchIndex::Hit> SearchIndex::matchNewestFirst(const QString& table, const QString& match,
                                                      const Query& query, const Filter& filter, int limit)
{
    // The index gives its keys newest first, a batch at a time; the messages of a batch
    // that pass the filter are hits, until there are enough. Without a filter every key
    // is a hit, so one batch of the limit's size answers.
    // The keys bound the dates to the second; the filter takes them exactly.
    qint64 upper = query.before ? keyOf(ViberDates::unixMsToRef(query.before->toMSecsSinceEpoch()), true)
                                : std::numeric_limits<qint64>::max();
    const qint64 lower = query.after ? keyOf(ViberDates::unixMsToRef(query.after->toMSecsSinceEpoch()), false)
                                     : std::numeric_limits<qint64>::min();
    qint64 batch = filter.conditions.isEmpty() ? limit : std::max(limit, 256);
    const QString keysSql =
        QStringLiteral("select rowid from %1 where %1 match ? and rowid < ? and rowid >= ? "
                       "order by rowid desc limit ?")
            .arg(table);
    QList<Hit> hits;
    while (hits.size() < limit) {
        QStringList keys;
        Sqlite3Cursor c = m_db.queryThrow(
            Sqlite3Sql(keysSql).addTextParam(match).addInt64Param(upper).addInt64Param(lower).addInt64Param(
                batch));
        while (c.moveNext()) {
            keys.append(QString::number(c.getInt64(0)));
            upper = c.getInt64(0);
        }
        if (keys.isEmpty())
            break;
        Filter batchFilter = filter;
        batchFilter.conditions.prepend(QStringLiteral("d.key in (%1)").arg(keys.join(QLatin1Char(','))));
        hits += readHits(QStringLiteral("docs as d join h.ZVIBERMESSAGE as m on m.Z_PK = d.pk"),
                         QStringLiteral("d.key desc"), batchFilter, limit - int(hits.size()));
        if (keys.size() < batch)
            break;
        batch = std::min<qint64>(batch * 2, 8192);
    }
    return hits;
}

QList<SearchIndex::Hit> SearchIndex::scanNewestFirst(const Filter& filter, int limit)
{
    // Runs of one or two characters of a spaceless script are in no index: the messages
    // are read newest first until enough hold them.
    return readHits(QStringLiteral("h.ZVIBERMESSAGE as m"), QStringLiteral("m.ZDATE desc, m.Z_PK desc"),
                    filter, limit);
}

QList<SearchIndex::Hit> SearchIndex::readHits(const QString& from, const QString& order, const Filter& filter,
                                              int limit)
{
    Sqlite3Sql sql(QStringLiteral("select m.Z_PK, m.ZCONVERSATION, m.ZDATE, m.ZTEXT, m.ZSTATE, p.ZNAME, "
                                  "p.ZPHONENUM from %1 left join h.ZPHONENUMBERINDEX as p on p.Z_PK = "
                                  "m.ZPHONENUMINDEX where %2 order by %3 limit ?")
                       .arg(from,
                            filter.conditions.isEmpty() ? QStringLiteral("1")
                                                        : filter.conditions.join(QStringLiteral(" and ")),
                            order),
                   filter.parameters);
    sql.addInt64Param(limit);
    QList<Hit> hits;
    Sqlite3Cursor c = m_db.queryThrow(sql);
    while (c.moveNext()) {
        Hit hit;
        hit.id = c.getInt64(0);
        hit.chatId = c.getInt64(1);
        hit.date = c.getDouble(2);
        hit.time = QDateTime::fromMSecsSinceEpoch(ViberDates::refToUnixMs(hit.date), QTimeZone::utc());
        hit.text = c.getText(3);
        hit.outgoing = c.getText(4) != QLatin1String("received");
        if (!hit.outgoing) {
            const QString name = c.getText(5).trimmed();
            hit.senderNumber = c.getText(6);
            hit.sender = name.isEmpty() ? hit.senderNumber : name;
        }
        hits.append(hit);
    }
    return hits;
}

QString SearchIndex::chatTitle(qint64 chatId)
{
    Sqlite3Cursor named = m_db.queryThrow(
        Sqlite3Sql(QStringLiteral("select ZNAME from h.ZCONVERSATION where Z_PK = ?")).addInt64Param(chatId));
    if (named.moveNext() && !named.getText(0).trimmed().isEmpty())
        return named.getText(0).trimmed();
    return chatPeople(chatId).join(QStringLiteral(", "));
}

QStringList SearchIndex::chatPeople(qint64 chatId)
{
    QStringList people;
    Sqlite3Cursor c = m_db.queryThrow(
        Sqlite3Sql(QStringLiteral("select coalesce(nullif(trim(p.ZNAME), ''), p.ZPHONENUM) from "
                                  "h.Z_4PHONENUMINDEXES as j join h.ZPHONENUMBERINDEX as p on p.Z_PK = "
                                  "j.Z_7PHONENUMINDEXES where j.Z_4CONVERSATIONS = ? order by p.Z_PK"))
            .addInt64Param(chatId));
    while (c.moveNext())
        people.append(c.getText(0));
    return people;
}

QList<qint64> SearchIndex::chatsMatching(const QStringList& selectors)
{
    // Every chat's title in one statement: a name, else its people as chatTitle() joins them.
    Sqlite3Cursor c = m_db.queryThrow(Sqlite3Sql(QStringLiteral(
        "select c.Z_PK, coalesce(nullif(trim(c.ZNAME), ''), (select group_concat(name, ', ') from (select "
        "coalesce(nullif(trim(p.ZNAME), ''), p.ZPHONENUM) as name from h.Z_4PHONENUMINDEXES as j join "
        "h.ZPHONENUMBERINDEX as p on p.Z_PK = j.Z_7PHONENUMINDEXES where j.Z_4CONVERSATIONS = c.Z_PK order "
        "by "
        "p.Z_PK)), '') from h.ZCONVERSATION as c")));
    QList<qint64> ids;
    while (c.moveNext()) {
        const qint64 id = c.getInt64(0);
        const QString title = c.getText(1);
        for (const QString& selector : selectors) {
            if (selector == QString::number(id) || title.contains(selector, Qt::CaseInsensitive)) {
                ids.append(id);
                break;
            }
        }
    }
    return ids;
}
