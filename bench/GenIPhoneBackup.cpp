// Writes a synthetic iPhone backup of a large Viber history twice from the same draws:
// OUT/plain, as an unencrypted backup, and OUT/encrypted, encrypted as iOS 10.2 and
// later do (the test support's EncryptedBackupBuilder, with the given iteration counts).
// Contacts.data is of the ZMEMBER generation, made with the statements of
// tests/data/ios-member/contacts_schema.sql: N messages over M chats, one in five a
// group, with pictures (one message in ten) and voice messages stored as the app's
// files in Documents/Attachments and Documents/VoiceMessages, videos the backup does
// not hold (never downloaded), stickers, places, calls with their call-log rows, links
// and rows the app marked deleted. Manifest.db names every stored file with its MBFile
// record, as a real backup's does.
//
//   velliport-gen-iphone [--password PW] [--iterations P,I] OUT [MESSAGES [CHATS [SEED]]]
//
// Prints "messages=… media_files=… media_bytes=… contacts_bytes=…" on success.

#include "app/Sqlite3DB.h"
#include "db/IPhoneBackup.h"
#include "tests/support/EncryptedBackupBuilder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

// 2016-01-01 in Core Data's seconds since 2001-01-01 UTC.
constexpr double FirstDate = 473385600;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString readResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("missing resource %1").arg(path));
    return QString::fromUtf8(file.readAll());
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(path));
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

// One backup folder being written: its stored files go out at once, its Manifest.db rows
// are kept until finish().
class BackupWriter
{
public:
    BackupWriter(const QString& folder, const EncryptedBackupBuilder* encryption)
        : m_folder(folder), m_encryption(encryption)
    {
        QDir(m_folder).removeRecursively();
        if (!QDir().mkpath(m_folder))
            fail(QStringLiteral("cannot create %1").arg(m_folder));
    }

    void store(const QString& domain, const QString& relativePath, const QByteArray& bytes)
    {
        // An unencrypted backup's record names no key; the reader does not read it then.
        EncryptedBackupBuilder::StoredFile stored{
            bytes, EncryptedBackupBuilder::fileRecord(bytes.size(), EncryptedBackupBuilder::FileClass, {},
                                                      relativePath)};
        if (m_encryption)
            stored = m_encryption->encryptFile(bytes, relativePath);
        const QString id = fileId(domain, relativePath);
        const QString subFolder = m_folder + QLatin1Char('/') + id.left(2);
        if (!QDir().mkpath(subFolder))
            fail(QStringLiteral("cannot create %1").arg(subFolder));
        writeAll(subFolder + QLatin1Char('/') + id, stored.encrypted);
        m_rows.push_back({id, domain, relativePath, 1, stored.record});
    }

    void addFolder(const QString& domain, const QString& relativePath)
    {
        m_rows.push_back({fileId(domain, relativePath), domain, relativePath, 2, {}});
    }

    void finish()
    {
        const QString manifest = m_folder + QLatin1Char('/') + QLatin1String(IPhoneBackup::ManifestFile);
        const QString plain = manifest + QStringLiteral(".plain");
        QFile::remove(plain);
        {
            Sqlite3DB db;
            db.openThrow(plain, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
            db.executeScriptThrow(
                QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                               "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);"
                               "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
                               "flags INTEGER, file BLOB);"
                               "CREATE INDEX FilesDomainIdx ON Files(domain);"
                               "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);"));
            db.beginTran();
            for (const Row& row : m_rows) {
                db.executeThrow(Sqlite3Sql(QStringLiteral("insert into Files (fileID, domain, relativePath, "
                                                          "flags, file) values (?, ?, ?, ?, ?)"))
                                    .addTextParam(row.fileId)
                                    .addTextParam(row.domain)
                                    .addTextParam(row.relativePath)
                                    .addIntParam(row.flags)
                                    .addParam(row.record.isEmpty() ? QVariant() : QVariant(row.record)));
            }
            db.commitTran();
        }
        if (m_encryption) {
            writeAll(manifest, m_encryption->encryptManifest(readAll(plain)));
            QFile::remove(plain);
        } else if (!QFile::remove(manifest) && QFile::exists(manifest)) {
            fail(QStringLiteral("cannot replace %1").arg(manifest));
        } else if (!QFile::rename(plain, manifest)) {
            fail(QStringLiteral("cannot write %1").arg(manifest));
        }
        const QByteArray properties =
            m_encryption ? m_encryption->manifestProperties()
                         : EncryptedBackupBuilder::binaryPropertyList(QVariantMap{
                               {QStringLiteral("IsEncrypted"), false},
                               {QStringLiteral("Version"), QStringLiteral("10.0")},
                               {QStringLiteral("Date"), QDateTime(QDate(2024, 3, 1), QTime(9, 15), Qt::UTC)},
                               {QStringLiteral("WasPasscodeSet"), true},
                           });
        writeAll(m_folder + QLatin1Char('/') + QLatin1String(IPhoneBackup::PropertiesFile), properties);
    }

