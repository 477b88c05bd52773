#include "db/PhoneMediaPaths.h"

#include "app/AppDirs.h"
#include "db/ViberAtta.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMsg.h"

#include <QDir>
#include <QUrl>

namespace PhoneMediaPaths {

namespace {

constexpr qsizetype MaxPathLength = 4096;

QString localPathOf(const QString& uriText)
{
    if (uriText.startsWith(u'/'))
        return uriText;
    const QUrl url(uriText, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile())
        return QString();
    return url.toLocalFile();
}

QString fileKey(const _ViberMsg& message)
{
    return QString::number(message.token > 0 ? message.token : ViberDates::refToUnixMs(message.date));
}

} // namespace

QString mediaRelativePath(const QString& uriText)
{
    if (uriText.size() > MaxPathLength)
        return QString();
    const QString path = localPathOf(uriText.trimmed());
    if (path.isEmpty() || !path.startsWith(u'/'))
        return QString();
    // Newlines would end a protocol line early, and the other controls have no place in
    // a phone path either.
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QString();
    }
    const QStringList segments = path.split(u'/');
    if (segments.contains(QStringLiteral("..")))
        return QString();
    const QString cleaned = QDir::cleanPath(path);
    const QString prefix = QLatin1String(MediaPrefix);
    const qsizetype at = cleaned.indexOf(u'/' + prefix);
    if (at < 0)
        return QString();
    const QString relative = cleaned.mid(at + 1);
    return relative.size() > prefix.size() ? relative : QString();
}

QString phoneFileName(const QString& name, const QString& fallback)
{
    const QString safe = AppDirs::sanitizeFileName(name);
    return safe.isEmpty() ? fallback : safe;
}

Media forMessage(const _ViberMsg& message)
{
    const _ViberAtta* atta = message.attachment;
    if (!atta)
        return {};
    QString folder;
    QString previewFolder;
    QString previewSuffix;
    QString name;
    switch (message.type) {
    case ViberMsgType::Picture:
        folder = QStringLiteral("viber/media/Viber Images/");
        previewFolder = QStringLiteral("viber/media/.thumbnails/");
        name = phoneFileName(atta->fileName, fileKey(message));
        break;
    case ViberMsgType::Video:
        folder = QStringLiteral("viber/media/Viber Videos/");
        previewFolder = QStringLiteral("viber/media/.thumbnails/");
        previewSuffix = QStringLiteral(".jpg");
        name = phoneFileName(atta->fileName, fileKey(message));
        break;
    case ViberMsgType::Voice: {
        folder = QStringLiteral("viber/media/.ptt/");
        // The app names a voice file by its bare name in extra_uri; a URI or path there
        // is left to the rule below.
        const QString named = message.extraMap().value(QStringLiteral("extra_uri")).toString();
        name = !named.contains(u':') && AppDirs::sanitizeFileName(named) == named && !named.isEmpty()
                   ? named
                   : fileKey(message);
        break;
    }
    default:
        return {};
    }
    const QVariantMap extra = message.extraMap();
    Media media;
    media.bareName = message.type == ViberMsgType::Voice;
    media.mediaLocal = atta->localPath;
    media.mediaRelative = mediaRelativePath(extra.value(QStringLiteral("extra_uri")).toString());
    if (media.mediaRelative.isEmpty())
        media.mediaRelative = folder + name;
    if (!previewFolder.isEmpty()) {
        media.previewLocal = atta->previewPath;
        media.previewRelative = mediaRelativePath(extra.value(QStringLiteral("body")).toString());
        if (media.previewRelative.isEmpty())
            media.previewRelative = previewFolder + name + previewSuffix;
    }
    return media;
}

} // namespace PhoneMediaPaths
