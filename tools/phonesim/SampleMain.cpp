// Creates a phone state folder for the simulator with one sample phone (see SimSample.h);
// by default the agent app is not installed yet, so the program installs it.

#include "tools/phonesim/SimDevice.h"
#include "tools/phonesim/SimSample.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

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
    const QCommandLineOption sdkOption(QStringLiteral("sdk"),
                                       QStringLiteral("Android API level (default 28, with --modern 33)."),
                                       QStringLiteral("level"));
    const QCommandLineOption noRootOption(QStringLiteral("no-root"), QStringLiteral("Refuse root rights."));
    const QCommandLineOption agentOption(QStringLiteral("with-agent"),
                                         QStringLiteral("Install the agent app already."));
    const QCommandLineOption walOption(
        QStringLiteral("wal"),
        QStringLiteral("Keep the databases in WAL mode with their newest rows in the -wal."));
    const QCommandLineOption modernOption(
        QStringLiteral("modern"),
        QStringLiteral("Today's Viber (messages keyed by msg_date and order_key)."));
    parser.addOptions({serialOption, sdkOption, noRootOption, agentOption, walOption, modernOption});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);

    int sdkLevel = parser.isSet(modernOption) ? SimSample::Modern::SdkLevel : 28;
    if (parser.isSet(sdkOption)) {
        bool ok = false;
        sdkLevel = parser.value(sdkOption).toInt(&ok);
        if (!ok || sdkLevel < 1 || sdkLevel > 99) {
            fprintf(stderr, "phonesim-sample: --sdk needs an API level\n");
            return 1;
        }
    }

    const QString stateDir = QDir(parser.positionalArguments().first()).absolutePath();
    try {
        SimDevice device = SimDevice::create(stateDir, parser.value(serialOption));
        SimSample::Options options;
        options.modern = parser.isSet(modernOption);
        options.sdkLevel = sdkLevel;
        options.rooted = !parser.isSet(noRootOption);
        options.agentInstalled = parser.isSet(agentOption);
        options.walPending = parser.isSet(walOption);
        SimSample::populate(device, options);
    } catch (const std::exception& e) {
        fprintf(stderr, "phonesim-sample: %s\n", e.what());
        return 1;
    }
    printf("%s\n", qUtf8Printable(stateDir));
    return 0;
}
