// Draws the pictures compiled into the windows: the tree, list and tool-bar icons, the
// phone instruction pictures and the program picture. Every picture is drawn on a
// 64-unit grid and scaled to its size, so that all icons share one stroke weight and
// one palette.
//
//   icongen OUTPUT_DIR NAME...      (writes OUTPUT_DIR/NAME.png for each name)
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

namespace Palette {
const QColor Violet(115, 96, 242);
const QColor DeepViolet(84, 66, 196);
const QColor Teal(0, 150, 136);
const QColor Blue(30, 136, 229);
const QColor Green(67, 160, 71);
const QColor AndroidGreen(120, 194, 87);
const QColor Orange(245, 124, 0);
const QColor Red(229, 57, 53);
const QColor Slate(84, 110, 122);
const QColor Ink(55, 71, 79);
const QColor Paper(250, 250, 252);
const QColor Light(207, 216, 220);
} // namespace Palette

QPen stroke(const QColor& colour, qreal width = 4)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A solid arrow from one point to another, its head at the end.
void arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour, qreal width = 5)
{
    const QLineF line(from, to);
    const qreal head = width * 2.2;
    QLineF shaft = line;
    shaft.setLength(line.length() - head * 0.8);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(shaft);
    const qreal angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const QPointF back = to - QPointF(std::cos(angle), std::sin(angle)) * head * 1.4;
    const QPointF side = QPointF(-std::sin(angle), std::cos(angle)) * head;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({to, back + side, back - side}));
}

void phone(QPainter& p, const QRectF& r, const QColor& body, const QColor& screen = Palette::Paper)
{
    const qreal corner = r.width() * 0.18;
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(r, corner, corner);
    const qreal side = r.width() * 0.12;
    p.setBrush(screen);
    p.drawRect(r.adjusted(side, r.height() * 0.13, -side, -r.height() * 0.16));
    p.setBrush(screen);
    p.drawEllipse(QPointF(r.center().x(), r.bottom() - r.height() * 0.08), r.width() * 0.07,
                  r.width() * 0.07);
}

void cylinder(QPainter& p, const QRectF& r, const QColor& colour)
{
    const qreal cap = r.height() * 0.28;
    QPainterPath body;
    body.moveTo(r.left(), r.top() + cap / 2);
    body.lineTo(r.left(), r.bottom() - cap / 2);
    body.arcTo(QRectF(r.left(), r.bottom() - cap, r.width(), cap), 180, 180);
    body.lineTo(r.right(), r.top() + cap / 2);
    body.arcTo(QRectF(r.left(), r.top(), r.width(), cap), 0, -180);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(body);
    // Two bands and the lighter lid make the cylinder read as a database at any size.
    p.setPen(QPen(colour.lighter(150), std::max(1.5, r.height() * 0.05)));
    p.setBrush(Qt::NoBrush);
    for (int band = 1; band <= 2; ++band) {
        const qreal y = r.top() + (r.height() - cap) * band / 3.0;
        p.drawArc(QRectF(r.left(), y, r.width(), cap), 180 * 16, 180 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour.lighter(140));
    p.drawEllipse(QRectF(r.left(), r.top(), r.width(), cap));
}

void person(QPainter& p, QPointF centre, qreal size, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(centre.x(), centre.y() - size * 0.32), size * 0.22, size * 0.22);
    QPainterPath shoulders;
    const QRectF body(centre.x() - size * 0.4, centre.y() - size * 0.02, size * 0.8, size * 0.8);
    shoulders.moveTo(body.left(), body.top() + body.height() / 2);
    shoulders.arcTo(body, 180, -180);
    shoulders.lineTo(body.right(), centre.y() + size * 0.46);
    shoulders.lineTo(body.left(), centre.y() + size * 0.46);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
}

void document(QPainter& p, const QRectF& r, const QColor& edge)
{
    const qreal fold = r.width() * 0.3;
    QPolygonF sheet({r.topLeft(), QPointF(r.right() - fold, r.top()), QPointF(r.right(), r.top() + fold),
                     r.bottomRight(), r.bottomLeft()});
    p.setPen(stroke(edge, 3));
    p.setBrush(Palette::Paper);
    p.drawPolygon(sheet);
    p.drawPolyline(QPolygonF({QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                              QPointF(r.right(), r.top() + fold)}));
    p.setPen(stroke(Palette::Light, 3));
    for (int line = 0; line < 3; ++line) {
        const qreal y = r.top() + fold + 8 + line * 8;
        if (y < r.bottom() - 4)
            p.drawLine(QPointF(r.left() + 6, y), QPointF(r.right() - 8, y));
    }
}

