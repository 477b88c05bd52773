#include "tools/cli/VelliportCli.h"

#include "android/AdbTool.h"
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadViberThread.h"
#include "android/AndroidRestoreViberThread.h"
#include "android/AndroidUndoTransferThread.h"
#include "android/RestoreSafetyCopies.h"
#include "app/AppDirs.h"
#include "app/KeyTranslator.h"
#include "db/BackupPasswords.h"
#include "db/BackupRuns.h"
#include "db/EncryptedBackup.h"
#include "db/IOSViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/LocalHistorySearch.h"
#include "db/PCViberAccounts.h"
#include "db/SearchIndex.h"
#include "db/ViberChat.h"
#include "db/ViberDataSet.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"
#include "ops/BackupViberMsgThread.h"
#include "ops/DeleteViberMsgThread.h"
#include "ops/ExportManifest.h"
#include "ops/ExportMessagesJson.h"
#include "ops/ExportMessagesThread.h"
#include "ops/ExportViberCallsThread.h"
#include "ops/ExtractMediaFilesThread.h"
#include "ops/MessageFilter.h"
#include "tools/cli/CliPassword.h"
#include "tools/cli/CliProgress.h"
#include "tools/cli/CliSchedule.h"
#include "tools/cli/CliSource.h"
#include "tools/cli/CliTask.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <chrono>

namespace {

constexpr auto Program = "velliport-cli";
constexpr auto PhonePrefix = "phone:";

const QStringList Commands = {
    QStringLiteral("sources"), QStringLiteral("chats"),         QStringLiteral("export"),
    QStringLiteral("backup"),  QStringLiteral("extract-media"), QStringLiteral("calls"),
    QStringLiteral("delete"),  QStringLiteral("info"),          QStringLiteral("verify"),
    QStringLiteral("search"),  QStringLiteral("phone"),         QStringLiteral("schedule")};

QString overview()
{
    return QStringLiteral(
        "Usage: velliport-cli COMMAND [OPTIONS]\n"
        "Reads, backs up and exports Viber message histories.\n\n"
        "Commands:\n"
        "  sources                       local databases, desktop accounts and phones found\n"
        "  chats SOURCE [--json]         the chats of a source\n"
        "  export SOURCE --format F --output PATH\n"
        "                                messages as txt, csv, pdf, html or json\n"
        "  backup SOURCE --to NAME       messages into a local database\n"
        "  extract-media SOURCE --output DIR\n"
        "                                the attachments into a folder\n"
        "  calls SOURCE --output FILE    the call log as a text table\n"
        "  delete SOURCE                 messages of a local database, by chat or date\n"
        "  info SOURCE                   format, counts and integrity of a source\n"
        "  verify EXPORT                 whether an export's files are as it wrote them\n"
        "  search QUERY                  messages of every local database, newest first\n"
        "  phone load SERIAL [--to NAME] a phone's history, backed up when NAME is given\n"
        "  phone transfer SOURCE --to SERIAL [--yes]\n"
        "                                messages into a phone, after keeping its databases\n"
        "  phone undo-transfer SERIAL    the phone's databases back as before its last transfer\n"
        "  schedule add --phone SERIAL --to NAME --every daily|weekly|HOURS\n"
        "                                a backup of the phone that a systemd user timer starts\n"
        "  schedule list                 the scheduled backups and how their last runs went\n"
        "  schedule remove NAME          ends the scheduled backup into NAME\n"
        "  schedule run --phone SERIAL --to NAME\n"
        "                                what the timer starts: waits for the phone, then backs it up\n\n"
        "SOURCE: a local database name or folder, a desktop viber.db or its account folder,\n"
        "an Android backup archive (.ab) or an unpacked one, or phone:SERIAL.\n"
        "Run \"velliport-cli COMMAND --help\" for the options of a command.\n"
        "Exit codes: 0 success, 1 failure, 2 usage error, 75 a scheduled backup into the same\n"
        "database is still running, 130 interrupted.\n");
}

QString isoOrEmpty(bool present, double refSeconds)
{
    return present ? ExportMessagesJson::isoTime(refSeconds) : QString();
}

struct ChatSummary
{
    const _ViberChat* chat = nullptr;
    qint64 count = 0;
    double first = 0;
    double last = 0;
};

ChatSummary summarise(const _ViberChat& chat)
{
    ChatSummary summary{&chat};
    for (const _ViberMsg* msg : chat.messages) {
        if (summary.count == 0 || msg->date < summary.first)
            summary.first = msg->date;
        if (summary.count == 0 || msg->date > summary.last)
            summary.last = msg->date;
        ++summary.count;
    }
    return summary;
}

QList<_ViberChat*> chatsById(const ViberDataSet& data)
{
    QList<_ViberChat*> chats = data.allChats();
    std::sort(chats.begin(), chats.end(),
              [](const _ViberChat* a, const _ViberChat* b) { return a->id < b->id; });
    return chats;
}

} // namespace

VelliportCli::VelliportCli(QTextStream& out, QTextStream& errors, QTextStream& in, bool terminal,
                           QObject* parent)
    : QObject(parent), m_out(out), m_errors(errors), m_in(in), m_terminal(terminal)
{}

VelliportCli::~VelliportCli() = default;

void VelliportCli::close()
{
    m_interrupted = true;
    if (m_active)
        m_active->cancel();
}

bool VelliportCli::readsHistories(const QStringList& arguments)
{
    static const QStringList reading = {QStringLiteral("chats"),
                                        QStringLiteral("export"),
                                        QStringLiteral("backup"),
                                        QStringLiteral("extract-media"),
                                        QStringLiteral("calls"),
                                        QStringLiteral("delete"),
                                        QStringLiteral("info"),
                                        QStringLiteral("search"),
                                        QStringLiteral("phone load"),
                                        QStringLiteral("phone transfer"),
                                        QStringLiteral("phone undo-transfer"),
                                        QStringLiteral("schedule run")};
    const QString command = arguments.value(0);
    return reading.contains(command) || reading.contains(command + QLatin1Char(' ') + arguments.value(1));
}

