#pragma once

#include <QString>

// Paths and checks shared by the tests.
namespace TestEnvironment {

// The folder of checked-in fixtures (tests/data).
QString dataDir();
// The folder the programs of the project are built into.
QString binDir();
// Aborts the test program when the data home is not a scratch folder, so that a test
// run can never touch the user's real data folder.
void requireScratchDataHome();
// Installs the program's English texts, as the program does at start-up.
void installTranslation();

// The whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
// Writes the file, making its folder; false when it could not be written whole.
bool writeFile(const QString& path, const QByteArray& bytes);
// The first column of the first row of a query, asked through Python's sqlite3 rather
// than the program's own database code; Python's error text when it fails.
QString pythonQuery(const QString& database, const QString& sql);
// Every row of every table as Python's sqlite3 dumps them (Android's collations stood in
// for by plain comparison), to tell whether a run changed a database at all.
QString pythonDump(const QString& database);
// Runs statements through Python's sqlite3 and commits them, as another program that
// changes the file would; false when Python reports an error.
bool pythonExecute(const QString& database, const QString& script);

} // namespace TestEnvironment
