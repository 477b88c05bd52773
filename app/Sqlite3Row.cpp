#include "app/Sqlite3Row.h"

int Sqlite3Row::indexOf(const QString& name) const
{
    for (int i = 0; i < m_values.size(); ++i) {
        if (m_values.at(i).first.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant& Sqlite3Row::operator[](const QString& name)
{
    int i = indexOf(name);
    if (i < 0) {
        m_values.append({name, QVariant()});
        i = int(m_values.size()) - 1;
    }
    return m_values[i].second;
}

void Sqlite3Row::setVal(const QString& name, const QVariant& value)
{
    (*this)[name] = value;
}

QVariant Sqlite3Row::val(const QString& name) const
{
    const int i = indexOf(name);
    return i < 0 ? QVariant() : m_values.at(i).second;
}

void Sqlite3Row::remove(const QString& name)
{
    const int i = indexOf(name);
    if (i >= 0)
        m_values.removeAt(i);
}

QStringList Sqlite3Row::names() const
{
    QStringList result;
    result.reserve(m_values.size());
    for (const auto& [name, value] : m_values)
        result.append(name);
    return result;
}

Sqlite3Sql Sqlite3Row::insertSql(const QString& table, const QStringList& excludedColumns) const
{
    QStringList columns;
    QStringList markers;
    Sqlite3ParamList params;
    for (const auto& [name, value] : m_values) {
        if (excludedColumns.contains(name, Qt::CaseInsensitive))
            continue;
        columns.append(Sqlite3Sql::quotedName(name));
        markers.append(QStringLiteral("?"));
        params.append(value);
    }
    return Sqlite3Sql(QStringLiteral("insert into %1 (%2) values (%3)")
                          .arg(Sqlite3Sql::quotedName(table), columns.join(QLatin1String(", ")),
                               markers.join(QLatin1String(", "))),
                      params);
}
