#pragma once

#include <QHash>

// Keeps one copy of values that repeat (extra blobs, bucket names, short texts); records
// then share it instead of holding one each. Bounded, since a file may repeat nothing.
// The value kept may be a converted one (a blob's held form, as the record holds it),
// made once per value.
template<typename T, typename Kept = T> class SharedValues
{
public:
    Kept share(const T& value)
    {
        return share(value, [](const T& v) { return exactCopy(v); });
    }
    template<typename Convert> Kept share(const T& value, Convert convert)
    {
        const auto it = m_values.constFind(value);
        if (it != m_values.constEnd())
            return *it;
        const Kept kept = convert(value);
        if (m_values.size() < MaxShared)
            m_values.insert(exactCopy(value), kept);
        return kept;
    }

private:
    static constexpr qsizetype MaxShared = 4096;

    // A copy in an allocation of its exact size: a reused buffer keeps its spare
    // capacity, which a record must not carry.
    static T exactCopy(const T& value)
    {
        return value.capacity() == value.size() ? value : T(value.constData(), value.size());
    }

    QHash<T, Kept> m_values;
};
