#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Parameters bound in order to the "?" markers of a statement. A null QVariant binds
// NULL; other values bind by their type (integers, doubles, text, blobs).
using Sqlite3ParamList = QList<QVariant>;

class Sqlite3Sql
{
public:
    Sqlite3Sql() = default;
    explicit Sqlite3Sql(const QString& text) : m_text(text) {}
    Sqlite3Sql(const QString& text, Sqlite3ParamList params) : m_text(text), m_params(std::move(params)) {}

    Sqlite3Sql& addIntParam(int value);
    Sqlite3Sql& addInt64Param(qint64 value);
    Sqlite3Sql& addDoubleParam(double value);
    Sqlite3Sql& addTextParam(const QString& value);
    Sqlite3Sql& addBlobParam(const QByteArray& value);
    Sqlite3Sql& addNullParam();
    Sqlite3Sql& addParam(const QVariant& value);

    const QString& text() const { return m_text; }

    // A table or column name as statement text: in double quotes, an inner quote
    // doubled, so that a name read from a database file cannot end the name early.
    static QString quotedName(const QString& name);
    const Sqlite3ParamList& params() const { return m_params; }

private:
    QString m_text;
    Sqlite3ParamList m_params;
};
