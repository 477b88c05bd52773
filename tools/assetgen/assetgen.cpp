// Draws the pictures Velliport installs beside itself: the nine-patch chat bubbles and
// icons of "vbbb", the emoji pictures of "emoji" (named by code, as the emoji
// conversion names them) and the emoticon pictures of "vb_emoji". Emoji are rendered
// from the system's Noto Color Emoji font (SIL Open Font License).
//
//   assetgen OUTPUT_DIR STYLE_CSS SOFTBANK_MAP
#include "db/Emoticons.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int EmojiSize = 48;
const QString EmojiFontFile = QStringLiteral("/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf");

// The Unicode emoji closest to each of Viber's emoticons.
const QHash<QString, char32_t>& emoticonEmoji()
{
    static const QHash<QString, char32_t> map = {
        {"(smiley)", 0x1F600},
        {"(sad)", 0x1F61E},
        {"(wink)", 0x1F609},
        {"(angry)", 0x1F620},
        {"(inlove)", 0x1F60D},
        {"(yummi)", 0x1F60B},
        {"(laugh)", 0x1F606},
        {"(surprised)", 0x1F62E},
        {"(moa)", 0x1F618},
        {"(happy)", 0x1F60A},
        {"(cry)", 0x1F622},
        {"(sick)", 0x1F922},
        {"(shy)", 0x1F633},
        {"(teeth)", 0x1F62C},
        {"(tongue)", 0x1F61B},
        {"(money)", 0x1F911},
        {"(mad)", 0x1F621},
        {"(flirt)", 0x1F60F},
        {"(crazy)", 0x1F92A},
        {"(confused)", 0x1F615},
        {"(depressed)", 0x1F614},
        {"(scream)", 0x1F631},
        {"(nerd)", 0x1F913},
        {"(not_sure)", 0x1F914},
        {"(cool)", 0x1F60E},
        {"(devil)", 0x1F608},
        {"(angel)", 0x1F607},
        {"(heart)", 0x2764},
        {"(purple_heart)", 0x1F49C},
        {"(heart_break)", 0x1F494},
        {"(V)", 0x270C},
        {"(unlike)", 0x1F44E},
        {"(like)", 0x1F44D},
        {"(!)", 0x2757},
        {"(Q)", 0x2753},
        {"(kiss)", 0x1F48B},
        {"(ice_cream)", 0x1F366},
        {"(cupcake)", 0x1F9C1},
        {"(burger)", 0x1F354},
        {"(pizza)", 0x1F355},
        {"(wine)", 0x1F377},
        {"(beer)", 0x1F37A},
        {"(soda)", 0x1F964},
        {"(coffee)", 0x2615},
        {"(popcorn)", 0x1F37F},
        {"(poo)", 0x1F4A9},
        {"(cigarette)", 0x1F6AC},
        {"($)", 0x1F4B2},
        {"(car)", 0x1F697},
        {"(airplane)", 0x2708},
        {"(sun)", 0x2600},
        {"(moon)", 0x1F319},
        {"(rain)", 0x1F327},
        {"(cloud)", 0x2601},
        {"(zzz)", 0x1F4A4},
        {"(skull)", 0x1F480},
        {"(fire)", 0x1F525},
        {"(music)", 0x1F3B5},
        {"(flower)", 0x1F338},
        {"(christmas_tree)", 0x1F384},
        {"(monkey)", 0x1F435},
        {"(chick)", 0x1F424},
        {"(cat)", 0x1F431},
        {"(dog)", 0x1F436},
        {"(pig)", 0x1F437},
        {"(koala)", 0x1F428},
        {"(kangaroo)", 0x1F998},
        {"(ladybug)", 0x1F41E},
        {"(panda)", 0x1F43C},
        {"(sheep)", 0x1F411},
        {"(soccer)", 0x26BD},
        {"(football)", 0x1F3C8},
        {"(basketball)", 0x1F3C0},
        {"(baseball)", 0x26BE},
        {"(relax)", 0x1F60C},
        {"(tape)", 0x1F4FC},
        {"(phone)", 0x1F4F1},
        {"(console)", 0x1F3AE},
        {"(time)", 0x23F0},
        {"(TV)", 0x1F4FA},
        {"(light_bulb)", 0x1F4A1},
        {"(run)", 0x1F3C3},
        {"(clap)", 0x1F44F},
        {"(bicycle)", 0x1F6B2},
        {"(cards)", 0x1F0CF},
    };
    return map;
}

class EmojiRenderer
{
public:
    EmojiRenderer()
    {
        const int id = QFontDatabase::addApplicationFont(EmojiFontFile);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        m_ok = !families.isEmpty();
        if (m_ok) {
            m_font = QFont(families.first());
            m_font.setPixelSize(EmojiSize * 3 / 4);
            m_raw = QRawFont(EmojiFontFile, EmojiSize);
        }
    }

