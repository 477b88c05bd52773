#pragma once

#include <QMetaType>
#include <QString>

// One line of the ADB device list, as the device monitor reports it to the main window.
struct AdbDevice
{
    QString line;   // the whole line, trimmed
    QString serial; // the leading run of letters, digits, '-' and '_'
    QString state;  // "device", "offline", "unauthorized", ...

    // Only a device in the state "device" accepts commands.
    bool isOnline() const;

    friend bool operator==(const AdbDevice&, const AdbDevice&) = default;
};

Q_DECLARE_METATYPE(AdbDevice)
