// Creates a phone state folder for the simulator with one sample phone: Viber installed
// with a small message history and one picture, the agent not yet installed.

#include "app/Sqlite3DB.h"
#include "tools/phonesim/SimDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <cstdio>

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

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Creates a sample phone state folder for the phone simulator"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("The phone state folder to fill."));
    const QCommandLineOption serialOption(QStringLiteral("serial"), QStringLiteral("Device serial."),
                                          QStringLiteral("serial"), QStringLiteral("SIM0001"));
    const QCommandLineOption sdkOption(QStringLiteral("sdk"), QStringLiteral("Android API level."),
                                       QStringLiteral("level"), QStringLiteral("28"));
    const QCommandLineOption noRootOption(QStringLiteral("no-root"), QStringLiteral("Refuse root rights."));
    const QCommandLineOption agentOption(QStringLiteral("with-agent"),
                                         QStringLiteral("Install the agent app already."));
    parser.addOptions({serialOption, sdkOption, noRootOption, agentOption});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);

    const QString stateDir = QDir(parser.positionalArguments().first()).absolutePath();
    const QString serial = parser.value(serialOption);
    const int sdk = parser.value(sdkOption).toInt();
    try {
        SimDevice device = SimDevice::create(stateDir, serial);
        device.setValue(QStringLiteral("state"), QStringLiteral("device"));
        QStringList packages = {QStringLiteral("com.android.settings"), QStringLiteral("com.viber.voip")};
        if (parser.isSet(agentOption))
            packages.append(QStringLiteral("com.kestrune.relaypod"));
        device.setValue(QStringLiteral("packages"), packages);
        device.setValue(QStringLiteral("root"), !parser.isSet(noRootOption));
        device.setValue(QStringLiteral("description"),
                        QStringLiteral("version=4;model=Pixel 3a;manufacturer=Google;imei=358240051111110;"
                                       "uid=%1;sdk=%2;sdk_id=%3;root=%4;storage1=/storage/emulated/0")
                            .arg(serial, sdk >= 28 ? QStringLiteral("9") : QStringLiteral("4.4"))
                            .arg(sdk)
                            .arg(parser.isSet(noRootOption) ? 0 : 1));

        const QString databases = device.fileFor(QStringLiteral("/data/data/com.viber.voip/databases"));
        QDir().mkpath(databases);
        buildDatabase(QStringLiteral(":/phonesim/viber_messages.sql"),
                      databases + QStringLiteral("/viber_messages"));
        buildDatabase(QStringLiteral(":/phonesim/viber_data.sql"), databases + QStringLiteral("/viber_data"));
        QDir().mkpath(device.fileFor(QStringLiteral("/storage/emulated/0/viber/su")));
        writePicture(device.fileFor(
            QStringLiteral("/storage/emulated/0/viber/media/Viber Images/IMG-20231114-WA0001.jpg")));
    } catch (const std::exception& e) {
        fprintf(stderr, "phonesim-sample: %s\n", e.what());
        return 1;
    }
    printf("%s\n", qUtf8Printable(stateDir));
    return 0;
}
