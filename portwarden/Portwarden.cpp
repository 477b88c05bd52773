#include "portwarden/Portwarden.h"

#include "portwarden/ProcSocketOwners.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <limits>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/types.h>
#endif

namespace Portwarden {

namespace {

constexpr int CommandTimeoutMs = 30000;
constexpr qint64 WaitSliceMs = 50;
constexpr qsizetype MaxListingBytes = 16 * 1024 * 1024;
// A socket shared by a hundred processes still makes a line of a few kilobytes.
constexpr qsizetype MaxLineLength = 8 * 1024;
constexpr qsizetype MaxLines = 1024 * 1024;

void appendBounded(QByteArray& buffer, const QByteArray& more)
{
    const qsizetype room = MaxListingBytes - buffer.size();
    if (room > 0)
        buffer.append(more.constData(), qMin(room, more.size()));
}

// Runs a command and returns its standard output (capped), or nothing when it does not
// start. A command that does not end in time is killed; what it printed so far is kept.
std::optional<QByteArray> runCommand(const QString& program, const QStringList& arguments,
                                     QProcess::ProcessChannelMode channels)
{
    QProcess process;
    process.setProcessChannelMode(channels);
    process.start(program, arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(CommandTimeoutMs))
        return std::nullopt;
    QByteArray output;
    const QDeadlineTimer deadline(CommandTimeoutMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForFinished(int(qMin(deadline.remainingTime(), WaitSliceMs)));
        appendBounded(output, process.readAllStandardOutput());
        process.readAllStandardError();
    }
    appendBounded(output, process.readAllStandardOutput());
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(CommandTimeoutMs);
    }
    return output;
}

#ifdef Q_OS_WIN
constexpr ListingStyle SystemListingStyle = ListingStyle::Netstat;
const QString ListingProgram = QStringLiteral("netstat");
const QStringList ListingArguments{QStringLiteral("-ano")};

QString endProcessBySystem(qint64 processId)
{
    const auto output = runCommand(QStringLiteral("taskkill"),
                                   {QStringLiteral("/f"), QStringLiteral("/pid"), QString::number(processId)},
                                   QProcess::MergedChannels);
    return QString::fromUtf8(output.value_or(QByteArray()));
}
#else
constexpr ListingStyle SystemListingStyle = ListingStyle::SocketStatistics;
const QString ListingProgram = QStringLiteral("ss");
const QStringList ListingArguments{QStringLiteral("-tanp")};

QString endProcessBySystem(qint64 processId)
{
    if (::kill(pid_t(processId), SIGKILL) == 0)
        return QStringLiteral("SUCCESS: sent SIGKILL to process %1.").arg(processId);
    return QStringLiteral("ERROR: process %1 could not be ended: %2")
        .arg(processId)
        .arg(QString::fromLocal8Bit(std::strerror(errno)));
}
#endif

// Number 0 is the idle process of Windows (sockets in TIME_WAIT show it) and, given to
// kill(), would end our own process group, the main program with it.
std::optional<qint64> processId(const QString& digits)
{
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok || value <= 0 || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return value;
}

// The columns of an ss line before its process column, which is the only one whose
// text (a program's name) its owner chooses.
QStringList addressColumns(const QString& line)
{
    const qsizetype users = line.indexOf(QLatin1String("users:("));
    return (users < 0 ? line : line.left(users)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// A listening socket of the ADB server port: "LISTEN Recv-Q Send-Q LOCAL PEER", the port being
// what follows the last ':' of the local address ([::1]:5037, 127.0.0.1%lo:5037, *:5037).
bool isAdbListener(const QString& line)
{
    const QStringList columns = addressColumns(line);
    if (columns.size() < 5 || columns[0] != QLatin1String("LISTEN"))
        return false;
    const QString& local = columns[3];
    const qsizetype colon = local.lastIndexOf(QLatin1Char(':'));
    return colon >= 0 && QStringView(local).sliced(colon + 1) == QLatin1String("5037");
}

// The owner of a socket in ss's process column, users:(("name",pid=N,fd=M),...). ss writes a
// name as it is, quotes, commas and "pid=" included, so users:(("x",pid=1,fd=3),("y",pid=2,fd=4))
// may name two owners, or one whose program named itself x",pid=1,fd=3),("y. Only the owner
// written last is one whichever way the column is read: the column is read from its end, and
// a socket shared by several processes loses only its other owners.
std::optional<qint64> socketOwner(const QString& line)
{
    static const QRegularExpression lastOwner(
        QStringLiteral("^users:\\(\\(\".*\",pid=(\\d+),fd=\\d+\\)\\)$"));
    const qsizetype users = line.indexOf(QLatin1String("users:("));
    if (users < 0)
        return std::nullopt;
    const QRegularExpressionMatch match = lastOwner.match(QStringView(line).sliced(users).trimmed());
    return match.hasMatch() ? processId(match.captured(1)) : std::nullopt;
}

} // namespace

QList<PortLine> findAdbPortLines(const QByteArray& listing, ListingStyle style)
{
    static const QRegularExpression trailingNumber(QStringLiteral("(\\d+)[\\r\\n ]*$"));
    QList<PortLine> found;
    // netstat: an address column (local or foreign) whose port is exactly 5037: a bare ":5037"
    // substring would also take ports 50370 to 50379 and IPv6 groups, and end
    // processes that have nothing to do with the ADB server.
    static const QRegularExpression adbPort(QStringLiteral("(^|\\s)\\S*:5037(\\s|$)"));
    qsizetype lines = 0;
    for (const QByteArray& raw : listing.split('\n')) {
        if (++lines > MaxLines)
            break;
        if (raw.size() > MaxLineLength)
            continue;
        const QString text = QString::fromUtf8(raw);
        if (style == ListingStyle::SocketStatistics ? !isAdbListener(text) : !adbPort.match(text).hasMatch())
            continue;
        PortLine portLine{text, {}};
        if (portLine.line.endsWith(QLatin1Char('\r')))
            portLine.line.chop(1);
        if (style == ListingStyle::Netstat) {
            const auto match = trailingNumber.match(text);
            if (match.hasMatch()) {
                if (const auto id = processId(match.captured(1)))
                    portLine.processIds << *id;
            }
        } else if (const auto id = socketOwner(text)) {
            portLine.processIds << *id;
        }
        found << portLine;
    }
    return found;
}

Commands systemCommands(const QString& procRoot)
{
    Commands commands;
#ifdef Q_OS_LINUX
    commands.findListeners = [procRoot] { return ProcSocketOwners(procRoot).adbListeners(); };
#else
    Q_UNUSED(procRoot);
#endif
    commands.style = SystemListingStyle;
    commands.listingCommandLine = ListingProgram + QLatin1Char(' ') + ListingArguments.join(QLatin1Char(' '));
    commands.listConnections = [] {
        return runCommand(ListingProgram, ListingArguments, QProcess::SeparateChannels);
    };
    commands.endProcess = endProcessBySystem;
    commands.log = [](const QString& text) { qDebug("%s", qUtf8Printable(text)); };
    return commands;
}

int run(const Commands& commands)
{
    std::optional<QList<PortLine>> portLines;
    if (commands.findListeners)
        portLines = commands.findListeners();
    if (!portLines) {
        const std::optional<QByteArray> listing = commands.listConnections();
        if (!listing) {
            commands.log(QStringLiteral("Error: can not execute: %1\n").arg(commands.listingCommandLine));
            return 0;
        }
        portLines = findAdbPortLines(*listing, commands.style);
    }
    // A server listening on both 127.0.0.1 and [::1] owns two lines; it is ended once.
    QSet<qint64> ended;
    for (const PortLine& portLine : *portLines) {
        commands.log(portLine.line + QLatin1Char('\n'));
        for (const qint64 id : portLine.processIds) {
            if (ended.contains(id))
                continue;
            ended.insert(id);
            commands.log(commands.endProcess(id) + QLatin1String("\n\n"));
        }
    }
    return 0;
}

} // namespace Portwarden
