// The console program run as a process over the fixtures: what scripts see of it
// (exit codes, standard output, files written) and what an interruption leaves.

#include "android/BackupArchive.h"
#include "app/AppDirs.h"
#include "app/Sqlite3DB.h"
#include "db/BackupRuns.h"
#include "db/IOSViberDb.h"
#include "db/LocalDbPaths.h"
#include "db/SearchIndex.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberSourceDetector.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/DesktopFixture.h"
#include "tests/support/IPhoneBackupFixture.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/ModernViberCheck.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/SqlScriptFile.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUrl>

#include <csignal>

namespace {

struct Result
{
    int code = -1;
    QString out;
    QString err;
};

QString program()
{
    return QDir(TestEnvironment::binDir()).filePath(QStringLiteral("velliport-cli"));
}

Result cli(const QStringList& arguments, const QByteArray& input = QByteArray(),
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program(), arguments);
    if (!process.waitForStarted(10000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    Result result;
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString localFolder(const QTemporaryDir& dir)
{
    const QString folder = dir.filePath(QStringLiteral("sample"));
    LocalDbFixture::createProgramStore(folder);
    return folder;
}

QJsonArray chatsJson(const QString& source)
{
    const Result result = cli({QStringLiteral("chats"), source, QStringLiteral("--json")});
    if (result.code != 0)
        qWarning("chats %s: %s", qUtf8Printable(source), qUtf8Printable(result.err));
    return QJsonDocument::fromJson(result.out.toUtf8()).array();
}

qint64 messageCount(const QJsonArray& chats)
{
    qint64 count = 0;
    for (const QJsonValue& chat : chats)
        count += chat.toObject().value(QStringLiteral("messages")).toInteger();
    return count;
}

// The second and later lines of a CSV export: its message rows.
QStringList csvRows(const QString& path)
{
    QStringList lines = QString::fromUtf8(TestEnvironment::readFile(path)).split(QStringLiteral("\r\n"));
    lines.removeAll(QString());
    return lines.mid(1);
}

// A local database of one large chat and a hundred small ones, big enough that a backup or
// an export is still running when the test interrupts it: a per-chat export writes and
// syncs a file for each chat, which keeps it busy for a while however fast the writing.
QString writeLargeSource(const QString& folder, int count)
{
    DataSetBuilder builder;
    _ViberPerson* anna = builder.person(1, QStringLiteral("+4917000001"), QStringLiteral("Anna"));
    _ViberChat* big = builder.chat(1, {anna}, QString());
    QList<_ViberChat*> small;
    for (int i = 0; i < 100; ++i)
        small.append(builder.chat(
            2 + i, {builder.person(2 + i, QStringLiteral("+49171%1").arg(i, 5, 10, QLatin1Char('0')))},
            QString()));
    const QDateTime start(QDate(2023, 1, 1), QTime(8, 0));
    for (int i = 0; i < count; ++i)
        builder.message(i % 10 ? big : small.at((i / 10) % small.size()), ViberMsgType::Text,
                        start.addSecs(i * 60), QStringLiteral("message number %1").arg(i), i % 2 == 0);
    IOSViberDb db(folder, QLatin1String(LocalDbFixture::ProgramFile));
    LocalDbFixture::writeAll(db, builder.set().allMessages(), {});
    return folder;
}

// Starts the program, waits for the worker's first line (after the line of the read of
// the source), sends the signal and returns the exit code. The program is stopped while
// the signal is sent, so that the signal is taken the moment it runs again, however fast
// the rest of the work would be: an optimised build backs up the test's source in a few
// tens of milliseconds.
int interruptAfterProgress(const QStringList& arguments, int signal, int lines = 2)
{
    QProcess process;
    // waitForReadyRead() wakes for the read channel only: on standard output, it slept a
    // tenth of a second for each line, long enough for a quick run to end first.
    process.setReadChannel(QProcess::StandardError);
    process.start(program(), arguments);
    if (!process.waitForStarted(10000))
        return -1;
    QByteArray err;
    QElapsedTimer timer;
    timer.start();
    while (err.count('\n') < lines && process.state() == QProcess::Running && timer.elapsed() < 60000) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    const auto pid = pid_t(process.processId());
    if (process.state() != QProcess::Running || ::kill(pid, SIGSTOP) != 0) {
        qWarning("ended before the signal: %s", err.constData());
        return -2;
    }
    ::kill(pid, signal);
    ::kill(pid, SIGCONT);
    process.waitForFinished(60000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The value of a "name: value" line of info's output.
QString infoField(const QString& info, const QString& name)
{
    for (const QString& line : info.split(QLatin1Char('\n'))) {
        if (line.startsWith(name + QStringLiteral(": ")))
            return line.mid(name.size() + 2);
    }
    return {};
}

// What bash's completion function offers for the words typed, the last one being
// completed, run in the folder given.
QStringList completions(const QStringList& words, const QString& folder)
{
    const QString script =
        QDir(TestEnvironment::dataDir()).filePath(QStringLiteral("../../tools/cli/velliport-cli.bash"));
    QStringList quoted;
    for (const QString& word : words)
        quoted.append(QLatin1Char('\'') + word + QLatin1Char('\''));
    QProcess bash;
    bash.setWorkingDirectory(folder);
    bash.start(QStringLiteral("bash"),
               {QStringLiteral("--norc"), QStringLiteral("-c"),
                QStringLiteral("source '%1' && COMP_WORDS=(velliport-cli %2) && "
                               "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && _velliport_cli && "
                               "printf '%s\\n' \"${COMPREPLY[@]}\"")
                    .arg(script, quoted.join(QLatin1Char(' ')))});
    if (!bash.waitForFinished(20000) || bash.exitCode() != 0)
        return {QStringLiteral("bash failed: ") + QString::fromUtf8(bash.readAllStandardError())};
    QStringList offered = QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'));
    offered.removeAll(QString());
    offered.sort();
    return offered;
}

// The long options a command's --help lists.
QStringList helpOptions(const QStringList& command)
{
    const Result help = cli(command + QStringList{QStringLiteral("--help")});
    QStringList options;
    static const QRegularExpression option(QStringLiteral("(--[a-z-]+)"));
    for (const QString& line : help.out.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = option.match(line);
        if (line.startsWith(QLatin1String("  -")) && match.hasMatch())
            options.append(match.captured(1));
    }
    options.sort();
    return options;
}

} // namespace

class TestVelliportCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void helpForEveryCommand();
    void unreadableSources_data();
    void unreadableSources();
    void readsEveryKindOfSource();
    void readsTheModernGenerations();
    void encryptedBackupOnEveryPath();
    void interruptedLoadEndsPromptly();
    void completesInBash();
    void listsSources();
    void jsonExportMatchesCsvAndSchema();
    void selectsByDateOnBoundaries();
    void selectsByChat();
    void callsAndMediaFollowTheSelection();
    void exportsCarryTheirProof();
    void searchesEveryLocalDatabase();
    void unwritableOutputs();
    void backupThenDelete();
    void goneFromThePhoneAcrossRuns();
    void interruptedBackupLeavesTargetAsItWas();
    void interruptedExportRemovesOnlyItsOwnFiles();
    void phoneLoadAndTransfer();
    void schedulesWithSystemdTimers();
    void scheduledRunsOneAtATime();
    void iphoneBackupIntoModernPhone_data();
    void iphoneBackupIntoModernPhone();
    void drawsABarOnlyOnATerminal();

private:
    QTemporaryDir m_dir;
    QString m_local;
};

void TestVelliportCli::initTestCase()
{
    TestEnvironment::requireScratchDataHome();
    QVERIFY(QFileInfo(program()).isExecutable());
    QVERIFY(m_dir.isValid());
    m_local = localFolder(m_dir);
}

void TestVelliportCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("chats"), QStringLiteral("x"),
                                                   QStringLiteral("--colour")};
    QTest::newRow("no source") << QStringList{QStringLiteral("info")};
    QTest::newRow("two sources") << QStringList{QStringLiteral("chats"), QStringLiteral("a"),
                                                QStringLiteral("b")};
    QTest::newRow("export without format") << QStringList{QStringLiteral("export"), QStringLiteral("x"),
                                                          QStringLiteral("--output"), QStringLiteral("o")};
    QTest::newRow("export to xml") << QStringList{QStringLiteral("export"),   QStringLiteral("x"),
                                                  QStringLiteral("--format"), QStringLiteral("xml"),
                                                  QStringLiteral("--output"), QStringLiteral("o")};
    QTest::newRow("media neither copy nor none") << QStringList{
        QStringLiteral("export"),   QStringLiteral("x"), QStringLiteral("--format"), QStringLiteral("json"),
        QStringLiteral("--output"), QStringLiteral("o"), QStringLiteral("--media"),  QStringLiteral("link")};
    QTest::newRow("date that is none")
        << QStringList{QStringLiteral("export"),  QStringLiteral("x"),         QStringLiteral("--format"),
                       QStringLiteral("csv"),     QStringLiteral("--output"),  QStringLiteral("o"),
                       QStringLiteral("--after"), QStringLiteral("2024-02-30")};
    QTest::newRow("backup without name") << QStringList{QStringLiteral("backup"), QStringLiteral("x")};
    QTest::newRow("backup to a path") << QStringList{QStringLiteral("backup"), QStringLiteral("x"),
                                                     QStringLiteral("--to"), QStringLiteral("../up")};
    QTest::newRow("delete without selection") << QStringList{QStringLiteral("delete"), QStringLiteral("x")};
    QTest::newRow("schedule every fortnight")
        << QStringList{QStringLiteral("schedule"), QStringLiteral("add"),      QStringLiteral("--phone"),
                       QStringLiteral("S1"),       QStringLiteral("--to"),     QStringLiteral("N"),
                       QStringLiteral("--every"),  QStringLiteral("fortnight")};
    QTest::newRow("schedule into a name of two lines") << QStringList{
        QStringLiteral("schedule"), QStringLiteral("add"),  QStringLiteral("--phone"),
        QStringLiteral("S1"),       QStringLiteral("--to"), QStringLiteral("N\nExecStartPre=/bin/true"),
        QStringLiteral("--every"),  QStringLiteral("daily")};
    QTest::newRow("schedule a phone that is an option")
        << QStringList{QStringLiteral("schedule"), QStringLiteral("run"), QStringLiteral("--phone=-d"),
                       QStringLiteral("--to"), QStringLiteral("N")};
    QTest::newRow("schedule connect to no address")
        << QStringList{QStringLiteral("schedule"),      QStringLiteral("run"),  QStringLiteral("--connect"),
                       QStringLiteral("h;reboot:5555"), QStringLiteral("--to"), QStringLiteral("N")};
}

void TestVelliportCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Result result = cli(arguments);
    QCOMPARE(result.code, 2);
    QVERIFY(!result.err.isEmpty());
    QVERIFY(result.out.isEmpty());
}

