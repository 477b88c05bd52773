#include "android/SimpleProtocol.h"

#include "app/KeyTranslator.h"
#include "app/ProgressChannel.h"

#include <QAbstractSocket>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>
#include <QtDebug>

#include <mutex>
#include <optional>
#include <vector>

namespace simpleprotocol {

namespace {

// Large blocks are read and written in pieces of this size, so a block never has to be
// held in memory as a whole.
constexpr qint64 DownloadChunkSize = 1024 * 1024;

QString kilobytesText(qint64 done, qint64 total)
{
    return QStringLiteral("%L1KB / %L2KB").arg(done / 1024).arg(total / 1024);
}

// QAbstractSocket::flush() reports false when there was nothing left to write, which is
// not a failure; what matters is whether the buffered bytes leave within the time-out.
void flushDevice(QIODevice& socket, int timeout)
{
    auto* tcp = qobject_cast<QAbstractSocket*>(&socket);
    if (!tcp)
        return;
    tcp->flush();
    while (tcp->bytesToWrite() > 0) {
        if (!tcp->waitForBytesWritten(timeout))
            throw SocketDataTransferException(tcp->errorString());
    }
}

qint64 parseBlockSize(QIODevice& socket, const QString& header)
{
    bool ok = false;
    const qint64 size = header.mid(7).trimmed().toLongLong(&ok);
    if (!ok || size < 0 || size > MaxBlockSize)
        throw LocalException(socket, QStringLiteral("invalid block size, %1").arg(header));
    return size;
}

constexpr int CancelCheckMs = 250;

// "file:" in any case.
bool hasFileScheme(const QString& uri)
{
    return uri.size() >= 5 && (uri[0].unicode() | 0x20) == u'f' && (uri[1].unicode() | 0x20) == u'i' &&
           (uri[2].unicode() | 0x20) == u'l' && (uri[3].unicode() | 0x20) == u'e' && uri[4] == u':';
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if ((u | 0x20) >= u'a' && (u | 0x20) <= u'f')
        return (u | 0x20) - u'a' + 10;
    return -1;
}

// The path of a "file:///" reference without query or fragment whose escapes all stand
// for printable ASCII, decoded as QUrl decodes it; none for anything else, which QUrl
// reads. Most media references look like this ("Viber%20Images"), and parsing each as a
// URL cost more than the rest of planning a load's downloads.
std::optional<QString> plainFileUriPath(const QString& uri)
{
    if (!hasFileScheme(uri) || uri.size() < 8 || uri[5] != u'/' || uri[6] != u'/' || uri[7] != u'/')
        return std::nullopt;
    // written through a pointer: appending a character at a time cost more than the rest
    QString path(uri.size() - 7, Qt::Uninitialized);
    QChar* out = path.data();
    for (qsizetype i = 7; i < uri.size(); ++i) {
        const QChar c = uri[i];
        if (c == u'?' || c == u'#')
            return std::nullopt;
        if (c != u'%') {
            *out++ = c;
            continue;
        }
        const int high = i + 2 < uri.size() ? hexValue(uri[i + 1]) : -1;
        const int low = high < 0 ? -1 : hexValue(uri[i + 2]);
        const int byte = high * 16 + low;
        if (low < 0 || byte < 0x20 || byte >= 0x7f)
            return std::nullopt;
        *out++ = QChar(byte);
        i += 2;
    }
    path.truncate(out - path.constData());
    return path;
}

QString requirePhonePath(const QString& uriOrPath)
{
    const QString path = phonePathFromUri(uriOrPath);
    if (path.isEmpty())
        throw std::runtime_error(
            QStringLiteral("not a file on the phone: %1").arg(uriOrPath.left(300)).toStdString());
    return path;
}

// Waits for data. Given a progress channel, the wait is cut into slices between which a
// cancel from the user ends the transfer; the limit, if any, still holds for the whole.
bool waitForData(QIODevice& socket, int timeout, const ProgressChannel* progress)
{
    auto* tcp = qobject_cast<QAbstractSocket*>(&socket);
    if (!progress || !tcp)
        return socket.waitForReadyRead(timeout);
    const QDeadlineTimer deadline =
        timeout < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeout);
    for (;;) {
        if (progress->isCancelled())
            throw OperationCancelled();
        const int slice =
            deadline.isForever() ? CancelCheckMs : int(qMin<qint64>(CancelCheckMs, deadline.remainingTime()));
        if (tcp->waitForReadyRead(slice))
            return true;
        if (tcp->error() != QAbstractSocket::SocketTimeoutError || deadline.hasExpired())
            return false;
    }
}

} // namespace

