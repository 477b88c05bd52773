#include "tools/phonesim/AgentServer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <future>
#include <thread>
#include <vector>

namespace {

constexpr int MaxLine = 64 * 1024;
constexpr qint64 MaxBlock = 64 * 1024 * 1024;
constexpr qint64 DefaultBlock = 256 * 1024;

// One word of a shell command line after quote removal. wild marks the characters
// that were * or ? outside quotes: only those take part in file-name expansion.
struct ShellWord
{
    QString text;
    QList<bool> wild;

    bool hasWildcard() const { return wild.contains(true); }
};

// Splits a command line as the phone's sh does: blanks separate words, double and
// single quotes group and keep * and ? literal, a backslash outside single quotes
// escapes the next character.
QList<ShellWord> shellWords(const QString& command)
{
    QList<ShellWord> words;
    ShellWord current;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (quote.isNull() && c.isSpace()) {
            if (inWord)
                words.append(current);
            current = ShellWord();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == quote) {
            quote = QChar();
        } else if (quote.isNull() && (c == u'"' || c == u'\'')) {
            quote = c;
        } else if (c == u'\\' && quote != u'\'' && i + 1 < command.size()) {
            current.text.append(command.at(++i));
            current.wild.append(false);
        } else {
            current.text.append(c);
            current.wild.append(quote.isNull() && (c == u'*' || c == u'?'));
        }
    }
    if (inWord)
        words.append(current);
    return words;
}

// The phone paths a word names after file-name expansion, sorted like sh sorts them.
// A pattern that matches nothing stays as it is, as in sh.
QStringList expandWord(const SimDevice& device, const ShellWord& word)
{
    if (!word.hasWildcard())
        return {word.text};
    QStringList found{QString()};
    qsizetype start = 0;
    for (;;) {
        qsizetype end = word.text.indexOf(u'/', start);
        const bool last = end < 0;
        if (last)
            end = word.text.size();
        const QString part = word.text.mid(start, end - start);
        const QString separator = last ? QString() : QStringLiteral("/");
        bool wild = false;
        QString pattern;
        for (qsizetype i = start; i < end; ++i) {
            const QChar c = word.text.at(i);
            if (word.wild.at(i)) {
                wild = true;
                pattern += c == u'*' ? QStringLiteral("[^/]*") : QStringLiteral("[^/]");
            } else {
                pattern += QRegularExpression::escape(QString(c));
            }
        }
        const QRegularExpression matcher(QRegularExpression::anchoredPattern(pattern));
        QStringList next;
        for (const QString& prefix : found) {
            if (!wild) {
                next.append(prefix + part + separator);
                continue;
            }
            const QString local = device.fileFor(prefix.isEmpty() ? QStringLiteral("/") : prefix);
            if (local.isEmpty())
                continue;
            const QStringList names = QDir(local).entryList(
                QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
            for (const QString& name : names) {
                // a leading dot is matched only by a pattern that spells it
                if (name.startsWith(u'.') && !part.startsWith(u'.'))
                    continue;
                if (matcher.match(name).hasMatch())
                    next.append(prefix + name + separator);
            }
        }
        if (next.isEmpty())
            return {word.text};
        found = next;
        if (last)
            return found;
        start = end + 1;
    }
}

// The agent app runs as an ordinary app: other apps' private folders under /data are
// closed to it, only its own is open. Root commands reach them; the agent itself does not.
bool closedToAgent(const QString& phonePath)
{
    const QString path = QDir::cleanPath(u'/' + phonePath);
    static const QStringList own = {QStringLiteral("/data/data/com.kestrune.relaypod"),
                                    QStringLiteral("/data/user/0/com.kestrune.relaypod")};
    for (const QString& folder : own) {
        if (path == folder || path.startsWith(folder + u'/'))
            return false;
    }
    return path == QLatin1String("/data") || path.startsWith(QLatin1String("/data/"));
}

bool removePath(const QString& local)
{
    const QFileInfo info(local);
    if (info.isDir() && !info.isSymLink())
        return QDir(local).removeRecursively();
    return QFile::remove(local);
}

// The "dropMidUpload" switch: "true" cuts every upload, any other text only uploads
// to a phone path that contains it.
bool uploadDrops(const SimDevice& device, const QString& phonePath)
{
    const QString drop = device.value(QStringLiteral("dropMidUpload")).toString();
    if (drop.isEmpty() || drop == QLatin1String("false"))
        return false;
    return drop == QLatin1String("true") || phonePath.contains(drop);
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
    std::vector<std::thread> sessions;
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
        // The client connects to the session port as soon as it has the answer, so the
        // session listens first. Each session has a thread of its own: the control port
        // goes on answering while earlier sessions still run, as the app does.
        std::promise<bool> listening;
        std::future<bool> listened = listening.get_future();
        sessions.emplace_back([this, url, promise = std::move(listening)]() mutable {
            QTcpServer session;
            const bool ok = listenFor(session, url);
            promise.set_value(ok);
            if (ok)
                serveFirstClient(session, url);
        });
        if (!listened.get()) {
            writeLine(*request, u'0' + QString::fromLatin1(QByteArrayLiteral("port in use").toBase64()));
            request->disconnectFromHost();
            continue;
        }
        writeLine(*request, QStringLiteral("1"));
        request->disconnectFromHost();
    }
    for (std::thread& session : sessions)
        session.join();
    return 0;
}

