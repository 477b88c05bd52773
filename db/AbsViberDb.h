#pragma once

#include "app/Sqlite3DB.h"
#include "app/Sqlite3Row.h"
#include "db/ViberDataSet.h"

#include <QList>
#include <QString>

// One Viber message database file. Adapters open (and where they do so, create) the
// file and load all of it into a data set; an adapter is used by one thread at a time.
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
    virtual void loadInto(ViberDataSet& dataSet) = 0;
};
