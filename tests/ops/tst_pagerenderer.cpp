#include "app/AppDirs.h"
#include "db/ViberCodes.h"
#include "ops/PageRenderer.h"
#include "tests/ops/ExternalTool.h"
#include "tests/support/DataSetBuilder.h"

#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 0));

struct PdfPage
{
    explicit PdfPage(const QString& path) : writer(path)
    {
        writer.setResolution(96);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 20, 20, 20), QPageLayout::Point));
    }
    QPdfWriter writer;
};

} // namespace

class TestPageRenderer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { AppDirs::setAssetFolder(QStringLiteral(VELLIPORT_BIN_DIR)); }

    void pictureScaling_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("printed");
        QTest::newRow("landscape") << QSize(800, 600) << QSize(200, 150);
        QTest::newRow("portrait") << QSize(100, 300) << QSize(66, 200);
        QTest::newRow("small") << QSize(150, 100) << QSize(150, 100);
    }

    void pictureScaling()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, printed);
        const QString path =
            m_dir.filePath(QStringLiteral("pic-%1x%2.jpg").arg(source.width()).arg(source.height()));
        QVERIFY(DataSetBuilder::writeImage(path, source.width(), source.height()));
        const QImage image = PageRenderer::loadPicture(path);
        QCOMPARE(image.height(), printed.height());
        QVERIFY(qAbs(image.width() - printed.width()) <= 1);
    }

    void brokenPicturesFallBack()
    {
        const QImage fallback = PageRenderer::loadPicture(QString());
        QVERIFY(!fallback.isNull());
        const QString corrupt = m_dir.filePath(QStringLiteral("corrupt.jpg"));
        QVERIFY(DataSetBuilder::writeFile(corrupt, QByteArray("\xff\xd8\xff\xe0 not really a jpeg", 22)));
        QCOMPARE(PageRenderer::loadPicture(corrupt).size(), fallback.size());
        QCOMPARE(PageRenderer::loadPicture(m_dir.filePath(QStringLiteral("missing.jpg"))).size(),
                 fallback.size());
        // a PNG header claiming a huge picture is not decoded
        QByteArray huge = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") +
                          QByteArray::fromHex("0000ffff0000ffff0806000000");
        const QString bomb = m_dir.filePath(QStringLiteral("bomb.png"));
        QVERIFY(DataSetBuilder::writeFile(bomb, huge + QByteArray(64, '\0')));
        QCOMPARE(PageRenderer::loadPicture(bomb).size(), fallback.size());
    }

    void dayHeadersAndSides()
    {
        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"));
        _ViberChat* chat = b.chat(1, {anna});
        QList<_ViberMsg*> msgs{
            b.message(chat, ViberMsgType::Text, Day1, QStringLiteral("in"), false),
            b.message(chat, ViberMsgType::Text, Day1.addSecs(30), QStringLiteral("out"), true),
            b.message(chat, ViberMsgType::Text, Day1.addDays(1), QStringLiteral("next day"), false),
            b.callMessage(chat, anna, ViberCallKind::Missed, 0, Day1.addDays(1).addSecs(9))};
        PdfPage pdf(m_dir.filePath(QStringLiteral("days.pdf")));
        PageRenderer renderer;
        QVERIFY(renderer.begin(&pdf.writer));
        for (const _ViberMsg* m : msgs)
            renderer.drawMessage(*m);
        renderer.end();
        const QList<PageRenderer::Placement>& placed = renderer.placements();
        QStringList systemTexts;
        for (const auto& p : placed) {
            if (p.kind == PageRenderer::BubbleKind::System)
                systemTexts.append(p.text);
        }
        QCOMPARE(systemTexts, QStringList({Day1.toString(QStringLiteral("dd MMM yyyy")),
                                           Day1.addDays(1).toString(QStringLiteral("dd MMM yyyy")),
                                           QStringLiteral("Missed Call")}));
        const QRect content = renderer.contentRect();
        const auto bubbleOf = [&](const QString& text) {
            for (const auto& p : placed) {
                if (p.text == text)
                    return p.rect;
            }
            return QRect();
        };
        QCOMPARE(bubbleOf(QStringLiteral("in")).left(), content.left());
        QCOMPARE(bubbleOf(QStringLiteral("out")).right(), content.right());
        const QRect header = placed.first().rect;
        QVERIFY(qAbs(header.center().x() - content.center().x()) <= 1);
        QVERIFY(bubbleOf(QStringLiteral("in")).width() >= 150); // minimum width of a message bubble
    }

    void picturesAndTextMakeTwoBubbles()
    {
        const QString thumb = m_dir.filePath(QStringLiteral("thumb.png"));
        QVERIFY(DataSetBuilder::writeImage(thumb, 800, 600));
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        _ViberMsg* pic =
            b.message(chat, ViberMsgType::Picture, Day1, QStringLiteral("look \U0001F600"), true);
        b.attach(pic, QString(), thumb);
        PdfPage pdf(m_dir.filePath(QStringLiteral("pic.pdf")));
        PageRenderer renderer;
        QVERIFY(renderer.begin(&pdf.writer));
        renderer.drawMessage(*pic);
        renderer.end();
        const QList<PageRenderer::Placement>& placed = renderer.placements();
        QCOMPARE(placed.size(), 3); // day header, picture, caption
        const PageRenderer::BubbleStyle sent = PageRenderer::style(PageRenderer::BubbleKind::Sent);
        QCOMPARE(placed.at(1).rect.width(), sent.border.left() + sent.border.right() + 200);
        QVERIFY(placed.at(1).rect.height() >
                sent.border.top() + sent.border.bottom() + 150); // plus the time line
        QCOMPARE(placed.at(2).text, QStringLiteral("look [EMOJI]"));
    }

    // A text taller than a page goes on in further bubbles; nothing runs off a page.
    void longTextContinuesOnNextPages()
    {
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        QStringList lines;
        for (int i = 0; i < 150; ++i)
            lines.append(QStringLiteral("line %1").arg(i));
        PdfPage pdf(m_dir.filePath(QStringLiteral("long.pdf")));
        PageRenderer renderer;
        QVERIFY(renderer.begin(&pdf.writer));
        renderer.drawMessage(*b.message(chat, ViberMsgType::Text, Day1, lines.join(QLatin1Char('\n'))));
        renderer.end();
        const QRect content = renderer.contentRect();
        QStringList printed;
        int lastPage = 0;
        for (const auto& p : renderer.placements()) {
            QVERIFY2(p.rect.bottom() <= content.bottom(), qPrintable(p.text.left(20)));
            if (p.kind != PageRenderer::BubbleKind::System) {
                printed.append(p.text);
                lastPage = p.page;
            }
        }
        QVERIFY(printed.size() >= 3);
        QCOMPARE(lastPage, renderer.page());
        QCOMPARE(printed.join(QLatin1Char('\n')).split(QLatin1Char('\n')), lines);
    }

    // Only a message that had a picture gets a picture bubble: one whose preview is gone
    // shows the fallback, one that never had a preview says in words what it was.
    void picturesOnlyWhereThereWasOne()
    {
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        _ViberMsg* place = b.message(chat, ViberMsgType::Location, Day1);
        place->location.setAddress(QStringLiteral("Harbour Street 4"));
        _ViberMsg* bareLocation = b.message(chat, ViberMsgType::Location, Day1.addSecs(1));
        _ViberMsg* noPreview = b.message(chat, ViberMsgType::Picture, Day1.addSecs(2), QStringLiteral("cat"));
        b.attach(noPreview, QStringLiteral("/nowhere/cat.jpg"));
        _ViberMsg* video = b.message(chat, ViberMsgType::Video, Day1.addSecs(3), QString(), true);
        _ViberMsg* lostPreview = b.message(chat, ViberMsgType::Picture, Day1.addSecs(4));
        b.attach(lostPreview, QString(), m_dir.filePath(QStringLiteral("gone.jpg")));
        PdfPage pdf(m_dir.filePath(QStringLiteral("nopictures.pdf")));
        PageRenderer renderer;
        QVERIFY(renderer.begin(&pdf.writer));
        for (const _ViberMsg* m : {place, bareLocation, noPreview, video, lostPreview})
            renderer.drawMessage(*m);
        renderer.end();
        QStringList printed;
        int pictures = 0;
        for (const auto& p : renderer.placements()) {
            if (p.kind == PageRenderer::BubbleKind::System)
                continue;
            if (p.text.isEmpty())
                ++pictures;
            else
                printed.append(p.text);
        }
        QCOMPARE(printed,
                 QStringList({QStringLiteral("[LOCATION] Harbour Street 4"), QStringLiteral("[LOCATION]"),
                              QStringLiteral("[IMAGE] cat"), QStringLiteral("[VIDEO]")}));
        QCOMPARE(pictures, 1); // the lost preview's fallback
        QCOMPARE(renderer.placements().last().text, QString());
    }

    // Text in scripts the default fonts lack is drawn with an installed font that has it.
    void cjkTextReachesThePdf()
    {
        if (!ExternalTool::available(QStringLiteral("pdftotext")))
            QSKIP("pdftotext (poppler-utils) is not installed");
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        const QString chinese = QStringLiteral("你好世界");
        const QString japanese = QStringLiteral("こんにちは");
        const QString korean = QStringLiteral("안녕하세요");
        const QString path = m_dir.filePath(QStringLiteral("cjk.pdf"));
        {
            PdfPage pdf(path);
            PageRenderer renderer;
            QVERIFY(renderer.begin(&pdf.writer));
            renderer.drawMessage(*b.message(chat, ViberMsgType::Text, Day1,
                                            QStringLiteral("latin %1 %2 %3").arg(chinese, japanese, korean)));
            renderer.end();
        }
        const QString text = ExternalTool::run(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
        QVERIFY2(text.contains(QStringLiteral("latin")), qPrintable(text));
        QVERIFY2(text.contains(chinese), qPrintable(text));
        QVERIFY2(text.contains(japanese), qPrintable(text));
        QVERIFY2(text.contains(korean), qPrintable(text));
    }

    void pageBreaksCarryNumbers()
    {
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        PdfPage pdf(m_dir.filePath(QStringLiteral("pages.pdf")));
        PageRenderer renderer;
        QVERIFY(renderer.begin(&pdf.writer));
        const QRect content = renderer.contentRect();
        for (int i = 0; i < 40; ++i)
            renderer.drawMessage(
                *b.message(chat, ViberMsgType::Text, Day1.addSecs(i), QStringLiteral("line %1").arg(i)));
        QVERIFY(renderer.page() >= 2);
        // Two messages each taller than half a page: the second cannot fit below the
        // first, so it starts the next page at the top.
        const QString tallText = QStringList(36, QStringLiteral("tall")).join(QLatin1Char('\n'));
        renderer.drawMessage(*b.message(chat, ViberMsgType::Text, Day1.addSecs(100), tallText));
        const int pagesBefore = renderer.page();
        renderer.drawMessage(*b.message(chat, ViberMsgType::Text, Day1.addSecs(101), tallText));
        renderer.end();
        const PageRenderer::Placement tall = renderer.placements().last();
        QVERIFY(tall.rect.height() * 2 > content.height());
        QCOMPARE(tall.page, pagesBefore + 1);
        QCOMPARE(tall.rect.top(), content.top());
        for (const auto& p : renderer.placements())
            QVERIFY2(p.rect.bottom() <= content.bottom() || p.rect.height() > content.height(),
                     qPrintable(p.text));
    }

    // The content keeps the 20-point margins, and every page shows its number below it.
    void pageNumbersAreOnThePage()
    {
        if (!ExternalTool::available(QStringLiteral("pdftotext")))
            QSKIP("pdftotext (poppler-utils) is not installed");
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        const QString path = m_dir.filePath(QStringLiteral("numbers.pdf"));
        QRect content;
        QRect page;
        int pages = 0;
        {
            PdfPage pdf(path);
            page = pdf.writer.pageLayout().fullRectPixels(96);
            PageRenderer renderer;
            QVERIFY(renderer.begin(&pdf.writer));
            for (int i = 0; i < 40; ++i)
                renderer.drawMessage(*b.message(chat, ViberMsgType::Text, Day1.addSecs(i),
                                                QStringLiteral("message %1").arg(i)));
            renderer.end();
            content = renderer.contentRect();
            pages = renderer.page();
        }
        QVERIFY(pages >= 2);
        const int margin = qRound(20 * 96 / 72.0); // 20 points at 96 dots an inch
        QCOMPARE(content, page.marginsRemoved(QMargins(margin, margin, margin, margin)));
        for (int n = 1; n <= pages; ++n) {
            const QString text = ExternalTool::run(
                QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(n), QStringLiteral("-l"),
                                              QString::number(n), path, QStringLiteral("-")});
            QStringList lines;
            for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                lines.append(line.trimmed());
            QVERIFY2(lines.contains(QString::number(n)), qPrintable(lines.join(QLatin1Char('|'))));
        }
    }
};

QTEST_MAIN(TestPageRenderer)
#include "tst_pagerenderer.moc"