namespace {

// A line as it came, without its line feed and carriage returns.
QByteArray readLineBytes(QIODevice& socket, int timeout, const ProgressChannel* progress)
{
    // The line is taken whole once its line feed is in: read byte by byte, the answers
    // of a load's batched file questions cost more than the agent's work on them.
    while (!socket.canReadLine()) {
        // no line feed among the bytes that wait: all of them belong to this line, which
        // may still end in a carriage return
        if (socket.bytesAvailable() > MaxLineLength + 1)
            throw LocalException(socket, QStringLiteral("line longer than %1 bytes.").arg(MaxLineLength));
        if (!waitForData(socket, timeout, progress))
            throw SocketDataTransferException(socket.errorString());
    }
    QByteArray line = socket.readLine(MaxLineLength + 2);
    if (!line.endsWith('\n'))
        throw LocalException(socket, QStringLiteral("line longer than %1 bytes.").arg(MaxLineLength));
    line.chop(1);
    line.removeIf([](char c) { return c == '\r'; });
    if (line.size() > MaxLineLength)
        throw LocalException(socket, QStringLiteral("line longer than %1 bytes.").arg(MaxLineLength));
    return line;
}

} // namespace

QString readLine(QIODevice& socket, int timeout, const ProgressChannel* progress)
{
    return QString::fromLatin1(readLineBytes(socket, timeout, progress));
}

void writeAll(QIODevice& socket, const QByteArray& bytes, bool flush, int timeout)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = socket.write(bytes.constData() + written, bytes.size() - written);
        if (n < 0)
            throw SocketDataTransferException(socket.errorString());
        if (n == 0) {
            if (!socket.waitForBytesWritten(timeout))
                throw SocketDataTransferException(socket.errorString());
            continue;
        }
        written += n;
    }
    if (flush)
        flushDevice(socket, timeout);
}

void readExact(QIODevice& socket, char* buffer, qint64 n, int timeout, const ProgressChannel* progress)
{
    qint64 got = 0;
    while (got < n) {
        const qint64 r = socket.read(buffer + got, n - got);
        if (r < 0)
            throw SocketDataTransferException(socket.errorString());
        if (r == 0) {
            if (!waitForData(socket, timeout, progress))
                throw SocketDataTransferException(socket.errorString());
            continue;
        }
        got += r;
    }
}

void sendLine(QIODevice& socket, const QString& prefix, const QString& body, bool flush, int timeout)
{
    // Paths come from database rows; a line break in one would smuggle a second command
    // onto the wire.
    if (body.contains(u'\n') || body.contains(u'\r'))
        throw std::runtime_error(
            QStringLiteral("line break in %1%2").arg(prefix, body.left(200)).toStdString());
    writeAll(socket, QString(prefix + body + u'\n').toUtf8(), flush, timeout);
}

void sendError(QIODevice& socket, const QString& message)
{
    sendLine(socket, QStringLiteral("$error:"), QString::fromLatin1(message.toUtf8().toBase64()), true, -1);
}

QString decodeErrorText(const QString& base64Text)
{
    return QString::fromUtf8(QByteArray::fromBase64(base64Text.toLatin1()));
}

QString readReply(QIODevice& socket, int timeout, const ProgressChannel* progress)
{
    const QString line = readLine(socket, timeout, progress);
    if (line.isEmpty())
        throw SocketDataTransferException(QStringLiteral("Null command."));
    if (line.startsWith(QLatin1String("$error:")))
        throw RemoteException(decodeErrorText(line.mid(7)));
    return line;
}

QString expectReply(QIODevice& socket, const QString& prefix, int timeout, const ProgressChannel* progress)
{
    const QString line = readReply(socket, timeout, progress);
    if (!line.startsWith(prefix))
        throw LocalException(socket, QStringLiteral("invalid feedback [%1], must be [%2]").arg(line, prefix));
    return line;
}

int suCommand(QIODevice& socket, const QString& command, int timeout, const ProgressChannel* progress)
{
    sendLine(socket, QStringLiteral("$sucmd:"), command);
    const QString reply = expectReply(socket, QStringLiteral("$sucmd:"), timeout, progress);
    bool ok = false;
    int code = reply.mid(7).trimmed().toInt(&ok);
    // An exit code we cannot read must not pass for success: the callers would go on
    // as if the file had been copied.
    if (!ok)
        code = -1;
    qDebug("su command, %s return %d.", qUtf8Printable(command), code);
    return code;
}

