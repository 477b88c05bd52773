#include "ops/BubbleText.h"

#include "app/AppDirs.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace BubbleText {

QString escapeForBubble(const QString& text)
{
    QString html = text;
    html.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    html.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    html.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    html.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    html = ViberText::replaceEmoji(html, [](const QString& code) {
        return QStringLiteral("<img src=\"emoji/%1.png\" style=\"vertical-align:top;\" />").arg(code);
    });
    return replaceEmoticons(html);
}

QString replaceEmoticons(const QString& text)
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
        if (plainName && QFileInfo(assets.filePath(QStringLiteral("vb_emoji/%1.png").arg(code))).isFile())
            result +=
                QStringLiteral("<img src=\"vb_emoji/%1.png\" style=\"vertical-align:top;\" />").arg(code);
        else
            result += code;
    }
    result += QStringView(text).mid(last);
    return result;
}

} // namespace BubbleText
