#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "ops/BackgroundWriter.h"
#include "ops/ExportManifest.h"
#include "ops/ExportMessagesHtml.h"
#include "ops/ExportMessagesJson.h"
#include "ops/ExportMessagesThread.h"
#include "ops/ExportViberCallsThread.h"
#include "ops/ExtractMediaFilesThread.h"
#include "ops/FileBatch.h"
#include "ops/LocalMinutes.h"
#include "ops/MessageFilter.h"
#include "ops/OperationError.h"
#include "ops/TextFileWriter.h"
#include "ops/WriteOutQueue.h"
#include "tests/ops/ExternalTool.h"
#include "tests/ops/HtmlPagesCheck.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUrl>

#include <atomic>
#include <memory>
#include <thread>

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 7));

struct ThreeChats
{
    DataSetBuilder b;
    QList<_ViberMsg*> messages;
    ThreeChats()
    {
        _ViberPerson* anna = b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"));
        _ViberPerson* ben = b.person(2, QStringLiteral("+2"), QStringLiteral("Ben/Bo"));
        _ViberPerson* cy = b.person(3, QStringLiteral("+3"));
        const QList<_ViberChat*> chats{b.chat(30, {cy}), b.chat(10, {anna}), b.chat(20, {anna, ben})};
        for (int i = 0; i < 6; ++i)
            messages << b.message(chats.at(i % 3), ViberMsgType::Text, Day1.addSecs(100 - i),
                                  QStringLiteral("m%1").arg(i));
    }
};

// Text the way messages come: mostly plain, with markup characters, controls, text
// outside Latin-1, emoji pairs, and now and then half a surrogate pair.
QString randomText(QRandomGenerator& random)
{
    static const char16_t Pieces[] = {u'a',   u'"',   u'\\',  u'/',   u'\n',  u'\t', 0x01,
                                      0x1f,   0x7f,   0xe9,   0x44f,  0x7ff,  0x800, 0x4e2d,
                                      0xfffd, 0xffff, 0xd83d, 0xde00, 0xdbff, 0xdc00};
    QString text;
    const int size = random.bounded(12);
    for (int i = 0; i < size; ++i) {
        const char16_t unit = Pieces[random.bounded(int(std::size(Pieces)))];
        if (unit == 0xd83d && random.bounded(2) == 0)
            text += QStringView(u"\U0001F600");
        else
            text += QChar(unit);
    }
    return text;
}

// What Qt's UTF-8 encoder makes of a text, as the exported files have always held it.
QString asFileHoldsIt(const QString& text)
{
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return QString::fromUtf8(encoder.encode(text));
}

double randomNumber(QRandomGenerator& random)
{
    switch (random.bounded(4)) {
    case 0:
        return random.bounded(360.0) - 180.0;
    case 1:
        return double(random.bounded(-1000, 1000));
    case 2:
        return random.bounded(1.0) * 1e-7;
    default:
        return random.bounded(1.0) * 1e15;
    }
}

// The files of an export's chats: an HTML export's index.html is no chat's page.
QStringList filesIn(const QString& folder, const QStringList& filters)
{
    QStringList files = QDir(folder).entryList(filters, QDir::Files, QDir::Name);
    files.removeAll(QStringLiteral("index.html"));
    return files;
}

// Opens an exported page in a browser we did not write and looks for the received
// bubbles' fill on the screenshot: the page, its style sheet and the bubble pieces
// must all have loaded for that colour to appear, and the text drawn on top of it.
void checkRenderedBubbles(const QString& page)
{
    if (!ExternalTool::available(QStringLiteral("chromium")))
        QSKIP("chromium is missing: the HTML was not rendered by a browser");
    QTemporaryDir profile;
    const QString shot = profile.filePath(QStringLiteral("shot.png"));
    ExternalTool::run(QStringLiteral("chromium"),
                      {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                       QStringLiteral("--disable-gpu"), QStringLiteral("--disable-background-networking"),
                       QStringLiteral("--disable-component-update"), QStringLiteral("--no-first-run"),
                       QStringLiteral("--hide-scrollbars"),
                       QStringLiteral("--user-data-dir=") + profile.filePath(QStringLiteral("p")),
                       QStringLiteral("--window-size=800,600"), QStringLiteral("--screenshot=") + shot,
                       QUrl::fromLocalFile(page).toString()});
    const QImage image(shot);
    QVERIFY2(!image.isNull(), "chromium made no screenshot");
    int white = 0;
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (p == qRgb(255, 255, 255))
                ++white;
            else if (qGray(p) < 60)
                ++dark;
        }
    }
    QVERIFY2(white > 2000, qPrintable(QStringLiteral("only %1 bubble pixels").arg(white)));
    QVERIFY2(dark > 20, qPrintable(QStringLiteral("only %1 text pixels").arg(dark)));
}

} // namespace

