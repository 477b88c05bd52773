#include "db/ViberSort.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace ViberSort {

void sortByChatThenDate(QList<_ViberMsg*>& messages)
{
    struct Key
    {
        qint64 chat;
        double date;
        qsizetype ordinal; // the place before the sort, which keeps equal keys in order
        _ViberMsg* msg;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(messages.size()));
    for (qsizetype i = 0; i < messages.size(); ++i) {
        _ViberMsg* msg = messages.at(i);
        // NaN would break the ordering the sort relies on; such a date sorts first.
        const double date = std::isnan(msg->date) ? -HUGE_VAL : msg->date;
        keys.push_back({msg->chat ? msg->chat->id : std::numeric_limits<qint64>::min(), date, i, msg});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return std::tie(a.chat, a.date, a.ordinal) < std::tie(b.chat, b.date, b.ordinal);
    });
    for (qsizetype i = 0; i < messages.size(); ++i)
        messages[i] = keys[size_t(i)].msg;
}

} // namespace ViberSort
