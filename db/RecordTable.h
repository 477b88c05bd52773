#pragma once

#include <QList>
#include <QtGlobal>

#include <bit>
#include <concepts>
#include <cstddef>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

// Records of one kind keyed by id, owned by the table: a record lives exactly as long
// as the table holds it, and other records point at it without owning.
//
// One load keeps hundreds of thousands of records, so the table is built for size.
// Records it makes itself (obtain) are placed in blocks instead of one heap allocation
// each. The index is an open-addressing hash table of record pointers, the key being
// read from the record, with linear probing and removal by backward shift. Records
// handed in by insert() keep their own allocation; they are of type T exactly, as
// records have no virtual destructor. Iteration runs in hash order, like QHash's.
template<typename T> class RecordTable
{
public:
    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T* const*;
        using reference = T*;

        const_iterator() = default;
        T* operator*() const { return record(*m_at); }
        const_iterator& operator++()
        {
            ++m_at;
            skipEmpty();
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }

    private:
        friend class RecordTable;
        const_iterator(const quintptr* at, const quintptr* end) : m_at(at), m_end(end) { skipEmpty(); }
        void skipEmpty()
        {
            while (m_at != m_end && *m_at == 0)
                ++m_at;
        }

        const quintptr* m_at = nullptr;
        const quintptr* m_end = nullptr;
    };

    RecordTable() = default;
    ~RecordTable()
    {
        for (const quintptr entry : m_index) {
            if (entry != 0)
                destroy(entry);
        }
    }
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // Takes the record. An id already present keeps its record, the new one is
    // dropped and the kept one returned, so that each id appears once.
    template<typename U>
    requires std::same_as<U, T> T* insert(std::unique_ptr<U> record)
    {
        if (T* existing = value(record->id))
            return existing;
        growForOneMore();
        T* raw = record.release();
        place(reinterpret_cast<quintptr>(raw) | HeapOwned);
        return raw;
    }

    // The record with this id, created empty when missing.
    T* obtain(qint64 id)
    {
        if (T* existing = value(id))
            return existing;
        growForOneMore();
        T* made = new (takeSlot()) T();
        made->id = id;
        place(reinterpret_cast<quintptr>(made));
        return made;
    }

    T* value(qint64 id) const
    {
        const qsizetype at = find(id);
        return at < 0 ? nullptr : record(m_index[size_t(at)]);
    }
    bool contains(qint64 id) const { return find(id) >= 0; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    QList<T*> values() const
    {
        QList<T*> all;
        all.reserve(m_size);
        for (T* r : *this)
            all.append(r);
        return all;
    }
    void reserve(qsizetype size)
    {
        const size_t wanted = capacityFor(size);
        if (wanted > m_index.size())
            rehash(wanted);
    }

    // Deletes the record; callers first drop the pointers other records hold to it.
    void remove(qint64 id)
    {
        const qsizetype found = find(id);
        if (found < 0)
            return;
        const quintptr removed = m_index[size_t(found)];
        m_freeSlots.reserve(m_freeSlots.size() + 1);
        destroy(removed);
        if (!(removed & HeapOwned))
            m_freeSlots.push_back(record(removed));
        --m_size;
        // Entries after the hole move back unless the hole lies before their home slot.
        const size_t mask = m_index.size() - 1;
        size_t hole = size_t(found);
        for (size_t next = (hole + 1) & mask; m_index[next] != 0; next = (next + 1) & mask) {
            const size_t home = homeSlot(record(m_index[next])->id);
            if (((next - home) & mask) >= ((next - hole) & mask)) {
                m_index[hole] = m_index[next];
                hole = next;
            }
        }
        m_index[hole] = 0;
    }

    const_iterator begin() const { return {m_index.data(), m_index.data() + m_index.size()}; }
    const_iterator end() const
    {
        const quintptr* last = m_index.data() + m_index.size();
        return {last, last};
    }

private:
    static constexpr quintptr HeapOwned = 1;
    static constexpr size_t MinCapacity = 16;
    // Blocks stay below glibc's threshold for separate mappings, whose page rounding and
    // system calls would cost more than the blocks save.
    static constexpr qsizetype MaxBlock = qsizetype(qMax(size_t(16), 64 * 1024 / sizeof(T)));
    // Filled to at most 4/5: ids hashed by Fibonacci hashing spread evenly, so probe
    // runs stay short at that load.
    static size_t capacityFor(qsizetype size)
    {
        size_t capacity = MinCapacity;
        while (capacity * 4 < size_t(size) * 5)
            capacity *= 2;
        return capacity;
    }

    struct alignas(T) Slot
    {
        std::byte bytes[sizeof(T)];
    };

    static T* record(quintptr entry) { return reinterpret_cast<T*>(entry & ~HeapOwned); }

    size_t homeSlot(qint64 id) const { return size_t((quint64(id) * 0x9E3779B97F4A7C15ull) >> m_shift); }

    qsizetype find(qint64 id) const
    {
        if (m_index.empty())
            return -1;
        const size_t mask = m_index.size() - 1;
        for (size_t at = homeSlot(id); m_index[at] != 0; at = (at + 1) & mask) {
            if (record(m_index[at])->id == id)
                return qsizetype(at);
        }
        return -1;
    }

    // Called before a record is made, so that a failing allocation leaves nothing behind.
    void growForOneMore()
    {
        if (size_t(m_size + 1) * 5 > m_index.size() * 4)
            rehash(capacityFor(m_size + 1));
    }

    void place(quintptr entry)
    {
        insertEntry(entry);
        ++m_size;
    }

    void insertEntry(quintptr entry)
    {
        const size_t mask = m_index.size() - 1;
        size_t at = homeSlot(record(entry)->id);
        while (m_index[at] != 0)
            at = (at + 1) & mask;
        m_index[at] = entry;
    }

    void rehash(size_t capacity)
    {
        std::vector<quintptr> old(capacity, 0);
        old.swap(m_index);
        m_shift = 64 - std::countr_zero(quint64(capacity));
        for (const quintptr entry : old) {
            if (entry != 0)
                insertEntry(entry);
        }
    }

    void* takeSlot()
    {
        if (!m_freeSlots.empty()) {
            void* slot = m_freeSlots.back();
            m_freeSlots.pop_back();
            return slot;
        }
        if (m_blocks.empty() || m_blockUsed == m_blockSize) {
            m_blockSize = m_blocks.empty() ? 16 : qMin(m_blockSize * 2, MaxBlock);
            m_blocks.push_back(std::make_unique_for_overwrite<Slot[]>(size_t(m_blockSize)));
            m_blockUsed = 0;
        }
        return &m_blocks.back()[size_t(m_blockUsed++)];
    }

    static void destroy(quintptr entry)
    {
        T* r = record(entry);
        if (entry & HeapOwned)
            delete r;
        else
            r->~T();
    }

    std::vector<quintptr> m_index; // 0 marks an empty slot
    int m_shift = 64;
    qsizetype m_size = 0;
    std::vector<std::unique_ptr<Slot[]>> m_blocks;
    qsizetype m_blockSize = 0;
    qsizetype m_blockUsed = 0;
    std::vector<void*> m_freeSlots;
};
