#include "db/IOSMemberViberDb.h"

#include "app/AppDirs.h"
#include "db/IPhoneBackup.h"
#include "db/LocalDbPaths.h"
#include "db/ViberCodes.h"
#include "db/ViberMessageInfo.h"
#include "db/ViberText.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace {

int durationSeconds(double value)
{
    return value > 0 && value < 1e9 ? int(value) : 0;
}

QString firstNonEmpty(std::initializer_list<QString> values)
{
    for (const QString& value : values) {
        if (!value.trimmed().isEmpty())
            return value.trimmed();
    }
    return {};
}

// A to-many relationship kept both ways lies in a Core Data join table named after entity
// numbers, which change between app versions: Z_5PHONENUMINDEXES(Z_5CONVERSATIONS,
// Z_10PHONENUMINDEXES) holds a chat's members, Z_4MESSAGES(Z_4ATTACHMENTS, Z_21MESSAGES) a
// message's attachments in files whose messages do not name them. The names come from
// the file, so only names of that form are taken and they go into SQL quoted.
struct JoinTable
{
    QString name;
    QString ownerColumn; // holds rows of the entity the table is numbered after
    QString otherColumn;
};

// Join tables called Z_<owner><relation> with the columns Z_<owner><inverse> and
// Z_<other><relation>; an entity number of 0 (not named in Z_PRIMARYKEY) matches any.
QList<JoinTable> joinTables(const SchemaCatalogue& catalogue, const QString& relation, const QString& inverse,
                            int ownerEntity, int otherEntity)
{
    static const QRegularExpression numbered(QStringLiteral("^Z_(\\d{1,6})([A-Z]{1,40})$"),
                                             QRegularExpression::CaseInsensitiveOption);
    QList<JoinTable> found;
    for (const SchemaCatalogue::Table& table : catalogue.tables()) {
        const QRegularExpressionMatch name = numbered.match(table.name);
        if (!name.hasMatch() || name.captured(2).compare(relation, Qt::CaseInsensitive) != 0)
            continue;
        const int owner = name.captured(1).toInt();
        if (ownerEntity > 0 && owner != ownerEntity)
            continue;
        JoinTable join{table.name, {}, {}};
        for (const _SqliteCol& column : table.columns) {
            const QRegularExpressionMatch match = numbered.match(column.name);
            if (!match.hasMatch())
                continue;
            const int entity = match.captured(1).toInt();
            if (entity == owner && match.captured(2).compare(inverse, Qt::CaseInsensitive) == 0)
                join.ownerColumn = column.name;
            else if (match.captured(2).compare(relation, Qt::CaseInsensitive) == 0 &&
                     (otherEntity <= 0 || entity == otherEntity))
                join.otherColumn = column.name;
        }
        if (!join.ownerColumn.isEmpty() && !join.otherColumn.isEmpty())
            found.append(join);
    }
    // The catalogue's order is a hash's; the choice among several must not depend on it.
    std::sort(found.begin(), found.end(),
              [](const JoinTable& a, const JoinTable& b) { return a.name < b.name; });
    return found;
}

} // namespace

IOSMemberViberDb::IOSMemberViberDb(const QString& path) : m_path(path) {}

IOSMemberViberDb::IOSMemberViberDb(std::unique_ptr<IPhoneBackup> backup)
    : m_path(backup->viberDatabase()), m_backup(std::move(backup))
{}

IOSMemberViberDb::~IOSMemberViberDb()
{
    // The copies a backup made go with it; SQLite lets go of them first.
    close();
}

void IOSMemberViberDb::open()
{
    if (isOpen())
        return;
    openReadOnly(m_path, m_catalogue);
}

QHash<QString, int> IOSMemberViberDb::entityNumbers()
{
    QHash<QString, int> entities;
    const QString keys = QStringLiteral("Z_PRIMARYKEY");
    if (!m_catalogue.hasColumn(keys, QStringLiteral("Z_NAME")) ||
        !m_catalogue.hasColumn(keys, QStringLiteral("Z_ENT")))
        return entities;
    // A model has some dozens of entities; a table of more is no model's.
    Sqlite3Cursor c =
        queryThrow(Sqlite3Sql(QStringLiteral("select Z_NAME, Z_ENT from Z_PRIMARYKEY limit 1000")));
    while (c.moveNext()) {
        const QString name = c.getText(0);
        const qint64 number = c.getInt64(1);
        if (name.size() <= 100 && number > 0 && number < 1000000)
            entities.insert(name, int(number));
    }
    return entities;
}