void TestVelliportCli::helpForEveryCommand()
{
    const Result overview = cli({QStringLiteral("--help")});
    QCOMPARE(overview.code, 0);
    const QStringList commands = {
        QStringLiteral("sources"),       QStringLiteral("chats"), QStringLiteral("export"),
        QStringLiteral("backup"),        QStringLiteral("calls"), QStringLiteral("delete"),
        QStringLiteral("extract-media"), QStringLiteral("info"),  QStringLiteral("phone"),
        QStringLiteral("schedule")};
    for (const QString& command : commands) {
        QVERIFY2(overview.out.contains(QStringLiteral("  ") + command), qPrintable(command));
        const Result help = cli({command, QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        QVERIFY2(help.out.startsWith(QStringLiteral("Usage: velliport-cli ") + command),
                 qPrintable(help.out));
    }
    const Result exportHelp = cli({QStringLiteral("export"), QStringLiteral("--help")});
    for (const char* option :
         {"--chat", "--exclude-chat", "--after", "--before", "--utc", "--media", "--quiet"})
        QVERIFY2(exportHelp.out.contains(QLatin1String(option)), option);
}

void TestVelliportCli::unreadableSources_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("said");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("no such source");
    QTest::newRow("text file") << QByteArray("hello, not a database\n")
                               << QStringLiteral("neither an SQLite");
    QTest::newRow("damaged SQLite") << QByteArray("SQLite format 3\0", 16) + QByteArray(3000, '\xab')
                                    << QStringLiteral("damaged SQLite");
    QTest::newRow("damaged archive") << QByteArray("ANDROID BACKUP\n5\n1\nnone\n") + QByteArray(500, 'x')
                                     << QStringLiteral("damaged Android backup archive");
}

void TestVelliportCli::unreadableSources()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, said);
    const QString path = m_dir.filePath(QStringLiteral("bad-%1").arg(QTest::currentDataTag()));
    if (!content.isEmpty())
        QVERIFY(TestEnvironment::writeFile(path, content));
    for (const QString& command : {QStringLiteral("chats"), QStringLiteral("info")}) {
        const Result result = cli({command, path});
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains(said), qPrintable(result.err));
        // The error names what a source may be, unless the file itself was recognised.
        if (!said.startsWith(QLatin1String("damaged Android")))
            QVERIFY2(result.err.contains(QLatin1String("expected")), qPrintable(result.err));
    }

    const QString plain = m_dir.filePath(QStringLiteral("plain.sqlite"));
    LocalDbFixture::runScript(
        plain, QStringLiteral("create table if not exists notes(id integer primary key, body text);"));
    const Result unknown = cli({QStringLiteral("info"), plain});
    QCOMPARE(unknown.code, 1);
    QVERIFY2(unknown.err.contains(QLatin1String("without Viber's tables")), qPrintable(unknown.err));

    // Today's desktop app encrypts its viber.db: said in plain words, for the folder too.
    const QString account = m_dir.filePath(QStringLiteral("encrypted-account"));
    QVERIFY(QDir().mkpath(account));
    QVERIFY(TestEnvironment::writeFile(QDir(account).filePath(QStringLiteral("viber.db")),
                                       QByteArray(4096, 'Z')));
    const Result encrypted = cli({QStringLiteral("chats"), account});
    QCOMPARE(encrypted.code, 1);
    QVERIFY2(encrypted.err.contains(QLatin1String("encrypts its message history")),
             qPrintable(encrypted.err));
}

void TestVelliportCli::readsEveryKindOfSource()
{
    const QJsonArray local = chatsJson(m_local);
    QCOMPARE(local.size(), 7);
    QCOMPARE(messageCount(local), 16);
    QCOMPARE(chatsJson(QDir(m_local).filePath(QLatin1String(LocalDbFixture::ProgramFile))), local);

    const DesktopFixture desktop;
    const QJsonArray desktopChats = chatsJson(desktop.dbPath());
    QVERIFY(!desktopChats.isEmpty());
    QCOMPARE(chatsJson(QFileInfo(desktop.dbPath()).path()), desktopChats);

    const AndroidFixture android;
    const QString before = TestEnvironment::pythonDump(android.messagesPath());
    const QString unpacked = QDir(android.extractRoot()).filePath(QStringLiteral("ab-extract"));
    const QJsonArray phoneChats = chatsJson(unpacked);
    QVERIFY(messageCount(phoneChats) > 0);
    QCOMPARE(chatsJson(android.messagesPath()), phoneChats);
    const QString archive = m_dir.filePath(QStringLiteral("phone.ab"));
    buildBackupArchive(unpacked, archive);
    QCOMPARE(chatsJson(archive), phoneChats);
    // The phone's files are read from a copy: the adapter's clean-up never reaches them.
    QCOMPARE(TestEnvironment::pythonDump(android.messagesPath()), before);

    struct Expected
    {
        QString source;
        QString kind;
        QString format;
    };
    for (const Expected& expected :
         {Expected{m_local, QStringLiteral("kind: local database"),
                   QStringLiteral("Velliport local database")},
          Expected{desktop.dbPath(), QStringLiteral("kind: Viber desktop database"), QStringLiteral("older")},
          Expected{archive, QStringLiteral("kind: Android backup archive"),
                   QStringLiteral("archive, version 1")},
          Expected{unpacked, QStringLiteral("kind: unpacked Android backup"),
                   QStringLiteral("database version")}}) {
        const Result info = cli({QStringLiteral("info"), expected.source});
        QCOMPARE(info.code, 0);
        QVERIFY2(info.out.contains(expected.kind) && info.out.contains(expected.format),
                 qPrintable(info.out));
        QVERIFY2(info.out.contains(QLatin1String("integrity_check: ok")), qPrintable(info.out));
        QVERIFY(info.out.contains(QLatin1String("problems: 0")));
    }
    const QString genuine = m_dir.filePath(QStringLiteral("genuine"));
    LocalDbFixture::createGenuineStore(genuine);
    const Result genuineInfo = cli({QStringLiteral("info"), genuine});
    QCOMPARE(genuineInfo.code, 0);
    QVERIFY2(genuineInfo.out.contains(QLatin1String("format: iOS Viber store")), qPrintable(genuineInfo.out));
    QVERIFY(!chatsJson(genuine).isEmpty());

    const Result info = cli({QStringLiteral("info"), m_local});
    QVERIFY2(info.out.contains(QLatin1String("\nmessages: 16\n")) &&
                 info.out.contains(QLatin1String("calls: 5")),
             qPrintable(info.out));
}

void TestVelliportCli::readsTheModernGenerations()
{
    const AndroidFixture android(AndroidFixture::Shape::Modern);
    const DesktopFixture desktop(DesktopFixture::Shape::ContactKeyed);
    const QString iphone = m_dir.filePath(QStringLiteral("iphone/com.viber/database/Contacts.data"));
    QVERIFY(QDir().mkpath(QFileInfo(iphone).absolutePath()));
    {
        Sqlite3DB db;
        db.openThrow(iphone, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        SqlScriptFile::run(db, QStringLiteral("ios-member/contacts_schema.sql"));
        SqlScriptFile::run(db, QStringLiteral("ios-member/contacts_rows.sql"));
    }
    struct Modern
    {
        QString source;
        QString kind;
        QString format;
        std::unique_ptr<AbsViberDb> reader;
        QString file;
    };
    const IPhoneBackupFixture backup;
    const QString unpacked = QDir(android.extractRoot()).filePath(QStringLiteral("ab-extract"));
    Modern sources[] = {
        {unpacked, QStringLiteral("unpacked Android backup"), QStringLiteral("current generation"),
         ViberSourceDetector::androidReader(android.deviceRoot(), android.extractRoot()),
         android.messagesPath()},
        {QFileInfo(desktop.dbPath()).path(), QStringLiteral("Viber desktop database"),
         QStringLiteral("keyed by contact"), ViberSourceDetector::desktopReader(desktop.dbPath()),
         desktop.dbPath()},
        {iphone, QStringLiteral("iPhone Viber database"), QStringLiteral("members generation"),
         ViberSourceDetector::iosReader(QFileInfo(iphone).path(), QStringLiteral("Contacts.data")), iphone},
        {backup.folder(), QStringLiteral("iPhone backup"), QStringLiteral("iPhone backup"),
         ViberSourceDetector::iosBackupReader(backup.folder()),
         QDir(backup.folder()).filePath(QStringLiteral("Manifest.db"))},
    };
    int run = 0;
    for (Modern& modern : sources) {
        const QByteArray before = TestEnvironment::readFile(modern.file);
        const ViberDataSetPtr expected = modern.reader->load();
        modern.reader.reset();
        QVERIFY(!expected->messages.isEmpty());

        const Result info = cli({QStringLiteral("info"), modern.source});
        QVERIFY2(info.code == 0, qPrintable(info.out + info.err));
        QCOMPARE(infoField(info.out, QStringLiteral("kind")), modern.kind);
        QVERIFY2(infoField(info.out, QStringLiteral("format")).contains(modern.format), qPrintable(info.out));
        QCOMPARE(infoField(info.out, QStringLiteral("integrity_check")), QStringLiteral("ok"));
        QCOMPARE(infoField(info.out, QStringLiteral("chats")).toLongLong(), expected->chats.size());
        QCOMPARE(infoField(info.out, QStringLiteral("messages")).toLongLong(), expected->messages.size());

        const QJsonArray chats = chatsJson(modern.source);
        QCOMPARE(chats.size(), expected->chats.size());
        QCOMPARE(messageCount(chats), expected->messages.size());

        const QString csv = m_dir.filePath(QStringLiteral("modern-%1.csv").arg(run++));
        const Result exported = cli({QStringLiteral("export"), modern.source, QStringLiteral("--format"),
                                     QStringLiteral("csv"), QStringLiteral("--output"), csv});
        QVERIFY2(exported.code == 0, qPrintable(exported.err));
        QCOMPARE(csvRows(csv).size(), expected->messages.size());
        // Only the readers' own copies are ever written.
        QCOMPARE(TestEnvironment::readFile(modern.file), before);
    }
    // The iPhone's file is found in its folder too.
    QCOMPARE(chatsJson(QFileInfo(iphone).path()), chatsJson(iphone));

    // An encrypted backup is named as such, not as a damaged or unknown source.
    const IPhoneBackupFixture encrypted(IPhoneBackupFixture::Shape::EncryptedByProperties);
    const Result refused = cli({QStringLiteral("chats"), encrypted.folder()});
    QCOMPARE(refused.code, 1);
    QVERIFY2(refused.err.contains(QLatin1String("is encrypted")), qPrintable(refused.err));

    // A real encrypted backup reads as the plain one with its password from a file or
    // standard input; a wrong one is named, and no run leaves a decrypted file behind.
    const IPhoneBackupFixture locked(IPhoneBackupFixture::Shape::Encrypted);
    QTemporaryDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    const QString passwordFile = m_dir.filePath(QStringLiteral("password.txt"));
    QVERIFY(TestEnvironment::writeFile(passwordFile, QByteArray("wrong\n")));
    const QStringList chats{QStringLiteral("chats"), locked.folder(), QStringLiteral("--json")};
    const Result wrong =
        cli(chats + QStringList{QStringLiteral("--password-file"), passwordFile}, {}, environment);
    QCOMPARE(wrong.code, 1);
    QVERIFY2(wrong.err.contains(QLatin1String("This password does not open")), qPrintable(wrong.err));
    QVERIFY(TestEnvironment::writeFile(passwordFile, QByteArray(IPhoneBackupFixture::Password) + "\n"));
    const Result opened =
        cli(chats + QStringList{QStringLiteral("--password-file"), passwordFile}, {}, environment);
    QVERIFY2(opened.code == 0, qPrintable(opened.err));
    QCOMPARE(QJsonDocument::fromJson(opened.out.toUtf8()).array(), chatsJson(backup.folder()));
    const QString media = m_dir.filePath(QStringLiteral("encrypted-media"));
    const Result extracted =
        cli({QStringLiteral("extract-media"), locked.folder(), QStringLiteral("--output"), media,
             QStringLiteral("--password-file"), QStringLiteral("-")},
            QByteArray(IPhoneBackupFixture::Password) + "\n", environment);
    QVERIFY2(extracted.code == 0, qPrintable(extracted.err));
    QStringList pictures;
    for (QDirIterator it(media, {QStringLiteral("*.jpg")}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();)
        pictures.append(it.next());
    QCOMPARE(pictures.size(), 1);
    QCOMPARE(TestEnvironment::readFile(pictures.first()), IPhoneBackupFixture::pictureBytes());
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

// Every command that reads a plain backup reads the same backup encrypted and gives the
// same result: each export format, a backup into a local database, the call log and the
// extraction, the media decrypted on the way. Nothing decrypted is left in the system's
// temporary folder.
void TestVelliportCli::encryptedBackupOnEveryPath()
{
    const IPhoneBackupFixture plain;
    const IPhoneBackupFixture locked(IPhoneBackupFixture::Shape::Encrypted);
    QTemporaryDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    const QString passwordFile = m_dir.filePath(QStringLiteral("every-path-password.txt"));
    QVERIFY(TestEnvironment::writeFile(passwordFile, QByteArray(IPhoneBackupFixture::Password) + "\n"));
    // Runs a command on both backups into outputs of their own; returns the two outputs.
    const auto both = [&](const QString& name, const QStringList& arguments) {
        QStringList outputs;
        for (const IPhoneBackupFixture* backup : {&plain, &locked}) {
            const QString output =
                m_dir.filePath(QStringLiteral("every-%1-%2").arg(name).arg(outputs.size()));
            QStringList run{arguments.first(), backup->folder()};
            run += arguments.mid(1);
            run.replaceInStrings(QStringLiteral("OUT"), output);
            if (backup == &locked)
                run += {QStringLiteral("--password-file"), passwordFile};
            const Result result = cli(run, {}, environment);
            if (result.code != 0)
                qWarning("%s: %s", qUtf8Printable(run.join(u' ')), qUtf8Printable(result.err));
            outputs.append(output);
        }
        return outputs;
    };
    // A folder's files by their path inside it, with their bytes; an export's proof names
    // its own run, so it is left out.
    const auto files = [](const QString& folder) {
        QMap<QString, QByteArray> found;
        for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            if (!path.endsWith(QLatin1String("provenance.json")) && !path.endsWith(QLatin1String(".sha256")))
                found.insert(QDir(folder).relativeFilePath(path), TestEnvironment::readFile(path));
        }
        return found;
    };
    for (const QString& format : {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("pdf")}) {
        const QStringList outputs = both(format, {QStringLiteral("export"), QStringLiteral("--format"),
                                                  format, QStringLiteral("--output"), QStringLiteral("OUT")});
        QVERIFY2(QFileInfo(outputs.at(1)).size() > 0, qPrintable(format));
        if (format != QLatin1String("pdf")) // a PDF carries the time it was made
            QCOMPARE(TestEnvironment::readFile(outputs.at(1)), TestEnvironment::readFile(outputs.at(0)));
    }
    for (const QString& format : {QStringLiteral("json"), QStringLiteral("html")}) {
        const QStringList outputs = both(format, {QStringLiteral("export"), QStringLiteral("--format"),
                                                  format, QStringLiteral("--output"), QStringLiteral("OUT"),
                                                  QStringLiteral("--media"), QStringLiteral("copy")});
        const QMap<QString, QByteArray> exported = files(outputs.at(1));
        QCOMPARE(exported, files(outputs.at(0)));
        QVERIFY2(std::count(exported.cbegin(), exported.cend(), IPhoneBackupFixture::pictureBytes()) == 1,
                 qPrintable(QStringList(exported.keys()).join(u' ')));
    }
    const QStringList calls =
        both(QStringLiteral("calls"),
             {QStringLiteral("calls"), QStringLiteral("--output"), QStringLiteral("OUT")});
    QVERIFY(!csvRows(calls.at(1)).isEmpty());
    QCOMPARE(TestEnvironment::readFile(calls.at(1)), TestEnvironment::readFile(calls.at(0)));
    const QStringList media =
        both(QStringLiteral("media"),
             {QStringLiteral("extract-media"), QStringLiteral("--output"), QStringLiteral("OUT")});
    QCOMPARE(files(media.at(1)), files(media.at(0)));
    QVERIFY(!files(media.at(1)).isEmpty());

    QStringList kept;
    for (const IPhoneBackupFixture* backup : {&plain, &locked}) {
        kept.append(backup == &plain ? QStringLiteral("EveryPlain") : QStringLiteral("EveryLocked"));
        QStringList run{QStringLiteral("backup"), backup->folder(), QStringLiteral("--to"), kept.constLast()};
        if (backup == &locked)
            run += {QStringLiteral("--password-file"), passwordFile};
        const Result result = cli(run, {}, environment);
        QVERIFY2(result.code == 0, qPrintable(result.err));
    }
    const QJsonArray chats = chatsJson(kept.at(0));
    QVERIFY(messageCount(chats) > 0);
    QCOMPARE(chatsJson(kept.at(1)), chats);
    const auto attachments = [&](const QString& name) {
        return files(
            QDir(AppDirs::localDatabasePath(name)).filePath(QLatin1String(LocalDbPaths::AttachmentsFolder)));
    };
    QVERIFY(attachments(kept.at(1)).values().contains(IPhoneBackupFixture::pictureBytes()));
    QCOMPARE(attachments(kept.at(1)), attachments(kept.at(0)));
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void TestVelliportCli::interruptedLoadEndsPromptly()
{
    const QString phone = m_dir.filePath(QStringLiteral("generated"));
    QProcess generator;
    generator.start(QDir(TestEnvironment::binDir()).filePath(QStringLiteral("velliport-gen-android")),
                    {phone, QStringLiteral("200000"), QStringLiteral("200")});
    QVERIFY(generator.waitForFinished(240000));
    QCOMPARE(generator.exitCode(), 0);
    const QString source = QDir(phone).filePath(QStringLiteral("ab-extract"));

    QElapsedTimer timer;
    timer.start();
    const Result whole = cli({QStringLiteral("chats"), source, QStringLiteral("-q")});
    const qint64 wholeMs = timer.elapsed();
    QCOMPARE(whole.code, 0);
    QVERIFY2(wholeMs > 500, qPrintable(QString::number(wholeMs)));

    const QString work = QDir::tempPath();
    const QStringList before = QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const int signal : {SIGINT, SIGTERM}) {
        QProcess process;
        process.start(program(),
                      {QStringLiteral("export"), source, QStringLiteral("--format"), QStringLiteral("csv"),
                       QStringLiteral("--output"), m_dir.filePath(QStringLiteral("never.csv"))});
        QVERIFY(process.waitForStarted(10000));
        QByteArray err;
        while (!err.contains("Reading") && process.state() == QProcess::Running) {
            process.waitForReadyRead(50);
            err += process.readAllStandardError();
        }
        // Past the copy of the phone's files, into the reading itself.
        QTest::qWait(int(wholeMs / 4));
        QVERIFY2(process.state() == QProcess::Running, err.constData());
        timer.restart();
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        const qint64 afterSignalMs = timer.elapsed();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QVERIFY2(
            afterSignalMs < wholeMs / 3,
            qPrintable(
                QStringLiteral("%1 ms after the signal, %2 ms a whole run").arg(afterSignalMs).arg(wholeMs)));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("never.csv"))));
        // The private copy of the phone's files goes with the run.
        QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }
}

