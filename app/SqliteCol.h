#pragma once

#include <QString>

// One column of a table as PRAGMA table_info describes it.
struct _SqliteCol
{
    QString name;
    QString type; // the declared type, as written in CREATE TABLE
    bool notNull = false;
    bool primaryKey = false;
    QString defaultValue; // the default expression's text, empty when none
    int position = -1;
};
