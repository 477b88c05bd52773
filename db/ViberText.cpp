#include "db/ViberText.h"

#include "app/AppDirs.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"

#include <QRegularExpression>

#include <algorithm>

namespace ViberText {

namespace {

const QString MapHost = QStringLiteral("https://maps.googleapis.com");
const QString StickerHost = QStringLiteral("https://content.cdn.viber.com");

// Symbols outside the private-use block that the older emoji encoding also used.
constexpr char16_t SingleUnitEmoji[] = {
    0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B, 0x23EB, 0x23EC,
    0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
    0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744,
    0x2747, 0x274E, 0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030};

QString hexCode(char32_t code)
{
    return QString::number(code, 16).toUpper();
}

QString participantsJoined(const _ViberChat& chat, QString (*label)(const _ViberPerson&))
{
    QList<const _ViberPerson*> people;
    people.reserve(chat.participants.size());
    for (const _ViberPerson* p : chat.participants)
        people.append(p);
    std::sort(people.begin(), people.end(),
              [](const _ViberPerson* a, const _ViberPerson* b) { return a->number < b->number; });
    QStringList labels;
    labels.reserve(people.size());
    for (const _ViberPerson* p : people)
        labels.append(label(*p));
    return labels.join(QLatin1String(", "));
}

} // namespace

QString summaryText(const _ViberMsg& msg)
{
    const QString text = replaceEmoji(msg.text, [](const QString&) { return QStringLiteral("[EMOJI]"); });
    switch (msg.type) {
    case ViberMsgType::Call:
        return msg.call ? callText(*msg.call) : QStringLiteral("[UNKNOWN CALL]");
    case ViberMsgType::Picture:
        return QStringLiteral("[IMAGE]");
    case ViberMsgType::Location:
        return text + QLatin1String(" [LOCATION]");
    case ViberMsgType::System:
        return systemLineText(msg);
    case ViberMsgType::Voice:
        return QStringLiteral("[AUDIO]");
    case ViberMsgType::Sticker:
        return QStringLiteral("[STICKER-%1]")
            .arg(msg.attachment ? msg.attachment->fileId : QStringLiteral("UNKNOWN"));
    case ViberMsgType::Text:
        return text;
    case ViberMsgType::Video:
        return QStringLiteral("[VIDEO]");
    default:
        return {};
    }
}

QString callText(const _ViberCall& call)
{
    switch (call.kind) {
    case ViberCallKind::Incoming:
        return QStringLiteral("Incoming Call (%1)").arg(durationText(call.duration));
    case ViberCallKind::Outgoing:
        return QStringLiteral("Outgoing Call (%1)").arg(durationText(call.duration));
    case ViberCallKind::Missed:
        return QStringLiteral("Missed Call");
    default:
        return QStringLiteral("Unknown Call");
    }
}

QString durationText(qint64 seconds)
{
    return QStringLiteral("%1' %2''").arg(seconds / 60).arg(seconds % 60);
}

QString groupEventText(const _ViberMsg& msg)
{
    switch (msg.systemType) {
    case ViberSystemType::NameChanged:
        return QStringLiteral("%1 changed the group name to \"%2\"")
            .arg(msg.sender ? personLabel(*msg.sender) : QStringLiteral("You"), msg.text);
    case ViberSystemType::MemberAdded:
        return QStringLiteral("%1 joined").arg(msg.text);
    default:
        return {};
    }
}

QString systemLineText(const _ViberMsg& msg)
{
    const QString event = groupEventText(msg);
    return event.isEmpty() ? msg.text : event;
}

QString mapImageUrl(const _ViberMsg& msg)
{
    return MapHost + QStringLiteral("/maps/api/staticmap?zoom=16&size=600x389&scale=<scale>&maptype=roadmap"
                                    "&sensor=true&center=%1,%2")
                         .arg(msg.location.latitude(), 0, 'f', 6)
                         .arg(msg.location.longitude(), 0, 'f', 6);
}

QString stickerImageUrl(const _ViberAtta& atta)
{
    bool ok = false;
    qint64 n = atta.fileId.toLongLong(&ok);
    if (!ok)
        n = 0;
    return StickerHost + QStringLiteral("/stickers/60/%1/%2.png")
                             .arg((n / 100) * 100)
                             .arg(atta.fileId, 8, QLatin1Char('0'));
}

QString assetId(const _ViberAtta& atta)
{
    static const QRegularExpression pattern(
        QStringLiteral("^assets-library://asset/[^/\\?=]+\\?id=([a-zA-Z0-9\\-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString url = atta.extraMap().value(QStringLiteral("ZURL")).toString();
    const QRegularExpressionMatch match = pattern.match(url);
    return match.hasMatch() ? match.captured(1).toUpper() : QString();
}

QString personLabel(const _ViberPerson& person)
{
    return person.name.isEmpty() ? person.number : person.name;
}

QString personLabelWithNumber(const _ViberPerson& person)
{
    if (person.number.isEmpty())
        return person.name.trimmed();
    if (person.name.isEmpty())
        return person.number;
    return person.name + QLatin1Char('(') + person.number + QLatin1Char(')');
}

QString chatTitle(const _ViberChat& chat)
{
    const QString name = chat.name.trimmed();
    return name.isEmpty() ? participantsJoined(chat, personLabel) : name;
}

QString chatMembersText(const _ViberChat& chat)
{
    return participantsJoined(chat, personLabelWithNumber);
}

bool isOutgoing(const _ViberMsg& msg)
{
    if (msg.systemType == ViberSystemType::NameChanged || msg.systemType == ViberSystemType::MemberAdded)
        return false;
    return msg.status != ViberStatus::Received;
}

QString canonicalNumber(const QString& text)
{
    const bool hasLetter = std::any_of(text.begin(), text.end(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    });
    if (hasLetter)
        return text;
    QString digits;
    digits.reserve(text.size());
    for (QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    }
    return digits;
}

QString shortDigest(const QString& text)
{
    const QString hex = AppDirs::md5Hex(text);
    if (hex.size() != 32)
        return hex;
    QString result;
    result.reserve(32);
    for (int i = 0; i < 32; i += 2) {
        if (hex.at(i) == QLatin1Char('0'))
            result.append(hex.at(i + 1));
        else
            result.append(hex.mid(i, 2));
    }
    return result;
}

qint64 groupIdNumber(const _ViberChat& chat)
{
    QString digits;
    for (QChar c : chat.groupId) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    }
    return digits.toLongLong(); // 0 when empty or out of range
}

static_assert(SingleUnitEmoji[0] == FirstEmojiUnit && FirstEmojiUnit < 0xD800);

bool isSingleUnitEmoji(char16_t unit)
{
    // Every code lies at or above the list's first entry; most text lies below it.
    if (unit < SingleUnitEmoji[0])
        return false;
    if (unit >= 0xE000 && unit <= 0xE537)
        return true;
    // the symbols all lie below the last entry: surrogates and CJK text are no look-up
    if (unit > std::end(SingleUnitEmoji)[-1])
        return false;
    return std::binary_search(std::begin(SingleUnitEmoji), std::end(SingleUnitEmoji), unit);
}

static_assert(std::is_sorted(std::begin(SingleUnitEmoji), std::end(SingleUnitEmoji)));

char32_t emojiPairAt(QStringView text, qsizetype at)
{
    if (at + 1 >= text.size())
        return 0;
    const QChar c = text[at];
    if ((c.unicode() != 0xD83C && c.unicode() != 0xD83D) || !text[at + 1].isLowSurrogate())
        return 0;
    return QChar::surrogateToUcs4(c, text[at + 1]);
}

QString replaceEmoji(const QString& text, const EmojiHandler& handler)
{
    // Two passes as the codes were stored over the years: first single units of the
    // older encoding, then surrogate pairs from U+1F000 up. The text between codes is
    // copied in runs, and a text without codes is returned as it is: this runs for
    // every message of an export.
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= FirstEmojiUnit; }))
        return text;
    QString singles;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (!isSingleUnitEmoji(unit))
            continue;
        singles += QStringView(text).mid(copied, i - copied);
        singles += handler(hexCode(unit));
        copied = i + 1;
    }
    if (copied == 0)
        singles = text;
    else
        singles += QStringView(text).mid(copied);

    QString result;
    copied = 0;
    for (qsizetype i = 0; i + 1 < singles.size(); ++i) {
        const char32_t code = emojiPairAt(singles, i);
        if (code == 0)
            continue;
        result += QStringView(singles).mid(copied, i - copied);
        result += handler(hexCode(code));
        ++i;
        copied = i + 1;
    }
    if (copied == 0)
        return singles;
    result += QStringView(singles).mid(copied);
    return result;
}

} // namespace ViberText
