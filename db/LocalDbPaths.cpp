#include "db/LocalDbPaths.h"

#include "app/AppDirs.h"
#include "app/TextScan.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>

#include <cmath>

namespace LocalDbPaths {

namespace {

// Sticker numbers are small; a longer run of digits is not one.
constexpr int MaxStickerDigits = 12;

QString absolute(const QString& folder, const QString& relative)
{
    return AppDirs::pathInside(folder, relative);
}

// QFileInfo's fileName() and whether its suffix() is empty, read from the text alone:
// an export asks this for every attachment, and a QFileInfo each cost more than the rest
// of naming the copy.
QStringView fileNameOf(QStringView path)
{
    qsizetype slash = TextScan::lastSlash(path);
#ifdef Q_OS_WIN
    slash = qMax(slash, TextScan::lastIndexOf(path, u'\\'));
#endif
    return path.mid(slash + 1);
}

bool hasSuffix(QStringView fileName)
{
    const qsizetype dot = TextScan::lastIndexOf(fileName, u'.');
    return dot >= 0 && dot + 1 < fileName.size();
}

} // namespace

QString mapImageName(double latitude, double longitude)
{
    // A longitude read from a file may be anything; one no integer holds names no place.
    if (!std::isfinite(longitude) || std::abs(longitude) >= 1e15) {
        qWarning("longitude %g is out of range and named as 0", longitude);
        longitude = 0;
    }
    QString lat = QString::number(latitude, 'g', 8);
    const qsizetype dot = lat.indexOf(QLatin1Char('.'));
    lat = lat.leftJustified(dot < 0 ? 6 : dot + 7, QLatin1Char('0'));
    return QStringLiteral("%1_%2.jpg").arg(lat).arg(static_cast<qint64>(longitude));
}

QString safeFileName(const QString& name)
{
    return AppDirs::sanitizeFileName(name);
}

QString mediaCopyName(const QString& localPath, const QString& attachmentName)
{
    const QStringView own = fileNameOf(localPath);
    if (!hasSuffix(own)) {
        QString wanted = safeFileName(attachmentName);
        if (hasSuffix(wanted))
            return wanted;
    }
    return safeFileName(own.toString());
}

QString videoPreviewName(const QString& fileName)
{
    const QString safe = safeFileName(fileName);
    const qsizetype dot = safe.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? safe : safe.left(dot);
    return base.isEmpty() ? QString() : base + QLatin1String(".jpg");
}

QString stickerRelativePath(const QString& fileId)
{
    if (fileId.isEmpty() || fileId.size() > MaxStickerDigits)
        return {};
    for (QChar c : fileId) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    }
    const qint64 n = fileId.toLongLong();
    return QStringLiteral("Documents/stickers/%1/100/%2.png")
        .arg((n / 100) * 100)
        .arg(fileId, 8, QLatin1Char('0'));
}

QString fileIn(const QString& folder, const char* subFolder, const QString& name)
{
    const QString safe = safeFileName(name);
    if (safe.isEmpty())
        return {};
    return absolute(folder, QLatin1String(subFolder) + QLatin1Char('/') + safe);
}

QString attachmentPath(const QString& folder, const QString& fileName)
{
    return fileIn(folder, AttachmentsFolder, fileName);
}

QString previewPath(const QString& folder, const QString& fileName)
{
    return fileIn(folder, PreviewFolder, fileName);
}

QString bigPreviewPath(const QString& folder, const QString& fileName)
{
    return fileIn(folder, BigPreviewFolder, fileName);
}

QString voicePath(const QString& folder, const QString& fileName)
{
    return fileIn(folder, VoiceFolder, fileName);
}

QString mapImagePath(const QString& folder, double latitude, double longitude)
{
    return fileIn(folder, MapImageFolder, mapImageName(latitude, longitude));
}

QString stickerPath(const QString& folder, const QString& fileId)
{
    const QString relative = stickerRelativePath(fileId);
    return relative.isEmpty() ? QString() : absolute(folder, relative);
}

QString contactIconPath(const QString& folder, const QString& number)
{
    const QString canonical = ViberText::canonicalNumber(number);
    if (canonical.isEmpty())
        return {};
    return fileIn(folder, ContactIconFolder, canonical + QLatin1String(".jpg"));
}

} // namespace LocalDbPaths
