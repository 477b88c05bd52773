#pragma once

#include <QJsonObject>
#include <QString>

// The message-info object Viber exchanges between a person's devices (Android msg_info,
// desktop Messages.Info, iPhone ZMETADATA), and the lines the readers of today's files
// build from it for kinds the records have no type of their own for.
namespace ViberMessageInfo {

// Lenient: keys come and go, and damaged, empty ("" or "{}") or oversized texts give an
// empty object.
QJsonObject parse(const QString& text);
// Numbers arrive as numbers or as strings, depending on the sending device.
qint64 integer(const QJsonValue& value);
QString text(const QJsonValue& value);

// The token of the message an edit's history row stands for; 0 for every other row.
// Such rows are no messages: the edited message keeps its row with the final text.
qint64 editedToken(const QJsonObject& info, qint64 ownToken);

// "[CONTACT] name number", from the shared card's keys, with the row's text after it.
QString contactCardText(const QJsonObject& info, const QString& body);
// "[FILE] name caption".
QString fileText(const QString& fileName, const QString& caption);
// The line left where a sender deleted a message.
QString deletedText();
// "[type 1011] body": a kind no reader knows, shown as stored.
QString unknownKindText(qint64 code, const QString& body);

// A place the object describes (a location sent as a rich message): its name, address
// and coordinates in degrees. Found under "locationInfo" or "location"; which keys a
// phone writes there is not documented, so the usual spellings are all taken.
struct Place
{
    QString name;
    QString address;
    double latitude = 0;
    double longitude = 0;

    bool hasCoordinates() const { return latitude != 0 && longitude != 0; }
};
Place place(const QJsonObject& info);

// "[KEYBOARD] Menu | Orders": the button texts of a bot's keyboard or rich message
// ("keyboard", or "keyboard" or "rich_media" in "pa_message_data"), markup removed;
// empty when the object carries no buttons.
QString keyboardText(const QJsonObject& info);

// The extension a message's file had on the sending phone: fileInfo's "FileExt", else
// the suffix of its "FileName"; without a dot, safe as a file name suffix, or empty.
QString fileExtension(const QJsonObject& fileInfo);

} // namespace ViberMessageInfo
