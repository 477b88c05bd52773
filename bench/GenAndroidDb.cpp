// Writes a synthetic phone: viber_messages and viber_data in the shape of the app's
// database version 53, with N messages over M chats, every message kind, media rows,
// calls, notices and rows the app marked deleted, below OUT laid out as AndroidViberDb
// expects ("ab-extract/apps/com.viber.voip/db/"). With --modern the same history (the
// same random draws, so the same chats, kinds and counts) is written in the shape of
// today's app, as ModernAndroidViberDb reads it and a transfer finds it on a phone: the
// owner's card of type 0, one-to-one chats naming their peer's card, tokens carrying
// the send time, a count per chat as order_key, both files in WAL mode.
//
//   velliport-gen-android [--modern] OUT [MESSAGES [CHATS [SEED [BIGCHAT]]]]

#include "app/Sqlite3DB.h"
#include "app/Sqlite3Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <random>

namespace {

constexpr qint64 FirstDateMs = 1388534400000; // 2014-01-01
constexpr auto OwnerNumber = "+491700000000";
constexpr auto ModernMedia = "file:///storage/emulated/0/Android/data/com.viber.voip/files/";
// Today's app reads (token >> 22) + this as the send time in milliseconds.
constexpr qint64 TokenEpochMs = 292057776050;
constexpr qint64 TokenLowBits = (qint64(1) << 22) - 1;

// Codes of messages.extra_mime in today's app.
enum ModernKind : int {
    ModernText = 0,
    ModernPicture = 1,
    ModernVideo = 3,
    ModernSticker = 4,
    ModernLocation = 5,
    ModernFormatted = 7,
    ModernNotice = 1000,
    ModernCall = 1002,
    ModernVoice = 1009,
};

QString compactJson(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString readResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("missing resource " + path.toStdString());
    return QString::fromUtf8(file.readAll());
}

class Generator
{
public:
    // bigChat > 0 puts that many messages, spread evenly over the run, into the first
    // chat and leaves it out of the uniform choice (a long conversation to select).
    Generator(qint64 messages, int chats, quint64 seed, qint64 bigChat = 0, bool modern = false)
        : m_messages(messages), m_chats(chats), m_bigChat(std::min(bigChat, messages)), m_modern(modern),
          m_random(seed)
    {}

    void write(const QString& dbFolder)
    {
        Sqlite3DB db;
        const QString path = dbFolder + QStringLiteral("/viber_messages");
        QFile::remove(path);
        db.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
        db.registerFallbackCollation(QStringLiteral("UNICODE"));
        db.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"));
        db.executeScriptThrow(readResource(schemaFolder() + QStringLiteral("/viber_messages_schema.sql")));

        Sqlite3DB data;
        const QString dataPath = dbFolder + QStringLiteral("/viber_data");
        QFile::remove(dataPath);
        data.openThrow(dataPath, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        data.registerFallbackCollation(QStringLiteral("LOCALIZED"));
        data.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"));
        data.executeScriptThrow(readResource(schemaFolder() + QStringLiteral("/viber_data_schema.sql")));

        db.beginTran();
        data.beginTran();
        writePeople(db);
        writeMessages(db, data);
        db.commitTran();
        data.commitTran();
        // Today's app keeps both files in WAL mode; the last close folds the log in, so
        // the main file alone is the whole database.
        if (m_modern) {
            db.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=WAL;"));
            data.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=WAL;"));
        }
    }

private:
    struct Chat
    {
        qint64 id = 0;
        qint64 groupId = 0;
        QList<qint64> members;      // participants_info ids, owner excluded
        QList<qint64> participants; // participants ids of those members, same order
        qint64 ownerParticipant = 0;
        qint64 lastDate = 0;
        qint64 lastOrderKey = 0;
    };

    // What a message holds, drawn once in the shape of version 53 and rewritten for
    // today's app from there.
    struct Content
    {
        QString mime;
        QVariant body, lat, lng, uri, upload, download, bucket, duration, thumbX, thumbY, description;
    };
    struct Envelope
    {
        qint64 date = 0;
        qint64 token = 0;
        qint64 seq = 0;
        qint64 peer = 0;
        qint64 participant = 0;
        bool outgoing = false;
        bool deleted = false;
        int status = 0;
    };

    QString schemaFolder() const
    {
        return m_modern ? QStringLiteral(":/schema/modern") : QStringLiteral(":/schema");
    }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }
    qint64 token()
    {
        return std::uniform_int_distribution<qint64>(1000000000000000000LL, 9000000000000000000LL)(m_random);
    }

