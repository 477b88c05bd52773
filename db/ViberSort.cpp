#include "db/ViberSort.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace ViberSort {

void sortByChatThenDate(QList<_ViberMsg*>& messages)
{
    // The keys hold no pointer: the sorted order is applied to the list in place from the
    // places the keys keep, so that a large export's sort holds 24 bytes a message.
    struct Key
    {
        qint64 chat;
        double date;
        qsizetype ordinal; // the place before the sort, which keeps equal keys in order
    };
    std::vector<Key> keys;
    keys.reserve(size_t(messages.size()));
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const _ViberMsg* msg = messages.at(i);
        // NaN would break the ordering the sort relies on; such a date sorts first.
        const double date = std::isnan(msg->date) ? -HUGE_VAL : msg->date;
        keys.push_back({msg->chat ? msg->chat->id : std::numeric_limits<qint64>::min(), date, i});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return std::tie(a.chat, a.date, a.ordinal) < std::tie(b.chat, b.date, b.ordinal);
    });
    // Place i takes the message from place keys[i].ordinal: each cycle of places is
    // followed once, and a followed key is marked with -1.
    for (qsizetype start = 0; start < messages.size(); ++start) {
        if (keys[size_t(start)].ordinal < 0)
            continue;
        _ViberMsg* const first = messages.at(start);
        for (qsizetype place = start;;) {
            const qsizetype from = keys[size_t(place)].ordinal;
            keys[size_t(place)].ordinal = -1;
            if (from == start) {
                messages[place] = first;
                break;
            }
            messages[place] = messages.at(from);
            place = from;
        }
    }
}

} // namespace ViberSort