QString IOSMemberViberDb::attachmentJoin(const QHash<QString, int>& entities) const
{
    if (!m_catalogue.hasTable(QStringLiteral("ZATTACHMENT")))
        return {};
    if (m_catalogue.hasColumn(QStringLiteral("ZVIBERMESSAGE"), QStringLiteral("ZATTACHMENT")))
        return QStringLiteral(" left join ZATTACHMENT as a on a.Z_PK = m.ZATTACHMENT");
    // Files of 2017 link them only through the join table; a file with neither link
    // shows its messages without attachments.
    const QList<JoinTable> joins = joinTables(
        m_catalogue, QStringLiteral("MESSAGES"), QStringLiteral("ATTACHMENTS"),
        entities.value(QStringLiteral("Attachment")), entities.value(QStringLiteral("ViberMessage")));
    if (joins.isEmpty())
        return {};
    const JoinTable& join = joins.first();
    return QStringLiteral(" left join %1 as j on j.%2 = m.Z_PK left join ZATTACHMENT as a on a.Z_PK = j.%3")
        .arg(Sqlite3Sql::quotedName(join.name), Sqlite3Sql::quotedName(join.otherColumn),
             Sqlite3Sql::quotedName(join.ownerColumn));
}

QString IOSMemberViberDb::placeJoin() const
{
    const QString places = QStringLiteral("ZVIBERLOCATION");
    if (!m_catalogue.hasTable(places))
        return {};
    if (m_catalogue.hasColumn(QStringLiteral("ZVIBERMESSAGE"), QStringLiteral("ZLOCATION")))
        return QStringLiteral(" left join ZVIBERLOCATION as l on l.Z_PK = m.ZLOCATION");
    if (m_catalogue.hasColumn(places, QStringLiteral("ZMESSAGE")))
        return QStringLiteral(" left join ZVIBERLOCATION as l on l.ZMESSAGE = m.Z_PK");
    return {};
}

void IOSMemberViberDb::loadMembers(ViberDataSet& dataSet)
{
    Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral("select * from ZMEMBER")));
    const int iPk = c.colIndex(QStringLiteral("Z_PK"));
    const int iFull = c.colIndex(QStringLiteral("ZDISPLAYFULLNAME"));
    const int iName = c.colIndex(QStringLiteral("ZNAME"));
    const int iShort = c.colIndex(QStringLiteral("ZDISPLAYSHORTNAME"));
    while (c.moveNext()) {
        _ViberPerson* person = dataSet.persons.obtain(c.getInt64(iPk));
        person->name = firstNonEmpty({c.getText(iFull), c.getText(iName), c.getText(iShort)});
    }
    if (!m_catalogue.hasColumn(QStringLiteral("ZPHONENUMBER"), QStringLiteral("ZMEMBER")))
        return;
    Sqlite3Cursor n = queryThrow(Sqlite3Sql(
        QStringLiteral("select ZMEMBER, ZPHONE, ZCANONIZEDPHONENUM from ZPHONENUMBER order by Z_PK")));
    while (n.moveNext()) {
        _ViberPerson* person = dataSet.persons.value(n.getInt64(0));
        if (person && person->number.isEmpty())
            person->number = firstNonEmpty({n.getText(1), n.getText(2)});
    }
}

