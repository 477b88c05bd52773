#include "app/AppDirs.h"
#include "app/KeyTranslator.h"
#include "app/MessageLog.h"
#include "app/Sqlite3DB.h"
#include "app/TerminationSignal.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

int main(int argc, char* argv[])
{
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
    qDebug("Velliport %s started, data folder %s", VELLIPORT_VERSION,
           qUtf8Printable(QDir::toNativeSeparators(dataFolder)));

    MainWindow window;
    window.show();
    TerminationSignal::closeOnTermination(&window);
    const int code = QApplication::exec();
    qDebug("Velliport ended with code %d", code);
    return code;
}
