#include "db/IOSViberDb.h"

#include "app/BlobCodec.h"
#include "app/Sqlite3Error.h"
#include "db/BackupRuns.h"
#include "db/Emoticons.h"
#include "db/LocalDbPaths.h"
#include "db/PreviewImage.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

constexpr int SqliteOpenReadOnly = 0x1;

// The tables of the program's schema; a file without them is not a local database,
// and reading or writing it would only fail later with a less helpful message.
const char* const RequiredTables[] = {"ZATTACHMENT",  "ZCONVERSATION",  "ZPHONENUMBERINDEX", "ZRECENT",
                                      "ZRECENTSLINE", "ZVIBERLOCATION", "ZVIBERMESSAGE"};

bool isAllDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

qint64 firstInt64(Sqlite3DB& db, const Sqlite3Sql& sql)
{
    Sqlite3Cursor cursor = db.queryThrow(sql);
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

QString quotedName(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The extra columns of a record read from a row: the row's own "_other" blob when the
// query has one, else a blob made of the optional columns the query has.
class ExtraReader
{
public:
    enum Kind { Int, IntUnlessNull, Int64, Text, BlobUnlessEmpty };
    struct Column
    {
        const char* name;
        Kind kind;
    };

    ExtraReader(const Sqlite3Cursor& cursor, std::initializer_list<Column> columns)
        : m_other(cursor.colIndex(QStringLiteral("_other")))
    {
        if (m_other >= 0)
            return;
        for (const Column& column : columns) {
            const int index = cursor.colIndex(QLatin1String(column.name));
            if (index >= 0)
                m_columns.append({QLatin1String(column.name), column.kind, index});
        }
    }

    QByteArray read(const Sqlite3Cursor& cursor) const
    {
        if (m_other >= 0)
            return BlobCodec::held(cursor.getBlob(m_other));
        QVariantMap map;
        for (const Present& column : m_columns) {
            switch (column.kind) {
            case Int:
                map.insert(column.name, cursor.getInt(column.index));
                break;
            case IntUnlessNull:
                if (!cursor.isNull(column.index))
                    map.insert(column.name, cursor.getInt(column.index));
                break;
            case Int64:
                map.insert(column.name, qlonglong(cursor.getInt64(column.index)));
                break;
            case Text:
                map.insert(column.name, cursor.getText(column.index));
                break;
            case BlobUnlessEmpty: {
                const QByteArray bytes = cursor.getBlob(column.index);
                if (!bytes.isEmpty())
                    map.insert(column.name, bytes);
                break;
            }
            }
        }
        return BlobCodec::held(BlobCodec::encodeMap(map));
    }

private:
    struct Present
    {
        QString name;
        Kind kind;
        int index;
    };
    int m_other;
    QList<Present> m_columns;
};

// One row of ZPHONENUMBERINDEX, possibly joined with the address book, as a person.
class PersonReader
{
public:
    PersonReader(const Sqlite3Cursor& cursor, bool addressBook, const QString& folder)
        : m_extra(cursor, {{"Z_OPT", ExtraReader::Int}}), m_folder(folder),
          m_pk(cursor.colIndex(QStringLiteral("Z_PK"))),
          m_name(cursor.colIndex(addressBook ? QStringLiteral("person_name") : QStringLiteral("ZNAME"))),
          m_number(cursor.colIndex(QStringLiteral("ZCANONIZEDPHONENUM"))),
          m_icon(cursor.colIndex(QStringLiteral("ZICONID"))),
          m_record(cursor.colIndex(QStringLiteral("ZRECORDID")))
    {}

    qint64 pk(const Sqlite3Cursor& cursor) const { return cursor.getInt64(m_pk); }

    std::unique_ptr<_ViberPerson> read(const Sqlite3Cursor& cursor) const
    {
        auto person = std::make_unique<_ViberPerson>();
        person->id = cursor.getInt64(m_pk);
        person->extra = m_extra.read(cursor);
        person->name = cursor.getText(m_name);
        const QString number = cursor.getText(m_number);
        person->number = isAllDigits(number) ? QLatin1Char('+') + number : number;
        // References to pictures that are not there are worse than none.
        const QString icon = LocalDbPaths::safeFileName(cursor.getText(m_icon));
        if (!icon.isEmpty())
            person->avatarRef = QLatin1String("/Documents/ViberIcons/") + icon + QLatin1String(".jpg");
        if (!cursor.isNull(m_record))
            person->abPhotoPath =
                QStringLiteral("/Documents/ContactIcons/%1.jpg").arg(cursor.getInt64(m_record));
        person->photoPath = LocalDbPaths::contactIconPath(m_folder, person->number);
        return person;
    }

private:
    ExtraReader m_extra;
    QString m_folder;
    int m_pk, m_name, m_number, m_icon, m_record;
};

// A record's extra columns, decoded only when a column that needs them is written:
// the program's own schema needs none, and decoding for every message would cost
// more than the insert.
class LazyExtras
{
public:
    explicit LazyExtras(QByteArray blob) : m_blob(std::move(blob)) {}

    QVariant value(const QString& name)
    {
        if (!m_map)
            m_map = BlobCodec::decodeMap(m_blob);
        return m_map->value(name);
    }

    // The blob as the record holds it, for the row's own copy.
    const QByteArray& blob() const { return m_blob; }

    // Core Data's optimistic-lock counter: kept when the source had one, else 2.
    int optimisticLock()
    {
        const int opt = value(QStringLiteral("Z_OPT")).toInt();
        return opt >= 1 ? opt : 2;
    }

private:
    const QByteArray m_blob;
    std::optional<QVariantMap> m_map;
};

} // namespace

IOSViberDb::IOSViberDb(const QString& folder, const QString& databaseFile, int openFlag)
    : m_folder(QDir(folder).absolutePath()), m_databaseFile(databaseFile), m_openFlag(openFlag)
{}

IOSViberDb::~IOSViberDb() = default;

QString IOSViberDb::databasePath() const
{
    return QDir(m_folder).absoluteFilePath(m_databaseFile);
}

void IOSViberDb::open()
{
    if (isOpen() && m_prepared)
        return;
    m_runKeys.clear();
    m_runKeysComplete = false;
    m_deferredIndexes.clear();
    const QString path = databasePath();
    const bool browsing = m_openFlag == OpenForBrowsing;
    bool created = false;
    try {
        if (browsing) {
            openThrow(path, SqliteOpenReadOnly);
        } else if (QFileInfo::exists(path)) {
            openThrow(path, OpenReadWrite);
        } else {
            QDir().mkpath(QFileInfo(path).absolutePath());
            openThrow(path, OpenReadWrite | OpenCreate);
            created = true;
        }
        applyDefensiveSettings();
        m_catalogue.readCatalogue(*this);
        // An empty file (left by an interrupted creation, or made by hand) is a new
        // database, not a foreign one.
        if (!browsing && m_catalogue.tables().isEmpty()) {
            createSchema();
            m_catalogue.readCatalogue(*this);
        }
        prepare();
        if (!browsing)
            removeOrphans();
        m_prepared = true;
    } catch (...) {
        // Half-prepared, the adapter would run later statements with empty table names;
        // closed, the next open() tries again and reports the same error.
        m_prepared = false;
        close();
        if (created)
            QFile::remove(path);
        throw;
    }
}

void IOSViberDb::createSchema()
{
    QFile file(QString::fromLatin1(SchemaScript));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    QByteArray script = file.readAll();
    const qsizetype nul = script.indexOf('\0');
    if (nul >= 0)
        script.truncate(nul);
    executeScriptThrow(QString::fromLatin1(script));
}

void IOSViberDb::prepare()
{
    if (!m_catalogue.hasTable(QStringLiteral("Z_PRIMARYKEY")))
        throw Sqlite3Error("not a Viber store (no table Z_PRIMARYKEY): " + databasePath().toStdString());
    m_entities.clear();
    {
        Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from Z_PRIMARYKEY")));
        const int name = cursor.colIndex(QStringLiteral("Z_NAME"));
        const int ent = cursor.colIndex(QStringLiteral("Z_ENT"));
        while (cursor.moveNext())
            m_entities.insert(cursor.getText(name), cursor.getInt(ent));
    }
    m_conversationEntity = m_entities[QStringLiteral("Conversation")];
    m_phoneEntity = m_entities[QStringLiteral("PhoneNumberIndex")];
    m_joinTable = QStringLiteral("Z_%1PHONENUMINDEXES").arg(m_conversationEntity);
    m_joinConversationColumn = QStringLiteral("Z_%1CONVERSATIONS").arg(m_conversationEntity);
    m_joinPhoneColumn = QStringLiteral("Z_%1PHONENUMINDEXES").arg(m_phoneEntity);
    requireTables();

    m_linkSql = QStringLiteral("replace into %1(%2, %3) values(?, ?)")
                    .arg(m_joinTable, m_joinConversationColumn, m_joinPhoneColumn);
    m_findChatSql =
        QStringLiteral("select c.Z_PK from ZCONVERSATION as c inner join %1 as j on c.Z_PK=j.%2 "
                       "inner join ZPHONENUMBERINDEX as p on j.%3=p.Z_PK and p.ZCANONIZEDPHONENUM=? "
                       "and (c.ZGROUPID is null or c.ZGROUPID='') limit 1")
            .arg(m_joinTable, m_joinConversationColumn, m_joinPhoneColumn);
    m_messageConversationColumn = QStringLiteral("Z%1_CONVERSATION").arg(m_conversationEntity).toLatin1();

    for (ColumnInsert* insert : {&m_personInsert, &m_conversationInsert, &m_messageInsert, &m_locationInsert,
                                 &m_attachmentInsert, &m_recentInsert, &m_recentsLineInsert})
        insert->reset(&m_catalogue);
}

void IOSViberDb::requireTables() const
{
    QStringList missing;
    for (const char* table : RequiredTables) {
        if (!m_catalogue.hasTable(QLatin1String(table)))
            missing.append(QLatin1String(table));
    }
    if (!m_catalogue.hasColumn(m_joinTable, m_joinConversationColumn) ||
        !m_catalogue.hasColumn(m_joinTable, m_joinPhoneColumn))
        missing.append(m_joinTable);
    if (!missing.isEmpty())
        throw Sqlite3Error("not a Viber store (missing " + missing.join(QLatin1String(", ")).toStdString() +
                           "): " + databasePath().toStdString());
}

void IOSViberDb::removeOrphans()
{
    executeThrow(Sqlite3Sql(QStringLiteral("DELETE FROM %1 WHERE (SELECT 1 from ZCONVERSATION WHERE "
                                           "%1.%2=ZCONVERSATION.Z_PK LIMIT 1) IS NULL")
                                .arg(m_joinTable, m_joinConversationColumn)));
    executeThrow(
        Sqlite3Sql(QStringLiteral("DELETE FROM ZVIBERLOCATION WHERE (SELECT 1 from ZVIBERMESSAGE WHERE "
                                  "ZVIBERLOCATION.ZMESSAGE=ZVIBERMESSAGE.Z_PK LIMIT 1) IS NULL")));
    executeThrow(Sqlite3Sql(QStringLiteral("DELETE FROM ZATTACHMENT WHERE (SELECT 1 from ZVIBERMESSAGE WHERE "
                                           "ZATTACHMENT.ZMESSAGE=ZVIBERMESSAGE.Z_PK LIMIT 1) IS NULL")));
}

bool IOSViberDb::hasAddressBook() const
{
    // The join needs all three columns; a store that has the table in another shape
    // is read as one without an address book.
    const QString contacts = QStringLiteral("ZABCONTACT");
    return m_catalogue.hasColumn(contacts, QStringLiteral("ZMAINNAME")) &&
           m_catalogue.hasColumn(contacts, QStringLiteral("ZRECORDID")) &&
           m_catalogue.hasColumn(QStringLiteral("ZPHONENUMBERINDEX"), QStringLiteral("ZCONTACT"));
}

// ---------------------------------------------------------------------------------
// Reading

void IOSViberDb::loadInto(ViberDataSet& dataSet)
{
    loadChats(dataSet);
    loadParticipants(dataSet);
    loadPersons(dataSet);
    loadMessages(dataSet);
    loadAttachments(dataSet);
    loadCalls(dataSet);
    dataSet.goneFromSource = BackupRuns::goneMessagesIn(m_folder);
}

void IOSViberDb::loadChats(ViberDataSet& dataSet)
{
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from ZCONVERSATION")));
    const ExtraReader extra(cursor, {{"Z_OPT", ExtraReader::Int},
                                     {"ZCONTEXT", ExtraReader::Int64},
                                     {"ZSMARTNOTIFICATIONSHOWN", ExtraReader::IntUnlessNull},
                                     {"ZSMARTSTATE", ExtraReader::Int}});
    const int pk = cursor.colIndex(QStringLiteral("Z_PK"));
    const int date = cursor.colIndex(QStringLiteral("ZDATE"));
    const int groupId = cursor.colIndex(QStringLiteral("ZGROUPID"));
    const int name = cursor.colIndex(QStringLiteral("ZNAME"));
    while (cursor.moveNext()) {
        const qint64 id = cursor.getInt64(pk);
        if (dataSet.chats.contains(id))
            continue;
        auto chat = std::make_unique<_ViberChat>();
        chat->id = id;
        chat->date = cursor.getDouble(date);
        chat->groupId = cursor.getText(groupId);
        chat->name = cursor.getText(name);
        chat->extra = extra.read(cursor);
        dataSet.chats.insert(std::move(chat));
    }
}

void IOSViberDb::loadParticipants(ViberDataSet& dataSet)
{
    const bool addressBook = hasAddressBook();
    QString sql = QStringLiteral("select j.%1 as chat_id, p.*").arg(m_joinConversationColumn);
    if (addressBook)
        sql += QLatin1String(", c.ZMAINNAME as person_name, c.ZRECORDID");
    sql += QStringLiteral(" from %1 as j inner join ZPHONENUMBERINDEX as p on j.%2=p.Z_PK")
               .arg(m_joinTable, m_joinPhoneColumn);
    if (addressBook)
        sql += QLatin1String(" left join ZABCONTACT as c on p.ZCONTACT=c.Z_PK");

    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(sql));
    const PersonReader reader(cursor, addressBook, m_folder);
    const int chatId = cursor.colIndex(QStringLiteral("chat_id"));
    while (cursor.moveNext()) {
        _ViberPerson* person = dataSet.persons.value(reader.pk(cursor));
        if (!person)
            person = dataSet.persons.insert(reader.read(cursor));
        if (_ViberChat* chat = dataSet.chats.value(cursor.getInt64(chatId)))
            chat->participants.insert(person->id, person);
    }
}

