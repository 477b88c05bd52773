#include "tests/support/IOSMemberFixture.h"

#include "app/Sqlite3DB.h"
#include "tests/support/SqlScriptFile.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

IOSMemberFixture::IOSMemberFixture(Shape shape)
{
    if (!m_dir.isValid() || !QDir().mkpath(QFileInfo(dbPath()).absolutePath()))
        throw std::runtime_error("cannot make the fixture folder");
    build(dbPath(), shape);
}

QString IOSMemberFixture::dbPath() const
{
    return m_dir.filePath(QLatin1String(DatabaseFile));
}

void IOSMemberFixture::build(const QString& path, Shape shape)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
    SqlScriptFile::run(db, QStringLiteral("ios-member/contacts_schema.sql"));
    SqlScriptFile::run(db, QStringLiteral("ios-member/contacts_rows.sql"));
    reshape(db, shape);
}

void IOSMemberFixture::reshape(Sqlite3DB& db, Shape shape)
{
    if (shape == Shape::Of2017)
        SqlScriptFile::run(db, QStringLiteral("ios-member/contacts_2017.sql"));
}