    QString number(qint64 infoId) const
    {
        return QStringLiteral("+4917%1").arg(infoId, 8, 10, QLatin1Char('0'));
    }

    QString sentence()
    {
        static const QStringList words = {
            QStringLiteral("hallo"),      QStringLiteral("morgen"), QStringLiteral("wir"),
            QStringLiteral("treffen"),    QStringLiteral("uns"),    QStringLiteral("um"),
            QStringLiteral("acht"),       QStringLiteral("Uhr"),    QStringLiteral("am"),
            QStringLiteral("Bahnhof"),    QStringLiteral("schön"),  QStringLiteral("danke"),
            QStringLiteral("ok"),         QStringLiteral("bis"),    QStringLiteral("später"),
            QStringLiteral("\U0001F600"), QStringLiteral("see"),    QStringLiteral("you"),
            QStringLiteral("soon"),       QStringLiteral("Grüße")};
        const int count = uniform(1, 18);
        QString text;
        for (int i = 0; i < count; ++i) {
            if (i)
                text += QLatin1Char(' ');
            text += words.at(uniform(0, int(words.size()) - 1));
        }
        return text;
    }

    void writePeople(Sqlite3DB& db)
    {
        // Today's app also keys every card by the person's member ids.
        const QString infoSql =
            m_modern ? QStringLiteral("insert into participants_info(number, display_name, contact_name, "
                                      "contact_id, viber_name, viber_image, participant_type, member_id, "
                                      "encrypted_member_id) values(?, ?, ?, ?, ?, ?, ?, ?, ?)")
                     : QStringLiteral("insert into participants_info(number, display_name, contact_name, "
                                      "contact_id, viber_name, viber_image, participant_type) "
                                      "values(?, ?, ?, ?, ?, ?, ?)");
        const auto withMember = [this](Sqlite3Sql sql, qint64 infoId) {
            if (m_modern)
                sql.addTextParam(QStringLiteral("m-%1").arg(infoId))
                    .addTextParam(QStringLiteral("EM-%1").arg(infoId));
            return sql;
        };
        db.executeThrow(withMember(Sqlite3Sql(infoSql)
                                       .addTextParam(QLatin1String(OwnerNumber))
                                       .addTextParam(QStringLiteral("Ich"))
                                       .addNullParam()
                                       .addIntParam(0)
                                       .addTextParam(QStringLiteral("Ich"))
                                       .addNullParam()
                                       .addIntParam(0),
                                   1));
        const qint64 owner = db.lastInsertId();
        const int people = m_chats + m_chats / 4 + 8;
        for (int i = 0; i < people; ++i) {
            const QString name = QStringLiteral("Kontakt %1").arg(i + 1);
            db.executeThrow(withMember(
                Sqlite3Sql(infoSql)
                    .addTextParam(number(i + 2))
                    .addTextParam(name)
                    .addTextParam(name)
                    .addIntParam(i + 100)
                    .addTextParam(name)
                    .addTextParam(
                        QStringLiteral("content://com.viber.voip.provider.vibercontacts/photo/%1").arg(i + 2))
                    .addIntParam(1),
                i + 2));
        }
        const QString convSql = QStringLiteral("insert into conversations(conversation_type, group_id, "
                                               "recipient_number, name, smart_notification, "
                                               "mute_notification, date) values(?, ?, ?, ?, ?, 0, 0)");
        const QString modernConvSql =
            QStringLiteral("insert into conversations(conversation_type, group_id, name, smart_notification, "
                           "mute_notification, date, participant_id_1) values(?, ?, ?, ?, 0, 0, ?)");
        const QString partSql =
            QStringLiteral("insert into participants(conversation_id, participant_info_id) values(?, ?)");
        for (int c = 0; c < m_chats; ++c) {
            Chat chat;
            // one chat in five is a group, as on a typical phone
            const bool group = c % 5 == 4;
            if (group) {
                chat.groupId = 5000000000000LL + c;
                const int size = uniform(3, 8);
                for (int k = 0; k < size; ++k) {
                    const qint64 member = uniform(2, people + 1);
                    if (!chat.members.contains(member))
                        chat.members.append(member);
                }
            } else {
                chat.members.append(c + 2);
            }
            if (m_modern) {
                // A one-to-one chat names its peer's card itself.
                db.executeThrow(
                    Sqlite3Sql(modernConvSql)
                        .addIntParam(group ? 1 : 0)
                        .addInt64Param(chat.groupId)
                        .addParam(group ? QVariant(QStringLiteral("Gruppe %1").arg(c)) : QVariant())
                        .addIntParam(group ? 1 : 0)
                        .addInt64Param(chat.members.first()));
            } else {
                db.executeThrow(
                    Sqlite3Sql(convSql)
                        .addIntParam(group ? 1 : 0)
                        .addInt64Param(chat.groupId)
                        .addParam(group ? QVariant() : QVariant(number(chat.members.first())))
                        .addParam(group ? QVariant(QStringLiteral("Gruppe %1").arg(c)) : QVariant(QString()))
                        .addIntParam(group ? 1 : 0));
            }
            chat.id = db.lastInsertId();
            db.executeThrow(Sqlite3Sql(partSql).addInt64Param(chat.id).addInt64Param(owner));
            chat.ownerParticipant = db.lastInsertId();
            for (qint64 member : chat.members) {
                db.executeThrow(Sqlite3Sql(partSql).addInt64Param(chat.id).addInt64Param(member));
                chat.participants.append(db.lastInsertId());
            }
            m_chatList.append(chat);
        }
    }

