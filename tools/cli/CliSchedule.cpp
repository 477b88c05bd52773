#include "tools/cli/CliSchedule.h"

#include "android/AdbTool.h"
#include "app/AppDirs.h"
#include "app/KeyTranslator.h"
#include "db/BackupRuns.h"
#include "ops/BackupViberMsgThread.h"
#include "tools/cli/CliNotifier.h"
#include "tools/cli/CliScheduleUnits.h"
#include "tools/cli/VelliportCli.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr auto CliName = "velliport-cli";
constexpr auto RunSourcePrefix = "phone:";
constexpr int SchedulePollMs = 2000;
// A phone reached by wireless debugging drops off adb's list when it sleeps or roams;
// it is connected again this often while the run waits for it.
constexpr int ScheduleConnectEveryMs = 15000;
constexpr int SystemctlStartMs = 5000;
constexpr int SystemctlFinishMs = 60000;
constexpr qsizetype MaxSystemReplyLength = 300;

using Exit = VelliportCli::ExitCode;

// One scheduled run per local database at a time. flock, because the kernel lets go
// of it when the process ends, however it ends: no stale lock can stop the next run.
class RunLock
{
public:
    explicit RunLock(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            m_error = errno;
            char pid[24] = {};
            if (::pread(m_fd, pid, sizeof pid - 1, 0) > 0)
                m_holder = QByteArray(pid).trimmed().toLongLong();
            return;
        }
        m_held = true;
        // The holder's process id, for the message of a run that finds it busy.
        const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, pid.constData(), size_t(pid.size()), 0) < 0)
            qWarning("the process id could not be written into the run lock");
    }
    ~RunLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    bool held() const { return m_held; }
    bool busy() const { return !m_held && m_fd >= 0 && m_error == EWOULDBLOCK; }
    qint64 holder() const { return m_holder; }
    QString error() const { return QString::fromLocal8Bit(std::strerror(m_error)); }

private:
    int m_fd = -1;
    int m_error = 0;
    bool m_held = false;
    qint64 m_holder = 0;
};

qint64 newestRunId(const QString& folder)
{
    qint64 newest = 0;
    for (const BackupRuns::Run& run : BackupRuns::runsIn(folder))
        newest = qMax(newest, run.id);
    return newest;
}

void addScheduleOptions(QCommandLineParser& parser, bool every, bool wait)
{
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")});
    parser.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                      QStringLiteral("No progress and no success message, only errors.")});
    parser.addOption({QStringLiteral("phone"),
                      QStringLiteral("The phone, as adb devices lists it (with --connect: HOST:PORT when not "
                                     "given)."),
                      QStringLiteral("SERIAL")});
    parser.addOption({QStringLiteral("to"),
                      QStringLiteral("The local database backed up into; made by the first run."),
                      QStringLiteral("NAME")});
    if (every)
        parser.addOption(
            {QStringLiteral("every"),
             QStringLiteral("daily, weekly, or a number of hours (1 to %1).").arg(CliScheduleUnits::MaxHours),
             QStringLiteral("WHEN")});
    parser.addOption({QStringLiteral("connect"),
                      QStringLiteral("Runs adb connect HOST:PORT first: a phone with wireless debugging "
                                     "(Android 11 or later), paired once with adb pair."),
                      QStringLiteral("HOST:PORT")});
    if (wait)
        parser.addOption({QStringLiteral("wait"),
                          QStringLiteral("How long to wait for the phone to appear (%1 s).")
                              .arg(CliSchedule::DefaultWaitSeconds),
                          QStringLiteral("SECONDS"), QString::number(CliSchedule::DefaultWaitSeconds)});
}

} // namespace

CliSchedule::CliSchedule(QTextStream& out, QTextStream& errors, Program program)
    : m_out(out), m_errors(errors), m_program(std::move(program))
{}

int CliSchedule::run(const QStringList& arguments)
{
    const QString action = arguments.value(0);
    if (action == QLatin1String("add"))
        return add(arguments.mid(1));
    if (action == QLatin1String("list"))
        return list(arguments.mid(1));
    if (action == QLatin1String("remove"))
        return remove(arguments.mid(1));
    if (action == QLatin1String("run"))
        return runBackup(arguments.mid(1));
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        m_out << "Usage: velliport-cli schedule add --phone SERIAL --to NAME --every daily|weekly|HOURS "
                 "[--connect HOST:PORT]\n"
                 "       velliport-cli schedule list\n"
                 "       velliport-cli schedule remove NAME\n"
                 "       velliport-cli schedule run --phone SERIAL --to NAME [--connect HOST:PORT] "
                 "[--wait SECONDS]\n"
                 "Run \"velliport-cli schedule add --help\" (or list, remove, run) for the options.\n";
        return Exit::Success;
    }
    return usage(QStringLiteral("expects add, list, remove or run"), QStringLiteral("schedule"));
}

