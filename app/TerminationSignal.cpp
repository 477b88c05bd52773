#include "app/TerminationSignal.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace TerminationSignal {

#ifdef Q_OS_UNIX
namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    // Only async-signal-safe work here: one byte into the pipe.
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

void closeOnTermination(QObject* target)
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, target);
    QObject::connect(notifier, &QSocketNotifier::activated, target, [target, notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[1], &byte, 1);
        QMetaObject::invokeMethod(target, "close", Qt::QueuedConnection);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
#else
void closeOnTermination(QObject*) {}
#endif

} // namespace TerminationSignal