    static QString fileId(const QString& domain, const QString& relativePath)
    {
        return QString::fromLatin1(
            QCryptographicHash::hash((domain + QLatin1Char('-') + relativePath).toUtf8(),
                                     QCryptographicHash::Sha1)
                .toHex());
    }

private:
    struct Row
    {
        QString fileId;
        QString domain;
        QString relativePath;
        int flags = 1;
        QByteArray record;
    };

    QString m_folder;
    const EncryptedBackupBuilder* m_encryption;
    std::vector<Row> m_rows;
};

class Generator
{
public:
    Generator(qint64 messages, int chats, quint64 seed) : m_messages(messages), m_chats(chats), m_random(seed)
    {}

    // Writes Contacts.data at path; the media files it names go into both backups.
    void write(const QString& path, BackupWriter& plain, BackupWriter& encrypted)
    {
        QFile::remove(path);
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        db.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"));
        db.executeScriptThrow(readResource(QStringLiteral(":/schema/ios-member/contacts_schema.sql")));
        const QString app = QLatin1String(IPhoneBackup::ViberAppDomain);
        for (BackupWriter* backup : {&plain, &encrypted}) {
            for (const char* folder : {"Documents", "Documents/Attachments", "Documents/VoiceMessages"})
                backup->addFolder(app, QLatin1String(folder));
        }
        db.beginTran();
        writePeople(db);
        writeMessages(db, [&](const QString& relativePath, const QByteArray& bytes) {
            plain.store(app, relativePath, bytes);
            encrypted.store(app, relativePath, bytes);
            ++m_mediaFiles;
            m_mediaBytes += bytes.size();
        });
        db.commitTran();
        db.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=DELETE;"));
    }

