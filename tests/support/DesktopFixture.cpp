#include "tests/support/DesktopFixture.h"

#include "app/Sqlite3DB.h"
#include "tests/support/SqlScriptFile.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

DesktopFixture::DesktopFixture(Shape shape)
{
    if (!m_dir.isValid() || !QDir().mkpath(QFileInfo(dbPath()).absolutePath()))
        throw std::runtime_error("cannot make the fixture folder");
    Sqlite3DB db;
    db.openThrow(dbPath(), Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
    const QString folder =
        shape == Shape::ContactKeyed ? QStringLiteral("desktop-contact/") : QStringLiteral("desktop/");
    SqlScriptFile::run(db, folder + QStringLiteral("viber_db_schema.sql"));
    SqlScriptFile::run(db, folder + QStringLiteral("viber_db_rows.sql"));
    if (shape == Shape::WithDuration)
        SqlScriptFile::run(db, QStringLiteral("desktop/add_duration_column.sql"));
    else if (shape == Shape::WithoutDurations)
        SqlScriptFile::run(db, QStringLiteral("desktop/drop_ptt_duration_column.sql"));
}

QString DesktopFixture::dbPath() const
{
    return m_dir.filePath(QStringLiteral("ViberPC/491701111111/viber.db"));
}
