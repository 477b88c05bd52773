#include "tools/phonesim/AgentServer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <vector>

namespace {

constexpr int MaxLine = 64 * 1024;
constexpr qint64 MaxBlock = 64 * 1024 * 1024;
constexpr qint64 DefaultBlock = 256 * 1024;

// Splits a shell command line at blanks, keeping double-quoted runs together.
QStringList shellWords(const QString& command)
{
    QStringList words;
    QString current;
    bool quoted = false;
    bool inWord = false;
    for (const QChar c : command) {
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (c.isSpace() && !quoted) {
            if (inWord)
                words.append(current);
            current.clear();
            inWord = false;
        } else {
            current.append(c);
            inWord = true;
        }
    }
    if (inWord)
        words.append(current);
    return words;
}

bool removePath(const QString& local)
{
    const QFileInfo info(local);
    if (info.isDir() && !info.isSymLink())
        return QDir(local).removeRecursively();
    return !info.exists() && !info.isSymLink() ? true : QFile::remove(local);
}

} // namespace

AgentServer::AgentServer(const SimDevice& device) : m_device(device), m_idleMs(device.idleMs()) {}

bool AgentServer::listenFor(QTcpServer& server, const QString& url)
{
    const int port = QUrl(url).port();
    if (port <= 0 || port > 65535) {
        log(QStringLiteral("bad session url %1").arg(url));
        return false;
    }
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        log(QStringLiteral("cannot listen on %1: %2").arg(port).arg(server.errorString()));
        return false;
    }
    return true;
}

void AgentServer::serveFirstClient(QTcpServer& server, const QString& url)
{
    if (!server.waitForNewConnection(m_idleMs)) {
        log(QStringLiteral("nobody came for %1").arg(url));
        return;
    }
    std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
    server.close();
    // Replies are short lines written one after the other ("$file:0" then "."): held
    // back for the client's delayed acknowledgement each would cost tens of milliseconds.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    serveClient(*socket, url);
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->waitForDisconnected(1000);
}

int AgentServer::runSession(const QString& url)
{
    QTcpServer server;
    if (!listenFor(server, url))
        return 2;
    serveFirstClient(server, url);
    return 0;
}

int AgentServer::runWifiControl(int controlPort)
{
    QTcpServer control;
    if (!control.listen(QHostAddress::LocalHost, quint16(controlPort))) {
        log(QStringLiteral("cannot listen on control port %1: %2")
                .arg(controlPort)
                .arg(control.errorString()));
        return 2;
    }
    // whoever started this process waits for the line before sending requests
    printf("listening %d\n", controlPort);
    fflush(stdout);
    while (control.waitForNewConnection(m_idleMs)) {
        std::unique_ptr<QTcpSocket> request(control.nextPendingConnection());
        const auto line = readLine(*request);
        if (!line)
            continue;
        const QString url = QString::fromUtf8(*line);
        const QString refusal = m_device.value(QStringLiteral("refuseWifi")).toString();
        pause();
        if (!refusal.isEmpty()) {
            writeLine(*request, u'0' + QString::fromLatin1(refusal.toUtf8().toBase64()));
            request->disconnectFromHost();
            continue;
        }
        // the client connects to the session port as soon as it has the answer
        QTcpServer session;
        if (!listenFor(session, url)) {
            writeLine(*request, u'0' + QString::fromLatin1(QByteArrayLiteral("port in use").toBase64()));
            request->disconnectFromHost();
            continue;
        }
        writeLine(*request, QStringLiteral("1"));
        request->disconnectFromHost();
        serveFirstClient(session, url);
    }
    return 0;
}

