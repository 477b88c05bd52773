#include "db/AndroidViberDb.h"

#include "app/AppDirs.h"
#include "app/BlobCodec.h"
#include "db/ExtraBlobWriter.h"
#include "db/SharedValues.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringBuilder>

#include <vector>

namespace {

const QString ConversationsSql = QStringLiteral("select * from conversations");
const QString ParticipantsSql = QStringLiteral(
    "select p._id as pid, p.conversation_id, i.* from participants as p inner join participants_info "
    "as i on i._id=p.participant_info_id and i.participant_type <> 0");
// Files of app generations without participant_type cannot tell the owner from the
// others; their rows are all loaded rather than none.
const QString ParticipantsUntypedSql = QStringLiteral(
    "select p._id as pid, p.conversation_id, i.* from participants as p inner join participants_info "
    "as i on i._id=p.participant_info_id");
// The columns the records take from a messages row: naming them spares SQLite decoding
// the others for every row. Files of older generations lack some; the query then names
// only those the file has.
const char* const MessageColumns[] = {
    "_id",          "address",     "conversation_id",   "participant_id",  "body",
    "extra_mime",   "date",        "date_real",         "status",          "type",
    "flag",         "token",       "location_lat",      "location_lng",    "extra_uri",
    "extra_status", "seq",         "message_global_id", "extra_upload_id", "extra_download_id",
    "thumbnail_x",  "thumbnail_y", "extra_flags",       "extra_duration",  "extra_bucket_name",
    "description"};

// A name read from a row becomes the last part of a path. Plain names (the app's own
// file ids and numbers) pass unchanged without a regular expression per row; anything
// else goes through the shared sanitiser so that "/", "\" or ".." can never make a path
// that leaves its folder. Empty means "no usable name".
QString fileNameFromData(const QString& text)
{
    constexpr qsizetype MaxPlainLength = 200;
    bool plain = !text.isEmpty() && text.size() <= MaxPlainLength;
    bool onlyDots = true;
    for (qsizetype i = 0; plain && i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                        c == u'.' || c == u'_' || c == u'-' || c == u'+';
        plain = ok;
        onlyDots = onlyDots && c == u'.';
    }
    if (plain && !onlyDots)
        return text;
    return AppDirs::sanitizeFileName(text);
}

// A path of one exact allocation: a load keeps several per attachment, and + (or %
// with two strings) leaves each with a grown buffer.
QString joined(const QString& folder, const QString& name, QLatin1StringView suffix = {})
{
    QString path;
    path.reserve(folder.size() + name.size() + suffix.size());
    path.append(folder).append(name).append(suffix);
    return path;
}

QString withSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// The columns of a messages row that the records keep only in their extra map. A NULL
// column reads as 0 or empty, which the blob leaves out like any other zero.
struct RowExtras
{
    QString extraDownloadId;
    qint64 extraFlags = 0;
    qint64 extraStatus = 0;
    qint64 extraUploadId = 0;
    QString extraUri;
    qint64 flag = 0;
    qint64 messageGlobalId = 0;
    qint64 status = 0;
    qint64 thumbnailX = 0;
    qint64 thumbnailY = 0;

    // The blob of the current row, in a buffer that the next call overwrites. body and
    // seq are added for media rows and call rows respectively.
    const QByteArray& encode(const QString* body, const qint64* seq)
    {
        ExtraBlobWriter w(m_blob);
        if (body)
            w.addText(QLatin1StringView("body"), *body);
        w.addText(QLatin1StringView("extra_download_id"), extraDownloadId);
        w.addInt(QLatin1StringView("extra_flags"), int(extraFlags));
        w.addInt(QLatin1StringView("extra_status"), int(extraStatus));
        w.addInt64(QLatin1StringView("extra_upload_id"), extraUploadId);
        w.addText(QLatin1StringView("extra_uri"), extraUri);
        w.addInt(QLatin1StringView("flag"), int(flag));
        w.addInt(QLatin1StringView("message_global_id"), int(messageGlobalId));
        if (seq)
            w.addInt64(QLatin1StringView("seq"), *seq);
        w.addInt(QLatin1StringView("status"), int(status));
        w.addInt(QLatin1StringView("thumbnail_x"), int(thumbnailX));
        w.addInt(QLatin1StringView("thumbnail_y"), int(thumbnailY));
        return m_blob;
    }