void AgentServer::serveClient(QTcpSocket& socket, const QString& url)
{
    pause();
    if (!writeLine(socket, QStringLiteral("$ready:")))
        return;
    // "noHello": an agent that opens the session and then never describes the phone
    if (url.endsWith(QLatin1String("/device-info")) &&
        !m_device.value(QStringLiteral("noHello"), false).toBool())
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
            const QFileInfo info(closedToAgent(body) ? QString() : m_device.fileFor(body));
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
    const QString local = closedToAgent(phonePath) ? QString() : m_device.fileFor(phonePath);
    QFile file(local);
    // a missing file, or one the agent may not read, is answered with an empty transfer
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
    if (local.isEmpty() || closedToAgent(phonePath))
        return writeError(socket, QStringLiteral("open %1 failed. Permission denied").arg(phonePath))
                   ? Outcome::Continue
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
            m_device.noteWrite(phonePath, QStringLiteral("upload"));
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
        if (uploadDrops(m_device, phonePath)) {
            // The agent writes straight into the file, so what arrived before the
            // connection broke stays on the phone.
            const qint64 half = n / 2;
            const bool got = readBytes(socket, chunk.data(), half);
            file.cancelWriting();
            QFile partial(local);
            if (got && partial.open(QIODevice::WriteOnly))
                partial.write(chunk.data(), half);
            log(QStringLiteral("upload of %1 dropped after %2 of %3 bytes").arg(phonePath).arg(half).arg(n));
            socket.abort();
            return Outcome::End;
        }
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
    QStringList words;
    for (const ShellWord& word : shellWords(command))
        words.append(expandWord(m_device, word));
    if (words.isEmpty())
        return 127;
    const QString program = words.first();
    if (program == QLatin1String("dd")) {
        QString fromPath;
        QString toPath;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(QLatin1String("if=")))
                fromPath = word.mid(3);
            else if (word.startsWith(QLatin1String("of=")))
                toPath = word.mid(3);
        }
        const QString from = m_device.fileFor(fromPath);
        const QString to = m_device.fileFor(toPath);
        if (from.isEmpty() || to.isEmpty() || !QFileInfo(from).isFile() ||
            !QFileInfo(QFileInfo(to).absolutePath()).isDir())
            return 1;
        m_device.noteRead(fromPath, QStringLiteral("dd"));
        m_device.noteWrite(toPath, QStringLiteral("dd"));
        QFile::remove(to);
        return QFile::copy(from, to) ? 0 : 1;
    }
    if (program == QLatin1String("rm")) {
        int failures = 0;
        bool force = false;
        bool recursive = false;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(u'-') && word.size() > 1) {
                force = force || word.contains(u'f');
                recursive = recursive || word.contains(u'r') || word.contains(u'R');
                continue;
            }
            const QString local = m_device.fileFor(word);
            const QFileInfo info(local);
            if (local.isEmpty() || (!info.exists() && !info.isSymLink())) {
                failures += force ? 0 : 1; // rm -f is quiet about what is not there
                continue;
            }
            if (info.isDir() && !info.isSymLink() && !recursive) {
                ++failures;
                continue;
            }
            m_device.noteWrite(word, QStringLiteral("rm"));
            failures += removePath(local) ? 0 : 1;
        }
        return failures == 0 ? 0 : 1;
    }
    if (program == QLatin1String("mkdir")) {
        int failures = 0;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(u'-'))
                continue;
            const QString local = m_device.fileFor(word);
            if (!local.isEmpty() && !QFileInfo::exists(local))
                m_device.noteWrite(word, QStringLiteral("mkdir"));
            failures += !local.isEmpty() && QDir().mkpath(local) ? 0 : 1;
        }
        return failures == 0 ? 0 : 1;
    }
    if (program == QLatin1String("am") && words.value(1) == QLatin1String("force-stop") &&
        words.size() == 3) {
        if (words[2] == QLatin1String(SimDevice::ViberPackage))
            m_device.setViberRunning(false);
        return 0;
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