void speechBubble(QPainter& p, const QRectF& r, const QColor& colour, bool tailLeft)
{
    QPainterPath bubble;
    bubble.addRoundedRect(r, r.height() * 0.3, r.height() * 0.3);
    QPainterPath tail;
    const qreal x = tailLeft ? r.left() + r.width() * 0.22 : r.right() - r.width() * 0.22;
    const qreal tip = tailLeft ? r.left() + 2 : r.right() - 2;
    tail.moveTo(x - 6, r.bottom() - 2);
    tail.lineTo(tip, r.bottom() + r.height() * 0.32);
    tail.lineTo(x + 6, r.bottom() - 2);
    tail.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(bubble.united(tail));
}

void symbol(QPainter& p, const QRectF& r, const QString& text, const QColor& colour, qreal pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(int(pixelSize));
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, text);
}

void drawDevices(QPainter& p)
{
    phone(p, QRectF(6, 10, 28, 46), Palette::Slate);
    phone(p, QRectF(28, 4, 30, 50), Palette::Violet);
}

void drawDatabases(QPainter& p)
{
    cylinder(p, QRectF(4, 6, 36, 34), Palette::Slate);
    cylinder(p, QRectF(22, 24, 38, 36), Palette::Teal);
}

void drawAndroid(QPainter& p)
{
    phone(p, QRectF(12, 2, 40, 60), Palette::Ink);
    // A round-headed robot on the screen tells a phone node from the device root.
    p.setBrush(Palette::AndroidGreen);
    p.setPen(Qt::NoPen);
    p.drawPie(QRectF(20, 18, 24, 22), 0, 180 * 16);
    p.drawRoundedRect(QRectF(20, 31, 24, 16), 3, 3);
    p.setPen(stroke(Palette::AndroidGreen, 2.5));
    p.drawLine(QPointF(24, 15), QPointF(27, 20));
    p.drawLine(QPointF(40, 15), QPointF(37, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Paper);
    p.drawEllipse(QPointF(27, 25), 1.8, 1.8);
    p.drawEllipse(QPointF(37, 25), 1.8, 1.8);
}

void drawDatabase(QPainter& p)
{
    cylinder(p, QRectF(10, 4, 44, 56), Palette::Teal);
}

void drawContact(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Light);
    p.drawEllipse(QRectF(2, 2, 60, 60));
    p.save();
    QPainterPath clip;
    clip.addEllipse(QRectF(2, 2, 60, 60));
    p.setClipPath(clip);
    person(p, QPointF(32, 34), 48, Palette::Slate);
    p.restore();
}

void drawGroup(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Light);
    p.drawEllipse(QRectF(2, 2, 60, 60));
    p.save();
    QPainterPath clip;
    clip.addEllipse(QRectF(2, 2, 60, 60));
    p.setClipPath(clip);
    person(p, QPointF(19, 36), 30, Palette::Slate.lighter(130));
    person(p, QPointF(45, 36), 30, Palette::Slate.lighter(130));
    person(p, QPointF(32, 40), 38, Palette::Violet);
    p.restore();
}

void drawSearch(QPainter& p)
{
    p.setPen(stroke(Palette::Slate, 7));
    p.setBrush(Palette::Paper);
    p.drawEllipse(QPointF(26, 26), 16, 16);
    p.setPen(stroke(Palette::Slate, 10));
    p.drawLine(QPointF(39, 39), QPointF(55, 55));
}

void drawSmsSent(QPainter& p)
{
    speechBubble(p, QRectF(4, 8, 56, 36), Palette::Green, false);
    arrow(p, QPointF(18, 34), QPointF(44, 16), Palette::Paper, 5);
}

void drawSmsReceive(QPainter& p)
{
    speechBubble(p, QRectF(4, 8, 56, 36), Palette::Blue, true);
    arrow(p, QPointF(44, 16), QPointF(20, 34), Palette::Paper, 5);
}

void drawBackup(QPainter& p)
{
    cylinder(p, QRectF(10, 22, 44, 38), Palette::Teal);
    arrow(p, QPointF(32, 2), QPointF(32, 30), Palette::Violet, 7);
}

void drawA2a(QPainter& p)
{
    phone(p, QRectF(2, 10, 22, 40), Palette::AndroidGreen.darker(120));
    phone(p, QRectF(40, 10, 22, 40), Palette::AndroidGreen.darker(120));
    arrow(p, QPointF(20, 30), QPointF(46, 30), Palette::Violet, 6);
}