int VelliportCli::run(const QStringList& arguments)
{
    const QString command = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (command.isEmpty()) {
        m_errors << overview();
        return Usage;
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        m_out << overview();
        return Success;
    }
    if (command == QLatin1String("--version")) {
        m_out << Program << ' ' << VELLIPORT_VERSION << '\n';
        return Success;
    }
    if (command == QLatin1String("sources"))
        return sources(rest);
    if (command == QLatin1String("chats"))
        return chats(rest);
    if (command == QLatin1String("export"))
        return exportMessages(rest);
    if (command == QLatin1String("backup"))
        return backup(rest);
    if (command == QLatin1String("extract-media"))
        return extractMedia(rest);
    if (command == QLatin1String("calls"))
        return calls(rest);
    if (command == QLatin1String("delete"))
        return deleteMessages(rest);
    if (command == QLatin1String("info"))
        return info(rest);
    if (command == QLatin1String("verify"))
        return verify(rest);
    if (command == QLatin1String("search"))
        return search(rest);
    if (command == QLatin1String("phone"))
        return phone(rest);
    if (command == QLatin1String("schedule")) {
        // A scheduled run backs up through "phone load", and a termination signal
        // reaches it through this object as it reaches every command.
        CliSchedule::Program program{[this](const QStringList& arguments) { return run(arguments); },
                                     [this] { return m_lastFailure; },
                                     [this] {
                                         QCoreApplication::processEvents();
                                         return m_interrupted;
                                     }};
        return CliSchedule(m_out, m_errors, std::move(program)).run(rest);
    }
    m_errors << Program << ": unknown command \"" << command << "\" (one of "
             << Commands.join(QLatin1String(", ")) << ")\n";
    return Usage;
}

int VelliportCli::checkSelectors(const MessageFilter& filter, const QList<_ViberChat*>& chats)
{
    const QStringList unmatched = filter.unmatchedSelectors(chats);
    if (unmatched.isEmpty())
        return -1;
    return fail(QStringLiteral("no chat matches \"%1\"").arg(unmatched.join(QLatin1String("\", \""))));
}

int VelliportCli::fail(const QString& text)
{
    m_lastFailure = text;
    m_errors << Program << ": " << text << '\n';
    m_errors.flush();
    return m_interrupted ? Interrupted : Failure;
}

int VelliportCli::usage(const QString& text, const QString& command)
{
    m_errors << Program << ' ' << command << ": " << text << "\nRun \"" << Program << ' ' << command
             << " --help\" for its options.\n";
    return Usage;
}

void VelliportCli::say(const QString& text)
{
    if (!m_quiet && !text.isEmpty())
        m_errors << text << '\n';
}

void VelliportCli::addCommonOptions(QCommandLineParser& parser)
{
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")});
    parser.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                      QStringLiteral("No progress and no success message, only errors.")});
    parser.addOption({QStringLiteral("password-file"),
                      QStringLiteral("The password of an encrypted iPhone backup: the first line of FILE; - "
                                     "reads it from standard input. Without it a terminal asks."),
                      QStringLiteral("FILE")});
}

void VelliportCli::addSelectionOptions(QCommandLineParser& parser)
{
    parser.addOption({QStringLiteral("chat"),
                      QStringLiteral("Only the chat with this id, or whose title, participant name or number "
                                     "contains this text; repeatable."),
                      QStringLiteral("CHAT")});
    parser.addOption({QStringLiteral("exclude-chat"),
                      QStringLiteral("Leaves out matching chats; repeatable."), QStringLiteral("CHAT")});
    parser.addOption({QStringLiteral("after"),
                      QStringLiteral("Only messages at or after this date or date-time (ISO 8601)."),
                      QStringLiteral("DATE")});
    parser.addOption({QStringLiteral("before"),
                      QStringLiteral("Only messages before this date or date-time (ISO 8601)."),
                      QStringLiteral("DATE")});
    parser.addOption(
        {QStringLiteral("utc"), QStringLiteral("Dates without an offset are UTC rather than local time.")});
}

int VelliportCli::parse(QCommandLineParser& parser, const QString& command, const QStringList& arguments,
                        int positionals)
{
    parser.setApplicationDescription(QString());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(QStringList{QStringLiteral("%1 %2").arg(QLatin1String(Program), command)} + arguments))
        return usage(parser.errorText(), command);
    if (parser.isSet(QStringLiteral("help"))) {
        // The parser names the program by its full path; the help names the command.
        QString help = parser.helpText();
        const qsizetype options = help.indexOf(QLatin1String(" [options]"));
        if (help.startsWith(QLatin1String("Usage: ")) && options > 0)
            help.replace(7, options - 7, QStringLiteral("%1 %2").arg(QLatin1String(Program), command));
        m_out << help;
        return Success;
    }
    m_quiet = parser.isSet(QStringLiteral("quiet"));
    m_passwordFile = parser.value(QStringLiteral("password-file"));
    if (parser.positionalArguments().size() != positionals) {
        return usage(positionals == 1 ? QStringLiteral("expects one SOURCE")
                                      : QStringLiteral("takes no arguments"),
                     command);
    }
    return -1;
}

bool VelliportCli::readSelection(const QCommandLineParser& parser, MessageFilter& filter)
{
    const bool utc = parser.isSet(QStringLiteral("utc"));
    for (const QString& name : {QStringLiteral("after"), QStringLiteral("before")}) {
        if (!parser.isSet(name))
            continue;
        const auto date = MessageFilter::parseDate(parser.value(name), utc);
        if (!date) {
            m_errors << Program << ": --" << name << " \"" << parser.value(name)
                     << "\" is not a date; expected YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS[.mmm]] with an "
                        "optional Z or +HH:MM\n";
            return false;
        }
        if (name == QLatin1String("after"))
            filter.setAfter(*date);
        else
            filter.setBefore(*date);
    }
    for (const QString& chat : parser.values(QStringLiteral("chat")))
        filter.addChat(chat);
    for (const QString& chat : parser.values(QStringLiteral("exclude-chat")))
        filter.addExcludedChat(chat);
    return true;
}