RootOutput suOutput(QIODevice& socket, const QString& command, int timeout, const ProgressChannel* progress)
{
    sendLine(socket, QStringLiteral("$suout:"), command);
    const QString reply = expectReply(socket, QStringLiteral("$suout:"), timeout, progress);
    const QString body = reply.mid(7);
    const qsizetype comma = body.indexOf(u',');
    RootOutput result;
    bool ok = false;
    const int code = body.left(comma).trimmed().toInt(&ok);
    if (!ok || comma < 0)
        return result;
    result.exitCode = code;
    result.output = QByteArray::fromBase64(body.mid(comma + 1).toLatin1());
    qDebug("su command, %s return %d.", qUtf8Printable(command), code);
    return result;
}

bool isShellSafePath(const QString& path)
{
    // The agent hands commands to a root shell: a quote, dollar sign, backquote or
    // backslash in a path would let the path run commands of its own.
    static const QRegularExpression shellSpecial(QStringLiteral("[\"$`\\\\\n\r]"));
    return !path.contains(shellSpecial);
}

int suCopy(QIODevice& socket, const QString& from, const QString& to, int timeout,
           const ProgressChannel* progress)
{
    for (const QString& path : {from, to}) {
        if (!isShellSafePath(path))
            throw std::runtime_error(
                QStringLiteral("unsafe path for a root command: %1").arg(path).toStdString());
    }
    return suCommand(socket, QStringLiteral("dd if=\"%1\" of=\"%2\"").arg(from, to), timeout, progress);
}

namespace {

RemoteFileInfo parseFileFields(const QString& text)
{
    // most answers of a batched request, which holds one for each media file
    if (text == QLatin1String("none"))
        return {};
    const QStringList fields = text.split(u',');
    RemoteFileInfo info;
    info.isFile =
        !fields.isEmpty() && fields.first().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0;
    bool ok = false;
    const qint64 size = fields.value(1).trimmed().toLongLong(&ok);
    if (info.isFile && ok && size >= 0)
        info.size = size;
    return info;
}

// The size of text as QString::toUtf8() encodes it, without encoding it: a load measures
// every media path.
qsizetype utf8Size(QStringView text)
{
    qsizetype size = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            size += 1;
        } else if (c < 0x800) {
            size += 2;
        } else if (!QChar::isSurrogate(c)) {
            size += 3;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            size += 4;
            ++i;
        } else {
            size += 1; // half a surrogate pair becomes a question mark
        }
    }
    return size;
}

// The request line stays well below the agent's line limit of 64 KiB.
constexpr qsizetype MaxInfoRequestBytes = 48 * 1024;

} // namespace

RemoteFileInfo remoteFileInfo(QIODevice& socket, const QString& path, int timeout,
                              const ProgressChannel* progress)
{
    const QString phonePath = requirePhonePath(path);
    sendLine(socket, QStringLiteral("$finfo:"), phonePath);
    return parseFileFields(expectReply(socket, QStringLiteral("$finfo:"), timeout, progress).mid(7));
}

QList<RemoteFileInfo> remoteFileInfos(QIODevice& socket, const QStringList& paths, int timeout,
                                      const ProgressChannel* progress)
{
    QList<RemoteFileInfo> infos;
    infos.reserve(paths.size());
    // Later requests go out before the earlier answers are in, so that the agent works
    // while this side reads, instead of a round trip each. The first goes alone: an agent
    // before the batched request refuses it, and nothing may follow it then. The answers
    // of a few requests fit in the socket buffers, so neither side ever waits on a write.
    constexpr qsizetype Window = 4;
    QList<qsizetype> sent; // the number of paths of each request not answered yet
    qsizetype next = 0;
    while (next < paths.size() || !sent.isEmpty()) {
        const qsizetype window = infos.isEmpty() ? 1 : Window;
        while (next < paths.size() && sent.size() < window) {
            QStringList batch;
            qsizetype bytes = 0;
            while (next < paths.size() && batch.size() < MaxPathsPerInfoRequest) {
                const QString phonePath = requirePhonePath(paths.at(next));
                const qsizetype size = utf8Size(phonePath) + 1;
                if (!batch.isEmpty() && bytes + size > MaxInfoRequestBytes)
                    break;
                batch.append(phonePath);
                bytes += size;
                ++next;
            }
            sendLine(socket, QStringLiteral("$fstat:"), batch.join(QChar(0)));
            sent.append(batch.size());
        }
        QString reply;
        try {
            reply = expectReply(socket, QStringLiteral("$fstat:"), timeout, progress);
        } catch (const RemoteException& e) {
            if (sent.size() == 1)
                throw;
            // the answers still on their way would be read as answers to what comes next
            throw SocketDataTransferException(QString::fromUtf8(e.what()));
        }
        const QStringList answers = reply.mid(7).split(u'\t');
        if (answers.size() != sent.first())
            throw LocalException(socket, QStringLiteral("invalid feedback, %1 answers for %2 paths")
                                             .arg(answers.size())
                                             .arg(sent.first()));
        sent.removeFirst();
        for (const QString& answer : answers)
            infos.append(parseFileFields(answer));
    }
    return infos;
}