void IOSViberDb::loadPersons(ViberDataSet& dataSet)
{
    const bool addressBook = hasAddressBook();
    const QString sql = addressBook
                            ? QStringLiteral("select p.*, c.ZMAINNAME as person_name, c.ZRECORDID from "
                                             "ZPHONENUMBERINDEX as p left join ZABCONTACT as c on "
                                             "p.ZCONTACT=c.Z_PK")
                            : QStringLiteral("select p.* from ZPHONENUMBERINDEX as p");
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(sql));
    const PersonReader reader(cursor, addressBook, m_folder);
    while (cursor.moveNext()) {
        if (!dataSet.persons.contains(reader.pk(cursor)))
            dataSet.persons.insert(reader.read(cursor));
    }
}

void IOSViberDb::loadMessages(ViberDataSet& dataSet)
{
    Sqlite3Cursor cursor = queryThrow(
        Sqlite3Sql(QStringLiteral("select m.*, l.ZLATITUDE, l.ZLONGITUDE, l.ZADDRESS as loc_address from "
                                  "ZVIBERMESSAGE as m left join ZVIBERLOCATION as l on m.Z_PK=l.ZMESSAGE")));
    const ExtraReader extra(cursor, {{"Z_OPT", ExtraReader::Int},
                                     {"ZEMOTICONSRANGES", ExtraReader::BlobUnlessEmpty},
                                     {"ZRANGES", ExtraReader::BlobUnlessEmpty}});
    const int pk = cursor.colIndex(QStringLiteral("Z_PK"));
    const int conversation = cursor.colIndex(QStringLiteral("ZCONVERSATION"));
    const int state = cursor.colIndex(QStringLiteral("ZSTATE"));
    const int systemType = cursor.colIndex(QStringLiteral("ZSYSTEMTYPE"));
    const int text = cursor.colIndex(QStringLiteral("ZTEXT"));
    const int seq = cursor.colIndex(QStringLiteral("ZSEQ"));
    const int token = cursor.colIndex(QStringLiteral("ZTOKEN"));
    const int sender = cursor.colIndex(QStringLiteral("ZPHONENUMINDEX"));
    const int date = cursor.colIndex(QStringLiteral("ZDATE"));
    const int stateDate = cursor.colIndex(QStringLiteral("ZSTATEDATE"));
    const int latitude = cursor.colIndex(QStringLiteral("ZLATITUDE"));
    const int longitude = cursor.colIndex(QStringLiteral("ZLONGITUDE"));
    const int address = cursor.colIndex(QStringLiteral("loc_address"));
    const QString memberAdded = ViberCodes::systemTypeText(ViberSystemType::MemberAdded);
    const QString nameChanged = ViberCodes::systemTypeText(ViberSystemType::NameChanged);
    const QString customLocation = QLatin1String(ViberCodes::CustomLocation);

    while (cursor.moveNext()) {
        const qint64 id = cursor.getInt64(pk);
        if (dataSet.messages.contains(id))
            continue;
        _ViberChat* chat = dataSet.chats.value(cursor.getInt64(conversation));
        if (!chat)
            continue;
        const int status = ViberCodes::parseStatus(cursor.getText(state));
        if (status == ViberStatus::Unknown)
            continue;
        const QString kind = cursor.getText(systemType);
        const QString body = cursor.getText(text);
        int system = ViberSystemType::None;
        bool location = false;
        if (kind.compare(memberAdded, Qt::CaseInsensitive) == 0) {
            if (body.isEmpty())
                continue;
            system = ViberSystemType::MemberAdded;
        } else if (kind.compare(nameChanged, Qt::CaseInsensitive) == 0) {
            system = ViberSystemType::NameChanged;
        } else if (kind.compare(customLocation, Qt::CaseInsensitive) == 0) {
            location = true;
        } else if (!kind.isEmpty()) {
            continue;
        }

        _ViberMsg* msg = dataSet.messages.obtain(id);
        msg->seq = cursor.getInt64(seq);
        msg->token = cursor.getInt64(token);
        const qint64 senderId = cursor.getInt64(sender);
        if (senderId > 0)
            msg->sender = dataSet.persons.value(senderId);
        msg->date = cursor.getDouble(date);
        msg->stateDate = cursor.getDouble(stateDate);
        msg->status = status;
        msg->systemType = system;
        msg->type = system != ViberSystemType::None ? ViberMsgType::System
                    : location                      ? ViberMsgType::Location
                                                    : ViberMsgType::Text;
        msg->text = body;
        msg->location.setLatitude(cursor.getDouble(latitude));
        msg->location.setLongitude(cursor.getDouble(longitude));
        msg->location.setAddress(cursor.getText(address));
        msg->extra = extra.read(cursor);
        ViberDataSet::addToChat(chat, msg);
    }
}

