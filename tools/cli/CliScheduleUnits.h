#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The systemd user units that start scheduled backups: where they lie, what they are
// called and what they say, and the schedules read back from them. A phone serial and a
// database name come from the user, so they are checked here (is*) before they reach a
// unit, and quoted there for the key they land in: no value can add a line, a word or a
// specifier to a unit.
class CliScheduleUnits
{
public:
    static constexpr auto Prefix = "velliport-backup-";
    // The section systemd passes over, where the schedule is kept for "schedule list".
    static constexpr auto Section = "X-Velliport";
    static constexpr int MaxHours = 24 * 366;

    struct Schedule
    {
        QString serial;
        QString database;
        QString every;   // "daily", "weekly" or a number of hours
        QString connect; // HOST:PORT of a phone reached by wireless debugging, or empty
    };

    // $XDG_CONFIG_HOME/systemd/user, where systemd's user manager looks for units.
    static QString folder();
    // The units' name without .service or .timer, from the database name in any letter
    // case (local databases' names ignore it): its letters and digits, and when that
    // loses anything, a digest of the whole name so that two names never share units.
    static QString unitName(const QString& database);

    static bool isSerial(const QString& serial);
    static bool isHostPort(const QString& address);
    static bool isEvery(const QString& every);
    // No control character: a line break would end the value's line in a unit.
    static bool isPlainLine(const QString& text);

    static QString serviceText(const Schedule& schedule, const QString& program);
    static QString timerText(const Schedule& schedule);
    // The schedule a service file holds; nullopt for a file that is not one of ours.
    static std::optional<Schedule> parse(const QByteArray& serviceText);
    // The schedules of the service files in folder, by database name.
    static QList<Schedule> read(const QString& folder);

    // One word of ExecStart as systemd reads it back: quoted, with escapes for
    // backslash and quote and the doubled % and $ that keep specifiers and variables out.
    static QString execWord(const QString& word);
};
