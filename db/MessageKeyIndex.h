#pragma once

#include <QHash>
#include <QtGlobal>

// The keys of a message table's rows: those stored when a run began and those it
// writes. While every stored row is here, a duplicate is found here instead of by a
// query per message, with the answer the query would give: the lowest row id with the
// same token and a date within a minute, or for a message without a token the lowest
// row id with that exact date.
class MessageKeyIndex
{
public:
    static constexpr double TokenWindowSeconds = 60;

    void add(qint64 token, double date, qint64 pk);
    qint64 find(qint64 token, double date) const; // 0 when absent
    void clear();

private:
    struct Stored
    {
        double date;
        qint64 pk;
    };
    QMultiHash<qint64, Stored> m_byToken;
    QHash<double, qint64> m_tokenlessByDate;
};