void IOSViberDb::loadAttachments(ViberDataSet& dataSet)
{
    // Browsing leaves the folder as it is, so missing previews are made only when the
    // database is opened for writing.
    const bool makePreviews = m_openFlag != OpenForBrowsing;
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select a.* from ZATTACHMENT as a")));
    const ExtraReader extra(cursor, {{"Z_OPT", ExtraReader::Int},
                                     {"ZRANGE", ExtraReader::Int64},
                                     {"ZSTATE", ExtraReader::Text},
                                     {"ZURL", ExtraReader::Text}});
    const int pk = cursor.colIndex(QStringLiteral("Z_PK"));
    const int message = cursor.colIndex(QStringLiteral("ZMESSAGE"));
    const int fileSize = cursor.colIndex(QStringLiteral("ZFILESIZE"));
    const int seq = cursor.colIndex(QStringLiteral("ZSEQ"));
    const int duration = cursor.colIndex(QStringLiteral("ZDURATION"));
    const int fileId = cursor.colIndex(QStringLiteral("ZID"));
    const int bucket = cursor.colIndex(QStringLiteral("ZBUCKET"));
    const int name = cursor.colIndex(QStringLiteral("ZNAME"));
    const int type = cursor.colIndex(QStringLiteral("ZTYPE"));

    while (cursor.moveNext()) {
        _ViberMsg* msg = dataSet.messages.value(cursor.getInt64(message));
        if (!msg)
            continue;
        const qint64 id = cursor.getInt64(pk);
        _ViberAtta* atta = dataSet.attachments.value(id);
        if (!atta) {
            auto created = std::make_unique<_ViberAtta>();
            created->id = id;
            created->fileSize = cursor.getInt64(fileSize);
            created->seq = cursor.getInt64(seq);
            created->duration = cursor.getDouble(duration);
            created->fileId = cursor.getText(fileId);
            created->bucket = cursor.getText(bucket);
            created->fileName = cursor.getText(name);
            created->extra = extra.read(cursor);
            atta = dataSet.attachments.insert(std::move(created));
        }
        ViberDataSet::attach(msg, atta);

        const QString word = cursor.getText(type);
        const int msgType = ViberCodes::msgTypeOfAttachmentWord(word);
        // The type words are compared exactly, as the app writes them.
        if (msgType == 0 || ViberCodes::attachmentTypeWord(msgType) != word)
            continue;
        msg->type = msgType;
        switch (msgType) {
        case ViberMsgType::Voice:
            atta->localPath = LocalDbPaths::voicePath(m_folder, atta->fileName);
            break;
        case ViberMsgType::Location:
            atta->previewPath =
                LocalDbPaths::mapImagePath(m_folder, msg->location.latitude(), msg->location.longitude());
            break;
        case ViberMsgType::Sticker:
            atta->previewPath = LocalDbPaths::stickerPath(m_folder, atta->fileId);
            break;
        case ViberMsgType::Picture:
        case ViberMsgType::Video: {
            const bool picture = msgType == ViberMsgType::Picture;
            atta->localPath = LocalDbPaths::attachmentPath(m_folder, atta->fileName);
            const QString previewName =
                picture ? atta->fileName : LocalDbPaths::videoPreviewName(atta->fileName);
            const QString small = LocalDbPaths::previewPath(m_folder, previewName);
            const QString big = LocalDbPaths::bigPreviewPath(m_folder, previewName);
            const QString first = picture ? small : big;
            const QString second = picture ? big : small;
            if (!first.isEmpty() && QFileInfo::exists(first)) {
                atta->previewPath = first;
            } else if (!second.isEmpty() && QFileInfo::exists(second)) {
                atta->previewPath = second;
            } else {
                atta->previewPath = first;
                if (makePreviews)
                    PreviewImage::make(atta->localPath, first);
            }
            break;
        }
        default:
            break;
        }
    }
}

