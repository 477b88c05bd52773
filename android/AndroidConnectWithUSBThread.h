#pragma once

#include "android/AndroidDevice.h"

#include <QThread>

#include <chrono>

class ProgressChannel;

// Connects a phone the device monitor reported over USB: tells what its state means when
// the phone is not ready for commands, installs the agent app when it is missing, checks
// that Viber is installed and reads the phone's description from the agent. Reports only
// through the progress channel: a success without text, an error with the text the user
// sees, or nothing when cancelled. device() holds the result.
class AndroidConnectWithUSBThread : public QThread
{
    Q_OBJECT
public:
    // The waits of a run; tests shrink them.
    struct Timing
    {
        std::chrono::milliseconds afterInstall{5000};
        std::chrono::milliseconds sessionBudget{10000};
        std::chrono::milliseconds descriptionWait{10000};
    };

    AndroidConnectWithUSBThread(const QString& serial, ProgressChannel& progress, QObject* parent = nullptr);

    // Read after the thread has ended.
    AndroidDevice device() const { return m_device; }

    void setTiming(const Timing& timing) { m_timing = timing; }
    // Configures the package route: the agent app of this package file is installed when
    // the phone lacks it and sessions ask it by broadcast. Unset, the native agent is
    // pushed to the phone when missing or of another version and started by adb shell.
    void setAgentPackage(const QString& path) { m_agentPackage = path; }

protected:
    void run() override;

private:
    // Both false when the run has to end (the error is reported).
    bool checkDeviceState();
    bool checkPackages();
    void installAgent();

    AndroidDevice m_device;
    ProgressChannel& m_progress;
    Timing m_timing;
    QString m_agentPackage;
};
