#include "app/AppDirs.h"
#include "db/ViberCodes.h"
#include "tests/ops/ExternalTool.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/support/DialogCloser.h"
#include "ui/MessageBox.h"
#include "ui/ViberMsgPrinter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 0));

int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

int pdfPages(const QString& path)
{
    const QString info = ExternalTool::run(QStringLiteral("pdfinfo"), {path});
    const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return pages.hasMatch() ? pages.captured(1).toInt() : -1;
}

QString pdfText(const QString& path, int page)
{
    return ExternalTool::run(QStringLiteral("pdftotext"),
                             {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                              QString::number(page), QStringLiteral("-layout"), path, QStringLiteral("-")});
}

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // What the preview showed, and the PDF its printer wrote.
    struct PreviewRun
    {
        bool opened = false;
        QString title;
        bool windowModal = false;
        bool modal = false;
        QPrinter::OutputFormat format = QPrinter::NativeFormat;
        QPageLayout layout;
        int resolution = 0;
        int previewPages = 0;
        QImage screenshot;
        bool printed = false;
    };

    // Prints through the preview; its printer then writes the pages to pdfPath.
    PreviewRun printThroughPreview(ViberMsgPrinter& printer, const QList<_ViberMsg*>& messages,
                                   const QString& pdfPath, bool* printResult)
    {
        PreviewRun run;
        printer.setPreviewHook([&run](QPrintPreviewDialog* dialog) {
            run.opened = true;
            run.title = dialog->windowTitle();
            run.windowModal = dialog->windowModality() == Qt::WindowModal;
            run.modal = dialog->isModal();
            run.format = dialog->printer()->outputFormat();
            run.layout = dialog->printer()->pageLayout();
            run.resolution = dialog->printer()->resolution();
        });
        DialogCloser closer;
        closer.expect<QPrintPreviewDialog>([&](QPrintPreviewDialog* dialog) {
            auto* preview = dialog->findChild<QPrintPreviewWidget*>();
            run.previewPages = preview ? preview->pageCount() : 0;
            run.screenshot = dialog->grab().toImage();
            // What the print button does once a printer is chosen: paint onto the printer.
            QPrinter* target = dialog->printer();
            target->setOutputFormat(QPrinter::PdfFormat);
            target->setOutputFileName(pdfPath);
            emit dialog->paintRequested(target);
            run.printed = true;
            dialog->reject();
        });
        *printResult = printer.print(messages);
        return run;
    }

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
        AppDirs::setAssetFolder(TestEnvironment::binDir());
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(QStringLiteral(VELLIPORT_SCREENSHOT_DIR)));
    }

    void init() { MessageBox::setTestMode(true); }

    // No printer is installed here: the preview still opens, on a PDF printer laid out
    // like the PDF export, and prints two days in date order with two day headers.
    void previewWithoutPrinter()
    {
        if (!ExternalTool::available(QStringLiteral("pdftotext")))
            QSKIP("pdftotext (poppler-utils) is not installed");
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"))});
        // handed over newest first; printed oldest first
        const QList<_ViberMsg*> messages{
            b.message(chat, ViberMsgType::Text, Day1.addDays(1), QStringLiteral("see you tomorrow then")),
            b.message(chat, ViberMsgType::Text, Day1.addSecs(60), QStringLiteral("good, and you?"), true),
            b.message(chat, ViberMsgType::Text, Day1, QStringLiteral("hello there"))};
        ViberMsgPrinter printer;
        const QString pdf = m_dir.filePath(QStringLiteral("days.pdf"));
        bool result = false;
        const PreviewRun run = printThroughPreview(printer, messages, pdf, &result);
        QVERIFY(result);
        QVERIFY(run.opened && run.printed);
        QCOMPARE(run.title, QStringLiteral("Print Messages"));
        QVERIFY(run.windowModal);
        QVERIFY(run.modal);
        if (QPrinterInfo::availablePrinterNames().isEmpty())
            QCOMPARE(run.format, QPrinter::PdfFormat);
        QCOMPARE(run.layout.pageSize().id(), QPageSize::A4);
        QCOMPARE(run.layout.orientation(), QPageLayout::Portrait);
        QCOMPARE(run.layout.margins(QPageLayout::Point), QMarginsF(20, 20, 20, 20));
        QCOMPARE(run.resolution, 96);
        QCOMPARE(run.previewPages, 1);

        QVERIFY(!run.screenshot.isNull());
        QVERIFY(run.screenshot.save(QStringLiteral(VELLIPORT_SCREENSHOT_DIR "/print-preview.png")));
        QVERIFY2(distinctColours(run.screenshot) > 20, "the preview shows no page");

        QCOMPARE(pdfPages(pdf), 1);
        const QString text = pdfText(pdf, 1);
        const QStringList order{Day1.toString(QStringLiteral("dd MMM yyyy")), QStringLiteral("hello there"),
                                QStringLiteral("good, and you?"),
                                Day1.addDays(1).toString(QStringLiteral("dd MMM yyyy")),
                                QStringLiteral("see you tomorrow then")};
        qsizetype at = -1;
        for (const QString& piece : order) {
            const qsizetype next = text.indexOf(piece);
            QVERIFY2(next > at, qPrintable(piece + QLatin1String(" in ") + text));
            at = next;
        }
        QCOMPARE(text.count(QStringLiteral(" 2024")), 2); // one header a day
    }

    // Each paint request starts afresh: the page count and numbers do not run on from the
    // previous request, and every page carries its number under the content.
    void pagesCarryTheirNumbers()
    {
        if (!ExternalTool::available(QStringLiteral("pdfinfo")))
            QSKIP("pdfinfo (poppler-utils) is not installed");
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        QList<_ViberMsg*> messages;
        for (int i = 0; i < 60; ++i)
            messages.append(
                b.message(chat, ViberMsgType::Text, Day1.addSecs(i), QStringLiteral("message %1").arg(i)));
        ViberMsgPrinter printer;
        const QString pdf = m_dir.filePath(QStringLiteral("pages.pdf"));
        bool result = false;
        QElapsedTimer timer;
        timer.start();
        const PreviewRun run = printThroughPreview(printer, messages, pdf, &result);
        qInfo("preview and print of %lld messages: %lld ms", qint64(messages.size()), timer.elapsed());
        QVERIFY(result && run.printed);
        QVERIFY(run.previewPages >= 3);
        // the print after the preview numbers its pages from 1 again
        QCOMPARE(printer.lastPageCount(), run.previewPages);
        QCOMPARE(pdfPages(pdf), run.previewPages);
        for (int page = 1; page <= run.previewPages; ++page) {
            const QStringList lines = pdfText(pdf, page).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QStringList trimmed;
            for (const QString& line : lines)
                trimmed.append(line.trimmed());
            QVERIFY2(trimmed.contains(QString::number(page)), qPrintable(trimmed.join(QLatin1Char('|'))));
        }
    }

    // Thousands of messages freeze the window while the preview lays them out: the user is
    // asked first, and No prints nothing.
    void largePrintAsksFirst()
    {
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        QList<_ViberMsg*> messages;
        // a type the pages leave out, so that the preview itself stays quick
        for (int i = 0; i <= ViberMsgPrinter::LargePrintMessages; ++i)
            messages.append(b.message(chat, 99, Day1.addSecs(i)));
        ViberMsgPrinter printer;
        int previews = 0;
        printer.setPreviewHook([&previews](QPrintPreviewDialog*) { ++previews; });

        MessageBox::queueAnswer(QMessageBox::No);
        QVERIFY(!printer.print(messages));
        QCOMPARE(previews, 0);
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QCOMPARE(MessageBox::shownTexts().first().kind, MessageBox::Kind::Question);
        QVERIFY(MessageBox::shownTexts().first().text.startsWith(
            QStringLiteral("You are about to print 3001 messages.")));

        MessageBox::queueAnswer(QMessageBox::Yes);
        DialogCloser closer;
        closer.expectReject("QPrintPreviewDialog");
        QVERIFY(printer.print(messages));
        QCOMPARE(previews, 1);
        QCOMPARE(closer.pending(), 0);

        // up to the limit nobody is asked
        MessageBox::clearShown();
        messages.removeLast();
        closer.expectReject("QPrintPreviewDialog");
        QVERIFY(printer.print(messages));
        QCOMPARE(previews, 2);
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
