#include "db/ViberSort.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace ViberSort {

void sortByChatThenDate(QList<_ViberMsg*>& messages)
{
    // Each chat's messages are gathered in a run of their own, in the order they came,
    // and then each run alone is sorted by time: the lists handed over mostly come in
    // time order already (the message list sorts by time), which leaves a run only to be
    // looked over, where one sort of the whole list took a tenth of an HTML export.
    struct Key
    {
        qint64 chat;
        double date; // NaN would break the ordering the sort relies on; it sorts first
    };
    struct Placed
    {
        double date;
        _ViberMsg* msg;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(messages.size()));
    QHash<qint64, qsizetype> runs; // a chat's count, then where its run goes on
    for (const _ViberMsg* msg : std::as_const(messages)) {
        const qint64 chat = msg->chat ? msg->chat->id : std::numeric_limits<qint64>::min();
        keys.push_back({chat, std::isnan(msg->date) ? -HUGE_VAL : msg->date});
        ++runs[chat];
    }
    QList<qint64> chats = runs.keys();
    std::sort(chats.begin(), chats.end());
    qsizetype start = 0;
    for (const qint64 chat : std::as_const(chats))
        start += std::exchange(runs[chat], start);

    std::vector<Placed> placed(keys.size());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const Key& key = keys[size_t(i)];
        placed[size_t(runs[key.chat]++)] = {key.date, messages.at(i)};
    }
    const auto byDate = [](const Placed& a, const Placed& b) { return a.date < b.date; };
    auto runStart = placed.begin();
    for (const qint64 chat : std::as_const(chats)) {
        const auto runEnd = placed.begin() + runs.value(chat);
        if (!std::is_sorted(runStart, runEnd, byDate))
            std::stable_sort(runStart, runEnd, byDate); // messages of one time keep their order
        runStart = runEnd;
    }
    for (qsizetype i = 0; i < messages.size(); ++i)
        messages[i] = placed[size_t(i)].msg;
}

void sortByDate(QList<_ViberMsg*>& messages, bool newestFirst)
{
    struct Keyed
    {
        double date;  // negated for newest first; NaN sorts first
        qsizetype at; // where it was, which keeps messages of one time in their order
        _ViberMsg* msg;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(messages.size()));
    for (qsizetype i = 0; i < messages.size(); ++i) {
        _ViberMsg* msg = messages.at(i);
        const double date = std::isnan(msg->date) ? -HUGE_VAL : msg->date;
        keyed.push_back({newestFirst ? -date : date, i, msg});
    }
    const auto before = [](const Keyed& a, const Keyed& b) {
        return a.date < b.date || (a.date == b.date && a.at < b.at);
    };
    if (std::is_sorted(keyed.begin(), keyed.end(), before))
        return;
    std::sort(keyed.begin(), keyed.end(), before);
    for (qsizetype i = 0; i < messages.size(); ++i)
        messages[i] = keyed[size_t(i)].msg;
}

} // namespace ViberSort