void TestVelliportCli::completesInBash()
{
    QTemporaryDir folder;
    QVERIFY(TestEnvironment::writeFile(folder.filePath(QStringLiteral("my phone.ab")), "x"));
    QVERIFY(TestEnvironment::writeFile(folder.filePath(QStringLiteral("notes.txt")), "x"));
    QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("media"))));

    const Result overview = cli({QStringLiteral("--help")});
    const QStringList commands = completions({QString()}, folder.path());
    for (const QString& command : commands) {
        if (!command.startsWith(QLatin1Char('-')) && command != QLatin1String("help"))
            QVERIFY2(overview.out.contains(QStringLiteral("\n  ") + command + QLatin1Char(' ')),
                     qPrintable(command));
    }
    QCOMPARE(completions({QStringLiteral("ex")}, folder.path()),
             (QStringList{QStringLiteral("export"), QStringLiteral("extract-media")}));
    // Every command's options as its help lists them, and no others.
    for (const QStringList& command :
         {QStringList{QStringLiteral("sources")}, QStringList{QStringLiteral("chats")},
          QStringList{QStringLiteral("export")}, QStringList{QStringLiteral("backup")},
          QStringList{QStringLiteral("extract-media")}, QStringList{QStringLiteral("calls")},
          QStringList{QStringLiteral("delete")}, QStringList{QStringLiteral("info")},
          QStringList{QStringLiteral("phone"), QStringLiteral("load")},
          QStringList{QStringLiteral("phone"), QStringLiteral("transfer")},
          QStringList{QStringLiteral("schedule"), QStringLiteral("add")},
          QStringList{QStringLiteral("schedule"), QStringLiteral("run")}}) {
        const QStringList expected = helpOptions(command);
        QVERIFY2(expected.contains(QLatin1String("--quiet")), qPrintable(command.join(QLatin1Char(' '))));
        QCOMPARE(completions(command + QStringList{QStringLiteral("--")}, folder.path()), expected);
    }
    QCOMPARE(
        completions({QStringLiteral("export"), QStringLiteral("x"), QStringLiteral("--format"), QString()},
                    folder.path()),
        (QStringList{QStringLiteral("csv"), QStringLiteral("html"), QStringLiteral("json"),
                     QStringLiteral("pdf"), QStringLiteral("txt")}));
    // SOURCE and --output complete paths, names with spaces whole; a folder output only folders.
    QCOMPARE(completions({QStringLiteral("chats"), QStringLiteral("my")}, folder.path()),
             QStringList{QStringLiteral("my phone.ab")});
    QCOMPARE(
        completions({QStringLiteral("export"), QStringLiteral("x"), QStringLiteral("-o"), QString()},
                    folder.path()),
        (QStringList{QStringLiteral("media"), QStringLiteral("my phone.ab"), QStringLiteral("notes.txt")}));
    QCOMPARE(completions({QStringLiteral("extract-media"), QStringLiteral("x"), QStringLiteral("--output"),
                          QString()},
                         folder.path()),
             QStringList{QStringLiteral("media")});
}

