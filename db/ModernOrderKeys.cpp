#include "db/ModernOrderKeys.h"

#include <algorithm>
#include <limits>

namespace {

qint64 clampToKey(__int128 value)
{
    constexpr qint64 lowest = std::numeric_limits<qint64>::min() / 2;
    constexpr qint64 highest = std::numeric_limits<qint64>::max() / 2;
    return qint64(std::clamp<__int128>(value, lowest, highest));
}

} // namespace

void ModernOrderKeys::addPhoneRow(qint64 conversationId, qint64 dateMs, qint64 orderKey)
{
    m_anchors[conversationId].push_back({dateMs, orderKey});
    if (!m_havePhoneRows || dateMs < m_oldest.date)
        m_oldest = {dateMs, orderKey};
    if (!m_havePhoneRows || dateMs > m_newest.date)
        m_newest = {dateMs, orderKey};
    m_havePhoneRows = true;
}

void ModernOrderKeys::prepare()
{
    for (std::vector<Anchor>& anchors : m_anchors) {
        std::sort(anchors.begin(), anchors.end(), [](const Anchor& a, const Anchor& b) {
            return a.date != b.date ? a.date < b.date : a.key < b.key;
        });
    }
}

qint64 ModernOrderKeys::alongRate(const Anchor& from, qint64 dateMs) const
{
    const __int128 spanDates = __int128(m_newest.date) - m_oldest.date;
    const __int128 spanKeys = __int128(m_newest.key) - m_oldest.key;
    const __int128 step = __int128(dateMs) - from.date;
    if (spanDates <= 0 || spanKeys <= 0)
        return clampToKey(__int128(from.key) + step);
    return clampToKey(__int128(from.key) + step * spanKeys / spanDates);
}

qint64 ModernOrderKeys::keyFor(qint64 conversationId, qint64 dateMs)
{
    qint64 key = 0;
    const auto chat = m_anchors.constFind(conversationId);
    if (chat == m_anchors.constEnd() || chat->empty()) {
        key = m_havePhoneRows ? alongRate(m_oldest, dateMs) : dateMs;
    } else {
        const std::vector<Anchor>& anchors = *chat;
        // The first row newer than the message; equal dates keep the phone's row first.
        const auto newer = std::upper_bound(anchors.begin(), anchors.end(), dateMs,
                                            [](qint64 date, const Anchor& a) { return date < a.date; });
        if (newer == anchors.begin()) {
            key = std::min(alongRate(*newer, dateMs), newer->key);
        } else if (newer == anchors.end()) {
            key = std::max(alongRate(anchors.back(), dateMs), anchors.back().key);
        } else {
            const Anchor& a = *(newer - 1);
            const Anchor& b = *newer;
            const __int128 span = __int128(b.date) - a.date;
            const __int128 interpolated =
                span > 0 ? a.key + (__int128(b.key) - a.key) * (__int128(dateMs) - a.date) / span : a.key;
            key =
                std::clamp<qint64>(clampToKey(interpolated), std::min(a.key, b.key), std::max(a.key, b.key));
        }
    }
    const auto last = m_lastKey.constFind(conversationId);
    if (last != m_lastKey.constEnd())
        key = std::max(key, *last);
    m_lastKey.insert(conversationId, key);
    return key;
}