void drawDb2a(QPainter& p)
{
    cylinder(p, QRectF(2, 14, 24, 34), Palette::Teal);
    phone(p, QRectF(40, 8, 22, 44), Palette::AndroidGreen.darker(120));
    arrow(p, QPointF(22, 31), QPointF(46, 31), Palette::Violet, 6);
}

void drawExtractMedia(QPainter& p)
{
    p.setPen(stroke(Palette::Blue, 4));
    p.setBrush(Palette::Paper);
    p.drawRoundedRect(QRectF(4, 8, 44, 36), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Orange);
    p.drawEllipse(QPointF(36, 18), 4, 4);
    p.setBrush(Palette::Green);
    p.drawPolygon(
        QPolygonF({QPointF(8, 40), QPointF(20, 24), QPointF(30, 36), QPointF(36, 30), QPointF(44, 40)}));
    arrow(p, QPointF(40, 38), QPointF(60, 58), Palette::Violet, 6);
}

void drawExport(QPainter& p)
{
    document(p, QRectF(6, 4, 38, 52), Palette::Slate);
    arrow(p, QPointF(28, 40), QPointF(62, 40), Palette::Violet, 7);
}

void handset(QPainter& p, const QRectF& r, const QColor& colour)
{
    QPainterPath path;
    const qreal w = r.width();
    const qreal h = r.height();
    path.moveTo(r.left() + w * 0.05, r.top() + h * 0.25);
    path.cubicTo(r.left() + w * 0.05, r.top() + h * 0.7, r.left() + w * 0.3, r.top() + h * 0.95,
                 r.left() + w * 0.75, r.top() + h * 0.95);
    path.lineTo(r.left() + w * 0.95, r.top() + h * 0.75);
    path.lineTo(r.left() + w * 0.72, r.top() + h * 0.55);
    path.lineTo(r.left() + w * 0.58, r.top() + h * 0.68);
    path.cubicTo(r.left() + w * 0.45, r.top() + h * 0.62, r.left() + w * 0.36, r.top() + h * 0.52,
                 r.left() + w * 0.3, r.top() + h * 0.4);
    path.lineTo(r.left() + w * 0.44, r.top() + h * 0.27);
    path.lineTo(r.left() + w * 0.25, r.top() + h * 0.05);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

void drawExportCalls(QPainter& p)
{
    document(p, QRectF(4, 4, 36, 50), Palette::Slate);
    handset(p, QRectF(10, 22, 24, 24), Palette::Green);
    arrow(p, QPointF(34, 46), QPointF(62, 46), Palette::Violet, 6);
}

void drawPrint(QPainter& p)
{
    p.setPen(stroke(Palette::Slate, 3));
    p.setBrush(Palette::Paper);
    p.drawRect(QRectF(16, 4, 32, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Slate);
    p.drawRoundedRect(QRectF(4, 20, 56, 26), 5, 5);
    p.setBrush(Palette::Green);
    p.drawEllipse(QPointF(51, 28), 2.5, 2.5);
    p.setPen(stroke(Palette::Slate, 3));
    p.setBrush(Palette::Paper);
    p.drawRect(QRectF(16, 36, 32, 24));
    p.setPen(stroke(Palette::Light, 3));
    p.drawLine(QPointF(22, 45), QPointF(42, 45));
    p.drawLine(QPointF(22, 52), QPointF(38, 52));
}

void drawDelete(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Red);
    p.drawRoundedRect(QRectF(8, 12, 48, 7), 3, 3);
    p.drawRoundedRect(QRectF(24, 5, 16, 9), 3, 3);
    p.drawPolygon(QPolygonF({QPointF(13, 22), QPointF(51, 22), QPointF(47, 60), QPointF(17, 60)}));
    p.setPen(stroke(Palette::Paper, 3.5));
    for (const qreal x : {24.0, 32.0, 40.0})
        p.drawLine(QPointF(x, 29), QPointF(x, 53));
}

void folder(QPainter& p, const QRectF& r, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour.darker(115));
    p.drawRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.3), 3, 3);
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.12, r.width(), r.height() * 0.88), 4, 4);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.26, r.width(), r.height() * 0.74), 4, 4);
}

void drawOpenDbFolder(QPainter& p)
{
    folder(p, QRectF(2, 8, 60, 48), QColor(255, 193, 7));
    cylinder(p, QRectF(22, 24, 22, 28), Palette::Teal);
}