    bool ok() const { return m_ok; }
    bool supports(char32_t code) const { return m_ok && m_raw.supportsCharacter(code); }

    // Null when nothing but blank pixels came out (a sequence the font lacks).
    QImage render(const QString& text) const
    {
        QImage image(EmojiSize, EmojiSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setFont(m_font);
        painter.drawText(image.rect(), Qt::AlignCenter, text);
        painter.end();
        for (int y = 0; y < image.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) != 0)
                    return image;
            }
        }
        return {};
    }

private:
    bool m_ok = false;
    QFont m_font;
    QRawFont m_raw;
};

QString fromSequence(const QString& unified)
{
    QString text;
    for (const QString& part : unified.split(QLatin1Char('-'))) {
        const char32_t code = part.toUInt(nullptr, 16);
        text += QString::fromUcs4(&code, 1);
    }
    return text;
}

QString hex(char32_t code)
{
    return QString::number(code, 16).toUpper();
}

int writeEmoji(const EmojiRenderer& renderer, const QDir& out, const QString& softbankMap)
{
    out.mkpath(QStringLiteral("."));
    int written = 0;
    const auto save = [&](const QString& name, const QString& text) {
        const QImage image = renderer.render(text);
        if (!image.isNull() && image.save(out.filePath(name + QStringLiteral(".png"))))
            ++written;
    };
    QFile map(softbankMap);
    if (map.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&map);
        while (!in.atEnd()) {
            const QStringList fields = in.readLine().split(QLatin1Char('\t'));
            if (fields.size() == 2 && !fields.first().startsWith(QLatin1Char('#')))
                save(fields.at(0).trimmed().toUpper(), fromSequence(fields.at(1).trimmed()));
        }
    }
    // The symbols outside the private-use block that the older encoding also used.
    for (char32_t code = 0x2000; code < 0xE000; ++code) {
        if (ViberText::isSingleUnitEmoji(char16_t(code)))
            save(hex(code), QString::fromUcs4(&code, 1) + QChar(0xFE0F));
    }
    // Every code a surrogate pair with the high unit D83C or D83D can carry.
    for (char32_t code = 0x1F000; code <= 0x1F7FF; ++code) {
        if (renderer.supports(code))
            save(hex(code), QString::fromUcs4(&code, 1));
    }
    return written;
}

QImage placeholderFace()
{
    QImage image(EmojiSize, EmojiSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(255, 204, 77));
    p.setPen(QPen(QColor(200, 150, 40), 2));
    p.drawEllipse(image.rect().adjusted(3, 3, -3, -3));
    return image;
}

int writeEmoticons(const EmojiRenderer& renderer, const QDir& out)
{
    out.mkpath(QStringLiteral("."));
    int written = 0;
    const QHash<QString, int>& table = Emoticons::emoticonTable();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const char32_t code = emoticonEmoji().value(it.key());
        QImage image = code ? renderer.render(QString::fromUcs4(&code, 1) + QChar(0xFE0F)) : QImage();
        if (image.isNull())
            image = placeholderFace();
        if (image.save(out.filePath(it.key() + QStringLiteral(".png"))))
            ++written;
    }
    return written;
}

struct BubbleLook
{
    QString prefix;
    QMargins border; // left, top, right, bottom: the sizes of the corner pieces
    QColor fill;
    QColor edge;
    int tail; // 0 none, -1 on the left, 1 on the right
};

// Draws a whole bubble and cuts it into the nine pieces at the border sizes.
void writeNinePatch(const BubbleLook& look, const QDir& out)
{
    const int middle = 8;
    const QSize size(look.border.left() + middle + look.border.right(),
                     look.border.top() + middle + look.border.bottom());
    QImage bubble(size, QImage::Format_ARGB32_Premultiplied);
    bubble.fill(Qt::transparent);
    QPainter p(&bubble);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF body = QRectF(QPointF(0.5, 0.5), QSizeF(size) - QSizeF(1, 1));
    if (look.tail < 0)
        body.setLeft(body.left() + 5);
    if (look.tail > 0)
        body.setRight(body.right() - 5);
    QPainterPath path;
    path.addRoundedRect(body, 8, 8);
    if (look.tail != 0) {
        QPainterPath tail;
        const qreal x = look.tail < 0 ? body.left() : body.right();
        const qreal tip = look.tail < 0 ? 0.5 : size.width() - 0.5;
        tail.moveTo(x, body.top() + 4);
        tail.lineTo(tip, body.top() + 1);
        tail.lineTo(x, body.top() + 11);
        path = path.united(tail);
    }
    p.setPen(QPen(look.edge, 1));
    p.setBrush(look.fill);
    p.drawPath(path);
    p.end();
    const int xs[] = {0, look.border.left(), size.width() - look.border.right(), size.width()};
    const int ys[] = {0, look.border.top(), size.height() - look.border.bottom(), size.height()};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect cell(QPoint(xs[col], ys[row]), QPoint(xs[col + 1] - 1, ys[row + 1] - 1));
            bubble.copy(cell).save(out.filePath(QStringLiteral("%1_%2.png")
                                                    .arg(look.prefix)
                                                    .arg(row * 3 + col + 1, 2, 10, QLatin1Char('0'))));
        }
    }
}

