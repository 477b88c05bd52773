#pragma once

#include "android/AdbDevice.h"

#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QWaitCondition>

#include <chrono>

// Watches the ADB device list from a task of the global thread pool and reports serials
// that appear or go. A device that appeared in a state other than "device" is reported
// again each time its state changes until it has been ready once, so that a phone whose
// owner taps "Allow" connects without being plugged in again. Brings the ADB server up
// when started and ends it when destroyed.
// The signals are emitted on the pool thread; connect them queued (the default across
// threads).
class AndroidMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultPollInterval{std::chrono::seconds(3)};
    // Bounds on the tool calls, so that a wedged server cannot hold up the destructor (which
    // waits for the current round) or the closing of the main window for long.
    static constexpr std::chrono::milliseconds DevicesTimeout{std::chrono::seconds(20)};
    static constexpr std::chrono::milliseconds ServerTimeout{std::chrono::seconds(30)};
    static constexpr std::chrono::milliseconds PortwardenWait{std::chrono::seconds(5)};

    explicit AndroidMonitor(QObject* parent = nullptr);
    ~AndroidMonitor() override;

    // Both only take effect when set before start().
    void setPollInterval(std::chrono::milliseconds interval);
    void setPortwardenPath(const QString& path);

    // The Portwarden program beside the running program.
    static QString defaultPortwardenPath();

    void start();

signals:
    void deviceConnected(const AdbDevice& dev);
    void deviceDisconnected(const QString& devid);

private:
    void poll();
    void bringUpServer();
    void pollRound();
    // Sleeps one poll interval; false when woken to stop.
    bool sleepUnlessStopped();
    bool stopRequested();

    QMutex mutex_;
    QWaitCondition wake_;
    bool stop_ = false;
    struct Seen
    {
        QString state;
        bool wasReady = false;
    };
    QHash<QString, Seen> known_;
    QFuture<void> task_;
    std::chrono::milliseconds pollInterval_ = DefaultPollInterval;
    QString portwardenPath_;
};
