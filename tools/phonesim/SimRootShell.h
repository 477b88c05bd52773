#pragma once

#include "tools/phonesim/SimDevice.h"

#include <QString>

// The root shell of a simulated phone: reads a command line like the phone's sh
// (quotes, backslashes, file-name patterns) and runs the few programs the desktop uses
// (dd, rm, mkdir, am force-stop) on the phone's file system; anything else exits 127.
class SimRootShell
{
public:
    explicit SimRootShell(const SimDevice& device);

    // The exit code.
    int run(const QString& command);

private:
    SimDevice m_device;
};
