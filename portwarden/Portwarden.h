#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Ends every process that the system's connection table shows on the ADB server port 5037,
// so that the main program can start its own ADB server afterwards.
namespace Portwarden {

// How the connection listing names the owning process: netstat -ano ends each line with
// the process number, ss -tanp names every owner as "pid=N".
enum class ListingStyle { Netstat, SocketStatistics };

struct PortLine
{
    QString line;
    QList<qint64> processIds;
};

// The lines of the listing that mention ":5037" (in any address column, and so also
// longer ports such as 50370), in listing order, with the processes to end for each.
QList<PortLine> findAdbPortLines(const QByteArray& listing, ListingStyle style);

struct Commands
{
    ListingStyle style = ListingStyle::Netstat;
    QString listingCommandLine;
    // The listing's standard output, or nothing when the listing program does not start.
    std::function<std::optional<QByteArray>()> listConnections;
    // Ends one process by force; returns what to log about it.
    std::function<QString(qint64 processId)> endProcess;
    std::function<void(const QString& text)> log;
};

// The commands of this system: netstat and taskkill on Windows, ss and SIGKILL elsewhere.
Commands systemCommands();

// Always 0: the main program carries on whatever happened here.
int run(const Commands& commands);

} // namespace Portwarden
