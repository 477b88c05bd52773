#include "db/ViberMessageInfo.h"

#include <QJsonDocument>
#include <QStringList>

namespace ViberMessageInfo {

namespace {

// The object is small; anything far larger is damage and is not parsed.
constexpr qsizetype MaxInfoLength = 256 * 1024;

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

} // namespace ViberMessageInfo
