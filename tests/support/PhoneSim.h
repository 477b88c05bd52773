#pragma once

#include "tools/phonesim/SimDevice.h"
#include "tools/phonesim/SimSample.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A scratch phone state folder for the phone simulator, made current for this process:
// PHONESIM_DIR names it and the simulator's "adb" comes first on PATH, so that AdbTool
// and everything built on it talk to simulated phones. The previous environment is put
// back, and every agent started here is ended, when the object goes.
class PhoneSim
{
public:
    PhoneSim();
    ~PhoneSim();
    PhoneSim(const PhoneSim&) = delete;
    PhoneSim& operator=(const PhoneSim&) = delete;

    bool isValid() const;
    QString stateDir() const { return m_dir.path(); }
    static QString adbPath();
    static QString agentPath();

    // The nine device-description keys of a phone with this serial.
    static QString description(const QString& serial, int sdkLevel = 28, bool rooted = true);
    // A phone in state "device" with Viber and the agent installed and root granted.
    SimDevice addDevice(const QString& serial, int sdkLevel = 28, bool rooted = true);
    // The same with the sample Viber history of phonesim-sample; throws std::runtime_error
    // when the files cannot be written.
    SimDevice addSampleDevice(const QString& serial, int sdkLevel = 28, bool rooted = true);
    // The sample with other options, e.g. walPending for databases whose newest rows
    // are only in their -wal, or modern for today's app (SimSample::Modern); the agent
    // app is installed whatever agentInstalled says.
    SimDevice addSampleDevice(const QString& serial, SimSample::Options options);
    SimDevice device(const QString& serial) const { return SimDevice(stateDir(), serial); }

    void putFile(const QString& serial, const QString& phonePath, const QByteArray& bytes) const;
    QByteArray phoneFile(const QString& serial, const QString& phonePath) const;
    bool phoneFileExists(const QString& serial, const QString& phonePath) const;

    // The command lines the simulated adb received, one per call.
    QStringList adbCalls() const;
    // Changes made inside Viber's private folder while Viber ran ("rm <path>",
    // "dd <path>", "upload <path>", "mkdir <path>"), one per line; a sound writer leaves
    // this empty.
    QStringList viberWritesWhileRunning(const QString& serial) const;
    // Root copies taken from Viber's database folder while Viber ran ("dd <path>"): such
    // a copy may be torn, so a sound loader stops Viber first and leaves this empty.
    QStringList viberReadsWhileRunning(const QString& serial) const;

    // Starts the agent of a phone reached over WiFi on a free loopback control port,
    // records that port as the phone's "wifiPort" and returns it, or 0 when the agent
    // did not come up. Give the port to the WiFi worker in place of 49001. With a secret
    // the agent serves only a client that presents it (as paired over USB); without one
    // it plays the app of the package route, which knows no secret.
    int startWifiAgent(const QString& serial, const QByteArray& secret = QByteArray());
    // The phone's WiFi control port: the one startWifiAgent chose, else 49001.
    int wifiPort(const QString& serial) const { return device(serial).wifiPort(); }
    static int freePort();

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
    QByteArray m_oldState;
    bool m_hadState;
    std::vector<std::unique_ptr<QProcess>> m_agents;
};
