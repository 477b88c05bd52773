#include "ops/BubbleText.h"

#include "app/AppDirs.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <iterator>

namespace {

// Whether the markup can differ from the text: it holds a markup character, a line feed,
// the start of an emoticon code or an emoji. One look at each character, cheaper than
// building the markup: most texts hold none of these.
bool mayChange(QStringView text)
{
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit == u'&' || unit == u'<' || unit == u'>' || unit == u'\n' || unit == u'(' ||
            unit >= ViberText::FirstEmojiUnit)
            return true;
    }
    return false;
}

// Where the emoticon pictures are: "vb_emoji" beside the program.
QDir emoticonFolder()
{
    return QDir(QDir(AppDirs::assetFolder()).filePath(QStringLiteral("vb_emoji")));
}

// An emoji's code point as its picture's name says it: upper-case hex digits.
template<class Out> void appendHexUpper(Out& out, char32_t value)
{
    char digits[8];
    qsizetype first = std::size(digits);
    do {
        digits[--first] = "0123456789ABCDEF"[value % 16];
        value /= 16;
    } while (value != 0);
    out += QLatin1StringView(digits + first, std::size(digits) - first);
}

// Appends text with markup characters escaped, line feeds as line breaks and emoji as
// pictures (single units of the older encoding and pairs from U+1F000 up, as
// ViberText::replaceEmoji finds them), in one pass that copies the text between what it
// replaces in runs: this runs for every message of an HTML export. Answers whether the
// text holds '(', where an emoticon code may start.
template<class Out> bool appendEscaped(Out& out, QStringView text)
{
    qsizetype copied = 0;
    bool emoticonStart = false;
    for (qsizetype i = 0; i < text.size();) {
        const char16_t unit = text[i].unicode();
        QLatin1StringView entity = BubbleText::markupEntity(unit);
        char32_t emoji = 0;
        switch (unit) {
        case u'\n':
            entity = QLatin1StringView("<br/>");
            break;
        case u'(':
            emoticonStart = true;
            break;
        default:
            if (unit >= ViberText::FirstEmojiUnit)
                emoji = ViberText::isSingleUnitEmoji(unit) ? char32_t(unit) : ViberText::emojiPairAt(text, i);
        }
        if (entity.isEmpty() && emoji == 0) {
            ++i;
            continue;
        }
        out += text.mid(copied, i - copied);
        if (emoji == 0) {
            out += entity;
            ++i;
        } else {
            out += QLatin1StringView("<img src=\"emoji/");
            appendHexUpper(out, emoji);
            out += QLatin1StringView(".png\" style=\"vertical-align:top;\" />");
            i += emoji > 0xFFFF ? 2 : 1;
        }
        copied = i;
    }
    out += text.mid(copied);
    return emoticonStart;
}

} // namespace

namespace BubbleText {

QString escapeForBubble(const QString& text, const EmoticonPictures* pictures)
{
    if (!mayChange(text))
        return text;
    QString html;
    html.reserve(text.size() + text.size() / 2);
    const bool emoticonStart = appendEscaped(html, text);
    return emoticonStart ? replaceEmoticons(html, pictures) : html;
}

void appendForBubble(Utf8Out& out, QStringView text, const EmoticonPictures* pictures)
{
    if (!mayChange(text)) {
        out += text;
        return;
    }
    // Emoticon codes are found in the escaped text, which the rare text with a
    // parenthesis is built as first.
    if (text.contains(u'(')) {
        out += escapeForBubble(text.toString(), pictures);
        return;
    }
    appendEscaped(out, text);
}

EmoticonPictures listEmoticonPictures()
{
    const QStringList names = emoticonFolder().entryList(QDir::Files);
    return EmoticonPictures(names.cbegin(), names.cend());
}

QString replaceEmoticons(const QString& text, const EmoticonPictures* pictures)
{
    // Most messages hold no code at all, and matching costs more than this look.
    if (!text.contains(QLatin1Char('(')))
        return text;
    static const QRegularExpression pattern(QStringLiteral("\\([^\\(\\)]+\\)"));
    const auto pictured = [pictures](const QString& code) {
        if (pictures)
            return pictures->contains(code + QLatin1String(".png"));
        return QFileInfo(emoticonFolder().filePath(code + QLatin1String(".png"))).isFile();
    };
    QString result;
    qsizetype last = 0;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString code = match.captured(0);
        result += QStringView(text).mid(last, match.capturedStart(0) - last);
        last = match.capturedEnd(0);
        // The code becomes part of a path: one with a separator is no emoticon.
        const bool plainName = !code.contains(QLatin1Char('/')) && !code.contains(QLatin1Char('\\'));
        if (plainName && pictured(code))
            result +=
                QStringLiteral("<img src=\"vb_emoji/%1.png\" style=\"vertical-align:top;\" />").arg(code);
        else
            result += code;
    }
    result += QStringView(text).mid(last);
    return result;
}

} // namespace BubbleText
