// Writes a sample local database (chats, a group, pictures, a voice note, a video,
// stickers, emoticons, calls and contact photos) into a local_databases folder, for
// demos and screenshots.
//
//   demodata LOCAL_DATABASES_FOLDER [--name NAME]

#include "ops/BackupViberMsgThread.h"
#include "tools/demodata/DemoHistory.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Pictures and fonts need a GUI application, but never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a sample local database for demos"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("The local_databases folder to write the database into."));
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("Name of the local database."),
                                        QStringLiteral("name"), QStringLiteral("Demo"));
    parser.addOption(nameOption);
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);
    const QString name = parser.value(nameOption);
    if (!BackupViberMsgThread::isValidName(name) || name.trimmed() != name) {
        std::fprintf(stderr, "demodata: \"%s\" cannot name a local database\n", qUtf8Printable(name));
        return 2;
    }

    const QString target = QDir(parser.positionalArguments().first()).absoluteFilePath(name);
    try {
        const QTemporaryDir media;
        if (!media.isValid())
            throw std::runtime_error("cannot create a temporary folder for the media");
        DemoHistory(media.path()).writeLocalDatabase(target);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "demodata: %s\n", e.what());
        return 1;
    }
    std::printf("%s\n", qUtf8Printable(QDir::toNativeSeparators(target)));
    return 0;
}