int CliSchedule::parse(QCommandLineParser& parser, const QString& command, const QStringList& arguments,
                       int positionals)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(QStringList{QStringLiteral("%1 %2").arg(QLatin1String(CliName), command)} + arguments))
        return usage(parser.errorText(), command);
    if (parser.isSet(QStringLiteral("help"))) {
        QString help = parser.helpText();
        const qsizetype options = help.indexOf(QLatin1String(" [options]"));
        if (help.startsWith(QLatin1String("Usage: ")) && options > 0)
            help.replace(7, options - 7, QStringLiteral("%1 %2").arg(QLatin1String(CliName), command));
        m_out << help;
        return Exit::Success;
    }
    m_quiet = parser.isSet(QStringLiteral("quiet"));
    if (parser.positionalArguments().size() != positionals)
        return usage(positionals ? QStringLiteral("expects NAME") : QStringLiteral("takes no arguments"),
                     command);
    return -1;
}

int CliSchedule::usage(const QString& text, const QString& command)
{
    m_errors << CliName << ' ' << command << ": " << text << "\nRun \"" << CliName << ' ' << command
             << " --help\" for its options.\n";
    return Exit::Usage;
}

int CliSchedule::fail(const QString& text)
{
    m_errors << CliName << ": " << text << '\n';
    m_errors.flush();
    return Exit::Failure;
}

void CliSchedule::say(const QString& text)
{
    if (!m_quiet && !text.isEmpty()) {
        m_errors << text << '\n';
        m_errors.flush();
    }
}

bool CliSchedule::isDatabaseName(const QString& name)
{
    return BackupViberMsgThread::isValidName(name) && AppDirs::isValidLocalDatabaseName(name) &&
           CliScheduleUnits::isPlainLine(name);
}

QString CliSchedule::databaseFolder(const QString& name)
{
    // As a backup does: a name that differs from an existing database only in letter
    // case is that database.
    for (const QString& existing : AppDirs::localDatabaseNames(AppDirs::localDatabasesFolder())) {
        if (existing.compare(name, Qt::CaseInsensitive) == 0)
            return AppDirs::localDatabasePath(existing);
    }
    return AppDirs::localDatabasePath(name);
}

