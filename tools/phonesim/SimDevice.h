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

    // Viber runs until "am force-stop com.viber.voip"; a write into its private files
    // while it runs is what a transfer must never do, so each one is logged
    // ("viber-writes-while-running.log" in the device folder) for tests to find.
    bool viberRunning() const;
    void forceStop(const QString& package);
    void noteWrite(const QString& phonePath) const;
    QStringList writesWhileRunning() const;

    QString fsRoot() const;
    // The local path of a phone path, or an empty text when the path tries to leave the
    // phone's file system ("..", or a component that is a symbolic link).
    QString fileFor(const QString& phonePath) const;

private:
    QString m_serial;
    QString m_folder;
};
