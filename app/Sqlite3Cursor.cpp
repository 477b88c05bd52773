#include "app/Sqlite3Cursor.h"

#include "app/Sqlite3Stmt.h"

#include <sqlite3.h>

Sqlite3Cursor::Sqlite3Cursor(std::shared_ptr<Sqlite3Stmt> stmt) : m_stmt(std::move(stmt)) {}

Sqlite3Cursor::~Sqlite3Cursor()
{
    release();
}

Sqlite3Cursor::Sqlite3Cursor(Sqlite3Cursor&& other) noexcept
    : m_stmt(std::move(other.m_stmt)), m_onRow(other.m_onRow)
{
    other.m_onRow = false;
}

Sqlite3Cursor& Sqlite3Cursor::operator=(Sqlite3Cursor&& other) noexcept
{
    if (this != &other) {
        release();
        m_stmt = std::move(other.m_stmt);
        m_onRow = other.m_onRow;
        other.m_onRow = false;
    }
    return *this;
}

void Sqlite3Cursor::release()
{
    if (m_stmt) {
        m_stmt->reset();
        m_stmt->inUse = false;
        m_stmt.reset();
    }
    m_onRow = false;
}

bool Sqlite3Cursor::moveNext()
{
    if (!m_stmt)
        return false;
    m_onRow = m_stmt->step();
    return m_onRow;
}

int Sqlite3Cursor::colIndex(const QString& name) const
{
    return m_stmt ? m_stmt->columnIndex(name) : -1;
}

int Sqlite3Cursor::columnCount() const
{
    return m_stmt ? m_stmt->columnCount() : 0;
}

QString Sqlite3Cursor::columnName(int index) const
{
    return m_stmt ? m_stmt->columnName(index) : QString();
}

bool Sqlite3Cursor::isNull(int index) const
{
    return !m_onRow || m_stmt->isNull(index);
}

int Sqlite3Cursor::getInt(int index) const
{
    return m_onRow ? m_stmt->getInt(index) : 0;
}

qint64 Sqlite3Cursor::getInt64(int index) const
{
    return m_onRow ? m_stmt->getInt64(index) : 0;
}

double Sqlite3Cursor::getDouble(int index) const
{
    return m_onRow ? m_stmt->getDouble(index) : 0.0;
}

QString Sqlite3Cursor::getText(int index) const
{
    return m_onRow ? m_stmt->getText(index) : QString();
}

QByteArrayView Sqlite3Cursor::getUtf8(int index) const
{
    return m_onRow ? m_stmt->getUtf8(index) : QByteArrayView();
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    return m_onRow ? m_stmt->getBlob(index) : QByteArray();
}

QVariant Sqlite3Cursor::getValue(int index) const
{
    if (!m_onRow || index < 0)
        return {};
    switch (sqlite3_column_type(m_stmt->handle(), index)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(m_stmt->getInt64(index)));
    case SQLITE_FLOAT:
        return QVariant(m_stmt->getDouble(index));
    case SQLITE_TEXT:
        return QVariant(m_stmt->getText(index));
    case SQLITE_BLOB:
        return QVariant(m_stmt->getBlob(index));
    default:
        return {};
    }
}

Sqlite3Row Sqlite3Cursor::getRow() const
{
    Sqlite3Row row;
    const int count = columnCount();
    for (int i = 0; i < count; ++i)
        row.setVal(columnName(i), getValue(i));
    return row;
}
