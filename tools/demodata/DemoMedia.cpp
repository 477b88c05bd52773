#include "tools/demodata/DemoMedia.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtEndian>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace DemoMedia {

namespace {

void prepareFolder(const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw std::runtime_error("cannot create the folder of " + path.toStdString());
}

void save(const QImage& image, const QString& path, const char* format)
{
    prepareFolder(path);
    if (!image.save(path, format, 88))
        throw std::runtime_error("cannot write " + path.toStdString());
}

void saveBytes(const QByteArray& bytes, const QString& path)
{
    prepareFolder(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void sky(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient gradient(r.topLeft(), r.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    p.fillRect(r, gradient);
}

void hills(QPainter& p, const QRectF& r, qreal base, qreal height, qreal waves, qreal phase,
           const QColor& colour)
{
    QPainterPath path;
    path.moveTo(r.left(), r.bottom());
    for (int x = 0; x <= int(r.width()); x += 8) {
        const qreal t = x / r.width();
        path.lineTo(r.left() + x,
                    base - height * (0.5 + 0.5 * std::sin(t * waves * 2 * std::numbers::pi + phase)));
    }
    path.lineTo(r.right(), r.bottom());
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

void sun(QPainter& p, QPointF centre, qreal radius, const QColor& colour)
{
    QRadialGradient glow(centre, radius * 2.5);
    glow.setColorAt(0, colour);
    glow.setColorAt(0.4, QColor(colour.red(), colour.green(), colour.blue(), 90));
    glow.setColorAt(1, Qt::transparent);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, radius * 2.5, radius * 2.5);
    p.setBrush(colour);
    p.drawEllipse(centre, radius, radius);
}

void drawMountains(QPainter& p, const QRectF& r, qreal sunX)
{
    sky(p, r, QColor(110, 170, 230), QColor(250, 214, 165));
    sun(p, QPointF(r.width() * sunX, r.height() * 0.3), r.height() * 0.07, QColor(255, 236, 170));
    QPolygonF peaks;
    peaks << QPointF(0, r.height() * 0.75);
    const qreal tops[] = {0.45, 0.3, 0.5, 0.25, 0.42, 0.55};
    for (int i = 0; i < 6; ++i)
        peaks << QPointF(r.width() * (i + 0.5) / 6, r.height() * tops[i])
              << QPointF(r.width() * (i + 1) / 6, r.height() * (tops[i] + 0.22));
    peaks << QPointF(r.width(), r.height()) << QPointF(0, r.height());
    p.setBrush(QColor(92, 107, 138));
    p.drawPolygon(peaks);
    hills(p, r, r.height() * 0.85, r.height() * 0.12, 2.5, 0.4, QColor(76, 140, 74));
    hills(p, r, r.height() * 0.97, r.height() * 0.08, 3.5, 1.7, QColor(56, 112, 60));
}

// The mountains seen from the shore of a lake that mirrors them.
void drawLake(QPainter& p, const QRectF& r)
{
    drawMountains(p, r, 0.7);
    const QRectF water(0, r.height() * 0.68, r.width(), r.height() * 0.32);
    QLinearGradient gradient(water.topLeft(), water.bottomLeft());
    gradient.setColorAt(0, QColor(90, 140, 190));
    gradient.setColorAt(1, QColor(40, 90, 140));
    p.fillRect(water, gradient);
    p.setPen(QPen(QColor(255, 255, 255, 110), r.height() * 0.006));
    for (int ripple = 0; ripple < 8; ++ripple) {
        const qreal y = water.top() + water.height() * (0.12 + ripple * 0.11);
        const qreal x = r.width() * (0.08 + (ripple * 37 % 70) / 100.0);
        p.drawLine(QPointF(x, y), QPointF(x + r.width() * 0.12, y));
    }
    hills(p, r, r.height() * 0.99, r.height() * 0.05, 1.0, 0.8, QColor(70, 110, 60));
}

void drawBeach(QPainter& p, const QRectF& r)
{
    sky(p, r, QColor(64, 156, 255), QColor(190, 230, 255));
    sun(p, QPointF(r.width() * 0.78, r.height() * 0.2), r.height() * 0.06, QColor(255, 245, 200));
    p.fillRect(QRectF(0, r.height() * 0.55, r.width(), r.height() * 0.2), QColor(0, 128, 170));
    hills(p, r, r.height() * 0.8, r.height() * 0.06, 1.2, 2.0, QColor(238, 214, 160));
    p.setPen(QPen(QColor(255, 255, 255, 160), r.height() * 0.01));
    for (int wave = 0; wave < 5; ++wave) {
        const qreal y = r.height() * (0.6 + wave * 0.03);
        p.drawLine(QPointF(r.width() * (0.1 + wave * 0.15), y), QPointF(r.width() * (0.2 + wave * 0.15), y));
    }
    p.setPen(QPen(QColor(110, 76, 50), r.height() * 0.025, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(r.width() * 0.2, r.height() * 0.82), QPointF(r.width() * 0.26, r.height() * 0.42));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(46, 125, 50));
    for (int leaf = 0; leaf < 5; ++leaf) {
        p.save();
        p.translate(r.width() * 0.26, r.height() * 0.42);
        p.rotate(-150 + leaf * 50);
        p.drawEllipse(QRectF(0, -r.height() * 0.02, r.width() * 0.12, r.height() * 0.04));
        p.restore();
    }
}

void drawCity(QPainter& p, const QRectF& r)
{
    sky(p, r, QColor(20, 24, 60), QColor(120, 70, 130));
    sun(p, QPointF(r.width() * 0.2, r.height() * 0.2), r.height() * 0.05, QColor(240, 240, 225));
    const int buildings = 14;
    for (int i = 0; i < buildings; ++i) {
        const qreal w = r.width() / buildings;
        const qreal h = r.height() * (0.3 + 0.35 * std::abs(std::sin(i * 1.7)));
        const QRectF block(i * w, r.height() - h, w * 0.92, h);
        p.fillRect(block, QColor(30 + i % 3 * 8, 34, 58));
        for (qreal y = block.top() + 10; y < block.bottom() - 10; y += 18) {
            for (qreal x = block.left() + 6; x < block.right() - 8; x += 14) {
                if (int(x * 7 + y * 3) % 5 != 0)
                    p.fillRect(QRectF(x, y, 6, 9), QColor(255, 214, 120));
            }
        }
    }
}

void drawForest(QPainter& p, const QRectF& r)
{
    sky(p, r, QColor(160, 200, 225), QColor(225, 236, 220));
    hills(p, r, r.height() * 0.7, r.height() * 0.1, 1.5, 0.0, QColor(120, 160, 110));
    for (int i = 0; i < 11; ++i) {
        const qreal x = r.width() * (0.04 + i * 0.09);
        const qreal h = r.height() * (0.35 + 0.15 * std::abs(std::cos(i * 2.3)));
        const qreal ground = r.height() * 0.9;
        p.fillRect(QRectF(x - 5, ground - h * 0.2, 10, h * 0.2), QColor(101, 67, 33));
        p.setBrush(QColor(34, 100 + i % 3 * 15, 52));
        p.drawPolygon(QPolygonF({QPointF(x, ground - h), QPointF(x + h * 0.22, ground - h * 0.15),
                                 QPointF(x - h * 0.22, ground - h * 0.15)}));
    }
    p.fillRect(QRectF(0, r.height() * 0.9, r.width(), r.height() * 0.1), QColor(86, 130, 60));
}

void drawCake(QPainter& p, const QRectF& r)
{
    sky(p, r, QColor(255, 236, 240), QColor(250, 210, 220));
    const QRectF plate(r.width() * 0.2, r.height() * 0.78, r.width() * 0.6, r.height() * 0.08);
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(plate);
    const QRectF cake(r.width() * 0.28, r.height() * 0.45, r.width() * 0.44, r.height() * 0.37);
    p.setBrush(QColor(140, 86, 60));
    p.drawRoundedRect(cake, 12, 12);
    p.setBrush(QColor(255, 250, 240));
    p.drawRoundedRect(QRectF(cake.left(), cake.top(), cake.width(), cake.height() * 0.3), 12, 12);
    p.setBrush(QColor(230, 60, 90));
    for (int berry = 0; berry < 5; ++berry)
        p.drawEllipse(QPointF(cake.left() + cake.width() * (0.15 + berry * 0.175), cake.top() + 6), 12, 12);
    for (int candle = 0; candle < 3; ++candle) {
        const qreal x = cake.left() + cake.width() * (0.3 + candle * 0.2);
        p.fillRect(QRectF(x - 5, cake.top() - 60, 10, 60), QColor(120, 170, 240));
        p.setBrush(QColor(255, 190, 40));
        p.drawEllipse(QPointF(x, cake.top() - 72), 8, 13);
    }
}

void drawScene(QPainter& p, const QRectF& r, Scene scene, qreal sunX = 0.3)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    switch (scene) {
    case Scene::Mountains:
        drawMountains(p, r, sunX);
        break;
    case Scene::Lake:
        drawLake(p, r);
        break;
    case Scene::Beach:
        drawBeach(p, r);
        break;
    case Scene::City:
        drawCity(p, r);
        break;
    case Scene::Forest:
        drawForest(p, r);
        break;
    case Scene::Cake:
        drawCake(p, r);
        break;
    }
}

void put32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void put16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void patch32(QByteArray& out, qsizetype at, quint32 value)
{
    qToLittleEndian(value, out.data() + at);
}

// Opens a RIFF chunk or list and returns where its size field is, for closeChunk.
qsizetype openChunk(QByteArray& out, const char* id, const char* listType = nullptr)
{
    out.append(id, 4);
    const qsizetype sizeAt = out.size();
    put32(out, 0);
    if (listType)
        out.append(listType, 4);
    return sizeAt;
}

void closeChunk(QByteArray& out, qsizetype sizeAt)
{
    patch32(out, sizeAt, quint32(out.size() - sizeAt - 4));
    if (out.size() % 2)
        out.append('\0');
}

} // namespace

void writePhoto(const QString& path, Scene scene, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    drawScene(p, QRectF(0, 0, width, height), scene);
    p.end();
    save(image, path, "JPG");
}

void writeContactPhoto(const QString& path, const QString& name, int hue)
{
    const int size = 160;
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size, size);
    gradient.setColorAt(0, QColor::fromHsv(hue, 120, 235));
    gradient.setColorAt(1, QColor::fromHsv((hue + 30) % 360, 170, 180));
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawEllipse(QRectF(0, 0, size, size));
    QString initials;
    for (const QString& part : name.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        initials += part.at(0).toUpper();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(64);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, initials.left(2));
    p.end();
    save(image, path, "JPG");
}

void writeSticker(const QString& path, int variant)
{
    const int size = 240;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[] = {QColor(255, 183, 77), QColor(129, 199, 132), QColor(244, 143, 177),
                              QColor(144, 202, 249)};
    const QColor face = colours[variant % 4];
    p.setPen(QPen(Qt::white, 10));
    p.setBrush(face);
    // Cat ears on every other sticker.
    if (variant % 2) {
        p.drawPolygon(QPolygonF({QPointF(40, 90), QPointF(55, 20), QPointF(105, 60)}));
        p.drawPolygon(QPolygonF({QPointF(200, 90), QPointF(185, 20), QPointF(135, 60)}));
    }
    p.drawEllipse(QRectF(25, 40, 190, 180));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(55, 55, 70));
    p.drawEllipse(QPointF(88, 115), 14, variant % 3 == 2 ? 4 : 18);
    p.drawEllipse(QPointF(152, 115), 14, 18);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(93, 108), 5, 5);
    p.drawEllipse(QPointF(157, 108), 5, 5);
    p.setBrush(QColor(255, 120, 120, 120));
    p.drawEllipse(QPointF(65, 150), 16, 10);
    p.drawEllipse(QPointF(175, 150), 16, 10);
    p.setPen(QPen(QColor(55, 55, 70), 7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(95, 135, 50, 40), 200 * 16, 140 * 16);
    p.end();
    save(image, path, "PNG");
}