void TestVelliportCli::listsSources()
{
    QTemporaryDir home;
    const DesktopFixture desktop;
    const QString account = home.filePath(QStringLiteral(".ViberPC/491701111111"));
    QVERIFY(QDir().mkpath(account));
    QVERIFY(QFile::copy(desktop.dbPath(), QDir(account).filePath(QStringLiteral("viber.db"))));
    const Result backup = cli({QStringLiteral("backup"), m_local, QStringLiteral("--to"),
                               QStringLiteral("Listed"), QStringLiteral("--quiet")});
    QCOMPARE(backup.code, 0);
    QVERIFY(backup.err.isEmpty());

    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addDevice(QStringLiteral("SIM0042"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    const Result result = cli({QStringLiteral("sources"), QStringLiteral("--json")}, {}, environment);
    QCOMPARE(result.code, 0);
    QStringList seen;
    for (const QJsonValue& value : QJsonDocument::fromJson(result.out.toUtf8()).array())
        seen.append(value[QStringLiteral("kind")].toString() + QLatin1Char(':') +
                    value[QStringLiteral("name")].toString());
    QVERIFY2(seen.contains(QStringLiteral("local:Listed")), qPrintable(result.out));
    QVERIFY2(seen.contains(QStringLiteral("desktop:491701111111")), qPrintable(result.out));
    QVERIFY2(seen.contains(QStringLiteral("phone:SIM0042")), qPrintable(result.out));
    // A local database is a source by its name alone.
    QCOMPARE(messageCount(chatsJson(QStringLiteral("listed"))), 16);
}

void TestVelliportCli::jsonExportMatchesCsvAndSchema()
{
    const AndroidFixture android;
    const QString unpacked = QDir(android.extractRoot()).filePath(QStringLiteral("ab-extract"));
    const QList<QPair<QString, QStringList>> runs = {
        {m_local, {}},
        {m_local, {QStringLiteral("--exclude-chat"), QStringLiteral("Club")}},
        {m_local, {QStringLiteral("--after"), QStringLiteral("2020-01-06T11:00")}},
        {unpacked, {}},
    };
    int run = 0;
    for (const auto& [source, selection] : runs) {
        {
            const QString json = m_dir.filePath(QStringLiteral("json-%1").arg(run));
            const QString csv = m_dir.filePath(QStringLiteral("csv-%1.csv").arg(run++));
            const Result toJson =
                cli(QStringList{QStringLiteral("export"), source, QStringLiteral("--format"),
                                QStringLiteral("json"), QStringLiteral("--output"), json} +
                    selection);
            QVERIFY2(toJson.code == 0, qPrintable(toJson.err));
            const Result toCsv = cli(QStringList{QStringLiteral("export"), source, QStringLiteral("--format"),
                                                 QStringLiteral("csv"), QStringLiteral("-o"), csv} +
                                     selection);
            QVERIFY2(toCsv.code == 0, qPrintable(toCsv.err));
            QProcess python;
            python.start(
                QStringLiteral("python3"),
                {QDir(TestEnvironment::dataDir()).filePath(QStringLiteral("cli/check_json_export.py")),
                 QDir(TestEnvironment::dataDir()).filePath(QStringLiteral("../../docs/export.schema.json")),
                 json, csv});
            QVERIFY(python.waitForFinished(60000));
            const QString said =
                QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError());
            QVERIFY2(python.exitCode() == 0 && said.startsWith(QLatin1String("ok ")), qPrintable(said));
            QCOMPARE(said.mid(3).trimmed().toInt(), csvRows(csv).size());
        }
    }
}

void TestVelliportCli::selectsByDateOnBoundaries()
{
    const QDateTime start(QDate(2024, 3, 1), QTime(10, 0));
    DataSetBuilder builder;
    _ViberPerson* alice = builder.person(1, QStringLiteral("+4917000011"), QStringLiteral("Alice"));
    _ViberChat* chat = builder.chat(1, {alice});
    const QDateTime end(QDate(2024, 3, 2), QTime(0, 0));
    const auto add = [&](const QDateTime& when, const QString& text) {
        // The builder keeps whole seconds; these messages need their milliseconds.
        builder.message(chat, ViberMsgType::Text, when, text)->date =
            ViberDates::unixMsToRef(when.toMSecsSinceEpoch());
    };
    add(start.addMSecs(-1), QStringLiteral("just-before"));
    add(start, QStringLiteral("at-start"));
    add(start.addMSecs(1), QStringLiteral("just-after"));
    add(end.addMSecs(-1), QStringLiteral("last-of-day"));
    add(end, QStringLiteral("at-end"));
    const QString folder = m_dir.filePath(QStringLiteral("boundaries"));
    IOSViberDb db(folder, QLatin1String(LocalDbFixture::ProgramFile));
    LocalDbFixture::writeAll(db, builder.set().allMessages(), {});
    db.close();

    const auto texts = [&](const QStringList& selection) {
        const QString csv = m_dir.filePath(QStringLiteral("boundaries.csv"));
        QFile::remove(csv);
        const Result result = cli(QStringList{QStringLiteral("export"), folder, QStringLiteral("--format"),
                                              QStringLiteral("csv"), QStringLiteral("--output"), csv} +
                                  selection);
        QStringList found;
        if (result.code != 0)
            return QStringList{result.err};
        for (const QString& row : csvRows(csv))
            found.append(row.section(QLatin1Char(','), 4));
        return found;
    };
    const QString utcStart = start.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    const QString offsetStart = start.toOffsetFromUtc(3 * 3600).toString(Qt::ISODateWithMs);
    const QStringList fromStart = {QStringLiteral("at-start"), QStringLiteral("just-after"),
                                   QStringLiteral("last-of-day")};
    QCOMPARE(texts({QStringLiteral("--after"), QStringLiteral("2024-03-01T10:00:00"),
                    QStringLiteral("--before"), QStringLiteral("2024-03-02")}),
             fromStart);
    QCOMPARE(texts({QStringLiteral("--after"), QStringLiteral("2024-03-01 10:00"), QStringLiteral("--before"),
                    QStringLiteral("2024-03-02T00:00:00.000")}),
             fromStart);
    QCOMPARE(texts({QStringLiteral("--after"), utcStart, QStringLiteral("--utc"), QStringLiteral("--before"),
                    QStringLiteral("2024-03-02")}),
             fromStart);
    QCOMPARE(texts({QStringLiteral("--after"), offsetStart, QStringLiteral("--before"),
                    QStringLiteral("2024-03-02")}),
             fromStart);
    QCOMPARE(texts({QStringLiteral("--after"), QStringLiteral("2024-03-01T09:59:59.999"),
                    QStringLiteral("--before"), QStringLiteral("2024-03-01T10:00:00.001")}),
             (QStringList{QStringLiteral("just-before"), QStringLiteral("at-start")}));
    QCOMPARE(texts({QStringLiteral("--after"), QStringLiteral("2024-03-02")}),
             QStringList{QStringLiteral("at-end")});
    QCOMPARE(texts({QStringLiteral("--before"), QStringLiteral("2024-03-01T10:00")}),
             QStringList{QStringLiteral("just-before")});
}

void TestVelliportCli::selectsByChat()
{
    const auto chatIds = [&](const QStringList& selection) {
        const QString json = m_dir.filePath(QStringLiteral("chat-selection"));
        AppDirs::removeTree(json);
        const Result result =
            cli(QStringList{QStringLiteral("export"), m_local, QStringLiteral("--format"),
                            QStringLiteral("json"), QStringLiteral("--output"), json, QStringLiteral("-q")} +
                selection);
        QList<qint64> ids;
        if (result.code != 0)
            return QList<qint64>{-1000 - result.code};
        const QJsonObject index =
            QJsonDocument::fromJson(
                TestEnvironment::readFile(QDir(json).filePath(QStringLiteral("index.json"))))
                .object();
        for (const QJsonValue& chat : index.value(QStringLiteral("chats")).toArray())
            ids.append(chat[QStringLiteral("id")].toInteger());
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    QCOMPARE(chatIds({QStringLiteral("--chat"), QStringLiteral("anna berg")}), (QList<qint64>{1}));
    QCOMPARE(chatIds({QStringLiteral("--chat"), QStringLiteral("3"), QStringLiteral("--chat"),
                      QStringLiteral("Climbing")}),
             (QList<qint64>{2, 3}));
    // A number finds the chats with that person alone, never the groups the person is in.
    QCOMPARE(chatIds({QStringLiteral("--chat"), QStringLiteral("+4940111222")}), (QList<qint64>{-6}));
    QCOMPARE(chatIds({QStringLiteral("--chat"), QStringLiteral("Anna")}), (QList<qint64>{1}));
    QCOMPARE(chatIds({QStringLiteral("--chat"), QStringLiteral("-5")}), (QList<qint64>{-5}));
    QCOMPARE(chatIds({QStringLiteral("--exclude-chat"), QStringLiteral("Dora"),
                      QStringLiteral("--exclude-chat"), QStringLiteral("Service")}),
             (QList<qint64>{-5, 1, 2, 3}));
    const Result unknown =
        cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), QStringLiteral("csv"),
             QStringLiteral("--output"), m_dir.filePath(QStringLiteral("none.csv")), QStringLiteral("--chat"),
             QStringLiteral("Zacharias")});
    QCOMPARE(unknown.code, 1);
    QVERIFY2(unknown.err.contains(QLatin1String("no chat matches \"Zacharias\"")), qPrintable(unknown.err));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("none.csv"))));
}

void TestVelliportCli::callsAndMediaFollowTheSelection()
{
    const QString all = m_dir.filePath(QStringLiteral("calls-all.txt"));
    const QString carla = m_dir.filePath(QStringLiteral("calls-carla.txt"));
    QCOMPARE(cli({QStringLiteral("calls"), m_local, QStringLiteral("--output"), all}).code, 0);
    QCOMPARE(cli({QStringLiteral("calls"), m_local, QStringLiteral("--output"), carla,
                  QStringLiteral("--chat"), QStringLiteral("Carla")})
                 .code,
             0);
    QCOMPARE(csvRows(all).size(), 5);
    QCOMPARE(csvRows(carla).size(), 2);
    for (const QString& line : csvRows(carla))
        QVERIFY2(line.startsWith(QLatin1String("Carla Diaz")), qPrintable(line));

    // The sample's picture, in place, so that there is something to extract.
    const QString picture = QDir(m_local).filePath(QStringLiteral("Documents/Attachments/IMG_0001.jpg"));
    QVERIFY(DataSetBuilder::writeImage(picture, 20, 10));
    const QString media = m_dir.filePath(QStringLiteral("media-anna"));
    const Result extracted = cli({QStringLiteral("extract-media"), m_local, QStringLiteral("--output"), media,
                                  QStringLiteral("--chat"), QStringLiteral("Anna")});
    QCOMPARE(extracted.code, 0);
    QVERIFY2(extracted.err.contains(QStringLiteral("Extracted 1 of 2 attachments to")),
             qPrintable(extracted.err));
    const QStringList files = QDir(media).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY2(files.constFirst().startsWith(QLatin1String("atta_20200106-")), qPrintable(files.constFirst()));
    QCOMPARE(TestEnvironment::readFile(QDir(media).filePath(files.constFirst())),
             TestEnvironment::readFile(picture));
    const QString none = m_dir.filePath(QStringLiteral("media-ben"));
    const Result nothing = cli({QStringLiteral("extract-media"), m_local, QStringLiteral("--output"), none,
                                QStringLiteral("--chat"), QStringLiteral("Service")});
    QCOMPARE(nothing.code, 0);
    QVERIFY2(nothing.err.contains(
                 QStringLiteral("No file was written: the selected messages have no attachments.")),
             qPrintable(nothing.err));
    QVERIFY(QDir(none).entryList(QDir::Files).isEmpty());

    // The JSON export names the copy by its path inside the export, or none without copies.
    for (const QString& mode : {QStringLiteral("copy"), QStringLiteral("none")}) {
        const QString json = m_dir.filePath(QStringLiteral("json-media-") + mode);
        QCOMPARE(cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), QStringLiteral("json"),
                      QStringLiteral("--output"), json, QStringLiteral("--chat"), QStringLiteral("1"),
                      QStringLiteral("--media"), mode})
                     .code,
                 0);
        const QJsonArray messages =
            QJsonDocument::fromJson(
                TestEnvironment::readFile(QDir(json).filePath(QStringLiteral("Anna Berg(+4917012345).json"))))
                .object()
                .value(QStringLiteral("messages"))
                .toArray();
        QCOMPARE(messages.size(), 6);
        const QJsonValue path = messages.at(2)[QStringLiteral("attachment")][QStringLiteral("path")];
        if (mode == QLatin1String("copy")) {
            QCOMPARE(path.toString(), QStringLiteral("media/IMG_0001.jpg"));
            QCOMPARE(TestEnvironment::readFile(QDir(json).filePath(path.toString())),
                     TestEnvironment::readFile(picture));
        } else {
            QVERIFY(path.isNull());
            QVERIFY(!QFileInfo::exists(QDir(json).filePath(QStringLiteral("media"))));
        }
        const QString html = m_dir.filePath(QStringLiteral("html-media-") + mode);
        QCOMPARE(cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), QStringLiteral("html"),
                      QStringLiteral("--output"), html, QStringLiteral("--chat"), QStringLiteral("1"),
                      QStringLiteral("--media"), mode, QStringLiteral("-q")})
                     .code,
                 0);
        QCOMPARE(QFileInfo::exists(QDir(html).filePath(QStringLiteral("files/IMG_0001.jpg"))),
                 mode == QLatin1String("copy"));
    }
    QFile::remove(picture);
}

