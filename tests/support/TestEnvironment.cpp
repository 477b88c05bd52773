#include "tests/support/TestEnvironment.h"

#include <QStandardPaths>
#include <QtGlobal>

namespace TestEnvironment {

QString dataDir()
{
    return QStringLiteral(VELLIPORT_TEST_DATA_DIR);
}

QString binDir()
{
    return QStringLiteral(VELLIPORT_BIN_DIR);
}

void requireScratchDataHome()
{
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!home.contains(QLatin1String("/home-")))
        qFatal("tests must run with XDG_DATA_HOME set by CTest (got %s)", qPrintable(home));
}

} // namespace TestEnvironment