void IOSViberDb::loadCalls(ViberDataSet& dataSet)
{
    // Calls go to the person's one-to-one chat. Chats are visited in id order so that
    // the choice among several does not depend on hash order; a group with a single
    // other member is not that person's chat.
    QList<_ViberChat*> chats = dataSet.allChats();
    std::sort(chats.begin(), chats.end(),
              [](const _ViberChat* a, const _ViberChat* b) { return a->id < b->id; });
    QHash<qint64, _ViberChat*> oneToOne;
    for (_ViberChat* chat : std::as_const(chats)) {
        if (!chat->isGroup() && chat->participants.size() == 1)
            oneToOne.insert(chat->participants.cbegin().key(), chat);
    }

    Sqlite3Cursor cursor = queryThrow(
        Sqlite3Sql(QStringLiteral("select r.*, l.ZPHONENUMINDEX as line_person from ZRECENT as r inner "
                                  "join ZRECENTSLINE as l on r.ZRECENTSLINE=l.Z_PK")));
    const ExtraReader extra(cursor, {{"Z_OPT", ExtraReader::Int}});
    const int pk = cursor.colIndex(QStringLiteral("Z_PK"));
    const int linePerson = cursor.colIndex(QStringLiteral("line_person"));
    const int callType = cursor.colIndex(QStringLiteral("ZCALLTYPE"));
    const int token = cursor.colIndex(QStringLiteral("ZCALLTOKEN"));
    const int duration = cursor.colIndex(QStringLiteral("ZDURATION"));
    const int date = cursor.colIndex(QStringLiteral("ZDATE"));

    while (cursor.moveNext()) {
        const qint64 id = cursor.getInt64(pk);
        if (dataSet.messages.contains(-id))
            continue;
        // An unreadable call must not leave an empty chat behind.
        const int kind = ViberCodes::parseCallKind(cursor.getText(callType));
        if (kind == 0)
            continue;
        const qint64 personId = cursor.getInt64(linePerson);
        _ViberChat* chat = oneToOne.value(personId);
        if (!chat) {
            _ViberPerson* person = dataSet.persons.value(personId);
            if (!person)
                continue;
            auto made = std::make_unique<_ViberChat>();
            // Minus the number of chats so far; with no chat at all that would be 0,
            // which means "no chat", so the next free negative id is taken instead.
            qint64 chatId = -dataSet.chats.size();
            while (chatId == 0 || dataSet.chats.contains(chatId))
                --chatId;
            made->id = chatId;
            made->name = person->name;
            made->participants.insert(person->id, person);
            chat = dataSet.chats.insert(std::move(made));
            oneToOne.insert(person->id, chat);
        }

        _ViberCall* call = dataSet.calls.value(id);
        if (!call) {
            auto made = std::make_unique<_ViberCall>();
            made->id = id;
            made->kind = kind;
            made->token = cursor.getInt64(token);
            made->duration = cursor.getInt(duration);
            made->date = cursor.getDouble(date);
            made->person = chat->participants.isEmpty() ? nullptr : chat->participants.cbegin().value();
            made->extra = extra.read(cursor);
            call = dataSet.calls.insert(std::move(made));
        }

        auto msg = std::make_unique<_ViberMsg>();
        msg->id = -id;
        msg->type = ViberMsgType::Call;
        msg->date = call->date;
        msg->call = call;
        // The row keeps only the call's type; the bubble's direction and caller follow
        // from it, as on the phone, where an incoming or missed call is the person's.
        const bool outgoing = call->kind == ViberCallKind::Outgoing;
        msg->status = outgoing ? ViberStatus::Delivered : ViberStatus::Received;
        if (!outgoing)
            msg->sender = call->person;
        ViberDataSet::addToChat(chat, dataSet.messages.insert(std::move(msg)));
        if (call->date > chat->date)
            chat->date = call->date;
    }
}