QSet<QString> remoteFolderFiles(QIODevice& socket, const QString& folder, int timeout,
                                const ProgressChannel* progress)
{
    sendLine(socket, QStringLiteral("$flist:"), requirePhonePath(folder));
    QSet<QString> names;
    qsizetype received = 0;
    for (;;) {
        const QByteArray line = readLineBytes(socket, timeout, progress);
        if (line.startsWith("$fent:")) {
            for (qsizetype start = 6; start <= line.size();) {
                qsizetype end = line.indexOf('\0', start);
                if (end < 0)
                    end = line.size();
                const QByteArrayView name = QByteArrayView(line).sliced(start, end - start);
                // a name is one segment of a path
                if (name.isEmpty() || name.contains('/') || ++received > MaxFilesPerFolderListing)
                    throw LocalException(socket, QStringLiteral("invalid folder listing of %1").arg(folder));
                names.insert(QString::fromUtf8(name));
                start = end + 1;
            }
            continue;
        }
        if (line.startsWith("$flist:")) {
            bool ok = false;
            if (line.sliced(7).toLongLong(&ok) != received || !ok)
                throw LocalException(socket, QStringLiteral("invalid folder listing of %1").arg(folder));
            return names;
        }
        if (line.isEmpty())
            throw SocketDataTransferException(QStringLiteral("Null command."));
        if (line.startsWith("$error:"))
            throw RemoteException(decodeErrorText(QString::fromLatin1(line.sliced(7))));
        throw LocalException(socket, QStringLiteral("invalid feedback [%1], must be [$flist:]")
                                         .arg(QString::fromLatin1(line.left(200))));
    }
}

bool remoteIsFile(QIODevice& socket, const QString& path, int timeout, const ProgressChannel* progress)
{
    return remoteFileInfo(socket, path, timeout, progress).isFile;
}

QString phonePathFromUri(const QString& uriOrPath)
{
    QString path;
    if (uriOrPath.startsWith(u'/')) {
        path = uriOrPath;
    } else if (std::optional<QString> plain = plainFileUriPath(uriOrPath)) {
        path = std::move(*plain);
    } else if (hasFileScheme(uriOrPath)) {
        const QUrl url(uriOrPath);
        if (!url.isValid() || !url.isLocalFile())
            return QString();
        path = url.toLocalFile();
    } else {
        return QString();
    }
    // One pass for line breaks, NUL and ".." segments: a load asks this for every media
    // file.
    const QStringView view(path);
    qsizetype segment = 0;
    for (qsizetype i = 0; i <= view.size(); ++i) {
        const char16_t c = i < view.size() ? view[i].unicode() : u'/';
        if (c == u'\n' || c == u'\r' || c == 0)
            return QString();
        if (c != u'/')
            continue;
        if (i - segment == 2 && view[segment] == u'.' && view[segment + 1] == u'.')
            return QString();
        segment = i + 1;
    }
    return path;
}

void sendBye(QIODevice& socket)
{
    sendLine(socket, QStringLiteral("$bye:"), QString());
}