void IOSMemberViberDb::loadCallLog(ViberDataSet& dataSet)
{
    if (!m_catalogue.hasColumn(QStringLiteral("ZRECENT"), QStringLiteral("ZCALLLOGMESSAGE")))
        return;
    QHash<QString, _ViberPerson*> byNumber;
    for (_ViberPerson* person : dataSet.persons) {
        const QString canonical = ViberText::canonicalNumber(person->number);
        if (!canonical.isEmpty())
            byNumber.insert(canonical, person);
    }
    const bool hasLines =
        m_catalogue.hasColumn(QStringLiteral("ZRECENTSLINE"), QStringLiteral("ZPHONENUMBER"));
    Sqlite3Cursor c = queryThrow(Sqlite3Sql(
        hasLines
            ? QStringLiteral("select r.Z_PK, r.ZDATE, r.ZDURATION, r.ZCALLTYPE, r.ZCALLLOGMESSAGE, "
                             "l.ZPHONENUMBER from ZRECENT as r left join ZRECENTSLINE as l on l.Z_PK = "
                             "r.ZRECENTSLINE order by r.ZDATE")
            : QStringLiteral("select Z_PK, ZDATE, ZDURATION, ZCALLTYPE, ZCALLLOGMESSAGE, NULL from ZRECENT "
                             "order by ZDATE")));
    qint64 madeUpId = -1;
    while (c.moveNext()) {
        _ViberCall* call = dataSet.calls.obtain(c.getInt64(0));
        call->date = c.getDouble(1);
        call->duration = durationSeconds(c.getDouble(2));
        const QString type = c.getText(3);
        call->kind = ViberCodes::parseCallKind(type);
        QVariantMap extra;
        extra.insert(QStringLiteral("ZCALLTYPE"), type);
        if (const qint64 message = c.getInt64(4))
            extra.insert(QStringLiteral("ZCALLLOGMESSAGE"), message);
        call->setExtra(extra);
        const QString number = c.getText(5);
        const QString canonical = ViberText::canonicalNumber(number);
        if (canonical.isEmpty())
            continue;
        call->person = byNumber.value(canonical);
        if (!call->person) {
            _ViberPerson* made = dataSet.persons.obtain(madeUpId--);
            made->number = number;
            byNumber.insert(canonical, made);
            call->person = made;
        }
    }
}