// ---------------------------------------------------------------------------------
// Writing

qint64 IOSViberDb::nextUid(LocalDbWriteContext& context, bool increment)
{
    open();
    if (context.uidCounter < 0) {
        const QList<SchemaCatalogue::Table> tables = m_catalogue.tables();
        for (const SchemaCatalogue::Table& table : tables) {
            if (!table.columns.contains(QStringLiteral("zuid")))
                continue;
            Sqlite3Cursor cursor = queryThrow(
                Sqlite3Sql(QLatin1String("select max(ZUID) as mzuid from ") + quotedName(table.name)));
            if (cursor.moveNext() && !cursor.isNull(0))
                context.uidCounter = qMax(context.uidCounter, cursor.getInt64(0));
        }
    }
    if (increment)
        ++context.uidCounter;
    return context.uidCounter;
}

qint64 IOSViberDb::findPerson(const _ViberPerson* person)
{
    if (!person)
        return 0;
    open();
    static const QString sql =
        QStringLiteral("select Z_PK from ZPHONENUMBERINDEX where ZCANONIZEDPHONENUM=? limit 1");
    return firstInt64(*this, Sqlite3Sql(sql).addTextParam(ViberText::canonicalNumber(person->number)));
}

qint64 IOSViberDb::insertPerson(LocalDbWriteContext& context, const _ViberPerson* person)
{
    if (!person)
        return 0;
    open();
    LazyExtras extras(person->extra.bytes());
    ColumnInsert& row = m_personInsert;
    row.begin();
    row.setIfPresent("Z_ENT", m_phoneEntity);
    if (row.has("Z_OPT"))
        row.set("Z_OPT", extras.optimisticLock());
    for (const char* column : {"ZAPPID", "ZGROUPID", "ZISBLOCKED", "ZISSYSTEM"})
        row.setIfPresent(column, 0);
    row.setIfPresent("ZISVIBER", 1);
    if (row.has("ZUID"))
        row.set("ZUID", qlonglong(nextUid(context, true)));
    row.set("ZCANONIZEDPHONENUM", ViberText::canonicalNumber(person->number));
    row.set("ZPHONENUM", person->number);
    row.setIfPresent("ZPHONETYPE", QStringLiteral("mobile"));
    // A genuine store keeps names in its address book, not here.
    if (row.has("_other")) {
        row.set("ZNAME", person->name);
        row.set("_other", BlobCodec::stored(extras.blob()));
    }
    executeThrow(row.sql());
    return lastInsertId();
}

qint64 IOSViberDb::findOrInsertPerson(LocalDbWriteContext& context, const _ViberPerson* person)
{
    if (!person)
        return 0;
    const QString number = ViberText::canonicalNumber(person->number);
    if (const qint64 known = context.personPks.value(number); known != 0)
        return known;
    qint64 pk = findPerson(person);
    if (pk == 0)
        pk = insertPerson(context, person);
    if (pk != 0)
        context.personPks.insert(number, pk);
    return pk;
}