    // Rows without texts or a global id differ only in a few flags, so thousands of
    // them carry the same blob.
    bool likelyRepeated() const
    {
        return extraUri.isEmpty() && extraDownloadId.isEmpty() && messageGlobalId == 0;
    }

private:
    QByteArray m_blob;
};

// A load reads each page once, so the page cache (filled by open()'s clean-up) would
// only hold memory while the records grow. It is kept small for the scan and restored
// for the merge that may follow.
class SmallPageCache
{
public:
    explicit SmallPageCache(Sqlite3DB& db) : m_db(db), m_previous(db.cacheSize()) { m_db.setCacheSize(-256); }
    ~SmallPageCache()
    {
        try {
            m_db.setCacheSize(m_previous);
        } catch (const std::exception&) {
            // The connection is failing anyway; the load reports its own error.
        }
    }
    SmallPageCache(const SmallPageCache&) = delete;
    SmallPageCache& operator=(const SmallPageCache&) = delete;

private:
    Sqlite3DB& m_db;
    qint64 m_previous;
};

// The messages that carry a location keep the stored integers until the scan has seen
// every row, since the file's coordinate factor follows from its extreme values.
class LocatedMessages
{
public:
    void see(qint64 latitude, qint64 longitude)
    {
        m_minLatitude = qMin(m_minLatitude, latitude);
        m_maxLatitude = qMax(m_maxLatitude, latitude);
        m_minLongitude = qMin(m_minLongitude, longitude);
        m_maxLongitude = qMax(m_maxLongitude, longitude);
    }
    void keep(_ViberMsg* msg, qint64 latitude, qint64 longitude)
    {
        if (latitude != 0 || longitude != 0)
            m_located.push_back({msg, latitude, longitude});
    }
    void convert() const
    {
        const CoordinateScale scale =
            CoordinateScale::fromExtremes(m_minLatitude, m_maxLatitude, m_minLongitude, m_maxLongitude);
        for (const Located& l : m_located) {
            l.msg->location.setLatitude(scale.latitude(l.latitude));
            l.msg->location.setLongitude(scale.longitude(l.longitude));
        }
    }

private:
    struct Located
    {
        _ViberMsg* msg;
        qint64 latitude;
        qint64 longitude;
    };
    std::vector<Located> m_located;
    // 0 where no row has a value; a zero never changes the largest magnitude.
    qint64 m_minLatitude = 0;
    qint64 m_maxLatitude = 0;
    qint64 m_minLongitude = 0;
    qint64 m_maxLongitude = 0;
};

int messageType(QByteArrayView mime)
{
    if (mime == QByteArrayView("text"))
        return ViberMsgType::Text;
    if (mime == QByteArrayView("image"))
        return ViberMsgType::Picture;
    if (mime == QByteArrayView("sticker"))
        return ViberMsgType::Sticker;
    if (mime == QByteArrayView("sound"))
        return ViberMsgType::Voice;
    if (mime == QByteArrayView("video"))
        return ViberMsgType::Video;
    if (mime == QByteArrayView("location"))
        return ViberMsgType::Location;
    if (mime == QByteArrayView("call"))
        return ViberMsgType::Call;
    if (mime == QByteArrayView("notif"))
        return ViberMsgType::System;
    return 0;
}

// The prefixes of every path the loader builds, computed once per load.
struct MediaPaths
{
    explicit MediaPaths(const QString& mediaDir, const QString& deviceRoot)
        : images(mediaDir + QLatin1String("/Viber Images/")),
          videos(mediaDir + QLatin1String("/Viber Videos/")),
          thumbnails(mediaDir + QLatin1String("/.thumbnails/")), voice(mediaDir + QLatin1String("/.ptt/")),
          userPhotos(mediaDir + QLatin1String("/User photos/")),
          deviceThumbnails(withSlash(deviceRoot) + QLatin1String("viber/media/.thumbnails/")),
          deviceVoice(withSlash(deviceRoot) + QLatin1String("viber/media/.ptt/"))
    {}
    QString images, videos, thumbnails, voice, userPhotos, deviceThumbnails, deviceVoice;
};

// The person of a call row whose sender is nobody of the chat (the owner's calls in a
// group): the one with the number Viber recorded for the call (the row's address, then
// the call row's number), else the participant with the lowest id. Never the first of a
// hash, whose order changes from process to process.
_ViberPerson* callPerson(const _ViberChat& chat, const QString& address, const QString& callNumber)
{
    _ViberPerson* lowest = nullptr;
    _ViberPerson* byAddress = nullptr;
    _ViberPerson* byCallNumber = nullptr;
    const QString wantedAddress = ViberText::canonicalNumber(address);
    const QString wantedCallNumber = ViberText::canonicalNumber(callNumber);
    const auto lower = [](_ViberPerson* current, _ViberPerson* person) {
        return !current || person->id < current->id ? person : current;
    };
    for (_ViberPerson* person : chat.participants) {
        if (!person)
            continue;
        lowest = lower(lowest, person);
        const QString number = ViberText::canonicalNumber(person->number);
        if (!wantedAddress.isEmpty() && number == wantedAddress)
            byAddress = lower(byAddress, person);
        if (!wantedCallNumber.isEmpty() && number == wantedCallNumber)
            byCallNumber = lower(byCallNumber, person);
    }
    return byAddress ? byAddress : (byCallNumber ? byCallNumber : lowest);
}

} // namespace

