#include "ops/BubbleText.h"

#include "app/AppDirs.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Whether the markup can differ from the text: it holds a markup character, a line feed,
// the start of an emoticon code or an emoji. One look at each character, cheaper than
// building the markup: most texts hold none of these.
bool mayChange(const QString& text)
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

} // namespace

namespace BubbleText {

QString escapeForBubble(const QString& text, const EmoticonPictures* pictures)
{
    if (!mayChange(text))
        return text;
    // One pass, copying the text between what it replaces in runs: markup characters and
    // line feeds, then emoji as pictures (single units of the older encoding and pairs from
    // U+1F000 up, as ViberText::replaceEmoji finds them). This runs for every message of an
    // HTML export.
    QString html;
    html.reserve(text.size() + text.size() / 2);
    qsizetype copied = 0;
    bool emoticonStart = false;
    for (qsizetype i = 0; i < text.size();) {
        const char16_t unit = text[i].unicode();
        QLatin1StringView entity;
        char32_t emoji = 0;
        switch (unit) {
        case u'&':
            entity = QLatin1StringView("&amp;");
            break;
        case u'<':
            entity = QLatin1StringView("&lt;");
            break;
        case u'>':
            entity = QLatin1StringView("&gt;");
            break;
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
        html += QStringView(text).mid(copied, i - copied);
        if (emoji == 0) {
            html += entity;
            ++i;
        } else {
            html += QLatin1String("<img src=\"emoji/");
            html += QString::number(emoji, 16).toUpper();
            html += QLatin1String(".png\" style=\"vertical-align:top;\" />");
            i += emoji > 0xFFFF ? 2 : 1;
        }
        copied = i;
    }
    html += QStringView(text).mid(copied);
    return emoticonStart ? replaceEmoticons(html, pictures) : html;
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
