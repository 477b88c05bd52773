#include "tools/phonesim/SimSample.h"

#include "app/Sqlite3DB.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <sqlite3.h>

#include <stdexcept>

namespace {

constexpr auto Storage = "/storage/emulated/0";

QString resourceText(const QString& name)
{
    QFile sql(QStringLiteral(":/phonesim/") + name);
    if (!sql.open(QIODevice::ReadOnly))
        throw std::runtime_error("sample SQL missing");
    return QString::fromUtf8(sql.readAll());
}

// The script's rows go into the file; the late script's rows follow, with walPending
// only into the -wal: closing without a checkpoint leaves them there. A file in WAL mode
// without pending rows is checkpointed on close and keeps the mode in its header.
void buildDatabase(const QString& path, const QString& script, const QString& lateScript, bool wal,
                   bool walPending)
{
    for (const char* companion : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(companion));
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
    db.executeScriptThrow(script);
    if (wal)
        db.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=WAL;"));
    if (walPending) {
        db.executeScriptThrow(QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"));
        if (sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot keep the sample's -wal");
    }
    db.executeScriptThrow(lateScript);
    db.close();
    if (walPending && !QFileInfo(path + QStringLiteral("-wal")).size())
        throw std::runtime_error("the sample's -wal was checkpointed");
}

void writeImage(const QString& path, int width, int height, const QColor& ground, const QColor& shape,
                const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(ground);
    QPainter painter(&image);
    painter.fillRect(width / 5, height / 5, width * 3 / 5, height * 3 / 5, shape);
    painter.end();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, format))
        throw std::runtime_error("cannot write a sample picture");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write a sample media file");
}

// Media bytes with the container's signature; the program copies them, it never plays them.
QByteArray mediaBytes(const QByteArray& signature, int size)
{
    QByteArray bytes = signature;
    for (int i = 0; bytes.size() < size; ++i)
        bytes.append(char((i * 37 + 11) & 0xff));
    return bytes;
}

// Today's app: its schema and rows, and the media they name in the app's own folder.
void populateModern(SimDevice& device, const SimSample::Options& options)
{
    auto local = [&](const char* phonePath) { return device.fileFor(QString::fromLatin1(phonePath)); };
    writeImage(local(SimSample::Modern::PicturePath), 640, 480, QColor(70, 130, 90), QColor(230, 230, 240),
               "JPG");
    writeBytes(local(SimSample::Modern::VoicePath), mediaBytes(QByteArrayLiteral("\0\0\0\x1c"
                                                                                 "ftypM4A \0\0\0\0M4A isom"),
                                                               9400));

    const QString databases = device.fileFor(QLatin1String(SimDevice::ViberDatabases));
    QDir().mkpath(databases);
    const QString size =
        QStringLiteral("UPDATE messages SET msg_info = json_set(msg_info, '$.fileInfo.FileSize', %1) "
                       "WHERE _id = %2;")
            .arg(QFileInfo(local(SimSample::Modern::PicturePath)).size())
            .arg(SimSample::Modern::PictureMessageId);
    buildDatabase(databases + QStringLiteral("/viber_messages"),
                  resourceText(QStringLiteral("modern_viber_messages_schema.sql")) +
                      resourceText(QStringLiteral("modern_viber_messages_rows.sql")) + size,
                  resourceText(QStringLiteral("modern_viber_messages_late.sql")), true, options.walPending);
    buildDatabase(databases + QStringLiteral("/viber_data"),
                  resourceText(QStringLiteral("modern_viber_data_schema.sql")) +
                      resourceText(QStringLiteral("modern_viber_data_rows.sql")),
                  resourceText(QStringLiteral("modern_viber_data_late.sql")), true, options.walPending);
}

} // namespace

namespace SimSample {

QString description(const QString& serial, int sdkLevel, bool rooted)
{
    return QStringLiteral("version=4;model=Pixel 3a;manufacturer=Google;imei=358240051111110;uid=%1;sdk=%2;"
                          "sdk_id=%3;root=%4;storage1=/storage/emulated/0")
        .arg(serial, sdkLevel >= 33   ? QStringLiteral("13")
                     : sdkLevel >= 31 ? QStringLiteral("12")
                                      : QStringLiteral("9"))
        .arg(sdkLevel)
        .arg(rooted ? 1 : 0);
}

QString locationThumbnailPath()
{
    return QLatin1String(Storage) + QStringLiteral("/viber/media/.thumbnails/") +
           ViberText::shortDigest(QString::fromLatin1(LocationMapUrl));
}

void populate(SimDevice& device, const Options& options)
{
    QStringList packages = {QStringLiteral("com.android.settings"), QStringLiteral("com.viber.voip")};
    if (options.agentInstalled) {
        packages.append(QStringLiteral("com.kestrune.relaypod"));
        device.installNativeAgent();
    }
    device.setValue(QStringLiteral("state"), QStringLiteral("device"));
    device.setValue(QStringLiteral("packages"), packages);
    device.setValue(QStringLiteral("root"), options.rooted);
    device.setValue(QStringLiteral("description"),
                    description(device.serial(), options.sdkLevel, options.rooted));

    QDir().mkpath(device.fileFor(QLatin1String(Storage) + QStringLiteral("/viber/su")));
    if (options.modern) {
        populateModern(device, options);
        device.setViberRunning(true);
        return;
    }

    auto local = [&](const char* phonePath) { return device.fileFor(QString::fromLatin1(phonePath)); };
    writeImage(local(PicturePath), 640, 480, QColor(40, 110, 170), QColor(240, 190, 60), "JPG");
    writeBytes(local(VideoPath), mediaBytes(QByteArrayLiteral("\0\0\0\x18"
                                                              "ftypmp42\0\0\0\0mp42isom"),
                                            48000));
    writeImage(local(VideoThumbnailPath), 320, 240, QColor(30, 30, 30), QColor(200, 60, 60), "JPG");
    writeBytes(local(VoicePath), mediaBytes(QByteArrayLiteral("#!AMR\n"), 6800));
    writeImage(device.fileFor(locationThumbnailPath()), 600, 389, QColor(225, 225, 210), QColor(90, 160, 90),
               "JPG");
    writeImage(local(AvatarPath), 120, 120, QColor(250, 210, 190), QColor(120, 70, 40), "JPG");
    writeImage(local(StickerPath), 180, 180, QColor(255, 255, 255), QColor(150, 80, 200), "PNG");

    const QString databases = device.fileFor(QLatin1String(SimDevice::ViberDatabases));
    QDir().mkpath(databases);
    // the app keeps a picture's or video's byte size in extra_duration
    const QString sizes = QStringLiteral("UPDATE messages SET extra_duration = %1 WHERE _id = 3;"
                                         "UPDATE messages SET extra_duration = %2 WHERE _id = 8;")
                              .arg(QFileInfo(local(PicturePath)).size())
                              .arg(QFileInfo(local(VideoPath)).size());
    buildDatabase(databases + QStringLiteral("/viber_messages"),
                  resourceText(QStringLiteral("viber_messages.sql")) + sizes,
                  resourceText(QStringLiteral("viber_messages_late.sql")), options.walPending,
                  options.walPending);
    buildDatabase(databases + QStringLiteral("/viber_data"), resourceText(QStringLiteral("viber_data.sql")),
                  resourceText(QStringLiteral("viber_data_late.sql")), options.walPending,
                  options.walPending);
    device.setViberRunning(true);
}

} // namespace SimSample