    void writeMessages(Sqlite3DB& db, Sqlite3DB& data)
    {
        const QString msgSql = QStringLiteral(
            "insert into messages(address, date, read, opened, status, type, body, flag, token, "
            "location_lat, "
            "location_lng, extra_uri, extra_mime, extra_status, seq, message_global_id, extra_upload_id, "
            "extra_download_id, extra_bucket_name, extra_duration, thumbnail_x, thumbnail_y, description, "
            "deleted, "
            "count, group_id, conversation_id, conversation_type, participant_id, extra_flags, date_real) "
            "values(?, ?, 1, 1, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?, "
            "0, ?)");
        const QString msgCallSql = QStringLiteral(
            "insert into messages_calls(conversation_id, message_id, canonized_number, viber_call_type, "
            "date, "
            "duration, type, end_reason, start_reason, token) values(?, ?, ?, 1, ?, ?, ?, ?, 0, ?)");
        const QString callSql = QStringLiteral("insert into calls(call_id, aggregate_hash, number, "
                                               "canonized_number, viber_call, viber_call_type, date, "
                                               "duration, type, end_reason, start_reason, token, looked) "
                                               "values(?, ?, ?, ?, 1, 1, ?, ?, ?, ?, 0, ?, 1)");
        const QVariant null;
        const int lastChat = int(m_chatList.size()) - 1;
        qint64 date = FirstDateMs;
        for (qint64 i = 0; i < m_messages; ++i) {
            Chat& chat = inBigChat(i) ? m_chatList[0] : m_chatList[uniform(firstUniformChat(), lastChat)];
            date += uniform(1000, 120000);
            chat.lastDate = date;
            const bool outgoing = uniform(0, 1) == 1;
            const int peerIndex = uniform(0, int(chat.members.size()) - 1);
            const qint64 peer = chat.members.at(peerIndex);
            const qint64 participant = outgoing ? chat.ownerParticipant : chat.participants.at(peerIndex);
            // Today's app's tokens carry the send time in their upper bits; the drawn
            // token gives the lower ones.
            const qint64 drawn = token();
            const qint64 tok = m_modern ? ((date - TokenEpochMs) << 22) | (drawn & TokenLowBits) : drawn;
            const int roll = uniform(0, 99);
            QString mime = QStringLiteral("text");
            QVariant body = sentence(), lat = 0, lng = 0, uri, upload, download, bucket, duration, thumbX,
                     thumbY, description;
            if (roll < 8) {
                mime = QStringLiteral("image");
                body = QStringLiteral("/storage/emulated/0/viber/media/.thumbnails/%1.jpg").arg(tok);
                uri = QStringLiteral("file:///storage/emulated/0/viber/media/Viber%20Images/IMG-%1-V.jpg")
                          .arg(tok);
                if (outgoing)
                    upload = tok / 7;
                else
                    download = QStringLiteral("MF%1").arg(tok, 0, 36);
                bucket = QStringLiteral("Share2014-05-13");
                duration = uniform(20000, 900000);
                thumbX = 400;
                thumbY = 300;
                description = uniform(0, 3) == 0 ? QVariant(sentence()) : QVariant(QString());
            } else if (roll < 14) {
                mime = QStringLiteral("sticker");
                body = null;
                upload = uniform(100, 99999);
            } else if (roll < 18) {
                mime = QStringLiteral("sound");
                body = null;
                uri = QStringLiteral("%1").arg(tok, 0, 16);
                download = uri;
                duration = uniform(1000, 60000);
            } else if (roll < 21) {
                mime = QStringLiteral("video");
                body = QStringLiteral("/storage/emulated/0/viber/media/.thumbnails/%1.jpg").arg(tok);
                uri = QStringLiteral("file:///storage/emulated/0/viber/media/Viber%20Videos/VID-%1-V.mp4")
                          .arg(tok);
                if (outgoing)
                    upload = tok / 7;
                else
                    download = QStringLiteral("MV%1").arg(tok, 0, 36);
                duration = uniform(1000000, 9000000);
                thumbX = 320;
                thumbY = 240;
                description = QString();
            } else if (roll < 23) {
                mime = QStringLiteral("location");
                lat = uniform(10000000, 89999999);
                lng = uniform(100000000, 179999999);
                body = QStringLiteral("https://maps.googleapis.com/maps/api/staticmap?zoom=16&center=%1,%2")
                           .arg(lat.toLongLong())
                           .arg(lng.toLongLong());
                bucket = QStringLiteral("Straße %1, Berlin").arg(uniform(1, 200));
            } else if (roll < 27 && chat.groupId == 0) {
                mime = QStringLiteral("call");
                const int kind = uniform(1, 3);
                body = kind == 1   ? QStringLiteral("incoming_call")
                       : kind == 2 ? QStringLiteral("outgoing_call")
                                   : QStringLiteral("missed_call");
                duration = kind == 3 ? 0 : uniform(1, 3600);
                bucket = QStringLiteral("has_description");
                description = QString();
            } else if (roll < 29 && chat.groupId != 0) {
                mime = QStringLiteral("notif");
                body = uniform(0, 1) ? QStringLiteral("group_rename/Gruppe alt/Gruppe neu")
                                     : QStringLiteral("add/%1").arg(number(peer));
            } else if (roll == 29) {
                mime = QStringLiteral("formatted_message");
            }
            const bool deleted = uniform(0, 199) == 0;
            const int status = outgoing ? uniform(3, 4) : 2;
            const qint64 dateReal = date + uniform(0, 5000);
            if (m_modern) {
                writeModernMessage(db, chat,
                                   {mime, body, lat, lng, uri, upload, download, bucket, duration, thumbX,
                                    thumbY, description},
                                   {date, tok, i + 1, peer, participant, outgoing, deleted, status});
            } else {
                db.executeThrow(Sqlite3Sql(msgSql)
                                    .addTextParam(number(peer))
                                    .addInt64Param(date)
                                    .addIntParam(status)
                                    .addIntParam(outgoing ? 1 : 0)
                                    .addParam(body)
                                    .addInt64Param(tok)
                                    .addParam(lat)
                                    .addParam(lng)
                                    .addParam(uri)
                                    .addTextParam(mime)
                                    .addIntParam(outgoing ? 4 : 3)
                                    .addInt64Param(i + 1)
                                    .addIntParam(chat.groupId ? int(i + 1) : 0)
                                    .addParam(upload)
                                    .addParam(download)
                                    .addParam(bucket)
                                    .addParam(duration)
                                    .addParam(thumbX)
                                    .addParam(thumbY)
                                    .addParam(description)
                                    .addIntParam(deleted ? 1 : 0)
                                    .addInt64Param(chat.groupId)
                                    .addInt64Param(chat.id)
                                    .addIntParam(chat.groupId ? 1 : 0)
                                    .addInt64Param(participant)
                                    .addInt64Param(dateReal));
            }
            if (mime == QLatin1String("call")) {
                const qint64 messageId = db.lastInsertId();
                const QString canonized = number(peer).mid(1);
                const int kind = body.toString().startsWith(QLatin1String("incoming"))   ? 1
                                 : body.toString().startsWith(QLatin1String("outgoing")) ? 2
                                                                                         : 3;
                db.executeThrow(Sqlite3Sql(msgCallSql)
                                    .addInt64Param(chat.id)
                                    .addInt64Param(messageId)
                                    .addTextParam(canonized)
                                    .addInt64Param(date)
                                    .addParam(duration)
                                    .addIntParam(kind)
                                    .addIntParam(kind == 3 ? 0 : 3)
                                    .addInt64Param(tok));
                data.executeThrow(Sqlite3Sql(callSql)
                                      .addInt64Param(date / 1000)
                                      .addIntParam(uniform(-2000000000, 2000000000))
                                      .addTextParam(number(peer))
                                      .addTextParam(canonized)
                                      .addInt64Param(date)
                                      .addParam(duration)
                                      .addIntParam(kind)
                                      .addIntParam(kind == 3 ? 0 : 3)
                                      .addInt64Param(tok));
            }
        }
        for (const Chat& chat : m_chatList)
            db.executeThrow(Sqlite3Sql(QStringLiteral("update conversations set date=? where _id=?"))
                                .addInt64Param(chat.lastDate)
                                .addInt64Param(chat.id));
    }

