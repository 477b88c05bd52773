#include "portwarden/Portwarden.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
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

// The process numbers of ss's process column: users:(("name",pid=N,fd=M),...). A name
// is quoted and may hold anything, "pid=" and quotes included, so an entry's name ends
// only at the quote that its own fields follow.
QList<qint64> socketOwners(const QString& line)
{
    static const QRegularExpression entry(QStringLiteral("\\(\"(.*?)\",pid=(\\d+)((?:,[a-z]+=\\d+)*)\\)"));
    QList<qint64> ids;
    const qsizetype users = line.indexOf(QLatin1String("users:("));
    if (users < 0)
        return ids;
    auto matches = entry.globalMatch(line, users + 7);
    while (matches.hasNext()) {
        const auto id = processId(matches.next().captured(2));
        if (id && !ids.contains(*id))
            ids << *id;
    }
    return ids;
}

} // namespace

QList<PortLine> findAdbPortLines(const QByteArray& listing, ListingStyle style)
{
    static const QRegularExpression trailingNumber(QStringLiteral("(\\d+)[\\r\\n ]*$"));
    QList<PortLine> found;
    // An address column (local or foreign) whose port is exactly 5037: a bare ":5037"
    // substring would also take ports 50370 to 50379 and IPv6 groups, and end
    // processes that have nothing to do with the ADB server.
    static const QRegularExpression adbPort(QStringLiteral("(^|\\s)\\S*:5037(\\s|$)"));
    for (const QByteArray& raw : listing.split('\n')) {
        const QString text = QString::fromUtf8(raw);
        if (style == ListingStyle::SocketStatistics) {
            const QStringList columns = addressColumns(text);
            if (std::none_of(columns.cbegin(), columns.cend(),
                             [](const QString& column) { return column.endsWith(QLatin1String(":5037")); }))
                continue;
        } else if (!adbPort.match(text).hasMatch()) {
            continue;
        }
        PortLine portLine{text, {}};
        if (portLine.line.endsWith(QLatin1Char('\r')))
            portLine.line.chop(1);
        if (style == ListingStyle::Netstat) {
            const auto match = trailingNumber.match(text);
            if (match.hasMatch()) {
                if (const auto id = processId(match.captured(1)))
                    portLine.processIds << *id;
            }
        } else {
            portLine.processIds = socketOwners(text);
        }
        found << portLine;
    }
    return found;
}

Commands systemCommands()
{
    Commands commands;
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
    const std::optional<QByteArray> listing = commands.listConnections();
    if (!listing) {
        commands.log(QStringLiteral("Error: can not execute: %1\n").arg(commands.listingCommandLine));
        return 0;
    }
    for (const PortLine& portLine : findAdbPortLines(*listing, commands.style)) {
        commands.log(portLine.line + QLatin1Char('\n'));
        for (const qint64 id : portLine.processIds)
            commands.log(commands.endProcess(id) + QLatin1String("\n\n"));
    }
    return 0;
}

} // namespace Portwarden