qint64 IOSViberDb::findConversation(const _ViberChat& chat)
{
    open();
    if (chat.isGroup()) {
        static const QString sql = QStringLiteral("select Z_PK from ZCONVERSATION where ZGROUPID=? limit 1");
        return firstInt64(*this, Sqlite3Sql(sql).addTextParam(chat.groupId));
    }
    if (chat.participants.size() != 1)
        return 0;
    const _ViberPerson* peer = chat.participants.cbegin().value();
    if (!peer)
        return 0;
    return firstInt64(*this,
                      Sqlite3Sql(m_findChatSql).addTextParam(ViberText::canonicalNumber(peer->number)));
}

qint64 IOSViberDb::insertConversation(LocalDbWriteContext& context, const _ViberChat& chat)
{
    open();
    LazyExtras extras(chat.extra.bytes());
    ColumnInsert& row = m_conversationInsert;
    row.begin();
    row.setIfPresent("Z_ENT", m_conversationEntity);
    if (row.has("Z_OPT"))
        row.set("Z_OPT", extras.optimisticLock());
    if (row.has("ZCONTEXT")) {
        const qlonglong contextValue = extras.value(QStringLiteral("ZCONTEXT")).toLongLong();
        if (contextValue > 0)
            row.set("ZCONTEXT", contextValue);
    }
    row.setIfPresent("ZISLOCATION", 0);
    row.setIfPresent("ZISMUTED", 0);
    for (const char* column : {"ZSMARTNOTIFICATIONSHOWN", "ZSMARTSTATE"}) {
        if (row.has(column))
            row.set(column, extras.value(QLatin1String(column)).toInt());
    }
    if (row.has("ZUID"))
        row.set("ZUID", qlonglong(nextUid(context, true)));
    row.setIfPresent("ZUNREADCOUNT", 0);
    row.setIfPresent("ZLASTGENERALNOTIFICATIONDATE", 0.0);
    if (!chat.groupId.isEmpty())
        row.set("ZGROUPID", chat.groupId);
    if (!chat.name.isEmpty())
        row.setIfPresent("ZNAME", chat.name);
    row.setIfPresent("_other", BlobCodec::stored(extras.blob()));
    executeThrow(row.sql());
    return lastInsertId();
}

void IOSViberDb::linkParticipants(LocalDbWriteContext& context, qint64 conversationPk,
                                  const QList<_ViberPerson*>& persons)
{
    open();
    for (const _ViberPerson* person : persons) {
        if (!person)
            continue;
        const qint64 personPk = findOrInsertPerson(context, person);
        executeThrow(Sqlite3Sql(m_linkSql).addInt64Param(conversationPk).addInt64Param(personPk));
    }
}

void IOSViberDb::startMessageRun(qint64 runMessages)
{
    open();
    m_runKeys.clear();
    m_deferredIndexes.clear();
    const qint64 lastId =
        firstInt64(*this, Sqlite3Sql(QStringLiteral("select ifnull(max(Z_PK), 0) from ZVIBERMESSAGE")));
    const bool empty =
        firstInt64(*this, Sqlite3Sql(QStringLiteral(
                              "select count(*) from (select 1 from ZVIBERMESSAGE limit 1)"))) == 0;
    // A run about as large as the table asks about most of its rows: reading every key
    // once is far faster than a query per message that reads pages all over the file
    // (a repeated backup of two million messages took 20 s so).
    m_runKeysComplete = empty || runMessages * 4 >= lastId;
    if (!empty && m_runKeysComplete) {
        // Only rows the queries could match: a token of another type or a date that is
        // no number would read as 0 here and find a false duplicate.
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral(
            "select ZTOKEN, ZDATE, Z_PK from ZVIBERMESSAGE where ZTOKEN = cast(ZTOKEN as integer) and "
            "typeof(ZDATE) in ('integer', 'real') order by Z_PK")));
        while (c.moveNext())
            m_runKeys.add(c.getInt64(0), c.getDouble(1), c.getInt64(2));
    }
    if (!empty)
        return;
    QStringList names;
    {
        // Indexes SQLite makes itself (for UNIQUE or PRIMARY KEY) have no statement and stay.
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(QStringLiteral(
            "select name, sql from sqlite_master where type='index' and tbl_name='ZVIBERMESSAGE' "
            "and sql is not null order by name")));
        while (c.moveNext()) {
            names.append(c.getText(0));
            m_deferredIndexes.append(c.getText(1));
        }
    }
    for (const QString& name : std::as_const(names))
        executeThrow(Sqlite3Sql(QStringLiteral("drop index %1").arg(quotedName(name))));
}

void IOSViberDb::finishMessageRun()
{
    for (const QString& statement : std::as_const(m_deferredIndexes))
        executeThrow(Sqlite3Sql(statement));
    m_deferredIndexes.clear();
}

qint64 IOSViberDb::findDuplicateMessage(qint64 token, double date, qint64& attachmentPk)
{
    attachmentPk = 0;
    const qint64 pk = findDuplicateMessage(token, date);
    if (pk != 0) {
        static const QString sql = QStringLiteral("select Z_PK from ZATTACHMENT where ZMESSAGE=? limit 1");
        attachmentPk = firstInt64(*this, Sqlite3Sql(sql).addInt64Param(pk));
    }
    return pk;
}

qint64 IOSViberDb::findDuplicateMessage(qint64 token, double date)
{
    open();
    qint64 pk = 0;
    if (m_runKeysComplete) {
        pk = m_runKeys.find(token, date);
    } else if (token != 0) {
        static const QString sql =
            QStringLiteral("select Z_PK from ZVIBERMESSAGE where ZTOKEN=? and ZDATE between ? and ? limit 1");
        // The window is taken around the exact date: truncating it first would make
        // "60 seconds earlier" miss a stored date with a fraction.
        pk = firstInt64(
            *this, Sqlite3Sql(sql).addInt64Param(token).addDoubleParam(date - 60).addDoubleParam(date + 60));
    } else {
        // Without a token nothing identifies a message but its exact date; a window
        // would merge distinct messages sent within the same minute. The unary plus
        // keeps SQLite from walking every tokenless message through the token index.
        static const QString sql =
            QStringLiteral("select Z_PK from ZVIBERMESSAGE where ZDATE=? and +ZTOKEN=0 limit 1");
        pk = firstInt64(*this, Sqlite3Sql(sql).addDoubleParam(date));
    }
    return pk;
}

