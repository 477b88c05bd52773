#pragma once

#include <QString>

// Message text as HTML for chat bubbles: markup characters escaped, line feeds as
// line breaks, emoji and Viber emoticons as pictures from the "emoji" and "vb_emoji"
// folders.
namespace BubbleText {

QString escapeForBubble(const QString& text);

// "(smiley)" becomes its picture when "vb_emoji/(smiley).png" exists beside the program.
QString replaceEmoticons(const QString& text);

} // namespace BubbleText