void writeMap(const QString& path)
{
    const int width = 400;
    const int height = 300;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(236, 232, 224));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRectF(250, 0, 150, 110), QColor(200, 226, 180));
    p.setPen(QPen(QColor(170, 211, 240), 26));
    p.drawLine(QPointF(0, 250), QPointF(400, 200));
    p.setPen(QPen(Qt::white, 12));
    for (int x = 40; x < width; x += 90)
        p.drawLine(QPointF(x, 0), QPointF(x + 30, height));
    for (int y = 30; y < height; y += 70)
        p.drawLine(QPointF(0, y), QPointF(width, y + 10));
    p.setPen(QPen(QColor(255, 213, 79), 16));
    p.drawLine(QPointF(0, 140), QPointF(width, 170));
    QPainterPath pin;
    pin.moveTo(200, 150);
    pin.cubicTo(180, 120, 176, 110, 176, 100);
    pin.arcTo(QRectF(176, 76, 48, 48), 180, -180);
    pin.cubicTo(224, 110, 220, 120, 200, 150);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(229, 57, 53));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(200, 100), 8, 8);
    p.end();
    save(image, path, "JPG");
}

void writeVideo(const QString& path)
{
    const int width = 320;
    const int height = 240;
    const int fps = 8;
    const int frames = fps * 3;
    QList<QByteArray> jpegs;
    for (int frame = 0; frame < frames; ++frame) {
        QImage image(width, height, QImage::Format_RGB32);
        QPainter p(&image);
        drawScene(p, QRectF(0, 0, width, height), Scene::Mountains, 0.1 + 0.8 * frame / (frames - 1));
        p.end();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "JPG", 80))
            throw std::runtime_error("cannot encode a video frame");
        jpegs.append(buffer.data());
    }
    qsizetype largest = 0;
    for (const QByteArray& jpeg : std::as_const(jpegs))
        largest = std::max(largest, jpeg.size());

    QByteArray avi;
    const qsizetype riff = openChunk(avi, "RIFF", "AVI ");
    const qsizetype headers = openChunk(avi, "LIST", "hdrl");
    const qsizetype main = openChunk(avi, "avih");
    put32(avi, 1000000 / fps); // microseconds per frame
    put32(avi, quint32(largest * fps));
    put32(avi, 0);
    put32(avi, 0x10); // has an index
    put32(avi, frames);
    put32(avi, 0);
    put32(avi, 1); // streams
    put32(avi, quint32(largest));
    put32(avi, width);
    put32(avi, height);
    for (int reserved = 0; reserved < 4; ++reserved)
        put32(avi, 0);
    closeChunk(avi, main);
    const qsizetype streamList = openChunk(avi, "LIST", "strl");
    const qsizetype stream = openChunk(avi, "strh");
    avi.append("vidsMJPG", 8);
    put32(avi, 0);   // flags
    put32(avi, 0);   // priority and language
    put32(avi, 0);   // initial frames
    put32(avi, 1);   // scale
    put32(avi, fps); // rate
    put32(avi, 0);   // start
    put32(avi, frames);
    put32(avi, quint32(largest));
    put32(avi, 0xFFFFFFFF); // default quality
    put32(avi, 0);          // sample size
    put16(avi, 0);
    put16(avi, 0);
    put16(avi, width);
    put16(avi, height);
    closeChunk(avi, stream);
    const qsizetype format = openChunk(avi, "strf");
    put32(avi, 40);
    put32(avi, width);
    put32(avi, height);
    put16(avi, 1);
    put16(avi, 24);
    avi.append("MJPG", 4);
    put32(avi, width * height * 3);
    for (int unused = 0; unused < 4; ++unused)
        put32(avi, 0);
    closeChunk(avi, format);
    closeChunk(avi, streamList);
    closeChunk(avi, headers);

    const qsizetype movie = openChunk(avi, "LIST", "movi");
    const qsizetype movieStart = movie + 4; // index offsets count from the "movi" tag
    QList<QPair<quint32, quint32>> index;
    for (const QByteArray& jpeg : std::as_const(jpegs)) {
        index.append({quint32(avi.size() - movieStart), quint32(jpeg.size())});
        const qsizetype chunk = openChunk(avi, "00dc");
        avi.append(jpeg);
        closeChunk(avi, chunk);
    }
    closeChunk(avi, movie);
    const qsizetype indexChunk = openChunk(avi, "idx1");
    for (const auto& [offset, size] : std::as_const(index)) {
        avi.append("00dc", 4);
        put32(avi, 0x10); // key frame
        put32(avi, offset);
        put32(avi, size);
    }
    closeChunk(avi, indexChunk);
    closeChunk(avi, riff);
    saveBytes(avi, path);
}

