#pragma once

#include <QHash>
#include <QList>

#include <memory>

// Records of one kind keyed by id, owned by the table: a record lives exactly as long
// as the table holds it, and other records point at it without owning.
template<typename T> class RecordTable
{
public:
    RecordTable() = default;
    ~RecordTable() { qDeleteAll(m_records); }
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // Takes the record. An id already present keeps its record, the new one is
    // dropped and the kept one returned, so that each id appears once.
    T* insert(std::unique_ptr<T> record)
    {
        if (T* existing = m_records.value(record->id))
            return existing;
        T* raw = record.release();
        m_records.insert(raw->id, raw);
        return raw;
    }

    // The record with this id, created empty when missing.
    T* obtain(qint64 id)
    {
        if (T* existing = m_records.value(id))
            return existing;
        auto record = std::make_unique<T>();
        record->id = id;
        return insert(std::move(record));
    }

    T* value(qint64 id) const { return m_records.value(id); }
    bool contains(qint64 id) const { return m_records.contains(id); }
    qsizetype size() const { return m_records.size(); }
    bool isEmpty() const { return m_records.isEmpty(); }
    QList<T*> values() const { return m_records.values(); }
    void reserve(qsizetype size) { m_records.reserve(size); }

    // Deletes the record; callers first drop the pointers other records hold to it.
    void remove(qint64 id) { delete m_records.take(id); }

    auto begin() const { return m_records.cbegin(); }
    auto end() const { return m_records.cend(); }

private:
    QHash<qint64, T*> m_records;
};