std::unique_ptr<CliSource> VelliportCli::openSource(const QString& sourceText)
{
    try {
        auto source = std::make_unique<CliSource>(sourceText);
        if (!havePassword(*source))
            return {};
        return source;
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()));
        return {};
    }
}

bool VelliportCli::havePassword(const CliSource& source)
{
    if (source.kind() != CliSource::Kind::IPhoneBackup || BackupPasswords::password(source.path()))
        return true;
    if (!EncryptedBackup::isEncrypted(
            QDir(source.path()).filePath(QLatin1String(IPhoneBackup::PropertiesFile))))
        return true;
    QString why;
    std::optional<SecretBytes> password =
        CliPassword::read(m_passwordFile, m_in, m_errors,
                          QStringLiteral("Password of the encrypted iPhone backup %1: ")
                              .arg(QDir::toNativeSeparators(source.path())),
                          why);
    if (!password) {
        fail(QStringLiteral("the iPhone backup %1 is encrypted: %2")
                 .arg(QDir::toNativeSeparators(source.path()), why));
        return false;
    }
    BackupPasswords::remember(source.path(), std::move(*password));
    return true;
}

int VelliportCli::runWorker(QThread& worker, CliProgress& progress)
{
    // A signal that came while the source loaded has not been delivered yet.
    QCoreApplication::processEvents();
    if (m_interrupted)
        return fail(QStringLiteral("interrupted"));
    m_active = &progress;
    const CliProgress::Outcome outcome = progress.run(worker);
    m_active = nullptr;
    switch (outcome) {
    // A console shows no markup: a help link is printed as its text and address.
    case CliProgress::Outcome::Succeeded:
        say(progress.successText().toPlainText());
        return Success;
    case CliProgress::Outcome::Failed:
        return fail(progress.errorText().toPlainText());
    case CliProgress::Outcome::Cancelled:
        break;
    }
    m_errors << Program << ": interrupted; nothing was changed\n";
    return Interrupted;
}

int VelliportCli::runTask(const QString& status, const std::function<void(const ProgressChannel&)>& work)
{
    CliProgress progress(m_errors, m_terminal, m_quiet);
    progress.updateProgress(status, -1, QString());
    CliTask task(work, progress.channel());
    return runWorker(task, progress);
}

ViberDataSetPtr VelliportCli::loadFrom(CliSource& source, int& code)
{
    ViberDataSetPtr data;
    code = runTask(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(source.path())),
                   [&](const ProgressChannel& progress) { data = source.load(progress); });
    return code == Success ? data : nullptr;
}

int VelliportCli::sources(const QStringList& arguments)
{
    QCommandLineParser parser;
    addCommonOptions(parser);
    parser.addOption({QStringLiteral("json"), QStringLiteral("Writes the list as JSON.")});
    if (const int code = parse(parser, QStringLiteral("sources"), arguments, 0); code >= 0)
        return code;
    QJsonArray list;
    const QString root = AppDirs::localDatabasesFolder();
    for (const QString& name : AppDirs::localDatabaseNames(root))
        list.append(QJsonObject{{QStringLiteral("kind"), QStringLiteral("local")},
                                {QStringLiteral("name"), name},
                                {QStringLiteral("path"), QDir(root).filePath(name)}});
    for (const QString& account : PCViberAccounts::accountFolders(QDir::homePath()))
        list.append(QJsonObject{
            {QStringLiteral("kind"), QStringLiteral("desktop")},
            {QStringLiteral("name"), QFileInfo(account).fileName()},
            {QStringLiteral("path"), QDir(account).filePath(QLatin1String(PCViberAccounts::DatabaseFile))}});
    try {
        // A missing adb only means no phones. The server is started first: its start-up
        // lines come on standard error, which the device list takes for a failure.
        const AdbTool adb(std::chrono::seconds(20));
        adb.run({QStringLiteral("start-server")}, false);
        for (const AdbDevice& device : adb.devices()) {
            list.append(QJsonObject{{QStringLiteral("kind"), QStringLiteral("phone")},
                                    {QStringLiteral("name"), device.serial},
                                    {QStringLiteral("state"), device.state}});
            // A phone that cannot be read yet: what its state means and what to do.
            say(device.notReadyText());
        }
    } catch (const std::exception& e) {
        say(QStringLiteral("phones: not listed (%1)").arg(QString::fromUtf8(e.what())));
    }
    if (parser.isSet(QStringLiteral("json"))) {
        m_out << QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
        return Success;
    }
    for (const QJsonValue& value : std::as_const(list)) {
        const QJsonObject source = value.toObject();
        m_out << source.value(QStringLiteral("kind")).toString().leftJustified(8) << ' '
              << source.value(QStringLiteral("name")).toString() << '\t'
              << (source.contains(QStringLiteral("path")) ? source.value(QStringLiteral("path")).toString()
                                                          : source.value(QStringLiteral("state")).toString())
              << '\n';
    }
    return Success;
}