void writeVoice(const QString& path)
{
    const int rate = 16000;
    // A short rising tune, each note a quarter of a second with a soft fade.
    const double notes[] = {392.0, 440.0, 523.25, 587.33, 659.25, 587.33, 523.25, 659.25};
    const int noteSamples = rate / 4;
    QByteArray samples;
    for (const double frequency : notes) {
        for (int i = 0; i < noteSamples; ++i) {
            const double envelope = std::min(1.0, std::min(i, noteSamples - i) / (rate * 0.02));
            const double value = 0.35 * envelope * std::sin(2 * std::numbers::pi * frequency * i / rate);
            put16(samples, quint16(qint16(value * 32767)));
        }
    }
    QByteArray wav;
    const qsizetype riff = openChunk(wav, "RIFF", "WAVE");
    const qsizetype format = openChunk(wav, "fmt ");
    put16(wav, 1); // PCM
    put16(wav, 1); // mono
    put32(wav, rate);
    put32(wav, rate * 2);
    put16(wav, 2);
    put16(wav, 16);
    closeChunk(wav, format);
    const qsizetype data = openChunk(wav, "data");
    wav.append(samples);
    closeChunk(wav, data);
    closeChunk(wav, riff);
    saveBytes(wav, path);
}

} // namespace DemoMedia
