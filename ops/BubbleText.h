#pragma once

#include "app/Utf8Out.h"

#include <QSet>
#include <QString>

// Message text as HTML for chat bubbles: markup characters escaped, line feeds as
// line breaks, emoji and Viber emoticons as pictures from the "emoji" and "vb_emoji"
// folders.
namespace BubbleText {

// "&amp;", "&lt;" or "&gt;" for a markup character; empty for any other.
inline QLatin1StringView markupEntity(char16_t unit)
{
    switch (unit) {
    case u'&':
        return QLatin1StringView("&amp;");
    case u'<':
        return QLatin1StringView("&lt;");
    case u'>':
        return QLatin1StringView("&gt;");
    default:
        return QLatin1StringView();
    }
}

// The emoticon pictures there are, by file name ("(smiley).png"): listed once for a run
// that draws many bubbles, where asking the disk about every code showed in the profile.
using EmoticonPictures = QSet<QString>;
EmoticonPictures listEmoticonPictures();

// Emoticon codes become pictures when their file is in pictures, or, without a list,
// when it exists on the disk now.
QString escapeForBubble(const QString& text, const EmoticonPictures* pictures = nullptr);
// The same markup appended as UTF-8.
void appendForBubble(Utf8Out& out, QStringView text, const EmoticonPictures* pictures = nullptr);

// "(smiley)" becomes its picture when "vb_emoji/(smiley).png" exists beside the program.
QString replaceEmoticons(const QString& text, const EmoticonPictures* pictures = nullptr);

} // namespace BubbleText
