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
// the process number, ss -tanp names every owner as ("name",pid=N,fd=M).
enum class ListingStyle { Netstat, SocketStatistics };

struct PortLine
{
    QString line;
    QList<qint64> processIds;
};

// The lines of the listing on port 5037, in listing order, with the processes to end for
// each. netstat: a line with port 5037 in any address column (a client's too). ss: a listening
// socket whose local address has port 5037, with the owner written last in its users:((...))
// column, the one entry that a program name (which may hold quotes, commas, "pid=") cannot forge.
QList<PortLine> findAdbPortLines(const QByteArray& listing, ListingStyle style);

struct Commands
{
    // The sockets listening on port 5037 and their owners as the kernel lists them; nothing
    // when its tables cannot be read, and then the listing below is read instead. Unset
    // where the system has no such tables.
    std::function<std::optional<QList<PortLine>>()> findListeners;
    ListingStyle style = ListingStyle::Netstat;
    QString listingCommandLine;
    // The listing's standard output, or nothing when the listing program does not start.
    std::function<std::optional<QByteArray>()> listConnections;
    // Ends one process by force; returns what to log about it.
    std::function<QString(qint64 processId)> endProcess;
    std::function<void(const QString& text)> log;
};

// The commands of this system: netstat and taskkill on Windows; elsewhere SIGKILL, the
// sockets found under procRoot (Linux's /proc, or a folder laid out like it), ss when there
// are none to read.
Commands systemCommands(const QString& procRoot = QStringLiteral("/proc"));

// Always 0: the main program carries on whatever happened here.
int run(const Commands& commands);

} // namespace Portwarden
