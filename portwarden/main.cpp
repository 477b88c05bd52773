#include "portwarden/Portwarden.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // "--proc-root DIR" reads the sockets and processes of a folder laid out like /proc, so
    // that a test can name the processes to end without touching the machine's own; other
    // arguments are ignored, as they always were.
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype option = arguments.indexOf(QStringLiteral("--proc-root"));
    const QString procRoot =
        option > 0 && option + 1 < arguments.size() ? arguments[option + 1] : QStringLiteral("/proc");
    return Portwarden::run(Portwarden::systemCommands(procRoot));
}
