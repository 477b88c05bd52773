#include "db/ViberMessageInfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace ViberMessageInfo {

namespace {

// The object is small; anything far larger is damage and is not parsed.
constexpr qsizetype MaxInfoLength = 256 * 1024;
// A keyboard has at most a few dozen buttons; more is damage, and the line stays short.
constexpr qsizetype MaxButtons = 64;
constexpr qsizetype MaxExtensionLength = 16;

QString labelledLine(const QString& label, const QStringList& parts)
{
    QStringList kept;
    for (const QString& part : parts) {
        const QString trimmed = part.trimmed();
        if (!trimmed.isEmpty() && !kept.contains(trimmed))
            kept.append(trimmed);
    }
    return kept.isEmpty() ? label : label + QLatin1Char(' ') + kept.join(QLatin1Char(' '));
}

// The first of the keys that holds a value.
QJsonValue firstOf(const QJsonObject& object, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isNull())
            return value;
    }
    return {};
}

// Degrees as a number or a string; the integer columns' millionths when beyond the
// range of degrees; 0 for anything else.
double degrees(const QJsonValue& value, double limit)
{
    double number = value.isString() ? value.toString().trimmed().toDouble() : value.toDouble();
    if (!std::isfinite(number))
        return 0;
    if (std::abs(number) > limit)
        number /= 1e6;
    return std::abs(number) <= limit ? number : 0;
}

// Button texts may carry the markup bots style them with ("<font color=...>", "<br>").
QString plainButtonText(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^<>]*>"));
    QString plain = text;
    plain.replace(lineBreak, QStringLiteral(" ")).remove(tag);
    plain.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    return plain.simplified();
}

} // namespace

QJsonObject parse(const QString& text)
{
    // Most rows hold "{}"; they need no parser.
    if (text.size() <= 2 || text.size() > MaxInfoLength)
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    return doc.isObject() ? doc.object() : QJsonObject();
}

qint64 integer(const QJsonValue& value)
{
    if (value.isString())
        return value.toString().trimmed().toLongLong();
    return value.toInteger();
}

QString text(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toInteger());
    return {};
}

qint64 editedToken(const QJsonObject& info, qint64 ownToken)
{
    const qint64 token = integer(info.value(QLatin1String("edit")).toObject().value(QLatin1String("token")));
    return token != ownToken ? token : 0;
}

QString contactCardText(const QJsonObject& info, const QString& body)
{
    QString number = text(info.value(QLatin1String("PhoneNumber")));
    if (number.isEmpty())
        number = text(info.value(QLatin1String("ViberNumber")));
    return labelledLine(QStringLiteral("[CONTACT]"), {text(info.value(QLatin1String("Name"))), number, body});
}

QString fileText(const QString& fileName, const QString& caption)
{
    return labelledLine(QStringLiteral("[FILE]"), {fileName, caption});
}

QString deletedText()
{
    return QStringLiteral("[MESSAGE DELETED]");
}

QString unknownKindText(qint64 code, const QString& body)
{
    return labelledLine(QStringLiteral("[type %1]").arg(code), {body});
}

Place place(const QJsonObject& info)
{
    const QJsonObject where = firstOf(info, {"locationInfo", "location"}).toObject();
    if (where.isEmpty())
        return {};
    Place found;
    found.name = text(firstOf(where, {"name", "Name", "title", "Title", "place"})).trimmed();
    found.address = text(firstOf(where, {"address", "Address"})).trimmed();
    found.latitude = degrees(firstOf(where, {"lat", "latitude", "Latitude"}), 90);
    found.longitude = degrees(firstOf(where, {"lng", "lon", "longitude", "Longitude"}), 180);
    return found;
}

QString keyboardText(const QJsonObject& info)
{
    const QJsonObject bot = info.value(QLatin1String("pa_message_data")).toObject();
    QJsonArray buttons;
    for (const QJsonValue& holder :
         {info.value(QLatin1String("keyboard")), bot.value(QLatin1String("keyboard")),
          bot.value(QLatin1String("rich_media"))}) {
        buttons = holder.toObject().value(QLatin1String("Buttons")).toArray();
        if (!buttons.isEmpty())
            break;
    }
    if (buttons.isEmpty())
        return {};
    QStringList texts;
    for (qsizetype i = 0; i < buttons.size() && i < MaxButtons; ++i) {
        const QString shown = plainButtonText(text(buttons.at(i).toObject().value(QLatin1String("Text"))));
        if (!shown.isEmpty() && !texts.contains(shown))
            texts.append(shown);
    }
    const QString label = QStringLiteral("[KEYBOARD]");
    return texts.isEmpty() ? label : label + QLatin1Char(' ') + texts.join(QLatin1String(" | "));
}

QString fileExtension(const QJsonObject& fileInfo)
{
    QString extension = text(fileInfo.value(QLatin1String("FileExt"))).trimmed();
    if (extension.isEmpty()) {
        const QString name = text(fileInfo.value(QLatin1String("FileName"))).trimmed();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        extension = dot > 0 ? name.mid(dot + 1) : QString();
    }
    while (extension.startsWith(QLatin1Char('.')))
        extension.remove(0, 1);
    const bool safe = !extension.isEmpty() && extension.size() <= MaxExtensionLength &&
                      std::all_of(extension.cbegin(), extension.cend(),
                                  [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 0x80; });
    return safe ? extension.toLower() : QString();
}

} // namespace ViberMessageInfo
