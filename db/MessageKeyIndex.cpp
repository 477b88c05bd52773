#include "db/MessageKeyIndex.h"

void MessageKeyIndex::add(qint64 token, double date, qint64 pk)
{
    if (token != 0)
        m_byToken.insert(token, Stored{date, pk});
    else if (!m_tokenlessByDate.contains(date)) // the first row of a date has the lowest id
        m_tokenlessByDate.insert(date, pk);
}

qint64 MessageKeyIndex::find(qint64 token, double date) const
{
    if (token == 0)
        return m_tokenlessByDate.value(date, 0);
    qint64 lowest = 0;
    for (auto it = m_byToken.constFind(token); it != m_byToken.constEnd() && it.key() == token; ++it) {
        const Stored& stored = it.value();
        if (stored.date >= date - TokenWindowSeconds && stored.date <= date + TokenWindowSeconds &&
            (lowest == 0 || stored.pk < lowest))
            lowest = stored.pk;
    }
    return lowest;
}

void MessageKeyIndex::clear()
{
    m_byToken.clear();
    m_tokenlessByDate.clear();
}