qint64 IOSViberDb::insertMessage(LocalDbWriteContext& context, qint64 conversationPk,
                                 const _ViberMsg& message, qint64& attachmentPk, qint64& locationPk)
{
    open();
    attachmentPk = 0;
    locationPk = 0;
    const QString state = ViberCodes::statusText(message.status);
    if (state.isEmpty())
        return 0;
    qint64 senderPk = 0;
    if (message.sender) {
        senderPk = findOrInsertPerson(context, message.sender);
    } else if (message.chat && message.chat->isGroup() && message.status == ViberStatus::Received &&
               message.systemType == ViberSystemType::None) {
        qDebug("skip group message without sender, msg text=%s", qUtf8Printable(message.text));
        return 0;
    }

    LazyExtras extras(message.extra.bytes());
    int opt = 0;
    ColumnInsert& row = m_messageInsert;
    row.begin();
    row.setIfPresent("Z_ENT", entityNumber(QStringLiteral("ViberMessage")));
    if (row.has("Z_OPT")) {
        opt = extras.optimisticLock();
        row.set("Z_OPT", opt);
    }
    for (const char* column : {"ZDELIVEREDCOUNT", "ZFORWARDTYPE", "ZMESSAGEID"})
        row.setIfPresent(column, 0);
    row.set("ZSEQ", qlonglong(message.seq));
    row.set("ZTOKEN", qlonglong(message.token));
    if (row.has("ZUID"))
        row.set("ZUID", qlonglong(nextUid(context, true)));
    row.set("ZCONVERSATION", qlonglong(conversationPk));
    row.setIfPresent(m_messageConversationColumn.constData(), m_conversationEntity);
    if (message.sender)
        row.set("ZPHONENUMINDEX", qlonglong(senderPk));
    row.set("ZDATE", message.date);
    row.set("ZSTATEDATE", message.stateDate);
    row.set("ZSTATE", state);
    QString systemType = ViberCodes::systemTypeText(message.systemType);
    if (systemType.isEmpty() && message.type == ViberMsgType::Location)
        systemType = QLatin1String(ViberCodes::CustomLocation);
    if (!systemType.isEmpty())
        row.set("ZSYSTEMTYPE", systemType);
    row.set("ZTEXT", message.text);
    if (row.has("ZEMOTICONSRANGES")) {
        QByteArray ranges = extras.value(QStringLiteral("ZEMOTICONSRANGES")).toByteArray();
        if (ranges.isEmpty())
            ranges = Emoticons::emoticonRanges(message.text);
        if (!ranges.isEmpty())
            row.set("ZEMOTICONSRANGES", ranges);
    }
    if (row.has("ZRANGES")) {
        const QByteArray ranges = extras.value(QStringLiteral("ZRANGES")).toByteArray();
        if (!ranges.isEmpty())
            row.set("ZRANGES", ranges);
    }
    row.setIfPresent("_other", BlobCodec::stored(extras.blob()));
    executeThrow(row.sql());
    const qint64 messagePk = lastInsertId();
    if (m_runKeysComplete)
        m_runKeys.add(message.token, message.date, messagePk);

    if (message.hasLocation()) {
        ColumnInsert& loc = m_locationInsert;
        loc.begin();
        loc.setIfPresent("Z_ENT", entityNumber(QStringLiteral("ViberLocation")));
        if (loc.has("Z_OPT"))
            loc.set("Z_OPT", opt > 0 ? opt : extras.optimisticLock());
        if (loc.has("ZUID"))
            loc.set("ZUID", qlonglong(nextUid(context, true)));
        loc.set("ZMESSAGE", qlonglong(messagePk));
        loc.set("ZLATITUDE", message.location.latitude());
        loc.set("ZLONGITUDE", message.location.longitude());
        if (!message.location.address().isEmpty())
            loc.set("ZADDRESS", message.location.address());
        executeThrow(loc.sql());
        locationPk = lastInsertId();
    }

    if (const _ViberAtta* atta = message.attachment) {
        LazyExtras attaExtras(atta->extra.bytes());
        ColumnInsert& att = m_attachmentInsert;
        att.begin();
        att.setIfPresent("Z_ENT", entityNumber(QStringLiteral("Attachment")));
        if (att.has("Z_OPT"))
            att.set("Z_OPT", attaExtras.optimisticLock());
        if (att.has("ZUID"))
            att.set("ZUID", qlonglong(nextUid(context, true)));
        att.setIfPresent("ZCACHEPOLICY", 0);
        att.setIfPresent("ZMEDIADOWNLOADTYPE", 0);
        att.set("ZFILESIZE", qlonglong(atta->fileSize));
        if (att.has("ZRANGE"))
            att.set("ZRANGE", attaExtras.value(QStringLiteral("ZRANGE")));
        att.set("ZSEQ", qlonglong(atta->seq));
        att.set("ZMESSAGE", qlonglong(messagePk));
        if (!atta->fileId.isEmpty())
            att.set("ZID", atta->fileId);
        if (!atta->fileName.isEmpty())
            att.set("ZNAME", atta->fileName);
        if (att.has("ZSTATE")) {
            const QString attaState = attaExtras.value(QStringLiteral("ZSTATE")).toString();
            att.set("ZSTATE", attaState.isEmpty() ? QStringLiteral("complite") : attaState);
        }
        if (att.has("ZURL")) {
            const QString url = attaExtras.value(QStringLiteral("ZURL")).toString();
            if (!url.isEmpty())
                att.set("ZURL", url);
        }
        att.setIfPresent("_other", BlobCodec::stored(attaExtras.blob()));
        if (message.type == ViberMsgType::Picture)
            att.set("ZBUCKET",
                    QString(QLatin1String("Share") +
                            ViberDates::refToLocal(message.date).toString(QStringLiteral("yyyy-MM-dd"))));
        const QString typeWord = ViberCodes::attachmentTypeWord(message.type);
        if (!typeWord.isEmpty())
            att.set("ZTYPE", typeWord);
        if (message.type == ViberMsgType::Voice || message.type == ViberMsgType::Video)
            att.set("ZDURATION", atta->duration);
        executeThrow(att.sql());
        attachmentPk = lastInsertId();
        if (message.type == ViberMsgType::Voice) {
            // Voice files are stored under the attachment's own row id.
            static const QString sql = QStringLiteral("update ZATTACHMENT set ZNAME=?, ZID=? where Z_PK=?");
            const QString name = QString::number(attachmentPk);
            executeThrow(Sqlite3Sql(sql).addTextParam(name).addTextParam(name).addInt64Param(attachmentPk));
        }
    }

    if (locationPk > 0 && attachmentPk > 0) {
        static const QString sql =
            QStringLiteral("update ZVIBERMESSAGE set ZLOCATION=?,ZATTACHMENT=? where Z_PK=?");
        executeThrow(
            Sqlite3Sql(sql).addInt64Param(locationPk).addInt64Param(attachmentPk).addInt64Param(messagePk));
    } else if (locationPk > 0) {
        static const QString sql = QStringLiteral("update ZVIBERMESSAGE set ZLOCATION=? where Z_PK=?");
        executeThrow(Sqlite3Sql(sql).addInt64Param(locationPk).addInt64Param(messagePk));
    } else if (attachmentPk > 0) {
        static const QString sql = QStringLiteral("update ZVIBERMESSAGE set ZATTACHMENT=? where Z_PK=?");
        executeThrow(Sqlite3Sql(sql).addInt64Param(attachmentPk).addInt64Param(messagePk));
    }
    return messagePk;
}

