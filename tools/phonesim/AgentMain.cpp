// The agent app of the phone simulator. The simulated "adb shell am broadcast" starts it
// for one session URL; tests and demos start it with --wifi to play a phone on the
// network.

#include "tools/phonesim/AgentServer.h"
#include "tools/phonesim/SimDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Agent stand-in of the phone simulator"));
    parser.addHelpOption();
    const QCommandLineOption stateOption(QStringLiteral("state"), QStringLiteral("Phone state folder."),
                                         QStringLiteral("dir"));
    const QCommandLineOption serialOption(QStringLiteral("serial"), QStringLiteral("Device serial."),
                                          QStringLiteral("serial"));
    const QCommandLineOption urlOption(QStringLiteral("url"), QStringLiteral("Session URL to serve."),
                                       QStringLiteral("url"));
    const QCommandLineOption wifiOption(QStringLiteral("wifi"),
                                        QStringLiteral("Serve the WiFi control port."));
    const QCommandLineOption controlOption(
        QStringLiteral("control-port"),
        QStringLiteral("WiFi control port (default: the phone's wifiPort setting, else 49001)."),
        QStringLiteral("port"));
    parser.addOptions({stateOption, serialOption, urlOption, wifiOption, controlOption});
    parser.process(app);

    QString stateDir = parser.value(stateOption);
    if (stateDir.isEmpty())
        stateDir = SimDevice::stateDirFromEnvironment();
    const SimDevice device(stateDir, parser.value(serialOption));
    if (stateDir.isEmpty() || !device.exists()) {
        fprintf(stderr, "phonesim-agent: no such device in the state folder\n");
        return 2;
    }
    AgentServer server(device);
    if (parser.isSet(wifiOption))
        return server.runWifiControl(parser.isSet(controlOption) ? parser.value(controlOption).toInt()
                                                                 : device.wifiPort());
    if (!parser.isSet(urlOption)) {
        fprintf(stderr, "phonesim-agent: give --url or --wifi\n");
        return 2;
    }
    return server.runSession(parser.value(urlOption));
}
