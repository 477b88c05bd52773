#include "db/TokenDates.h"

#include <algorithm>

void TokenDates::add(qint64 token, qint64 dateMs)
{
    const auto it = m_first.constFind(token);
    if (it == m_first.constEnd())
        m_first.insert(token, dateMs);
    else
        m_more[token].append(dateMs);
}

bool TokenDates::near(qint64 token, qint64 dateMs, qint64 windowMs) const
{
    const auto first = m_first.constFind(token);
    if (first == m_first.constEnd())
        return false;
    const auto within = [&](qint64 seen) { return seen >= dateMs - windowMs && seen <= dateMs + windowMs; };
    if (within(*first))
        return true;
    const auto more = m_more.constFind(token);
    return more != m_more.constEnd() && std::any_of(more->cbegin(), more->cend(), within);
}