class TestExportWorkers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        AppDirs::setAssetFolder(QStringLiteral(VELLIPORT_BIN_DIR));
        TestEnvironment::installTranslation();
    }

    void oneFilePerChat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("pdf") << int(ExportMessagesThread::Pdf) << QStringLiteral("pdf");
        QTest::newRow("html") << int(ExportMessagesThread::Html) << QStringLiteral("html");
    }

    void oneFilePerChat()
    {
        QFETCH(int, format);
        QFETCH(QString, suffix);
        ThreeChats data;
        const QString out = m_dir.filePath(QStringLiteral("per-chat-") + suffix);
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(data.messages, out, format, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        QCOMPARE(receiver.successes, QStringList({QStringLiteral("Successfully exported 6 Messages.")}));
        QCOMPARE(filesIn(out, {QStringLiteral("*.") + suffix}),
                 QStringList({QStringLiteral("+3.") + suffix, QStringLiteral("Anna(+1), BenBo(+2).") + suffix,
                              QStringLiteral("Anna(+1).") + suffix}));
        QCOMPARE(receiver.progress.first().value, -1);
        QCOMPARE(receiver.progress.last().text, QStringLiteral("Messages: 6/6"));
        QCOMPARE(receiver.progress.last().value, 100);
        if (format == ExportMessagesThread::Html) {
            QVERIFY(QFileInfo(out + QStringLiteral("/files/style.css")).isFile());
            QVERIFY(QFileInfo(out + QStringLiteral("/vb_emoji/(smiley).png")).isFile());
            // within a chat, by date
            QFile f(out + QStringLiteral("/Anna(+1).html"));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray html = f.readAll();
            QVERIFY(html.indexOf("m4") < html.indexOf("m1"));
            checkRenderedBubbles(out + QStringLiteral("/Anna(+1), BenBo(+2).html"));
        }
    }

    // The export lists the emoticon pictures once: a code with its picture becomes the
    // picture, one without stays text.
    void htmlExportPicturesEmoticons()
    {
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"))});
        const QList<_ViberMsg*> messages = {
            b.message(chat, ViberMsgType::Text, Day1, QStringLiteral("hi (smiley) (nosuch) (6' 19'')"))};
        const QString out = m_dir.filePath(QStringLiteral("emoticons"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(messages, out, ExportMessagesThread::Html, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        const QByteArray html = TestEnvironment::readFile(out + QStringLiteral("/Anna(+1).html"));
        QVERIFY(
            html.contains("hi <img src=\"vb_emoji/(smiley).png\" style=\"vertical-align:top;\" /> (nosuch) "
                          "(6' 19'')<div class=\"bb_time\">"));
    }

    // A long chat is cut into pages of a thousand messages, and long texts cut a page
    // sooner, so that none passes MaxPageBytes; the pages hold every message once, each
    // links its neighbours and the first message of every month, and a chat with media
    // has a page of them. A search hit on a later page links that page. Every page is
    // read as a browser's parser reads it, with every link followed.
    void htmlArchivePagesAndMedia()
    {
        QTemporaryDir media;
        const QString photo = media.filePath(QStringLiteral("photo.jpg"));
        const QString thumb = media.filePath(QStringLiteral("thumb.jpg"));
        const QString voice = media.filePath(QStringLiteral("voice.m4a"));
        const QString clip = media.filePath(QStringLiteral("clip.mp4"));
        QVERIFY(DataSetBuilder::writeImage(photo, 40, 30) && DataSetBuilder::writeImage(thumb, 20, 20) &&
                DataSetBuilder::writeFile(voice, "voice") && DataSetBuilder::writeFile(clip, "video"));
        DataSetBuilder b;
        _ViberChat* anna = b.chat(1, {b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"))});
        _ViberChat* ben = b.chat(2, {b.person(2, QStringLiteral("+2"), QStringLiteral("Ben"))});
        QList<_ViberMsg*> messages;
        _ViberMsg* needle = nullptr;
        messages << b.message(ben, ViberMsgType::Text, Day1.addSecs(-5),
                              QStringLiteral("Café Überraschung 東京 \"it's\" a\\b </script>"));
        _ViberMsg* accented = messages.last();
        for (int i = 0; i < 2300; ++i) {
            messages << b.message(anna, ViberMsgType::Text, Day1.addSecs(i * 3600),
                                  i == 1500 ? QStringLiteral("the Needle") : QStringLiteral("m%1").arg(i),
                                  i % 2);
            if (i == 1500)
                needle = messages.last();
        }
        messages << b.message(anna, ViberMsgType::Picture, Day1.addSecs(-60));
        b.attach(messages.last(), photo, thumb);
        messages << b.message(anna, ViberMsgType::Voice, Day1.addDays(200));
        b.attach(messages.last(), voice);
        messages << b.message(anna, ViberMsgType::Video, Day1.addDays(201));
        b.attach(messages.last(), clip, thumb);
        for (int i = 0; i < 700; ++i)
            messages << b.message(ben, ViberMsgType::Text, Day1.addSecs(i), QString(8000, u'x'));
        const QString out = m_dir.filePath(QStringLiteral("archive"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(messages, out, ExportMessagesThread::Html, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());

        QStringList pages = filesIn(out, {QStringLiteral("*.html")});
        pages.sort();
        QCOMPARE(pages, QStringList({QStringLiteral("Anna(+1)-2.html"), QStringLiteral("Anna(+1)-3.html"),
                                     QStringLiteral("Anna(+1)-media.html"), QStringLiteral("Anna(+1).html"),
                                     QStringLiteral("Ben(+2)-2.html"), QStringLiteral("Ben(+2).html")}));
        for (const QString& page : std::as_const(pages))
            QVERIFY2(QFileInfo(QDir(out).filePath(page)).size() <= ExportMessagesHtml::MaxPageBytes,
                     qPrintable(page));
        // Search files hold no more of a long text than a result shows.
        for (const QFileInfo& file : QDir(out + QStringLiteral("/search")).entryInfoList(QDir::Files))
            QVERIFY2(file.size() <= 1536 * 1024, qPrintable(file.fileName()));
        const QByteArray second = TestEnvironment::readFile(out + QStringLiteral("/Anna(+1)-2.html"));
        QVERIFY(second.contains("rel=\"prev\" href=\"Anna%28%2B1%29.html\"") &&
                second.contains("rel=\"next\" href=\"Anna%28%2B1%29-3.html\"") &&
                second.contains("href=\"Anna%28%2B1%29-media.html\""));
        // The months after the first page link to the later pages (the script follows them).
        QVERIFY(second.contains("Anna%28%2B1%29-3.html#msg-") && second.contains(">2024-06</a>"));
        const QByteArray mediaPage = TestEnvironment::readFile(out + QStringLiteral("/Anna(+1)-media.html"));
        QVERIFY(mediaPage.contains("loading=\"lazy\" alt=\"\" src=\"files/thumb.jpg\"") &&
                mediaPage.contains("href=\"files/photo.jpg\"") && mediaPage.contains(">voice.m4a</a>") &&
                mediaPage.contains(">clip.mp4</a>"));
        QVERIFY(TestEnvironment::readFile(out + QStringLiteral("/index.html"))
                    .contains("<a href=\"Anna%28%2B1%29-media.html\">"));

        if (!ExternalTool::available(QStringLiteral("python3")))
            QSKIP("python3 is missing: the pages were not parsed");
        const QString anchors = ExternalTool::run(QStringLiteral("python3"), {QStringLiteral("-"), out},
                                                  QByteArray(CheckPagesScript));
        QVERIFY2(!anchors.isNull(), "the pages do not parse as HTML (see the warning above)");
        QStringList found;
        QString needlePage;
        for (const QString& line : anchors.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const qsizetype space = line.lastIndexOf(QLatin1Char(' '));
            found.append(line.mid(space + 1));
            if (line.mid(space + 1) == QString::number(needle->id))
                needlePage = line.left(space);
        }
        QStringList ids;
        for (const _ViberMsg* msg : std::as_const(messages))
            ids.append(QString::number(msg->id));
        found.sort();
        ids.sort();
        QCOMPARE(found, ids);
        QCOMPARE(needlePage, QStringLiteral("Anna(+1)-2.html"));

        if (!ExternalTool::available(QStringLiteral("chromium")))
            QSKIP("chromium is missing: the search was not run");
        // Words match whatever their case and accents, in any order, and as the start of a
        // word; the newest results come first, a hundred at a time.
        QTemporaryDir profile;
        const auto search = [&](const QString& words) {
            QUrl page = QUrl::fromLocalFile(out + QStringLiteral("/index.html"));
            page.setQuery(QStringLiteral("q=") + words);
            return ExternalTool::run(
                QStringLiteral("chromium"),
                {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                 QStringLiteral("--disable-gpu"), QStringLiteral("--disable-dev-shm-usage"),
                 QStringLiteral("--no-first-run"),
                 QStringLiteral("--user-data-dir=") + profile.filePath(QStringLiteral("p")),
                 QStringLiteral("--virtual-time-budget=10000"), QStringLiteral("--dump-dom"),
                 page.toString()});
        };
        QString dom = search(QStringLiteral("needle"));
        QVERIFY2(dom.contains(QStringLiteral("1 messages found")) &&
                     dom.contains(QStringLiteral("href=\"Anna%28%2B1%29-2.html#msg-%1\"").arg(needle->id)),
                 qPrintable(dom.right(2000)));
        dom = search(QStringLiteral("京 UBER cafe"));
        QVERIFY2(dom.contains(QStringLiteral("1 messages found")) &&
                     dom.contains(QStringLiteral("#msg-%1\"").arg(accented->id)) &&
                     dom.contains(QStringLiteral(" 2024-03-05 09:15 Ben: Café Überraschung 東京 \"it's\" "
                                                 "a\\b &lt;/script&gt;</li>")),
                 qPrintable(dom.right(2000)));
        // m1, m10…m19, m100…m199, m1000…m1999 but m1500, the needle's place.
        dom = search(QStringLiteral("M1"));
        QVERIFY2(dom.contains(QStringLiteral("1110 messages found")) &&
                     dom.count(QStringLiteral("class=\"hit\"")) == 100 &&
                     dom.contains(QStringLiteral("Show 100 more")),
                 qPrintable(dom.right(2000)));
        const qsizetype firstHit = dom.indexOf(QStringLiteral("class=\"hit\""));
        QVERIFY2(dom.mid(firstHit, 200).contains(QStringLiteral(": m1999<")),
                 qPrintable(dom.mid(firstHit, 200)));
    }

    // The shared pictures arrive whole, and a file the folder already holds is kept.
    void sharedFilesCopiedNeverReplaced()
    {
        ThreeChats data;
        const QString out = m_dir.filePath(QStringLiteral("shared"));
        QVERIFY(DataSetBuilder::writeFile(out + QStringLiteral("/files/style.css"), "my own style"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(data.messages, out, ExportMessagesThread::Html, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        const auto bytes = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
        };
        QCOMPARE(bytes(out + QStringLiteral("/files/style.css")), QByteArray("my own style"));
        const QString voice = QStringLiteral(VELLIPORT_BIN_DIR "/vbbb/voice.png");
        QVERIFY(QFileInfo(voice).size() > 0);
        QCOMPARE(bytes(out + QStringLiteral("/files/voice.png")), bytes(voice));
    }

    // Two chats with the same participants each keep their file.
    void sameParticipantsKeepTwoFiles()
    {
        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"));
        QList<_ViberMsg*> msgs{
            b.message(b.chat(1, {anna}), ViberMsgType::Text, Day1, QStringLiteral("first chat")),
            b.message(b.chat(2, {anna}), ViberMsgType::Text, Day1, QStringLiteral("second chat"))};
        const QString out = m_dir.filePath(QStringLiteral("same"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(msgs, out, ExportMessagesThread::Html, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(filesIn(out, {QStringLiteral("*.html")}),
                 QStringList({QStringLiteral("Anna(+1)(1).html"), QStringLiteral("Anna(+1).html")}));
        QFile first(out + QStringLiteral("/Anna(+1).html"));
        QVERIFY(first.open(QIODevice::ReadOnly));
        QVERIFY(first.readAll().contains("first chat"));
        QFile second(out + QStringLiteral("/Anna(+1)(1).html"));
        QVERIFY(second.open(QIODevice::ReadOnly));
        QVERIFY(second.readAll().contains("second chat"));
    }

    // A chat whose file would take the name of the export's own index or provenance
    // keeps its messages in a numbered file, and the proof still holds.
    void chatsNamedLikeTheExportsOwnFiles()
    {
        DataSetBuilder b;
        QList<_ViberMsg*> msgs;
        for (const char* name : {"provenance", "index"})
            msgs << b.message(b.chat(msgs.size() + 1, {b.person(msgs.size() + 1, QString::fromLatin1(name))}),
                              ViberMsgType::Text, Day1, QStringLiteral("in ") + QString::fromLatin1(name));
        const QString out = m_dir.filePath(QStringLiteral("own-names"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(msgs, out, ExportMessagesThread::Json, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        QVERIFY(
            TestEnvironment::readFile(out + QStringLiteral("/provenance(1).json")).contains("in provenance"));
        QVERIFY(TestEnvironment::readFile(out + QStringLiteral("/index(1).json")).contains("in index"));
        QVERIFY(TestEnvironment::readFile(out + QStringLiteral("/provenance.json")).contains("\"program\""));
        const ExportManifest::Check check = ExportManifest::verify(out);
        QVERIFY2(check.holds(), qPrintable(check.problem + check.changed.join(u' ')));
    }

    void cancelRemovesWhatTheRunMade()
    {
        ThreeChats data;
        const QString out = m_dir.filePath(QStringLiteral("cancelled"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        receiver.cancelAtProgress = 5; // the title, then four messages: two chats are written by then
        ExportMessagesThread worker(data.messages, out, ExportMessagesThread::Html, channel);
        receiver.runInWorkerThread(worker);
        QVERIFY(receiver.outcomes() == 0);
        QVERIFY(!QFileInfo::exists(out));
    }

    // A folder the user chose that already held files keeps them when the run is cancelled,
    // the pages of an earlier export of the same chats as they were.
    void cancelKeepsWhatWasThere()
    {
        ThreeChats data;
        const QString earlier = m_dir.filePath(QStringLiteral("earlier"));
        {
            ProgressChannel channel;
            RecordingReceiver receiver(&channel);
            ExportMessagesThread worker(data.messages, earlier, ExportMessagesThread::Html, channel);
            receiver.runInWorkerThread(worker);
        }
        const QStringList pages = filesIn(earlier, {QStringLiteral("*.html")});
        QCOMPARE(pages.size(), 3);
        const QString out = m_dir.filePath(QStringLiteral("chosen"));
        for (const QString& page : pages)
            QVERIFY(DataSetBuilder::writeFile(QDir(out).filePath(page), "an earlier page"));
        QVERIFY(DataSetBuilder::writeFile(out + QStringLiteral("/my notes.txt"), "keep me"));
        QVERIFY(DataSetBuilder::writeFile(out + QStringLiteral("/photos/cat.jpg"), "keep me too"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        receiver.cancelAtProgress = 5;
        ExportMessagesThread worker(data.messages, out, ExportMessagesThread::Html, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 pages + QStringList({QStringLiteral("my notes.txt"), QStringLiteral("photos")}));
        QVERIFY(QFileInfo::exists(out + QStringLiteral("/photos/cat.jpg")));
        for (const QString& page : pages)
            QCOMPARE(TestEnvironment::readFile(QDir(out).filePath(page)), QByteArray("an earlier page"));
    }

    // The files of a batch are put in place together or not at all, and no temporary file
    // outlives the batch.
    void fileBatchPutsAllInPlaceOrNone()
    {
        const QDir out(m_dir.filePath(QStringLiteral("batch")));
        QVERIFY(DataSetBuilder::writeFile(out.filePath(QStringLiteral("a.txt")), "old a"));
        const auto everything = [&out] {
            return out.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        };
        // a writer of the batch that has written its line
        const auto writing = [&out](FileBatch& batch, const QString& name, QStringView line) {
            auto writer = std::make_unique<TextFileWriter>(out.filePath(name), &batch);
            writer->open();
            writer->writeLine(line);
            return writer;
        };
        {
            FileBatch batch;
            writing(batch, QStringLiteral("a.txt"), u"new a")->finish();
            const auto b = writing(batch, QStringLiteral("b.txt"), u"new b");
            QVERIFY_THROWS_EXCEPTION(OperationError, batch.commit()); // b was never finished
            QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("a.txt"))), QByteArray("old a"));
        }
        QCOMPARE(everything(), QStringList({QStringLiteral("a.txt")}));
        {
            FileBatch batch;
            writing(batch, QStringLiteral("a.txt"), u"new a")->finish();
            writing(batch, QStringLiteral("c.txt"), u"never")->discard();
            TextFileWriter b(out.filePath(QStringLiteral("b.txt")), &batch);
            b.open();
            b.writeUtf8("new b");
            b.finish();
            b.discard(); // after finish: the file is the batch's
            // until the commit, only temporary files (opened on the batch's thread) stand
            // beside the old a.txt
            const QStringList before = everything();
            QCOMPARE(before.filter(QRegularExpression(QStringLiteral("^\\.velliport-[0-9a-f]{16}\\.part$")))
                             .size() +
                         1,
                     before.size());
            QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("a.txt"))), QByteArray("old a"));
            batch.commit();
        }
        QCOMPARE(everything(), QStringList({QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
        QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("a.txt"))), QByteArray("new a\r\n"));
        QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("b.txt"))), QByteArray("new b"));
    }

    void zeroMessages_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("text") << int(ExportMessagesThread::Text);
        QTest::newRow("csv") << int(ExportMessagesThread::Csv);
    }

    void zeroMessages()
    {
        QFETCH(int, format);
        const QString out = m_dir.filePath(QStringLiteral("nothing-%1.txt").arg(format));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker({}, out, format, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.successes, QStringList({QStringLiteral("Successfully exported 0 Messages.")}));
        QVERIFY(!QFileInfo::exists(out));
    }

    void unsupportedFormat()
    {
        ThreeChats data;
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(data.messages, m_dir.filePath(QStringLiteral("x.out")), 7, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList({QStringLiteral("not support export format.")}));
    }

    void unwritableTextFileIsAnError()
    {
        ThreeChats data;
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(data.messages, m_dir.filePath(QStringLiteral("missing/dir/out.txt")),
                                    ExportMessagesThread::Text, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors.size(), 1);
        QVERIFY(receiver.successes.isEmpty());
    }

    // A folder of the export's name cannot be written, and what it holds is never removed.
    // A program being run (which no one, not even root, may open for writing) is replaced
    // whole: the export is written beside it and renamed over its name, and the program
    // runs on from its own copy.
    void failedOpenRemovesNothing_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("folder");
        QTest::newRow("text, busy file") << int(ExportMessagesThread::Text) << false;
        QTest::newRow("csv, busy file") << int(ExportMessagesThread::Csv) << false;
        QTest::newRow("call log, busy file") << -1 << false;
        QTest::newRow("text, folder") << int(ExportMessagesThread::Text) << true;
        QTest::newRow("call log, folder") << -1 << true;
    }

    void failedOpenRemovesNothing()
    {
        QFETCH(int, format);
        QFETCH(bool, folder);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("busy"));
        QProcess running;
        if (folder) {
            QVERIFY(DataSetBuilder::writeFile(out + QStringLiteral("/inside.txt"), "keep"));
        } else {
            QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), out));
            running.start(out, {QStringLiteral("30")});
            QVERIFY(running.waitForStarted());
        }
        const auto stop = qScopeGuard([&] {
            running.kill();
            running.waitForFinished();
        });
        ThreeChats data;
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        if (format < 0) {
            ExportViberCallsThread worker(
                {data.b.callMessage(nullptr, nullptr, ViberCallKind::Missed, 0, Day1)->call}, out, channel);
            receiver.runInWorkerThread(worker);
        } else {
            ExportMessagesThread worker(data.messages, out, format, channel);
            receiver.runInWorkerThread(worker);
        }
        if (folder) {
            QCOMPARE(receiver.errors.size(), 1);
            QVERIFY(receiver.successes.isEmpty());
            QCOMPARE(TestEnvironment::readFile(out + QStringLiteral("/inside.txt")), QByteArray("keep"));
        } else {
            QCOMPARE(receiver.errors, QStringList());
            QCOMPARE(receiver.successes.size(), 1);
            const QByteArray written = TestEnvironment::readFile(out);
            QVERIFY(written.endsWith("\r\n"));
            QVERIFY(written != TestEnvironment::readFile(QStringLiteral("/bin/sleep")));
            QCOMPARE(running.state(), QProcess::Running);
        }
    }

    // A JSON line is written by hand for speed: it must be exactly what QJsonDocument writes
    // for what it reads back (keys sorted, compact, the same escapes and numbers), and the
    // texts must read back as written, half a surrogate pair as U+FFFD.
    void jsonLinesAreWhatQJsonDocumentWrites()
    {
        QRandomGenerator random(20261209);
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        for (int round = 0; round < 3000; ++round) {
            _ViberPerson* sender = b.person(100 + round, randomText(random), randomText(random));
            const int type = QList<int>{ViberMsgType::Text,  ViberMsgType::Picture, ViberMsgType::Location,
                                        ViberMsgType::Video, ViberMsgType::Call,    ViberMsgType::Sticker}
                                 .at(random.bounded(6));
            _ViberMsg* msg = b.message(chat, type, Day1.addSecs(random.bounded(-100000000, 100000000)),
                                       randomText(random), random.bounded(2) == 0, sender);
            msg->id = qint64(random.generate64()) >> random.bounded(64);
            msg->date += random.bounded(1000) / 1000.0;
            if (type == ViberMsgType::Location) {
                msg->location.setLatitude(randomNumber(random));
                msg->location.setLongitude(randomNumber(random));
                msg->location.setAddress(randomText(random));
            }
            _ViberAtta atta;
            atta.fileName = randomText(random);
            atta.fileId = randomText(random);
            atta.fileSize = qint64(random.generate64() >> 1);
            atta.duration = type == ViberMsgType::Video ? randomNumber(random) : 0;
            _ViberCall call;
            call.duration = random.bounded(100000);
            call.kind = random.bounded(4);
            if (type == ViberMsgType::Picture || type == ViberMsgType::Video || type == ViberMsgType::Sticker)
                msg->attachment = &atta;
            if (type == ViberMsgType::Call)
                msg->call = &call;
            const QString path = random.bounded(2) ? randomText(random) : QString();

            QByteArray line;
            ExportMessagesJson::appendMessage(line, *msg, path);
            QJsonParseError error;
            const QJsonDocument parsed = QJsonDocument::fromJson(line, &error);
            QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
            QCOMPARE(line, parsed.toJson(QJsonDocument::Compact));
            const QJsonObject object = parsed.object();
            QCOMPARE(object.value(QStringLiteral("text")).toString(), asFileHoldsIt(msg->text));
            QCOMPARE(
                object.value(QStringLiteral("sender")).toObject().value(QStringLiteral("name")).toString(),
                asFileHoldsIt(sender->name));
            QCOMPARE(object.value(QStringLiteral("id")).toInteger(), msg->id);
            msg->attachment = nullptr;
            msg->call = nullptr;
        }
    }

    // Times are formatted by hand from the C library's local time, and minutes from an
    // offset kept for a day; Qt says what they must be, on the days the offset changes too
    // (every half hour of 2024).
    void isoTimesAgreeWithQt()
    {
        QRandomGenerator random(7);
        for (const QByteArray zone : {"UTC", "Europe/Kyiv", "America/St_Johns", "Asia/Kathmandu"}) {
            qputenv("TZ", zone);
            tzset();
            LocalMinutes minutes;
            const auto check = [&minutes](qint64 ms) {
                const double refSeconds = ViberDates::unixMsToRef(ms);
                const QDateTime local = QDateTime::fromMSecsSinceEpoch(MessageFilter::unixMs(refSeconds));
                QCOMPARE(ExportMessagesJson::isoTime(refSeconds),
                         local.toTimeZone(QTimeZone(local.offsetFromUtc())).toString(Qt::ISODateWithMs));
                QByteArray minute;
                minutes.append(minute, refSeconds);
                QCOMPARE(minute, local.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toLatin1());
            };
            for (int i = 0; i < 2000; ++i)
                check(qint64(random.generate64() % 8000000000000ULL) - 2000000000000LL);
            for (qint64 ms = 1704067200000LL; ms < 1735689600000LL; ms += 1800000)
                check(ms);
        }
        qunsetenv("TZ");
        tzset();
    }

    // A copy through the batch is the source byte for byte, never takes a name already
    // there, and leaves nothing when it cannot be made.
    void fileBatchCopies()
    {
        const QDir out(m_dir.filePath(QStringLiteral("batch-copies")));
        QByteArray bytes(200 * 1024 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 % 251);
        QVERIFY(DataSetBuilder::writeFile(out.filePath(QStringLiteral("source.bin")), bytes));
        QVERIFY(DataSetBuilder::writeFile(out.filePath(QStringLiteral("taken.bin")), "mine"));
        FileBatch batch;
        QVERIFY(batch.copyNew(out.filePath(QStringLiteral("source.bin")),
                              out.filePath(QStringLiteral("copy.bin"))));
        QVERIFY(!batch.copyNew(out.filePath(QStringLiteral("source.bin")),
                               out.filePath(QStringLiteral("taken.bin"))));
        QVERIFY(!batch.copyNew(out.filePath(QStringLiteral("missing.bin")),
                               out.filePath(QStringLiteral("none.bin"))));
        batch.commit();
        QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("copy.bin"))), bytes);
        QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("taken.bin"))), QByteArray("mine"));
        QCOMPARE(out.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList({QStringLiteral("copy.bin"), QStringLiteral("source.bin"),
                              QStringLiteral("taken.bin")}));
    }

    // The batch's thread runs jobs in the order they came, keeps the first failure, and
    // holds back whoever hands over more than the bound while earlier jobs wait.
    void backgroundWriterKeepsOrderAndBound()
    {
        constexpr qsizetype MiB = 1024 * 1024;
        std::vector<int> ran; // only the writer's thread touches it until drain()
        std::atomic<bool> release = false;
        std::atomic<int> handedOver = 0;
        {
            BackgroundWriter writer(3 * MiB);
            writer.post([&] {
                while (!release)
                    std::this_thread::yield();
                ran.push_back(0);
                return QString();
            });
            std::thread poster([&] {
                for (int i = 1; i <= 6; ++i) {
                    writer.post(
                        [&ran, i] {
                            ran.push_back(i);
                            return i == 2 || i == 4 ? QStringLiteral("failure %1").arg(i) : QString();
                        },
                        MiB);
                    ++handedOver;
                }
            });
            // Three megabytes of jobs fit while the first one holds the thread; the fourth
            // waits for room.
            QTRY_COMPARE(handedOver.load(), 3);
            QTest::qWait(50);
            QCOMPARE(handedOver.load(), 3);
            release = true;
            poster.join();
            writer.drain();
            QCOMPARE(ran, std::vector<int>({0, 1, 2, 3, 4, 5, 6}));
            QCOMPARE(writer.firstError(), QStringLiteral("failure 2"));
            // A job larger than the bound still goes, alone; the end runs what waits.
            writer.post(
                [&] {
                    ran.push_back(7);
                    return QString();
                },
                10 * MiB);
            writer.post([&] {
                ran.push_back(8);
                return QString();
            });
        }
        QCOMPARE(ran.back(), 8);
    }

    // A page whose temporary file cannot be made (it is made on the batch's thread) fails
    // the batch, naming the page, and leaves nothing.
    void fileBatchReportsAFileItCouldNotMake()
    {
        const QDir out(m_dir.filePath(QStringLiteral("batch-unmade")));
        QVERIFY(QDir().mkpath(out.path()));
        const QString page = out.filePath(QStringLiteral("no-such-folder/page.html"));
        QString error;
        {
            FileBatch batch;
            TextFileWriter writer(page, &batch);
            try {
                writer.open();
                writer.writeLine(u"text");
                writer.finish();
                batch.commit();
            } catch (const OperationError& e) {
                error = QString::fromUtf8(e.what());
            }
        }
        QVERIFY2(error.startsWith(QDir::toNativeSeparators(page) + QStringLiteral(": ")), qPrintable(error));
        QVERIFY(out.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    }

    // Files handed to the write-out queue are written out, dropped from the cache and,
    // past some tens of megabytes, made durable in stages on a thread of the queue's:
    // none of it costs a byte, whether the file was closed at once or later.
    void writeOutQueueKeepsEveryByte()
    {
        const QDir out(m_dir.filePath(QStringLiteral("write-out")));
        QVERIFY(QDir().mkpath(out.path()));
        constexpr qsizetype MiB = 1024 * 1024;
        const auto contentOf = [](int file, qsizetype size) {
            QByteArray bytes(size, Qt::Uninitialized);
            for (qsizetype i = 0; i < size; ++i)
                bytes[i] = char((i * 31 + file * 7 + i / 4096) % 251);
            return bytes;
        };
        const QList<qsizetype> sizes = {14 * MiB, 1, 0, 14 * MiB, 3 * MiB + 17, 14 * MiB, 5};
        {
            WriteOutQueue queue(4 * MiB);
            std::vector<std::unique_ptr<QFile>> stillOpen;
            for (int i = 0; i < sizes.size(); ++i) {
                auto file = std::make_unique<QFile>(out.filePath(QStringLiteral("%1.bin").arg(i)));
                QVERIFY(file->open(QIODevice::WriteOnly));
                QCOMPARE(file->write(contentOf(i, sizes.at(i))), sizes.at(i));
                QVERIFY(file->flush());
                QCOMPARE(queue.add(*file), QString());
                if (i % 2 == 0)
                    stillOpen.push_back(std::move(file));
            }
            stillOpen.clear();
            QCOMPARE(queue.finishAll(), QString());
            QCOMPARE(queue.finishAll(), QString()); // nothing left to wait for
        }
        for (int i = 0; i < sizes.size(); ++i) {
            QFile file(out.filePath(QStringLiteral("%1.bin").arg(i)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(file.readAll() == contentOf(i, sizes.at(i)), qPrintable(file.fileName()));
        }
    }

    // A folder copied wholly on the batch's thread: every plain file of the source, a name
    // already taken keeps its file, and nothing of a sub-folder.
    void fileBatchCopiesFolders()
    {
        const QDir source(m_dir.filePath(QStringLiteral("folder-source")));
        const QDir target(m_dir.filePath(QStringLiteral("folder-target")));
        QByteArray big(300 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 13 % 241);
        QVERIFY(DataSetBuilder::writeFile(source.filePath(QStringLiteral("a.png")), "a"));
        QVERIFY(DataSetBuilder::writeFile(source.filePath(QStringLiteral("(smiley).png")), big));
        QVERIFY(DataSetBuilder::writeFile(source.filePath(QStringLiteral("taken.png")), "new"));
        QVERIFY(DataSetBuilder::writeFile(source.filePath(QStringLiteral("sub/inner.png")), "inner"));
        QVERIFY(DataSetBuilder::writeFile(target.filePath(QStringLiteral("taken.png")), "mine"));
        {
            FileBatch batch;
            batch.copyFolderNew(source.path(), target.path());
            batch.copyFolderNew(m_dir.filePath(QStringLiteral("no such folder")),
                                m_dir.filePath(QStringLiteral("never made")));
            batch.commit();
        }
        QCOMPARE(target.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList(
                     {QStringLiteral("(smiley).png"), QStringLiteral("a.png"), QStringLiteral("taken.png")}));
        QCOMPARE(TestEnvironment::readFile(target.filePath(QStringLiteral("(smiley).png"))), big);
        QCOMPARE(TestEnvironment::readFile(target.filePath(QStringLiteral("a.png"))), QByteArray("a"));
        QCOMPARE(TestEnvironment::readFile(target.filePath(QStringLiteral("taken.png"))), QByteArray("mine"));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("never made"))));
    }

    // Pages written by turns, block after block, each longer than a block: every file
    // gets its own bytes in order, whatever the batch's thread interleaves.
    void fileBatchWritersTakeTurns()
    {
        const QDir out(m_dir.filePath(QStringLiteral("batch-turns")));
        QVERIFY(QDir().mkpath(out.path()));
        FileBatch batch;
        std::vector<std::unique_ptr<TextFileWriter>> writers;
        std::vector<QByteArray> expected(5);
        for (int w = 0; w < 5; ++w) {
            writers.push_back(
                std::make_unique<TextFileWriter>(out.filePath(QStringLiteral("%1.txt").arg(w)), &batch));
            writers.back()->open();
        }
        QRandomGenerator random(5);
        for (int round = 0; round < 4000; ++round) {
            const int w = int(random.bounded(5));
            const QString line =
                QStringLiteral("%1:%2 ").arg(w).arg(round).repeated(int(random.bounded(1, 60)));
            writers.at(w)->write(line);
            expected.at(w) += line.toUtf8();
        }
        for (auto& writer : writers)
            writer->finish();
        batch.commit();
        for (int w = 0; w < 5; ++w)
            QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("%1.txt").arg(w))),
                     expected.at(w));
    }

    void chatFileNames()
    {
        DataSetBuilder b;
        _ViberPerson* odd = b.person(1, QStringLiteral("+1\u00a0\u202a"), QStringLiteral("../../etc/x:y*"));
        QCOMPARE(ExportMessagesThread::chatFileName(b.chat(1, {odd}), QStringLiteral("pdf")),
                 QStringLiteral("....etcxy(+1).pdf"));
        QCOMPARE(ExportMessagesThread::chatFileName(nullptr, QStringLiteral("html")),
                 QStringLiteral("unknown-chat.html"));
        QCOMPARE(ExportMessagesThread::chatFileName(b.chat(2, {}), QStringLiteral("html")),
                 QStringLiteral("unknown-chat.html"));
    }

    void extraction()
    {
        QTemporaryDir media;
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        const QString photoA = media.filePath(QStringLiteral("a.jpg"));
        const QString photoB = media.filePath(QStringLiteral("b.jpg"));
        const QString thumbOnly = media.filePath(QStringLiteral("thumb.png"));
        const QString voice = media.filePath(QStringLiteral("voice.m4a"));
        QVERIFY(DataSetBuilder::writeFile(photoA, "A") && DataSetBuilder::writeFile(photoB, "B") &&
                DataSetBuilder::writeFile(thumbOnly, "T") && DataSetBuilder::writeFile(voice, "V"));
        QList<_ViberMsg*> msgs;
        _ViberMsg* a = b.message(chat, ViberMsgType::Picture, Day1);
        b.attach(a, photoA);
        _ViberMsg* bb = b.message(chat, ViberMsgType::Picture, Day1.addMSecs(400)); // same second
        b.attach(bb, photoB);
        _ViberMsg* thumb = b.message(chat, ViberMsgType::Video, Day1.addSecs(60));
        b.attach(thumb, media.filePath(QStringLiteral("gone.mp4")), thumbOnly);
        _ViberMsg* sound = b.message(chat, ViberMsgType::Voice, Day1.addSecs(120));
        b.attach(sound, voice);
        _ViberMsg* noFile = b.message(chat, ViberMsgType::Sticker, Day1.addSecs(180));
        b.attach(noFile, QString(), media.filePath(QStringLiteral("missing.png")));
        msgs << a << bb << thumb << sound << noFile
             << b.message(chat, ViberMsgType::Text, Day1, QStringLiteral("t"));
        const QString out = m_dir.filePath(QStringLiteral("extracted"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExtractMediaFilesThread worker(msgs, out, channel);
        receiver.runInWorkerThread(worker);
        // The sticker's picture is missing: the text counts what was written.
        QCOMPARE(
            receiver.successes,
            QStringList({QStringLiteral("Extracted 4 of 5 attachments to %1; the files of the others are not "
                                        "on this computer or could not be copied.")
                             .arg(QDir(out).absolutePath())}));
        QCOMPARE(filesIn(out, {}), QStringList({QStringLiteral("atta_20240305-091507(1).jpg"),
                                                QStringLiteral("atta_20240305-091507.jpg"),
                                                QStringLiteral("atta_20240305-091607.png"),
                                                QStringLiteral("atta_20240305-091707.viber_voice")}));
        QFile second(out + QStringLiteral("/atta_20240305-091507(1).jpg"));
        QVERIFY(second.open(QIODevice::ReadOnly));
        QCOMPARE(second.readAll(), QByteArray("B"));
        QCOMPARE(QFileInfo(out + QStringLiteral("/atta_20240305-091607.png")).lastModified(),
                 Day1.addSecs(60));
        QCOMPARE(QFileInfo(out + QStringLiteral("/atta_20240305-091507.jpg")).lastModified(), Day1);
    }

    // A copy keeps its source's permissions: one of a read-only file gets the message's
    // time all the same.
    void extractionOfReadOnlySources()
    {
        QTemporaryDir media;
        DataSetBuilder b;
        _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
        const QString photo = media.filePath(QStringLiteral("locked.jpg"));
        QVERIFY(DataSetBuilder::writeFile(photo, "L"));
        QVERIFY(QFile::setPermissions(photo, QFileDevice::ReadOwner | QFileDevice::ReadUser));
        _ViberMsg* msg = b.message(chat, ViberMsgType::Picture, Day1.addDays(-30));
        b.attach(msg, photo);
        const QString out = m_dir.filePath(QStringLiteral("extracted-read-only"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExtractMediaFilesThread worker({msg}, out, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.successes,
                 QStringList({QStringLiteral("Successfully extracted 1 attachments to %1.")
                                  .arg(QDir(out).absolutePath())}));
        const QString copy = out + QStringLiteral("/atta_20240204-091507.jpg");
        QCOMPARE(TestEnvironment::readFile(copy), QByteArray("L"));
        QCOMPARE(QFileInfo(copy).lastModified(), Day1.addDays(-30));
    }

    void callLog()
    {
        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"));
        QList<_ViberCall*> calls{
            b.callMessage(nullptr, anna, ViberCallKind::Incoming, 125, Day1)->call,
            b.callMessage(nullptr, nullptr, ViberCallKind::Missed, 0, Day1.addDays(1))->call,
            b.callMessage(nullptr, anna, 9, 5, Day1.addSecs(5))->call};
        const QString out = m_dir.filePath(QStringLiteral("calls(1).txt"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportViberCallsThread worker(calls, out, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.successes, QStringList({QStringLiteral("Successfully extracted 3 call history.")}));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0),
                 QStringLiteral("number").leftJustified(40) + QStringLiteral("Flag").leftJustified(15) +
                     QStringLiteral("Date").leftJustified(30) + QStringLiteral("duration").leftJustified(15));
        // newest first
        QVERIFY(lines.at(1).startsWith(QStringLiteral("Unknown").leftJustified(40) +
                                       QStringLiteral("Missed").leftJustified(15)));
        QVERIFY(lines.at(2).startsWith(QStringLiteral("Anna(+1)").leftJustified(40) +
                                       QString(15, QLatin1Char(' '))));
        QVERIFY(lines.at(3).startsWith(QStringLiteral("Anna(+1)").leftJustified(40) +
                                       QStringLiteral("Incoming").leftJustified(15)));
        QCOMPARE(lines.at(3).mid(85), QStringLiteral("2' 5''").leftJustified(15));
        QCOMPARE(receiver.progress.last().text, QStringLiteral("Calls: 3/3"));
    }

    void callLogEdges()
    {
        const QString empty = m_dir.filePath(QStringLiteral("no-calls.txt"));
        {
            ProgressChannel channel;
            RecordingReceiver receiver(&channel);
            ExportViberCallsThread worker({}, empty, channel);
            receiver.runInWorkerThread(worker);
            QCOMPARE(receiver.successes,
                     QStringList({QStringLiteral("Successfully extracted 0 call history.")}));
            QFile f(empty);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll().count("\r\n"), 1);
        }
        DataSetBuilder b;
        QList<_ViberCall*> calls;
        for (int i = 0; i < 5; ++i)
            calls << b.callMessage(nullptr, nullptr, ViberCallKind::Outgoing, i, Day1.addSecs(i))->call;
        const QString cancelled = m_dir.filePath(QStringLiteral("cancelled-calls.txt"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        receiver.cancelAtProgress = 3;
        ExportViberCallsThread worker(calls, cancelled, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.outcomes(), 0);
        QVERIFY(!QFileInfo::exists(cancelled));
    }
};

QTEST_MAIN(TestExportWorkers)
#include "tst_exportworkers.moc"