void AgentServer::serveClient(QTcpSocket& socket, const QString& url)
{
    pause();
    if (!writeLine(socket, QStringLiteral("$ready:")))
        return;
    if (url.endsWith(QLatin1String("/device-info")))
        writeLine(socket, QStringLiteral("$hello:") + m_device.description());

    for (;;) {
        const auto raw = readLine(socket);
        if (!raw)
            return;
        const QString line = QString::fromUtf8(*raw);
        const int colon = line.indexOf(u':');
        const QString command = colon < 0 ? line : line.left(colon + 1);
        const QString body = colon < 0 ? QString() : line.mid(colon + 1);
        log(QStringLiteral("<< %1").arg(line));

        if (command == QLatin1String("$bye:"))
            return;
        if (command == QLatin1String("$error:")) {
            log(QStringLiteral("client error: %1")
                    .arg(QString::fromUtf8(QByteArray::fromBase64(body.toLatin1()))));
            continue;
        }
        if (command == QLatin1String("$block:")) {
            // the rest of an upload this side already refused
            const qint64 n = body.toLongLong();
            if (n < 0 || n > MaxBlock)
                return;
            std::vector<char> skip(size_t(qMin<qint64>(n, 1024 * 1024)) + 1);
            for (qint64 left = n; left > 0;) {
                const qint64 step = qMin<qint64>(left, qint64(skip.size()));
                if (!readBytes(socket, skip.data(), step))
                    return;
                left -= step;
            }
            continue;
        }
        pause();
        const QString errorText = m_device.value(QStringLiteral("errorLine")).toString();
        if (!errorText.isEmpty()) {
            if (!writeError(socket, errorText))
                return;
            continue;
        }
        Outcome outcome = Outcome::Continue;
        if (command == QLatin1String("$sucmd:")) {
            const int code = m_device.rootGranted() ? runRootCommand(body) : 1;
            log(QStringLiteral("su %1 -> %2").arg(body).arg(code));
            if (!writeLine(socket, QStringLiteral("$sucmd:%1").arg(code)))
                return;
        } else if (command == QLatin1String("$finfo:")) {
            const QFileInfo info(m_device.fileFor(body));
            QString fields = QStringLiteral("none");
            if (info.isFile())
                fields = QStringLiteral("file,%1").arg(info.size());
            else if (info.isDir())
                fields = QStringLiteral("dir");
            if (!writeLine(socket, QStringLiteral("$finfo:") + fields))
                return;
        } else if (command == QLatin1String("$dload:")) {
            outcome = handleDownload(socket, body);
        } else if (command == QLatin1String("$file:")) {
            outcome = handleUpload(socket, body);
        } else if (!writeError(socket, QStringLiteral("unknown command %1").arg(line.left(200)))) {
            return;
        }
        if (outcome == Outcome::End)
            return;
    }
}

AgentServer::Outcome AgentServer::handleDownload(QTcpSocket& socket, const QString& phonePath)
{
    const QString local = m_device.fileFor(phonePath);
    QFile file(local);
    // a missing file is answered with an empty transfer
    const bool readable = !local.isEmpty() && QFileInfo(local).isFile() && file.open(QIODevice::ReadOnly);
    const qint64 total = readable ? file.size() : 0;
    if (!writeLine(socket, QStringLiteral("$file:%1").arg(total)))
        return Outcome::End;

    const qint64 blockSize =
        qBound<qint64>(1, m_device.value(QStringLiteral("blockSize"), DefaultBlock).toLongLong(), MaxBlock);
    const QString malformed = m_device.value(QStringLiteral("malformedHeader")).toString();
    const bool dropMidBlock = m_device.value(QStringLiteral("dropMidBlock"), false).toBool();
    QByteArray block;
    while (readable && !file.atEnd()) {
        block = file.read(blockSize);
        if (block.isEmpty())
            break;
        if (!malformed.isEmpty()) {
            if (!writeLine(socket, malformed))
                return Outcome::End;
            // the client is expected to refuse the header with an error line
            const auto reply = readLine(socket);
            log(QStringLiteral("after malformed header: %1")
                    .arg(reply ? QString::fromUtf8(*reply) : QString()));
            return Outcome::End;
        }
        if (!writeLine(socket, QStringLiteral("$block:%1").arg(block.size())))
            return Outcome::End;
        if (dropMidBlock) {
            writeBytes(socket, block.left(block.size() / 2));
            socket.abort();
            return Outcome::End;
        }
        if (!writeBytes(socket, block))
            return Outcome::End;
        const auto ack = readLine(socket);
        if (!ack || *ack != ".")
            return Outcome::End;
        pause();
    }
    if (!writeLine(socket, QStringLiteral(".")))
        return Outcome::End;
    const auto done = readLine(socket);
    return done && done->startsWith("$file:") ? Outcome::Continue : Outcome::End;
}

AgentServer::Outcome AgentServer::handleUpload(QTcpSocket& socket, const QString& phonePath)
{
    const QString local = m_device.fileFor(phonePath);
    if (local.isEmpty())
        return writeError(socket, QStringLiteral("permission denied: %1").arg(phonePath)) ? Outcome::Continue
                                                                                          : Outcome::End;
    QDir().mkpath(QFileInfo(local).absolutePath());
    QSaveFile file(local);
    if (!file.open(QIODevice::WriteOnly))
        return writeError(socket, QStringLiteral("open %1 failed. %2").arg(phonePath, file.errorString()))
                   ? Outcome::Continue
                   : Outcome::End;

    std::vector<char> chunk;
    for (;;) {
        const auto raw = readLine(socket);
        if (!raw)
            return Outcome::End; // the half-written upload is dropped with the save file
        if (*raw == ".") {
            if (!file.commit())
                return writeError(socket, QStringLiteral("write %1 failed.").arg(phonePath))
                           ? Outcome::Continue
                           : Outcome::End;
            return writeLine(socket, QStringLiteral("$file:")) ? Outcome::Continue : Outcome::End;
        }
        if (raw->startsWith("$error:")) {
            log(QStringLiteral("upload aborted by client"));
            return Outcome::Continue;
        }
        if (!raw->startsWith("$block:")) {
            writeError(socket, QStringLiteral("invalid upload line"));
            return Outcome::End;
        }
        bool ok = false;
        const qint64 n = raw->mid(7).toLongLong(&ok);
        if (!ok || n < 0 || n > MaxBlock) {
            writeError(socket, QStringLiteral("invalid block size"));
            return Outcome::End;
        }
        chunk.resize(size_t(n));
        if (!readBytes(socket, chunk.data(), n))
            return Outcome::End;
        file.write(chunk.data(), n);
        pause();
        if (!writeLine(socket, QStringLiteral(".")))
            return Outcome::End;
    }
}

