#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

// One simulated phone, kept in "<state folder>/devices/<serial>":
//   device.ini  state, packages, description, root, fault switches (see README.md)
//   fs/         the phone's file system; phone path "/a/b" is "fs/a/b"
// Every phone path from a command or from the wire is confined to fs/ (fileFor).
class SimDevice
{
public:
    static constexpr auto ViberPackage = "com.viber.voip";
    static constexpr auto ViberDatabases = "/data/data/com.viber.voip/databases";
    static constexpr int DefaultWifiPort = 49001;
    // Where the desktop installs the phone agent.
    static constexpr auto NativeAgentPath = "/data/local/tmp/velliport-agent";

    SimDevice(const QString& stateDir, const QString& serial);

    static QString stateDirFromEnvironment();
    static QStringList serials(const QString& stateDir);
    // Creates the folders and settings of a new device; existing settings are kept.
    static SimDevice create(const QString& stateDir, const QString& serial);

    QString serial() const { return m_serial; }
    QString folder() const { return m_folder; }
    bool exists() const;

    QVariant value(const QString& key, const QVariant& fallback = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);

    QString connectionState() const; // "device", "unauthorized", "offline"
    QStringList packages() const;
    void addPackage(const QString& package);
    QString description() const; // the nine keys as "key=value;..."
    int sdkLevel() const;        // "sdk_id" from the description
    bool rootGranted() const;
    int slowMs() const;
    int idleMs() const;
    // The agent's WiFi control port ("wifiPort", 49001 unless a test gives another).
    int wifiPort() const;

    // Whether Viber runs ("viberRunning"); "am force-stop com.viber.voip" stops it.
    bool viberRunning() const;
    void setViberRunning(bool running);
    // Notes a change to a phone path: a change inside Viber's private folder (its
    // databases, preferences and files) while Viber runs is appended to viberWritesLog(),
    // since the app would overwrite it or read a torn file. Other paths, and any path
    // while Viber is stopped, pass silently.
    void noteWrite(const QString& phonePath, const QString& action) const;
    // The same for a copy taken from Viber's databases while the app may be writing
    // them (viberReadsLog()).
    void noteRead(const QString& phonePath, const QString& action) const;
    QString viberWritesLog() const;
    QString viberReadsLog() const;

    // Puts the agent's host build where the desktop installs it, as on a phone that has
    // it already; false when it cannot be copied.
    bool installNativeAgent() const;

    QString fsRoot() const;
    // The local path of a phone path, or an empty text when the path tries to leave the
    // phone's file system ("..", or a component that is a symbolic link).
    QString fileFor(const QString& phonePath) const;

private:
    // Whether phonePath lies in subfolder ("" for all of it) of Viber's private folder.
    static bool inViberFolder(const QString& phonePath, const QString& subfolder);
    void noteAccess(const QString& logPath, const QString& phonePath, const QString& action) const;

    QString m_serial;
    QString m_folder;
};
