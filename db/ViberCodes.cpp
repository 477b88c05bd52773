#include "db/ViberCodes.h"

namespace ViberCodes {

QString statusText(int status)
{
    switch (status) {
    case ViberStatus::Delivered:
        return QStringLiteral("delivered");
    case ViberStatus::Received:
        return QStringLiteral("received");
    case ViberStatus::Sent:
        return QStringLiteral("send");
    case ViberStatus::PendingNotSent:
        return QStringLiteral("pendingNotSent");
    default:
        return {};
    }
}

int parseStatus(const QString& text)
{
    const QString t = text.toLower();
    if (t == u"delivered" || t == u"sending")
        return ViberStatus::Delivered;
    if (t == u"received")
        return ViberStatus::Received;
    if (t == u"send")
        return ViberStatus::Sent;
    if (t == u"pendingnotsent" || t == u"pending")
        return ViberStatus::PendingNotSent;
    return ViberStatus::Unknown;
}

QString systemTypeText(int systemType)
{
    switch (systemType) {
    case ViberSystemType::NameChanged:
        return QStringLiteral("systemNameChanged");
    case ViberSystemType::MemberAdded:
        return QStringLiteral("systemMemberAdded");
    default:
        return {};
    }
}

int parseSystemType(const QString& text)
{
    if (text.compare(u"systemNameChanged", Qt::CaseInsensitive) == 0)
        return ViberSystemType::NameChanged;
    if (text.compare(u"systemMemberAdded", Qt::CaseInsensitive) == 0)
        return ViberSystemType::MemberAdded;
    return ViberSystemType::None;
}

QString callKindText(int kind)
{
    switch (kind) {
    case ViberCallKind::Incoming:
        return QStringLiteral("incoming");
    case ViberCallKind::Outgoing:
        return QStringLiteral("outgoing_viber");
    case ViberCallKind::Missed:
        return QStringLiteral("missed");
    default:
        return {};
    }
}

int callKindOfBubble(const QString& body)
{
    if (body == QLatin1StringView("incoming_call"))
        return ViberCallKind::Incoming;
    if (body == QLatin1StringView("outgoing_call"))
        return ViberCallKind::Outgoing;
    if (body == QLatin1StringView("missed_call"))
        return ViberCallKind::Missed;
    return 0;
}

int parseCallKind(const QString& text)
{
    if (text.contains(u"incoming", Qt::CaseInsensitive))
        return ViberCallKind::Incoming;
    if (text.contains(u"outgoing", Qt::CaseInsensitive))
        return ViberCallKind::Outgoing;
    if (text.contains(u"missed", Qt::CaseInsensitive))
        return ViberCallKind::Missed;
    return 0;
}

QString attachmentTypeWord(int msgType)
{
    switch (msgType) {
    case ViberMsgType::Picture:
        return QStringLiteral("picture");
    case ViberMsgType::Location:
        return QLatin1String(CustomLocation);
    case ViberMsgType::Voice:
        return QStringLiteral("audio");
    case ViberMsgType::Sticker:
        return QStringLiteral("sticker");
    case ViberMsgType::Video:
        return QStringLiteral("video");
    default:
        return {};
    }
}

int msgTypeOfAttachmentWord(const QString& word)
{
    for (int type : {ViberMsgType::Picture, ViberMsgType::Location, ViberMsgType::Voice,
                     ViberMsgType::Sticker, ViberMsgType::Video}) {
        if (word.compare(attachmentTypeWord(type), Qt::CaseInsensitive) == 0)
            return type;
    }
    return 0;
}

} // namespace ViberCodes