void drawExit(QPainter& p)
{
    p.setPen(stroke(Palette::Slate, 5));
    p.setBrush(Palette::Paper);
    p.drawPolyline(QPolygonF(
        {QPointF(34, 16), QPointF(34, 6), QPointF(8, 6), QPointF(8, 58), QPointF(34, 58), QPointF(34, 48)}));
    arrow(p, QPointF(20, 32), QPointF(60, 32), Palette::Red, 7);
}

void drawCheckUpdate(QPainter& p)
{
    p.setPen(QPen(Palette::Blue, 7, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(10, 10, 44, 44);
    p.drawArc(ring, 20 * 16, 140 * 16);
    p.drawArc(ring, 200 * 16, 140 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Blue);
    // Heads at the clockwise ends of both arcs.
    p.drawPolygon(QPolygonF({QPointF(44, 4), QPointF(60, 22), QPointF(40, 24)}));
    p.drawPolygon(QPolygonF({QPointF(20, 60), QPointF(4, 42), QPointF(24, 40)}));
}

void drawClearCache(QPainter& p)
{
    p.setPen(stroke(QColor(141, 110, 99), 6));
    p.drawLine(QPointF(48, 4), QPointF(32, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Orange);
    p.drawPolygon(QPolygonF({QPointF(24, 28), QPointF(42, 38), QPointF(34, 60), QPointF(6, 46)}));
    p.setPen(stroke(Palette::Orange.darker(130), 2.5));
    p.drawLine(QPointF(22, 38), QPointF(14, 50));
    p.drawLine(QPointF(30, 42), QPointF(24, 56));
    p.setPen(stroke(Palette::Blue, 3));
    for (const QPointF& spark : {QPointF(52, 44), QPointF(56, 56)}) {
        p.drawLine(spark - QPointF(4, 0), spark + QPointF(4, 0));
        p.drawLine(spark - QPointF(0, 4), spark + QPointF(0, 4));
    }
}

void drawConnectViaWifi(QPainter& p)
{
    phone(p, QRectF(4, 18, 26, 44), Palette::AndroidGreen.darker(120));
    p.setBrush(Qt::NoBrush);
    const QPointF origin(40, 34);
    for (int ring = 1; ring <= 3; ++ring) {
        p.setPen(QPen(Palette::Blue, 5, Qt::SolidLine, Qt::RoundCap));
        const qreal radius = ring * 8.5;
        p.drawArc(QRectF(origin.x() - radius, origin.y() - radius, radius * 2, radius * 2), 10 * 16, 80 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Blue);
    p.drawEllipse(origin, 4, 4);
}

void drawHelp(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Blue);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    symbol(p, QRectF(4, 4, 56, 56), QStringLiteral("?"), Palette::Paper, 40);
}

void drawFeedback(QPainter& p)
{
    speechBubble(p, QRectF(4, 6, 56, 40), Palette::Violet, true);
    p.setPen(stroke(Palette::Paper, 4));
    p.drawLine(QPointF(16, 20), QPointF(48, 20));
    p.drawLine(QPointF(16, 32), QPointF(38, 32));
}

void drawAbout(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Teal);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    symbol(p, QRectF(4, 4, 56, 56), QStringLiteral("i"), Palette::Paper, 42);
}

void drawUnmount(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Slate);
    p.drawPolygon(QPolygonF({QPointF(32, 6), QPointF(58, 38), QPointF(6, 38)}));
    p.drawRoundedRect(QRectF(6, 46, 52, 10), 3, 3);
}

// The program picture: a chat bubble passing between a phone and a database.
void drawMain(QPainter& p)
{
    QLinearGradient back(0, 0, 64, 64);
    back.setColorAt(0, Palette::Violet.lighter(115));
    back.setColorAt(1, Palette::DeepViolet);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(1, 1, 62, 62), 14, 14);
    speechBubble(p, QRectF(10, 10, 44, 30), Palette::Paper, true);
    p.setBrush(Palette::Violet);
    for (const qreal x : {22.0, 32.0, 42.0})
        p.drawEllipse(QPointF(x, 25), 3.2, 3.2);
    p.setPen(QPen(Palette::Paper, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 52), QPointF(50, 52));
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Paper);
    p.drawPolygon(QPolygonF({QPointF(56, 52), QPointF(47, 46), QPointF(47, 58)}));
}