bool CliSchedule::systemctl(const QStringList& arguments, QString& why) const
{
    const QString program = qEnvironmentVariableIsSet(SystemctlVariable)
                                ? qEnvironmentVariable(SystemctlVariable)
                                : QStringLiteral("systemctl");
    QProcess process;
    process.start(program, QStringList{QStringLiteral("--user")} + arguments);
    if (!process.waitForStarted(SystemctlStartMs)) {
        why = QStringLiteral("%1 could not be run").arg(program);
        return false;
    }
    if (!process.waitForFinished(SystemctlFinishMs)) {
        process.kill();
        process.waitForFinished(SystemctlStartMs);
        why = QStringLiteral("%1 did not answer").arg(program);
        return false;
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    why = QString::fromLocal8Bit(process.readAllStandardError()).trimmed().section(QLatin1Char('\n'), 0, 0);
    why = why.isEmpty() ? QStringLiteral("%1 ended with %2").arg(program).arg(process.exitCode())
                        : why.left(MaxSystemReplyLength);
    return false;
}

int CliSchedule::add(const QStringList& arguments)
{
    const QString command = QStringLiteral("schedule add");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a systemd user service and timer into $XDG_CONFIG_HOME/systemd/user "
                       "(~/.config/systemd/user) that back the phone up into NAME by themselves, and enables "
                       "the timer when systemd's user manager answers. A schedule into NAME replaces the "
                       "one before."));
    addScheduleOptions(parser, true, false);
    if (const int code = parse(parser, command, arguments, 0); code >= 0)
        return code;
    CliScheduleUnits::Schedule schedule;
    schedule.connect = parser.value(QStringLiteral("connect")).trimmed();
    schedule.serial = parser.value(QStringLiteral("phone")).trimmed();
    schedule.database = parser.value(QStringLiteral("to")).trimmed();
    schedule.every = parser.value(QStringLiteral("every")).trimmed().toLower();
    if (!schedule.connect.isEmpty() && !CliScheduleUnits::isHostPort(schedule.connect))
        return usage(QStringLiteral("--connect takes HOST:PORT, as adb connect does"), command);
    if (schedule.serial.isEmpty())
        schedule.serial = schedule.connect;
    if (schedule.serial.isEmpty())
        return usage(QStringLiteral("--phone SERIAL is required"), command);
    if (!CliScheduleUnits::isSerial(schedule.serial))
        return usage(QStringLiteral("\"%1\" is no phone serial adb lists").arg(schedule.serial), command);
    if (!isDatabaseName(schedule.database))
        return usage(
            QStringLiteral("--to NAME is required and must name a local database (none of \\ / : * ? "
                           "\" < > |)"),
            command);
    if (!CliScheduleUnits::isEvery(schedule.every))
        return usage(QStringLiteral("--every must be daily, weekly or a number of hours from 1 to %1")
                         .arg(CliScheduleUnits::MaxHours),
                     command);
    const QString program = QCoreApplication::applicationFilePath();
    if (!CliScheduleUnits::isPlainLine(program))
        return fail(QStringLiteral("the program's path %1 cannot be written into a unit").arg(program));

    const QString folder = CliScheduleUnits::folder();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot make the folder %1").arg(folder));
    const QString unit = CliScheduleUnits::unitName(schedule.database);
    const QDir units(folder);
    const bool replaces = QFileInfo::exists(units.filePath(unit + QStringLiteral(".service")));
    const QList<std::pair<QString, QString>> files = {
        {units.filePath(unit + QStringLiteral(".service")), CliScheduleUnits::serviceText(schedule, program)},
        {units.filePath(unit + QStringLiteral(".timer")), CliScheduleUnits::timerText(schedule)}};
    for (const auto& [path, text] : files) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
            return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    say(QStringLiteral("%1 %2.service and %2.timer in %3")
            .arg(replaces ? QStringLiteral("replaced") : QStringLiteral("wrote"), unit, folder));
    QString why;
    if (systemctl({QStringLiteral("daemon-reload")}, why) &&
        systemctl({QStringLiteral("enable"), QStringLiteral("--now"), unit + QStringLiteral(".timer")},
                  why)) {
        say(QStringLiteral("the timer is on: systemctl --user list-timers shows when it runs next"));
        return Exit::Success;
    }
    // A computer without systemd's user manager (a container, a session without
    // systemd) keeps the files for when it has one.
    m_errors << "systemd's user manager did not take the timer (" << why << "). To start it:\n"
             << "  systemctl --user daemon-reload && systemctl --user enable --now " << unit << ".timer\n";
    m_errors.flush();
    return Exit::Success;
}

int CliSchedule::list(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The scheduled backups, one a line: database, phone, interval, and the start, outcome "
        "and any error of the phone's last run into that database (\"never\" before the first)."));
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")});
    parser.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                      QStringLiteral("No progress and no success message, only errors.")});
    if (const int code = parse(parser, QStringLiteral("schedule list"), arguments, 0); code >= 0)
        return code;
    const QList<CliScheduleUnits::Schedule> schedules = CliScheduleUnits::read(CliScheduleUnits::folder());
    for (const CliScheduleUnits::Schedule& schedule : schedules) {
        m_out << schedule.database << '\t' << schedule.serial << '\t'
              << (schedule.every.front().isDigit() ? schedule.every + QStringLiteral("h") : schedule.every);
        const QString source = QLatin1String(RunSourcePrefix) + schedule.serial;
        const QList<BackupRuns::Run> runs = BackupRuns::runsIn(databaseFolder(schedule.database));
        const auto last = std::find_if(runs.begin(), runs.end(),
                                       [&](const BackupRuns::Run& run) { return run.source == source; });
        if (last == runs.end()) {
            m_out << "\tnever\n";
            continue;
        }
        m_out << '\t' << last->started.toLocalTime().toString(Qt::ISODate) << '\t'
              << BackupRuns::outcomeName(last->outcome);
        if (!last->message.isEmpty())
            m_out << '\t' << QString(last->message).replace(QLatin1Char('\n'), QLatin1Char(' '));
        m_out << '\n';
    }
    if (schedules.isEmpty())
        say(QStringLiteral("no scheduled backups in %1").arg(CliScheduleUnits::folder()));
    return Exit::Success;
}

