#pragma once

#include <QString>

// The views of today's Android Viber that a transfer must not disturb, as the app's own
// queries make them: the conversation list with each chat's last message, a chat's
// messages in the app's order (order_key, then msg_date, newest first), the unread
// counts behind badges and notifications, and the text search. Run on a merged working
// copy before anything goes to the phone, they tell whether the added rows appear as
// the phone's own do.
class ModernViberAppQueries
{
public:
    // Throws with the name of the view that fails and what it shows, when a row above
    // lastPhoneId (the added ones) does not appear as the phone's own rows do.
    static void check(const QString& messagesDbPath, qint64 lastPhoneId);
};