// Every export carries a SHA-256 list that sha256sum accepts and a provenance that names
// the program, the source with its database's hash, the selection and the counts;
// verify holds on the export as written and names a changed, a missing and an added
// file.
void TestVelliportCli::exportsCarryTheirProof()
{
    const auto sha256sum = [](const QString& folder, const QString& list) {
        QProcess check;
        check.setWorkingDirectory(folder);
        check.start(QStringLiteral("sha256sum"),
                    {QStringLiteral("--check"), QStringLiteral("--quiet"), list});
        return check.waitForFinished(30000) && check.exitStatus() == QProcess::NormalExit ? check.exitCode()
                                                                                          : -1;
    };
    const QString database = QDir(m_local).filePath(QLatin1String(LocalDbFixture::ProgramFile));
    QCryptographicHash databaseHash(QCryptographicHash::Sha256);
    databaseHash.addData(TestEnvironment::readFile(database));

    const QString csv = m_dir.filePath(QStringLiteral("proof.csv"));
    QCOMPARE(cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), QStringLiteral("csv"),
                  QStringLiteral("--output"), csv, QStringLiteral("--chat"), QStringLiteral("Anna"),
                  QStringLiteral("--after"), QStringLiteral("2020-01-01"), QStringLiteral("--utc")})
                 .code,
             0);
    QCOMPARE(sha256sum(m_dir.path(), QStringLiteral("proof.csv.sha256")), 0);
    const QJsonObject provenance =
        QJsonDocument::fromJson(TestEnvironment::readFile(csv + QStringLiteral(".provenance.json"))).object();
    QCOMPARE(provenance[QStringLiteral("program")][QStringLiteral("version")].toString(),
             QStringLiteral(VELLIPORT_VERSION));
    const QJsonObject source = provenance[QStringLiteral("source")].toObject();
    QCOMPARE(source[QStringLiteral("kind")].toString(), QStringLiteral("local database"));
    QCOMPARE(source[QStringLiteral("databases")][0][QStringLiteral("sha256")].toString(),
             QString::fromLatin1(databaseHash.result().toHex()));
    QCOMPARE(
        provenance[QStringLiteral("export")][QStringLiteral("counts")][QStringLiteral("messages")].toInt(),
        csvRows(csv).size());
    QCOMPARE(provenance[QStringLiteral("selection")][QStringLiteral("chats")].toArray(),
             QJsonArray{QStringLiteral("Anna")});
    QCOMPARE(provenance[QStringLiteral("selection")][QStringLiteral("after")].toString(),
             QStringLiteral("2020-01-01T00:00:00.000Z"));
    QCOMPARE(cli({QStringLiteral("verify"), csv}).code, 0);

    const QString html = m_dir.filePath(QStringLiteral("proof-html"));
    QCOMPARE(cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), QStringLiteral("html"),
                  QStringLiteral("--output"), html, QStringLiteral("-q")})
                 .code,
             0);
    QCOMPARE(sha256sum(html, QStringLiteral("MANIFEST.sha256")), 0);
    QVERIFY(QFileInfo::exists(QDir(html).filePath(QStringLiteral("provenance.json"))));
    // The archive: every message has its anchor, and index.html?q= opened from the disk in
    // a browser lists the hits linked to them, whatever the case of the words.
    int anchors = 0;
    for (const QString& page : QDir(html).entryList({QStringLiteral("*.html")}, QDir::Files))
        anchors += int(TestEnvironment::readFile(QDir(html).filePath(page)).count("<a id=\"msg-"));
    QCOMPARE(anchors,
             QJsonDocument::fromJson(
                 TestEnvironment::readFile(QDir(html).filePath(QStringLiteral("provenance.json"))))
                 .object()[QStringLiteral("export")][QStringLiteral("counts")][QStringLiteral("messages")]
                 .toInt());
    // Chromium keeps a socket in TMPDIR, whose path must fit a socket address (108 bytes):
    // the test's own TMPDIR below the build tree can be too deep. In a container the default
    // profile may be unwritable or in use and /dev/shm tiny. Each of these leaves chromium
    // printing nothing, so it gets a short TMPDIR, a profile of its own and no /dev/shm,
    // and a failure carries what it said.
    QTemporaryDir browserTemp(QStringLiteral("/tmp/vp-XXXXXX"));
    QVERIFY(browserTemp.isValid());
    QProcessEnvironment browserEnvironment = QProcessEnvironment::systemEnvironment();
    browserEnvironment.insert(QStringLiteral("TMPDIR"), browserTemp.path());
    QProcess browser;
    browser.setProcessEnvironment(browserEnvironment);
    browser.start(QStringLiteral("chromium"),
                  {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                   QStringLiteral("--disable-gpu"), QStringLiteral("--disable-dev-shm-usage"),
                   QStringLiteral("--no-first-run"),
                   QStringLiteral("--user-data-dir=") + m_dir.filePath(QStringLiteral("chromium-profile")),
                   QStringLiteral("--virtual-time-budget=10000"), QStringLiteral("--dump-dom"),
                   QUrl::fromLocalFile(QDir(html).filePath(QStringLiteral("index.html"))).toString() +
                       QStringLiteral("?q=HELLO")});
    QVERIFY(browser.waitForFinished(60000));
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    QVERIFY2(dom.contains(QStringLiteral("1 messages found")) && dom.contains(QStringLiteral("#msg-2\"")),
             qPrintable(dom.right(2000) + QStringLiteral("\nexit %1: ").arg(browser.exitCode()) +
                        QString::fromUtf8(browser.readAllStandardError().right(2000))));
    QCOMPARE(cli({QStringLiteral("verify"), html}).code, 0);
    const QStringList pages = QDir(html).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    QVERIFY(pages.size() >= 2);
    QByteArray page = TestEnvironment::readFile(QDir(html).filePath(pages.at(0)));
    page[page.size() / 2] = char(page.at(page.size() / 2) ^ 1);
    QVERIFY(TestEnvironment::writeFile(QDir(html).filePath(pages.at(0)), page));
    QVERIFY(QFile::remove(QDir(html).filePath(pages.at(1))));
    QVERIFY(TestEnvironment::writeFile(QDir(html).filePath(QStringLiteral("files/extra.txt")), "added"));
    const Result broken = cli({QStringLiteral("verify"), html});
    QCOMPARE(broken.code, 1);
    QVERIFY2(broken.out.contains(QStringLiteral("changed: ") + pages.at(0)) &&
                 broken.out.contains(QStringLiteral("missing: ") + pages.at(1)) &&
                 broken.out.contains(QStringLiteral("added: files/extra.txt")),
             qPrintable(broken.out));

    // Each page of a PDF carries the export's id; the last one where the messages came from.
    const QString pdf = m_dir.filePath(QStringLiteral("proof-pdf"));
    QCOMPARE(cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), QStringLiteral("pdf"),
                  QStringLiteral("--output"), pdf, QStringLiteral("--chat"), QStringLiteral("Anna"),
                  QStringLiteral("-q")})
                 .code,
             0);
    const QString id = QJsonDocument::fromJson(
                           TestEnvironment::readFile(QDir(pdf).filePath(QStringLiteral("provenance.json"))))
                           .object()[QStringLiteral("id")]
                           .toString();
    const QStringList pdfs = QDir(pdf).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    QCOMPARE(pdfs.size(), 1);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QDir(pdf).filePath(pdfs.constFirst()), QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    QStringList pdfPages = QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\f'));
    pdfPages.removeAll(QString());
    QVERIFY(pdfPages.size() >= 2);
    for (const QString& page : std::as_const(pdfPages))
        QVERIFY2(page.contains(id), qPrintable(page));
    QVERIFY2(pdfPages.constLast().contains(QString::fromLatin1(databaseHash.result().toHex())),
             qPrintable(pdfPages.constLast()));
    QCOMPARE(sha256sum(pdf, QStringLiteral("MANIFEST.sha256")), 0);

    const QString calls = m_dir.filePath(QStringLiteral("proof-calls.txt"));
    QCOMPARE(cli({QStringLiteral("calls"), m_local, QStringLiteral("--output"), calls}).code, 0);
    QCOMPARE(sha256sum(m_dir.path(), QStringLiteral("proof-calls.txt.sha256")), 0);
    QCOMPARE(QJsonDocument::fromJson(TestEnvironment::readFile(calls + QStringLiteral(".provenance.json")))
                 .object()[QStringLiteral("export")][QStringLiteral("counts")][QStringLiteral("calls")]
                 .toInt(),
             csvRows(calls).size());
    QCOMPARE(cli({QStringLiteral("verify"), calls + QStringLiteral(".sha256")}).code, 0);
}

// Search finds words whatever their diacritics and case, phrases, prefixes and text in
// scripts without spaces, in every local database at once, newest first, within a chat
// and a time range; the index follows a deletion, and a damaged index is made again.
void TestVelliportCli::searchesEveryLocalDatabase()
{
    const auto makeDatabase = [](const QString& name, const QList<std::pair<QString, int>>& texts) {
        DataSetBuilder builder;
        _ViberPerson* olga = builder.person(1, QStringLiteral("+79161234567"), QStringLiteral("Ольга"));
        _ViberPerson* wei = builder.person(2, QStringLiteral("+8613800138000"), QStringLiteral("Wei"));
        _ViberChat* first = builder.chat(1, {olga}, QString());
        _ViberChat* second = builder.chat(2, {wei}, QStringLiteral("Travel"));
        for (const auto& [text, day] : texts)
            builder.message(day % 2 ? second : first, ViberMsgType::Text,
                            QDateTime(QDate(2024, 5, day), QTime(9, 0), QTimeZone::utc()), text,
                            day % 3 == 0);
        IOSViberDb db(AppDirs::localDatabasePath(name), QLatin1String(LocalDbFixture::ProgramFile));
        LocalDbFixture::writeAll(db, builder.set().allMessages(), {});
    };
    for (const QString& name : {QStringLiteral("SearchA"), QStringLiteral("SearchB")})
        AppDirs::removeTree(AppDirs::localDatabasePath(name));
    makeDatabase(QStringLiteral("SearchA"), {{QStringLiteral("Café con leche, por favor"), 2},
                                             {QStringLiteral("Привет, как дела?"), 4},
                                             {QStringLiteral("我们明天去北京吧"), 5},
                                             {QStringLiteral("Meeting at noon"), 6}});
    makeDatabase(QStringLiteral("SearchB"),
                 {{QStringLiteral("The cafeteria closes early"), 3},
                  {QStringLiteral("北京烤鸭很好吃"), 7},
                  {QStringLiteral("สวัสดีครับ"), 8}});
    const auto texts = [](const QStringList& arguments) {
        const Result result =
            cli(QStringList{QStringLiteral("search")} + arguments + QStringList{QStringLiteral("--json")});
        QStringList found;
        if (result.code != 0)
            found.append(QStringLiteral("error: ") + result.err);
        // Other tests' databases live beside these two.
        for (const QJsonValue& hit : QJsonDocument::fromJson(result.out.toUtf8()).array()) {
            if (hit[QStringLiteral("database")].toString().startsWith(QLatin1String("Search")))
                found.append(hit[QStringLiteral("text")].toString());
        }
        return found;
    };
    QCOMPARE(texts({QStringLiteral("CAFE")}), QStringList{QStringLiteral("Café con leche, por favor")});
    QCOMPARE(texts({QStringLiteral("caf*")}), (QStringList{QStringLiteral("The cafeteria closes early"),
                                                           QStringLiteral("Café con leche, por favor")}));
    QCOMPARE(texts({QStringLiteral("\"con leche\"")}).size(), 1);
    QCOMPARE(texts({QStringLiteral("\"leche con\"")}), QStringList());
    QCOMPARE(texts({QStringLiteral("привет")}), QStringList{QStringLiteral("Привет, как дела?")});
    QCOMPARE(texts({QStringLiteral("北京")}),
             (QStringList{QStringLiteral("北京烤鸭很好吃"), QStringLiteral("我们明天去北京吧")}));
    QCOMPARE(texts({QStringLiteral("明天去")}), QStringList{QStringLiteral("我们明天去北京吧")});
    QCOMPARE(texts({QStringLiteral("วัสดี")}), QStringList{QStringLiteral("สวัสดีครับ")});
    QCOMPARE(texts({QStringLiteral("北京"), QStringLiteral("--chat"), QStringLiteral("Travel"),
                    QStringLiteral("--before"), QStringLiteral("2024-05-06"), QStringLiteral("--utc")}),
             QStringList{QStringLiteral("我们明天去北京吧")});

    const Result json = cli({QStringLiteral("search"), QStringLiteral("noon"), QStringLiteral("--json")});
    const QJsonObject hit = QJsonDocument::fromJson(json.out.toUtf8()).array().at(0).toObject();
    QCOMPARE(hit[QStringLiteral("database")].toString(), QStringLiteral("SearchA"));
    QCOMPARE(hit[QStringLiteral("chat")].toString(), QStringLiteral("Ольга"));
    QCOMPARE(hit[QStringLiteral("direction")].toString(), QStringLiteral("outgoing"));
    QCOMPARE(hit[QStringLiteral("time")].toString().left(10), QStringLiteral("2024-05-06"));

    // A message added at the same millisecond as one indexed, its row id equal in the bits
    // the index keys by, is found beside it; so it is after an index of an older layout
    // is made anew.
    const QString folderB = AppDirs::localDatabasePath(QStringLiteral("SearchB"));
    QVERIFY(TestEnvironment::pythonExecute(
        QDir(folderB).filePath(QLatin1String(LocalDbFixture::ProgramFile)),
        QStringLiteral("insert into ZVIBERMESSAGE (Z_PK, ZCONVERSATION, ZDATE, ZTEXT, ZSTATE) select Z_PK + "
                       "1048576, ZCONVERSATION, ZDATE, 'cafeteria twin', ZSTATE from ZVIBERMESSAGE where ZTEXT "
                       "like 'The cafeteria%'")));
    const QStringList twins{QStringLiteral("cafeteria twin"), QStringLiteral("The cafeteria closes early")};
    QCOMPARE(texts({QStringLiteral("cafeteria")}), twins);
    QVERIFY(TestEnvironment::pythonExecute(SearchIndex::indexPath(folderB),
                                           QStringLiteral("delete from state where key='layout'; delete from stamp")));
    QCOMPARE(texts({QStringLiteral("cafeteria")}), twins);

    // The index is a file of its own; the database changed behind it, or the index
    // damaged, search still answers from the database as it is.
    const QString folder = AppDirs::localDatabasePath(QStringLiteral("SearchA"));
    QVERIFY(QFileInfo::exists(QDir(folder).filePath(QLatin1String(SearchIndex::FileName))));
    {
        Sqlite3DB db;
        db.openThrow(QDir(folder).filePath(QLatin1String(LocalDbFixture::ProgramFile)),
                     Sqlite3DB::OpenReadWrite);
        db.executeThrow(Sqlite3Sql(QStringLiteral("DELETE FROM ZVIBERMESSAGE WHERE ZTEXT LIKE 'Caf%'")));
    }
    QCOMPARE(texts({QStringLiteral("caf*")}), twins);
    QVERIFY(TestEnvironment::writeFile(QDir(folder).filePath(QLatin1String(SearchIndex::FileName)),
                                       QByteArray(4096, 'x')));
    QCOMPARE(texts({QStringLiteral("привет")}), QStringList{QStringLiteral("Привет, как дела?")});
    QVERIFY(QFile::remove(SearchIndex::indexPath(folder)));
    QCOMPARE(texts({QStringLiteral("привет")}), QStringList{QStringLiteral("Привет, как дела?")});
    // A database deleted takes its hits along, and is no problem for the others.
    AppDirs::removeTree(folderB);
    QCOMPARE(texts({QStringLiteral("caf*")}), QStringList());
    QCOMPARE(cli({QStringLiteral("search"), QStringLiteral("\"\"")}).code, 2);
    AppDirs::removeTree(AppDirs::localDatabasePath(QStringLiteral("SearchA")));
    AppDirs::removeTree(AppDirs::localDatabasePath(QStringLiteral("SearchB")));
}

