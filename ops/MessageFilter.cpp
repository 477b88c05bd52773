#include "ops/MessageFilter.h"

#include "db/ViberChat.h"
#include "db/ViberDates.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace {

constexpr int MinimumNumberPart = 5;

} // namespace

bool MessageFilter::matches(const _ViberChat& chat, const QString& selector)
{
    const QString wanted = selector.trimmed();
    if (wanted.isEmpty())
        return false;
    bool isNumber = false;
    const qint64 id = wanted.toLongLong(&isNumber);
    if (isNumber && id == chat.id)
        return true;
    if (ViberText::chatTitle(chat).contains(wanted, Qt::CaseInsensitive))
        return true;
    // A chat with one person is also found by the number; a group is not found by its
    // members, or naming a friend would take every group the friend is in. A few digits
    // are a chat id, not a piece of every number holding them.
    if (chat.isGroup() || wanted.size() < MinimumNumberPart)
        return false;
    return std::any_of(chat.participants.cbegin(), chat.participants.cend(),
                       [&wanted](const _ViberPerson* person) { return person->number.contains(wanted); });
}

bool MessageFilter::acceptsChat(const _ViberChat& chat) const
{
    const auto named = [&chat](const QString& selector) { return matches(chat, selector); };
    if (!m_chats.isEmpty() && std::none_of(m_chats.cbegin(), m_chats.cend(), named))
        return false;
    return std::none_of(m_excluded.cbegin(), m_excluded.cend(), named);
}

qint64 MessageFilter::unixMs(double refSeconds)
{
    if (!std::isfinite(refSeconds))
        return 0;
    return std::llround(refSeconds * 1000.0) + ViberDates::ReferenceUnixSeconds * 1000;
}

bool MessageFilter::acceptsDate(double refSeconds) const
{
    const qint64 ms = unixMs(refSeconds);
    return (!m_afterMs || ms >= *m_afterMs) && (!m_beforeMs || ms < *m_beforeMs);
}

bool MessageFilter::accepts(const _ViberMsg& msg) const
{
    if (m_gone != Gone::Include && m_goneMessages.contains(msg.id) != (m_gone == Gone::Only))
        return false;
    // A message without a chat belongs to no selection of chats.
    if (!msg.chat)
        return m_chats.isEmpty() && acceptsDate(msg.date);
    return acceptsChat(*msg.chat) && acceptsDate(msg.date);
}

bool MessageFilter::takesEverything() const
{
    return m_chats.isEmpty() && m_excluded.isEmpty() && !m_afterMs && !m_beforeMs && m_gone == Gone::Include;
}

std::optional<MessageFilter::Gone> MessageFilter::parseGone(const QString& text)
{
    if (text == QLatin1String("include"))
        return Gone::Include;
    if (text == QLatin1String("exclude"))
        return Gone::Exclude;
    if (text == QLatin1String("only"))
        return Gone::Only;
    return std::nullopt;
}

QList<_ViberMsg*> MessageFilter::apply(const QList<_ViberMsg*>& messages) const
{
    QList<_ViberMsg*> taken;
    for (_ViberMsg* msg : messages) {
        if (accepts(*msg))
            taken.append(msg);
    }
    return taken;
}

QList<_ViberCall*> MessageFilter::calls(const QList<_ViberMsg*>& messages) const
{
    QList<_ViberCall*> taken;
    for (const _ViberMsg* msg : messages) {
        if (msg->call && accepts(*msg))
            taken.append(msg->call);
    }
    return taken;
}

QStringList MessageFilter::unmatchedSelectors(const QList<_ViberChat*>& chats) const
{
    QStringList unmatched;
    for (const QString& selector : m_chats + m_excluded) {
        const bool found = std::any_of(chats.cbegin(), chats.cend(), [&selector](const _ViberChat* chat) {
            return matches(*chat, selector);
        });
        if (!found)
            unmatched.append(selector);
    }
    return unmatched;
}

std::optional<QDateTime> MessageFilter::parseDate(const QString& text, bool utc)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4}-\d{2}-\d{2})(?:[T ](\d{2}:\d{2}(?::\d{2}(?:\.\d{1,3})?)?))?(Z|[+-]\d{2}:?\d{2})?$)"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(match.captured(1), Qt::ISODate);
    QTime time(0, 0);
    if (match.hasCaptured(2)) {
        QString clock = match.captured(2);
        const qsizetype dot = clock.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            clock = clock.left(dot + 1) + clock.mid(dot + 1).leftJustified(3, QLatin1Char('0'));
        time = QTime::fromString(clock, clock.size() > 8 ? QStringLiteral("HH:mm:ss.zzz")
                                                         : (clock.size() > 5 ? QStringLiteral("HH:mm:ss")
                                                                             : QStringLiteral("HH:mm")));
    }
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QString zone = match.captured(3);
    QDateTime result;
    if (zone.isEmpty()) {
        result = utc ? QDateTime(date, time, QTimeZone::utc()) : QDateTime(date, time);
    } else if (zone == QLatin1String("Z")) {
        result = QDateTime(date, time, QTimeZone::utc());
    } else {
        const QString digits = QString(zone).remove(QLatin1Char(':'));
        const int hours = digits.mid(1, 2).toInt();
        const int minutes = digits.mid(3, 2).toInt();
        if (hours > 14 || minutes > 59)
            return std::nullopt;
        const int sign = digits.startsWith(QLatin1Char('-')) ? -1 : 1;
        result = QDateTime(date, time, QTimeZone(sign * (hours * 3600 + minutes * 60)));
    }
    if (!result.isValid())
        return std::nullopt;
    return result;
}
