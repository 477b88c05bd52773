#include "ops/BubbleText.h"

#include "app/AppDirs.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Whether the markup can differ from the text: it holds a markup character, a line feed,
// the start of an emoticon code or an emoji. One look at each character, where the full
// treatment takes four passes: most texts hold none of these.
bool mayChange(const QString& text)
{
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit == u'&' || unit == u'<' || unit == u'>' || unit == u'\n' || unit == u'(' ||
            QChar::isSurrogate(unit) || ViberText::isSingleUnitEmoji(unit))
            return true;
    }
    return false;
}

} // namespace

namespace BubbleText {

QString escapeForBubble(const QString& text, const PictureUse& used)
{
    if (!mayChange(text))
        return text;
    // One pass, copying the text between markup characters in runs; a text without any
    // (most of them) stays shared. This runs for every message of an HTML export.
    QString html;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QLatin1StringView entity;
        switch (text.at(i).unicode()) {
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
        default:
            continue;
        }
        html += QStringView(text).mid(copied, i - copied);
        html += entity;
        copied = i + 1;
    }
    if (copied == 0)
        html = text;
    else
        html += QStringView(text).mid(copied);
    html = ViberText::replaceEmoji(html, [&used](const QString& code) {
        const QString picture = QStringLiteral("emoji/%1.png").arg(code);
        if (used)
            used(picture);
        return QStringLiteral("<img src=\"%1\" style=\"vertical-align:top;\" />").arg(picture);
    });
    return replaceEmoticons(html, used);
}

QString replaceEmoticons(const QString& text, const PictureUse& used)
{
    // Most messages hold no code at all, and matching costs more than this look.
    if (!text.contains(QLatin1Char('(')))
        return text;
    static const QRegularExpression pattern(QStringLiteral("\\([^\\(\\)]+\\)"));
    const QDir assets(AppDirs::assetFolder());
    QString result;
    qsizetype last = 0;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString code = match.captured(0);
        result += QStringView(text).mid(last, match.capturedStart(0) - last);
        last = match.capturedEnd(0);
        // The code becomes part of a path: one with a separator is no emoticon.
        const bool plainName = !code.contains(QLatin1Char('/')) && !code.contains(QLatin1Char('\\'));
        const QString picture = QStringLiteral("vb_emoji/%1.png").arg(code);
        if (plainName && QFileInfo(assets.filePath(picture)).isFile()) {
            if (used)
                used(picture);
            result += QStringLiteral("<img src=\"%1\" style=\"vertical-align:top;\" />").arg(picture);
        } else {
            result += code;
        }
    }
    result += QStringView(text).mid(last);
    return result;
}

} // namespace BubbleText
