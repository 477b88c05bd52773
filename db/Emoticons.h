#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Viber's own emoticons: short codes in parentheses, such as "(smiley)", with their
// emoticon numbers.
namespace Emoticons {

// Built once on first use, safely from any thread.
const QHash<QString, int>& emoticonTable();

// 12 bytes per known code in text order: position and length (UTF-16 units, the
// parentheses included) and the emoticon number, each a little-endian int32.
QByteArray emoticonRanges(const QString& text);

} // namespace Emoticons
