#include "app/AppDirs.h"
#include "app/ErrorReport.h"
#include "app/HelpLinks.h"
#include "app/UpdateChecker.h"
#include "app/WebConfig.h"
#include "app/WebLinks.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <functional>

namespace {

constexpr qint64 Now = 1'800'000'000;

// A web server on 127.0.0.1 that records every request and answers with whatever the
// test hands it; an empty answer closes the connection without a reply.
class HttpStub : public QObject
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray target;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };
    std::function<QByteArray(const Request&)> answer = [](const Request&) { return QByteArray(); };
    QList<Request> requests;
    int connections = 0;

    HttpStub()
    {
        if (!m_server.listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen on 127.0.0.1");
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    static QByteArray reply(int status, const QByteArray& body)
    {
        return "HTTP/1.1 " + QByteArray::number(status) +
               " X\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
               body;
    }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> first = lines.first().trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (const QByteArray& line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headEnd + 4 + length)
            return;
        request.body = buffer.mid(headEnd + 4, length);
        requests.append(request);
        const QByteArray response = answer(request);
        if (!response.isEmpty())
            socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QMap<QTcpSocket*, QByteArray> m_buffers;
};

WebConfig localConfig(quint16 port)
{
    WebConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = port;
    return config;
}

QByteArray decodeReport(QByteArray value)
{
    value.replace('!', '/');
    value.replace('-', '=');
    return QByteArray::fromBase64(value, QByteArray::AbortOnBase64DecodingErrors);
}

} // namespace

class TestWebServices : public QObject
{
    Q_OBJECT

    QTemporaryDir m_data;
    QString stampPath() const { return m_data.filePath(QLatin1String(UpdateChecker::StampFile)); }
    QString linkPath() const { return m_data.filePath(QLatin1String(UpdateChecker::LinkFile)); }

    struct CheckRun
    {
        bool sent = false;
        QList<QUrl> downloads;
    };