void TestVelliportCli::unwritableOutputs()
{
    const QString blocker = m_dir.filePath(QStringLiteral("a-file"));
    QVERIFY(TestEnvironment::writeFile(blocker, "x"));
    const QString below = QDir(blocker).filePath(QStringLiteral("sub/out"));
    for (const QString& format :
         {QStringLiteral("csv"), QStringLiteral("txt"), QStringLiteral("json"), QStringLiteral("html")}) {
        const Result result = cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), format,
                                   QStringLiteral("--output"), below, QStringLiteral("-q")});
        QVERIFY2(result.code == 1, qPrintable(format + result.err));
        QVERIFY(!result.err.isEmpty());
    }
    QCOMPARE(cli({QStringLiteral("export"), m_local, QStringLiteral("--format"), QStringLiteral("json"),
                  QStringLiteral("--output"), blocker})
                 .code,
             1);
    QCOMPARE(cli({QStringLiteral("calls"), m_local, QStringLiteral("--output"), below}).code, 1);
    QCOMPARE(cli({QStringLiteral("extract-media"), m_local, QStringLiteral("--output"), blocker}).code, 1);
    QCOMPARE(TestEnvironment::readFile(blocker), QByteArray("x"));
}

void TestVelliportCli::backupThenDelete()
{
    const Result backup =
        cli({QStringLiteral("backup"), m_local, QStringLiteral("--to"), QStringLiteral("Kept")});
    QVERIFY2(backup.code == 0, qPrintable(backup.err));
    const QString database = QDir(AppDirs::localDatabasePath(QStringLiteral("Kept")))
                                 .filePath(QLatin1String(AppDirs::LocalDatabaseFile));
    QCOMPARE(messageCount(chatsJson(QStringLiteral("Kept"))), 16);
    // Again: nothing is new, and the tool says so.
    const Result again =
        cli({QStringLiteral("backup"), m_local, QStringLiteral("--to"), QStringLiteral("Kept")});
    QVERIFY2(again.code == 0, qPrintable(again.err));
    QVERIFY2(again.err.contains(
                 QStringLiteral("Successfully backed up 0 new messages; 16 were already in the backup.")),
             qPrintable(again.err));

    // Not confirmed, or not a local database: nothing changes.
    const QString before = TestEnvironment::pythonDump(database);
    const Result refused = cli({QStringLiteral("delete"), QStringLiteral("Kept"), QStringLiteral("--chat"),
                                QStringLiteral("Anna Berg")},
                               "n\n");
    QCOMPARE(refused.code, 1);
    QVERIFY(refused.err.contains(QLatin1String("[y/N]")));
    QCOMPARE(TestEnvironment::pythonDump(database), before);
    const DesktopFixture desktop;
    const Result desktopDelete = cli({QStringLiteral("delete"), desktop.dbPath(), QStringLiteral("--after"),
                                      QStringLiteral("2000-01-01"), QStringLiteral("--yes")});
    QCOMPARE(desktopDelete.code, 1);
    QVERIFY2(desktopDelete.err.contains(QLatin1String("local databases only")),
             qPrintable(desktopDelete.err));

    const Result deleted =
        cli({QStringLiteral("delete"), QStringLiteral("Kept"), QStringLiteral("--chat"),
             QStringLiteral("Anna Berg"), QStringLiteral("--before"), QStringLiteral("2020-01-06T10:43:00Z")},
            "y\n");
    QVERIFY2(deleted.code == 0, qPrintable(deleted.err));
    const QJsonArray chats = chatsJson(QStringLiteral("Kept"));
    bool annaSeen = false;
    for (const QJsonValue& chat : chats) {
        if (chat[QStringLiteral("title")].toString() != QLatin1String("Anna Berg"))
            continue;
        annaSeen = true;
        QCOMPARE(chat[QStringLiteral("messages")].toInteger(), 3);
        QCOMPARE(QDateTime::fromString(chat[QStringLiteral("first")].toString(), Qt::ISODateWithMs),
                 QDateTime(QDate(2020, 1, 6), QTime(10, 43), QTimeZone::utc()));
    }
    QVERIFY(annaSeen);
    QCOMPARE(messageCount(chats), 16 - 3);
}

// A phone deletes messages between backups: the database keeps them, its rows untouched,
// and only a backup of the whole phone says which it no longer holds.
void TestVelliportCli::goneFromThePhoneAcrossRuns()
{
    AppDirs::clearDeviceCache();
    PhoneSim sim;
    QVERIFY(sim.isValid());
    const QString serial = QStringLiteral("SIM0021");
    const SimDevice phone = sim.addSampleDevice(serial);
    const QString onPhone = phone.fileFor(QStringLiteral("/data/data/com.viber.voip/databases/viber_messages"));
    const QStringList load = {QStringLiteral("phone"), QStringLiteral("load"), serial, QStringLiteral("--to"),
                              QStringLiteral("Vault")};
    AppDirs::removeTree(AppDirs::localDatabasePath(QStringLiteral("Vault")));
    const QString database = QDir(AppDirs::localDatabasePath(QStringLiteral("Vault")))
                                 .filePath(QLatin1String(AppDirs::LocalDatabaseFile));
    const auto backUp = [&](const QStringList& extra) {
        const Result run = cli(load + extra);
        return run.code == 0 ? QString() : run.err + QStringLiteral("failed");
    };
    const auto deleteOnPhone = [&](int count) -> QStringList {
        const QString taken = QStringLiteral("select _id from messages where extra_mime='text' and "
                                             "coalesce(extra_uri,'')='' order by _id limit %1")
                                  .arg(count);
        const QString texts = TestEnvironment::pythonQuery(
            onPhone, QStringLiteral("select group_concat(body, '|') from messages where _id in (%1)").arg(taken));
        if (!TestEnvironment::pythonExecute(onPhone,
                                            QStringLiteral("delete from messages where _id in (%1)").arg(taken)))
            return {};
        return texts.split(u'|');
    };
    const auto goneTexts = [&](const QString& mode) {
        const QString csv = m_dir.filePath(QStringLiteral("gone-%1.csv").arg(mode));
        const Result exported = cli({QStringLiteral("export"), QStringLiteral("Vault"), QStringLiteral("--format"),
                                     QStringLiteral("csv"), QStringLiteral("--output"), csv,
                                     QStringLiteral("--gone"), mode, QStringLiteral("-q")});
        return exported.code == 0 ? csvRows(csv) : QStringList{exported.err};
    };

    QCOMPARE(backUp({}), QString());
    const qint64 stored = messageCount(chatsJson(QStringLiteral("Vault")));
    // A backup links a chat's people again, which may move their rows, not change them.
    const auto sortedRows = [&] {
        QStringList lines = TestEnvironment::pythonDump(database).split(u'\n');
        lines.sort();
        return lines;
    };
    const QStringList rows = sortedRows();
    QStringList deleted = deleteOnPhone(2);
    QCOMPARE(deleted.size(), 2);
    // A backup of one chat cannot tell what else the phone lost.
    QCOMPARE(backUp({QStringLiteral("--chat"), QStringLiteral("Anna")}), QString());
    QCOMPARE(goneTexts(QStringLiteral("only")), QStringList());
    QCOMPARE(backUp({}), QString());
    deleted += deleteOnPhone(1);
    QCOMPARE(deleted.size(), 3);
    QCOMPARE(backUp({}), QString());

    QCOMPARE(sortedRows(), rows);
    const QStringList gone = goneTexts(QStringLiteral("only"));
    QCOMPARE(gone.size(), 3);
    // (The CSV writes emoji as words: the texts' beginnings are compared.)
    for (const QString& text : std::as_const(deleted))
        QVERIFY2(gone.filter(text.left(12)).size() == 1, qPrintable(text + QLatin1Char('\n') + gone.join(u'\n')));
    QCOMPARE(goneTexts(QStringLiteral("exclude")).size() + gone.size(), stored);
    QCOMPARE(goneTexts(QStringLiteral("include")).size(), stored);

    const Result info = cli({QStringLiteral("info"), QStringLiteral("Vault")});
    QVERIFY2(info.code == 0, qPrintable(info.err));
    QVERIFY2(info.out.contains(QStringLiteral("backup runs: 4")) &&
                 info.out.contains(QStringLiteral("gone from their source: 3")) &&
                 info.out.contains(QStringLiteral("search index: %1 messages")
                                       .arg(TestEnvironment::pythonQuery(
                                           database, QStringLiteral("select count(*) from ZVIBERMESSAGE")))),
             qPrintable(info.out));
    // A gone message deleted from the database is no longer counted as gone.
    const Result deletion = cli({QStringLiteral("delete"), QStringLiteral("Vault"), QStringLiteral("--chat"),
                                 QStringLiteral("Climbing"), QStringLiteral("--yes")});
    QVERIFY2(deletion.code == 0, qPrintable(deletion.err));
    const Result after = cli({QStringLiteral("info"), QStringLiteral("Vault")});
    QVERIFY2(after.out.contains(QStringLiteral("gone from their source: 2")), qPrintable(after.out.right(300)));
}

void TestVelliportCli::interruptedBackupLeavesTargetAsItWas()
{
    const QString source = writeLargeSource(m_dir.filePath(QStringLiteral("large")), 30000);
    const Result first =
        cli({QStringLiteral("backup"), m_local, QStringLiteral("--to"), QStringLiteral("Target")});
    QVERIFY2(first.code == 0, qPrintable(first.err));
    const QString database = QDir(AppDirs::localDatabasePath(QStringLiteral("Target")))
                                 .filePath(QLatin1String(AppDirs::LocalDatabaseFile));
    const QString before = TestEnvironment::pythonDump(database);
    QVERIFY(before.contains(QLatin1String("INSERT INTO \"ZVIBERMESSAGE\"")));

    QCOMPARE(
        interruptAfterProgress(
            {QStringLiteral("backup"), source, QStringLiteral("--to"), QStringLiteral("Target")}, SIGINT),
        130);
    QCOMPARE(TestEnvironment::pythonDump(database), before);
    QVERIFY(!QFileInfo::exists(database + QStringLiteral("-journal")));
    // Its search index too is whole and holds what the database holds.
    const QString index = SearchIndex::indexPath(AppDirs::localDatabasePath(QStringLiteral("Target")));
    QCOMPARE(TestEnvironment::pythonQuery(index, QStringLiteral("pragma integrity_check")), QStringLiteral("ok"));
    QCOMPARE(TestEnvironment::pythonQuery(index, QStringLiteral("select value from state where key='count'")),
             TestEnvironment::pythonQuery(database, QStringLiteral("select count(*) from ZVIBERMESSAGE")));

    // Interrupting the backup into a new database leaves no database behind.
    QCOMPARE(
        interruptAfterProgress(
            {QStringLiteral("backup"), source, QStringLiteral("--to"), QStringLiteral("Fresh")}, SIGTERM),
        130);
    QVERIFY(!QFileInfo::exists(QDir(AppDirs::localDatabasePath(QStringLiteral("Fresh")))
                                   .filePath(QLatin1String(AppDirs::LocalDatabaseFile))));
}