    void writeModernMessage(Sqlite3DB& db, Chat& chat, const Content& m, const Envelope& e)
    {
        static const QString sql = QStringLiteral(
            "insert into messages(conversation_id, order_key, msg_date, token, conversation_type, "
            "participant_id, group_id, deleted, send_type, extra_mime, user_id, seq, status, opened, "
            "location_lat, location_lng, extra_uri, extra_status, message_global_id, extra_upload_id, "
            "extra_download_id, extra_duration, body, description, msg_info) "
            "values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        const QString hex = QString::number(e.token, 16);
        const QVariant null;
        int kind = ModernText;
        QVariant body = m.body, lat, lng, uri, duration = m.duration;
        QJsonObject info;
        if (m.mime == QLatin1String("image")) {
            kind = ModernPicture;
            body = QString();
            uri = QString(QLatin1String(ModernMedia) + QStringLiteral(".image/IMG-%1-V.jpg").arg(hex));
            info.insert(QStringLiteral("fileInfo"),
                        QJsonObject{{QStringLiteral("FileSize"), m.duration.toLongLong()},
                                    {QStringLiteral("ContentType"), QStringLiteral("image")},
                                    {QStringLiteral("mediaInfo"),
                                     QJsonObject{{QStringLiteral("Width"), m.thumbX.toInt()},
                                                 {QStringLiteral("Height"), m.thumbY.toInt()}}}});
            duration = null;
        } else if (m.mime == QLatin1String("sticker")) {
            kind = ModernSticker;
        } else if (m.mime == QLatin1String("sound")) {
            kind = ModernVoice;
            uri = QString(QLatin1String(ModernMedia) + QStringLiteral(".ptt/%1.ptt").arg(hex));
            info.insert(QStringLiteral("audio_ptt"),
                        QJsonObject{{QStringLiteral("duration"), m.duration.toLongLong()}});
        } else if (m.mime == QLatin1String("video")) {
            kind = ModernVideo;
            body = QString();
            uri = QString(QLatin1String(ModernMedia) + QStringLiteral(".video/video-%1-V.mp4").arg(hex));
            info.insert(QStringLiteral("fileInfo"),
                        QJsonObject{{QStringLiteral("Duration"), m.duration.toLongLong()}});
        } else if (m.mime == QLatin1String("location")) {
            kind = ModernLocation;
            lat = m.lat;
            lng = m.lng;
            body = m.bucket;
            info.insert(QStringLiteral("locationInfo"),
                        QJsonObject{{QStringLiteral("address"), m.bucket.toString()}});
        } else if (m.mime == QLatin1String("call")) {
            kind = ModernCall;
        } else if (m.mime == QLatin1String("notif")) {
            kind = ModernNotice;
        } else if (m.mime == QLatin1String("formatted_message")) {
            kind = ModernFormatted;
            body = QString::fromUtf8(
                QJsonDocument(QJsonArray{QJsonObject{{QStringLiteral("Type"), QStringLiteral("text")},
                                                     {QStringLiteral("Text"), m.body.toString()}}})
                    .toJson(QJsonDocument::Compact));
        }
        db.executeThrow(Sqlite3Sql(sql)
                            .addInt64Param(chat.id)
                            .addInt64Param(++chat.lastOrderKey)
                            .addInt64Param(e.date)
                            .addInt64Param(e.token)
                            .addIntParam(chat.groupId ? 1 : 0)
                            .addInt64Param(e.participant)
                            .addInt64Param(chat.groupId)
                            .addIntParam(e.deleted ? 1 : 0)
                            .addIntParam(e.outgoing ? 1 : 0)
                            .addIntParam(kind)
                            .addTextParam(e.outgoing ? QString(QLatin1String(OwnerNumber)) : number(e.peer))
                            .addInt64Param(e.seq)
                            .addIntParam(e.outgoing ? e.status : 0)
                            .addIntParam(e.outgoing ? 1 : 0)
                            .addParam(lat)
                            .addParam(lng)
                            .addParam(uri)
                            .addIntParam(e.outgoing ? 4 : 3)
                            .addIntParam(chat.groupId ? int(e.seq) : 0)
                            .addParam(m.upload)
                            .addParam(m.download)
                            .addParam(duration)
                            .addParam(body)
                            .addParam(m.description)
                            .addTextParam(info.isEmpty() ? QStringLiteral("{}") : compactJson(info)));
    }

    bool inBigChat(qint64 i) const { return m_bigChat > 0 && i % (m_messages / m_bigChat) == 0; }
    int firstUniformChat() const { return m_bigChat > 0 && m_chats > 1 ? 1 : 0; }

    qint64 m_messages;
    int m_chats;
    qint64 m_bigChat;
    bool m_modern;
    std::mt19937_64 m_random;
    QList<Chat> m_chatList;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const bool modern = args.removeAll(QStringLiteral("--modern")) > 0;
    QTextStream err(stderr);
    if (args.size() < 2) {
        err << "usage: velliport-gen-android [--modern] OUT [MESSAGES [CHATS [SEED [BIGCHAT]]]]\n";
        return 2;
    }
    const qint64 messages = args.size() > 2 ? args.at(2).toLongLong() : 200000;
    const int chats = args.size() > 3 ? args.at(3).toInt() : 500;
    const quint64 seed = args.size() > 4 ? args.at(4).toULongLong() : 20140513;
    const qint64 bigChat = args.size() > 5 ? args.at(5).toLongLong() : 0;
    if (messages < 0 || chats < 1) {
        err << "MESSAGES must be 0 or more and CHATS 1 or more\n";
        return 2;
    }
    const QString dbFolder =
        QDir(args.at(1)).absoluteFilePath(QStringLiteral("ab-extract/apps/com.viber.voip/db"));
    if (!QDir().mkpath(dbFolder)) {
        err << "cannot create " << dbFolder << "\n";
        return 1;
    }
    try {
        Generator(messages, chats, seed, bigChat, modern).write(dbFolder);
    } catch (const std::exception& e) {
        err << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    QTextStream(stdout) << dbFolder << "/viber_messages\n";
    return 0;
}
