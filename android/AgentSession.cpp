#include "android/AgentSession.h"

#include "android/AdbTool.h"
#include "android/AgentInstaller.h"
#include "android/SimpleProtocol.h"
#include "android/WifiAgentGone.h"
#include "app/ProgressChannel.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>
#include <QtDebug>

namespace simpleprotocol {

namespace {

constexpr int ConnectWaitMs = 5000;
constexpr int ReadyWaitMs = 5000;
constexpr int WifiConnectWaitMs = 10000;
// A refused connection fails at once; without a pause the retry loop would spin on the
// CPU until the agent listens.
constexpr int RetryPauseMs = 100;
// How often a session whose port another session holds moves to a new one.
constexpr int MaxPortChanges = 3;

std::runtime_error failure(const QString& message)
{
    return std::runtime_error(message.toStdString());
}

void throwIfCancelled(const ProgressChannel* progress)
{
    if (progress && progress->isCancelled())
        throw OperationCancelled();
}

// A session socket through an ADB port forward. Every USB session forwards a new port,
// so the forward is removed when the session ends instead of piling up on the ADB
// server for as long as it runs.
class ForwardedSocket : public QTcpSocket
{
public:
    ForwardedSocket(const QString& serial, int port) : m_serial(serial), m_port(port) {}
    ~ForwardedSocket() override
    {
        abort();
        try {
            AdbTool().removeForward(m_serial, m_port);
        } catch (const std::exception& e) {
            qDebug("removing the forward of port %d failed: %s", m_port, e.what());
        }
    }

private:
    QString m_serial;
    int m_port;
};

// Every exchange is a short line answered by another (a request, a block's "."), so a
// line held back until the previous one is acknowledged costs a delayed
// acknowledgement each time, tens of milliseconds per file.
void noDelay(QTcpSocket& socket)
{
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

} // namespace

int sessionPort(const QString& url)
{
    const int port = QUrl(url).port();
    return port > 0 && port <= 65535 ? port : 0;
}

void presentSecret(QIODevice& socket, const QString& readyLine, const QByteArray& secret, int timeoutMs,
                   const ProgressChannel* progress)
{
    const QStringList features = readyLine.mid(7).split(u',', Qt::SkipEmptyParts);
    if (!features.contains(QLatin1String("auth")))
        return;
    if (secret.isEmpty())
        throw failure(QStringLiteral("the agent asks for a pairing this computer does not have."));
    sendLine(socket, QStringLiteral("$auth:"), QString::fromLatin1(secret));
    expectReply(socket, QStringLiteral("$auth:"), timeoutMs, progress);
}

std::unique_ptr<QTcpSocket> openUsbSession(const QString& serial, const QString& url, int budgetMs,
                                           const ProgressChannel* progress, bool packageAgent)
{
    QString sessionUrl = url;
    int port = sessionPort(url);
    if (port == 0)
        throw failure(QStringLiteral("start %1 failed.").arg(url));
    // Anyone on the phone may connect to the port, so the session takes only the client
    // that knows the secret this side made for it.
    const QByteArray secret = packageAgent ? QByteArray() : AgentInstaller::newSecret();
    // Another program on this computer may have been given the same port in the same
    // second, and its agent may hold it still: the session then moves to another port.
    for (int portsLeft = MaxPortChanges;; --portsLeft) {
        try {
            if (packageAgent)
                AdbTool().am(serial, QStringLiteral("broadcast"), QString::fromLatin1(AgentReceiver),
                             QString(), sessionUrl, QStringList(), QString());
            else
                AgentInstaller::startSession(serial, sessionUrl, secret);
            break;
        } catch (const SessionPortTaken& e) {
            if (portsLeft == 0)
                throw;
            qDebug("%s, moving on", e.what());
            port = nextSessionPort();
            QUrl moved(url);
            moved.setPort(port);
            sessionUrl = moved.toString();
        }
    }
    AdbTool().forward(serial, port, port);
    std::unique_ptr<QTcpSocket> socket = std::make_unique<ForwardedSocket>(serial, port);

    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    for (;;) {
        throwIfCancelled(progress);
        if (QDateTime::currentMSecsSinceEpoch() - start > budgetMs)
            throw failure(QStringLiteral("start %1 failed.").arg(url));
        socket->abort();
        socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(port), QIODevice::ReadWrite);
        if (!socket->waitForConnected(ConnectWaitMs)) {
            QThread::msleep(RetryPauseMs);
            continue;
        }
        noDelay(*socket);
        try {
            const QString ready = expectReply(*socket, QStringLiteral("$ready:"), ReadyWaitMs, progress);
            presentSecret(*socket, ready, secret, ReadyWaitMs, progress);
            return socket;
        } catch (const SocketDataTransferException&) {
            qDebug("connect %s failed, try again...", qUtf8Printable(url));
            QThread::msleep(RetryPauseMs);
        }
    }
}

std::unique_ptr<QTcpSocket> openWifiSession(const QString& host, int controlPort, const QString& url,
                                            int budgetMs, const ProgressChannel* progress,
                                            const QByteArray& secret)
{
    QString reply;
    {
        QTcpSocket control;
        control.connectToHost(host, quint16(controlPort), QIODevice::ReadWrite);
        // Connect waits are not sliced: a socket whose connect wait times out is reset.
        throwIfCancelled(progress);
        if (!control.waitForConnected(WifiConnectWaitMs))
            throw WifiAgentGone(host, controlPort);
        sendLine(control, url, QString());
        // An agent that knows no pairing reads the URL line only and never this one.
        if (!secret.isEmpty())
            sendLine(control, QStringLiteral("$auth:"), QString::fromLatin1(secret));
        // A host that accepts the connection but never answers must not hold the
        // worker for good.
        reply = readReply(control, budgetMs, progress);
        control.disconnectFromHost();
    }
    if (reply.startsWith(u'0'))
        throw failure(QStringLiteral("start %1 failed.%2").arg(url, decodeErrorText(reply.mid(1))));

    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(host, quint16(sessionPort(url)), QIODevice::ReadWrite);
    throwIfCancelled(progress);
    if (!socket->waitForConnected(budgetMs))
        throw failure(QStringLiteral("connec %1 failed.").arg(url));
    noDelay(*socket);
    const QString ready = expectReply(*socket, QStringLiteral("$ready:"), budgetMs, progress);
    presentSecret(*socket, ready, secret, budgetMs, progress);
    return socket;
}

QByteArray wifiPingRequest(const QByteArray& secret)
{
    QByteArray request = "$ping:\n";
    // An agent that knows no pairing reads the first line only.
    if (!secret.isEmpty())
        request += "$auth:" + secret + '\n';
    return request;
}

bool wifiAgentAnswers(const SessionEndpoint& endpoint, int timeoutMs)
{
    QTcpSocket control;
    control.connectToHost(endpoint.host, quint16(endpoint.port), QIODevice::ReadWrite);
    if (!control.waitForConnected(timeoutMs))
        return false;
    control.write(wifiPingRequest(endpoint.secret));
    while (!control.canReadLine()) {
        if (!control.waitForReadyRead(timeoutMs))
            return false;
    }
    control.disconnectFromHost();
    return true;
}

std::unique_ptr<QTcpSocket> openSession(const SessionEndpoint& endpoint, const QString& url, int budgetMs,
                                        const ProgressChannel* progress)
{
    if (endpoint.viaWifi)
        return openWifiSession(endpoint.host, endpoint.port, url, budgetMs, progress, endpoint.secret);
    return openUsbSession(endpoint.serial, url, budgetMs, progress, endpoint.packageAgent);
}

QString readDeviceDescription(QIODevice& socket, int timeoutMs, const ProgressChannel* progress)
{
    const QString description = expectReply(socket, QStringLiteral("$hello:"), timeoutMs, progress).mid(7);
    sendBye(socket);
    if (auto* tcp = qobject_cast<QAbstractSocket*>(&socket))
        tcp->disconnectFromHost();
    else
        socket.close();
    return description;
}

QString fetchDeviceDescription(const SessionEndpoint& endpoint, int budgetMs, int replyWaitMs,
                               const ProgressChannel* progress)
{
    const QString url = QString::fromLatin1(DeviceInfoUrl).arg(nextSessionPort());
    const std::unique_ptr<QTcpSocket> socket = openSession(endpoint, url, budgetMs, progress);
    return readDeviceDescription(*socket, replyWaitMs, progress);
}

} // namespace simpleprotocol
