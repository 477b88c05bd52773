#include "android/AgentSession.h"
#include "android/SimpleProtocol.h"
#include "app/KeyTranslator.h"
#include "app/ProgressChannel.h"
#include "tests/android/ScriptedAgent.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <thread>

using namespace simpleprotocol;

namespace {

using TestEnvironment::readFile;

QByteArray errorLine(const QString& message)
{
    return "$error:" + message.toUtf8().toBase64() + '\n';
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestSimpleProtocol : public QObject
{
    Q_OBJECT

private:
    // Connects a client to a fresh scripted agent.
    static void connectTo(QTcpSocket& client, const ScriptedAgent& agent)
    {
        client.connectToHost(QStringLiteral("127.0.0.1"), quint16(agent.port()));
        QVERIFY(client.waitForConnected(5000));
    }

    KeyTranslator m_translator;

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void readReply_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hangUp");

        const QString german = QStringLiteral("Speicher voll – Gerät prüfen ✓");
        QTest::newRow("plain line") << QByteArray("$file:12,x\n") << "reply"
                                    << "$file:12,x" << false;
        QTest::newRow("carriage return before line feed") << QByteArray("$finfo:file,3\r\n") << "reply"
                                                          << "$finfo:file,3" << false;
        QTest::newRow("bytes read as 8-bit characters")
            << QByteArray("$hello:model=\xC4\n") << "reply" << QStringLiteral("$hello:model=\u00C4") << false;
        QTest::newRow("empty line") << QByteArray("\n") << "transport"
                                    << "Null command." << false;
        QTest::newRow("only a carriage return") << QByteArray("\r\n") << "transport"
                                                << "Null command." << false;
        QTest::newRow("error line with non-ASCII text") << errorLine(german) << "remote" << german << false;
        QTest::newRow("error line with carriage return")
            << QByteArray(errorLine(german).chopped(1) + "\r\n") << "remote" << german << false;
        QTest::newRow("connection closed before the line ends") << QByteArray("$file:1") << "transport"
                                                                << "" << true;
        QTest::newRow("no line feed within the time-out") << QByteArray("$file:1") << "transport"
                                                          << "" << false;
    }

    void readReply()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, outcome);
        QFETCH(QString, text);
        QFETCH(bool, hangUp);

