#include "app/AppDirs.h"
#include "app/LocalFileIndex.h"
#include "db/ViberCodes.h"
#include "ops/ArchiveWordIndex.h"
#include "ops/ExportMessagesCsv.h"
#include "ops/ExportMessagesHtml.h"
#include "ops/ExportMessagesPdf.h"
#include "ops/ExportMessagesTxt.h"
#include "ops/FileBatch.h"
#include "ops/OperationError.h"
#include "tests/ops/ExternalTool.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <numeric>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

template<typename Writer> void writeAll(Writer& writer, const QList<_ViberMsg*>& messages)
{
    writer.begin();
    for (const _ViberMsg* m : messages)
        writer.write(*m);
    writer.end();
}

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 0));

// The words an HTML archive's search finds, by Python's own Unicode data: canonical
// decomposition, the accents U+0300-U+036F dropped, lower case, final sigma as sigma;
// letters, marks and digits make words, a Han or kana character is one. Reads the texts
// and the index's one bucket; prints each text whose words differ, then "checked N".
constexpr auto WordsByPythonScript = R"PY(
import json, sys, unicodedata
data = json.load(sys.stdin)
def alone(o):
    return (0x3040 <= o <= 0x30ff or 0x3400 <= o <= 0x4dbf or 0x4e00 <= o <= 0x9fff
            or 0xf900 <= o <= 0xfaff or 0x20000 <= o <= 0x2ffff)
def words(text):
    found, word = set(), ""
    for ch in unicodedata.normalize("NFD", text):
        o = ord(ch)
        if 0x300 <= o <= 0x36f:
            continue
        if alone(o) or unicodedata.category(ch)[0] not in "LMN":
            if word: found.add(word)
            word = ""
            if alone(o): found.add(ch)
        else:
            word += ch.lower().replace("\u03c2", "\u03c3")
    if word: found.add(word)
    return found
got = [set() for _ in data["texts"]]
for word, ranks in data["index"].items():
    rank = 0
    for step in ranks.split(","):
        rank += int(step, 36)
        got[rank].add(word)
checked = 0
for text, have in zip(data["texts"], got):
    if any(unicodedata.category(ch) == "Cn" for ch in text):
        continue
    checked += 1
    if words(text) != have:
        print(ascii(text), sorted(words(text)), sorted(have))
print("checked", checked)
)PY";

} // namespace