// What the phone shows when it asks to confirm a backup or restore archive: the
// picture beside the instruction points at the button to press.
void drawPhoneConfirm(QPainter& p, const QString& button)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Ink);
    p.drawRoundedRect(QRectF(14, 1, 36, 62), 5, 5);
    p.setBrush(Palette::Paper);
    p.drawRect(QRectF(17, 6, 30, 50));
    p.setPen(stroke(Palette::Light, 1.6));
    for (int line = 0; line < 4; ++line)
        p.drawLine(QPointF(20, 11 + line * 4), QPointF(line % 2 ? 38 : 44, 11 + line * 4));
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Light);
    p.drawRect(QRectF(20, 30, 24, 5));
    p.setBrush(Palette::Teal);
    const QRectF buttonRect(22, 42, 23, 11);
    p.drawRoundedRect(buttonRect, 1.5, 1.5);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(3);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Palette::Paper);
    p.drawText(buttonRect, Qt::AlignCenter | Qt::TextWordWrap, button);
    p.setPen(QPen(Palette::Red, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(buttonRect.adjusted(-3, -3, 3, 3));
}

struct Picture
{
    int width;
    int height;
    std::function<void(QPainter&)> draw;
};

const QHash<QString, Picture>& pictures()
{
    constexpr int Tree = 32;
    constexpr int Tool = 64;
    static const QHash<QString, Picture> table = {
        {QStringLiteral("devices"), {Tree, Tree, drawDevices}},
        {QStringLiteral("databases"), {Tree, Tree, drawDatabases}},
        {QStringLiteral("android"), {Tree, Tree, drawAndroid}},
        {QStringLiteral("database"), {Tree, Tree, drawDatabase}},
        {QStringLiteral("contact"), {Tool, Tool, drawContact}},
        {QStringLiteral("group"), {Tool, Tool, drawGroup}},
        {QStringLiteral("search"), {Tree, Tree, drawSearch}},
        {QStringLiteral("icon_sms-sent"), {Tree, Tree, drawSmsSent}},
        {QStringLiteral("icon_sms-receive"), {Tree, Tree, drawSmsReceive}},
        {QStringLiteral("backup"), {Tool, Tool, drawBackup}},
        {QStringLiteral("a2a"), {Tool, Tool, drawA2a}},
        {QStringLiteral("db2a"), {Tool, Tool, drawDb2a}},
        {QStringLiteral("extract_media"), {Tool, Tool, drawExtractMedia}},
        {QStringLiteral("export"), {Tool, Tool, drawExport}},
        {QStringLiteral("export_calls"), {Tool, Tool, drawExportCalls}},
        {QStringLiteral("print"), {Tool, Tool, drawPrint}},
        {QStringLiteral("delete"), {Tool, Tool, drawDelete}},
        {QStringLiteral("open_db_folder"), {Tool, Tool, drawOpenDbFolder}},
        {QStringLiteral("exit"), {Tool, Tool, drawExit}},
        {QStringLiteral("check-update"), {Tool, Tool, drawCheckUpdate}},
        {QStringLiteral("clear-cache"), {Tool, Tool, drawClearCache}},
        {QStringLiteral("connect-via-wifi"), {Tool, Tool, drawConnectViaWifi}},
        {QStringLiteral("help"), {Tool, Tool, drawHelp}},
        {QStringLiteral("feedback"), {Tool, Tool, drawFeedback}},
        {QStringLiteral("about"), {Tool, Tool, drawAbout}},
        {QStringLiteral("unmount"), {Tool, Tool, drawUnmount}},
        {QStringLiteral("main"), {256, 256, drawMain}},
        {QStringLiteral("adb_backup"),
         {240, 240, [](QPainter& p) { drawPhoneConfirm(p, QStringLiteral("BACK UP\nMY DATA")); }}},
        {QStringLiteral("adb_restore"),
         {240, 240, [](QPainter& p) { drawPhoneConfirm(p, QStringLiteral("RESTORE\nMY DATA")); }}},
    };
    return table;
}

QImage render(const Picture& picture)
{
    QImage image(picture.width, picture.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(picture.width / 64.0, picture.height / 64.0);
    picture.draw(p);
    p.end();
    return image;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: icongen OUTPUT_DIR NAME...\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));
    for (int i = 2; i < argc; ++i) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        const auto found = pictures().constFind(name);
        if (found == pictures().cend()) {
            std::fprintf(stderr, "icongen: no picture is drawn for \"%s\"\n", argv[i]);
            return 1;
        }
        const QString path = out.filePath(name + QStringLiteral(".png"));
        if (!render(*found).save(path)) {
            std::fprintf(stderr, "icongen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