void writeIcons(const QDir& out)
{
    QImage voice(32, 32, QImage::Format_ARGB32_Premultiplied);
    voice.fill(Qt::transparent);
    QPainter p(&voice);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(115, 96, 242));
    p.setPen(Qt::NoPen);
    p.drawEllipse(voice.rect().adjusted(1, 1, -1, -1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(12.5, 7, 7, 12), 3.5, 3.5);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 11, 14, 12), 200 * 16, 140 * 16);
    p.drawLine(QPointF(16, 23), QPointF(16, 26));
    p.end();
    voice.save(out.filePath(QStringLiteral("voice.png")));

    QImage empty(160, 120, QImage::Format_RGB32);
    empty.fill(QColor(226, 230, 233));
    QPainter q(&empty);
    q.setRenderHint(QPainter::Antialiasing);
    q.setPen(QPen(QColor(170, 178, 186), 3));
    q.drawRect(QRectF(40, 25, 80, 70));
    q.drawLine(QPointF(45, 88), QPointF(70, 60));
    q.drawLine(QPointF(70, 60), QPointF(88, 78));
    q.drawLine(QPointF(88, 78), QPointF(98, 68));
    q.drawLine(QPointF(98, 68), QPointF(115, 88));
    q.drawEllipse(QPointF(100, 42), 6, 6);
    q.end();
    empty.save(out.filePath(QStringLiteral("empty_photo.jpg")), "JPG", 90);
}

// The style sheet with each picture it names from its own folder written into it as a
// data URL. A bubble page fetched its 27 frame pieces as files at every load, which was
// half of the page's load time; the pictures stay beside it for the page renderer.
bool writeStyle(const QString& source, const QDir& out)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QString css = QString::fromUtf8(in.readAll());
    static const QRegularExpression picture(QStringLiteral("url\\(([A-Za-z0-9_]+\\.png)\\)"));
    QString inlined;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = picture.globalMatch(css); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QFile png(out.filePath(match.captured(1)));
        if (!png.open(QIODevice::ReadOnly))
            return false;
        inlined += css.mid(done, match.capturedStart() - done) +
                   QStringLiteral("url(data:image/png;base64,") +
                   QString::fromLatin1(png.readAll().toBase64()) + QLatin1Char(')');
        done = match.capturedEnd();
    }
    inlined += css.mid(done);
    QFile file(out.filePath(QStringLiteral("style.css")));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(inlined.toUtf8()) >= 0;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: assetgen OUTPUT_DIR STYLE_CSS SOFTBANK_MAP\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    const QDir vbbb(root.filePath(QStringLiteral("vbbb")));
    vbbb.mkpath(QStringLiteral("."));
    writeNinePatch(
        {QStringLiteral("r"), QMargins(15, 10, 13, 9), QColor(204, 216, 222), QColor(180, 194, 202), 0},
        vbbb);
    writeNinePatch(
        {QStringLiteral("bb1"), QMargins(16, 13, 16, 13), QColor(255, 255, 255), QColor(190, 200, 206), -1},
        vbbb);
    writeNinePatch(
        {QStringLiteral("bb2"), QMargins(16, 13, 16, 13), QColor(232, 225, 250), QColor(196, 186, 232), 1},
        vbbb);
    writeIcons(vbbb);
    if (!writeStyle(QString::fromLocal8Bit(argv[2]), vbbb)) {
        std::fprintf(stderr, "assetgen: cannot write the style sheet from %s\n", argv[2]);
        return 1;
    }

    const EmojiRenderer renderer;
    if (!renderer.ok())
        std::fprintf(stderr, "assetgen: %s is missing; emoji pictures are left out\n",
                     qPrintable(EmojiFontFile));
    const int emoji = renderer.ok() ? writeEmoji(renderer, QDir(root.filePath(QStringLiteral("emoji"))),
                                                 QString::fromLocal8Bit(argv[3]))
                                    : 0;
    const int emoticons = writeEmoticons(renderer, QDir(root.filePath(QStringLiteral("vb_emoji"))));
    std::printf("assetgen: 27 bubble pieces, %d emoji, %d emoticons\n", emoji, emoticons);
    return 0;
}
