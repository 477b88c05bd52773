#pragma once

#include <QJsonObject>
#include <QString>

// What Python's sqlite3 (tests/support/modern_viber_check.py), not Velliport's code,
// reads from a phone's databases of today's Viber before and after a transfer:
// "integrity", "changed" (rows of the phone that are not as they were), "added" (the new
// messages with chat, sender, direction, kind and text), "views" and "views_before" (the
// app's conversation list, chat order, unread counts and text search), and with the
// call logs "calls" (added rows) and "data_changed". On failure, "error" holds why.
namespace ModernViberCheck {

QJsonObject run(const QString& messagesBefore, const QString& messagesAfter, const QString& dataBefore = {},
                const QString& dataAfter = {});

} // namespace ModernViberCheck
