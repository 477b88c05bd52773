#include "db/ModernMessageRow.h"

#include "app/AppDirs.h"
#include "db/ModernAndroidViberDb.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberCodes.h"
#include "db/ViberMessageInfo.h"
#include "db/ViberMsg.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

namespace {

constexpr auto AppMediaFolder = "Android/data/com.viber.voip/files/";
// The desktop app's kind code of a shared contact, kept in a record's extra columns as
// today's Android app's is.
constexpr int DesktopContactCard = 10;

int keptCode(const _ViberMsg& message, const char* key)
{
    const QVariant value = message.extraMap().value(QLatin1String(key));
    return value.isValid() ? value.toInt() : -1;
}

bool isContactCard(const _ViberMsg& message)
{
    return message.text.startsWith(QLatin1String("[CONTACT]")) &&
           (keptCode(message, "extra_mime") == ModernAndroidViberDb::ContactCard ||
            keptCode(message, "Type") == DesktopContactCard);
}

bool isFile(const _ViberMsg& message)
{
    return message.type == ViberMsgType::Text && message.attachment &&
           !message.attachment->fileName.trimmed().isEmpty();
}

bool isGif(const _ViberMsg& message)
{
    return keptCode(message, "extra_mime") == ModernAndroidViberDb::Gif ||
           (message.attachment && QFileInfo(message.attachment->fileName)
                                          .suffix()
                                          .compare(QLatin1String("gif"), Qt::CaseInsensitive) == 0);
}

QString toJson(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// A file's caption is what its record's text holds besides the "[FILE] name" line.
QString fileCaption(const _ViberMsg& message, const QString& name)
{
    const QString line = ViberMessageInfo::fileText(name, QString());
    if (message.text == line)
        return {};
    if (message.text.startsWith(line + QLatin1Char(' ')))
        return message.text.mid(line.size() + 1);
    return message.text;
}

// "[CONTACT] name number": the number is the last word when it looks like one.
QJsonObject contactCardInfo(const QString& text)
{
    const QString rest = text.mid(int(qstrlen("[CONTACT]"))).trimmed();
    static const QRegularExpression trailingNumber(QStringLiteral("^(.*?)\\s*(\\+?[0-9][0-9 ()-]{2,})$"));
    const QRegularExpressionMatch match = trailingNumber.match(rest);
    QJsonObject info;
    info.insert(QStringLiteral("Name"), match.hasMatch() ? match.captured(1) : rest);
    if (match.hasMatch())
        info.insert(QStringLiteral("PhoneNumber"), match.captured(2));
    return info;
}

QJsonObject fileInfo(const _ViberAtta& atta, const char* contentType, const QString& name, qint64 durationMs)
{
    QJsonObject info;
    info.insert(QStringLiteral("ContentType"), QLatin1String(contentType));
    if (!name.isEmpty()) {
        info.insert(QStringLiteral("FileName"), name);
        const QString suffix = QFileInfo(name).suffix();
        if (!suffix.isEmpty())
            info.insert(QStringLiteral("FileExt"), suffix);
    }
    if (atta.fileSize > 0)
        info.insert(QStringLiteral("FileSize"), atta.fileSize);
    if (durationMs > 0)
        info.insert(QStringLiteral("Duration"), durationMs);
    return info;
}

// The hex part of the app's media names: the MD5 of the media's download id. A source
// without one names the message by its token, which keeps the name the same on every
// transfer of the same message.
QString mediaHex(const _ViberMsg& message)
{
    const _ViberAtta& atta = *message.attachment;
    if (message.type != ViberMsgType::Sticker && !atta.fileId.trimmed().isEmpty())
        return AppDirs::md5Hex(atta.fileId.trimmed());
    return AppDirs::md5Hex(QStringLiteral("velliport-%1-%2").arg(message.token).arg(message.date, 0, 'f', 3));
}

qint64 milliseconds(double seconds)
{
    return std::isfinite(seconds) && seconds > 0 && seconds < 1e9 ? qint64(std::llround(seconds * 1000)) : 0;
}

qint64 microdegrees(double degrees)
{
    return std::isfinite(degrees) ? qint64(std::llround(degrees * 1e6)) : 0;
}

} // namespace

bool ModernMessageRow::isWritable(const _ViberMsg& message)
{
    switch (message.type) {
    case ViberMsgType::Text:
    case ViberMsgType::Picture:
    case ViberMsgType::Video:
    case ViberMsgType::Voice:
    case ViberMsgType::Sticker:
    case ViberMsgType::Location:
        return message.systemType == ViberSystemType::None;
    case ViberMsgType::Call:
        return message.call &&
               (message.call->kind == ViberCallKind::Incoming ||
                message.call->kind == ViberCallKind::Outgoing || message.call->kind == ViberCallKind::Missed);
    default:
        return false;
    }
}

bool ModernMessageRow::hasMedia(int kind)
{
    using K = ModernAndroidViberDb;
    return kind == K::Picture || kind == K::Gif || kind == K::Video || kind == K::Voice || kind == K::File;
}

QString ModernMessageRow::mediaRelativePath(const _ViberMsg& message, int kind)
{
    if (!message.attachment)
        return {};
    const QString files = QLatin1String(AppMediaFolder);
    switch (message.type) {
    case ViberMsgType::Picture:
        return kind == ModernAndroidViberDb::Gif
                   ? files + QStringLiteral(".gif/%1.gif").arg(mediaHex(message))
                   : files + QStringLiteral(".image/IMG-%1-V.jpg").arg(mediaHex(message));
    case ViberMsgType::Video:
        return files + QStringLiteral(".video/video-%1-V.mp4").arg(mediaHex(message));
    case ViberMsgType::Voice:
        return files + QStringLiteral(".ptt/%1.m4a").arg(mediaHex(message));
    case ViberMsgType::Text: {
        if (!isFile(message))
            return {};
        const QString name = AppDirs::sanitizeFileName(message.attachment->fileName);
        return name.isEmpty() ? QString()
                              : files + QStringLiteral(".import/%1-%2").arg(mediaHex(message).left(8), name);
    }
    default:
        return {};
    }
}

ModernMessageRow ModernMessageRow::build(const _ViberMsg& message, const QString& uriText)
{
    ModernMessageRow row;
    const _ViberAtta* atta = message.attachment;
    if (atta && message.type != ViberMsgType::Sticker && !atta->fileId.trimmed().isEmpty())
        row.downloadId = atta->fileId.trimmed();
    switch (message.type) {
    case ViberMsgType::Picture:
        row.kind = isGif(message) ? ModernAndroidViberDb::Gif : ModernAndroidViberDb::Picture;
        row.body = message.text;
        row.uri = uriText;
        if (atta)
            row.msgInfo = toJson({{QStringLiteral("fileInfo"), fileInfo(*atta, "image", QString(), 0)}});
        break;
    case ViberMsgType::Video:
        row.kind = ModernAndroidViberDb::Video;
        row.body = message.text;
        row.uri = uriText;
        if (atta) {
            row.durationMs = milliseconds(atta->duration);
            row.msgInfo =
                toJson({{QStringLiteral("fileInfo"), fileInfo(*atta, "video", QString(), row.durationMs)}});
        }
        break;
    case ViberMsgType::Voice:
        row.kind = ModernAndroidViberDb::Voice;
        row.uri = uriText;
        if (atta) {
            row.durationMs = milliseconds(atta->duration);
            row.msgInfo = toJson(
                {{QStringLiteral("audio_ptt"), QJsonObject{{QStringLiteral("duration"), row.durationMs}}}});
        }
        break;
    case ViberMsgType::Sticker:
        row.kind = ModernAndroidViberDb::Sticker;
        if (atta)
            row.uploadId = atta->fileId.trimmed().toLongLong();
        break;
    case ViberMsgType::Location:
        row.kind = ModernAndroidViberDb::Location;
        row.body = message.text;
        row.hasLocation = message.hasLocation();
        row.latitude = microdegrees(message.location.latitude());
        row.longitude = microdegrees(message.location.longitude());
        if (!message.location.address().isEmpty())
            row.msgInfo = toJson({{QStringLiteral("locationInfo"),
                                   QJsonObject{{QStringLiteral("address"), message.location.address()}}}});
        break;
    case ViberMsgType::Call:
        row.kind = ModernAndroidViberDb::Call;
        // The old generation's bubble texts; the call itself is in messages_calls.
        switch (message.call ? message.call->kind : 0) {
        case ViberCallKind::Incoming:
            row.body = QStringLiteral("incoming_call");
            break;
        case ViberCallKind::Outgoing:
            row.body = QStringLiteral("outgoing_call");
            break;
        default:
            row.body = QStringLiteral("missed_call");
            break;
        }
        if (message.call)
            row.durationMs = qint64(message.call->duration) * 1000;
        break;
    default:
        if (isFile(message)) {
            const QString name = AppDirs::sanitizeFileName(atta->fileName);
            row.kind = ModernAndroidViberDb::File;
            row.uri = uriText;
            row.body = fileCaption(message, atta->fileName.trimmed());
            row.msgInfo = toJson({{QStringLiteral("fileInfo"), fileInfo(*atta, "file", name, 0)}});
        } else if (isContactCard(message)) {
            row.kind = ModernAndroidViberDb::ContactCard;
            row.msgInfo = toJson(contactCardInfo(message.text));
        } else {
            row.kind = ModernAndroidViberDb::Text;
            row.body = message.text;
        }
        break;
    }
    return row;
}
