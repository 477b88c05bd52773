#pragma once

#include "android/AndroidDevice.h"
#include "db/ViberDataSet.h"

#include <QList>
#include <QStringList>

#include <optional>

// What one command of the main window works on, held from its start to its end. A phone
// may be unplugged while a step of the command (a chooser, a question, a worker behind
// the progress form) runs its event loop, and its tree node goes, data set and all. So
// the command keeps its own share of the data sets its messages point into and its own
// copies of the phones' records, and learns here which of its phones went away, to stop
// before its next step.
class CommandContext
{
public:
    // Kept until the command ends; an empty handle is ignored.
    void hold(ViberDataSetPtr data);
    // A phone the command reads or writes; the copy is the command's own.
    void hold(const AndroidDevice& device);

    // What the device monitor reports when a phone on USB goes; phones reached over WiFi
    // have no serial and are never reported.
    void deviceRemoved(const QString& serial);
    // The first of the command's phones that went away.
    std::optional<AndroidDevice> goneDevice() const;

private:
    QList<ViberDataSetPtr> m_data;
    QList<AndroidDevice> m_devices;
    QStringList m_goneSerials;
};