int AgentServer::runRootCommand(const QString& command)
{
    const QStringList words = shellWords(command);
    if (words.isEmpty())
        return 127;
    const QString program = words.first();
    if (program == QLatin1String("am") && words.size() == 3 && words[1] == QLatin1String("force-stop")) {
        m_device.forceStop(words[2]);
        return 0;
    }
    if (program == QLatin1String("dd")) {
        QString from;
        QString to;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(QLatin1String("if="))) {
                from = m_device.fileFor(word.mid(3));
            } else if (word.startsWith(QLatin1String("of="))) {
                to = m_device.fileFor(word.mid(3));
                m_device.noteWrite(word.mid(3));
            }
        }
        if (from.isEmpty() || to.isEmpty() || !QFileInfo(from).isFile() ||
            !QFileInfo(QFileInfo(to).absolutePath()).isDir())
            return 1;
        QFile::remove(to);
        return QFile::copy(from, to) ? 0 : 1;
    }
    if (program == QLatin1String("rm")) {
        int failures = 0;
        bool force = false;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(u'-')) {
                force = force || word.contains(u'f');
                continue;
            }
            const bool contents = word.endsWith(QLatin1String("/*"));
            m_device.noteWrite(contents ? word.chopped(2) : word);
            const QString local = m_device.fileFor(contents ? word.chopped(2) : word);
            if (local.isEmpty()) {
                ++failures;
                continue;
            }
            if (contents) {
                const QStringList entries =
                    QDir(local).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
                for (const QString& entry : entries)
                    failures += removePath(local + u'/' + entry) ? 0 : 1;
            } else {
                failures += removePath(local) ? 0 : 1;
            }
        }
        return failures == 0 || force ? 0 : 1;
    }
    if (program == QLatin1String("mkdir")) {
        int failures = 0;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(u'-'))
                continue;
            const QString local = m_device.fileFor(word);
            failures += !local.isEmpty() && QDir().mkpath(local) ? 0 : 1;
        }
        return failures == 0 ? 0 : 1;
    }
    return 127;
}

std::optional<QByteArray> AgentServer::readLine(QTcpSocket& socket)
{
    QByteArray line;
    for (;;) {
        char c = 0;
        if (!socket.getChar(&c)) {
            if (!socket.waitForReadyRead(m_idleMs))
                return std::nullopt;
            continue;
        }
        if (c == '\n')
            return line;
        if (c == '\r')
            continue;
        if (line.size() >= MaxLine)
            return std::nullopt;
        line.append(c);
    }
}

bool AgentServer::readBytes(QTcpSocket& socket, char* buffer, qint64 n)
{
    qint64 got = 0;
    while (got < n) {
        const qint64 r = socket.read(buffer + got, n - got);
        if (r < 0)
            return false;
        if (r == 0 && !socket.waitForReadyRead(m_idleMs))
            return false;
        got += r;
    }
    return true;
}

bool AgentServer::writeBytes(QTcpSocket& socket, const QByteArray& bytes)
{
    if (socket.write(bytes) != bytes.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(m_idleMs))
            return false;
    }
    return true;
}

bool AgentServer::writeLine(QTcpSocket& socket, const QString& line)
{
    return writeBytes(socket, line.toUtf8() + '\n');
}

bool AgentServer::writeError(QTcpSocket& socket, const QString& message)
{
    return writeLine(socket, QStringLiteral("$error:") + QString::fromLatin1(message.toUtf8().toBase64()));
}

void AgentServer::pause() const
{
    if (const int ms = m_device.slowMs(); ms > 0)
        QThread::msleep(ulong(ms));
}

void AgentServer::log(const QString& text) const
{
    QFile file(QFileInfo(m_device.folder()).absolutePath() + QStringLiteral("/../agent.log"));
    if (file.open(QIODevice::Append | QIODevice::Text))
        file.write(QStringLiteral("%1 %2 %3\n")
                       .arg(QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")),
                            m_device.serial(), text.left(500))
                       .toUtf8());
}
