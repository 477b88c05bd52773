#include "app/Sqlite3Stmt.h"

#include "app/Sqlite3Error.h"

#include <sqlite3.h>

namespace {

[[noreturn]] void throwError(sqlite3* db)
{
    throw Sqlite3Error(sqlite3_errmsg(db), sqlite3_extended_errcode(db));
}

} // namespace

Sqlite3Stmt::Sqlite3Stmt(sqlite3* db, const QString& text) : m_db(db), m_text(text)
{
    const QByteArray utf8 = text.toUtf8();
    if (sqlite3_prepare_v3(db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &m_stmt,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throwError(db);
    }
    if (!m_stmt) // an empty statement (only blanks or comments)
        throw Sqlite3Error("empty statement: " + utf8.toStdString());
    const int count = sqlite3_column_count(m_stmt);
    for (int i = 0; i < count; ++i) {
        const QString name = columnName(i);
        // A join may name a column twice; the first one wins, as a row map would keep it.
        if (!m_columns.contains(name))
            m_columns.insert(name, i);
        const QString lower = name.toLower();
        if (!m_columnsLower.contains(lower))
            m_columnsLower.insert(lower, i);
    }
}

Sqlite3Stmt::~Sqlite3Stmt()
{
    sqlite3_finalize(m_stmt);
}

void Sqlite3Stmt::bind(const Sqlite3ParamList& params)
{
    static const char empty[] = "";
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params.at(i);
        const int pos = i + 1;
        int rc = SQLITE_OK;
        switch (v.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            rc = sqlite3_bind_null(m_stmt, pos);
            break;
        // The common types read in place: toLongLong() and toDouble() go through the
        // general conversion, a good part of the binding of a row.
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(m_stmt, pos, *static_cast<const qlonglong*>(v.constData()));
            break;
        case QMetaType::Int:
            rc = sqlite3_bind_int64(m_stmt, pos, *static_cast<const int*>(v.constData()));
            break;
        case QMetaType::Bool:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(m_stmt, pos, v.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(m_stmt, pos, *static_cast<const double*>(v.constData()));
            break;
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, pos, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            // a zero-length blob is still a blob, not NULL
            rc = sqlite3_bind_blob64(m_stmt, pos, b.isEmpty() ? empty : b.constData(),
                                     sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray t = v.typeId() == QMetaType::QString
                                     ? static_cast<const QString*>(v.constData())->toUtf8()
                                     : v.toString().toUtf8();
            rc = sqlite3_bind_text64(m_stmt, pos, t.isEmpty() ? empty : t.constData(),
                                     sqlite3_uint64(t.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
        if (rc != SQLITE_OK)
            throwError(m_db);
    }
}

bool Sqlite3Stmt::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throwError(m_db);
}

void Sqlite3Stmt::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Sqlite3Stmt::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Sqlite3Stmt::columnName(int index) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, index));
}

int Sqlite3Stmt::columnIndex(const QString& name) const
{
    const auto it = m_columns.constFind(name);
    if (it != m_columns.constEnd())
        return it.value();
    return m_columnsLower.value(name.toLower(), -1);
}

bool Sqlite3Stmt::isNull(int index) const
{
    return index < 0 || sqlite3_column_type(m_stmt, index) == SQLITE_NULL;
}

int Sqlite3Stmt::getInt(int index) const
{
    return index < 0 ? 0 : sqlite3_column_int(m_stmt, index);
}

qint64 Sqlite3Stmt::getInt64(int index) const
{
    return index < 0 ? 0 : sqlite3_column_int64(m_stmt, index);
}

double Sqlite3Stmt::getDouble(int index) const
{
    return index < 0 ? 0.0 : sqlite3_column_double(m_stmt, index);
}

QString Sqlite3Stmt::getText(int index) const
{
    if (index < 0)
        return {};
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, index));
    if (!text)
        return {};
    QString value = QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, index));
    // fromUtf8 reserves one character per byte; loaders keep hundreds of thousands of
    // these strings, so text outside ASCII gives the surplus back.
    if (value.capacity() > value.size())
        value.squeeze();
    return value;
}

QByteArrayView Sqlite3Stmt::getUtf8(int index) const
{
    if (index < 0)
        return {};
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, index));
    return text ? QByteArrayView(text, sqlite3_column_bytes(m_stmt, index)) : QByteArrayView();
}

QByteArray Sqlite3Stmt::getBlob(int index) const
{
    if (index < 0)
        return {};
    const void* data = sqlite3_column_blob(m_stmt, index);
    if (!data)
        return {};
    return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, index));
}
