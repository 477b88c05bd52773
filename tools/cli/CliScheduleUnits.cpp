#include "tools/cli/CliScheduleUnits.h"

#include "android/AdbTool.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

namespace {

// A unit file of ours is a few hundred bytes; anything much longer is not one.
constexpr qint64 MaxUnitFileBytes = 64 * 1024;
constexpr qsizetype MaxUnitSlugLength = 40;
constexpr int UnitHashLength = 8;

// Values other than ExecStart's words: a specifier would be expanded.
QString unitFileValue(const QString& text)
{
    return QString(text).replace(QLatin1Char('%'), QStringLiteral("%%"));
}

QString unitDescription(const CliScheduleUnits::Schedule& schedule)
{
    return unitFileValue(
        QStringLiteral("Velliport backup of phone %1 into %2").arg(schedule.serial, schedule.database));
}

} // namespace

QString CliScheduleUnits::folder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("systemd/user"));
}

QString CliScheduleUnits::unitName(const QString& database)
{
    const QString folded = database.toCaseFolded();
    QString slug;
    for (const QChar c : folded) {
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            slug.append(c);
        else if (!slug.endsWith(QLatin1Char('-')))
            slug.append(QLatin1Char('-'));
    }
    while (slug.endsWith(QLatin1Char('-')))
        slug.chop(1);
    while (slug.startsWith(QLatin1Char('-')))
        slug.remove(0, 1);
    if (slug != folded || slug.size() > MaxUnitSlugLength) {
        const QByteArray digest =
            QCryptographicHash::hash(folded.toUtf8(), QCryptographicHash::Sha256).toHex();
        slug = slug.left(MaxUnitSlugLength);
        if (!slug.isEmpty() && !slug.endsWith(QLatin1Char('-')))
            slug.append(QLatin1Char('-'));
        slug.append(QString::fromLatin1(digest.left(UnitHashLength)));
    }
    return QLatin1String(Prefix) + slug;
}

bool CliScheduleUnits::isSerial(const QString& serial)
{
    // What adb lists: USB serials, HOST:PORT of a connected phone, the names of phones
    // found by mDNS. Never a leading dash, which adb would take for an option.
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9\\[][A-Za-z0-9._:\\[\\]-]*$"));
    return serial.size() <= AdbTool::MaxSerialLength && pattern.match(serial).hasMatch();
}

bool CliScheduleUnits::isHostPort(const QString& address)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\[[0-9A-Fa-f:.]{2,45}\\]|[A-Za-z0-9][A-Za-z0-9.-]{0,252}):([0-9]{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(address);
    const int port = match.captured(2).toInt();
    return match.hasMatch() && port >= 1 && port <= 65535;
}

bool CliScheduleUnits::isEvery(const QString& every)
{
    if (every == QLatin1String("daily") || every == QLatin1String("weekly"))
        return true;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    return digits.match(every).hasMatch() && every.toInt() >= 1 && every.toInt() <= MaxHours;
}

bool CliScheduleUnits::isPlainLine(const QString& text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control ||
               c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
}

QString CliScheduleUnits::execWord(const QString& word)
{
    QString quoted = word;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""))
        .replace(QLatin1Char('%'), QStringLiteral("%%"))
        .replace(QLatin1Char('$'), QStringLiteral("$$"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CliScheduleUnits::serviceText(const Schedule& schedule, const QString& program)
{
    QStringList words = {
        program,         QStringLiteral("schedule"), QStringLiteral("run"), QStringLiteral("--phone"),
        schedule.serial, QStringLiteral("--to"),     schedule.database};
    if (!schedule.connect.isEmpty())
        words << QStringLiteral("--connect") << schedule.connect;
    QStringList exec;
    for (const QString& word : std::as_const(words))
        exec.append(execWord(word));
    QString text =
        QStringLiteral("# Written by velliport-cli schedule add; velliport-cli schedule remove removes it.\n"
                       "[Unit]\n"
                       "Description=%1\n"
                       "\n"
                       "[Service]\n"
                       "Type=oneshot\n"
                       "ExecStart=%2\n"
                       // A run that finds the last one still busy with the
                       // database ends with 75: the next one catches up.
                       "SuccessExitStatus=75\n"
                       "Nice=10\n"
                       "IOSchedulingClass=idle\n\n"
                       "[%3]\n"
                       "Phone=%4\n"
                       "Database=%5\n"
                       "Every=%6\n")
            .arg(unitDescription(schedule), exec.join(QLatin1Char(' ')), QLatin1String(Section),
                 schedule.serial, schedule.database, schedule.every);
    if (!schedule.connect.isEmpty())
        text += QStringLiteral("Connect=%1\n").arg(schedule.connect);
    return text;
}

QString CliScheduleUnits::timerText(const Schedule& schedule)
{
    // A calendar timer catches up at boot on a run the computer was off for. A timer by
    // hours counts from the service's last start, which a new timer has none of: its
    // first run comes a few minutes after it starts (at enabling and at each login).
    const bool calendar = !schedule.every.front().isDigit();
    const QString when = calendar
                             ? QStringLiteral("OnCalendar=%1\nPersistent=true\n").arg(schedule.every)
                             : QStringLiteral("OnActiveSec=10min\nOnUnitActiveSec=%1h\n").arg(schedule.every);
    return QStringLiteral(
               "# Written by velliport-cli schedule add; velliport-cli schedule remove removes it.\n"
               "[Unit]\n"
               "Description=%1\n\n"
               "[Timer]\n"
               "%2\n"
               "[Install]\n"
               "WantedBy=timers.target\n")
        .arg(unitDescription(schedule), when);
}

std::optional<CliScheduleUnits::Schedule> CliScheduleUnits::parse(const QByteArray& serviceText)
{
    Schedule schedule;
    bool inSection = false;
    for (const QByteArray& rawLine : serviceText.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QStringLiteral("[%1]").arg(QLatin1String(Section));
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inSection || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Phone"))
            schedule.serial = value;
        else if (key == QLatin1String("Database"))
            schedule.database = value;
        else if (key == QLatin1String("Every"))
            schedule.every = value;
        else if (key == QLatin1String("Connect"))
            schedule.connect = value;
    }
    // A file edited by hand is listed only while it still says what a schedule can.
    if (!isSerial(schedule.serial) || schedule.database.isEmpty() || !isPlainLine(schedule.database) ||
        !isEvery(schedule.every) || (!schedule.connect.isEmpty() && !isHostPort(schedule.connect)))
        return std::nullopt;
    return schedule;
}

QList<CliScheduleUnits::Schedule> CliScheduleUnits::read(const QString& folder)
{
    QList<Schedule> schedules;
    const QFileInfoList files = QDir(folder).entryInfoList(
        {QLatin1String(Prefix) + QStringLiteral("*.service")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& info : files) {
        QFile file(info.absoluteFilePath());
        if (info.size() > MaxUnitFileBytes || !file.open(QIODevice::ReadOnly))
            continue;
        if (const std::optional<Schedule> schedule = parse(file.read(MaxUnitFileBytes)))
            schedules.append(*schedule);
    }
    std::sort(schedules.begin(), schedules.end(), [](const Schedule& a, const Schedule& b) {
        return a.database.compare(b.database, Qt::CaseInsensitive) < 0;
    });
    return schedules;
}
