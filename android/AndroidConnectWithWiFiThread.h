#pragma once

#include "android/AndroidDevice.h"

#include <QThread>

#include <chrono>

class ProgressChannel;

// Connects a phone over the network at the address the user typed: reads the phone's
// description from the agent listening on its control port. Reports only through the
// progress channel; device() holds the result.
class AndroidConnectWithWiFiThread : public QThread
{
    Q_OBJECT
public:
    // The waits of a run; tests shrink them.
    struct Timing
    {
        std::chrono::milliseconds sessionBudget{10000};
        std::chrono::milliseconds descriptionWait{10000};
    };

    AndroidConnectWithWiFiThread(const QString& host, ProgressChannel& progress, QObject* parent = nullptr,
                                 int controlPort = AndroidDevice::DefaultControlPort);

    // The address the user typed into the WiFi dialog as a host to connect to: four
    // dot-separated groups of one to three digits, blanks around them ignored; anything
    // else (a port suffix, a name, more text) gives an empty text.
    static QString hostFromInput(const QString& typed);

    // Read after the thread has ended.
    AndroidDevice device() const { return m_device; }
    void setTiming(const Timing& timing) { m_timing = timing; }

protected:
    void run() override;

private:
    AndroidDevice m_device;
    ProgressChannel& m_progress;
    Timing m_timing;
};
