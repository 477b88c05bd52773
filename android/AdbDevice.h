#pragma once

#include <QMetaType>
#include <QString>

// One line of the ADB device list, as the device monitor reports it to the main window.
struct AdbDevice
{
    // What the state means for connecting the device.
    enum class Readiness {
        Ready,         // "device": accepts commands
        Unauthorized,  // the owner has not allowed USB debugging for this computer
        Offline,       // the phone's adb daemon does not answer
        NoPermissions, // this computer's user may not open the USB device (Linux udev rules)
        Passing,       // "authorizing", "connecting": a state the device soon leaves by itself
        Other,         // bootloader, recovery, sideload, ...
    };

    QString line;   // the whole line, trimmed
    QString serial; // the leading run of letters, digits and . _ - : ?
    QString state;  // "device", "offline", "unauthorized", "no permissions (...); see [...]", ...

    // Only a device in the state "device" accepts commands.
    bool isOnline() const;
    Readiness readiness() const;
    // What the user is told about a device that is not ready: what its state means and
    // what to do about it, in plain text for the window and the command line alike.
    // Empty for a ready device.
    QString notReadyText() const;

    friend bool operator==(const AdbDevice&, const AdbDevice&) = default;
};

Q_DECLARE_METATYPE(AdbDevice)