AndroidViberDb::AndroidViberDb(const QString& deviceRoot, const QString& extractRoot,
                               const QString& mediaRoot)
    : m_deviceRoot(deviceRoot), m_extractRoot(extractRoot),
      m_mediaDir(QDir::cleanPath(QDir(mediaRoot.isEmpty() ? extractRoot : mediaRoot)
                                     .absoluteFilePath(QStringLiteral("ab-extract/sdcard/viber/media"))))
{}

AndroidViberDb::~AndroidViberDb() = default;

QString AndroidViberDb::messagesDbPath() const
{
    return QDir::cleanPath(
        QDir(m_extractRoot)
            .absoluteFilePath(QStringLiteral("ab-extract/apps/com.viber.voip/db/viber_messages")));
}

QString AndroidViberDb::dataDbPath() const
{
    return QFileInfo(messagesDbPath()).absolutePath() + QStringLiteral("/viber_data");
}

void AndroidViberDb::openForLoad()
{
    if (isOpen())
        return;
    try {
        // The working copy belongs to the worker that opened it, one thread at a time,
        // so SQLite's lock around every call (a tenth of a load's time) is left out.
        openThrow(messagesDbPath(), OpenReadWrite | OpenNoMutex);
        applyDefensiveSettings();
        // Android registers these collations in every connection; schemas name them in
        // indexes and columns, and a statement touching one fails without a stand-in.
        registerFallbackCollation(QStringLiteral("LOCALIZED"));
        registerFallbackCollation(QStringLiteral("UNICODE"));
        m_catalogue.readCatalogue(*this);
        resetMergeState();
        m_markedRowsRemoved = false;
    } catch (...) {
        // A half-opened handle would make the next open() return at once.
        m_catalogue.clear();
        close();
        throw;
    }
}

void AndroidViberDb::open()
{
    openForLoad();
    if (m_markedRowsRemoved)
        return;
    try {
        // The app marks deleted rows and removes them later; this is a working copy, so
        // they are removed here for good, in one transaction: the caller's, when a
        // connection opened for a load is asked to merge inside one. Generations without
        // the column have nothing marked.
        const bool own = !inTransaction();
        if (own)
            beginTran();
        if (m_catalogue.hasColumn(QStringLiteral("conversations"), QStringLiteral("deleted")))
            executeThrow(Sqlite3Sql(QStringLiteral("delete from conversations where deleted <> 0")));
        if (m_catalogue.hasColumn(QStringLiteral("messages"), QStringLiteral("deleted")))
            removeDeletedMessages();
        if (own)
            commitTran();
        m_markedRowsRemoved = true;
    } catch (...) {
        // Closing before the commit rolls the removal back.
        m_catalogue.clear();
        close();
        throw;
    }
}

