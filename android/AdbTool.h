#pragma once

#include "android/AdbDevice.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>

// Runs the Android Debug Bridge tool "adb" (found on PATH) and reads its replies. Create one
// on the stack for each use; each call blocks until the tool ends. Failures are raised as
// std::runtime_error carrying the tool's own text.
class AdbTool
{
public:
    // A last resort against a wedged tool; callers that must answer sooner pass their own.
    static constexpr std::chrono::milliseconds DefaultFinishTimeout{std::chrono::minutes(10)};
    // What is kept of each output channel; the rest is read and dropped.
    static constexpr qsizetype MaxOutputBytes = 4 * 1024 * 1024;
    // How long a killed tool is given to end.
    static constexpr int KillWaitMs = 5000;
    // Bounds on what "adb devices" may list; a line beyond the length is cut, a serial
    // beyond its length names no device.
    static constexpr qsizetype MaxDevices = 64;
    static constexpr qsizetype MaxDeviceLineLength = 1024;
    static constexpr int MaxSerialLength = 128;
    static constexpr qsizetype MaxStateLength = 200;

    // Appends more to buffer up to MaxOutputBytes in all.
    static void appendBounded(QByteArray& buffer, const QByteArray& more);

    explicit AdbTool(std::chrono::milliseconds finishTimeout = DefaultFinishTimeout);

    // Standard output when standard error is empty. Otherwise raises with the error text,
    // or (raiseOnError false) returns error text, a line feed and the output text. A tool
    // that does not start gives "run adb failed.".
    // input, when given, is the tool's standard input (a secret never put on a command
    // line, where other users of the computer could read it).
    QString run(const QStringList& arguments, bool raiseOnError,
                const QByteArray& input = QByteArray()) const;

    void killServer() const;
    void forward(const QString& serial, int localPort, int remotePort) const;
    // Failures are not reported: the forward ends with the ADB server anyway.
    void removeForward(const QString& serial, int localPort) const;
    void forceStop(const QString& serial, const QString& package) const;
    QList<AdbDevice> devices() const;
    // The devices an "adb devices" or "adb devices -l" reply lists, in its order.
    static QList<AdbDevice> parseDevices(const QString& reply);
    QSet<QString> listPackages(const QString& serial) const;
    // Raises with the tool's whole reply unless a line of it says "Success".
    void install(const QString& serial, const QString& apkPath) const;
    // Raises with the tool's whole reply when a line of it begins with "error:".
    void am(const QString& serial, const QString& command, const QString& component, const QString& action,
            const QString& data, const QStringList& categories, const QString& mimeType) const;

    // Copies a file to the phone; raises with the tool's reply on failure.
    void push(const QString& serial, const QString& localPath, const QString& phonePath) const;
    // "adb shell" with the words as its command line; standard output and error together,
    // never raising (a phone's shell reports failures in its output).
    QString shell(const QString& serial, const QStringList& words,
                  const QByteArray& input = QByteArray()) const;

    // For callers that drive the tool through their own process object.
    static QString program();

private:
    std::chrono::milliseconds finishTimeout_;
};
