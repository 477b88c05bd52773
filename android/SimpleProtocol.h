#pragma once

#include "android/SimpleProtocolExceptions.h"
#include "app/OperationCancelled.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>

class QIODevice;
class ProgressChannel;

// The client side of the line-and-block protocol spoken with the agent app on the phone.
// Every socket argument is any sequential, open byte device; time-outs are in
// milliseconds, -1 meaning no limit.
namespace simpleprotocol {

inline constexpr auto AgentPackage = "com.kestrune.relaypod";
inline constexpr auto AgentReceiver = "com.kestrune.relaypod/.AdbSyncBroadcastReceiver";
inline constexpr int WifiControlPort = 49001;

inline constexpr auto DeviceInfoUrl = "backup://127.0.0.1:%1/device-info";
inline constexpr auto DownloadUrl = "backup://127.0.0.1:%1/download";
inline constexpr auto UploadUrl = "restore://127.0.0.1:%1/upload";

inline constexpr qint64 UploadBlockSize = 524288;
// Nothing the agent sends may make this side allocate more than this at once: larger
// blocks are a protocol error, not a memory request.
inline constexpr qint64 MaxBlockSize = 64 * 1024 * 1024;
inline constexpr int MaxLineLength = 1024 * 1024;

// Reads up to a line feed; a carriage return is dropped and every other byte becomes
// the character of the same 8-bit value. Lines longer than MaxLineLength are refused.
// With a progress channel, every wait is cut into short slices and ends with
// OperationCancelled when the user cancels, so a stalled phone never holds a worker.
QString readLine(QIODevice& socket, int timeout, const ProgressChannel* progress = nullptr);
void writeAll(QIODevice& socket, const QByteArray& bytes, bool flush, int timeout);
void readExact(QIODevice& socket, char* buffer, qint64 n, int timeout,
               const ProgressChannel* progress = nullptr);
void sendLine(QIODevice& socket, const QString& prefix, const QString& body, bool flush = true,
              int timeout = -1);
// "$error:" + Base64 of the UTF-8 message.
void sendError(QIODevice& socket, const QString& message);
QString decodeErrorText(const QString& base64Text);

// readLine, then: an empty line is a transport failure, an "$error:" line the agent's
// failure (RemoteException), anything else the reply.
QString readReply(QIODevice& socket, int timeout, const ProgressChannel* progress = nullptr);
QString expectReply(QIODevice& socket, const QString& prefix, int timeout,
                    const ProgressChannel* progress = nullptr);

// The root commands wait for the exit code up to timeout (and, with a progress channel,
// until the user cancels).
int suCommand(QIODevice& socket, const QString& command, int timeout = -1,
              const ProgressChannel* progress = nullptr);
// The same with the command's standard output ("$suout:"), which the agent bounds to
// 16 KiB; an exit code we cannot read is -1.
struct RootOutput
{
    int exitCode = -1;
    QByteArray output;
};
RootOutput suOutput(QIODevice& socket, const QString& command, int timeout = -1,
                    const ProgressChannel* progress = nullptr);
// False for paths that a root shell would not take literally inside double quotes;
// callers check every path they put into a root command.
bool isShellSafePath(const QString& path);
int suCopy(QIODevice& socket, const QString& from, const QString& to, int timeout = -1,
           const ProgressChannel* progress = nullptr);
// path as for downloads (a phone path or a "file:" URI); anything else is refused.
bool remoteIsFile(QIODevice& socket, const QString& path, int timeout = 60000,
                  const ProgressChannel* progress = nullptr);
// What the agent tells of a phone path: whether it is a regular file, and its size when
// the agent names one (-1 otherwise).
struct RemoteFileInfo
{
    bool isFile = false;
    qint64 size = -1;
};
RemoteFileInfo remoteFileInfo(QIODevice& socket, const QString& path, int timeout = 60000,
                              const ProgressChannel* progress = nullptr);
// The same for many phone paths, in requests of up to MaxPathsPerInfoRequest paths
// ("$fstat:" + the paths separated by NUL bytes; the agent answers "$fstat:" + each
// path's fields, separated by tabs). Agents before this request answer it with an error
// line, raised as RemoteException; their session stays usable.
inline constexpr int MaxPathsPerInfoRequest = 500;
QList<RemoteFileInfo> remoteFileInfos(QIODevice& socket, const QStringList& paths, int timeout = 60000,
                                      const ProgressChannel* progress = nullptr);
// The names of the regular files in a phone folder: "$flist:" + the folder; the agent
// answers with lines "$fent:" + names separated by NUL bytes, then "$flist:" + their
// count. A missing folder holds none. Agents before this request, and a folder the agent
// cannot read, answer with an error line, raised as RemoteException; the session stays
// usable.
inline constexpr qsizetype MaxFilesPerFolderListing = 1000000;
QSet<QString> remoteFolderFiles(QIODevice& socket, const QString& folder, int timeout = 60000,
                                const ProgressChannel* progress = nullptr);
// Database rows name phone files as plain paths or as URL-encoded "file:" URIs, while
// the protocol carries plain paths: a "file:" URI becomes its decoded path, a plain
// absolute path stays as it is, anything else (other schemes, relative names, paths
// with ".." segments) gives an empty text, meaning "not a phone file we fetch".
QString phonePathFromUri(const QString& uriOrPath);
void sendBye(QIODevice& socket);

// Fetches a phone file. With overwrite false an existing non-empty file is kept as the
// cached copy. Returns false when the phone file is empty or missing (the agent answers
// a missing file with an empty transfer); then no local file remains. The file appears
// under localPath only when complete. Throws OperationCancelled when progress is cancelled.
// The remote side of a download or upload is a phone path or a "file:" URI
// (phonePathFromUri); anything else is refused before it reaches the wire.
bool downloadFile(QIODevice& socket, const QString& remotePath, const QString& localPath, bool overwrite,
                  const ProgressChannel* progress = nullptr);
void uploadFile(QIODevice& socket, const QString& localPath, const QString& remotePath,
                const ProgressChannel* progress = nullptr);

// Session ports: (minute % 4 + 1) * 10000 + second * 100 + a process-wide counter
// that runs from 1 to 99, so calls within one second get different ports.
int nextSessionPort();
int nextSessionPort(const QTime& now);
// Starts the counter again at start (1 to 99). Test programs that run side by side use
// different starts so their sessions do not meet on one port.
void resetSessionPortCounter(int start = 1);

} // namespace simpleprotocol