QString AndroidViberDb::notMarkedDeleted(const QString& table) const
{
    // "deleted <> 0" is what the removal takes; a NULL there is not marked.
    return m_catalogue.hasColumn(table, QStringLiteral("deleted"))
               ? QStringLiteral(" where (deleted <> 0) is not 1")
               : QString();
}

void AndroidViberDb::removeDeletedMessages()
{
    // One scan finds the marked rows; the statements then name them by id, since a
    // subquery per statement would scan the whole table again for each.
    QList<qint64> removed;
    {
        Sqlite3Cursor c =
            queryThrow(Sqlite3Sql(QStringLiteral("select _id from messages where deleted <> 0")));
        while (c.moveNext())
            removed.append(c.getInt64(0));
    }
    if (removed.isEmpty())
        return;
    // Rows that belong to a message go with it, as the app's own delete trigger takes
    // the call row; rows that only point at one stop pointing at a number that the next
    // message written would be given.
    QStringList statements;
    for (const char* table : {"messages_calls", "public_messages_extras"}) {
        if (m_catalogue.hasColumn(QLatin1String(table), QStringLiteral("message_id")))
            statements.append(
                QStringLiteral("delete from %1 where message_id in (%2)").arg(QLatin1String(table)));
    }
    for (const char* table : {"conversations", "participants"}) {
        if (m_catalogue.hasColumn(QLatin1String(table), QStringLiteral("last_message_id")))
            statements.append(QStringLiteral("update %1 set last_message_id=0 where last_message_id in (%2)")
                                  .arg(QLatin1String(table)));
    }
    statements.append(QStringLiteral("delete from messages where _id in (%1)"));
    constexpr qsizetype Chunk = 500; // well below SQLite's limit of bound values
    for (const QString& statement : std::as_const(statements)) {
        for (qsizetype from = 0; from < removed.size(); from += Chunk) {
            const qsizetype n = qMin(Chunk, removed.size() - from);
            QString marks = QStringLiteral("?");
            marks.reserve(2 * n);
            for (qsizetype i = 1; i < n; ++i)
                marks += QLatin1String(",?");
            Sqlite3Sql sql(statement.arg(marks));
            for (qsizetype i = from; i < from + n; ++i)
                sql.addInt64Param(removed.at(i));
            executeThrow(sql);
        }
    }
}

