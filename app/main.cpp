#include "app/AppDirs.h"
#include "app/HugePageHeap.h"
#include "app/KeyTranslator.h"
#include "app/MessageLog.h"
#include "app/Sqlite3DB.h"
#include "app/TerminationSignal.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

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

} // namespace

int main(int argc, char* argv[])
{
    HugePageHeap::restartWithHugePages(argv);
    allowWebEngineAsRoot();
    // The bubble view's web engine shares OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velliport"));
    QApplication::setApplicationVersion(QStringLiteral(VELLIPORT_VERSION));

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
