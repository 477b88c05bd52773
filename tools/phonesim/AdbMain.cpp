// The "adb" of the phone simulator: answers the command lines the program uses from the
// phones kept in the folder named by PHONESIM_DIR, in the real tool's output format.

#include "tools/phonesim/SimBackup.h"
#include "tools/phonesim/SimDevice.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <optional>

namespace {

constexpr auto ServerMarker = "/adb-server";
constexpr auto AgentPackage = "com.kestrune.relaypod";
constexpr auto AgentReceiver = "com.kestrune.relaypod/.AdbSyncBroadcastReceiver";

void out(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void err(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

void appendLog(const QString& stateDir, const QStringList& args)
{
    QFile log(stateDir + QStringLiteral("/adb.log"));
    if (log.open(QIODevice::Append | QIODevice::Text))
        log.write((args.join(u' ') + u'\n').toUtf8());
}

// Like the real tool, any command but kill-server brings the server up first and says
// so on standard error.
void ensureServer(const QString& stateDir)
{
    const QString marker = stateDir + QLatin1String(ServerMarker);
    if (QFileInfo::exists(marker))
        return;
    err(QStringLiteral("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"));
    QFile file(marker);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray::number(QCoreApplication::applicationPid()));
}

int devices(const QString& stateDir)
{
    QString text = QStringLiteral("List of devices attached\n");
    for (const QString& serial : SimDevice::serials(stateDir)) {
        const SimDevice device(stateDir, serial);
        if (device.exists())
            text += serial + u'\t' + device.connectionState() + u'\n';
    }
    out(text + u'\n');
    return 0;
}

// The device a command is for, or nothing after the tool's complaint.
std::optional<SimDevice> selectDevice(const QString& stateDir, const QString& serial)
{
    QString chosen = serial;
    if (chosen.isEmpty()) {
        const QStringList all = SimDevice::serials(stateDir);
        if (all.isEmpty()) {
            err(QStringLiteral("adb: no devices/emulators found\n"));
            return std::nullopt;
        }
        if (all.size() > 1) {
            err(QStringLiteral("adb: more than one device/emulator\n"));
            return std::nullopt;
        }
        chosen = all.first();
    }
    SimDevice device(stateDir, chosen);
    if (!device.exists()) {
        err(QStringLiteral("adb: device '%1' not found\n").arg(chosen));
        return std::nullopt;
    }
    const QString state = device.connectionState();
    if (state == QLatin1String("unauthorized")) {
        err(QStringLiteral("adb: device unauthorized.\nThis adb server's $ADB_VENDOR_KEYS is not set\n"
                           "Try 'adb kill-server' if that seems wrong.\n"
                           "Otherwise check for a confirmation dialog on your device.\n"));
        return std::nullopt;
    }
    if (state != QLatin1String("device")) {
        err(QStringLiteral("adb: device %1\n").arg(state));
        return std::nullopt;
    }
    return device;
}

void startAgent(const QString& stateDir, const SimDevice& device, const QString& url)
{
    const QUrl parsed(url);
    const bool local = parsed.host() == QLatin1String("127.0.0.1") && parsed.port() > 0;
    const bool known =
        parsed.scheme() == QLatin1String("backup") || parsed.scheme() == QLatin1String("restore");
    if (!local || !known)
        return;
    QProcess agent;
    agent.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/../phonesim-agent"));
    // the app of the package route knows no session secret
    agent.setArguments({QStringLiteral("--state"), stateDir, QStringLiteral("--serial"), device.serial(),
                        QStringLiteral("--session"), url, QStringLiteral("--no-secret")});
    agent.setStandardInputFile(QProcess::nullDevice());
    agent.setStandardOutputFile(QProcess::nullDevice());
    agent.setStandardErrorFile(stateDir + QStringLiteral("/agent-stderr.log"), QIODevice::Append);
    if (!agent.startDetached())
        err(QStringLiteral("phonesim: cannot start the agent stand-in\n"));
}

// What "getprop NAME" prints: the ABI from the phone's "abi" setting (x86_64, the
// computer's own, unless a test says otherwise), the rest from its description.
QString property(const SimDevice& device, const QString& name)
{
    if (name == QLatin1String("ro.product.cpu.abi"))
        return device.value(QStringLiteral("abi"), QStringLiteral("x86_64")).toString();
    if (name == QLatin1String("ro.serialno"))
        return device.serial();
    static const QList<std::pair<QString, QString>> fromDescription = {
        {QStringLiteral("ro.product.model"), QStringLiteral("model")},
        {QStringLiteral("ro.product.manufacturer"), QStringLiteral("manufacturer")},
        {QStringLiteral("ro.build.version.release"), QStringLiteral("sdk")},
        {QStringLiteral("ro.build.version.sdk"), QStringLiteral("sdk_id")}};
    for (const auto& [property, key] : fromDescription) {
        if (name != property)
            continue;
        for (const QString& pair : device.description().split(u';')) {
            if (pair.startsWith(key + u'='))
                return pair.mid(key.size() + 1);
        }
    }
    return QString();
}

// Runs the agent the desktop installed: its own file answers --version (an old copy a
// test put there says so); a session runs the simulator's build of the agent's code,
// confined to this phone, with what the shell received on standard input.
int runAgent(const QString& stateDir, const SimDevice& device, const QString& phonePath,
             const QStringList& args)
{
    const QString local = device.fileFor(phonePath);
    const QFileInfo info(local);
    if (local.isEmpty() || !info.isFile()) {
        err(QStringLiteral("/system/bin/sh: %1: inaccessible or not found\n").arg(phonePath));
        return 127;
    }
    if (!info.isExecutable()) {
        err(QStringLiteral("/system/bin/sh: %1: can't execute: Permission denied\n").arg(phonePath));
        return 126;
    }
    QProcess agent;
    if (args == QStringList{QStringLiteral("--version")}) {
        agent.start(local, args);
    } else {
        QFile input;
        QByteArray secret;
        if (input.open(stdin, QIODevice::ReadOnly))
            secret = input.readLine(512);
        agent.start(
            QCoreApplication::applicationDirPath() + QStringLiteral("/../phonesim-agent"),
            QStringList{QStringLiteral("--state"), stateDir, QStringLiteral("--serial"), device.serial()} +
                args);
        agent.write(secret);
    }
    agent.closeWriteChannel();
    if (!agent.waitForFinished(30000)) {
        agent.kill();
        agent.waitForFinished(5000);
        err(QStringLiteral("phonesim: the agent did not return\n"));
        return 1;
    }
    out(QString::fromUtf8(agent.readAllStandardOutput()));
    err(QString::fromUtf8(agent.readAllStandardError()));
    return agent.exitCode();
}

int chmod(const SimDevice& device, const QStringList& words)
{
    const QString local = device.fileFor(words.value(2));
    if (words.size() != 3 || local.isEmpty() || !QFileInfo(local).isFile()) {
        err(QStringLiteral("chmod: %1: No such file or directory\n").arg(words.value(2)));
        return 1;
    }
    bool ok = false;
    const uint mode = words[1].toUInt(&ok, 8);
    if (!ok) {
        err(QStringLiteral("chmod: bad mode: %1\n").arg(words[1]));
        return 1;
    }
    QFile::Permissions permissions;
    const QFile::Permission bits[] = {QFile::ExeOther, QFile::WriteOther, QFile::ReadOther,
                                      QFile::ExeGroup, QFile::WriteGroup, QFile::ReadGroup,
                                      QFile::ExeOwner, QFile::WriteOwner, QFile::ReadOwner};
    for (int i = 0; i < 9; ++i) {
        if (mode & (1u << i))
            permissions |= bits[i];
    }
    if (permissions & QFile::ReadOwner)
        permissions |= QFile::ReadUser;
    if (permissions & QFile::WriteOwner)
        permissions |= QFile::WriteUser;
    if (permissions & QFile::ExeOwner)
        permissions |= QFile::ExeUser;
    return QFile::setPermissions(local, permissions) ? 0 : 1;
}

int push(const SimDevice& device, const QStringList& args)
{
    const QString source = args.value(0);
    QString target = args.value(1);
    if (args.size() != 2 || !QFileInfo(source).isFile()) {
        err(QStringLiteral("adb: error: cannot stat '%1': No such file or directory\n").arg(source));
        return 1;
    }
    if (target.endsWith(u'/'))
        target += QFileInfo(source).fileName();
    const QString local = device.fileFor(target);
    if (local.isEmpty() || !target.startsWith(u'/')) {
        err(QStringLiteral("adb: error: failed to copy '%1' to '%2': remote Permission denied\n")
                .arg(source, target));
        return 1;
    }
    QDir().mkpath(QFileInfo(local).absolutePath());
    QFile::remove(local);
    if (!QFile::copy(source, local)) {
        err(QStringLiteral("adb: error: failed to copy '%1' to '%2'\n").arg(source, target));
        return 1;
    }
    // like the real tool, the copy keeps the source's permission bits
    QFile::setPermissions(local, QFileInfo(source).permissions());
    out(QStringLiteral("%1: 1 file pushed, 0 skipped.\n").arg(source));
    return 0;
}

int shell(const QString& stateDir, SimDevice& device, const QStringList& shellArgs)
{
    // the device's shell sees one command line, as with the real tool
    const QStringList words = shellArgs.join(u' ').split(u' ', Qt::SkipEmptyParts);
    if (words.size() == 2 && words[0] == QLatin1String("getprop")) {
        out(property(device, words[1]) + u'\n');
        return 0;
    }
    if (words.value(0) == QLatin1String("chmod"))
        return chmod(device, words);
    if (words.value(0).startsWith(QLatin1String("/data/local/tmp/")))
        return runAgent(stateDir, device, words[0], words.mid(1));
    if (words.size() >= 2 && words[0] == QLatin1String("am") && words[1] == QLatin1String("broadcast")) {
        QString component;
        QString data;
        for (int i = 2; i + 1 < words.size(); ++i) {
            if (words[i] == QLatin1String("-n"))
                component = words[++i];
            else if (words[i] == QLatin1String("-d"))
                data = words[++i];
        }
        out(QStringLiteral("Broadcasting: Intent { dat=%1 flg=0x400000 cmp=%2 }\n").arg(data, component));
        // a broadcast nobody receives still completes
        if (component == QLatin1String(AgentReceiver) &&
            device.packages().contains(QLatin1String(AgentPackage)))
            startAgent(stateDir, device, data);
        out(QStringLiteral("Broadcast completed: result=0\n"));
        return 0;
    }
    if (words.size() == 3 && words[0] == QLatin1String("am") && words[1] == QLatin1String("force-stop")) {
        // "am" starts a program on the phone, which takes a while before the app stops
        QThread::msleep(ulong(qBound(0, device.value(QStringLiteral("forceStopMs"), 0).toInt(), 10000)));
        if (words[2] == QLatin1String(SimDevice::ViberPackage))
            device.setViberRunning(false);
        return 0;
    }
    if ((words.size() == 2 && words[0] == QLatin1String("pm") && words[1] == QLatin1String("-l")) ||
        (words.size() == 3 && words[0] == QLatin1String("pm") && words[1] == QLatin1String("list") &&
         words[2] == QLatin1String("packages"))) {
        QString text;
        for (const QString& package : device.packages())
            text += QStringLiteral("package:") + package + u'\n';
        out(text);
        return 0;
    }
    err(QStringLiteral("/system/bin/sh: %1: inaccessible or not found\n").arg(words.value(0)));
    return 127;
}

int forward(const QString& stateDir, const SimDevice& device, const QStringList& args)
{
    auto valid = [](const QString& address) {
        bool ok = false;
        const int port = address.startsWith(QLatin1String("tcp:")) ? address.mid(4).toInt(&ok) : 0;
        return ok && port > 0 && port <= 65535;
    };
    QFile file(stateDir + QStringLiteral("/forwards"));
    if (args.size() == 2 && args[0] == QLatin1String("--remove") && valid(args[1])) {
        QStringList kept;
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            const QString prefix = device.serial() + QLatin1Char(' ') + args[1] + QLatin1Char(' ');
            for (const QString& line :
                 QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                if (!line.startsWith(prefix))
                    kept.append(line + QLatin1Char('\n'));
            }
            file.close();
        }
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            file.write(kept.join(QString()).toUtf8());
        return 0;
    }
    if (args.size() != 2 || !valid(args[0]) || !valid(args[1])) {
        err(QStringLiteral("adb: error: cannot bind listener: malformed forward address\n"));
        return 1;
    }
    if (file.open(QIODevice::Append | QIODevice::Text))
        file.write(QStringLiteral("%1 %2 %3\n").arg(device.serial(), args[0], args[1]).toUtf8());
    return 0;
}

int install(SimDevice& device, const QStringList& args)
{
    const QString apk = args.value(args.size() - 1);
    if (apk.isEmpty() || !QFileInfo(apk).isFile()) {
        err(QStringLiteral("adb: failed to stat %1: No such file or directory\n").arg(apk));
        return 1;
    }
    out(QStringLiteral("Performing Streamed Install\n"));
    const QString failure = device.value(QStringLiteral("installFailure")).toString();
    if (!failure.isEmpty()) {
        err(QStringLiteral("adb: failed to install %1: Failure [%2]\n").arg(apk, failure));
        return 1;
    }
    device.addPackage(QLatin1String(AgentPackage));
    out(QStringLiteral("Success\n"));
    return 0;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int backup(const QString& stateDir, const SimDevice& device, const QStringList& args)
{
    const int f = int(args.indexOf(QStringLiteral("-f")));
    const QString target = f >= 0 ? args.value(f + 1) : QStringLiteral("backup.ab");
    const QString package = args.value(args.size() - 1);
    err(QStringLiteral("WARNING: adb backup is deprecated and may be removed in a future release\n"
                       "Now unlock your device and confirm the backup operation...\n"));
    if (const int slow = device.slowMs(); slow > 0)
        QThread::msleep(ulong(slow));
    // The user tapped "Do not back up": the phone closes the stream before any byte,
    // and the tool leaves the empty file it opened.
    if (device.value(QStringLiteral("declineBackup"), false).toBool())
        return writeFile(target, QByteArray()) ? 0 : 1;
    QByteArray archive;
    try {
        archive = SimBackup::makeArchive(device,
                                         package == target ? QLatin1String(SimDevice::ViberPackage) : package,
                                         device.value(QStringLiteral("encryptedBackup"), false).toBool());
    } catch (const std::exception& e) {
        err(QStringLiteral("adb: backup failed: %1\n").arg(QString::fromUtf8(e.what())));
        return 1;
    }
    if (!device.value(QStringLiteral("growingBackup"), false).toBool())
        return writeFile(target, archive) ? 0 : 1;

    // The phone is still sending when the tool returns: a first part now, the rest when
    // a detached copy of this tool completes the file after a while.
    const QString rest = stateDir + QStringLiteral("/growing-%1.ab").arg(QDateTime::currentMSecsSinceEpoch());
    if (!writeFile(target, archive.left(archive.size() / 2)) || !writeFile(rest, archive))
        return 1;
    const int delay = qBound(0, device.value(QStringLiteral("growingMs"), 2000).toInt(), 60000);
    QProcess finisher;
    finisher.setProgram(QCoreApplication::applicationFilePath());
    finisher.setArguments({QStringLiteral("__complete-backup"), rest, target, QString::number(delay)});
    finisher.setStandardInputFile(QProcess::nullDevice());
    finisher.setStandardOutputFile(QProcess::nullDevice());
    finisher.setStandardErrorFile(QProcess::nullDevice());
    return finisher.startDetached() ? 0 : 1;
}

int completeBackup(const QStringList& args)
{
    QThread::msleep(ulong(qBound(0, args.value(2).toInt(), 60000)));
    QFile::remove(args.value(1));
    return QFile::rename(args.value(0), args.value(1)) ? 0 : 1;
}

int restore(SimDevice& device, const QStringList& args)
{
    const QString source = args.value(0);
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        err(QStringLiteral("adb: unable to open file %1: %2\n").arg(source, file.errorString()));
        return 1;
    }
    err(QStringLiteral("WARNING: adb restore is deprecated and may be removed in a future release\n"
                       "Now unlock your device and confirm the restore operation.\n"));
    // "Do not restore" leaves the phone as it was; the tool says nothing about it.
    if (device.value(QStringLiteral("declineRestore"), false).toBool())
        return 0;
    // The restore engine stops the app before it replaces the app's data.
    device.setViberRunning(false);
    try {
        SimBackup::restoreArchive(device, file.readAll());
    } catch (const std::exception& e) {
        // the phone's complaint shows on its screen, not in the tool
        QFile log(device.folder() + QStringLiteral("/restore-errors.log"));
        if (log.open(QIODevice::Append | QIODevice::Text))
            log.write(QByteArray(e.what()) + '\n');
    }
    return 0;
}

int run(const QStringList& allArgs)
{
    if (allArgs.value(0) == QLatin1String("__complete-backup"))
        return completeBackup(allArgs.mid(1));

    const QString stateDir = SimDevice::stateDirFromEnvironment();
    if (stateDir.isEmpty() || !QFileInfo(stateDir).isDir()) {
        err(QStringLiteral("phonesim adb: PHONESIM_DIR does not name a phone state folder\n"));
        return 1;
    }
    appendLog(stateDir, allArgs);

    QStringList args = allArgs;
    QString serial;
    if (args.value(0) == QLatin1String("-s")) {
        serial = args.value(1);
        args = args.mid(2);
    }
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);