    qint64 mediaFiles() const { return m_mediaFiles; }
    qint64 mediaBytes() const { return m_mediaBytes; }

private:
    struct Chat
    {
        qint64 id = 0;
        bool group = false;
        QList<qint64> members; // ZMEMBER rows, the owner is none
        double lastDate = 0;
    };

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }

    QString sentence()
    {
        static const QStringList words = {
            QStringLiteral("hola"),       QStringLiteral("mañana"),  QStringLiteral("nos"),
            QStringLiteral("vemos"),      QStringLiteral("a"),       QStringLiteral("las"),
            QStringLiteral("ocho"),       QStringLiteral("en"),      QStringLiteral("la"),
            QStringLiteral("estación"),   QStringLiteral("gracias"), QStringLiteral("vale"),
            QStringLiteral("hasta"),      QStringLiteral("luego"),   QStringLiteral("¿qué"),
            QStringLiteral("\U0001F600"), QStringLiteral("see"),     QStringLiteral("you"),
            QStringLiteral("soon"),       QStringLiteral("Привет")};
        const int count = uniform(1, 18);
        QString text;
        for (int i = 0; i < count; ++i) {
            if (i)
                text += QLatin1Char(' ');
            text += words.at(uniform(0, int(words.size()) - 1));
        }
        return text;
    }

    // A few KB that start like a JPEG or an M4A; the load never decodes them.
    QByteArray media(const QByteArray& magic, int lo, int hi)
    {
        QByteArray bytes(uniform(lo, hi), '\0');
        for (qsizetype i = 0; i < bytes.size(); i += 8) {
            const quint64 word = m_random();
            for (qsizetype k = 0; k < 8 && i + k < bytes.size(); ++k)
                bytes[i + k] = char((word >> (8 * k)) & 0xff);
        }
        bytes.replace(0, magic.size(), magic);
        return bytes;
    }

    void writePeople(Sqlite3DB& db)
    {
        const int people = m_chats + m_chats / 4 + 8;
        db.executeScriptThrow(
            QStringLiteral("INSERT INTO Z_PRIMARYKEY (Z_ENT, Z_NAME, Z_SUPER, Z_MAX) VALUES "
                           "(1, 'Attachment', 0, 0), (5, 'Conversation', 0, %1), "
                           "(7, 'PhoneNumber', 0, %2), (9, 'ViberMessage', 0, %3), "
                           "(10, 'Member', 0, %2);")
                .arg(m_chats)
                .arg(people)
                .arg(m_messages));
        for (int i = 1; i <= people; ++i) {
            const QString name = QStringLiteral("Contacto %1").arg(i);
            const QString phone = QStringLiteral("+3461%1").arg(i, 7, 10, QLatin1Char('0'));
            db.executeThrow(
                Sqlite3Sql(QStringLiteral("insert into ZMEMBER (Z_PK, Z_ENT, Z_OPT, ZDISPLAYFULLNAME, "
                                          "ZDISPLAYSHORTNAME, ZNAME, ZMEMBERID) "
                                          "values (?, 10, 1, ?, ?, ?, ?)"))
                    .addIntParam(i)
                    .addTextParam(name)
                    .addTextParam(name.section(QLatin1Char(' '), 0, 0))
                    .addTextParam(name)
                    .addTextParam(QStringLiteral("mid-%1").arg(i)));
            db.executeThrow(
                Sqlite3Sql(QStringLiteral("insert into ZPHONENUMBER (Z_PK, Z_ENT, Z_OPT, ZMEMBER, "
                                          "ZPHONE, ZCANONIZEDPHONENUM) values (?, 7, 1, ?, ?, ?)"))
                    .addIntParam(i)
                    .addIntParam(i)
                    .addTextParam(phone)
                    .addTextParam(phone.mid(1)));
        }
        for (int c = 0; c < m_chats; ++c) {
            Chat chat;
            chat.id = c + 1;
            // one chat in five is a group, as on a typical phone
            chat.group = c % 5 == 4;
            if (chat.group) {
                const int size = uniform(3, 8);
                for (int k = 0; k < size; ++k) {
                    const qint64 member = uniform(1, people);
                    if (!chat.members.contains(member))
                        chat.members.append(member);
                }
            } else {
                chat.members.append(c % people + 1);
            }
            db.executeThrow(
                Sqlite3Sql(QStringLiteral("insert into ZCONVERSATION (Z_PK, Z_ENT, Z_OPT, ZNAME, "
                                          "ZGROUPID, ZINTERLOCUTOR, ZSUBTYPE, ZBEINGDELETED) "
                                          "values (?, 5, 1, ?, ?, ?, 0, 0)"))
                    .addInt64Param(chat.id)
                    .addParam(chat.group ? QVariant(QStringLiteral("Grupo %1").arg(c)) : QVariant())
                    .addInt64Param(chat.group ? 5000000000000LL + c : 0)
                    .addParam(chat.group ? QVariant() : QVariant(chat.members.first())));
            for (const qint64 member : chat.members) {
                db.executeThrow(Sqlite3Sql(QStringLiteral("insert into Z_5PHONENUMINDEXES (Z_5CONVERSATIONS, "
                                                          "Z_10PHONENUMINDEXES) values (?, ?)"))
                                    .addInt64Param(chat.id)
                                    .addInt64Param(member));
            }
            m_chatList.append(chat);
        }
    }

    template<typename Store> void writeMessages(Sqlite3DB& db, const Store& storeMedia)
    {
        const QString messageSql = QStringLiteral(
            "insert into ZVIBERMESSAGE (Z_PK, Z_ENT, Z_OPT, ZBEINGDELETED, ZSEQ, ZTOKEN, ZCONVERSATION, "
            "ZPHONENUMINDEX, ZDATE, ZSTATEDATE, ZSTATE, ZTEXT, ZSYSTEMTYPE, ZATTACHMENT, ZLOCATION, "
            "ZCALLTYPE) "
            "values (?, 9, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        const QString attachmentSql = QStringLiteral(
            "insert into ZATTACHMENT (Z_PK, Z_ENT, Z_OPT, ZFILESIZE, ZDURATION, ZID, ZNAME, ZTYPE, ZSTATE, "
            "ZBUCKET) values (?, 1, 1, ?, ?, ?, ?, ?, 'downloaded', ?)");
        const QVariant null;
        qint64 attachments = 0;
        qint64 places = 0;
        qint64 calls = 0;
        double date = FirstDate;
        for (qint64 pk = 1; pk <= m_messages; ++pk) {
            Chat& chat = m_chatList[uniform(0, int(m_chatList.size()) - 1)];
            date += uniform(1, 120) + uniform(0, 999) / 1000.0;
            chat.lastDate = date;
            const bool outgoing = uniform(0, 1) == 1;
            const qint64 sender = outgoing ? 0 : chat.members.at(uniform(0, int(chat.members.size()) - 1));
            const qint64 token = 9130000000000000000LL + pk;
            const QString hex = QString::number(token, 16);
            QString state = outgoing ? (uniform(0, 1) ? QStringLiteral("delivered") : QStringLiteral("seen"))
                                     : QStringLiteral("received");
            QVariant text = sentence();
            QString system;
            QVariant attachment, place, callType;
            const int roll = uniform(0, 99);
            const auto addAttachment = [&](const QString& type, const QString& name, qint64 size,
                                           double seconds) {
                db.executeThrow(Sqlite3Sql(attachmentSql)
                                    .addInt64Param(++attachments)
                                    .addInt64Param(size)
                                    .addDoubleParam(seconds)
                                    .addTextParam(QStringLiteral("0-02-05-%1").arg(hex))
                                    .addTextParam(name)
                                    .addTextParam(type)
                                    .addTextParam(QStringLiteral("vb-media-%1").arg(uniform(1, 9))));
                attachment = attachments;
            };
            if (roll < 10) {
                const QString name = QStringLiteral("IMG-%1.jpg").arg(hex);
                const QByteArray bytes = media(QByteArray::fromHex("ffd8ffe0"), 2000, 8000);
                storeMedia(QStringLiteral("Documents/Attachments/") + name, bytes);
                addAttachment(QStringLiteral("picture"), name, bytes.size(), 0);
                text = uniform(0, 3) == 0 ? QVariant(sentence()) : null;
            } else if (roll < 12) {
                const QString name = QStringLiteral("voice-%1.m4a").arg(hex);
                const QByteArray bytes = media(QByteArray::fromHex("00000020") + "ftypM4A ", 3000, 12000);
                storeMedia(QStringLiteral("Documents/VoiceMessages/") + name, bytes);
                addAttachment(QStringLiteral("audio"), name, bytes.size(), uniform(10, 600) / 10.0);
                text = null;
            } else if (roll < 13) {
                // never downloaded on the phone: the backup holds no file
                addAttachment(QStringLiteral("video"), QStringLiteral("VID-%1.mp4").arg(hex),
                              uniform(1000000, 9000000), uniform(10, 900) / 10.0);
                text = null;
            } else if (roll < 16) {
                addAttachment(QStringLiteral("sticker"), QStringLiteral("%1.png").arg(uniform(100, 99999)),
                              uniform(5000, 30000), 0);
                text = null;
            } else if (roll < 17) {
                system = QStringLiteral("customLocation");
                db.executeThrow(
                    Sqlite3Sql(QStringLiteral("insert into ZVIBERLOCATION (Z_PK, Z_ENT, Z_OPT, ZMESSAGE, "
                                              "ZDATE, ZLATITUDE, ZLONGITUDE, ZADDRESS) "
                                              "values (?, 2, 1, ?, ?, ?, ?, ?)"))
                        .addInt64Param(++places)
                        .addInt64Param(pk)
                        .addDoubleParam(date)
                        .addDoubleParam(uniform(-80000000, 80000000) / 1e6)
                        .addDoubleParam(uniform(-179000000, 179000000) / 1e6)
                        .addTextParam(QStringLiteral("Calle %1, Madrid").arg(uniform(1, 200))));
                place = places;
            } else if (roll < 19 && !chat.group) {
                system = QStringLiteral("systemCallLog");
                const int kind = uniform(0, 2);
                callType = kind == 0   ? QStringLiteral("incoming")
                           : kind == 1 ? QStringLiteral("outgoing")
                                       : QStringLiteral("missed");
                text = null;
                ++calls;
                const QString number =
                    QStringLiteral("3461%1").arg(chat.members.first(), 7, 10, QLatin1Char('0'));
                db.executeThrow(
                    Sqlite3Sql(QStringLiteral("insert into ZRECENTSLINE (Z_PK, Z_ENT, Z_OPT, ZDATE, "
                                              "ZCALLTYPE, ZPHONENUMBER) values (?, 3, 1, ?, ?, ?)"))
                        .addInt64Param(calls)
                        .addDoubleParam(date)
                        .addParam(callType)
                        .addTextParam(number));
                db.executeThrow(
                    Sqlite3Sql(QStringLiteral("insert into ZRECENT (Z_PK, Z_ENT, Z_OPT, ZDATE, "
                                              "ZDURATION, ZCALLTYPE, ZCALLLOGMESSAGE, ZRECENTSLINE) "
                                              "values (?, 4, 1, ?, ?, ?, ?, ?)"))
                        .addInt64Param(calls)
                        .addDoubleParam(date)
                        .addDoubleParam(kind == 2 ? 0 : uniform(1, 3600))
                        .addParam(callType)
                        .addInt64Param(pk)
                        .addInt64Param(calls));
            } else if (roll < 20) {
                system = QStringLiteral("url");
                text = QStringLiteral("https://example.org/%1").arg(hex);
            } else if (roll < 21) {
                system = QStringLiteral("formatted");
            }
            db.executeThrow(Sqlite3Sql(messageSql)
                                .addInt64Param(pk)
                                .addIntParam(uniform(0, 199) == 0 ? 1 : 0)
                                .addInt64Param(pk)
                                .addInt64Param(token)
                                .addInt64Param(chat.id)
                                .addParam(sender ? QVariant(sender) : null)
                                .addDoubleParam(date)
                                .addDoubleParam(date + uniform(0, 50))
                                .addTextParam(state)
                                .addParam(text)
                                .addTextParam(system)
                                .addParam(attachment)
                                .addParam(place)
                                .addParam(callType));
        }
        for (const Chat& chat : std::as_const(m_chatList))
            db.executeThrow(Sqlite3Sql(QStringLiteral("update ZCONVERSATION set ZDATE = ? where Z_PK = ?"))
                                .addDoubleParam(chat.lastDate)
                                .addInt64Param(chat.id));
        db.executeThrow(Sqlite3Sql(QStringLiteral("update Z_PRIMARYKEY set Z_MAX = ? where Z_ENT = 1"))
                            .addInt64Param(attachments));
    }

    qint64 m_messages;
    int m_chats;
    std::mt19937_64 m_random;
    QList<Chat> m_chatList;
    qint64 m_mediaFiles = 0;
    qint64 m_mediaBytes = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QTextStream err(stderr);
    QString password = QStringLiteral("bench – contraseña 🐎");
    int passwordIterations = 1000;
    int iterations = 10;
    for (qsizetype i = 1; i + 1 < args.size();) {
        if (args.at(i) == QLatin1String("--password")) {
            password = args.takeAt(i + 1);
            args.removeAt(i);
        } else if (args.at(i) == QLatin1String("--iterations")) {
            const QStringList counts = args.takeAt(i + 1).split(QLatin1Char(','));
            args.removeAt(i);
            passwordIterations = counts.value(0).toInt();
            iterations = counts.value(1).toInt();
        } else {
            ++i;
        }
    }
    if (args.size() < 2) {
        err << "usage: velliport-gen-iphone [--password PW] [--iterations P,I] OUT [MESSAGES [CHATS "
               "[SEED]]]\n";
        return 2;
    }
    const qint64 messages = args.size() > 2 ? args.at(2).toLongLong() : 200000;
    const int chats = args.size() > 3 ? args.at(3).toInt() : 500;
    const quint64 seed = args.size() > 4 ? args.at(4).toULongLong() : 20160101;
    if (messages < 0 || chats < 1 || passwordIterations < 1 || iterations < 1) {
        err << "MESSAGES must be 0 or more, CHATS and both iteration counts 1 or more\n";
        return 2;
    }
    const QDir out(args.at(1));
    try {
        if (!QDir().mkpath(out.absolutePath()))
            fail(QStringLiteral("cannot create %1").arg(out.absolutePath()));
        const EncryptedBackupBuilder encryption(password, passwordIterations, iterations);
        BackupWriter plain(out.absoluteFilePath(QStringLiteral("plain")), nullptr);
        BackupWriter encrypted(out.absoluteFilePath(QStringLiteral("encrypted")), &encryption);
        const QString contacts = out.absoluteFilePath(QStringLiteral("Contacts.data"));
        Generator generator(messages, chats, seed);
        generator.write(contacts, plain, encrypted);
        const QByteArray database = readAll(contacts);
        const QString group = QLatin1String(IPhoneBackup::ViberGroupDomain);
        for (BackupWriter* backup : {&plain, &encrypted}) {
            backup->store(group, QLatin1String(IPhoneBackup::ViberDatabase), database);
            backup->finish();
        }
        QTextStream(stdout) << "messages=" << messages << " media_files=" << generator.mediaFiles()
                            << " media_bytes=" << generator.mediaBytes()
                            << " contacts_bytes=" << database.size() << "\n";
    } catch (const std::exception& e) {
        err << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
