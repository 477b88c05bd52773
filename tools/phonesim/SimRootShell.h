#pragma once

#include "tools/phonesim/SimDevice.h"

#include "tools/phonesim/SimFileAttributes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The root shell of a simulated phone: reads a command line like the phone's sh
// (quotes, backslashes, file-name patterns) and runs the programs the desktop uses (dd,
// rm, mkdir, mv, ln, stat, ls, chown, chmod, chcon, sync, sha256sum, am force-stop) on
// the phone's file system as toybox runs them; anything else exits 127.
//
// The fault switch "rootFault" = "KIND@N" breaks the N-th root command the phone runs
// (counted across sessions in root-commands.count; root-commands.log lists them): "cut" drops the connection before
// the command runs, "drop" runs it and drops the connection before the answer, "full"
// fails it as a full disk would (dd leaves half of its output; reading needs no room).
class SimRootShell
{
public:
    struct Result
    {
        int exitCode = 127;
        QByteArray output;
        bool dropConnection = false;
    };

    explicit SimRootShell(const SimDevice& device);

    Result run(const QString& command);

private:
    enum class Fault { None, Cut, Drop, Full };
    Fault nextFault();
    int execute(const QStringList& words, bool diskFull, QByteArray& output);
    int dd(const QStringList& words, bool diskFull);
    int rm(const QStringList& words);
    int mkdir(const QStringList& words);
    int mv(const QStringList& words);
    int ln(const QStringList& words);
    int stat(const QStringList& words, QByteArray& output);
    int ls(const QStringList& words, QByteArray& output);
    int changeAttributes(const QStringList& words);
    int sha256sum(const QStringList& words, QByteArray& output);

    SimDevice m_device;
    SimFileAttributes m_attributes;
};
