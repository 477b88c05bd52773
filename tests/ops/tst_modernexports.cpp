#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "ops/ExportMessagesThread.h"
#include "tests/ops/ExternalTool.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DesktopFixture.h"
#include "tests/support/IOSMemberFixture.h"
#include "tests/support/IPhoneBackupFixture.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QStringList jsonStrings(const QString& json)
{
    QStringList out;
    for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array())
        out.append(v.toString());
    return out;
}

QStringList filesBelow(const QString& path, const QString& pattern)
{
    if (QFileInfo(path).isFile())
        return {path};
    QStringList files;
    QDirIterator it(path, {pattern}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}

// What a reader of each format sees, got by programs other than ours: pdftotext for PDF,
// Python's html parser for HTML and its json module (every string value) for JSON.
QString readableText(int format, const QString& output)
{
    switch (format) {
    case ExportMessagesThread::Pdf: {
        QString text;
        for (const QString& pdf : filesBelow(output, QStringLiteral("*.pdf")))
            text += ExternalTool::run(
                QStringLiteral("pdftotext"),
                {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
        return text;
    }
    case ExportMessagesThread::Html:
        return ExternalTool::run(
            QStringLiteral("python3"),
            QStringList{
                QStringLiteral("-c"),
                QStringLiteral("import sys, html.parser\n"
                               "class P(html.parser.HTMLParser):\n"
                               "    def handle_data(self, d): sys.stdout.write(d + ' ')\n"
                               "for f in sys.argv[1:]:\n"
                               "    p = P(); p.feed(open(f, encoding='utf-8').read()); p.close()\n")} +
                filesBelow(output, QStringLiteral("*.html")));
    case ExportMessagesThread::Json:
        return ExternalTool::run(
            QStringLiteral("python3"),
            QStringList{
                QStringLiteral("-c"),
                QStringLiteral("import sys, json\n"
                               "def walk(v):\n"
                               "    if isinstance(v, str): print(v)\n"
                               "    elif isinstance(v, dict): [walk(x) for x in v.values()]\n"
                               "    elif isinstance(v, list): [walk(x) for x in v]\n"
                               "for f in sys.argv[1:]: walk(json.load(open(f, encoding='utf-8')))\n")} +
                filesBelow(output, QStringLiteral("*.json")));
    default:
        return QString::fromUtf8(TestEnvironment::readFile(output));
    }
}

// The pieces of a text between its emoji, which each format draws in its own way.
QStringList piecesOf(const QString& text)
{
    QStringList pieces;
    const QString marked =
        ViberText::replaceEmoji(text, [](const QString&) { return QStringLiteral("\x01"); });
    for (const QString& piece : marked.split(QChar(0x01))) {
        if (!piece.simplified().isEmpty())
            pieces.append(piece.simplified());
    }
    return pieces;
}

struct Source
{
    QString name;
    ViberDataSetPtr data;
    QStringList texts; // read from the fixture by Python's sqlite3
    QByteArray media;  // a media file the exports that copy media must carry
};

} // namespace

// Every export format, from each of today's sources, holds the source's texts.
class TestModernExports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        AppDirs::setAssetFolder(QStringLiteral(VELLIPORT_BIN_DIR));
        TestEnvironment::installTranslation();
        QVERIFY(m_out.isValid());

        const AndroidFixture android(AndroidFixture::Shape::Modern);
        QStringList texts = jsonStrings(TestEnvironment::pythonQuery(
            android.messagesPath(),
            QStringLiteral(
                "select json_group_array(body) from messages m join conversations c on c._id = "
                "m.conversation_id where c.deleted = 0 and m.deleted = 0 and m.extra_mime in (0, 8) "
                "and m.msg_info not like '%\"edit\"%'")));
        m_sources.append(
            {QStringLiteral("android"),
             ViberSourceDetector::androidReader(android.deviceRoot(), android.extractRoot())->load(),
             texts,
             {}});

        const DesktopFixture desktop(DesktopFixture::Shape::ContactKeyed);
        texts = jsonStrings(TestEnvironment::pythonQuery(
            desktop.dbPath(),
            QStringLiteral(
                "select json_group_array(Body) from Messages where Type in (1, 9) and ClientFlag = 0")));
        m_sources.append({QStringLiteral("desktop"),
                          ViberSourceDetector::desktopReader(desktop.dbPath())->load(),
                          texts,
                          {}});

        const IOSMemberFixture iphone;
        texts = jsonStrings(TestEnvironment::pythonQuery(
            iphone.dbPath(),
            QStringLiteral(
                "select json_group_array(m.ZTEXT) from ZVIBERMESSAGE m join ZCONVERSATION c on c.Z_PK "
                "= m.ZCONVERSATION where coalesce(c.ZBEINGDELETED, 0) = 0 and "
                "coalesce(m.ZBEINGDELETED, 0) = 0 and m.ZTEXT is not null and m.ZATTACHMENT is null "
                "and coalesce(m.ZSYSTEMTYPE, '') in ('', 'url', 'formatted', 'customLocation')")));
        m_sources.append(
            {QStringLiteral("iphone"),
             ViberSourceDetector::iosReader(iphone.folder(), QLatin1String(IOSMemberFixture::DatabaseFile))
                 ->load(),
             texts,
             {}});

        // The backup's media stay in the backup folder, which must outlive the exports.
        m_backup = std::make_unique<IPhoneBackupFixture>();
        m_sources.append({QStringLiteral("iphone backup"),
                          ViberSourceDetector::iosBackupReader(m_backup->folder())->load(),
                          texts + QStringList{QLatin1String(IPhoneBackupFixture::WalOnlyText)},
                          IPhoneBackupFixture::pictureBytes()});
        for (const Source& source : std::as_const(m_sources))
            QVERIFY2(source.texts.size() >= 7, qPrintable(source.name));
    }

    void everyFormatHoldsTheTexts_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("format");
        const QList<QPair<const char*, int>> formats = {{"text", ExportMessagesThread::Text},
                                                        {"csv", ExportMessagesThread::Csv},
                                                        {"pdf", ExportMessagesThread::Pdf},
                                                        {"html", ExportMessagesThread::Html},
                                                        {"json", ExportMessagesThread::Json}};
        for (int i = 0; i < m_sources.size(); ++i) {
            for (const auto& [name, format] : formats)
                QTest::addRow("%s, %s", qPrintable(m_sources.at(i).name), name) << i << format;
        }
    }

    void everyFormatHoldsTheTexts()
    {
        QFETCH(int, source);
        QFETCH(int, format);
        if (format == ExportMessagesThread::Pdf && !ExternalTool::available(QStringLiteral("pdftotext")))
            QSKIP("pdftotext is not installed");
        const Source& from = m_sources.at(source);
        const QString out = m_out.filePath(QStringLiteral("%1-%2").arg(source).arg(format));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(from.data->allMessages(), out, format, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        QCOMPARE(receiver.successes.size(), 1);

        // pdftotext gives some letters back in the forms the font draws them with
        // (Arabic presentation forms, CJK radicals, ligatures); NFKC folds them back.
        const QString shown =
            readableText(format, out).normalized(QString::NormalizationForm_KC).simplified();
        QVERIFY(!shown.isEmpty());
        for (const QString& text : from.texts) {
            for (const QString& piece : piecesOf(text.normalized(QString::NormalizationForm_KC)))
                QVERIFY2(shown.contains(piece),
                         qPrintable(QStringLiteral("%1 in %2").arg(piece, shown.left(2000))));
        }
        if (!from.media.isEmpty() &&
            (format == ExportMessagesThread::Html || format == ExportMessagesThread::Json)) {
            bool carried = false;
            for (const QString& file : filesBelow(out, QStringLiteral("*")))
                carried = carried || (file.endsWith(QLatin1String(".jpg")) &&
                                      TestEnvironment::readFile(file) == from.media);
            QVERIFY(carried);
        }
    }

private:
    QTemporaryDir m_out;
    QList<Source> m_sources;
    std::unique_ptr<IPhoneBackupFixture> m_backup;
};

QTEST_MAIN(TestModernExports)
#include "tst_modernexports.moc"
