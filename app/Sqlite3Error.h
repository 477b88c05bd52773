#pragma once

#include <stdexcept>
#include <string>

// Raised by the throwing operations of the SQLite access classes; the message is
// SQLite's own error text (UTF-8).
class Sqlite3Error : public std::runtime_error
{
public:
    explicit Sqlite3Error(const std::string& message, int code = 1)
        : std::runtime_error(message), m_code(code)
    {}
    int code() const { return m_code; }

private:
    int m_code;
};
