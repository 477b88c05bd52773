#pragma once

#include <QString>

// Desktop notifications through the freedesktop notification service on the session
// bus: how a backup that ran by itself tells the user that it failed. A computer without
// a session bus or a notification service (a server, a container) shows nothing, which
// is no error: the message is on standard error and in the run log anyway.
class CliNotifier
{
public:
    // False when no notification service took it.
    static bool notify(const QString& summary, const QString& body);
};
