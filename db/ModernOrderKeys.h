#pragma once

#include <QHash>

#include <vector>

// Chooses the order_key of messages added to a phone of today's Viber, which lists a
// chat by order_key, then msg_date (newest first), so that every added message sits in
// date order among the phone's own rows without any of those changing.
//
// What order_key means is not published; the phone's own rows say how it grows with the
// date. Within a chat, an added message between the phone's nearest older row a and
// nearest newer row b gets a key interpolated by date between a's and b's, and never
// outside them: where the two keys leave no room it takes a's key, and msg_date, the
// app's second key, puts it after a. Before the chat's oldest or after its newest row,
// and in a chat the phone has no rows of, the key follows the phone's own rate of keys
// per millisecond (from its oldest to its newest row), one key per millisecond when the
// phone cannot tell. The keys of one chat never decrease with the date.
class ModernOrderKeys
{
public:
    // The phone's visible rows, in any order.
    void addPhoneRow(qint64 conversationId, qint64 dateMs, qint64 orderKey);
    // Call once after the phone's rows and before the first keyFor().
    void prepare();
    // Added messages of one chat must be asked for in ascending date order.
    qint64 keyFor(qint64 conversationId, qint64 dateMs);

private:
    struct Anchor
    {
        qint64 date;
        qint64 key;
    };
    qint64 alongRate(const Anchor& from, qint64 dateMs) const;

    QHash<qint64, std::vector<Anchor>> m_anchors;
    QHash<qint64, qint64> m_lastKey;
    Anchor m_oldest{0, 0};
    Anchor m_newest{0, 0};
    bool m_havePhoneRows = false;
};
