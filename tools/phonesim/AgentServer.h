#pragma once

#include "tools/phonesim/SimDevice.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QTcpServer;
class QTcpSocket;

// Plays the agent app of one simulated phone: serves sessions on 127.0.0.1 and, in WiFi
// mode, the control port that starts them. Every wait is bounded by the device's idle
// time-out, so a forgotten agent ends by itself.
class AgentServer
{
public:
    explicit AgentServer(const SimDevice& device);

    // Listens on the URL's port, serves the first client, and returns when it leaves or
    // stays idle. Returns the process exit code.
    int runSession(const QString& url);
    // Answers session requests on the control port until no request comes for the idle time.
    int runWifiControl(int controlPort);

private:
    enum class Outcome { Continue, End };

    bool listenFor(QTcpServer& server, const QString& url);
    void serveFirstClient(QTcpServer& server, const QString& url);
    void serveClient(QTcpSocket& socket, const QString& url);
    Outcome handleDownload(QTcpSocket& socket, const QString& phonePath);
    Outcome handleUpload(QTcpSocket& socket, const QString& phonePath);
    int runRootCommand(const QString& command);

    std::optional<QByteArray> readLine(QTcpSocket& socket);
    bool readBytes(QTcpSocket& socket, char* buffer, qint64 n);
    bool writeBytes(QTcpSocket& socket, const QByteArray& bytes);
    bool writeLine(QTcpSocket& socket, const QString& line);
    bool writeError(QTcpSocket& socket, const QString& message);
    void pause() const;
    void log(const QString& text) const;

    SimDevice m_device;
    int m_idleMs;
};
