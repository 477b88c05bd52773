#include "db/PreviewImage.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

namespace PreviewImage {

namespace {

QImage readBounded(const QString& source, const char* format)
{
    QImageReader reader(source, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxSide || size.height() > MaxSide ||
        qint64(size.width()) * size.height() > MaxPixels)
        return {};
    QSize scaled = size;
    if (size.height() >= size.width())
        scaled = QSize(qMax(1, int(qint64(size.width()) * LongerSide / size.height())), LongerSide);
    else
        scaled = QSize(LongerSide, qMax(1, int(qint64(size.height()) * LongerSide / size.width())));
    // Decoders that can (JPEG) produce the small image directly instead of the full one.
    reader.setScaledSize(scaled);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.size() != scaled)
        image = image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

bool make(const QString& source, const QString& target)
{
    if (source.isEmpty() || target.isEmpty() || !QFileInfo(source).isFile())
        return false;
    QImage image = readBounded(source, "jpeg");
    if (image.isNull())
        image = readBounded(source, "png");
    if (image.isNull())
        return false;
    // Viber names a picture's thumbnail without a suffix; it keeps JPEG there.
    QByteArray format = QFileInfo(target).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        format = QByteArrayLiteral("jpeg");
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace PreviewImage