int VelliportCli::chats(const QStringList& arguments)
{
    QCommandLineParser parser;
    addCommonOptions(parser);
    parser.addOption({QStringLiteral("json"), QStringLiteral("Writes the list as JSON.")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Where the messages are."));
    if (const int code = parse(parser, QStringLiteral("chats"), arguments, 1); code >= 0)
        return code;
    std::unique_ptr<CliSource> source;
    int code = Success;
    const ViberDataSetPtr data = loadSource(parser.positionalArguments().constFirst(), source, code);
    if (!data)
        return code;
    const bool json = parser.isSet(QStringLiteral("json"));
    QJsonArray list;
    for (const _ViberChat* chat : chatsById(*data)) {
        const ChatSummary summary = summarise(*chat);
        if (json) {
            QJsonObject entry = ExportMessagesJson::chatObject(*chat);
            entry.insert(QStringLiteral("messages"), summary.count);
            entry.insert(QStringLiteral("first"), summary.count
                                                      ? QJsonValue(ExportMessagesJson::isoTime(summary.first))
                                                      : QJsonValue());
            entry.insert(QStringLiteral("last"), summary.count
                                                     ? QJsonValue(ExportMessagesJson::isoTime(summary.last))
                                                     : QJsonValue());
            list.append(entry);
            continue;
        }
        m_out << chat->id << '\t' << ViberText::chatTitle(*chat) << '\t' << ViberText::chatMembersText(*chat)
              << '\t' << summary.count << '\t' << isoOrEmpty(summary.count, summary.first) << '\t'
              << isoOrEmpty(summary.count, summary.last) << '\n';
    }
    if (json)
        m_out << QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
    return Success;
}

int VelliportCli::exportMessages(const QStringList& arguments)
{
    const QString command = QStringLiteral("export");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption(
        {QStringLiteral("format"),
         QStringLiteral("txt or csv (one file), pdf, html or json (a folder, one file per chat)."),
         QStringLiteral("FORMAT")});
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("The file, or for pdf, html and json the folder."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("media"),
                      QStringLiteral("copy (default) or none: whether html and json copy the media files."),
                      QStringLiteral("MODE"), QStringLiteral("copy")});
    parser.addOption({QStringLiteral("gone"),
                      QStringLiteral("include (default), exclude or only: the messages of a local database "
                                     "that their phone no longer held at a later backup."),
                      QStringLiteral("MODE"), QStringLiteral("include")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Where the messages are."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const auto gone = MessageFilter::parseGone(parser.value(QStringLiteral("gone")));
    if (!gone)
        return usage(QStringLiteral("--gone must be include, exclude or only"), command);
    const QStringList formats = {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("pdf"),
                                 QStringLiteral("html"), QStringLiteral("json")};
    const int format = int(formats.indexOf(parser.value(QStringLiteral("format")).toLower()));
    if (format < 0)
        return usage(QStringLiteral("--format must be one of txt, csv, pdf, html, json"), command);
    const QString output = parser.value(QStringLiteral("output"));
    if (output.isEmpty())
        return usage(QStringLiteral("--output is required"), command);
    const QString media = parser.value(QStringLiteral("media"));
    if (media != QLatin1String("copy") && media != QLatin1String("none"))
        return usage(QStringLiteral("--media must be copy or none"), command);
    MessageFilter filter;
    if (!readSelection(parser, filter))
        return Usage;
    filter.setGone(*gone);
    const bool perChat = format >= ExportMessagesThread::Pdf;
    const QFileInfo target(output);
    if (perChat && target.exists() && !target.isDir())
        return fail(QStringLiteral("%1 is a file; %2 writes a folder").arg(output, formats.at(format)));
    if (!perChat && target.isDir())
        return fail(QStringLiteral("%1 is a folder; %2 writes a file").arg(output, formats.at(format)));

    std::unique_ptr<CliSource> source;
    int code = Success;
    const ViberDataSetPtr data = loadSource(parser.positionalArguments().constFirst(), source, code);
    if (!data)
        return code;
    if (const int code = checkSelectors(filter, data->allChats()); code >= 0)
        return code;
    filter.setGoneMessages(data->goneFromSource);
    CliProgress progress(m_errors, m_terminal, m_quiet);
    ExportMessagesThread worker(filter.apply(data->allMessages()), target.absoluteFilePath(), format,
                                progress.channel());
    worker.setCopyMedia(media == QLatin1String("copy"));
    worker.setProvenance(provenanceFor(parser));
    return runWorker(worker, progress);
}

int VelliportCli::backup(const QStringList& arguments)
{
    const QString command = QStringLiteral("backup");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption({QStringLiteral("to"),
                      QStringLiteral("The local database to write into; made when missing (letter case is "
                                     "ignored when one exists)."),
                      QStringLiteral("NAME")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Where the messages are."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const QString name = parser.value(QStringLiteral("to")).trimmed();
    if (name.isEmpty())
        return usage(QStringLiteral("--to NAME is required"), command);
    if (!isDatabaseName(name))
        return usage(
            QStringLiteral("\"%1\" cannot name a local database (none of \\ / : * ? \" < > |)").arg(name),
            command);
    MessageFilter filter;
    if (!readSelection(parser, filter))
        return Usage;
    std::unique_ptr<CliSource> source;
    int code = Success;
    const ViberDataSetPtr data = loadSource(parser.positionalArguments().constFirst(), source, code);
    if (!data)
        return code;
    // A phone is one source whichever cache folder it was read through.
    return backupInto(name, *data, filter, source.get(), m_loaded.path);
}

bool VelliportCli::isDatabaseName(const QString& name)
{
    return BackupViberMsgThread::isValidName(name) && AppDirs::isValidLocalDatabaseName(name);
}

int VelliportCli::backupInto(const QString& typedName, const ViberDataSet& data, const MessageFilter& filter,
                             const CliSource* source, const QString& runSource)
{
    // A name that differs from an existing database only in letter case goes into that
    // database, as in the window.
    QString name = typedName;
    for (const QString& existing : AppDirs::localDatabaseNames(AppDirs::localDatabasesFolder())) {
        if (existing.compare(name, Qt::CaseInsensitive) == 0)
            name = existing;
    }
    const QString targetFolder = AppDirs::localDatabasePath(name);
    if (source && source->kind() == CliSource::Kind::LocalDatabase &&
        QFileInfo(source->localFolder()).canonicalFilePath() == QFileInfo(targetFolder).canonicalFilePath())
        return fail(QStringLiteral("the source is the local database \"%1\" itself").arg(name));
    if (const int code = checkSelectors(filter, data.allChats()); code >= 0)
        return code;
    CliProgress progress(m_errors, m_terminal, m_quiet);
    BackupViberMsgThread worker(filter.apply(data.allMessages()), targetFolder, progress.channel());
    worker.setRunSource(runSource, filter.takesEverything());
    return runWorker(worker, progress);
}

ViberDataSetPtr VelliportCli::loadSource(const QString& sourceText, std::unique_ptr<CliSource>& source,
                                         int& code)
{
    m_loaded = {};
    if (sourceText.startsWith(QLatin1String(PhonePrefix))) {
        AndroidDevice device;
        ViberDataSetPtr data = loadPhone(sourceText.mid(int(qstrlen(PhonePrefix))), device, QString(), code);
        const QDir cache(device.cacheDir());
        m_loaded.kind = QStringLiteral("Android phone");
        m_loaded.path = sourceText;
        m_loaded.databases = {cache.filePath(QStringLiteral("viber_messages")),
                              cache.filePath(QStringLiteral("viber_data"))};
        m_loaded.device =
            QJsonObject{{QStringLiteral("serial"), device.serial},
                        {QStringLiteral("model"), device.model},
                        {QStringLiteral("android_sdk"), device.sdkLevel},
                        {QStringLiteral("route"), QStringLiteral("adb over USB, the phone's agent")}};
        return data;
    }
    source = openSource(sourceText);
    if (!source) {
        code = Failure;
        return {};
    }
    ViberDataSetPtr data = loadFrom(*source, code);
    m_loaded.kind = source->kindName();
    m_loaded.generation = source->generation();
    m_loaded.path = QFileInfo(source->path()).absoluteFilePath();
    m_loaded.databases = source->databaseFiles();
    return data;
}

ExportProvenance VelliportCli::provenanceFor(const QCommandLineParser& parser) const
{
    ExportProvenance provenance;
    provenance.setSource(m_loaded);
    const bool utc = parser.isSet(QStringLiteral("utc"));
    const auto date = [&](const QString& name) {
        return parser.isSet(name) ? MessageFilter::parseDate(parser.value(name), utc).value_or(QDateTime())
                                  : QDateTime();
    };
    provenance.setSelection(parser.values(QStringLiteral("chat")),
                            parser.values(QStringLiteral("exclude-chat")), date(QStringLiteral("after")),
                            date(QStringLiteral("before")));
    return provenance;
}

int VelliportCli::search(const QStringList& arguments)
{
    const QString command = QStringLiteral("search");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption({QStringLiteral("json"), QStringLiteral("Prints the hits as a JSON array.")});
    parser.addOption({QStringLiteral("limit"), QStringLiteral("At most this many hits (50)."),
                      QStringLiteral("N"), QStringLiteral("50")});
    parser.addPositionalArgument(QStringLiteral("QUERY"),
                                 QStringLiteral("Words (all must occur), \"a phrase\", or a word prefix*."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    if (parser.isSet(QStringLiteral("exclude-chat")))
        return usage(QStringLiteral("--exclude-chat is not taken by search"), command);
    bool numeric = false;
    const int limit = parser.value(QStringLiteral("limit")).toInt(&numeric);
    if (!numeric || limit < 1 || limit > 100000)
        return usage(QStringLiteral("--limit must be a number from 1 to 100000"), command);
    SearchIndex::Query query;
    query.words = parser.positionalArguments().constFirst();
    if (QString(query.words).remove(QLatin1Char('"')).remove(QLatin1Char('*')).trimmed().isEmpty())
        return usage(QStringLiteral("QUERY holds no word to search for"), command);
    query.chats = parser.values(QStringLiteral("chat"));
    query.limit = limit;
    const bool utc = parser.isSet(QStringLiteral("utc"));
    for (const QString& name : {QStringLiteral("after"), QStringLiteral("before")}) {
        if (!parser.isSet(name))
            continue;
        const auto date = MessageFilter::parseDate(parser.value(name), utc);
        if (!date)
            return usage(QStringLiteral("--%1 is not a date").arg(name), command);
        (name == QLatin1String("after") ? query.after : query.before) = *date;
    }
    LocalHistorySearch::Result result;
    const int code = runTask(QStringLiteral("Searching"),
                             [&](const ProgressChannel&) { result = LocalHistorySearch::search(query); });
    if (code != Success)
        return code;
    for (const QString& problem : std::as_const(result.problems))
        say(QStringLiteral("not searched: %1").arg(problem));
    const QList<LocalHistorySearch::Hit>& found = result.hits;
    if (parser.isSet(QStringLiteral("json"))) {
        QJsonArray list;
        for (const LocalHistorySearch::Hit& f : found) {
            const QJsonValue sender =
                f.hit.outgoing ? QJsonValue()
                               : QJsonValue(QJsonObject{{QStringLiteral("name"), f.hit.sender},
                                                        {QStringLiteral("number"), f.hit.senderNumber}});
            list.append(
                QJsonObject{{QStringLiteral("database"), f.database},
                            {QStringLiteral("chat"), f.hit.chat},
                            {QStringLiteral("chat_id"), f.hit.chatId},
                            {QStringLiteral("id"), f.hit.id},
                            {QStringLiteral("direction"),
                             f.hit.outgoing ? QStringLiteral("outgoing") : QStringLiteral("incoming")},
                            {QStringLiteral("sender"), sender},
                            {QStringLiteral("time"), ExportMessagesJson::isoTime(f.hit.date)},
                            {QStringLiteral("text"), f.hit.text}});
        }
        m_out << QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
        return Success;
    }
    for (const LocalHistorySearch::Hit& f : found) {
        QString text = f.hit.text;
        text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        m_out << ExportMessagesJson::isoTime(f.hit.date) << '\t' << f.database << '\t' << f.hit.chat << '\t'
              << (f.hit.outgoing ? QStringLiteral("me") : f.hit.sender) << '\t' << text << '\n';
    }
    say(QStringLiteral("%1 messages found").arg(found.size()));
    return Success;
}

int VelliportCli::verify(const QStringList& arguments)
{
    const QString command = QStringLiteral("verify");
    QCommandLineParser parser;
    addCommonOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("EXPORT"),
        QStringLiteral("An export's folder, or a one-file export (or its .sha256)."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const ExportManifest::Check check = ExportManifest::verify(parser.positionalArguments().constFirst());
    if (!check.problem.isEmpty())
        return fail(check.problem);
    for (const QString& file : check.changed)
        m_out << "changed: " << file << '\n';
    for (const QString& file : check.missing)
        m_out << "missing: " << file << '\n';
    for (const QString& file : check.added)
        m_out << "added: " << file << '\n';
    if (!check.holds())
        return fail(QStringLiteral("the export differs from what %1 lists").arg(check.manifest));
    say(QStringLiteral("every file is as %1 lists it").arg(QDir::toNativeSeparators(check.manifest)));
    return Success;
}

ViberDataSetPtr VelliportCli::loadPhone(const QString& serial, AndroidDevice& device,
                                        const QString& archiveFolder, int& code)
{
    if (serial.isEmpty()) {
        code = fail(QStringLiteral("no phone serial given (phone:SERIAL)"));
        return {};
    }
    {
        CliProgress progress(m_errors, m_terminal, m_quiet);
        AndroidConnectWithUSBThread connect(serial, progress.channel());
        code = runWorker(connect, progress);
        if (code != Success)
            return {};
        device = connect.device();
    }
    CliProgress progress(m_errors, m_terminal, m_quiet);
    AndroidLoadViberThread load(device, true, progress.channel());
    if (!archiveFolder.isEmpty())
        load.setArchiveFolder(archiveFolder);
    code = runWorker(load, progress);
    if (code != Success)
        return {};
    if (load.failedAttachments() > 0)
        say(QStringLiteral("%1 attachments could not be fetched").arg(load.failedAttachments()));
    return load.dataSet();
}

int VelliportCli::phone(const QStringList& arguments)
{
    const QString action = arguments.value(0);
    if (action == QLatin1String("load"))
        return phoneLoad(arguments.mid(1));
    if (action == QLatin1String("transfer"))
        return phoneTransfer(arguments.mid(1));
    if (action == QLatin1String("undo-transfer"))
        return phoneUndoTransfer(arguments.mid(1));
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        m_out << "Usage: velliport-cli phone load SERIAL [--to NAME]\n"
                 "       velliport-cli phone transfer SOURCE --to SERIAL [--yes]\n"
                 "       velliport-cli phone undo-transfer SERIAL [--yes]\n"
                 "Run \"velliport-cli phone load --help\" (or transfer, undo-transfer) for the options.\n";
        return Success;
    }
    return usage(QStringLiteral("expects load, transfer or undo-transfer"), QStringLiteral("phone"));
}

int VelliportCli::phoneLoad(const QStringList& arguments)
{
    const QString command = QStringLiteral("phone load");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption({QStringLiteral("to"),
                      QStringLiteral("Also backs the messages up into this local database."),
                      QStringLiteral("NAME")});
    parser.addPositionalArgument(QStringLiteral("SERIAL"),
                                 QStringLiteral("The phone, as adb devices lists it."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const QString name = parser.value(QStringLiteral("to")).trimmed();
    if (parser.isSet(QStringLiteral("to")) && !isDatabaseName(name))
        return usage(QStringLiteral("\"%1\" cannot name a local database").arg(name), command);
    MessageFilter filter;
    if (!readSelection(parser, filter))
        return Usage;
    AndroidDevice device;
    int code = Success;
    const ViberDataSetPtr data =
        loadPhone(parser.positionalArguments().constFirst(), device, QString(), code);
    if (!data)
        return code;
    if (name.isEmpty()) {
        say(QStringLiteral("%1: %2 chats, %3 messages in %4")
                .arg(device.displayName())
                .arg(data->chats.size())
                .arg(data->messages.size())
                .arg(QDir::toNativeSeparators(device.cacheDir())));
        return Success;
    }
    return backupInto(name, *data, filter, nullptr, QLatin1String(PhonePrefix) + device.serial);
}

int VelliportCli::phoneTransfer(const QStringList& arguments)
{
    const QString command = QStringLiteral("phone transfer");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption({QStringLiteral("to"), QStringLiteral("The phone written into (its serial)."),
                      QStringLiteral("SERIAL")});
    parser.addOption({{QStringLiteral("y"), QStringLiteral("yes")},
                      QStringLiteral("Writes into a phone of today's Viber without asking.")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Where the messages are."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const QString serial = parser.value(QStringLiteral("to")).trimmed();
    if (serial.isEmpty())
        return usage(QStringLiteral("--to SERIAL is required"), command);
    MessageFilter filter;
    if (!readSelection(parser, filter))
        return Usage;
    const QString sourceText = parser.positionalArguments().constFirst();
    if (sourceText == QLatin1String(PhonePrefix) + serial)
        return fail(QStringLiteral("the source is the phone %1 itself").arg(serial));
    std::unique_ptr<CliSource> source;
    int code = Success;
    const ViberDataSetPtr data = loadSource(sourceText, source, code);
    if (!data)
        return code;
    if (const int code = checkSelectors(filter, data->allChats()); code >= 0)
        return code;
    const QList<_ViberMsg*> messages = filter.apply(data->allMessages());

    // The phone's own databases are fetched and kept before anything is written to it,
    // as the window does.
    AndroidDevice device;
    QString copy;
    try {
        {
            CliProgress connectProgress(m_errors, m_terminal, m_quiet);
            AndroidConnectWithUSBThread connect(serial, connectProgress.channel());
            if (const int connected = runWorker(connect, connectProgress); connected != Success)
                return connected;
            device = connect.device();
        }
        if (device.storage.isEmpty())
            say(QStringLiteral("the phone has no external storage: attachments are not transferred"));
        const QString archives = RestoreSafetyCopies::prepareArchiveFolder(device.cacheDir());
        {
            CliProgress fetchProgress(m_errors, m_terminal, m_quiet);
            AndroidLoadViberThread fetch(device, true, fetchProgress.channel());
            fetch.setArchiveFolder(archives);
            if (const int fetched = runWorker(fetch, fetchProgress); fetched != Success)
                return fetched;
        }
        copy = RestoreSafetyCopies::keepDatabaseCopy(device.cacheDir(), QDateTime::currentDateTime());
        say(QStringLiteral("the phone's databases are kept in %1").arg(QDir::toNativeSeparators(copy)));
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    if (AndroidRestoreViberThread::writesModernViber(device)) {
        m_errors << KeyTranslator::text("IDS_MODERN_TRANSFER_NOTICE");
        if (parser.isSet(QStringLiteral("yes"))) {
            m_errors << " yes\n";
        } else {
            m_errors << " [y/N] ";
            m_errors.flush();
            const QString answer = m_in.readLine().trimmed().toLower();
            if (answer != QLatin1String("y") && answer != QLatin1String("yes"))
                return fail(QStringLiteral("not confirmed; the phone is unchanged"));
        }
        m_errors.flush();
    }
    CliProgress progress(m_errors, m_terminal, m_quiet);
    AndroidRestoreViberThread worker(device, messages, progress.channel());
    worker.setKeptCopy(copy);
    return runWorker(worker, progress);
}

int VelliportCli::phoneUndoTransfer(const QStringList& arguments)
{
    const QString command = QStringLiteral("phone undo-transfer");
    QCommandLineParser parser;
    addCommonOptions(parser);
    parser.addOption(
        {{QStringLiteral("y"), QStringLiteral("yes")}, QStringLiteral("Undoes without asking.")});
    parser.addPositionalArgument(QStringLiteral("SERIAL"), QStringLiteral("The phone (its serial)."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const QString serial = parser.positionalArguments().constFirst().trimmed();
    // What the phone holds now is fetched first, so that the question counts what the
    // undo would lose.
    AndroidDevice device;
    {
        CliProgress connectProgress(m_errors, m_terminal, m_quiet);
        AndroidConnectWithUSBThread connect(serial, connectProgress.channel());
        if (const int connected = runWorker(connect, connectProgress); connected != Success)
            return connected;
        device = connect.device();
    }
    {
        CliProgress fetchProgress(m_errors, m_terminal, m_quiet);
        AndroidLoadViberThread fetch(device, true, fetchProgress.channel());
        if (const int fetched = runWorker(fetch, fetchProgress); fetched != Success)
            return fetched;
    }
    const AndroidUndoTransferThread::Plan plan = AndroidUndoTransferThread::plan(device);
    if (!plan.copy)
        return fail(plan.refusal);
    if (!parser.isSet(QStringLiteral("yes"))) {
        m_errors << plan.confirmation() << " [y/N] ";
        m_errors.flush();
        const QString answer = m_in.readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes"))
            return fail(QStringLiteral("not confirmed; the phone is unchanged"));
    }
    CliProgress progress(m_errors, m_terminal, m_quiet);
    AndroidUndoTransferThread worker(device, progress.channel());
    return runWorker(worker, progress);
}

int VelliportCli::extractMedia(const QStringList& arguments)
{
    const QString command = QStringLiteral("extract-media");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("The folder the files are copied into."),
                      QStringLiteral("DIR")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Where the messages are."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const QString output = parser.value(QStringLiteral("output"));
    if (output.isEmpty())
        return usage(QStringLiteral("--output is required"), command);
    MessageFilter filter;
    if (!readSelection(parser, filter))
        return Usage;
    if (QFileInfo(output).exists() && !QFileInfo(output).isDir())
        return fail(QStringLiteral("%1 is a file; the attachments go into a folder").arg(output));
    std::unique_ptr<CliSource> source;
    int code = Success;
    const ViberDataSetPtr data = loadSource(parser.positionalArguments().constFirst(), source, code);
    if (!data)
        return code;
    if (const int code = checkSelectors(filter, data->allChats()); code >= 0)
        return code;
    if (!QDir().mkpath(output))
        return fail(QStringLiteral("cannot make the folder %1").arg(output));
    CliProgress progress(m_errors, m_terminal, m_quiet);
    ExtractMediaFilesThread worker(filter.apply(data->allMessages()), QFileInfo(output).absoluteFilePath(),
                                   progress.channel());
    return runWorker(worker, progress);
}

int VelliportCli::calls(const QStringList& arguments)
{
    const QString command = QStringLiteral("calls");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("The text file written."),
                      QStringLiteral("FILE")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Where the calls are."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    const QString output = parser.value(QStringLiteral("output"));
    if (output.isEmpty())
        return usage(QStringLiteral("--output is required"), command);
    MessageFilter filter;
    if (!readSelection(parser, filter))
        return Usage;
    if (QFileInfo(output).isDir())
        return fail(QStringLiteral("%1 is a folder; the call log is a file").arg(output));
    std::unique_ptr<CliSource> source;
    int code = Success;
    const ViberDataSetPtr data = loadSource(parser.positionalArguments().constFirst(), source, code);
    if (!data)
        return code;
    if (const int code = checkSelectors(filter, data->allChats()); code >= 0)
        return code;
    CliProgress progress(m_errors, m_terminal, m_quiet);
    ExportViberCallsThread worker(filter.calls(data->allMessages()), QFileInfo(output).absoluteFilePath(),
                                  progress.channel());
    worker.setProvenance(provenanceFor(parser));
    return runWorker(worker, progress);
}

int VelliportCli::deleteMessages(const QStringList& arguments)
{
    const QString command = QStringLiteral("delete");
    QCommandLineParser parser;
    addCommonOptions(parser);
    addSelectionOptions(parser);
    parser.addOption(
        {{QStringLiteral("y"), QStringLiteral("yes")}, QStringLiteral("Deletes without asking.")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("A local database."));
    if (const int code = parse(parser, command, arguments, 1); code >= 0)
        return code;
    MessageFilter filter;
    if (!readSelection(parser, filter))
        return Usage;
    const bool selects = parser.isSet(QStringLiteral("chat")) || parser.isSet(QStringLiteral("after")) ||
                         parser.isSet(QStringLiteral("before"));
    if (!selects)
        return usage(QStringLiteral("say what to delete with --chat, --after or --before"), command);
    if (parser.positionalArguments().constFirst().startsWith(QLatin1String(PhonePrefix)))
        return fail(QStringLiteral("messages are deleted from local databases only"));
    const auto source = openSource(parser.positionalArguments().constFirst());
    if (!source)
        return Failure;
    if (source->kind() != CliSource::Kind::LocalDatabase)
        return fail(QStringLiteral("messages are deleted from local databases only; %1 is a %2")
                        .arg(QDir::toNativeSeparators(source->path()), source->kindName()));
    int code = Success;
    const ViberDataSetPtr data = loadFrom(*source, code);
    if (!data)
        return code;
    if (const int code = checkSelectors(filter, data->allChats()); code >= 0)
        return code;
    const QList<_ViberMsg*> messages = filter.apply(data->allMessages());
    if (messages.isEmpty()) {
        say(QStringLiteral("no messages match; nothing deleted"));
        return Success;
    }
    if (!parser.isSet(QStringLiteral("yes"))) {
        m_errors << "Delete " << messages.size() << " messages from "
                 << QDir::toNativeSeparators(source->path()) << "? [y/N] ";
        m_errors.flush();
        const QString answer = m_in.readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes"))
            return fail(QStringLiteral("not confirmed; nothing deleted"));
    }
    try {
        IOSViberDb database(source->localFolder(), source->localDatabaseFile(), IOSViberDb::OpenForWriting);
        database.open();
        CliProgress progress(m_errors, m_terminal, m_quiet);
        DeleteViberMsgThread worker(database, messages, progress.channel());
        return runWorker(worker, progress);
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
}

void VelliportCli::printVault(const QString& folder, qsizetype gone)
{
    const QList<BackupRuns::Run> runs = BackupRuns::runsIn(folder);
    m_out << "backup runs: " << runs.size() << '\n';
    // The newest first; a long history is summed up by its counts.
    for (const BackupRuns::Run& run : runs.mid(0, 10)) {
        m_out << "  " << run.started.toString(Qt::ISODate) << ' ' << BackupRuns::outcomeName(run.outcome)
              << (run.complete ? " complete" : " selection") << " from " << run.source << ": " << run.added
              << " added, " << run.present << " already there, " << run.gone << " gone";
        if (!run.message.isEmpty())
            m_out << " (" << run.message.left(200) << ')';
        m_out << '\n';
    }
    m_out << "gone from their source: " << gone << '\n';
    const std::optional<qint64> indexed = SearchIndex::indexedMessagesIn(folder);
    m_out << "search index: "
          << (indexed ? QStringLiteral("%1 messages").arg(*indexed)
                      : QStringLiteral("none (made at the next search)"))
          << '\n';
}

int VelliportCli::info(const QStringList& arguments)
{
    QCommandLineParser parser;
    addCommonOptions(parser);
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Where the messages are."));
    if (const int code = parse(parser, QStringLiteral("info"), arguments, 1); code >= 0)
        return code;
    if (parser.positionalArguments().constFirst().startsWith(QLatin1String(PhonePrefix)))
        return fail(QStringLiteral("info reads files; load the phone first (phone load SERIAL --to NAME)"));
    const auto source = openSource(parser.positionalArguments().constFirst());
    if (!source)
        return Failure;
    QStringList problems;
    QString unreadable;
    ViberDataSetPtr data;
    const int checked = runTask(QStringLiteral("Checking %1").arg(QDir::toNativeSeparators(source->path())),
                                [&](const ProgressChannel& progress) {
                                    problems = source->integrityProblems(progress);
                                    // What the readers cannot read is one more problem of
                                    // the source, reported with the others.
                                    try {
                                        data = source->load(progress);
                                    } catch (const std::exception& e) {
                                        if (progress.isCancelled())
                                            throw;
                                        unreadable = QString::fromUtf8(e.what());
                                    }
                                });
    if (checked != Success)
        return checked;
    m_out << "kind: " << source->kindName() << '\n'
          << "format: " << source->generation() << '\n'
          << "path: " << QDir::toNativeSeparators(source->path()) << '\n'
          << "integrity_check: " << (problems.isEmpty() ? QStringLiteral("ok") : QStringLiteral("failed"))
          << '\n';
    if (!unreadable.isEmpty())
        problems.append(unreadable);
    if (data) {
        qint64 orphans = 0;
        double first = 0;
        double last = 0;
        const QList<_ViberMsg*> messages = data->allMessages();
        for (const _ViberMsg* msg : messages) {
            orphans += msg->chat ? 0 : 1;
            if (msg == messages.constFirst() || msg->date < first)
                first = msg->date;
            if (msg == messages.constFirst() || msg->date > last)
                last = msg->date;
        }
        m_out << "chats: " << data->chats.size() << '\n'
              << "messages: " << messages.size() << '\n'
              << "persons: " << data->persons.size() << '\n'
              << "attachments: " << data->attachments.size() << '\n'
              << "calls: " << data->calls.size() << '\n'
              << "first: " << isoOrEmpty(!messages.isEmpty(), first) << '\n'
              << "last: " << isoOrEmpty(!messages.isEmpty(), last) << '\n';
        if (orphans)
            problems.append(QStringLiteral("%1 messages belong to no chat").arg(orphans));
    }
    if (source->kind() == CliSource::Kind::LocalDatabase)
        printVault(source->localFolder(), data ? data->goneFromSource.size() : 0);
    m_out << "problems: " << problems.size() << '\n';
    for (const QString& problem : std::as_const(problems))
        m_out << "  " << problem << '\n';
    return problems.isEmpty() ? Success : Failure;
}
