#pragma once

class Sqlite3DB;

// One transaction, rolled back unless committed: a statement failure or a cancel thrown
// by a callback leaves the file as it was.
class Sqlite3Transaction
{
public:
    explicit Sqlite3Transaction(Sqlite3DB& db);
    ~Sqlite3Transaction();
    Sqlite3Transaction(const Sqlite3Transaction&) = delete;
    Sqlite3Transaction& operator=(const Sqlite3Transaction&) = delete;

    void commit();

private:
    Sqlite3DB& m_db;
    bool m_committed = false;
};
