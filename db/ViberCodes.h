#pragma once

#include <QString>

// The code vocabularies of the records and their text forms in local databases.

namespace ViberMsgType {
enum : int { Call = 1, Picture = 2, Location = 3, System = 4, Voice = 5, Sticker = 6, Text = 7, Video = 8 };
}

namespace ViberStatus {
enum : int { Unknown = 0, Delivered = 1, Received = 2, Sent = 3, PendingNotSent = 4 };
}

namespace ViberSystemType {
enum : int { None = 0, NameChanged = 1, MemberAdded = 2 };
}

namespace ViberCallKind {
enum : int { Incoming = 1, Outgoing = 2, Missed = 3 };
}

namespace ViberCodes {

// "delivered", "received", "send", "pendingNotSent"; empty for 0 and unknown codes.
QString statusText(int status);
// Case-insensitive; also accepts "sending" (1) and "pending" (4); 0 when unknown.
int parseStatus(const QString& text);

// "systemNameChanged", "systemMemberAdded"; "customLocation" for location messages.
QString systemTypeText(int systemType);
int parseSystemType(const QString& text);
inline constexpr auto CustomLocation = "customLocation";

// "incoming", "outgoing_viber", "missed".
QString callKindText(int kind);
// Matches "incoming", "outgoing", "missed" as case-insensitive substrings, in that order;
// 0 when none matches.
int parseCallKind(const QString& text);
// The kind of an Android call bubble from its body ("incoming_call", "outgoing_call",
// "missed_call"); 0 for anything else.
int callKindOfBubble(const QString& body);

// The attachment type word of a message type: "picture", "customLocation", "audio",
// "sticker", "video"; empty for the others.
QString attachmentTypeWord(int msgType);
int msgTypeOfAttachmentWord(const QString& word);

} // namespace ViberCodes
