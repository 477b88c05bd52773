#pragma once

#include "portwarden/Portwarden.h"

#include <QList>
#include <QString>

#include <optional>

// Finds the processes listening on the ADB server port the way fuser does, from the kernel's
// own tables rather than from any program's printed text (which holds program names their
// owners chose): the listening sockets come from ROOT/net/tcp and ROOT/net/tcp6, their owners
// from the socket links in ROOT/PID/fd.
class ProcSocketOwners
{
public:
    // root is /proc, or a folder laid out like it.
    explicit ProcSocketOwners(QString root = QStringLiteral("/proc"));

    // One line per socket listening on port 5037 (whatever its local address), with the
    // processes whose descriptors hold it; processes whose descriptors this user may not read
    // are left out. Nothing when ROOT/net/tcp cannot be read.
    std::optional<QList<Portwarden::PortLine>> adbListeners() const;

private:
    QString m_root;
};
