// Media files named by a database are read to make previews. Property: any bytes give no
// preview or one whose longer side is the preview size, and a header claiming a huge
// picture is refused before it is decoded (the run's memory limit catches a miss).
#include "db/PreviewImage.h"

#include <QBuffer>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QImage image = PreviewImage::read(buffer);
    if (!image.isNull() && qMax(image.width(), image.height()) != PreviewImage::LongerSide)
        std::abort();
    return 0;
}
