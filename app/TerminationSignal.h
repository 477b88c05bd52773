#pragma once

class QObject;

// Turns SIGTERM and SIGINT into a call of the target's close() on its own thread, so
// that a session log-out or Ctrl+C ends the program the way closing its window does.
// Does nothing on platforms without POSIX signals.
namespace TerminationSignal {

void closeOnTermination(QObject* target);

} // namespace TerminationSignal
