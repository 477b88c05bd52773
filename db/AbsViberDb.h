#pragma once

#include "app/Sqlite3DB.h"
#include "app/Sqlite3Row.h"
#include "db/ViberDataSet.h"

#include <QList>
#include <QString>

// One Viber message database file. Adapters open (and where they do so, create) the
// file and load all of it into a data set; an adapter is used by one thread at a time.
class SchemaCatalogue;

class AbsViberDb : public Sqlite3DB
{
public:
    ~AbsViberDb() override;

    // Makes the database usable; returns at once when it is open. Throws on failure.
    virtual void open() = 0;

    // Opens, then reads every chat, person, message, attachment and call into a new
    // data set. On an exception the partial data set is released and the exception
    // passes to the caller.
    ViberDataSetPtr load();

    void execute(const QString& sql);
    QList<Sqlite3Row> readTable(const QString& tableName);

protected:
    // What load() opens with: open(), unless an adapter whose open() also changes the
    // file can read without that change.
    virtual void openForLoad() { open(); }
    virtual void loadInto(ViberDataSet& dataSet) = 0;
    // Opens a file this program only reads (another app's own, live file), waiting up to
    // busyMs while that app writes, and reads its catalogue. On failure the database is
    // closed and the catalogue cleared before the exception passes on.
    void openReadOnly(const QString& path, SchemaCatalogue& catalogue, int busyMs = 0);
};
