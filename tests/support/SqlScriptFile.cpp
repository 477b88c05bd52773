#include "tests/support/SqlScriptFile.h"

#include "app/Sqlite3DB.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>

#include <stdexcept>

namespace SqlScriptFile {

void run(Sqlite3DB& db, const QString& relativePath)
{
    QFile file(TestEnvironment::dataDir() + QLatin1Char('/') + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read fixture " + file.fileName().toStdString());
    db.executeScriptThrow(QString::fromUtf8(file.readAll()));
}

} // namespace SqlScriptFile
