#include "tools/phonesim/SimSample.h"

#include "app/Sqlite3DB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <stdexcept>

namespace {

void buildDatabase(const QString& sqlResource, const QString& path)
{
    QFile sql(sqlResource);
    if (!sql.open(QIODevice::ReadOnly))
        throw std::runtime_error("sample SQL missing");
    QFile::remove(path);
    Sqlite3DB db;
    db.openThrow(path, 6);
    db.executeScriptThrow(QString::fromUtf8(sql.readAll()));
}

void writePicture(const QString& path)
{
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor(40, 110, 170));
    QPainter painter(&image);
    painter.fillRect(120, 90, 400, 300, QColor(240, 190, 60));
    painter.end();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "JPG") && !image.save(path, "PNG"))
        throw std::runtime_error("cannot write the sample picture");
}

} // namespace

namespace SimSample {

QString description(const QString& serial, int sdkLevel, bool rooted)
{
    return QStringLiteral("version=4;model=Pixel 3a;manufacturer=Google;imei=358240051111110;uid=%1;sdk=%2;"
                          "sdk_id=%3;root=%4;storage1=/storage/emulated/0")
        .arg(serial, sdkLevel >= 31 ? QStringLiteral("12") : QStringLiteral("9"))
        .arg(sdkLevel)
        .arg(rooted ? 1 : 0);
}

void populate(SimDevice& device, int sdkLevel, bool rooted, bool agentInstalled)
{
    QStringList packages = {QStringLiteral("com.android.settings"), QStringLiteral("com.viber.voip")};
    if (agentInstalled)
        packages.append(QStringLiteral("com.kestrune.relaypod"));
    device.setValue(QStringLiteral("state"), QStringLiteral("device"));
    device.setValue(QStringLiteral("packages"), packages);
    device.setValue(QStringLiteral("root"), rooted);
    device.setValue(QStringLiteral("description"), description(device.serial(), sdkLevel, rooted));

    const QString databases = device.fileFor(QStringLiteral("/data/data/com.viber.voip/databases"));
    QDir().mkpath(databases);
    buildDatabase(QStringLiteral(":/phonesim/viber_messages.sql"),
                  databases + QStringLiteral("/viber_messages"));
    buildDatabase(QStringLiteral(":/phonesim/viber_data.sql"), databases + QStringLiteral("/viber_data"));
    QDir().mkpath(device.fileFor(QStringLiteral("/storage/emulated/0/viber/su")));
    writePicture(device.fileFor(QString::fromLatin1(PicturePath)));
}

} // namespace SimSample