void AndroidViberDb::loadInto(ViberDataSet& dataSet)
{
    const SmallPageCache smallCache(*this);
    const MediaPaths paths(m_mediaDir, m_deviceRoot);

    {
        Sqlite3Cursor c =
            queryThrow(Sqlite3Sql(ConversationsSql + notMarkedDeleted(QStringLiteral("conversations"))));
        const int iId = c.colIndex(QStringLiteral("_id"));
        const int iGroupId = c.colIndex(QStringLiteral("group_id"));
        const int iName = c.colIndex(QStringLiteral("name"));
        const int iDate = c.colIndex(QStringLiteral("date"));
        while (c.moveNext()) {
            auto chat = std::make_unique<_ViberChat>();
            chat->id = c.getInt64(iId);
            const qint64 groupId = c.getInt64(iGroupId);
            if (groupId > 0)
                chat->groupId = QString::number(groupId);
            chat->name = c.getText(iName);
            chat->date = ViberDates::unixMsToRef(c.getInt64(iDate));
            dataSet.chats.insert(std::move(chat));
        }
    }

    // participants._id → person; messages name their sender by it.
    QHash<qint64, _ViberPerson*> personByParticipant;
    {
        const bool typed =
            m_catalogue.hasColumn(QStringLiteral("participants_info"), QStringLiteral("participant_type"));
        Sqlite3Cursor c = queryThrow(Sqlite3Sql(typed ? ParticipantsSql : ParticipantsUntypedSql));
        const int iPid = c.colIndex(QStringLiteral("pid"));
        const int iConversation = c.colIndex(QStringLiteral("conversation_id"));
        const int iId = c.colIndex(QStringLiteral("_id"));
        const int iNumber = c.colIndex(QStringLiteral("number"));
        const int iName = c.colIndex(QStringLiteral("display_name"));
        const int iImage = c.colIndex(QStringLiteral("viber_image"));
        while (c.moveNext()) {
            const qint64 infoId = c.getInt64(iId);
            _ViberPerson* person = dataSet.persons.value(infoId);
            if (!person) {
                auto made = std::make_unique<_ViberPerson>();
                made->id = infoId;
                made->number = c.getText(iNumber);
                made->name = c.getText(iName);
                made->avatarRef = c.getText(iImage);
                const QString photoName = fileNameFromData(ViberText::canonicalNumber(made->number));
                if (!photoName.isEmpty())
                    made->photoPath = joined(paths.userPhotos, photoName, QLatin1StringView(".jpg"));
                person = dataSet.persons.insert(std::move(made));
            }
            personByParticipant.insert(c.getInt64(iPid), person);
            if (_ViberChat* chat = dataSet.chats.value(c.getInt64(iConversation)))
                chat->participants.insert(person->id, person);
        }
    }

    // The number Viber recorded for each call, by message.
    QHash<qint64, QString> callNumbers;
    if (m_catalogue.hasColumn(QStringLiteral("messages_calls"), QStringLiteral("canonized_number")) &&
        m_catalogue.hasColumn(QStringLiteral("messages_calls"), QStringLiteral("message_id"))) {
        Sqlite3Cursor calls =
            queryThrow(Sqlite3Sql(QStringLiteral("select message_id, canonized_number from messages_calls "
                                                 "where canonized_number <> '' order by _id")));
        while (calls.moveNext()) {
            if (!callNumbers.contains(calls.getInt64(0)))
                callNumbers.insert(calls.getInt64(0), calls.getText(1));
        }
    }

    Sqlite3Cursor c = queryThrow(Sqlite3Sql(
        QLatin1String("select ") + m_catalogue.presentColumns(QStringLiteral("messages"), MessageColumns) +
        QLatin1String(" from messages") + notMarkedDeleted(QStringLiteral("messages"))));
    const int iId = c.colIndex(QStringLiteral("_id"));
    const int iAddress = c.colIndex(QStringLiteral("address"));
    const int iConversation = c.colIndex(QStringLiteral("conversation_id"));
    const int iParticipant = c.colIndex(QStringLiteral("participant_id"));
    const int iBody = c.colIndex(QStringLiteral("body"));
    const int iMime = c.colIndex(QStringLiteral("extra_mime"));
    const int iDate = c.colIndex(QStringLiteral("date"));
    const int iDateReal = c.colIndex(QStringLiteral("date_real"));
    const int iStatus = c.colIndex(QStringLiteral("status"));
    const int iType = c.colIndex(QStringLiteral("type"));
    const int iFlag = c.colIndex(QStringLiteral("flag"));
    const int iToken = c.colIndex(QStringLiteral("token"));
    const int iLat = c.colIndex(QStringLiteral("location_lat"));
    const int iLng = c.colIndex(QStringLiteral("location_lng"));
    const int iUri = c.colIndex(QStringLiteral("extra_uri"));
    const int iExtraStatus = c.colIndex(QStringLiteral("extra_status"));
    const int iSeq = c.colIndex(QStringLiteral("seq"));
    const int iGlobalId = c.colIndex(QStringLiteral("message_global_id"));
    const int iUploadId = c.colIndex(QStringLiteral("extra_upload_id"));
    const int iDownloadId = c.colIndex(QStringLiteral("extra_download_id"));
    // Asked through the catalogue: "select *" on a file without them simply lacks them.
    const bool hasThumbnails =
        m_catalogue.hasColumn(QStringLiteral("messages"), QStringLiteral("thumbnail_x")) &&
        m_catalogue.hasColumn(QStringLiteral("messages"), QStringLiteral("thumbnail_y"));
    const int iThumbX = hasThumbnails ? c.colIndex(QStringLiteral("thumbnail_x")) : -1;
    const int iThumbY = hasThumbnails ? c.colIndex(QStringLiteral("thumbnail_y")) : -1;
    const int iExtraFlags = c.colIndex(QStringLiteral("extra_flags"));
    const int iDuration = c.colIndex(QStringLiteral("extra_duration"));
    const int iBucket = c.colIndex(QStringLiteral("extra_bucket_name"));
    const int iDescription = c.colIndex(QStringLiteral("description"));

    RowExtras extras;
    SharedValues<QByteArray, HeldBlob> sharedBlobs;
    SharedValues<QString> sharedBuckets;
    // Short texts ("ok", an emoji) repeat across a history; long ones seldom do.
    constexpr qsizetype MaxSharedText = 24;
    SharedValues<QString> sharedTexts;
    const auto rowExtra = [&] {
        const QByteArray& blob = extras.encode(nullptr, nullptr);
        return extras.likelyRepeated() ? sharedBlobs.share(blob, BlobCodec::held) : BlobCodec::held(blob);
    };
    // A file's coordinate factor depends on its extreme values, known only when the
    // scan ends: the located messages keep their stored values until then.
    LocatedMessages located;
    while (c.moveNext()) {
        const qint64 storedLat = c.getInt64(iLat);
        const qint64 storedLng = c.getInt64(iLng);
        located.see(storedLat, storedLng);
        _ViberChat* chat = dataSet.chats.value(c.getInt64(iConversation));
        if (!chat)
            continue;
        const int type = messageType(c.getUtf8(iMime));
        if (type == 0)
            continue;
        const QString body = c.getText(iBody);
        int kind = 0;
        int systemType = 0;
        QString noticeText;
        if (type == ViberMsgType::Call) {
            kind = ViberCodes::callKindOfBubble(body);
            if (kind == 0)
                continue;
        } else if (type == ViberMsgType::System) {
            const QStringList parts = body.split(QLatin1Char('/'));
            if (parts.first() == QLatin1StringView("group_rename"))
                systemType = ViberSystemType::NameChanged;
            else if (parts.first() == QLatin1StringView("add"))
                systemType = ViberSystemType::MemberAdded;
            else
                continue;
            if (!body.isEmpty())
                noticeText = parts.last();
        }

        _ViberMsg* msg = dataSet.messages.obtain(c.getInt64(iId));
        if (msg->chat) // a file without a real row id repeats it; the first row stays
            continue;
        ViberDataSet::addToChat(chat, msg);

        const qint64 dateMs = c.getInt64(iDate);
        msg->date = ViberDates::unixMsToRef(dateMs);
        msg->stateDate = ViberDates::unixMsToRef(c.getInt64(iDateReal));
        msg->status = c.getInt(iType) == 1 ? ViberStatus::Delivered : ViberStatus::Received;
        msg->type = type;
        msg->token = c.getInt64(iToken);
        msg->seq = c.getInt64(iSeq);
        msg->sender = personByParticipant.value(c.getInt64(iParticipant));
        located.keep(msg, storedLat, storedLng);

        extras.status = c.getInt64(iStatus);
        extras.flag = c.getInt64(iFlag);
        extras.extraUri = c.getText(iUri);
        extras.extraStatus = c.getInt64(iExtraStatus);
        extras.messageGlobalId = c.getInt64(iGlobalId);
        extras.extraUploadId = c.getInt64(iUploadId);
        extras.extraDownloadId = c.getText(iDownloadId);
        extras.thumbnailX = c.getInt64(iThumbX);
        extras.thumbnailY = c.getInt64(iThumbY);
        extras.extraFlags = c.getInt64(iExtraFlags);

        switch (type) {
        case ViberMsgType::Call: {
            _ViberCall* call = dataSet.calls.obtain(msg->id);
            call->token = msg->token;
            call->kind = kind;
            call->duration = c.getInt(iDuration);
            call->date = msg->date;
            // A call belongs to a one-to-one chat; in a group the row's sender is the
            // participant that can be named with most reason.
            if (msg->sender && chat->participants.contains(msg->sender->id))
                call->person = msg->sender;
            else
                call->person = callPerson(*chat, c.getText(iAddress), callNumbers.value(msg->id));
            const qint64 seq = msg->seq;
            call->extra = BlobCodec::held(extras.encode(nullptr, &seq));
            msg->call = call;
            continue;
        }
        case ViberMsgType::System:
            msg->status = ViberStatus::Sent;
            msg->systemType = systemType;
            msg->text = noticeText;
            msg->extra = rowExtra();
            continue;
        case ViberMsgType::Text:
            msg->text = body.size() <= MaxSharedText ? sharedTexts.share(body) : body;
            msg->extra = rowExtra();
            continue;
        default:
            break;
        }

        _ViberAtta* atta = dataSet.attachments.obtain(msg->id);
        ViberDataSet::attach(msg, atta);
        atta->seq = msg->token;
        if (ViberText::isOutgoing(*msg))
            atta->fileId = QString::number(extras.extraUploadId);
        else
            atta->fileId = extras.extraDownloadId;
        // The row's own milliseconds, not the record date converted back: the double
        // round trip can come out one millisecond short and miss the file.
        const QString fileKey = QString::number(msg->token > 0 ? msg->token : dateMs);
        atta->fileName = fileKey;

        switch (type) {
        case ViberMsgType::Picture:
        case ViberMsgType::Video: {
            atta->sourcePath = body;
            atta->sourceUri = extras.extraUri;
            atta->bucket = sharedBuckets.share(c.getText(iBucket));
            atta->fileSize = c.getInt64(iDuration);
            msg->text = c.getText(iDescription);
            if (type == ViberMsgType::Picture) {
                atta->localPath = joined(paths.images, fileKey);
                atta->previewPath = joined(paths.thumbnails, fileKey);
            } else {
                atta->localPath = joined(paths.videos, fileKey);
                atta->previewPath = joined(paths.thumbnails, fileKey, QLatin1StringView(".jpg"));
            }
            if (!atta->sourceUri.isEmpty()) {
                const QString suffix = fileNameFromData(QFileInfo(atta->sourceUri).suffix());
                if (!suffix.isEmpty())
                    atta->fileName = fileKey % QLatin1Char('.') % suffix;
            }
            msg->extra = BlobCodec::held(extras.encode(&body, nullptr));
            break;
        }
        case ViberMsgType::Location: {
            msg->location.setAddress(c.getText(iBucket));
            const QString mapName = ViberText::shortDigest(body);
            atta->sourcePath = joined(paths.deviceThumbnails, mapName);
            atta->previewPath = joined(paths.thumbnails, mapName);
            msg->extra = BlobCodec::held(extras.encode(&body, nullptr));
            break;
        }
        case ViberMsgType::Voice: {
            atta->fileId = extras.extraUri;
            atta->duration = double(c.getInt64(iDuration)) / 1000.0;
            const QString name = fileNameFromData(extras.extraUri);
            atta->fileName = name;
            if (!name.isEmpty()) {
                atta->sourceUri = joined(paths.deviceVoice, name);
                atta->localPath = joined(paths.voice, name);
            }
            msg->extra = rowExtra();
            break;
        }
        case ViberMsgType::Sticker:
            atta->fileId = QString::number(extras.extraUploadId);
            msg->extra = rowExtra();
            break;
        default:
            break;
        }
    }
    located.convert();
    // Lists grown by appending keep up to half their room unused.
    for (_ViberChat* chat : dataSet.chats)
        chat->messages.squeeze();
}
