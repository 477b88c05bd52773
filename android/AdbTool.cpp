#include "android/AdbTool.h"

#include "app/Failure.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>

namespace {

constexpr int StartTimeoutMs = 10000;
// The process is waited for in short slices so that what it prints is moved out of the
// process object's buffers, and capped, as it arrives.
constexpr qint64 WaitSliceMs = 50;

const QString RunFailed = QStringLiteral("run adb failed.");

QString textUpToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

QStringList lines(const QString& text)
{
    return text.split(QLatin1Char('\n'));
}

} // namespace

void AdbTool::appendBounded(QByteArray& buffer, const QByteArray& more)
{
    const qsizetype room = MaxOutputBytes - buffer.size();
    if (room > 0)
        buffer.append(more.constData(), qMin(room, more.size()));
}

AdbTool::AdbTool(std::chrono::milliseconds finishTimeout) : finishTimeout_(finishTimeout) {}

QString AdbTool::run(const QStringList& arguments, bool raiseOnError, const QByteArray& input) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program(), arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(StartTimeoutMs)) {
        if (raiseOnError)
            fail(RunFailed);
        return RunFailed;
    }
    // a tool that reads its input (adb shell does) must see its end
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();

    QByteArray out;
    QByteArray err;
    const auto drain = [&] {
        appendBounded(err, process.readAllStandardError());
        appendBounded(out, process.readAllStandardOutput());
    };
    const QDeadlineTimer deadline(finishTimeout_);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForFinished(int(qMin(deadline.remainingTime(), WaitSliceMs)));
        drain();
    }
    drain();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(KillWaitMs);
    }

    const QString errorText = textUpToNul(err);
    const QString outputText = textUpToNul(out);
    if (errorText.isEmpty())
        return outputText;
    if (raiseOnError)
        fail(errorText);
    return QStringLiteral("%1\n%2").arg(errorText, outputText);
}

void AdbTool::killServer() const
{
    run({QStringLiteral("kill-server")}, false);
}

void AdbTool::forward(const QString& serial, int localPort, int remotePort) const
{
    run({QStringLiteral("-s"), serial, QStringLiteral("forward"), QStringLiteral("tcp:%1").arg(localPort),
         QStringLiteral("tcp:%1").arg(remotePort)},
        true);
}

void AdbTool::removeForward(const QString& serial, int localPort) const
{
    run({QStringLiteral("-s"), serial, QStringLiteral("forward"), QStringLiteral("--remove"),
         QStringLiteral("tcp:%1").arg(localPort)},
        false);
}

void AdbTool::forceStop(const QString& serial, const QString& package) const
{
    run({QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"),
         QStringLiteral("force-stop"), package},
        false);
}

QList<AdbDevice> AdbTool::devices() const
{
    return parseDevices(run({QStringLiteral("devices")}, true));
}

QList<AdbDevice> AdbTool::parseDevices(const QString& reply)
{
    // Anchored: a line that does not begin with a serial (noise, control bytes) names no
    // device, rather than one made of words from its middle. A serial may be a network
    // address ("192.168.1.20:5555") or a wireless-debugging service name with dots; an
    // older tool that cannot read the USB serial prints question marks. The state is the
    // rest of the line and may hold spaces ("no permissions (user alice is not in the
    // plugdev group); see [...]").
    static const QRegularExpression pattern(
        QStringLiteral("^([a-zA-Z0-9._:?\\-]{1,%1})\\s+(\\S.*)$").arg(MaxSerialLength));
    // "adb devices -l" puts attributes after the state: usb:1-1 product:x model:y ...
    static const QRegularExpression attribute(QStringLiteral("\\s+[a-z_]+:\\S*$"));
    QList<AdbDevice> result;
    bool listed = false;
    for (const QString& raw : lines(reply)) {
        const QString line = raw.left(MaxDeviceLineLength).trimmed();
        if (!listed) {
            // The tool may print daemon start-up lines before the list itself.
            listed = line.compare(QLatin1String("List of devices attached"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch())
            continue;
        QString state = match.captured(2);
        for (QRegularExpressionMatch more = attribute.match(state); more.hasMatch();
             more = attribute.match(state))
            state.chop(more.capturedLength());
        // The state is shown to the user: printable ASCII only, nothing a label could
        // take for markup.
        for (QChar& c : state) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u'<' || c == u'>')
                c = u' ';
        }
        // Cut at the bound, a state must not end in the blank the cut left.
        state = state.simplified().left(MaxStateLength).trimmed();
        if (state.isEmpty())
            continue;
        result.append(AdbDevice{line, match.captured(1), state});
        if (result.size() == MaxDevices)
            break;
    }
    return result;
}

QSet<QString> AdbTool::listPackages(const QString& serial) const
{
    QSet<QString> packages;
    const QString reply = run(
        {QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("pm"), QStringLiteral("-l")},
        false);
    for (const QString& raw : lines(reply)) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("package:")))
            packages.insert(line.mid(8).trimmed());
    }
    return packages;
}

void AdbTool::install(const QString& serial, const QString& apkPath) const
{
    const QString reply = run({QStringLiteral("-s"), serial, QStringLiteral("install"), apkPath}, false);
    for (const QString& line : lines(reply)) {
        if (line.trimmed().compare(QLatin1String("Success"), Qt::CaseInsensitive) == 0)
            return;
    }
    fail(reply);
}

void AdbTool::am(const QString& serial, const QString& command, const QString& component,
                 const QString& action, const QString& data, const QStringList& categories,
                 const QString& mimeType) const
{
    QStringList arguments{QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"),
                          command};
    const auto option = [&arguments](const char* name, const QString& value) {
        if (!value.isEmpty())
            arguments << QLatin1String(name) << value;
    };
    option("-n", component);
    option("-a", action);
    option("-d", data);
    for (const QString& category : categories)
        arguments << QStringLiteral("-c") << category;
    option("-t", mimeType);

    const QString reply = run(arguments, false);
    for (const QString& line : lines(reply)) {
        if (line.trimmed().toLower().startsWith(QLatin1String("error:")))
            fail(reply);
    }
}

void AdbTool::push(const QString& serial, const QString& localPath, const QString& phonePath) const
{
    const QString reply =
        run({QStringLiteral("-s"), serial, QStringLiteral("push"), localPath, phonePath}, false);
    for (const QString& line : lines(reply)) {
        if (line.contains(QLatin1String("error:"), Qt::CaseInsensitive))
            fail(reply);
    }
}

QString AdbTool::shell(const QString& serial, const QStringList& words, const QByteArray& input) const
{
    return run(QStringList{QStringLiteral("-s"), serial, QStringLiteral("shell")} + words, false, input);
}

QString AdbTool::program()
{
    return QStringLiteral("adb");
}