qint64 IOSViberDb::insertCall(LocalDbWriteContext& context, const _ViberCall& call, bool* added)
{
    open();
    if (added)
        *added = false;
    const QString typeText = ViberCodes::callKindText(call.kind);
    // A call written without a type could never be read back.
    if (typeText.isEmpty())
        return 0;

    // The look-up comes first: a call already stored must change nothing, not even get
    // a recents line for a person another load names for it.
    if (!context.recentCalls) {
        // The rows a token and type would match in SQL: integral tokens, text types; the
        // first row of each key, as a look-up in row order finds it.
        context.recentCalls.emplace();
        Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral(
            "select Z_PK, cast(ZCALLTOKEN as integer), ZCALLTYPE, ZDATE from ZRECENT where "
            "ZCALLTOKEN=cast(ZCALLTOKEN as integer) and typeof(ZCALLTYPE)='text' order by Z_PK")));
        while (cursor.moveNext()) {
            const RecentCallKey key =
                RecentCallKey::of(cursor.getInt64(1), cursor.getText(2), cursor.getDouble(3));
            if (!context.recentCalls->contains(key))
                context.recentCalls->insert(key, cursor.getInt64(0));
        }
    }
    const RecentCallKey key = RecentCallKey::of(call.token, typeText, call.date);
    if (const qint64 existing = context.recentCalls->value(key); existing != 0)
        return existing;

    qint64 linePk = 0;
    if (call.person) {
        static const QString sql = QStringLiteral("select l.Z_PK from ZRECENTSLINE as l inner join "
                                                  "ZPHONENUMBERINDEX as p on l.ZPHONENUMINDEX=p.Z_PK and "
                                                  "p.ZCANONIZEDPHONENUM=? order by l.ZDATE desc limit 1");
        linePk =
            firstInt64(*this, Sqlite3Sql(sql).addTextParam(ViberText::canonicalNumber(call.person->number)));
        if (linePk == 0) {
            const qint64 personPk = findOrInsertPerson(context, call.person);
            ColumnInsert& line = m_recentsLineInsert;
            line.begin();
            line.set("Z_ENT", entityNumber(QStringLiteral("RecentsLine")));
            line.set("Z_OPT", 1);
            line.set("ZPHONENUMINDEX", qlonglong(personPk));
            executeThrow(line.sql());
            linePk = lastInsertId();
        }
    }

    ColumnInsert& row = m_recentInsert;
    row.begin();
    row.set("Z_ENT", entityNumber(QStringLiteral("Recent")));
    row.set("Z_OPT", 1);
    row.set("ZCALLTOKEN", qlonglong(call.token));
    row.set("ZDURATION", call.duration);
    row.set("ZREAD", 1);
    row.set("ZRECENTSLINE", qlonglong(linePk));
    row.set("ZDATE", call.date);
    row.set("ZCALLTYPE", typeText);
    row.setIfPresent("_other", BlobCodec::stored(call.extra.bytes()));
    executeThrow(row.sql());
    const qint64 pk = lastInsertId();
    context.recentCalls->insert(key, pk);
    if (added)
        *added = true;
    return pk;
}

void IOSViberDb::refreshRecentsLines()
{
    open();
    struct Line
    {
        qint64 id = 0;
        int count = 0;
        double date = 0;
        QString type;
    };
    QList<Line> lines;
    {
        Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral(
            "select Z_PK,ZRECENTSLINE,ZDATE,ZCALLTYPE from ZRECENT order by ZRECENTSLINE asc")));
        Line current;
        while (cursor.moveNext()) {
            const qint64 lineId = cursor.getInt64(1);
            const double date = cursor.getDouble(2);
            if (current.count == 0 || lineId != current.id) {
                if (current.count > 0 && current.id != 0)
                    lines.append(current);
                current = Line{lineId, 0, date, cursor.getText(3)};
            } else if (date > current.date) {
                current.date = date;
                current.type = cursor.getText(3);
            }
            ++current.count;
        }
        if (current.count > 0 && current.id != 0)
            lines.append(current);
    }
    static const QString sql =
        QStringLiteral("update ZRECENTSLINE set ZCOUNT=?, ZDATE=?, ZCALLTYPE=? where Z_PK=?");
    for (const Line& line : std::as_const(lines))
        executeThrow(Sqlite3Sql(sql)
                         .addIntParam(line.count)
                         .addDoubleParam(line.date)
                         .addTextParam(line.type)
                         .addInt64Param(line.id));
}
