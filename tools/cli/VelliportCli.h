#pragma once

#include "db/ViberDataSet.h"
#include "ops/ExportProvenance.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct AndroidDevice;
class CliProgress;
class CliSource;
class MessageFilter;
class ProgressChannel;
class QCommandLineParser;
class QTextStream;
class QThread;
struct _ViberChat;

// The console front end: one method per subcommand, each reading its own options and
// returning the process's exit code. Output goes to the streams given, so that what a
// script reads (lists, JSON) is on one and progress and errors are on the other.
class VelliportCli : public QObject
{
    Q_OBJECT
public:
    enum ExitCode { Success = 0, Failure = 1, Usage = 2, Interrupted = 130 };

    VelliportCli(QTextStream& out, QTextStream& errors, QTextStream& in, bool terminal,
                 QObject* parent = nullptr);
    ~VelliportCli() override;

    // arguments without the program name.
    int run(const QStringList& arguments);
    // Whether the command reads a whole history (a load, a backup, an export, a search),
    // where a heap on huge pages repays the program's second start; help, the version,
    // the sources found, a check of an export and the schedule's bookkeeping do without.
    static bool readsHistories(const QStringList& arguments);

public slots:
    // What a termination signal calls: the running operation is cancelled through its
    // progress channel and the run ends with Interrupted.
    void close();

private:
    int sources(const QStringList& arguments);
    int chats(const QStringList& arguments);
    int exportMessages(const QStringList& arguments);
    int backup(const QStringList& arguments);
    int extractMedia(const QStringList& arguments);
    int calls(const QStringList& arguments);
    int deleteMessages(const QStringList& arguments);
    int info(const QStringList& arguments);
    // A local database's record of its backups, its messages gone from their source and
    // its search index.
    void printVault(const QString& folder, qsizetype gone);
    int verify(const QStringList& arguments);
    int search(const QStringList& arguments);
    int phone(const QStringList& arguments);
    int phoneLoad(const QStringList& arguments);
    int phoneTransfer(const QStringList& arguments);
    int phoneUndoTransfer(const QStringList& arguments);

    // SOURCE or phone:SERIAL read into a data set; null after printing why, with code set.
    ViberDataSetPtr loadSource(const QString& sourceText, std::unique_ptr<CliSource>& source, int& code);
    // Connects the phone and loads its history (fetching its files); null after printing
    // why, with code set.
    ViberDataSetPtr loadPhone(const QString& serial, AndroidDevice& device, const QString& archiveFolder,
                              int& code);
    // runSource names the source in the database's record of its backups.
    int backupInto(const QString& name, const ViberDataSet& data, const MessageFilter& filter,
                   const CliSource* source, const QString& runSource);
    static bool isDatabaseName(const QString& name);

    // Parses; on --help prints the help and gives Success, on a usage error prints it and
    // gives Usage, else -1 to go on.
    int parse(QCommandLineParser& parser, const QString& command, const QStringList& arguments,
              int positionals);
    void addCommonOptions(QCommandLineParser& parser);
    void addSelectionOptions(QCommandLineParser& parser);
    // Fills the filter; false (after saying why) on a date that does not parse.
    bool readSelection(const QCommandLineParser& parser, MessageFilter& filter);
    // Opens and loads the source; null after printing the error.
    std::unique_ptr<CliSource> openSource(const QString& sourceText);
    // The exit code when a --chat or --exclude-chat matches no chat (after saying which);
    // -1 when every one matches.
    int checkSelectors(const MessageFilter& filter, const QList<_ViberChat*>& chats);
    int runWorker(QThread& worker, CliProgress& progress);
    // Runs work of the program's own on a worker thread under a progress that shows
    // status, so that Ctrl+C cancels it as it cancels the operations.
    int runTask(const QString& status, const std::function<void(const ProgressChannel&)>& work);
    // Reads the source on a worker thread; null after printing why, with code set.
    ViberDataSetPtr loadFrom(CliSource& source, int& code);
    // The provenance of an export of what loadSource() read last, chosen by the
    // parser's selection options.
    ExportProvenance provenanceFor(const QCommandLineParser& parser) const;
    // The password of an encrypted iPhone backup is known, or was read now; false
    // after printing why not.
    bool havePassword(const CliSource& source);
    int fail(const QString& text);
    int usage(const QString& text, const QString& command);
    void say(const QString& text);

    QTextStream& m_out;
    QTextStream& m_errors;
    QTextStream& m_in;
    bool m_terminal;
    bool m_quiet = false;
    QString m_passwordFile;
    bool m_interrupted = false;
    QString m_lastFailure;             // what fail() said last: a scheduled run records it
    ExportProvenance::Source m_loaded; // what loadSource() read last
    CliProgress* m_active = nullptr;
};
