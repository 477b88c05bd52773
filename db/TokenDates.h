#pragma once

#include <QHash>
#include <QList>

// The dates seen per message token, for duplicate tests without a query per message.
// Nearly every token has one date, so that one is kept in place and only further dates
// get a list: a list per token took a third of the memory of the loaded data set again.
class TokenDates
{
public:
    void add(qint64 token, qint64 dateMs);
    bool contains(qint64 token) const { return m_first.contains(token); }
    // Whether the token was seen with a date within windowMs of dateMs.
    bool near(qint64 token, qint64 dateMs, qint64 windowMs) const;

private:
    QHash<qint64, qint64> m_first;
    QHash<qint64, QList<qint64>> m_more;
};
