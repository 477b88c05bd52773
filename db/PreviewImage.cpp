#include "db/PreviewImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

namespace PreviewImage {

namespace {

QImage readBounded(QIODevice& device, const char* format)
{
    QImageReader reader(&device, format);
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

QImage read(QIODevice& device)
{
    for (const char* format : {"jpeg", "png"}) {
        if (!device.seek(0))
            return {};
        QImage image = readBounded(device, format);
        if (!image.isNull())
            return image;
    }
    return {};
}

bool make(const QString& source, const QString& target)
{
    if (source.isEmpty() || target.isEmpty() || !QFileInfo(source).isFile())
        return false;
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly))
        return false;
    const QImage image = read(input);
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
