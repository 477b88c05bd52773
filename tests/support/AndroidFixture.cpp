#include "tests/support/AndroidFixture.h"

#include "app/Sqlite3DB.h"
#include "tests/support/SqlScriptFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// The modern schema is the simulator's (its sample phone is built from the same
// statements), read from its resources; the rest are files below tests/data.
constexpr auto SimulatorSql = ":/phonesim/";

void buildFile(const QString& path, const QStringList& scripts)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
    // The app's schema names Android's own collations.
    db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
    db.registerFallbackCollation(QStringLiteral("UNICODE"));
    for (const QString& script : scripts) {
        if (!script.startsWith(QLatin1String(SimulatorSql))) {
            SqlScriptFile::run(db, script);
            continue;
        }
        QFile file(script);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("missing simulator SQL " + script.toStdString());
        db.executeScriptThrow(QString::fromUtf8(file.readAll()));
    }
}

} // namespace

AndroidFixture::AndroidFixture(Shape shape)
{
    if (!m_dir.isValid() || !QDir().mkpath(QFileInfo(messagesPath()).absolutePath()))
        throw std::runtime_error("cannot make the fixture folder");
    const bool modern = shape == Shape::Modern;
    const QString folder = modern ? QStringLiteral("android-modern/") : QStringLiteral("android/");
    const QString schemas = modern ? QLatin1String(SimulatorSql) + QStringLiteral("modern_") : folder;
    QStringList messages = {schemas + QStringLiteral("viber_messages_schema.sql"),
                            folder + QStringLiteral("viber_messages_rows.sql")};
    if (shape == Shape::WithoutThumbnailColumns)
        messages.append(QStringLiteral("android/drop_thumbnail_columns.sql"));
    buildFile(messagesPath(), messages);
    buildFile(dataPath(), {schemas + QStringLiteral("viber_data_schema.sql"),
                           folder + QStringLiteral("viber_data_rows.sql")});
}

QString AndroidFixture::messagesPath() const
{
    return m_dir.filePath(QStringLiteral("ab-extract/apps/com.viber.voip/db/viber_messages"));
}

QString AndroidFixture::dataPath() const
{
    return m_dir.filePath(QStringLiteral("ab-extract/apps/com.viber.voip/db/viber_data"));
}

void AndroidFixture::runOnMessages(const QString& sql) const
{
    Sqlite3DB db;
    db.openThrow(messagesPath(), Sqlite3DB::OpenReadWrite);
    db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
    db.executeScriptThrow(sql);
}