class TestExportFormats : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        AppDirs::setAssetFolder(QStringLiteral(VELLIPORT_BIN_DIR));
        TestEnvironment::installTranslation();
    }

    void textLines()
    {
        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+4917011"), QStringLiteral("Anna"));
        _ViberPerson* ben = b.person(2, QStringLiteral("+4917022"));
        _ViberChat* single = b.chat(1, {anna});
        _ViberChat* group = b.chat(2, {anna, ben}, QStringLiteral("Climbers"), QStringLiteral("77"));
        _ViberChat* empty = b.chat(3, {});
        QList<_ViberMsg*> msgs;
        msgs << b.message(single, ViberMsgType::Text, Day1, QStringLiteral("first\r\nsecond"), true);
        msgs << b.message(group, ViberMsgType::Text, Day1, QStringLiteral("hi"), false, ben);
        msgs << b.message(group, ViberMsgType::Text, Day1, QStringLiteral("who?"), false);
        msgs << b.callMessage(single, anna, ViberCallKind::Incoming, 125, Day1);
        _ViberMsg* brokenCall = b.message(single, ViberMsgType::Call, Day1);
        msgs << brokenCall;
        _ViberMsg* event = b.message(group, ViberMsgType::System, Day1, QStringLiteral("Ben"));
        event->systemType = ViberSystemType::MemberAdded;
        msgs << event;
        msgs << b.message(empty, ViberMsgType::Text, Day1, QStringLiteral("nobody"));
        msgs << b.message(nullptr, ViberMsgType::Text, Day1, QStringLiteral("nowhere"));

        const QString path = m_dir.filePath(QStringLiteral("out.txt"));
        ExportMessagesTxt writer(path);
        writeAll(writer, msgs);
        const QString content = QString::fromUtf8(readAll(path));
        QVERIFY(content.endsWith(QLatin1String("\r\n")));
        const QStringList lines = content.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 6); // the broken call and both chat-less messages write nothing
        QCOMPARE(lines.at(0), QStringLiteral("Date").leftJustified(30) +
                                  QStringLiteral("Flag").leftJustified(6) +
                                  QStringLiteral("Name").leftJustified(40) + QStringLiteral("Message"));
        QVERIFY(lines.at(1).endsWith(QStringLiteral("To    ") +
                                     QStringLiteral("Anna(+4917011)").leftJustified(40) +
                                     QStringLiteral("first second")));
        QVERIFY(lines.at(2).contains(QLatin1String("From  +4917022 ")));
        QVERIFY(lines.at(3).contains(QLatin1String("From  Anna(+4917011), +4917022")));
        QVERIFY(lines.at(4).contains(QLatin1String("<Call>")));
        QVERIFY(lines.at(4).endsWith(QLatin1String("Incoming Call (2' 5'')")));
        QVERIFY(lines.at(5).contains(QLatin1String("<System>")));
        QVERIFY(lines.at(5).endsWith(QLatin1String("Ben joined")));
        QCOMPARE(lines.at(1).indexOf(QLatin1String("To")), 30);
    }

    void csvQuotingAndReadBack()
    {
        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+1,555"), QStringLiteral("Anna \"A\""));
        _ViberPerson* ben = b.person(2, QStringLiteral("+2"), QStringLiteral("Ben"));
        _ViberChat* single = b.chat(1, {anna});
        _ViberChat* group = b.chat(2, {anna, ben}, QString(), QStringLiteral("4455"));
        QList<_ViberMsg*> msgs;
        msgs << b.message(single, ViberMsgType::Text, Day1, QStringLiteral("a, b"), true);
        msgs << b.message(single, ViberMsgType::Text, Day1, QStringLiteral("say \"hi\""));
        msgs << b.message(single, ViberMsgType::Text, Day1, QStringLiteral("line1\nline2"));
        msgs << b.message(single, ViberMsgType::Text, Day1, QStringLiteral("only\rCR"));
        msgs << b.message(group, ViberMsgType::Text, Day1, QStringLiteral("from ben"), false, ben);
        msgs << b.message(group, ViberMsgType::Text, Day1, QStringLiteral("from nobody"));
        msgs << b.callMessage(single, anna, ViberCallKind::Outgoing, 61, Day1);
        const QString path = m_dir.filePath(QStringLiteral("out.csv"));
        ExportMessagesCsv writer(path);
        writeAll(writer, msgs);
        const QByteArray raw = readAll(path);
        QVERIFY(raw.startsWith("date,send,person,number,content\r\n"));
        QVERIFY(raw.contains(",\"a, b\"\r\n"));
        QVERIFY(raw.contains(",\"say \"\"hi\"\"\"\r\n"));
        QVERIFY(raw.contains(",\"only\rCR\"\r\n")); // a bare CR would split the row for readers

        const QString date = Day1.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QList<QStringList> expected = {
            {QStringLiteral("date"), QStringLiteral("send"), QStringLiteral("person"),
             QStringLiteral("number"), QStringLiteral("content")},
            {date, QStringLiteral("1"), QStringLiteral("Anna \"A\""), QStringLiteral("+1,555"),
             QStringLiteral("a, b")},
            {date, QStringLiteral("0"), QStringLiteral("Anna \"A\""), QStringLiteral("+1,555"),
             QStringLiteral("say \"hi\"")},
            {date, QStringLiteral("0"), QStringLiteral("Anna \"A\""), QStringLiteral("+1,555"),
             QStringLiteral("line1\nline2")},
            {date, QStringLiteral("0"), QStringLiteral("Anna \"A\""), QStringLiteral("+1,555"),
             QStringLiteral("only\rCR")},
            {date, QStringLiteral("0"), QStringLiteral("Ben"), QStringLiteral("+2"),
             QStringLiteral("from ben")},
            {date, QStringLiteral("0"), QString(), QStringLiteral("Group-4455"),
             QStringLiteral("from nobody")},
            // a call row names the person and the direction, as message rows do
            {date, QStringLiteral("1"), QStringLiteral("Anna \"A\""), QStringLiteral("+1,555"),
             QStringLiteral("Outgoing Call (1' 1'')")},
        };
        if (!ExternalTool::available(QStringLiteral("python3")))
            QSKIP("python3 is missing: the CSV was not read back by an independent reader");
        const QString json =
            ExternalTool::run(QStringLiteral("python3"),
                              {QStringLiteral("-c"),
                               QStringLiteral("import csv, json, sys\n"
                                              "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                              "    print(json.dumps(list(csv.reader(f))))\n"),
                               path});
        QVERIFY(!json.isNull());
        const QJsonArray rows = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(rows.size(), expected.size());
        for (int r = 0; r < rows.size(); ++r) {
            QStringList fields;
            for (const QJsonValue& v : rows.at(r).toArray())
                fields.append(v.toString());
            QCOMPARE(fields, expected.at(r));
        }
    }

    void htmlSeparatorsHandlesAndCopies()
    {
        QTemporaryDir media;
        const QString a1 = media.filePath(QStringLiteral("one/photo.jpg"));
        const QString a2 = media.filePath(QStringLiteral("two/photo.jpg"));
        const QString thumb = media.filePath(QStringLiteral("one/thumb.jpg"));
        QVERIFY(DataSetBuilder::writeImage(a1, 40, 30) && DataSetBuilder::writeImage(a2, 30, 40) &&
                DataSetBuilder::writeImage(thumb, 20, 20));
        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"));
        _ViberPerson* ben = b.person(2, QStringLiteral("+2"));
        _ViberChat* group = b.chat(1, {anna, ben}, QStringLiteral("G"), QStringLiteral("9"));
        QList<_ViberMsg*> msgs;
        msgs << b.message(group, ViberMsgType::Text, Day1, QStringLiteral("from anna"), false, anna);
        msgs << b.message(group, ViberMsgType::Text, Day1.addSecs(60), QStringLiteral("unknown sender"),
                          false);
        _ViberMsg* pic1 = b.message(group, ViberMsgType::Picture, Day1.addSecs(120), QString(), true);
        b.attach(pic1, a1, thumb);
        _ViberMsg* pic2 =
            b.message(group, ViberMsgType::Picture, Day1.addDays(1), QStringLiteral("caption"), true);
        b.attach(pic2, a2, QString());
        _ViberMsg* place = b.message(group, ViberMsgType::Location, Day1.addSecs(180), QString(), true);
        place->location.setLatitude(-33.856784);
        place->location.setLongitude(151.215297);
        b.attach(place);
        msgs << pic1 << place << pic2;
        msgs << b.message(
            group, ViberMsgType::Text, Day1.addDays(1).addSecs(5),
            QStringLiteral("<script>document.title='PWNED'</script><img src=x onerror=\"document.body."
                           "setAttribute('data-pwned','1')\">"),
            true);
        const QString out = m_dir.filePath(QStringLiteral("html"));
        LocalFileIndex sources;
        FileBatch batch;
        ExportMessagesHtml writer(out, QStringLiteral("chat.html"), sources, batch);
        QVERIFY(QFileInfo(out + QStringLiteral("/files")).isDir()); // made by the constructor
        writeAll(writer, msgs);
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("/chat.html"))); // until the batch puts it in place
        batch.commit();
        const QString html = QString::fromUtf8(readAll(out + QStringLiteral("/chat.html")));
        QVERIFY(html.startsWith(
            QLatin1String("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"")));
        QVERIFY(html.endsWith(QLatin1String("</body></html>")));
        // two days, two separators
        QCOMPARE(html.count(QLatin1String("<div class=\"r\">")), 2);
        QVERIFY(html.contains(Day1.toString(QStringLiteral("dd MMM yyyy"))));
        QVERIFY(html.contains(Day1.addDays(1).toString(QStringLiteral("dd MMM yyyy"))));
        // one handle: the message without a sender has none
        QCOMPARE(html.count(QLatin1String("<div class=\"handle\">")), 1);
        QVERIFY(html.contains(QLatin1String("<div class=\"handle\">Anna</div>")));
        // same-name attachments: the second copy is numbered
        QVERIFY(QFileInfo(out + QStringLiteral("/files/photo.jpg")).isFile());
        QVERIFY(QFileInfo(out + QStringLiteral("/files/photo(1).jpg")).isFile());
        QVERIFY(html.contains(QLatin1String("href=\"files/photo%281%29.jpg\"")));
        QVERIFY(html.contains(QLatin1String("src=\"files/thumb.jpg\"")));
        QVERIFY(html.contains(QLatin1String("src=\"files/empty_photo.jpg\""))); // the picture without one
        // a place without a picture of its own asks no map service: its page is a link
        QVERIFY(html.contains(
            QLatin1String("<div class=\"location_place\">-33.856784, 151.215297</div><div><a "
                          "href=\"https://www.openstreetmap.org/?mlat=-33.856784&amp;"
                          "mlon=151.215297#map=16/-33.856784/151.215297\" target=\"_blank\">")));
        QVERIFY(!html.contains(QLatin1String("staticmap")));
        // markup in a message is text
        QVERIFY(!html.contains(QLatin1String("<script>")));
        QVERIFY(html.contains(QLatin1String("&lt;script&gt;")));

        if (!ExternalTool::available(QStringLiteral("chromium")))
            QSKIP("chromium is missing: the HTML was not opened in a browser");
        const QString dom = ExternalTool::run(
            QStringLiteral("chromium"),
            {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
             QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
             QStringLiteral("--no-first-run"),
             QStringLiteral("--user-data-dir=") + m_dir.filePath(QStringLiteral("chrome")),
             QStringLiteral("--dump-dom"),
             QUrl::fromLocalFile(out + QStringLiteral("/chat.html")).toString()});
        QVERIFY2(!dom.isNull(), "chromium could not open the export");
        QVERIFY(dom.contains(QLatin1String("<title>Velliport</title>"))); // the script did not run
        QVERIFY(dom.contains(QLatin1String("&lt;script&gt;document.title='PWNED'")));
        QVERIFY(!dom.contains(QLatin1String("<body data-pwned")));
        QCOMPARE(dom.count(QLatin1String("class=\"bb2\"")), 4);
        QCOMPARE(dom.count(QLatin1String("class=\"bb1\"")), 2);
    }

    void pdfPages()
    {
        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+1"), QStringLiteral("Anna"));
        _ViberChat* chat = b.chat(1, {anna});
        QList<_ViberMsg*> msgs;
        for (int i = 0; i < 60; ++i)
            msgs << b.message(chat, ViberMsgType::Text, Day1.addSecs(i * 60),
                              QStringLiteral("message %1").arg(i), i % 2);
        const QString path = m_dir.filePath(QStringLiteral("chat.pdf"));
        ExportMessagesPdf writer(path);
        writeAll(writer, msgs);
        const int pages = writer.renderer().page();
        QVERIFY2(pages >= 2, "sixty bubbles do not fit one page");
        QVERIFY(readAll(path).startsWith("%PDF"));
        if (!ExternalTool::available(QStringLiteral("pdfinfo")) ||
            !ExternalTool::available(QStringLiteral("pdftoppm")))
            QSKIP("poppler-utils are missing: the PDF was not checked by another reader");
        const QString info = ExternalTool::run(QStringLiteral("pdfinfo"), {path});
        QVERIFY(info.contains(QLatin1String("(A4)")));
        QVERIFY(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));
        const QString prefix = m_dir.filePath(QStringLiteral("page"));
        QVERIFY(!ExternalTool::run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("20"),
                                                                QStringLiteral("-png"), path, prefix})
                     .isNull());
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("page*.png")}).size(), pages);
    }

    // Most texts are folded a character at a time from a table, the rest decomposed whole:
    // both must give the words the browser's search looks for.
    void archiveWordsFoldAsUnicode()
    {
        if (!ExternalTool::available(QStringLiteral("python3")))
            QSKIP("python3 is missing");
        QStringList texts;
        for (char16_t c = 0x80; c < 0xffff; ++c) {
            if (!QChar::isSurrogate(c) && QChar::unicodeVersion(c) <= QChar::Unicode_14_0)
                texts.append(QStringLiteral("a") + QChar(c) + QStringLiteral("b"));
        }
        texts += {QStringLiteral("Cafe\u0301 STRASSE \u00dcber"),
                  QStringLiteral("\u0628\u0651\u064e\u0628"),
                  QStringLiteral("\ud55c\uae00 \u00e9t\u00e9"),
                  QStringLiteral("\U0001d400x \U0002f800y"),
                  QStringLiteral("\u039f\u0394\u039f\u03a3 \u1e69\u0323"),
                  QStringLiteral("\u304c\u3099\u6f22")};
        ArchiveWordIndex index;
        for (const QString& text : texts)
            index.add(text);
        std::vector<qint32> byRank(texts.size());
        std::iota(byRank.begin(), byRank.end(), 0);
        const QByteArray bucket = index.bucketsJson(byRank, 1).value(0);
        const QByteArray input = "{\"texts\":" + QJsonDocument(QJsonArray::fromStringList(texts)).toJson() +
                                 ",\"index\":" + bucket + "}";
        const QString out =
            ExternalTool::run(QStringLiteral("python3"),
                              {QStringLiteral("-c"), QString::fromLatin1(WordsByPythonScript)}, input);
        QVERIFY2(out.startsWith(QStringLiteral("checked ")) && out.trimmed().mid(8).toInt() > 60000,
                 qPrintable(out.left(3000)));
    }

    void unwritableOutputThrows()
    {
        ExportMessagesTxt txt(m_dir.filePath(QStringLiteral("no/such/folder/out.txt")));
        QVERIFY_THROWS_EXCEPTION(OperationError, txt.begin());
        ExportMessagesCsv csv(m_dir.path()); // a folder is no file
        QVERIFY_THROWS_EXCEPTION(OperationError, csv.begin());
        ExportMessagesPdf pdf(m_dir.filePath(QStringLiteral("no/such/folder/chat.pdf")));
        QVERIFY_THROWS_EXCEPTION(OperationError, pdf.begin());
    }
};

QTEST_MAIN(TestExportFormats)
#include "tst_exportformats.moc"
