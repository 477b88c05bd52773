#pragma once

#include <QString>
#include <QStringList>

// An SQLite database is its main file plus the companions beside it ("-wal", "-shm",
// "-journal"): rows can live in the write-ahead log alone, so the main file copied by
// itself may miss them, and a stale companion beside a replaced main file would be
// applied to the wrong database. These helpers move databases only as consistent sets.
// Failures raise std::runtime_error with a UTF-8 message.
namespace SqliteFileSet {

QStringList companionSuffixes();
// The companions of mainPath that exist.
QStringList existingCompanions(const QString& mainPath);
// Folds the write-ahead log (or a hot rollback journal) into the main file and closes
// the database, so the main file alone holds every row and no companion is left
// beside it. The file must not be open elsewhere.
void checkpoint(const QString& mainPath);
// Copies the main file and each existing companion to target (each file under a
// temporary name first), removing target companions the source does not have.
void copySet(const QString& sourceMain, const QString& targetMain);
// Checkpoints sourceMain and puts a copy of it in targetMain's place; the companions
// beside targetMain are removed before the new main file appears, so none of them is
// ever applied to it.
void replaceSet(const QString& sourceMain, const QString& targetMain);
// The same, moving sourceMain instead of copying it where both lie on one file system;
// sourceMain is gone afterwards.
void moveSet(const QString& sourceMain, const QString& targetMain);
// Removes every companion of mainPath; false when one of them stays.
bool removeCompanions(const QString& mainPath);

} // namespace SqliteFileSet
