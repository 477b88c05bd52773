#include "app/AppDirs.h"
#include "app/HugePageHeap.h"
#include "app/KeyTranslator.h"
#include "app/MessageLog.h"
#include "app/Sqlite3DB.h"
#include "app/TerminationSignal.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// The bubble view's web engine refuses to start as root with its sandbox on, which would
// end the program at its first window; as root (a live system, a container) it runs
// without the sandbox, as Chromium's own --no-sandbox would.
void allowWebEngineAsRoot()
{
#ifdef Q_OS_UNIX
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
}

// "--help" and "--version" answer on the terminal and end, without a display, a window or
// the data folder: the manual page is made from this help at build time. Returns the exit
// code, or -1 when neither was asked for.
int answerOnTerminal(int argc, char* argv[])
{
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        asked =
            asked || argument == "--help" || argument == "-h" || argument == "--version" || argument == "-v";
    }
    if (!asked)
        return -1;
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads, backs up, exports and transfers Viber message histories."));
    // Options of its own rather than Qt's, which would offer a --help-all of Qt's options.
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version."));
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")});
    parser.addOption(version);
    parser.addOptions(MainWindow::commandLineOptions());
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "velliport: %s\n", qUtf8Printable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(version)) {
        std::printf("velliport %s\n", VELLIPORT_VERSION);
        return 0;
    }
    // The parser names the program by the path it was started by.
    QString text = parser.helpText();
    const qsizetype options = text.indexOf(QLatin1String(" [options]"));
    if (text.startsWith(QLatin1String("Usage: ")) && options > 0)
        text.replace(7, options - 7, QStringLiteral("velliport"));
    std::fputs(qUtf8Printable(text), stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (const int code = answerOnTerminal(argc, argv); code >= 0)
        return code;
    HugePageHeap::restartWithHugePages(argv);
    allowWebEngineAsRoot();
    // The bubble view's web engine shares OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velliport"));
    QApplication::setApplicationVersion(QStringLiteral(VELLIPORT_VERSION));
    // Desktops match the window to its menu entry and icon by the installed .desktop file.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velliport.Velliport"));

    KeyTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QApplication::installTranslator(&translator);

    if (sqlite_qt_version() != 6) {
        QMessageBox::critical(nullptr, QStringLiteral("Velliport"), QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }

    const QString dataFolder = AppDirs::dataFolder();
    MessageLog::install(QDir(dataFolder).absoluteFilePath(QStringLiteral("qlogs")), 10);
    MainWindow window(MainWindow::optionsFromArguments(QApplication::arguments()));
    window.show();
    TerminationSignal::closeOnTermination(&window);
    qDebug("Velliport %s started, data folder %s", VELLIPORT_VERSION,
           qUtf8Printable(QDir::toNativeSeparators(dataFolder)));
    const int code = QApplication::exec();
    qDebug("Velliport ended with code %d", code);
    return code;
}
