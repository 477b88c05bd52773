#include "app/SqliteFileSet.h"

#include "app/Failure.h"
#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace SqliteFileSet {

namespace {

// Copies under a temporary name beside the target, then renames, so a failed copy never
// leaves a half file under the target's name.
void copyFile(const QString& source, const QString& target)
{
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    if (!QFile::copy(source, partial))
        fail(QStringLiteral("copy %1 to %2 failed.").arg(source, target));
    QFile::remove(target);
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        fail(QStringLiteral("copy %1 to %2 failed.").arg(source, target));
    }
}

} // namespace

QStringList companionSuffixes()
{
    return {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")};
}

QStringList existingCompanions(const QString& mainPath)
{
    QStringList found;
    for (const QString& suffix : companionSuffixes()) {
        if (QFileInfo::exists(mainPath + suffix))
            found.append(mainPath + suffix);
    }
    return found;
}

void checkpoint(const QString& mainPath)
{
    if (!QFileInfo(mainPath).isFile())
        fail(QStringLiteral("%1 is not a database file.").arg(mainPath));
    {
        Sqlite3DB db;
        db.openThrow(mainPath, SQLITE_OPEN_READWRITE);
        // Reading the schema rolls a hot journal back; the checkpoint then moves every
        // logged page into the main file and truncates the log.
        Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
        if (cursor.moveNext() && cursor.getInt64(0) != 0)
            fail(QStringLiteral("%1 is in use; its log cannot be folded in.").arg(mainPath));
        cursor = Sqlite3Cursor();
        db.close();
    }
    // Closing the last connection removes an emptied log; what is left beside the main
    // file now (an index file) holds nothing the main file lacks.
    if (!removeCompanions(mainPath))
        fail(QStringLiteral("cannot remove the companions of %1.").arg(mainPath));
}

void copySet(const QString& sourceMain, const QString& targetMain)
{
    copyFile(sourceMain, targetMain);
    for (const QString& suffix : companionSuffixes()) {
        if (QFileInfo::exists(sourceMain + suffix))
            copyFile(sourceMain + suffix, targetMain + suffix);
        else if (QFileInfo::exists(targetMain + suffix) && !QFile::remove(targetMain + suffix))
            fail(QStringLiteral("cannot remove %1.").arg(targetMain + suffix));
    }
}

namespace {

// Puts sourceMain (checkpointed first) in targetMain's place, moved or copied. The
// companions beside targetMain go before the new main file appears, so none of them is
// ever applied to it. A move that cannot finish puts sourceMain back; where even that
// fails, the file stays under its temporary name, which the error names.
void putInPlace(const QString& sourceMain, const QString& targetMain, bool move)
{
    checkpoint(sourceMain);
    const QString partial = targetMain + QStringLiteral(".partial");
    QFile::remove(partial);
    // A rename across file systems is a copy and a removal.
    if (!(move ? QFile::rename(sourceMain, partial) : QFile::copy(sourceMain, partial)))
        fail(QStringLiteral("copy %1 to %2 failed.").arg(sourceMain, targetMain));
    const auto failAndUndo = [&](const QString& error) {
        if (!move)
            QFile::remove(partial);
        else if (!QFile::rename(partial, sourceMain))
            fail(error + QStringLiteral(" The database is kept as %1.").arg(partial));
        fail(error);
    };
    if (!removeCompanions(targetMain))
        failAndUndo(QStringLiteral("cannot remove the companions of %1.").arg(targetMain));
    QFile::remove(targetMain);
    if (!QFile::rename(partial, targetMain))
        failAndUndo(QStringLiteral("replacing %1 failed.").arg(targetMain));
}

} // namespace

void replaceSet(const QString& sourceMain, const QString& targetMain)
{
    putInPlace(sourceMain, targetMain, false);
}

void moveSet(const QString& sourceMain, const QString& targetMain)
{
    putInPlace(sourceMain, targetMain, true);
}

bool removeCompanions(const QString& mainPath)
{
    bool removed = true;
    for (const QString& companion : existingCompanions(mainPath))
        removed = QFile::remove(companion) && removed;
    return removed;
}

} // namespace SqliteFileSet
