#pragma once

#include <QString>

#include <functional>

struct _ViberMsg;
struct _ViberCall;
struct _ViberAtta;
struct _ViberPerson;
struct _ViberChat;

// Texts, labels and numbers derived from records, shared by every view and exporter.
namespace ViberText {

QString summaryText(const _ViberMsg& msg);
QString callText(const _ViberCall& call);
// "%1' %2''": whole minutes, then the remaining whole seconds.
QString durationText(qint64 seconds);
QString groupEventText(const _ViberMsg& msg);
// The line of a system message: its group event, else the notice as the source stored it.
QString systemLineText(const _ViberMsg& msg);
QString mapImageUrl(const _ViberMsg& msg);
QString stickerImageUrl(const _ViberAtta& atta);
QString assetId(const _ViberAtta& atta);

QString personLabel(const _ViberPerson& person);
QString personLabelWithNumber(const _ViberPerson& person);
QString chatTitle(const _ViberChat& chat);
QString chatMembersText(const _ViberChat& chat);
bool isOutgoing(const _ViberMsg& msg);

QString canonicalNumber(const QString& text);
QString shortDigest(const QString& text);
qint64 groupIdNumber(const _ViberChat& chat);

// The handler receives the emoji's code as upper-case hexadecimal ("E415", "1F600").
using EmojiHandler = std::function<QString(const QString& code)>;
// Whether one UTF-16 unit is an emoji of the older encoding: the private-use block
// U+E000 to U+E537 or one of the symbols it also used.
bool isSingleUnitEmoji(char16_t unit);
// No emoji of either encoding begins with a unit below this one.
inline constexpr char16_t FirstEmojiUnit = 0x203C;
// The code of the emoji that a surrogate pair at text[at] encodes (U+1F000 up), else 0.
char32_t emojiPairAt(QStringView text, qsizetype at);
QString replaceEmoji(const QString& text, const EmojiHandler& handler);

} // namespace ViberText
