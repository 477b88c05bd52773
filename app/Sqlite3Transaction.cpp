#include "app/Sqlite3Transaction.h"

#include "app/Sqlite3DB.h"

#include <exception>

Sqlite3Transaction::Sqlite3Transaction(Sqlite3DB& db) : m_db(db)
{
    m_db.beginTran();
}

Sqlite3Transaction::~Sqlite3Transaction()
{
    if (m_committed)
        return;
    try {
        m_db.rollbackTran();
    } catch (const std::exception&) {
        // SQLite rolls back by itself when the connection closes.
    }
}

void Sqlite3Transaction::commit()
{
    m_db.commitTran();
    m_committed = true;
}
