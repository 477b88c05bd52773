#include "app/Sqlite3Sql.h"

Sqlite3Sql& Sqlite3Sql::addIntParam(int value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addInt64Param(qint64 value)
{
    m_params.append(QVariant(static_cast<qlonglong>(value)));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addDoubleParam(double value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addTextParam(const QString& value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addBlobParam(const QByteArray& value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addNullParam()
{
    m_params.append(QVariant());
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addParam(const QVariant& value)
{
    m_params.append(value);
    return *this;
}

QString Sqlite3Sql::quotedName(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}
