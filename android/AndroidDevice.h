#pragma once

#include "android/AgentSession.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUrl>

// A connected phone as the agent describes it: what the connection workers fill in,
// the main window keeps in the device's tree node and the load and restore workers use.
struct AndroidDevice
{
    static constexpr int DefaultControlPort = 49001;
    // Agents older than this lack what the program relies on; the release users are
    // told to install.
    static constexpr int MinimumAgentVersion = 4;
    static constexpr auto MinimumAgentRelease = "3.1.4";

    QString label;
    QString serial; // ADB serial over USB; empty over WiFi
    QString uid;
    bool viaWifi = false;
    QString host;
    int port = 0;
    int agentVersion = 0;
    QString model;
    QString manufacturer;
    QString imei;
    QString sdk;
    int sdkLevel = 0;
    bool rooted = false;
    QString storage; // the phone's external storage; empty when it is not mounted
    QDateTime loadedAt;
    // Sessions ask the agent app of a configured package by broadcast instead of
    // starting the native agent (USB only).
    bool packageAgent = false;

    // "Manufacturer Model", trimmed.
    QString displayName() const;
    // What tells two devices apart: the uid over WiFi (there is no serial), else the serial.
    QString deviceId() const;
    // The name of the device's folder in the phone cache: the imei when it makes a safe
    // folder name, else the MD5 of the uid or serial, so that two phones with an empty
    // or odd imei never share (or escape) a folder.
    QString cacheFolderName() const;
    // The uid as it may appear in a file name, under the same rule as the imei above.
    QString uidFileName() const;
    bool agentTooOld() const { return agentVersion < MinimumAgentVersion; }
    static QString agentTooOldText();
    // "android_cache/<cacheFolderName()>" under the data folder, created when missing.
    QString cacheDir() const;
    // A file URL on the phone: relativePath resolved against the external storage; an
    // empty URL when the path would lead out of it.
    QUrl storageUrl(const QString& relativePath) const;

    // Over WiFi it carries this computer's pairing secret (AgentPairing).
    simpleprotocol::SessionEndpoint endpoint() const;

    // Fills the fields the agent's "key=value;..." description names; unknown keys are
    // ignored, a repeated key keeps its last value, a missing one leaves the field as it was.
    void applyDescription(const QString& description);

    friend bool operator==(const AndroidDevice&, const AndroidDevice&) = default;

private:
    // value itself when it is a safe file name, else the MD5 of the uid, serial or host.
    QString safeFileName(const QString& value) const;
};

Q_DECLARE_METATYPE(AndroidDevice)