QString IOSMemberViberDb::mediaFile(const QString& attachmentType, const QString& name)
{
    // Only a backup says where the app's own folder is; the group container the
    // database lies in holds no media.
    if (!m_backup || name.isEmpty() || LocalDbPaths::safeFileName(name) != name)
        return {};
    // The app files media by kind; a kind it filed elsewhere is still found.
    QList<const char*> folders = {LocalDbPaths::AttachmentsFolder, LocalDbPaths::FileMessagesFolder,
                                  LocalDbPaths::VoiceFolder};
    if (attachmentType == QLatin1String("audio"))
        folders.move(2, 0);
    else if (attachmentType == QLatin1String("file"))
        folders.move(1, 0);
    for (const char* folder : folders) {
        const QString path = m_backup->appFile(QLatin1String(folder) + QLatin1Char('/') + name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void IOSMemberViberDb::loadInto(ViberDataSet& dataSet)
{
    if (m_backup)
        dataSet.decryptedMedia = m_backup->decryptedMedia();
    loadMembers(dataSet);
    {
        Sqlite3Cursor c = queryThrow(
            Sqlite3Sql(QStringLiteral("select * from ZCONVERSATION where coalesce(ZBEINGDELETED, 0) = 0")));
        const int iPk = c.colIndex(QStringLiteral("Z_PK"));
        const int iName = c.colIndex(QStringLiteral("ZNAME"));
        const int iGroupId = c.colIndex(QStringLiteral("ZGROUPID"));
        const int iPeer = c.colIndex(QStringLiteral("ZINTERLOCUTOR"));
        const int iSubtype = c.colIndex(QStringLiteral("ZSUBTYPE"));
        const int iDate = c.colIndex(QStringLiteral("ZDATE"));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.obtain(c.getInt64(iPk));
            chat->name = c.getText(iName).trimmed();
            chat->date = c.getDouble(iDate);
            if (const qint64 groupId = c.getInt64(iGroupId))
                chat->groupId = QString::number(groupId);
            if (c.getInt(iSubtype) == 5 && chat->name.isEmpty())
                chat->name = QStringLiteral("My Notes");
            _ViberPerson* peer = iPeer >= 0 ? dataSet.persons.value(c.getInt64(iPeer)) : nullptr;
            if (peer)
                chat->participants.insert(peer->id, peer);
        }
    }
    // A chat's members, and in files without ZINTERLOCUTOR a one-to-one chat's person.
    const QHash<QString, int> entities = entityNumbers();
    for (const JoinTable& join :
         joinTables(m_catalogue, QStringLiteral("PHONENUMINDEXES"), QStringLiteral("CONVERSATIONS"),
                    entities.value(QStringLiteral("Conversation")), 0)) {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral("select %1, %2 from %3")
                                                    .arg(Sqlite3Sql::quotedName(join.ownerColumn),
                                                         Sqlite3Sql::quotedName(join.otherColumn),
                                                         Sqlite3Sql::quotedName(join.name))));
        while (c.moveNext()) {
            _ViberChat* chat = dataSet.chats.value(c.getInt64(0));
            _ViberPerson* person = dataSet.persons.value(c.getInt64(1));
            if (chat && person)
                chat->participants.insert(person->id, person);
        }
    }
    loadCallLog(dataSet);
    QHash<qint64, _ViberCall*> callByMessage;
    for (_ViberCall* call : dataSet.calls) {
        if (const qint64 message = call->extraMap().value(QStringLiteral("ZCALLLOGMESSAGE")).toLongLong())
            callByMessage.insert(message, call);
    }

    // Attachments and places are linked in different ways by different app versions.
    const QString attachments = attachmentJoin(entities);
    const QString places = placeJoin();
    QString sql = QStringLiteral("select m.*");
    sql += attachments.isEmpty()
               ? QStringLiteral(", NULL as atta_name, NULL as atta_type, NULL as atta_size, "
                                "NULL as atta_id")
               : QStringLiteral(", a.ZNAME as atta_name, a.ZTYPE as atta_type, a.ZFILESIZE as "
                                "atta_size, a.ZID as atta_id");
    sql += places.isEmpty()
               ? QStringLiteral(", NULL as loc_lat, NULL as loc_lng, NULL as loc_address")
               : QStringLiteral(", l.ZLATITUDE as loc_lat, l.ZLONGITUDE as loc_lng, l.ZADDRESS as "
                                "loc_address");
    sql += QStringLiteral(" from ZVIBERMESSAGE as m") + attachments + places +
           QStringLiteral(" where coalesce(m.ZBEINGDELETED, 0) = 0 order by m.ZDATE, m.Z_PK");
    if (!attachments.isEmpty())
        sql += QStringLiteral(", a.Z_PK");
    Sqlite3Cursor c = queryThrow(Sqlite3Sql(sql));
    const int iPk = c.colIndex(QStringLiteral("Z_PK"));
    const int iChat = c.colIndex(QStringLiteral("ZCONVERSATION"));
    const int iSender = c.colIndex(QStringLiteral("ZPHONENUMINDEX"));
    const int iDate = c.colIndex(QStringLiteral("ZDATE"));
    const int iStateDate = c.colIndex(QStringLiteral("ZSTATEDATE"));
    const int iState = c.colIndex(QStringLiteral("ZSTATE"));
    const int iText = c.colIndex(QStringLiteral("ZTEXT"));
    const int iSystem = c.colIndex(QStringLiteral("ZSYSTEMTYPE"));
    const int iToken = c.colIndex(QStringLiteral("ZTOKEN"));
    const int iCallType = c.colIndex(QStringLiteral("ZCALLTYPE"));
    const int iAttaName = c.colIndex(QStringLiteral("atta_name"));
    const int iAttaType = c.colIndex(QStringLiteral("atta_type"));
    const int iAttaSize = c.colIndex(QStringLiteral("atta_size"));
    const int iAttaId = c.colIndex(QStringLiteral("atta_id"));
    const int iLat = c.colIndex(QStringLiteral("loc_lat"));
    const int iLng = c.colIndex(QStringLiteral("loc_lng"));
    const int iAddress = c.colIndex(QStringLiteral("loc_address"));
    while (c.moveNext()) {
        _ViberChat* chat = dataSet.chats.value(c.getInt64(iChat));
        const QString kind = c.getText(iSystem);
        // A vote is no line of its own.
        if (!chat || kind == QLatin1String("pollMessageInvisible"))
            continue;
        _ViberMsg* msg = dataSet.messages.obtain(c.getInt64(iPk));
        if (msg->chat) // several attachment rows of one message: the first stays
            continue;
        ViberDataSet::addToChat(chat, msg);
        msg->date = c.getDouble(iDate);
        msg->stateDate = c.getDouble(iStateDate);
        msg->token = c.getInt64(iToken);
        msg->seq = msg->token;
        // The owner's messages name no sender; states beyond the known ones stay stored.
        msg->sender = dataSet.persons.value(c.getInt64(iSender));
        const QString state = c.getText(iState);
        msg->status = ViberCodes::parseStatus(state);
        if (msg->status == ViberStatus::Unknown)
            msg->status = msg->sender ? ViberStatus::Received : ViberStatus::Sent;
        const QString text = c.getText(iText);
        QVariantMap extra;
        extra.insert(QStringLiteral("ZSTATE"), state);
        if (!kind.isEmpty())
            extra.insert(QStringLiteral("ZSYSTEMTYPE"), kind);
        msg->setExtra(extra);

        if (kind == QLatin1String("systemCallLog")) {
            msg->type = ViberMsgType::Call;
            msg->call = callByMessage.value(msg->id);
            if (!msg->call) {
                _ViberCall* call = dataSet.calls.obtain(-msg->id);
                call->date = msg->date;
                call->kind = ViberCodes::parseCallKind(c.getText(iCallType));
                call->person = msg->sender                      ? msg->sender
                               : chat->participants.size() == 1 ? chat->participants.cbegin().value()
                                                                : nullptr;
                msg->call = call;
            }
            continue;
        }
        if (kind == QLatin1String("systemGeneralMessageRemoved")) {
            msg->type = ViberMsgType::System;
            msg->text = ViberMessageInfo::deletedText();
            continue;
        }
        if (kind == QLatin1String(ViberCodes::CustomLocation)) {
            msg->type = ViberMsgType::Location;
            msg->text = text;
            msg->location.setLatitude(c.getDouble(iLat));
            msg->location.setLongitude(c.getDouble(iLng));
            msg->location.setAddress(c.getText(iAddress));
            // Like the other readers' locations, one carries an attachment record, which
            // the bubbles and exports draw the map and address from.
            _ViberAtta* atta = dataSet.attachments.obtain(msg->id);
            ViberDataSet::attach(msg, atta);
            atta->seq = msg->token;
            atta->fileName = QString::number(msg->token);
            continue;
        }
        if (!kind.isEmpty() && kind != QLatin1String("url") && kind != QLatin1String("formatted")) {
            // Pins and the other service lines, shown as stored.
            msg->type = ViberMsgType::System;
            msg->text = text.isEmpty() ? kind : text;
            continue;
        }
        msg->type = ViberMsgType::Text;
        msg->text = text;
        const QString attaType = c.getText(iAttaType);
        if (attaType.isEmpty())
            continue;
        _ViberAtta* atta = dataSet.attachments.obtain(msg->id);
        ViberDataSet::attach(msg, atta);
        atta->seq = msg->token;
        atta->fileId = c.getText(iAttaId);
        atta->fileSize = c.getInt64(iAttaSize);
        const QString storedName = c.getText(iAttaName);
        const QString name = AppDirs::sanitizeFileName(storedName);
        atta->fileName = name.isEmpty() ? QString::number(msg->token) : name;
        if (attaType != QLatin1String("sticker"))
            atta->localPath = mediaFile(attaType, storedName);
        if (attaType == QLatin1String("picture") || attaType == QLatin1String("gif"))
            msg->type = ViberMsgType::Picture;
        else if (attaType == QLatin1String("video"))
            msg->type = ViberMsgType::Video;
        else if (attaType == QLatin1String("audio"))
            msg->type = ViberMsgType::Voice;
        else if (attaType == QLatin1String("sticker"))
            msg->type = ViberMsgType::Sticker;
        else if (attaType == QLatin1String("file"))
            msg->text = ViberMessageInfo::fileText(name, text);
        else // an attachment of a type no reader knows, shown as stored
            msg->text = text.isEmpty() ? QStringLiteral("[%1]").arg(attaType)
                                       : QStringLiteral("[%1] %2").arg(attaType, text);
    }
}
