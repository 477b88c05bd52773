#include "tests/support/TestEnvironment.h"

#include "app/KeyTranslator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString pythonQuery(const QString& database, const QString& sql)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sqlite3,sys\nc=sqlite3.connect(sys.argv[1])\n"
                                 "print(c.execute(sys.argv[2]).fetchone()[0])"),
                  database, sql});
    if (!python.waitForFinished(30000))
        return QStringLiteral("python did not finish");
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed() +
           QString::fromUtf8(python.readAllStandardError()).trimmed();
}

QString pythonDump(const QString& database)
{
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                             QStringLiteral("import sqlite3, sys\n"
                                                            "db = sqlite3.connect(sys.argv[1])\n"
                                                            "c = lambda a, b: (a > b) - (a < b)\n"
                                                            "db.create_collation('LOCALIZED', c)\n"
                                                            "db.create_collation('UNICODE', c)\n"
                                                            "for line in db.iterdump(): print(line)\n"),
                                             database});
    if (!python.waitForFinished(60000))
        return QStringLiteral("python did not finish");
    return QString::fromUtf8(python.readAllStandardOutput()) +
           QString::fromUtf8(python.readAllStandardError());
}

bool pythonExecute(const QString& database, const QString& script)
{
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sqlite3,sys\nc=sqlite3.connect(sys.argv[1])\nc.executescript(sys.argv[2])\n"
                        "c.commit()"),
         database, script});
    return python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit &&
           python.exitCode() == 0;
}

} // namespace TestEnvironment