void TestVelliportCli::interruptedExportRemovesOnlyItsOwnFiles()
{
    const QString source = m_dir.filePath(QStringLiteral("large"));
    if (!QFileInfo::exists(source))
        writeLargeSource(source, 30000);
    const QString folder = m_dir.filePath(QStringLiteral("export-into"));
    QVERIFY(TestEnvironment::writeFile(QDir(folder).filePath(QStringLiteral("mine.txt")), "keep"));
    // HTML, whose run starts by copying the pages' pictures: the JSON export of this source
    // is done within a few milliseconds of its first line in an optimised build.
    QCOMPARE(interruptAfterProgress({QStringLiteral("export"), source, QStringLiteral("--format"),
                                     QStringLiteral("html"), QStringLiteral("--output"), folder},
                                    SIGINT),
             130);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("mine.txt")});
    QCOMPARE(TestEnvironment::readFile(QDir(folder).filePath(QStringLiteral("mine.txt"))),
             QByteArray("keep"));
}

void TestVelliportCli::phoneLoadAndTransfer()
{
    // Simulated phones share an id, so their caches and kept copies share a folder.
    AppDirs::clearDeviceCache();
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(QStringLiteral("SIM0007"));
    const Result load = cli({QStringLiteral("phone"), QStringLiteral("load"), QStringLiteral("SIM0007"),
                             QStringLiteral("--to"), QStringLiteral("FromPhone")});
    QVERIFY2(load.code == 0, qPrintable(load.err));
    // What the program logs stays off standard output, which scripts read.
    QVERIFY2(load.out.isEmpty(), qPrintable(load.out));
    const QJsonArray onPhone = chatsJson(QStringLiteral("phone:SIM0007"));
    QVERIFY(messageCount(onPhone) > 0);
    QCOMPARE(messageCount(chatsJson(QStringLiteral("FromPhone"))), messageCount(onPhone));

    const Result transfer =
        cli({QStringLiteral("phone"), QStringLiteral("transfer"), m_local, QStringLiteral("--to"),
             QStringLiteral("SIM0007"), QStringLiteral("--chat"), QStringLiteral("Service")});
    QVERIFY2(transfer.code == 0, qPrintable(transfer.err));
    QVERIFY2(transfer.err.contains(QLatin1String("the phone's databases are kept in")),
             qPrintable(transfer.err));
    const QJsonArray after = chatsJson(QStringLiteral("phone:SIM0007"));
    QCOMPARE(messageCount(after), messageCount(onPhone) + 1);
    bool serviceSeen = false;
    for (const QJsonValue& chat : after)
        serviceSeen = serviceSeen || chat[QStringLiteral("title")].toString() == QLatin1String("Service");
    QVERIFY(serviceSeen);

    // The transfer is undone only when the user says yes; the question names the loss.
    const QStringList undo = {QStringLiteral("phone"), QStringLiteral("undo-transfer"),
                              QStringLiteral("SIM0007")};
    const Result declined = cli(undo, "n\n");
    QCOMPARE(declined.code, 1);
    QVERIFY2(declined.err.contains(QLatin1String("0 messages dated after it")), qPrintable(declined.err));
    QCOMPARE(messageCount(chatsJson(QStringLiteral("phone:SIM0007"))), messageCount(after));
    const Result undone = cli(undo + QStringList{QStringLiteral("--yes")});
    QVERIFY2(undone.code == 0, qPrintable(undone.err));
    QCOMPARE(messageCount(chatsJson(QStringLiteral("phone:SIM0007"))), messageCount(onPhone));
    const Result again = cli(undo + QStringList{QStringLiteral("--yes")});
    QCOMPARE(again.code, 1);
    QVERIFY2(again.err.contains(QLatin1String("no transfer into this phone to undo")), qPrintable(again.err));

    QCOMPARE(cli({QStringLiteral("phone"), QStringLiteral("transfer"), QStringLiteral("phone:SIM0007"),
                  QStringLiteral("--to"), QStringLiteral("SIM0007")})
                 .code,
             1);
    // The phone's help is markup in the window; a console prints it as text, the
    // Portwarden link as its address.
    const Result missing = cli({QStringLiteral("phone"), QStringLiteral("load"), QStringLiteral("NOPHONE")});
    QCOMPARE(missing.code, 1);
    QVERIFY2(missing.err.contains(QLatin1String("Portwarden <velliport:portwarden> can end")),
             qPrintable(missing.err));
    static const QRegularExpression markup(
        QStringLiteral("<\\s*/?\\s*(a|br|img|b|p)\\b|&(#\\d+|#x[0-9a-f]+|[a-z]+);"),
        QRegularExpression::CaseInsensitiveOption);
    QVERIFY2(!markup.match(missing.err).hasMatch(), qPrintable(missing.err));
    QCOMPARE(cli({QStringLiteral("phone"), QStringLiteral("unplug")}).code, 2);
}

