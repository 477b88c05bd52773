#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QCommandLineParser;
class QDateTime;
class QTextStream;

// The console's "schedule" command: backups that systemd's user timers start by
// themselves (add, list, remove), and the run such a timer starts, which waits for the
// phone and then backs it up as "phone load SERIAL --to NAME" does.
class CliSchedule
{
public:
    // A run that found another run of the same database still going (sysexits'
    // EX_TEMPFAIL: the next one catches up). The service counts it as success.
    static constexpr int Busy = 75;
    static constexpr int DefaultWaitSeconds = 600;
    static constexpr int MaxWaitSeconds = 24 * 3600;
    // Names the systemctl program in place of "systemctl" on PATH (tests).
    static constexpr auto SystemctlVariable = "VELLIPORT_SYSTEMCTL";

    // What the run takes from the program it belongs to.
    struct Program
    {
        // Runs one of the program's commands (the arguments without its name) and
        // gives its exit code.
        std::function<int(const QStringList&)> command;
        // What the program last printed as a failure.
        std::function<QString()> lastFailure;
        // Whether a termination signal came; delivers the signals that wait.
        std::function<bool()> interrupted;
    };

    CliSchedule(QTextStream& out, QTextStream& errors, Program program);

    // arguments after "schedule"; returns the exit code.
    int run(const QStringList& arguments);

private:
    int add(const QStringList& arguments);
    int list(const QStringList& arguments);
    int remove(const QStringList& arguments);
    int runBackup(const QStringList& arguments);

    // Empty when the phone is listed and ready within seconds, else why not; sets
    // interrupted when a termination signal ended the wait.
    QString waitForPhone(const QString& serial, const QString& connect, int seconds, bool& interrupted);
    // Records a run that ended before the backup worker recorded one, and tells the
    // desktop when it failed.
    void recordEarlyEnd(const QString& folder, const QString& serial, const QDateTime& started,
                        bool cancelled, const QString& message);
    // systemctl --user with the arguments; false with why when it did not run or failed.
    bool systemctl(const QStringList& arguments, QString& why) const;
    // The folder of the local database NAME names, in the letter case of an existing one.
    static QString databaseFolder(const QString& name);
    static bool isDatabaseName(const QString& name);

    int parse(QCommandLineParser& parser, const QString& command, const QStringList& arguments,
              int positionals);
    int usage(const QString& text, const QString& command);
    int fail(const QString& text);
    void say(const QString& text);
    void pause(int milliseconds, bool& interrupted);

    QTextStream& m_out;
    QTextStream& m_errors;
    Program m_program;
    bool m_quiet = false;
};
