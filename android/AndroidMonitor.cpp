#include "android/AndroidMonitor.h"

#include "android/AdbTool.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QtConcurrent>

#include <exception>

AndroidMonitor::AndroidMonitor(QObject* parent) : QObject(parent), portwardenPath_(defaultPortwardenPath())
{
    qRegisterMetaType<AdbDevice>("AdbDevice");
}

AndroidMonitor::~AndroidMonitor()
{
    qDebug("%s", "~AndroidMonitor begin");
    {
        const QMutexLocker lock(&mutex_);
        stop_ = true;
        wake_.wakeAll();
    }
    task_.waitForFinished();
    AdbTool(ServerTimeout).killServer();
    qDebug("%s", "~AndroidMonitor end");
}

void AndroidMonitor::setPollInterval(std::chrono::milliseconds interval)
{
    pollInterval_ = interval;
}

void AndroidMonitor::setPortwardenPath(const QString& path)
{
    portwardenPath_ = path;
}

QString AndroidMonitor::defaultPortwardenPath()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("Portwarden.exe");
#else
    const QString name = QStringLiteral("portwarden");
#endif
    return QDir::toNativeSeparators(QDir(QCoreApplication::applicationDirPath()).filePath(name));
}

void AndroidMonitor::start()
{
    if (task_.isRunning())
        return;
    task_ = QtConcurrent::run([this] { poll(); });
}

void AndroidMonitor::poll()
{
    // The destructor may take over a task that has not begun yet; it must not start the
    // server on its way out.
    if (stopRequested())
        return;
    bringUpServer();
    while (!stopRequested()) {
        pollRound();
        if (!sleepUnlessStopped())
            return;
    }
}

void AndroidMonitor::bringUpServer()
{
    const AdbTool adb(ServerTimeout);
    const QString reply = adb.run({QStringLiteral("start-server")}, false);
    if (reply.contains(QLatin1String("daemon started successfully"), Qt::CaseInsensitive))
        return;
    // Another process holds the server port: Portwarden ends it, then the server can start.
    // It gets five seconds in all; one that is still busy then is ended so that it cannot
    // outlive the monitor.
    QProcess portwarden;
    portwarden.setStandardOutputFile(QProcess::nullDevice());
    portwarden.setStandardErrorFile(QProcess::nullDevice());
    const QDeadlineTimer deadline(PortwardenWait);
    portwarden.start(portwardenPath_, {});
    if (portwarden.waitForStarted(int(deadline.remainingTime())) &&
        !portwarden.waitForFinished(int(deadline.remainingTime()))) {
        portwarden.kill();
        portwarden.waitForFinished(int(PortwardenWait.count()));
    }
    adb.run({QStringLiteral("start-server")}, false);
}

void AndroidMonitor::pollRound()
{
    QList<AdbDevice> devices;
    try {
        devices = AdbTool(DevicesTimeout).devices();
    } catch (const std::exception&) {
        // The tool is missing or the server is restarting; the next round tries again.
        return;
    }
    QSet<QString> present;
    for (const AdbDevice& device : std::as_const(devices)) {
        // An older tool shows every device it may not read as the same question marks.
        if (present.contains(device.serial))
            continue;
        present.insert(device.serial);
        const auto seen = known_.find(device.serial);
        if (seen == known_.end()) {
            known_.insert(device.serial, Seen{device.state, device.isOnline()});
            emit deviceConnected(device);
            continue;
        }
        if (seen->state == device.state)
            continue;
        // Once ready, a device that drops out of that state for a moment (its adb daemon
        // restarting) is not connected and loaded over again.
        const bool report = !seen->wasReady;
        seen->state = device.state;
        seen->wasReady = seen->wasReady || device.isOnline();
        if (report)
            emit deviceConnected(device);
    }
    QStringList gone;
    for (auto it = known_.cbegin(); it != known_.cend(); ++it) {
        if (!present.contains(it.key()))
            gone << it.key();
    }
    for (const QString& serial : std::as_const(gone)) {
        known_.remove(serial);
        emit deviceDisconnected(serial);
    }
}

bool AndroidMonitor::sleepUnlessStopped()
{
    const QDeadlineTimer deadline(pollInterval_);
    const QMutexLocker lock(&mutex_);
    while (!stop_) {
        if (!wake_.wait(&mutex_, deadline))
            return !stop_;
    }
    return false;
}

bool AndroidMonitor::stopRequested()
{
    const QMutexLocker lock(&mutex_);
    return stop_;
}
