#pragma once

#include "app/Sqlite3Sql.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// A row as column name → value, in column order; used to copy rows between
// databases of different versions.
class Sqlite3Row
{
public:
    QVariant& operator[](const QString& name);
    void setVal(const QString& name, const QVariant& value);
    QVariant val(const QString& name) const; // invalid when the row has no such column
    bool contains(const QString& name) const { return indexOf(name) >= 0; }
    void remove(const QString& name);
    QStringList names() const;
    int size() const { return int(m_values.size()); }

    // "insert into TABLE (a, b) values (?, ?)" over every column but the excluded
    // ones (compared case-insensitively), each value bound as a parameter.
    Sqlite3Sql insertSql(const QString& table, const QStringList& excludedColumns = {}) const;

private:
    int indexOf(const QString& name) const;

    QList<QPair<QString, QVariant>> m_values;
};
