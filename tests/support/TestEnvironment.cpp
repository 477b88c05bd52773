#include "tests/support/TestEnvironment.h"

#include "app/KeyTranslator.h"

#include <QCoreApplication>
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

void installTranslation()
{
    static KeyTranslator* translator = [] {
        auto* t = new KeyTranslator(QCoreApplication::instance());
        if (!t->load(QStringLiteral(":/en.qm")))
            qFatal("the English texts :/en.qm are missing");
        QCoreApplication::installTranslator(t);
        return t;
    }();
    Q_UNUSED(translator);
}

} // namespace TestEnvironment
