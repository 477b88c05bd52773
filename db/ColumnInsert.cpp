#include "db/ColumnInsert.h"

#include "app/SchemaCatalogue.h"

ColumnInsert::ColumnInsert(const char* table) : m_table(table) {}

void ColumnInsert::reset(const SchemaCatalogue* catalogue)
{
    m_catalogue = catalogue;
    m_present.clear();
    m_texts.clear();
    begin();
}

bool ColumnInsert::has(const char* column)
{
    const auto it = m_present.constFind(column);
    if (it != m_present.constEnd())
        return it.value();
    const bool present = m_catalogue && m_catalogue->hasColumn(QLatin1String(m_table), QLatin1String(column));
    m_present.insert(column, present);
    return present;
}

void ColumnInsert::begin()
{
    m_columns.clear();
    m_values.clear();
}

void ColumnInsert::set(const char* column, const QVariant& value)
{
    m_columns.append(column);
    m_values.append(value);
}

void ColumnInsert::setIfPresent(const char* column, const QVariant& value)
{
    if (has(column))
        set(column, value);
}

Sqlite3Sql ColumnInsert::sql()
{
    // Looked up in place; copied only when a new set of columns is kept.
    const QByteArray key = QByteArray::fromRawData(reinterpret_cast<const char*>(m_columns.constData()),
                                                   m_columns.size() * qsizetype(sizeof(const char*)));
    auto it = m_texts.find(key);
    if (it == m_texts.end() && m_columns.isEmpty()) {
        it = m_texts.insert(QByteArray(key.constData(), key.size()),
                            QStringLiteral("insert into %1 default values").arg(QLatin1String(m_table)));
    } else if (it == m_texts.end()) {
        QString names;
        QString markers;
        for (const char* column : std::as_const(m_columns)) {
            if (!names.isEmpty()) {
                names += QLatin1String(", ");
                markers += QLatin1String(", ");
            }
            names += QLatin1String(column);
            markers += QLatin1Char('?');
        }
        it = m_texts.insert(
            QByteArray(key.constData(), key.size()),
            QStringLiteral("insert into %1 (%2) values (%3)").arg(QLatin1String(m_table), names, markers));
    }
    // The values are shared, not copied: by the next row the statement has run and
    // let them go, and they are cleared in place.
    return Sqlite3Sql(it.value(), m_values);
}
