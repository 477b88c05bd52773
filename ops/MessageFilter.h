#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct _ViberChat;
struct _ViberMsg;
struct _ViberCall;

// Which messages an operation takes: chats named by id or by a piece of their title,
// chats left out, and a time range. The range includes its start and excludes its end,
// so that "--after 2024-03-01 --before 2024-04-01" and "--after 2024-04-01" never
// share a message. An empty selection takes every message.
class MessageFilter
{
public:
    // A chat selector is a chat id, text found (ignoring case) in the chat's title, or
    // part (five characters or more) of the number of a chat with one person.
    void addChat(const QString& selector) { m_chats.append(selector); }
    void addExcludedChat(const QString& selector) { m_excluded.append(selector); }
    void setAfter(const QDateTime& start) { m_afterMs = start.toMSecsSinceEpoch(); }
    void setBefore(const QDateTime& end) { m_beforeMs = end.toMSecsSinceEpoch(); }
    // Messages of a local database that their source no longer held at a later backup:
    // kept with the others, left out, or taken alone.
    enum class Gone { Include, Exclude, Only };
    void setGone(Gone gone) { m_gone = gone; }
    void setGoneMessages(const QHash<qint64, QDateTime>& goneMessages) { m_goneMessages = goneMessages; }
    static std::optional<Gone> parseGone(const QString& text);
    // Whether the selection is every message there is.
    bool takesEverything() const;

    bool acceptsChat(const _ViberChat& chat) const;
    bool acceptsDate(double refSeconds) const;
    bool accepts(const _ViberMsg& msg) const;

    QList<_ViberMsg*> apply(const QList<_ViberMsg*>& messages) const;
    // The calls of the accepted call messages.
    QList<_ViberCall*> calls(const QList<_ViberMsg*>& messages) const;
    // The chat selectors (included or excluded) that name none of the chats: a typing
    // error the user should hear about rather than get an empty export.
    QStringList unmatchedSelectors(const QList<_ViberChat*>& chats) const;

    static bool matches(const _ViberChat& chat, const QString& selector);
    // A message date to the millisecond. Dates are kept as seconds in a double, so the
    // milliseconds are rounded rather than truncated: 0.001 s must stay one millisecond.
    static qint64 unixMs(double refSeconds);
    // "2024-03-01", "2024-03-01T10:15", "2024-03-01 10:15:30.250", with an optional
    // "Z" or "+01:00"; without one the time is local, or UTC when utc is set.
    static std::optional<QDateTime> parseDate(const QString& text, bool utc);

private:
    QStringList m_chats;
    QStringList m_excluded;
    std::optional<qint64> m_afterMs;
    std::optional<qint64> m_beforeMs;
    Gone m_gone = Gone::Include;
    QHash<qint64, QDateTime> m_goneMessages;
};
