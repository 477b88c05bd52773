#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Puts the native agent on a phone over ADB and starts it there. The builds for the
// phones' processors lie beside the program ("agent/<abi>/velliport-agent"); the copy
// on the phone lives in /data/local/tmp, where the ADB shell may run programs.
class AgentInstaller
{
public:
    static constexpr auto PhonePath = "/data/local/tmp/velliport-agent";

    // The folder holding one sub-folder per ABI: "agent" beside the program in the build
    // tree, "../lib/velliport/agent" from an installed program's folder, unless set.
    static QString localAgentFolder();
    static void setLocalAgentFolder(const QString& folder);
    // The line the agent builds this program carries print for "--version".
    static QString versionLine();

    // The build for the phone's processor: its ABI list (ro.product.cpu.abilist, then
    // ro.product.cpu.abi) in the phone's order of preference, the first one built.
    // Raises when none is.
    static QString buildFor(const QString& serial);
    // Pushes the agent when the phone lacks it or has another version, then checks
    // that it runs. Returns whether it pushed; raises with the reason otherwise.
    static bool ensureInstalled(const QString& serial);

    // Starts the installed agent by "adb shell" with the secret on its standard input
    // (never on a command line); returns when it listens. Raises with the shell's reply.
    static void startSession(const QString& serial, const QString& url, const QByteArray& secret);
    // The same for the WiFi control port, which then answers only the given secret.
    static void startWifi(const QString& serial, const QByteArray& secret);

    // 32 random letters and digits from the system's generator.
    static QByteArray newSecret(int length = 32);

private:
    static void start(const QString& serial, const QStringList& arguments, const QByteArray& secret);
};