int CliSchedule::remove(const QStringList& arguments)
{
    const QString command = QStringLiteral("schedule remove");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stops and disables the timer of the scheduled backup into NAME and removes its units. "
        "The database and its run log stay."));
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")});
    parser.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                      QStringLiteral("No progress and no success message, only errors.")});
    parser.addPositionalArgument(QStringLiteral("NAME"),
                                 QStringLiteral("The local database backed up into."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const QString name = parser.positionalArguments().constFirst().trimmed();
    if (!isDatabaseName(name))
        return usage(QStringLiteral("\"%1\" cannot name a local database").arg(name), command);
    const QString unit = CliScheduleUnits::unitName(name);
    const QDir units(CliScheduleUnits::folder());
    const QStringList paths = {units.filePath(unit + QStringLiteral(".service")),
                               units.filePath(unit + QStringLiteral(".timer"))};
    if (!QFileInfo::exists(paths.at(0)) && !QFileInfo::exists(paths.at(1)))
        return fail(
            QStringLiteral("no schedule backs up into \"%1\" (velliport-cli schedule list shows them)")
                .arg(name));
    // Without a user manager there is nothing to stop; the files go either way.
    QString why;
    systemctl({QStringLiteral("disable"), QStringLiteral("--now"), unit + QStringLiteral(".timer")}, why);
    for (const QString& path : paths) {
        if (QFileInfo::exists(path) && !QFile::remove(path))
            return fail(QStringLiteral("cannot remove %1").arg(path));
    }
    systemctl({QStringLiteral("daemon-reload")}, why);
    say(QStringLiteral("removed %1.service and %1.timer; the database \"%2\" stays").arg(unit, name));
    return Exit::Success;
}

void CliSchedule::pause(int milliseconds, bool& interrupted)
{
    const QDeadlineTimer until(milliseconds);
    while (!until.hasExpired() && !interrupted) {
        interrupted = m_program.interrupted();
        QThread::msleep(quint64(qBound<qint64>(0, until.remainingTime(), qint64(50))));
    }
    interrupted = interrupted || m_program.interrupted();
}

QString CliSchedule::waitForPhone(const QString& serial, const QString& connect, int seconds,
                                  bool& interrupted)
{
    if (QStandardPaths::findExecutable(AdbTool::program()).isEmpty())
        return KeyTranslator::text("IDS_SCHEDULED_RUN_NO_ADB");
    const QDeadlineTimer deadline(std::chrono::seconds{seconds});
    QDeadlineTimer nextConnect(0);
    bool serverStarted = false;
    bool connectedOnce = false;
    bool toldWaiting = false;
    QString state;
    for (;;) {
        try {
            const AdbTool adb(std::chrono::seconds(20));
            // The server's start-up lines come on standard error, which the device
            // list would take for a failure.
            if (!serverStarted)
                adb.run({QStringLiteral("start-server")}, false);
            serverStarted = true;
            if (!connect.isEmpty() && nextConnect.hasExpired()) {
                const QString reply = adb.run({QStringLiteral("connect"), connect}, false).simplified();
                if (!connectedOnce)
                    say(QStringLiteral("adb connect %1: %2").arg(connect, reply.left(MaxSystemReplyLength)));
                nextConnect.setRemainingTime(ScheduleConnectEveryMs);
                connectedOnce = true;
            }
            for (const AdbDevice& device : adb.devices()) {
                if (device.serial != serial)
                    continue;
                if (device.isOnline())
                    return {};
                state = device.notReadyText();
            }
        } catch (const std::exception& e) {
            state = QString::fromUtf8(e.what()).left(MaxSystemReplyLength);
        }
        if (deadline.hasExpired())
            break;
        if (!toldWaiting)
            say(QStringLiteral("waiting up to %1 s for the phone %2").arg(seconds).arg(serial));
        toldWaiting = true;
        pause(int(qMin<qint64>(SchedulePollMs, deadline.remainingTime())), interrupted);
        if (interrupted)
            return {};
    }
    QString why = KeyTranslator::text("IDS_SCHEDULED_RUN_NO_PHONE_%1_%2").arg(serial).arg(seconds);
    if (!state.isEmpty())
        why += QLatin1Char(' ') + state;
    return why;
}

void CliSchedule::recordEarlyEnd(const QString& folder, const QString& serial, const QDateTime& started,
                                 bool cancelled, const QString& message)
{
    // The run log is what the window's "Last backup" and "schedule list" show: a run
    // that never reached the phone counts as one, or the failures would go unseen.
    try {
        QDir().mkpath(folder);
        BackupRuns::Run run;
        run.source = QLatin1String(RunSourcePrefix) + serial;
        run.started = started;
        run.ended = QDateTime::currentDateTimeUtc();
        run.outcome = cancelled ? BackupRuns::Outcome::Cancelled : BackupRuns::Outcome::Failed;
        run.message = message;
        BackupRuns(folder).record(run, {});
    } catch (const std::exception& e) {
        m_errors << CliName << ": the run could not be recorded in " << QDir::toNativeSeparators(folder)
                 << ": " << e.what() << '\n';
    }
}

int CliSchedule::runBackup(const QStringList& arguments)
{
    const QString command = QStringLiteral("schedule run");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "What a schedule's timer starts: waits for the phone (with --connect after adb connect), "
            "then backs it up as phone load SERIAL --to NAME does. One run at a time per "
            "database: a run that finds another one still running ends at once with exit code %1. "
            "A run that fails is recorded in the database's run log and shown as a desktop "
            "notification.")
            .arg(Busy));
    addScheduleOptions(parser, false, true);
    if (const int code = parse(parser, command, arguments, 0); code >= 0)
        return code;
    const QString connect = parser.value(QStringLiteral("connect")).trimmed();
    QString serial = parser.value(QStringLiteral("phone")).trimmed();
    const QString name = parser.value(QStringLiteral("to")).trimmed();
    if (!connect.isEmpty() && !CliScheduleUnits::isHostPort(connect))
        return usage(QStringLiteral("--connect takes HOST:PORT, as adb connect does"), command);
    if (serial.isEmpty())
        serial = connect;
    if (!CliScheduleUnits::isSerial(serial))
        return usage(QStringLiteral("--phone SERIAL is required and must be a serial adb lists"), command);
    if (!isDatabaseName(name))
        return usage(QStringLiteral("--to NAME is required and must name a local database"), command);
    bool numeric = false;
    const int wait = parser.value(QStringLiteral("wait")).toInt(&numeric);
    if (!numeric || wait < 0 || wait > MaxWaitSeconds)
        return usage(QStringLiteral("--wait must be a number of seconds from 0 to %1").arg(MaxWaitSeconds),
                     command);

    const QString lockPath = QDir(AppDirs::localDatabasesFolder())
                                 .filePath(QStringLiteral(".%1.lock").arg(CliScheduleUnits::unitName(name)));
    const RunLock lock(lockPath);
    if (lock.busy()) {
        m_errors << CliName << ": a scheduled backup into \"" << name << "\" is still running (process "
                 << lock.holder() << "); this run leaves it to finish\n";
        m_errors.flush();
        return Busy;
    }
    const QString folder = databaseFolder(name);
    const QString summary = KeyTranslator::text("IDS_SCHEDULED_RUN_FAILED_%1_%2").arg(serial, name);
    if (!lock.held()) {
        const QString why = QStringLiteral("cannot lock %1: %2").arg(lockPath, lock.error());
        CliNotifier::notify(summary, why);
        return fail(why);
    }

    const QDateTime started = QDateTime::currentDateTimeUtc();
    bool interrupted = false;
    const QString missing = waitForPhone(serial, connect, wait, interrupted);
    if (interrupted) {
        recordEarlyEnd(folder, serial, started, true,
                       KeyTranslator::text("IDS_SCHEDULED_RUN_STOPPED_WAITING"));
        m_errors << CliName << ": interrupted while waiting for the phone\n";
        return Exit::Interrupted;
    }
    if (!missing.isEmpty()) {
        recordEarlyEnd(folder, serial, started, false, missing);
        CliNotifier::notify(summary, missing);
        return fail(missing);
    }

    const qint64 before = newestRunId(folder);
    QStringList load = {QStringLiteral("phone"), QStringLiteral("load"), serial, QStringLiteral("--to"),
                        name};
    if (m_quiet)
        load.append(QStringLiteral("--quiet"));
    const int code = m_program.command(load);
    if (code == Exit::Success)
        return code;
    // The backup worker records its own run, failed or cancelled; a run that ended
    // before it (the phone's agent, the load) is recorded here.
    const QString failure = m_program.lastFailure();
    if (newestRunId(folder) <= before)
        recordEarlyEnd(folder, serial, started, code == Exit::Interrupted, failure);
    if (code != Exit::Interrupted)
        CliNotifier::notify(summary, failure);
    return code;
}
