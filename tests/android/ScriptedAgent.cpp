#include "tests/android/ScriptedAgent.h"

#include <QTcpServer>
#include <QTcpSocket>

ScriptedAgent::ScriptedAgent(const QByteArray& script, bool hangUp) : m_script(script), m_hangUp(hangUp)
{
    std::promise<int> port;
    std::future<int> portFuture = port.get_future();
    m_thread = std::thread(&ScriptedAgent::serve, this, std::move(port));
    m_port = portFuture.get();
}

ScriptedAgent::~ScriptedAgent()
{
    if (m_thread.joinable())
        m_thread.join();
}

QByteArray ScriptedAgent::received()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_received;
}

void ScriptedAgent::serve(std::promise<int> port)
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        port.set_value(0);
        return;
    }
    port.set_value(server.serverPort());
    if (!server.waitForNewConnection(10000))
        return;
    QTcpSocket* socket = server.nextPendingConnection();
    socket->write(m_script);
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(10000)) {
    }
    if (m_hangUp) {
        socket->disconnectFromHost();
        return;
    }
    for (;;) {
        m_received += socket->readAll();
        if (!socket->waitForReadyRead(10000))
            break;
    }
    m_received += socket->readAll();
}