    // Runs the start-up checks against the stub until both requests have ended.
    CheckRun runChecks(HttpStub& stub)
    {
        UpdateChecker checker(localConfig(stub.port()), m_data.path());
        checker.setClock([] { return Now; });
        CheckRun run;
        connect(&checker, &UpdateChecker::updateAvailable, this,
                [&run](const QUrl& url) { run.downloads.append(url); });
        QSignalSpy finished(&checker, &UpdateChecker::finished);
        run.sent = checker.startupChecks();
        if (run.sent && !finished.wait(10000))
            qWarning("the checks did not end");
        return run;
    }

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
        QVERIFY(m_data.isValid());
    }

    void init()
    {
        QFile::remove(stampPath());
        QFile::remove(linkPath());
    }

    void stampDecidesWhetherToCheck_data()
    {
        QTest::addColumn<QByteArray>("stamp"); // empty: no file
        QTest::addColumn<bool>("runs");
        QTest::newRow("a day old") << QByteArray::number(Now - 86400) << false;
        QTest::newRow("a day and a second old") << QByteArray::number(Now - 86401) << true;
        QTest::newRow("an hour old, NUL ended") << QByteArray::number(Now - 3600) + '\0' + "junk" << false;
        QTest::newRow("missing") << QByteArray() << true;
        QTest::newRow("zero") << QByteArray("0") << true;
        QTest::newRow("unreadable") << QByteArray("yesterday") << true;
        QTest::newRow("from the future") << QByteArray::number(Now + 5000) << true;
    }

    void stampDecidesWhetherToCheck()
    {
        QFETCH(QByteArray, stamp);
        QFETCH(bool, runs);
        if (!stamp.isEmpty())
            QVERIFY(TestEnvironment::writeFile(stampPath(), stamp));
        HttpStub stub;
        stub.answer = [](const HttpStub::Request&) { return HttpStub::reply(200, "nothing new"); };
        QCOMPARE(runChecks(stub).sent, runs);
        if (!runs) {
            QTest::qWait(100);
            QCOMPARE(stub.connections, 0);
            QCOMPARE(TestEnvironment::readFile(stampPath()), stamp);
            return;
        }
        QStringList targets;
        for (const auto& r : stub.requests) {
            QCOMPARE(r.method, QByteArray("GET"));
            targets.append(QString::fromLatin1(r.target));
        }
        targets.sort();
        const QString pid = QLatin1String(AppDirs::ProductId);
        QCOMPARE(targets, QStringList({QStringLiteral("/adv.php?pid=") + pid,
                                       QStringLiteral("/sms_check_update.php?pid=%1&ver=18&q=1").arg(pid)}));
        QCOMPARE(TestEnvironment::readFile(stampPath()), QByteArray::number(Now));
    }

    void versionAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("download"); // empty: none offered
        QTest::newRow("http") << 200 << QByteArray("http://example.com/velliport-3.2.exe")
                              << "http://example.com/velliport-3.2.exe";
        QTest::newRow("capitals") << 200 << QByteArray("HTTP://Example.com/new.exe\r\n")
                                  << "http://example.com/new.exe";
        QTest::newRow("https, NUL ended")
            << 200 << QByteArray("https://example.com/n\0tail", 26) << "https://example.com/n";
        QTest::newRow("no update") << 200 << QByteArray("0") << "";
        QTest::newRow("no host") << 200 << QByteArray("http://") << "";
        QTest::newRow("not a url") << 200 << QByteArray("http://exa mple.com/<script>") << "";
        QTest::newRow("other scheme") << 200 << QByteArray("file:///etc/passwd") << "";
        QTest::newRow("not found") << 404 << QByteArray("http://example.com/new.exe") << "";
        QTest::newRow("oversized") << 200
                                   << QByteArray("http://example.com/") +
                                          QByteArray(UpdateChecker::MaxAnswerBytes * 4, 'x')
                                   << "";
    }

    // Every answer stamps the check; only a whole 200 answer holding a web address offers a download.
    void versionAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, download);
        HttpStub stub;
        stub.answer = [&](const HttpStub::Request& r) {
            return r.target.startsWith("/sms_check_update.php") ? HttpStub::reply(status, body)
                                                                : HttpStub::reply(404, QByteArray());
        };
        const CheckRun run = runChecks(stub);
        QVERIFY(run.sent);
        QCOMPARE(TestEnvironment::readFile(stampPath()), QByteArray::number(Now));
        if (download.isEmpty())
            QCOMPARE(run.downloads, QList<QUrl>());
        else
            QCOMPARE(run.downloads, QList<QUrl>({QUrl(download)}));
    }

    // A server that never answers leaves no stamp, so the next start checks again.
    void noAnswerNoStamp()
    {
        HttpStub stub; // closes every connection without a reply
        QVERIFY(runChecks(stub).sent);
        // (the network layer asks once more when a connection closes before an answer)
        QVERIFY(stub.requests.size() >= 2);
        QVERIFY(!QFile::exists(stampPath()));
        QVERIFY(!QFile::exists(linkPath()));
    }

    void linkAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("stored"); // empty: no file
        QTest::newRow("anchor") << 200 << QByteArray("<A href=\"http://example.com\">Tips</a>")
                                << QByteArray("<a style=\"color:#2772BC;text-decoration:none;\" "
                                              "href=\"http://example.com\">Tips</a>");
        QTest::newRow("plain text") << 200 << QByteArray("Tips \xc3\xa4") << QByteArray("Tips \xc3\xa4");
        QTest::newRow("server error") << 500 << QByteArray("<a href=x>x</a>") << QByteArray();
        QTest::newRow("oversized") << 200 << QByteArray(UpdateChecker::MaxAnswerBytes + 1, 'a')
                                   << QByteArray();
    }

    void linkAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, stored);
        HttpStub stub;
        stub.answer = [&](const HttpStub::Request& r) {
            return r.target.startsWith("/adv.php") ? HttpStub::reply(status, body)
                                                   : HttpStub::reply(200, "0");
        };
        QVERIFY(runChecks(stub).sent);
        if (stored.isEmpty())
            QVERIFY(!QFile::exists(linkPath()));
        else
            QCOMPARE(TestEnvironment::readFile(linkPath()), stored);
    }

    void reportEncoding()
    {
        QCOMPARE(ErrorReport::encode(QStringLiteral("abc")), QByteArray("YWJj"));
        QCOMPARE(ErrorReport::encode(QStringLiteral("a")), QByteArray("YQ--"));
        // "???" is "Pz8/" and ">>>" "Pj4+": the slash is changed, the plus kept.
        QCOMPARE(ErrorReport::encode(QStringLiteral("???")), QByteArray("Pz8!"));
        QCOMPARE(ErrorReport::encode(QStringLiteral(">>>")), QByteArray("Pj4+"));
    }

    void errorReportIsPostedAndDecodes()
    {
        HttpStub stub;
        stub.answer = [](const HttpStub::Request&) { return HttpStub::reply(200, "ok"); };
        ErrorReport report(localConfig(stub.port()));
        QCOMPARE(report.destination(), QStringLiteral("127.0.0.1"));
        QSignalSpy finished(&report, &ErrorReport::finished);
        QVERIFY(report.send(QStringLiteral("Copy failed:<BR />size &lt; 0 &gt; -1<br>Grüße / 100%")));
        QVERIFY(finished.wait(10000));
        QCOMPARE(stub.requests.size(), 1);
        const HttpStub::Request& r = stub.requests.first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.target, QByteArray("/err_report.php"));
        QCOMPARE(r.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QVERIFY(r.headers.value("host").startsWith("127.0.0.1"));
        QMap<QByteArray, QByteArray> fields;
        for (const QByteArray& pair : r.body.split('&'))
            fields.insert(pair.left(pair.indexOf('=')), pair.mid(pair.indexOf('=') + 1));
        QCOMPARE(fields.keys(), QList<QByteArray>({"err", "prod", "ver"}));
        QCOMPARE(decodeReport(fields["prod"]), QByteArray("Velliport"));
        QCOMPARE(decodeReport(fields["ver"]), QByteArray("3.1.18(18)"));
        QCOMPARE(QString::fromUtf8(decodeReport(fields["err"])),
                 QStringLiteral("Copy failed:\r\nsize < 0 > -1\r\nGrüße / 100%"));
    }

    // Without a configured host nothing reaches the network, whatever is asked.
    void nothingSentWithoutHost()
    {
        HttpStub stub;
        const WebConfig none;
        UpdateChecker checker(none, m_data.path());
        checker.setClock([] { return Now; });
        QVERIFY(!checker.startupChecks());
        ErrorReport report(none);
        QCOMPARE(report.destination(), QString());
        QVERIFY(!report.send(QStringLiteral("Broken.")));
        QTest::qWait(200);
        QCOMPARE(stub.connections, 0);
        QVERIFY(!QFile::exists(stampPath()));
        for (const QUrl& page :
             {WebLinks::checkUpdatePage(none), WebLinks::helpPage(none), WebLinks::feedbackPage(none),
              WebLinks::homePage(none), WebLinks::usbDebuggingPage(none), WebLinks::versionCheck(none),
              WebLinks::mapPicture(none, 52.5, 13.25)})
            QVERIFY(page.isEmpty());
        QCOMPARE(WebLinks::noWebSiteText(),
                 QStringLiteral("No web site is configured for this copy of Velliport."));
    }

    void configurationFile()
    {
        const QString path = m_data.filePath(QStringLiteral("web.ini"));
        QVERIFY(TestEnvironment::writeFile(path, "[web]\n"
                                                 "host=www.example.com\n"
                                                 "port=8080\n"
                                                 "support=help@example.com\n"
                                                 "help_page=https://www.example.com/help.html\n"
                                                 "feedback_page=mailto:help@example.com\n"
                                                 "home_page=javascript:alert(1)\n"));
        const WebConfig config = WebConfig::fromFile(path);
        QCOMPARE(config.host, QStringLiteral("www.example.com"));
        QCOMPARE(config.supportAddress, QStringLiteral("help@example.com"));
        QCOMPARE(WebLinks::helpPage(config), QUrl(QStringLiteral("https://www.example.com/help.html")));
        // only web addresses count as pages
        QVERIFY(WebLinks::feedbackPage(config).isEmpty());
        QVERIFY(WebLinks::homePage(config).isEmpty());
        QCOMPARE(WebLinks::versionCheck(config).toString(),
                 QStringLiteral("http://www.example.com:8080/sms_check_update.php?pid=%1&ver=18&q=1")
                     .arg(QLatin1String(AppDirs::ProductId)));
        const QUrl update = WebLinks::checkUpdatePage(config);
        QCOMPARE(update.toString(QUrl::RemoveQuery),
                 QStringLiteral("http://www.example.com:8080/sms_check_update.php"));
        const QUrlQuery query(update);
        QCOMPARE(query.queryItemValue(QStringLiteral("pid")), QLatin1String(AppDirs::ProductId));
        QCOMPARE(query.queryItemValue(QStringLiteral("ver")), QStringLiteral("18"));
        QCOMPARE(query.queryItemValue(QStringLiteral("sys")), QStringLiteral("linux"));
        QVERIFY(update.toString().endsWith(QLatin1String("&sys=linux")));

        // a host that would carry a path or a header into the requests is refused
        QVERIFY(TestEnvironment::writeFile(path, "[web]\nhost=evil.example/x?y\n"));
        QVERIFY(!WebConfig::fromFile(path).hasHost());
        QVERIFY(!WebConfig::fromFile(m_data.filePath(QStringLiteral("missing.ini"))).hasHost());
    }

    // A map picture comes only from a configured address, with every placeholder filled;
    // the page a location links to is OpenStreetMap's, opened only by the user.
    void mapAddresses()
    {
        const QString path = m_data.filePath(QStringLiteral("web.ini"));
        QVERIFY(TestEnvironment::writeFile(path,
                                           "[web]\nmap_picture=https://maps.example.org/static?"
                                           "c={lat},{lon}&z={zoom}&s={width}x{height}&scale={scale}\n"));
        const WebConfig config = WebConfig::fromFile(path);
        QCOMPARE(WebLinks::mapPicture(config, 52.520008, 13.404954),
                 QUrl(QStringLiteral(
                     "https://maps.example.org/static?c=52.520008,13.404954&z=16&s=600x389&scale=1")));
        QCOMPARE(WebLinks::mapPicture(QStringLiteral("https://tile.example.org/{zoom}/{x}/{y}.png"),
                                      52.520008, 13.404954),
                 QUrl(QStringLiteral("https://tile.example.org/16/35208/21492.png")));
        // a placeholder of another kind would be sent as it stands: no such address counts
        QVERIFY(TestEnvironment::writeFile(
            path,
            "[web]\nmap_picture=https://maps.example.org/staticmap?scale=<scale>&center={lat},{lon}\n"));
        QVERIFY(WebConfig::fromFile(path).mapPicture.isEmpty());
        QVERIFY(
            WebLinks::mapPicture(QStringLiteral("https://m.example.org/{lat}/{heading}"), 1, 2).isEmpty());
        QVERIFY(WebLinks::mapPicture(QStringLiteral("file:///{lat}"), 1, 2).isEmpty());

        QCOMPARE(WebLinks::mapPage(52.5, -13.25),
                 QUrl(QStringLiteral("https://www.openstreetmap.org/?mlat=52.500000&mlon=-13.250000"
                                     "#map=16/52.500000/-13.250000")));
        // no place: none set, off the earth, or no number at all
        for (const auto& [lat, lon] : {std::pair(0.0, 0.0), std::pair(90.5, 1.0), std::pair(1.0, -181.0),
                                       std::pair(qQNaN(), 1.0), std::pair(1.0, qInf())}) {
            QVERIFY(WebLinks::mapPage(lat, lon).isEmpty());
            QVERIFY(WebLinks::mapPicture(config, lat, lon).isEmpty());
        }
    }

    void helpLinks()
    {
        QList<QUrl> opened;
        AppDirs::setShellOpenHook([&opened](const QUrl& url) { opened.append(url); });
        QTemporaryDir programs;
        const QString marker = programs.filePath(QStringLiteral("started"));
        QVERIFY(TestEnvironment::writeFile(programs.filePath(QStringLiteral("portwarden")),
                                           "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n"));
        QVERIFY(QFile::setPermissions(programs.filePath(QStringLiteral("portwarden")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        AppDirs::setAssetFolder(programs.path());

        QCOMPARE(HelpLinks::portwardenLink(), QStringLiteral("velliport:portwarden"));
        QVERIFY(HelpLinks::portwardenHelpText().contains(QLatin1String("href=\"velliport:portwarden\"")));
        QVERIFY(HelpLinks::usbSetupHelpText().contains(QLatin1String("plugdev")));
        QVERIFY(HelpLinks::activate(HelpLinks::portwardenLink()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
        QVERIFY(HelpLinks::activate(QStringLiteral("https://example.com/usb")));
        QVERIFY(!HelpLinks::activate(QStringLiteral("velliport:rm")));
        QVERIFY(!HelpLinks::activate(QStringLiteral("file:///usr/bin/xterm")));
        QCOMPARE(opened, QList<QUrl>({QUrl(QStringLiteral("https://example.com/usb"))}));

        AppDirs::setAssetFolder(QString());
        AppDirs::setShellOpenHook(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestWebServices)
#include "tst_webservices.moc"