bool downloadFile(QIODevice& socket, const QString& remoteUri, const QString& localPath, bool overwrite,
                  const ProgressChannel* progress)
{
    const QString remotePath = requirePhonePath(remoteUri);
    // The cached copy stays until a complete new one replaces it, so a failed or
    // cancelled transfer never costs the copy the user already had.
    const QFileInfo local(localPath);
    if (local.exists() && !overwrite && local.size() != 0)
        return true;
    QDir().mkpath(local.absolutePath());

    if (progress)
        progress->postProgress(
            KeyTranslator::text("IDS_DOWNLOADING_FILE_%1").arg(remotePath.section(u'/', -1)), -1);

    sendLine(socket, QStringLiteral("$dload:"), remotePath);
    const QString header = expectReply(socket, QStringLiteral("$file:"), -1, progress);
    const qint64 total = header.mid(6).section(u',', 0, 0).toLongLong();

    // The data goes to a temporary file that only takes the final name when complete,
    // so a failed or cancelled transfer leaves nothing that looks like a cached copy.
    QSaveFile file(localPath);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(
            QStringLiteral("create %1 error. %2").arg(localPath, file.errorString()).toStdString());

    std::vector<char> chunk;
    qint64 received = 0;
    for (;;) {
        if (progress && progress->isCancelled())
            throw OperationCancelled();
        const QString line = readReply(socket, -1, progress);
        if (line == QLatin1String(".")) {
            sendLine(socket, QStringLiteral("$file:"), QString());
            if (received == 0) {
                qDebug("AndroidLoadViberThread::downloadFileThrow, file is empty, %s, rx=%s",
                       qUtf8Printable(remotePath), "");
                file.cancelWriting();
                QFile::remove(localPath); // the phone has no such file any more
                return false;
            }
            if (!file.commit())
                throw std::runtime_error(QStringLiteral("write file %1 failed. %2")
                                             .arg(localPath, file.errorString())
                                             .toStdString());
            return true;
        }
        if (!line.startsWith(QLatin1String("$block:")))
            throw LocalException(socket, QStringLiteral("invalid command(.,$block:), %1").arg(line));

        qint64 remaining = parseBlockSize(socket, line);
        chunk.resize(size_t(qMin(remaining, DownloadChunkSize)));
        while (remaining > 0) {
            const qint64 n = qMin(remaining, DownloadChunkSize);
            readExact(socket, chunk.data(), n, -1, progress);
            if (file.write(chunk.data(), n) != n)
                throw std::runtime_error(QStringLiteral("write file %1 failed. %2")
                                             .arg(localPath, file.errorString())
                                             .toStdString());
            remaining -= n;
            received += n;
        }
        sendLine(socket, QStringLiteral("."), QString());
        if (progress)
            progress->postProgress(QString(), -1, kilobytesText(received, total));
    }
}

void uploadFile(QIODevice& socket, const QString& localPath, const QString& remoteUri,
                const ProgressChannel* progress)
{
    const QString remotePath = requirePhonePath(remoteUri);
    sendLine(socket, QStringLiteral("$file:"), remotePath);

    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        throw LocalException(socket, QStringLiteral("open %1 failed. %2").arg(localPath, file.errorString()));

    const qint64 total = file.size();
    const QString status = KeyTranslator::text("IDS_UPLOADING_FILE_%1").arg(QFileInfo(localPath).fileName());
    QByteArray buffer(UploadBlockSize, Qt::Uninitialized);
    qint64 sent = 0;
    while (!file.atEnd()) {
        if (progress && progress->isCancelled())
            throw OperationCancelled();
        const qint64 n = file.read(buffer.data(), UploadBlockSize);
        if (n < 0)
            throw LocalException(socket,
                                 QStringLiteral("read %1 failed. %2").arg(localPath, file.errorString()));
        if (n == 0)
            break; // the file shrank while it was read
        sent += n;
        if (progress)
            progress->postProgress(status, -1, kilobytesText(sent, total));
        sendLine(socket, QStringLiteral("$block:"), QString::number(n), false);
        writeAll(socket, QByteArray::fromRawData(buffer.constData(), n), true, -1);
        expectReply(socket, QStringLiteral("."), -1, progress);
    }
    sendLine(socket, QStringLiteral("."), QString());
    expectReply(socket, QStringLiteral("$file:"), -1, progress);
}

namespace {
std::mutex portMutex;
int portCounter = 1;
} // namespace

int nextSessionPort(const QTime& now)
{
    const std::lock_guard lock(portMutex);
    if (portCounter % 100 == 0)
        portCounter = 1;
    const int port = (now.minute() % 4 + 1) * 10000 + now.second() * 100 + portCounter;
    ++portCounter;
    return port;
}

int nextSessionPort()
{
    return nextSessionPort(QTime::currentTime());
}

void resetSessionPortCounter(int start)
{
    const std::lock_guard lock(portMutex);
    portCounter = qBound(1, start, 99);
}

} // namespace simpleprotocol
