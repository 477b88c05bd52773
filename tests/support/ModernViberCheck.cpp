#include "tests/support/ModernViberCheck.h"

#include <QDir>
#include <QJsonDocument>
#include <QProcess>

namespace ModernViberCheck {

QJsonObject run(const QString& messagesBefore, const QString& messagesAfter, const QString& dataBefore,
                const QString& dataAfter)
{
    QStringList arguments{QDir(QStringLiteral(VELLIPORT_TEST_DATA_DIR))
                              .filePath(QStringLiteral("../support/modern_viber_check.py")),
                          messagesBefore, messagesAfter};
    if (!dataBefore.isEmpty())
        arguments << dataBefore << dataAfter;
    QProcess python;
    python.start(QStringLiteral("python3"), arguments);
    if (!python.waitForFinished(120000))
        return {{QStringLiteral("error"), QStringLiteral("python did not finish")}};
    const QByteArray output = python.readAllStandardOutput();
    const QJsonDocument doc = QJsonDocument::fromJson(output);
    if (python.exitCode() != 0 || !doc.isObject())
        return {{QStringLiteral("error"), QString::fromUtf8(python.readAllStandardError() + output)}};
    return doc.object();
}

} // namespace ModernViberCheck
