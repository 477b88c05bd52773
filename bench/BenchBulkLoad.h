#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The floor for a writer of a new SQLite database: the rows it wrote, read back from its
// finished file, written again into a new file of the same schema the bulk-loading way
// (tables made, rows inserted by one prepared statement per table, indexes made after
// the rows, all in one transaction).
namespace BenchBulkLoad {

struct Table
{
    QByteArray name;
    QByteArray insertSql;
    qint64 rows = 0;
    // Each row's values one after another: a type byte, then the integer or real as
    // eight bytes, or the length as four bytes and the text or blob.
    QByteArray values;
};

struct Snapshot
{
    QList<QByteArray> tableSql; // tables in the order the file made them
    QList<QByteArray> laterSql; // indexes, triggers and views, made after the rows
    QList<Table> tables;
    qint64 rows = 0;
};

// Every row of every table of the file at path, each table in its rowid order. When
// messagesPath names the database beside a full-text index file whose text tables keep
// no content (docs maps each document's key to its message), each text table gets the
// texts of the documents it holds. Throws std::runtime_error when SQLite fails.
Snapshot read(const QString& path, const QString& messagesPath = QString());
// Writes snapshot into a new file at path (which must not exist) and returns the
// nanoseconds from opening it to closing it. Throws std::runtime_error when SQLite fails.
qint64 write(const Snapshot& snapshot, const QString& path);

} // namespace BenchBulkLoad
