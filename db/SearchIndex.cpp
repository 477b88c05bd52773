#include "db/SearchIndex.h"

#include "app/Failure.h"
#include "app/Sqlite3Error.h"
#include "app/Sqlite3Transaction.h"
#include "db/ViberDates.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>

#include <utility>

namespace {

// Thai, the kana, and the CJK ideographs (with extension A): scripts written without
// spaces between words, which the word index would take for one word a sentence long.
const QString SpacelessClass = QStringLiteral("฀-๿぀-ヿ㐀-䶿一-鿿");

bool isSpaceless(const QString& text)
{
    static const QRegularExpression spaceless(QLatin1Char('[') + SpacelessClass + QLatin1Char(']'));
    return spaceless.match(text).hasMatch();
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
    m_db.executeScriptThrow(QStringLiteral(
        "create virtual table if not exists words using fts5(text, content='', "
        "tokenize='unicode61 remove_diacritics 2');"
        "create virtual table if not exists grams using fts5(text, content='', tokenize='trigram');"
        "create table if not exists state (key text primary key, value integer);"));
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("attach database ? as h")).addTextParam(m_database));
    // A file that is no index, or a database without messages, fails here rather than later.
    indexedCounts();
    databaseCounts();
}

SearchIndex::Counts SearchIndex::databaseCounts()
{
    Sqlite3Cursor c = m_db.queryThrow(
        Sqlite3Sql(QStringLiteral("select count(*), ifnull(max(Z_PK), 0), ifnull(sum(Z_PK), 0) from "
                                  "h.ZVIBERMESSAGE")));
    c.moveNext();
    return {c.getInt64(0), c.getInt64(1), c.getInt64(2)};
}

SearchIndex::Counts SearchIndex::indexedCounts()
{
    Counts counts;
    Sqlite3Cursor c = m_db.queryThrow(Sqlite3Sql(QStringLiteral("select key, value from state")));
    while (c.moveNext()) {
        const QString key = c.getText(0);
        if (key == QLatin1String("count"))
            counts.count = c.getInt64(1);
        else if (key == QLatin1String("max_id"))
            counts.maxId = c.getInt64(1);
        else if (key == QLatin1String("id_sum"))
            counts.idSum = c.getInt64(1);
    }
    return counts;
}

qint64 SearchIndex::update()
{
    const Counts now = databaseCounts();
    const Counts indexed = indexedCounts();
    if (now == indexed)
        return 0;
    // Rows only added (a backup appends) are indexed alone; anything else (a deletion)
    // makes the index anew.
    Sqlite3Cursor c = m_db.queryThrow(
        Sqlite3Sql(
            QStringLiteral("select count(*), ifnull(sum(Z_PK), 0) from h.ZVIBERMESSAGE where Z_PK > ?"))
            .addInt64Param(indexed.maxId));
    c.moveNext();
    const bool appended =
        now.count - c.getInt64(0) == indexed.count && now.idSum - c.getInt64(1) == indexed.idSum;
    Sqlite3Transaction transaction(m_db);
    if (!appended) {
        m_db.executeScriptThrow(QStringLiteral("insert into words(words) values('delete-all');"
                                               "insert into grams(grams) values('delete-all');"));
    }
    const qint64 from = appended ? indexed.maxId : 0;
    index(from);
    for (const auto& [key, value] :
         {std::pair{"count", now.count}, {"max_id", now.maxId}, {"id_sum", now.idSum}})
        m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert or replace into state values (?, ?)"))
                              .addTextParam(QLatin1String(key))
                              .addInt64Param(value));
    transaction.commit();
    return appended ? now.count - indexed.count : now.count;
}

void SearchIndex::index(qint64 afterId)
{
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert into words(rowid, text) select Z_PK, ZTEXT from "
                                                "h.ZVIBERMESSAGE where Z_PK > ? and ZTEXT <> ''"))
                          .addInt64Param(afterId));
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("insert into grams(rowid, text) select Z_PK, ZTEXT from "
                                                "h.ZVIBERMESSAGE where Z_PK > ? and ZTEXT glob ?"))
                          .addInt64Param(afterId)
                          .addTextParam(QStringLiteral("*[%1]*").arg(SpacelessClass)));
}

QList<SearchIndex::Hit> SearchIndex::search(const Query& query)
{
    QStringList conditions;
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
    QList<QVariant> parameters;
    if (!words.isEmpty()) {
        conditions.append(QStringLiteral("m.Z_PK in (select rowid from words where words match ?)"));
        parameters.append(words.join(QLatin1Char(' ')));
    }
    if (!grams.isEmpty()) {
        conditions.append(QStringLiteral("m.Z_PK in (select rowid from grams where grams match ?)"));
        parameters.append(grams.join(QLatin1Char(' ')));
    }
    for (const QString& scan : std::as_const(scans)) {
        conditions.append(QStringLiteral("instr(m.ZTEXT, ?) > 0"));
        parameters.append(scan);
    }
    if (query.after) {
        conditions.append(QStringLiteral("m.ZDATE >= ?"));
        parameters.append(ViberDates::unixMsToRef(query.after->toMSecsSinceEpoch()));
    }
    if (query.before) {
        conditions.append(QStringLiteral("m.ZDATE < ?"));
        parameters.append(ViberDates::unixMsToRef(query.before->toMSecsSinceEpoch()));
    }
    if (!query.chats.isEmpty()) {
        QStringList ids;
        for (const qint64 id : chatsMatching(query.chats))
            ids.append(QString::number(id));
        if (ids.isEmpty())
            return {};
        conditions.append(QStringLiteral("m.ZCONVERSATION in (%1)").arg(ids.join(QLatin1Char(','))));
    }
    parameters.append(std::max(1, query.limit));
    Sqlite3Sql sql(
        QStringLiteral("select m.Z_PK, m.ZCONVERSATION, m.ZDATE, m.ZTEXT, m.ZSTATE, p.ZNAME, "
                       "p.ZPHONENUM from h.ZVIBERMESSAGE as m left join h.ZPHONENUMBERINDEX as p on "
                       "p.Z_PK = m.ZPHONENUMINDEX where %1 order by m.ZDATE desc, m.Z_PK desc limit ?")
            .arg(conditions.join(QStringLiteral(" and "))));
    for (const QVariant& parameter : std::as_const(parameters))
        sql.addParam(parameter);
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
    for (Hit& hit : hits) {
        hit.chat = chatTitle(hit.chatId);
        // A one-to-one chat's messages name no sender: they are its one person's.
        if (!hit.outgoing && hit.sender.isEmpty() && chatPeople(hit.chatId).size() == 1)
            hit.sender = chatPeople(hit.chatId).constFirst();
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
    QList<qint64> ids;
    Sqlite3Cursor c = m_db.queryThrow(Sqlite3Sql(QStringLiteral("select Z_PK from h.ZCONVERSATION")));
    QList<qint64> all;
    while (c.moveNext())
        all.append(c.getInt64(0));
    for (const qint64 id : std::as_const(all)) {
        const QString title = chatTitle(id);
        for (const QString& selector : selectors) {
            if (selector == QString::number(id) || title.contains(selector, Qt::CaseInsensitive)) {
                ids.append(id);
                break;
            }
        }
    }
    return ids;
}
