#pragma once

#include <QString>

class Sqlite3DB;

namespace SqlScriptFile {

// Runs every statement of a fixture SQL file (a path below tests/data) on an open
// database; throws std::runtime_error when the file cannot be read.
void run(Sqlite3DB& db, const QString& relativePath);

} // namespace SqlScriptFile
