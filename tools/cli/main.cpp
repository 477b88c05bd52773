#include "app/AppDirs.h"
#include "app/HugePageHeap.h"
#include "app/KeyTranslator.h"
#include "app/MessageLog.h"
#include "app/TerminationSignal.h"
#include "tools/cli/VelliportCli.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (VelliportCli::readsHistories(arguments))
        HugePageHeap::restartWithHugePages(argv);
    // PDF pages are painted, which needs a GUI application but never a display: the
    // program runs on servers and over ssh.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Velliport"));
    QGuiApplication::setApplicationVersion(QStringLiteral(VELLIPORT_VERSION));

    KeyTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QGuiApplication::installTranslator(&translator);
    // The workers' warnings go to the log as the program's do; the console shows the
    // outcome and the errors.
    MessageLog::setEchoDebug(false);
    MessageLog::install(QDir(AppDirs::dataFolder()).absoluteFilePath(QStringLiteral("qlogs")), 10);

    QTextStream out(stdout);
    QTextStream errors(stderr);
    QTextStream in(stdin);
#ifdef Q_OS_UNIX
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
#else
    const bool terminal = false;
#endif
    VelliportCli cli(out, errors, in, terminal);
    TerminationSignal::closeOnTermination(&cli);
    const int code = cli.run(app.arguments().mid(1));
    out.flush();
    errors.flush();
    return code;
}