        ScriptedAgent agent(wire, hangUp);
        QTcpSocket client;
        connectTo(client, agent);
        QString got;
        try {
            got = QStringLiteral("reply:") + simpleprotocol::readReply(client, 500);
        } catch (const SocketDataTransferException& e) {
            got = QStringLiteral("transport:") + QString::fromUtf8(e.what());
        } catch (const RemoteException& e) {
            got = QStringLiteral("remote:") + QString::fromUtf8(e.what());
        }
        if (text.isEmpty())
            QVERIFY2(got.startsWith(outcome + u':'), qPrintable(got));
        else
            QCOMPARE(got, outcome + u':' + text);
    }

    void wrongReplyIsReportedToTheAgent()
    {
        ScriptedAgent agent("$sucmd:0\n");
        QTcpSocket client;
        connectTo(client, agent);
        const QString message = QStringLiteral("invalid feedback [$sucmd:0], must be [$file:]");
        try {
            expectReply(client, QStringLiteral("$file:"), 5000);
            QFAIL("a reply with the wrong prefix was accepted");
        } catch (const LocalException& e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        client.disconnectFromHost();
        QCOMPARE(agent.received(), errorLine(message));
    }

    // Batched look-ups go out a few requests ahead of the answers, the first alone. An
    // agent that refuses the first is reported as such (the caller then asks per file); an
    // error while other requests are on their way is a broken exchange, as the answers
    // behind it belong to requests already sent.
    void batchedLookUpsGoOutAheadOfTheAnswers()
    {
        QStringList paths;
        for (int i = 0; i < 3 * MaxPathsPerInfoRequest; ++i)
            paths.append(QStringLiteral("/sdcard/f%1").arg(i));
        QStringList none;
        for (int i = 0; i < MaxPathsPerInfoRequest; ++i)
            none.append(i == 7 ? QStringLiteral("file,12") : QStringLiteral("none"));
        const QByteArray answer = "$fstat:" + none.join(u'\t').toUtf8() + '\n';
        const QByteArray refusal = "$error:" + QByteArray("unknown command").toBase64() + '\n';

        {
            ScriptedAgent agent(answer + answer + answer);
            QTcpSocket client;
            connectTo(client, agent);
            const QList<RemoteFileInfo> infos = remoteFileInfos(client, paths, 5000);
            QCOMPARE(infos.size(), paths.size());
            for (qsizetype i = 0; i < infos.size(); ++i)
                QCOMPARE(infos.at(i).size, i % MaxPathsPerInfoRequest == 7 ? 12 : -1);
            client.disconnectFromHost();
            QCOMPARE(agent.received().count("$fstat:"), 3);
        }
        {
            ScriptedAgent agent(refusal);
            QTcpSocket client;
            connectTo(client, agent);
            QVERIFY_THROWS_EXCEPTION(RemoteException, remoteFileInfos(client, paths, 5000));
            client.disconnectFromHost();
            QCOMPARE(agent.received().count("$fstat:"), 1);
        }
        {
            ScriptedAgent agent(answer + refusal);
            QTcpSocket client;
            connectTo(client, agent);
            QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, remoteFileInfos(client, paths, 5000));
        }
    }

    // A folder listing comes in lines of names and ends with their count; names are the
    // agent's UTF-8 bytes. A listing that breaks its own rules (a count that differs, an
    // empty name, a name with a slash, a line that is no part of a listing) is refused; an
    // error line (an older agent, a folder it cannot read) is the agent's answer, after
    // which the session goes on.
    void folderListings_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("failure");
        const QByteArray many = []() -> QByteArray {
            QByteArray line = "$fent:";
            for (int i = 0; i < 3000; ++i)
                line += (i ? QByteArray(1, '\0') : QByteArray()) + "IMG-" + QByteArray::number(i) + ".jpg";
            return line + '\n';
        }();
        QStringList manyNames;
        for (int i = 0; i < 3000; ++i)
            manyNames.append(QStringLiteral("IMG-%1.jpg").arg(i));
        QTest::newRow("missing folder") << QByteArrayLiteral("$flist:0\n") << QStringList() << QString();
        QTest::newRow("two lines") << QByteArrayLiteral(
                                          "$fent:a.jpg\0b c.jpg\n$fent:\xd0\x96.jpg\n$flist:3\n")
                                   << QStringList{QStringLiteral("a.jpg"), QStringLiteral("b c.jpg"),
                                                  QStringLiteral("\u0416.jpg")}
                                   << QString();
        QTest::newRow("thousands") << QByteArray(many + "$flist:3000\n") << manyNames << QString();
        QTest::newRow("count too low")
            << QByteArrayLiteral("$fent:a\0b\n$flist:1\n") << QStringList() << "local";
        QTest::newRow("count too high")
            << QByteArrayLiteral("$fent:a\n$flist:2\n") << QStringList() << "local";
        QTest::newRow("count not a number")
            << QByteArrayLiteral("$fent:a\n$flist:x\n") << QStringList() << "local";
        QTest::newRow("empty name") << QByteArrayLiteral("$fent:a\0\0b\n$flist:3\n") << QStringList()
                                    << "local";
        QTest::newRow("name with slash")
            << QByteArrayLiteral("$fent:../a\n$flist:1\n") << QStringList() << "local";
        QTest::newRow("other reply") << QByteArrayLiteral("$finfo:none\n") << QStringList() << "local";
        QTest::newRow("refused") << QByteArray("$error:" + QByteArray("unknown command $flist:").toBase64() +
                                               "\n$finfo:none\n")
                                 << QStringList() << "remote";
    }

    void folderListings()
    {
        QFETCH(QByteArray, script);
        QFETCH(QStringList, names);
        QFETCH(QString, failure);
        ScriptedAgent agent(script);
        QTcpSocket client;
        connectTo(client, agent);
        if (failure.isEmpty()) {
            const QSet<QString> listed =
                remoteFolderFiles(client, QStringLiteral("/sdcard/viber/media/Viber Images"), 5000);
            QCOMPARE(listed, QSet<QString>(names.cbegin(), names.cend()));
        } else if (failure == QLatin1String("local")) {
            QVERIFY_THROWS_EXCEPTION(LocalException,
                                     remoteFolderFiles(client, QStringLiteral("/sdcard/media"), 5000));
        } else {
            QVERIFY_THROWS_EXCEPTION(RemoteException,
                                     remoteFolderFiles(client, QStringLiteral("/sdcard/media"), 5000));
            QVERIFY(!remoteFileInfo(client, QStringLiteral("/sdcard/media/a"), 5000).isFile);
        }
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 remoteFolderFiles(client, QStringLiteral("/sdcard/../x"), 5000));
        client.disconnectFromHost();
        QVERIFY(agent.received().startsWith("$flist:/sdcard/"));
        QCOMPARE(agent.received().count("$flist:"), 1);
    }

    void deviceDescriptionIsTheHelloReplyOnly()
    {
        {
            ScriptedAgent agent("$hello:model=Pixel;uid=42\n");
            QTcpSocket client;
            connectTo(client, agent);
            QCOMPARE(readDeviceDescription(client, 5000), QStringLiteral("model=Pixel;uid=42"));
        }
        // Another reply in its place is no description of the phone.
        ScriptedAgent agent("$sucmd:0\n");
        QTcpSocket client;
        connectTo(client, agent);
        QVERIFY_THROWS_EXCEPTION(LocalException, readDeviceDescription(client, 5000));
    }

    void overlongLineIsRefused()
    {
        ScriptedAgent agent(QByteArray(MaxLineLength + 4096, 'a'));
        QTcpSocket client;
        connectTo(client, agent);
        QVERIFY_THROWS_EXCEPTION(LocalException, readLine(client, 5000));
        client.disconnectFromHost();
        QVERIFY(agent.received().startsWith("$error:"));
    }

    void badBlockHeader_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("message");

        QTest::newRow("unknown command") << QByteArray("$blick:5") << "invalid command(.,$block:), $blick:5";
        QTest::newRow("prefix in capitals")
            << QByteArray("$BLOCK:5") << "invalid command(.,$block:), $BLOCK:5";
        QTest::newRow("negative size") << QByteArray("$block:-1") << "invalid block size, $block:-1";
        QTest::newRow("not a number") << QByteArray("$block:12ab") << "invalid block size, $block:12ab";
        QTest::newRow("over 64 MiB") << QByteArray("$block:67108865")
                                     << "invalid block size, $block:67108865";
        QTest::newRow("far too large")
            << QByteArray("$block:99999999999999999999") << "invalid block size, $block:99999999999999999999";
    }

    void badBlockHeader()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, message);

        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("viber_messages"));
        {
            QFile cached(local);
            QVERIFY(cached.open(QIODevice::WriteOnly));
            cached.write("cached copy");
        }
        ScriptedAgent agent("$file:5\n" + header + "\nhello.\n");
        QTcpSocket client;
        connectTo(client, agent);
        try {
            downloadFile(client, QStringLiteral("/sdcard/x"), local, true);
            QFAIL("a bad block header was accepted");
        } catch (const LocalException& e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        client.disconnectFromHost();
        QCOMPARE(agent.received(), "$dload:/sdcard/x\n" + errorLine(message));
        // the failed transfer left no partial file and kept the copy that was there
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("viber_messages")}));
        QFile cached(local);
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QCOMPARE(cached.readAll(), QByteArray("cached copy"));
    }

    // A phone that stops sending mid-block holds the transfer only until the user
    // cancels; nothing of the file remains.
    void silentAgentEndsBoundedWaits_data()
    {
        QTest::addColumn<int>("request");
        QTest::newRow("root command") << 0;
        QTest::newRow("root copy") << 1;
        QTest::newRow("file test") << 2;
        QTest::newRow("device description") << 3;
    }

    // An agent that takes the request and never answers ends each bounded wait with a
    // transport failure, and a cancel ends it sooner.
    void silentAgentEndsBoundedWaits()
    {
        QFETCH(int, request);
        for (const bool cancel : {false, true}) {
            ScriptedAgent agent("");
            QTcpSocket client;
            connectTo(client, agent);
            ProgressChannel channel;
            std::thread canceller([&channel, cancel] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                if (cancel)
                    channel.setCancelled(true);
            });
            // A cancellation must beat a wait of a minute; a short limit must end the request.
            const int limit = cancel ? 60000 : 600;
            QElapsedTimer timer;
            timer.start();
            bool cancelled = false;
            bool failed = false;
            try {
                switch (request) {
                case 0:
                    simpleprotocol::suCommand(client, QStringLiteral("mkdir -p \"/sdcard/viber/su\""), limit,
                                              &channel);
                    break;
                case 1:
                    simpleprotocol::suCopy(client, QStringLiteral("/data/a"), QStringLiteral("/sdcard/a"),
                                           limit, &channel);
                    break;
                case 2:
                    simpleprotocol::remoteIsFile(client, QStringLiteral("/sdcard/a"), limit, &channel);
                    break;
                default:
                    readDeviceDescription(client, limit, &channel);
                    break;
                }
            } catch (const OperationCancelled&) {
                cancelled = true;
            } catch (const SocketDataTransferException&) {
                failed = true;
            }
            canceller.join();
            QCOMPARE(cancelled, cancel);
            QCOMPARE(failed, !cancel);
            QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
            client.disconnectFromHost();
        }
    }

    void phonePathsFromDatabaseReferences_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("path");
        QTest::newRow("encoded file URI")
            << QStringLiteral("file:///storage/emulated/0/viber/media/Viber%20Images/IMG%231.jpg")
            << QStringLiteral("/storage/emulated/0/viber/media/Viber Images/IMG#1.jpg");
        QTest::newRow("plain path") << QStringLiteral("/storage/emulated/0/a b.jpg")
                                    << QStringLiteral("/storage/emulated/0/a b.jpg");
        QTest::newRow("content URI") << QStringLiteral("content://com.viber.voip.provider/image/1")
                                     << QString();
        QTest::newRow("web address") << QStringLiteral("https://example.org/a.jpg") << QString();
        QTest::newRow("bare file name") << QStringLiteral("IMG-20231114-WA0001.jpg") << QString();
        QTest::newRow("parent segment") << QStringLiteral("/storage/emulated/0/../../data/x") << QString();
        QTest::newRow("parent segment last") << QStringLiteral("/storage/emulated/0/..") << QString();
        QTest::newRow("dots inside names")
            << QStringLiteral("/storage/a..b/..c/d..") << QStringLiteral("/storage/a..b/..c/d..");
        QTest::newRow("encoded parent segment")
            << QStringLiteral("file:///storage/emulated/0/%2E%2E/%2E%2E/data/x") << QString();
        QTest::newRow("encoded line break") << QStringLiteral("file:///sdcard/a%0A$sucmd:rm") << QString();
        QTest::newRow("carriage return") << QStringLiteral("/sdcard/a\rb") << QString();
        QTest::newRow("NUL") << QStringLiteral("/sdcard/a") + QChar(0) + QStringLiteral("b") << QString();
        QTest::newRow("parent segment first") << QStringLiteral("/../data") << QString();
        QTest::newRow("two-character segments") << QStringLiteral("/.a/b./.") << QStringLiteral("/.a/b./.");
    }

    void phonePathsFromDatabaseReferences()
    {
        QFETCH(QString, reference);
        QFETCH(QString, path);
        QCOMPARE(phonePathFromUri(reference), path);
    }

    // Plain "file:///" references are decoded without the URL parser; they must come out
    // as it gives them, escapes, odd characters and all.
    void plainFileUrisReadAsTheUrlParserReadsThem()
    {
        const QStringList pieces = {
            QStringLiteral("a"),      QStringLiteral("B"),         QStringLiteral(" "),
            QStringLiteral("/"),      QStringLiteral("."),         QStringLiteral("\\"),
            QStringLiteral("[]{}"),   QStringLiteral("@:;=+&!$'"), QStringLiteral("()*,~"),
            QStringLiteral("\u00e4"), QStringLiteral("\u4e2d"),    QStringLiteral("\U0001F600"),
            QStringLiteral("%20"),    QStringLiteral("%2F"),       QStringLiteral("%2e"),
            QStringLiteral("%41"),    QStringLiteral("%25"),       QStringLiteral("%7E"),
            QStringLiteral("%7f"),    QStringLiteral("%E4%B8%AD"), QStringLiteral("%FF"),
            QStringLiteral("%zz"),    QStringLiteral("%"),         QStringLiteral("%4"),
            QStringLiteral("%0A"),    QStringLiteral("?q"),        QStringLiteral("#f")};
        QRandomGenerator random(7);
        for (int i = 0; i < 3000; ++i) {
            QString path = QStringLiteral("/storage/");
            const int length = int(random.bounded(1, 12));
            for (int j = 0; j < length; ++j)
                path += pieces.at(int(random.bounded(int(pieces.size()))));
            for (const QString& scheme : {QStringLiteral("file://"), QStringLiteral("FiLe://")}) {
                const QUrl url(scheme + path);
                QString expected = url.isValid() && url.isLocalFile() ? url.toLocalFile() : QString();
                // what the parser gives is then checked like any path
                if (!expected.isEmpty() && phonePathFromUri(expected).isEmpty())
                    expected.clear();
                QCOMPARE(phonePathFromUri(scheme + path), expected);
            }
        }
    }

    void downloadRefusesWhatIsNotAPhonePath()
    {
        ScriptedAgent agent("");
        QTcpSocket client;
        connectTo(client, agent);
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, downloadFile(client, QStringLiteral("content://x/1"),
                                                                  dir.filePath(QStringLiteral("x")), true));
        client.disconnectFromHost();
        // nothing reached the wire
        QCOMPARE(agent.received(), QByteArray());
    }

    void cancelEndsAStalledTransfer()
    {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("stalled"));
        ScriptedAgent agent("$file:10\n$block:10\nhello");
        QTcpSocket client;
        connectTo(client, agent);
        ProgressChannel channel;
        std::thread canceller([&channel] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            channel.setCancelled(true);
        });
        QElapsedTimer timer;
        timer.start();
        QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                                 downloadFile(client, QStringLiteral("/sdcard/x"), local, true, &channel));
        canceller.join();
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!QFileInfo::exists(local));
        client.disconnectFromHost();
    }

    void emptyDownloadLeavesNoFile()
    {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("sub/viber_messages-wal"));
        QDir().mkpath(dir.filePath(QStringLiteral("sub")));
        writeFile(local, QByteArray());
        ScriptedAgent agent("$file:0\n.\n");
        QTcpSocket client;
        connectTo(client, agent);
        QVERIFY(!downloadFile(client, QStringLiteral("/data/x-wal"), local, false));
        client.disconnectFromHost();
        QCOMPARE(agent.received(), QByteArray("$dload:/data/x-wal\n$file:\n"));
        QCOMPARE(QDir(dir.filePath(QStringLiteral("sub"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void cachedCopy_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("fetched");

        QTest::newRow("non-empty file kept") << QByteArray("old") << false << false;
        QTest::newRow("empty file fetched again") << QByteArray() << false << true;
        QTest::newRow("overwrite replaces") << QByteArray("old") << true << true;
    }

    void cachedCopy()
    {
        QFETCH(QByteArray, existing);
        QFETCH(bool, overwrite);
        QFETCH(bool, fetched);

        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("photo.jpg"));
        writeFile(local, existing);
        ScriptedAgent agent("$file:3\n$block:3\nnew.\n");
        QTcpSocket client;
        connectTo(client, agent);
        QVERIFY(downloadFile(client, QStringLiteral("/sdcard/photo.jpg"), local, overwrite));
        client.disconnectFromHost();
        QCOMPARE(readFile(local), fetched ? QByteArray("new") : existing);
        QCOMPARE(agent.received(),
                 fetched ? QByteArray("$dload:/sdcard/photo.jpg\n.\n$file:\n") : QByteArray());
    }

    void downloadReportsProgress()
    {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("a/b/viber_data"));
        const QByteArray first(3000, 'x');
        const QByteArray second(2000, 'y');
        ScriptedAgent agent("$file:5000,extra\n$block:3000\n" + first + "$block:2000\n" + second + ".\n");
        QTcpSocket client;
        connectTo(client, agent);
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        QVERIFY(downloadFile(client, QStringLiteral("/data/data/com.viber.voip/databases/viber_data"), local,
                             true, &channel));
        QCOMPARE(readFile(local), first + second);
        QCOMPARE(receiver.progress.size(), 3);
        QCOMPARE(receiver.progress[0].status, QStringLiteral("Loading viber_data..."));
        QCOMPARE(receiver.progress[1].text, QStringLiteral("%L1KB / %L2KB").arg(2).arg(4));
        QCOMPARE(receiver.progress[2].text, QStringLiteral("%L1KB / %L2KB").arg(4).arg(4));
    }

    void suCommand_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("code");

        QTest::newRow("success") << QByteArray("$sucmd:0\n") << 0;
        QTest::newRow("refused") << QByteArray("$sucmd:1\n") << 1;
        QTest::newRow("unreadable code is no success") << QByteArray("$sucmd:ok\n") << -1;
    }

    void suCommand()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, code);

        ScriptedAgent agent(reply);
        QTcpSocket client;
        connectTo(client, agent);
        QCOMPARE(suCopy(client, QStringLiteral("/data/a b"), QStringLiteral("/sdcard/c")), code);
        client.disconnectFromHost();
        QCOMPARE(agent.received(), QByteArray("$sucmd:dd if=\"/data/a b\" of=\"/sdcard/c\"\n"));
    }

    void unsafeTextIsNeverSent_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");

        QTest::newRow("line feed in a download path") << "download"
                                                      << "/sdcard/a\n$sucmd:reboot";
        QTest::newRow("carriage return in a file test") << "finfo"
                                                        << "/sdcard/a\r";
        QTest::newRow("quote in a root copy") << "copy"
                                              << "/sdcard/a\"; reboot; \"";
        QTest::newRow("command substitution in a root copy") << "copy"
                                                             << "/sdcard/$(reboot)";
        QTest::newRow("backquote in a root copy") << "copy"
                                                  << "/sdcard/`reboot`";
        QTest::newRow("backslash in a root copy") << "copy"
                                                  << "/sdcard/a\\";
    }

    void unsafeTextIsNeverSent()
    {
        QFETCH(QString, operation);
        QFETCH(QString, path);

        QTemporaryDir dir;
        ScriptedAgent agent("$sucmd:0\n");
        QTcpSocket client;
        connectTo(client, agent);
        try {
            if (operation == QLatin1String("download"))
                downloadFile(client, path, dir.filePath(QStringLiteral("x")), true);
            else if (operation == QLatin1String("finfo"))
                simpleprotocol::remoteIsFile(client, path);
            else
                suCopy(client, path, QStringLiteral("/sdcard/b"));
            QFAIL("unsafe text was accepted");
        } catch (const std::runtime_error&) {
        }
        client.disconnectFromHost();
        QCOMPARE(agent.received(), QByteArray());
    }

    void remoteIsFile_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("isFile");

        QTest::newRow("file with size") << QByteArray("$finfo:file,1024\n") << true;
        QTest::newRow("capitals") << QByteArray("$finfo:FILE\n") << true;
        QTest::newRow("folder") << QByteArray("$finfo:dir\n") << false;
        QTest::newRow("no fields") << QByteArray("$finfo:\n") << false;
    }

    void remoteIsFile()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, isFile);

        ScriptedAgent agent(reply);
        QTcpSocket client;
        connectTo(client, agent);
        QCOMPARE(simpleprotocol::remoteIsFile(client, QStringLiteral("/sdcard/x")), isFile);
    }

    void emptyUpload()
    {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("empty"));
        writeFile(local, QByteArray());
        ScriptedAgent agent("$file:\n");
        QTcpSocket client;
        connectTo(client, agent);
        uploadFile(client, local, QStringLiteral("/sdcard/viber/su/empty"));
        client.disconnectFromHost();
        QCOMPARE(agent.received(), QByteArray("$file:/sdcard/viber/su/empty\n.\n"));
    }

    void uploadSendsBlocksOfHalfAMegabyte()
    {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("viber_messages"));
        QByteArray data(2 * UploadBlockSize + 1000, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char(i * 7 % 251);
        writeFile(local, data);
        ScriptedAgent agent(".\n.\n.\n$file:\n");
        QTcpSocket client;
        connectTo(client, agent);
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        uploadFile(client, local, QStringLiteral("/sdcard/viber/su/viber_messages"), &channel);
        client.disconnectFromHost();

        const QByteArray expected = "$file:/sdcard/viber/su/viber_messages\n$block:524288\n" +
                                    data.left(UploadBlockSize) + "$block:524288\n" +
                                    data.mid(UploadBlockSize, UploadBlockSize) + "$block:1000\n" +
                                    data.right(1000) + ".\n";
        QVERIFY(agent.received() == expected);
        QCOMPARE(receiver.progress.size(), 3);
        QCOMPARE(receiver.progress[0].status, QStringLiteral("Copying file viber_messages..."));
        QCOMPARE(receiver.progress[2].text, QStringLiteral("%L1KB / %L2KB").arg(1024).arg(1024));
    }

    void missingUploadSourceIsReportedToTheAgent()
    {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("absent"));
        ScriptedAgent agent(QByteArray{});
        QTcpSocket client;
        connectTo(client, agent);
        QVERIFY_THROWS_EXCEPTION(LocalException, uploadFile(client, local, QStringLiteral("/sdcard/x")));
        client.disconnectFromHost();
        const QByteArray sent = agent.received();
        QVERIFY(sent.startsWith("$file:/sdcard/x\n$error:"));
        const QString notice =
            decodeErrorText(QString::fromLatin1(sent.mid(sent.indexOf("$error:") + 7).trimmed()));
        QVERIFY2(notice.startsWith(QStringLiteral("open %1 failed. ").arg(local)), qPrintable(notice));
    }

    void sessionPorts()
    {
        resetSessionPortCounter();
        const QTime time(13, 6, 7);
        QCOMPARE(nextSessionPort(time), 30701);
        QCOMPARE(nextSessionPort(time), 30702);
        for (int call = 3; call < 100; ++call)
            nextSessionPort(time);
        // the hundredth call wraps the counter back to 1
        QCOMPARE(nextSessionPort(time), 30701);
        QCOMPARE(nextSessionPort(QTime(23, 59, 59)), 45902);
        QCOMPARE(nextSessionPort(QTime(0, 0, 0)), 10003);
    }
};

QTEST_GUILESS_MAIN(TestSimpleProtocol)
#include "tst_simpleprotocol.moc"