// What schedule add writes is a unit systemd takes as it is, whatever the name holds,
// and what remove leaves is nothing; the user manager is asked only through systemctl.
void TestVelliportCli::schedulesWithSystemdTimers()
{
    QTemporaryDir scratch;
    const QString units = scratch.filePath(QStringLiteral("config/systemd/user"));
    const QString calls = scratch.filePath(QStringLiteral("systemctl.log"));
    const QString systemctl = scratch.filePath(QStringLiteral("systemctl"));
    QVERIFY(TestEnvironment::writeFile(
        systemctl, QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\n").arg(calls).toUtf8()));
    QVERIFY(QFile::setPermissions(systemctl, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("VELLIPORT_SYSTEMCTL"), scratch.filePath(QStringLiteral("none")));
    // A specifier, a variable, a quote and spaces: each must reach the run as typed.
    const QString name = QStringLiteral("Anna's 100% $HOME");
    const QStringList add = {QStringLiteral("schedule"), QStringLiteral("add"),  QStringLiteral("--phone"),
                             QStringLiteral("SIM0033"),  QStringLiteral("--to"), name};

    // Without a user manager (a container) the files are written and the user told how to start them.
    const Result offline =
        cli(add + QStringList{QStringLiteral("--every"), QStringLiteral("daily")}, {}, environment);
    QVERIFY2(offline.code == 0, qPrintable(offline.err));
    QVERIFY2(offline.err.contains(QLatin1String("systemctl --user enable --now velliport-backup-")),
             qPrintable(offline.err));
    QVERIFY(!QFileInfo::exists(calls));
    environment.insert(QStringLiteral("VELLIPORT_SYSTEMCTL"), systemctl);
    const Result added =
        cli(add + QStringList{QStringLiteral("--every"), QStringLiteral("6"), QStringLiteral("--connect"),
                              QStringLiteral("192.168.1.7:40123")},
            {}, environment);
    QVERIFY2(added.code == 0, qPrintable(added.err));
    const QStringList files = QDir(units).entryList(QDir::Files);
    QCOMPARE(files.size(), 2);
    const QString unit = QFileInfo(files.constFirst()).completeBaseName();
    QCOMPARE(files, (QStringList{unit + QStringLiteral(".service"), unit + QStringLiteral(".timer")}));
    const QString service = QString::fromUtf8(TestEnvironment::readFile(QDir(units).filePath(files.at(0))));
    const QString timer = QString::fromUtf8(TestEnvironment::readFile(QDir(units).filePath(files.at(1))));
    QVERIFY2(service.contains(
                 QStringLiteral("\nExecStart=\"%1\" \"schedule\" \"run\" \"--phone\" \"SIM0033\" \"--to\" "
                                "\"Anna's 100%% $$HOME\" \"--connect\" \"192.168.1.7:40123\"\n")
                     .arg(QFileInfo(program()).canonicalFilePath())),
             qPrintable(service));
    QVERIFY2(timer.contains(QLatin1String("\nOnUnitActiveSec=6h\n")) &&
                 timer.contains(QLatin1String("\nWantedBy=timers.target\n")),
             qPrintable(timer));
    QCOMPARE(QString::fromUtf8(TestEnvironment::readFile(calls)),
             QStringLiteral("--user daemon-reload\n--user enable --now %1.timer\n").arg(unit));
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (!analyze.isEmpty()) {
        // It needs a runtime folder of the user's own, as a session has, short enough for
        // the sockets of the computer's other user units.
        QTemporaryDir runtime(QStringLiteral("/tmp/velliport-verify-XXXXXX"));
        QVERIFY(runtime.isValid());
        QProcess verify;
        QProcessEnvironment verifyEnvironment = environment;
        verifyEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        verify.setProcessEnvironment(verifyEnvironment);
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(analyze, {QStringLiteral("verify"), QStringLiteral("--user"), QDir(units).filePath(files.at(0)),
                               QDir(units).filePath(files.at(1))});
        QVERIFY(verify.waitForFinished(60000));
        // What it says of other units of this computer is no concern here.
        const QString said = QString::fromUtf8(verify.readAll());
        QVERIFY2(!said.contains(unit), qPrintable(said));
    }

    const Result listed = cli({QStringLiteral("schedule"), QStringLiteral("list")}, {}, environment);
    QCOMPARE(listed.out, name + QStringLiteral("\tSIM0033\t6h\tnever\n"));
    // Local databases' names ignore letter case, and so do their schedules.
    const QStringList remove = {QStringLiteral("schedule"), QStringLiteral("remove"), name.toUpper()};
    const Result removed = cli(remove, {}, environment);
    QVERIFY2(removed.code == 0, qPrintable(removed.err));
    QCOMPARE(QDir(units).entryList(QDir::Files), QStringList());
    QVERIFY(QString::fromUtf8(TestEnvironment::readFile(calls))
                .endsWith(QStringLiteral("--user disable --now %1.timer\n--user daemon-reload\n").arg(unit)));
    QCOMPARE(cli(remove, {}, environment).code, 1);
}

// The run a timer starts: it backs up as phone load does, one at a time per database, and
// a run that never reached the phone is in the run log, and on the desktop, as failed.
void TestVelliportCli::scheduledRunsOneAtATime()
{
    AppDirs::clearDeviceCache();
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(QStringLiteral("SIM0033"));
    const QString folder = AppDirs::localDatabasePath(QStringLiteral("Scheduled"));
    // The run log counts every run, those of an earlier test run too.
    AppDirs::removeTree(folder);
    const QString database = QDir(folder).filePath(QLatin1String(AppDirs::LocalDatabaseFile));
    const QStringList run = {QStringLiteral("schedule"), QStringLiteral("run"), QStringLiteral("--to"),
                             QStringLiteral("Scheduled")};
    const Result backedUp = cli(run + QStringList{QStringLiteral("--phone"), QStringLiteral("SIM0033")});
    QVERIFY2(backedUp.code == 0, qPrintable(backedUp.err));
    QCOMPARE(messageCount(chatsJson(QStringLiteral("Scheduled"))),
             messageCount(chatsJson(QStringLiteral("phone:SIM0033"))));
    QList<BackupRuns::Run> runs = BackupRuns::runsIn(folder);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.constFirst().source, QStringLiteral("phone:SIM0033"));
    QCOMPARE(runs.constFirst().outcome, BackupRuns::Outcome::Succeeded);

    // While one run waits for its phone, another into the same database leaves at once.
    QProcess waiting;
    waiting.setReadChannel(QProcess::StandardError);
    waiting.start(program(), run + QStringList{QStringLiteral("--phone"), QStringLiteral("SIM0099"),
                                               QStringLiteral("--wait"), QStringLiteral("120")});
    QByteArray said;
    QElapsedTimer timer;
    timer.start();
    while (!said.contains("waiting up to") && waiting.state() != QProcess::NotRunning &&
           timer.elapsed() < 60000) {
        waiting.waitForReadyRead(100);
        said += waiting.readAllStandardError();
    }
    QVERIFY2(said.contains("waiting up to"), said.constData());
    const QByteArray stored = TestEnvironment::readFile(database);
    const Result refused =
        cli({QStringLiteral("schedule"), QStringLiteral("run"), QStringLiteral("--phone"),
             QStringLiteral("SIM0033"), QStringLiteral("--to"), QStringLiteral("SCHEDULED")});
    QCOMPARE(refused.code, 75);
    QVERIFY2(refused.err.contains(QStringLiteral("(process %1)").arg(waiting.processId())),
             qPrintable(refused.err));
    QCOMPARE(TestEnvironment::readFile(database), stored);
    QCOMPARE(BackupRuns::runsIn(folder).size(), 1);
    // systemd stops a run with SIGTERM: a wait ends at once, and is in the log as cancelled.
    ::kill(pid_t(waiting.processId()), SIGTERM);
    QVERIFY(waiting.waitForFinished(30000));
    QCOMPARE(waiting.exitCode(), 130);
    QCOMPARE(BackupRuns::runsIn(folder).constFirst().outcome, BackupRuns::Outcome::Cancelled);
    // A phone that refuses the load ends the run before the backup: the log says why.
    sim.device(QStringLiteral("SIM0033")).setValue(QStringLiteral("errorLine"), QStringLiteral("agent broke"));
    sim.device(QStringLiteral("SIM0033")).setValue(QStringLiteral("declineBackup"), QStringLiteral("true"));
    QCOMPARE(cli(run + QStringList{QStringLiteral("--phone"), QStringLiteral("SIM0033"), QStringLiteral("-q")}).code, 1);
    QVERIFY2(BackupRuns::runsIn(folder).constFirst().message.contains(QLatin1String("backup was declined")),
             qPrintable(BackupRuns::runsIn(folder).constFirst().message));

    // A phone by wireless debugging that never comes: adb connect was tried, and the run
    // failed where the user looks (schedule list, the window's last backup, the desktop).
    QTemporaryDir scratch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch.path());
    environment.insert(QStringLiteral("VELLIPORT_SYSTEMCTL"), scratch.filePath(QStringLiteral("none")));
    const QStringList wireless = {QStringLiteral("--connect"), QStringLiteral("127.0.0.1:5555")};
    QCOMPARE(
        cli(QStringList{QStringLiteral("schedule"), QStringLiteral("add"), QStringLiteral("--to"),
                        QStringLiteral("Scheduled"), QStringLiteral("--every"), QStringLiteral("weekly")} +
                wireless,
            {}, environment)
            .code,
        0);
    QProcess bus;
    QProcess monitor;
    if (!QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() &&
        !QStandardPaths::findExecutable(QStringLiteral("dbus-monitor")).isEmpty()) {
        bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
        QVERIFY(bus.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        monitor.start(QStringLiteral("dbus-monitor"),
                      {QStringLiteral("--address"), address,
                       QStringLiteral("interface='org.freedesktop.Notifications'")});
        // Its first lines say it listens.
        QVERIFY(monitor.waitForReadyRead(10000));
    }
    const Result missing =
        cli(run + wireless + QStringList{QStringLiteral("--wait"), QStringLiteral("1")}, {}, environment);
    QCOMPARE(missing.code, 1);
    QVERIFY2(missing.err.contains(QLatin1String("127.0.0.1:5555 did not appear")), qPrintable(missing.err));
    QVERIFY(sim.adbCalls().contains(QStringLiteral("connect 127.0.0.1:5555")));
    runs = BackupRuns::runsIn(folder);
    QCOMPARE(runs.size(), 4);
    QCOMPARE(runs.constFirst().source, QStringLiteral("phone:127.0.0.1:5555"));
    QCOMPARE(runs.constFirst().outcome, BackupRuns::Outcome::Failed);
    QVERIFY2(runs.constFirst().message.contains(QLatin1String("127.0.0.1:5555 did not appear")),
             qPrintable(runs.constFirst().message));
    const Result listed = cli({QStringLiteral("schedule"), QStringLiteral("list")}, {}, environment);
    QVERIFY2(listed.out.startsWith(QLatin1String("Scheduled\t127.0.0.1:5555\tweekly\t")) &&
                 listed.out.contains(QStringLiteral("\tfailed\t") + runs.constFirst().message),
             qPrintable(listed.out));
    if (monitor.state() == QProcess::Running) {
        QByteArray notified;
        timer.restart();
        while (!notified.contains("scheduled backup of phone 127.0.0.1:5555 into Scheduled failed") &&
               timer.elapsed() < 10000) {
            monitor.waitForReadyRead(100);
            notified += monitor.readAll();
        }
        QVERIFY2(notified.contains("member=Notify") &&
                     notified.contains("scheduled backup of phone 127.0.0.1:5555 into Scheduled failed"),
                 notified.constData());
        monitor.kill();
        monitor.waitForFinished();
        bus.kill();
        bus.waitForFinished();
    }
}

// An iPhone's history onto an Android 13 phone of today's Viber: asked first, written
// once, every phone row kept (read by Python), the picture placed where its row names it.
void TestVelliportCli::iphoneBackupIntoModernPhone_data()
{
    QTest::addColumn<bool>("encrypted");
    QTest::newRow("plain") << false;
    QTest::newRow("encrypted") << true;
}

void TestVelliportCli::iphoneBackupIntoModernPhone()
{
    QFETCH(bool, encrypted);
    AppDirs::clearDeviceCache();
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimSample::Options options;
    options.sdkLevel = SimSample::Modern::SdkLevel;
    options.modern = true;
    const QString serial = QStringLiteral("SIM0013");
    const SimDevice phone = sim.addSampleDevice(serial, options);
    const QString messagesOnPhone = QStringLiteral("/data/data/com.viber.voip/databases/viber_messages");
    const QDir databases(phone.fileFor(QStringLiteral("/data/data/com.viber.voip/databases")));
    QTemporaryDir before;
    for (const QString& name : databases.entryList(QDir::Files))
        QVERIFY(QFile::copy(databases.filePath(name), before.filePath(name)));
    const QByteArray original = sim.phoneFile(serial, messagesOnPhone);
    const IPhoneBackupFixture backup(encrypted ? IPhoneBackupFixture::Shape::Encrypted
                                               : IPhoneBackupFixture::Shape::Unencrypted);
    QStringList transfer{QStringLiteral("phone"), QStringLiteral("transfer"), backup.folder(),
                         QStringLiteral("--to"), serial};
    QTemporaryDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    const auto tempEntries = [&] {
        return QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    if (encrypted) {
        const QString passwordFile = m_dir.filePath(QStringLiteral("transfer-password.txt"));
        QVERIFY(TestEnvironment::writeFile(passwordFile, QByteArray(IPhoneBackupFixture::Password) + "\n"));
        transfer += {QStringLiteral("--password-file"), passwordFile};
        // Killed while it asks, a run leaves what it decrypted; the next run removes it.
        QProcess killed;
        killed.setProcessEnvironment(environment);
        killed.setReadChannel(QProcess::StandardError);
        killed.start(program(), transfer);
        QVERIFY(killed.waitForStarted(10000));
        QByteArray err;
        QElapsedTimer waited;
        waited.start();
        while (!err.contains("[y/N]") && killed.state() == QProcess::Running && waited.elapsed() < 60000) {
            killed.waitForReadyRead(100);
            err += killed.readAllStandardError();
        }
        QVERIFY2(err.contains("[y/N]"), err.constData());
        QVERIFY(!tempEntries().isEmpty());
        ::kill(pid_t(killed.processId()), SIGKILL);
        QVERIFY(killed.waitForFinished(10000));
        QVERIFY(!tempEntries().isEmpty());
    }

    const Result declined = cli(transfer, "n\n", environment);
    QCOMPARE(declined.code, 1);
    QVERIFY2(declined.err.contains(QLatin1String("experimental")) &&
                 declined.err.contains(QLatin1String("Undo Last Transfer")),
             qPrintable(declined.err));
    QCOMPARE(sim.phoneFile(serial, messagesOnPhone), original);

    const Result done = cli(transfer + QStringList{QStringLiteral("--yes")}, {}, environment);
    QVERIFY2(done.code == 0, qPrintable(done.err));
    QCOMPARE(tempEntries(), QStringList());
    const QJsonObject check = ModernViberCheck::run(before.filePath(QStringLiteral("viber_messages")),
                                                    phone.fileFor(messagesOnPhone));
    QVERIFY2(!check.contains(QLatin1String("error")),
             qPrintable(check.value(QLatin1String("error")).toString()));
    QCOMPARE(check.value(QLatin1String("integrity")).toString(), QStringLiteral("ok"));
    QCOMPARE(check.value(QLatin1String("changed")).toArray(), QJsonArray());
    const QJsonArray added = check.value(QLatin1String("added")).toArray();
    QStringList bodies;
    QString pictureUri;
    for (const QJsonValue& value : added) {
        bodies.append(value[QStringLiteral("body")].toString());
        if (value[QStringLiteral("kind")].toInt() == 1)
            pictureUri = value[QStringLiteral("uri")].toString();
        QCOMPARE(value[QStringLiteral("unread")].toInt(), 0);
    }
    QVERIFY2(bodies.contains(QLatin1String(IPhoneBackupFixture::WalOnlyText)), qPrintable(bodies.join(u'|')));
    QCOMPARE(check.value(QLatin1String("views")).toObject().value(QLatin1String("order_violations")).toInt(),
             0);
    QCOMPARE(sim.phoneFile(serial, QUrl(pictureUri).toLocalFile()), IPhoneBackupFixture::pictureBytes());
    // What the phone shows now is the phone's history and the backup's messages.
    const qint64 shown = messageCount(chatsJson(QStringLiteral("phone:") + serial));
    QCOMPARE(shown, qint64(SimSample::Modern::ShownMessages) + added.size());

    const QByteArray transferred = sim.phoneFile(serial, messagesOnPhone);
    const Result again = cli(transfer + QStringList{QStringLiteral("--yes")});
    QVERIFY2(again.code == 0, qPrintable(again.err));
    QCOMPARE(sim.phoneFile(serial, messagesOnPhone), transferred);
}

void TestVelliportCli::drawsABarOnlyOnATerminal()
{
    const QString csv = m_dir.filePath(QStringLiteral("bar.csv"));
    const QStringList arguments = {QStringLiteral("export"),   m_local,
                                   QStringLiteral("--format"), QStringLiteral("csv"),
                                   QStringLiteral("--output"), csv};
    const Result plain = cli(arguments);
    QCOMPARE(plain.code, 0);
    QVERIFY(!plain.err.contains(QLatin1Char('\x1b')));
    QVERIFY2(plain.err.contains(QLatin1String("100% Messages: 16/16\n")), qPrintable(plain.err));

    // script(1) gives the program a terminal of its own.
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script(1) is not installed");
    QStringList quoted;
    for (const QString& argument : QStringList{program()} + arguments)
        quoted.append(QLatin1Char('\'') + argument + QLatin1Char('\''));
    QProcess terminal;
    terminal.start(script,
                   {QStringLiteral("-qec"), quoted.join(QLatin1Char(' ')), QStringLiteral("/dev/null")});
    QVERIFY(terminal.waitForFinished(60000));
    QCOMPARE(terminal.exitCode(), 0);
    const QString drawn = QString::fromUtf8(terminal.readAllStandardOutput());
    QVERIFY2(drawn.contains(QLatin1String("\r\x1b[K")), qPrintable(drawn));
    QVERIFY2(drawn.contains(QLatin1String("[##############################] 100% Messages: 16/16")),
             qPrintable(drawn));

    const Result quiet = cli(arguments + QStringList{QStringLiteral("--quiet")});
    QCOMPARE(quiet.code, 0);
    QVERIFY2(quiet.err.isEmpty(), qPrintable(quiet.err));
}

QTEST_GUILESS_MAIN(TestVelliportCli)
#include "tst_velliportcli.moc"
