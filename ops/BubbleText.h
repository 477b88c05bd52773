#pragma once

#include <QString>

#include <functional>

// Message text as HTML for chat bubbles: markup characters escaped, line feeds as
// line breaks, emoji and Viber emoticons as pictures from the "emoji" and "vb_emoji"
// folders.
namespace BubbleText {

// Told the path, relative to the page ("emoji/1F600.png"), of each picture a text's
// markup names, once per time it names it.
using PictureUse = std::function<void(const QString& relativePath)>;

QString escapeForBubble(const QString& text, const PictureUse& used = {});

// "(smiley)" becomes its picture when "vb_emoji/(smiley).png" exists beside the program.
QString replaceEmoticons(const QString& text, const PictureUse& used = {});

} // namespace BubbleText