    if (command == QLatin1String("start-server")) {
        ensureServer(stateDir);
        return 0;
    }
    if (command == QLatin1String("kill-server")) {
        QFile::remove(stateDir + QLatin1String(ServerMarker));
        return 0;
    }
    if (command == QLatin1String("version")) {
        out(QStringLiteral("Android Debug Bridge version 1.0.41\nVersion 34.0.5-phonesim\n"));
        return 0;
    }
    ensureServer(stateDir);
    if (command == QLatin1String("devices"))
        return devices(stateDir);

    static const QStringList deviceCommands = {QStringLiteral("shell"),  QStringLiteral("forward"),
                                               QStringLiteral("push"),   QStringLiteral("install"),
                                               QStringLiteral("backup"), QStringLiteral("restore")};
    if (!deviceCommands.contains(command)) {
        err(QStringLiteral("adb: unknown command %1\n").arg(command));
        return 1;
    }
    std::optional<SimDevice> device = selectDevice(stateDir, serial);
    if (!device)
        return 1;
    if (command == QLatin1String("shell"))
        return shell(stateDir, *device, rest);
    if (command == QLatin1String("forward"))
        return forward(stateDir, *device, rest);
    if (command == QLatin1String("install"))
        return install(*device, rest);
    if (command == QLatin1String("push"))
        return push(*device, rest);
    if (command == QLatin1String("backup"))
        return backup(stateDir, *device, rest);
    return restore(*device, rest);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int code = run(app.arguments().mid(1));
    fflush(stdout);
    fflush(stderr);
    return code;
}
