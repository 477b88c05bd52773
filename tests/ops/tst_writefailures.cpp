#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "db/AndroidViberDb.h"
#include "db/AndroidViberTransfer.h"
#include "db/IOSViberDb.h"
#include "db/PhoneMediaPaths.h"
#include "db/ViberCall.h"
#include "db/ViberCodes.h"
#include "ops/BackupViberMsgThread.h"
#include "ops/DeleteViberMsgThread.h"
#include "ops/ExportManifest.h"
#include "ops/ExportMessagesThread.h"
#include "ops/ExportProvenance.h"
#include "ops/ExportViberCallsThread.h"
#include "ops/FileBatch.h"
#include "ops/OperationError.h"
#include "ops/TextFileWriter.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/FailingVfs.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <signal.h>
#include <sys/resource.h>

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 7));
const QString DatabaseFile = QLatin1String(BackupViberMsgThread::DatabaseFile);

struct Outcome
{
    QStringList successes;
    QStringList errors;
};

Outcome runWorker(QThread& worker, ProgressChannel& channel)
{
    RecordingReceiver receiver(&channel);
    receiver.runInWorkerThread(worker);
    return {receiver.successes, receiver.errors};
}

// A phone-like history: two chats with texts, a group and some calls.
struct Source
{
    DataSetBuilder b;
    QList<_ViberMsg*> messages;
    QList<_ViberCall*> calls;
    _ViberChat* anna = nullptr;

    Source()
    {
        _ViberPerson* pa = b.person(1, QStringLiteral("+4917011"), QStringLiteral("Anna"));
        _ViberPerson* pb = b.person(2, QStringLiteral("+4917022"), QStringLiteral("Ben"));
        _ViberPerson* pc = b.person(3, QStringLiteral("+4917033"), QStringLiteral("Cy"));
        anna = b.chat(10, {pa});
        _ViberChat* group = b.chat(20, {pa, pb}, QStringLiteral("Climbers"), QStringLiteral("4455"));
        _ViberChat* cy = b.chat(30, {pc});
        for (int i = 0; i < 6; ++i) {
            messages << b.message(anna, ViberMsgType::Text, Day1.addSecs(60 * i),
                                  QStringLiteral("anna %1 ").arg(i).repeated(20), i % 2 == 0);
            messages << b.message(group, ViberMsgType::Text, Day1.addDays(1).addSecs(60 * i),
                                  QStringLiteral("group %1").arg(i), false, i % 2 ? pa : pb);
        }
        for (int i = 0; i < 3; ++i) {
            _ViberMsg* call = b.callMessage(cy, pc, ViberCallKind::Incoming, 30 + i, Day1.addDays(2 + i));
            call->call->token = 9000 + i;
            messages << call;
            calls << call->call;
        }
    }
};

// One Python process that answers, for each database path it is sent, SQLite's own
// check and a digest of every row; starting Python for each of the several hundred runs
// would take longer than the runs. The collations Android's files name are stood in for
// as the program does, by comparing ASCII letters without case.
class PythonChecker
{
public:
    PythonChecker()
    {
        m_python.start(
            QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sqlite3, sys, hashlib\n"
                            "def nocase(a, b):\n"
                            "    x, y = a.encode().lower(), b.encode().lower()\n"
                            "    n = min(len(x), len(y))\n"
                            "    r = (x[:n] > y[:n]) - (x[:n] < y[:n])\n"
                            "    return r or (len(x) > len(y)) - (len(x) < len(y))\n"
                            "for line in sys.stdin:\n"
                            "    try:\n"
                            "        db = sqlite3.connect(line.rstrip('\\n'))\n"
                            "        db.create_collation('LOCALIZED', nocase)\n"
                            "        db.create_collation('UNICODE', nocase)\n"
                            "        check = '; '.join(r[0] for r in db.execute('PRAGMA integrity_check'))\n"
                            "        h = hashlib.sha1()\n"
                            "        for row in db.iterdump():\n"
                            "            h.update(row.encode() + b'\\n')\n"
                            "        db.close()\n"
                            "        print(check + '\\t' + h.hexdigest(), flush=True)\n"
                            "    except Exception as e:\n"
                            "        print(str(e).replace('\\n', ' ') + '\\t', flush=True)\n")});
    }
    ~PythonChecker()
    {
        m_python.closeWriteChannel();
        m_python.waitForFinished(10000);
    }
    PythonChecker(const PythonChecker&) = delete;
    PythonChecker& operator=(const PythonChecker&) = delete;

    struct State
    {
        QString integrity; // "ok" when SQLite finds nothing wrong
        QString rows;      // a digest of every row of every table
    };

    State check(const QString& path)
    {
        m_python.write(path.toUtf8() + '\n');
        while (!m_python.canReadLine()) {
            if (!m_python.waitForReadyRead(30000))
                return {QStringLiteral("python did not answer: ") +
                            QString::fromUtf8(m_python.readAllStandardError()),
                        QString()};
        }
        const QStringList answer = QString::fromUtf8(m_python.readLine()).trimmed().split(u'\t');
        return {answer.value(0), answer.value(1)};
    }

private:
    QProcess m_python;
};

// Puts a database file back as it was saved, without a journal of a previous run.
void restoreFile(const QString& path, const QByteArray& bytes)
{
    for (const QString& suffix : {QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(path + suffix);
    QVERIFY(TestEnvironment::writeFile(path, bytes));
}

struct FaultMode
{
    const char* name;
    int operations; // 0: a byte budget instead of a counted call
    bool persistent;
};

const QList<FaultMode> FaultModes = {
    {"write", FailingVfs::Write, false},       {"write, persistent", FailingVfs::Write, true},
    {"sync", FailingVfs::Sync, false},         {"sync, persistent", FailingVfs::Sync, true},
    {"truncate", FailingVfs::Truncate, false}, {"disk full", 0, true},
};

// Every point a fault can strike is tried up to this many; past them, as many points
// spread evenly over the rest of the run, so that the loops stay quick.
constexpr int EveryPointUpTo = 20;
constexpr int SpreadPoints = 20;
// Enough messages that the command-line backup takes a moment to write them.
constexpr int KilledBackupMessages = 20000;

// Runs an operation with each kind of fault at points from the first call on until a run
// passes untouched. After every run the file must pass SQLite's check and hold exactly
// what it held before or exactly the complete result; a run that left it as it was must
// have said so.
struct FaultLoop
{
    FailingVfs& vfs;
    QString database;
    std::function<void()> reset;  // the files as before the run
    std::function<Outcome()> run; // one run
    PythonChecker python;
    QString before;
    QString complete;
    int failedRuns = 0;
    int completedDespiteFault = 0;

    // Learns the rows before and after an untouched run.
    void prepare()
    {
        reset();
        const PythonChecker::State first = python.check(database);
        QCOMPARE(first.integrity, QStringLiteral("ok"));
        before = first.rows;
        QVERIFY(run().errors.isEmpty());
        const PythonChecker::State done = python.check(database);
        QCOMPARE(done.integrity, QStringLiteral("ok"));
        complete = done.rows;
        QVERIFY(complete != before);
    }

    void all()
    {
        prepare();
        if (QTest::currentTestFailed())
            return;
        for (const FaultMode& mode : FaultModes) {
            // An untouched run tells how many calls or bytes there are to strike at.
            reset();
            if (mode.operations == 0)
                vfs.limitBytes(std::numeric_limits<qint64>::max());
            else
                vfs.failNth(mode.operations, std::numeric_limits<int>::max(), false);
            QVERIFY(run().errors.isEmpty());
            const qint64 total = mode.operations == 0 ? vfs.bytes() : vfs.calls();
            vfs.disarm();
            const qint64 step = qMax<qint64>(1, (total - EveryPointUpTo) / SpreadPoints);
            int runs = 0;
            for (qint64 point = 1;; point += point < EveryPointUpTo ? 1 : step) {
                ++runs;
                QVERIFY2(runs < 200, mode.name);
                // a byte budget of point - 1 lets that many bytes through
                if (!once(mode, mode.operations == 0 ? point - 1 : point))
                    break;
                if (QTest::currentTestFailed())
                    return;
            }
            // a run that makes no such call is passed by the first one
            QVERIFY2(runs > 1 || total == 0, mode.name);
            qInfo("%s: %lld to strike at, %d runs", mode.name, total, runs);
        }
        qInfo("left as before: %d runs, complete in spite of the fault: %d runs", failedRuns,
              completedDespiteFault);
    }

    // False when the fault did not strike: the run is past its last write.
    bool once(const FaultMode& mode, qint64 point)
    {
        reset();
        if (mode.operations == 0)
            vfs.limitBytes(point);
        else
            vfs.failNth(mode.operations, int(point), mode.persistent);
        const Outcome outcome = run();
        const bool fired = vfs.fired();
        vfs.disarm();
        const QString where = QStringLiteral("%1 at %2").arg(QLatin1String(mode.name)).arg(point);
        const PythonChecker::State state = python.check(database);
        [&] {
            QVERIFY2(state.integrity == QLatin1String("ok"), qPrintable(where + u' ' + state.integrity));
            if (!fired) {
                QVERIFY2(outcome.errors.isEmpty(), qPrintable(where + u' ' + outcome.errors.join(u';')));
                QVERIFY2(state.rows == complete, qPrintable(where));
                return;
            }
            if (state.rows != before && state.rows != complete) {
                const QString dump = dumpFolder + QStringLiteral("/neither.sql");
                TestEnvironment::writeFile(dump, TestEnvironment::pythonDump(database).toUtf8());
                QFAIL(qPrintable(where + QStringLiteral(": neither as before nor complete, see ") + dump));
            }
            QCOMPARE(outcome.successes.size() + outcome.errors.size(), 1);
            if (state.rows == before) {
                ++failedRuns;
                QVERIFY2(outcome.errors.size() == 1,
                         qPrintable(where + QStringLiteral(": nothing written, yet reported as success")));
            } else {
                // the fault struck after the commit (VACUUM): the run did its work
                ++completedDespiteFault;
                QVERIFY2(outcome.successes.size() == 1,
                         qPrintable(where + QStringLiteral(": complete, yet reported as failed")));
            }
        }();
        return fired;
    }

    QString dumpFolder = QDir::tempPath();
};

AndroidViberTransfer::MediaTexts mediaTexts(const _ViberMsg& message)
{
    const PhoneMediaPaths::Media media = PhoneMediaPaths::forMessage(message);
    return {media.previewRelative, media.mediaRelative};
}

// Lowers the largest file size this process may write, as a full disk would stop it; the
// writes past it fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

// Every file below a folder with its bytes, to see what an export left.
QMap<QString, QByteArray> filesWithContent(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : LocalDbFixture::filesBelow(folder))
        files.insert(name, TestEnvironment::readFile(QDir(folder).filePath(name)));
    return files;
}

// The files an export wrote without its proof, which names its own run (id, times, path).
QMap<QString, QByteArray> withoutProof(QMap<QString, QByteArray> files)
{
    files.removeIf([](const auto& file) {
        return file.key().endsWith(QLatin1String(ExportProvenance::FolderFile)) ||
               file.key().endsWith(QLatin1String(ExportManifest::FileSuffix));
    });
    return files;
}

QString cliProgram()
{
    return QDir(TestEnvironment::binDir()).filePath(QStringLiteral("velliport-cli"));
}

} // namespace

class TestWriteFailures : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
        if (TestEnvironment::pythonQuery(QStringLiteral(":memory:"), QStringLiteral("select 1")) !=
            QLatin1String("1"))
            QSKIP("python3 is needed to check the files");
    }

    void backupIntoAnExistingDatabase();
    void deletingMessages();
    void mergeIntoAPhoneCopy();
    void failedExportLeavesNoPartFile_data();
    void failedExportLeavesNoPartFile();
    void failedExportKeepsTheFileItWouldReplace();
    void batchFailuresComeBackToTheWriter();
    void killedBackupLeavesOldOrNew();
};

void TestWriteFailures::backupIntoAnExistingDatabase()
{
    Source source;
    const QString folder = m_dir.filePath(QStringLiteral("backup"));
    const QString path = QDir(folder).filePath(DatabaseFile);
    ProgressChannel first;
    BackupViberMsgThread seed(source.messages.mid(0, 4), folder, first);
    QVERIFY(runWorker(seed, first).errors.isEmpty());
    const QByteArray saved = TestEnvironment::readFile(path);
    const auto run = [&] {
        ProgressChannel channel;
        BackupViberMsgThread worker(source.messages, folder, channel);
        return runWorker(worker, channel);
    };
    FailingVfs vfs;
    FaultLoop loop{vfs, path, [&] { restoreFile(path, saved); }, run};
    loop.all();
    QVERIFY(loop.failedRuns > 10);
}

void TestWriteFailures::deletingMessages()
{
    Source source;
    const QString folder = m_dir.filePath(QStringLiteral("delete"));
    const QString path = QDir(folder).filePath(DatabaseFile);
    ProgressChannel first;
    BackupViberMsgThread seed(source.messages, folder, first);
    QVERIFY(runWorker(seed, first).errors.isEmpty());
    const QByteArray saved = TestEnvironment::readFile(path);
    const QString before = TestEnvironment::pythonDump(path);

    // The database is opened and loaded before the fault is armed: the loop is about the
    // deletion, and the messages to delete come from the load.
    std::unique_ptr<IOSViberDb> db;
    ViberDataSetPtr set;
    QList<_ViberMsg*> chosen;
    const auto open = [&] {
        chosen.clear();
        db = std::make_unique<IOSViberDb>(folder, DatabaseFile, IOSViberDb::OpenForWriting);
        set = db->load();
        // Anna's chat and one call: the chat goes with its last message.
        for (_ViberMsg* m : set->allMessages()) {
            if (m->text.startsWith(QLatin1String("anna")) ||
                (m->type == ViberMsgType::Call && m->call && m->call->duration == 31))
                chosen.append(m);
        }
    };
    const auto deleteRun = [&] {
        ProgressChannel channel;
        DeleteViberMsgThread worker(*db, chosen, channel);
        const Outcome outcome = runWorker(worker, channel);
        db.reset();
        return outcome;
    };
    FailingVfs vfs;
    const auto reset = [&] {
        restoreFile(path, saved);
        open();
    };
    FaultLoop loop{vfs, path, reset, deleteRun};
    loop.all();
    QVERIFY(loop.failedRuns > 5);
}

void TestWriteFailures::mergeIntoAPhoneCopy()
{
    AndroidFixture phone;
    {
        // Opening removes the rows the app marked deleted; the loop starts after that.
        AndroidViberDb opened(phone.deviceRoot(), phone.extractRoot());
        opened.open();
    }
    Source source;
    // Dates among and after the phone's own rows, with tokens of their own.
    qint64 token = 7001;
    for (_ViberMsg* m : source.messages) {
        if (m->type != ViberMsgType::Call)
            m->token = token++;
    }
    for (const QString& path : {phone.messagesPath(), phone.dataPath()}) {
        const QByteArray saved = TestEnvironment::readFile(path);
        const bool messages = path == phone.messagesPath();
        std::unique_ptr<AndroidViberDb> work;
        const auto reset = [&] {
            restoreFile(path, saved);
            if (messages) {
                work = std::make_unique<AndroidViberDb>(phone.deviceRoot(), phone.extractRoot());
                work->open();
            }
        };
        const auto run = [&] {
            Outcome outcome;
            try {
                if (messages) {
                    AndroidViberTransfer(*work).mergeMessages(source.messages, mediaTexts, {});
                } else {
                    QList<const _ViberCall*> calls(source.calls.cbegin(), source.calls.cend());
                    AndroidViberTransfer::mergeCalls(path, calls, {});
                }
                outcome.successes << QStringLiteral("merged");
            } catch (const std::exception& e) {
                outcome.errors << QString::fromUtf8(e.what());
            }
            work.reset();
            return outcome;
        };
        FailingVfs vfs;
        FaultLoop loop{vfs, path, reset, run};
        loop.all();
        QVERIFY(loop.failedRuns > 3);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestWriteFailures::failedExportLeavesNoPartFile_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("text") << int(ExportMessagesThread::Text) << QStringLiteral("out.txt");
    QTest::newRow("csv") << int(ExportMessagesThread::Csv) << QStringLiteral("out.csv");
    QTest::newRow("json") << int(ExportMessagesThread::Json) << QStringLiteral("out-json");
    QTest::newRow("html") << int(ExportMessagesThread::Html) << QStringLiteral("out-html");
    QTest::newRow("call log") << -1 << QStringLiteral("calls.txt");
}

// The disk fills up after a growing number of bytes: every export that fails says so and
// leaves nothing under its name, and none beside it; one that passes wrote it all.
void TestWriteFailures::failedExportLeavesNoPartFile()
{
    QFETCH(int, format);
    QFETCH(QString, name);
    Source source;
    const auto exportTo = [&](const QString& path) {
        ProgressChannel channel;
        if (format < 0) {
            ExportViberCallsThread worker(source.calls, path, channel);
            return runWorker(worker, channel);
        }
        ExportMessagesThread worker(source.messages, path, format, channel);
        return runWorker(worker, channel);
    };
    const QString reference =
        m_dir.filePath(QStringLiteral("export-%1/reference").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(reference));
    QVERIFY(exportTo(QDir(reference).filePath(name)).errors.isEmpty());
    const QMap<QString, QByteArray> whole = withoutProof(filesWithContent(reference));
    qint64 largest = 0;
    for (const QByteArray& bytes : whole)
        largest = qMax(largest, qint64(bytes.size()));
    QVERIFY(largest > 200);

    int failed = 0;
    for (qint64 limit = 0;; limit += largest / 7) {
        const QString folder =
            m_dir.filePath(QStringLiteral("export-%1/%2").arg(QTest::currentDataTag()).arg(limit));
        QVERIFY(QDir().mkpath(folder));
        Outcome outcome;
        {
            FileSizeLimit full{rlim_t(limit)};
            QVERIFY(full.ok());
            outcome = exportTo(QDir(folder).filePath(name));
        }
        const QString where = QStringLiteral("limit %1").arg(limit);
        QCOMPARE(outcome.successes.size() + outcome.errors.size(), 1);
        if (outcome.successes.isEmpty()) {
            ++failed;
            QVERIFY2(LocalDbFixture::filesBelow(folder).isEmpty(),
                     qPrintable(where + u' ' + LocalDbFixture::filesBelow(folder).join(u' ')));
            QVERIFY2(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty(),
                     qPrintable(where));
            continue;
        }
        QVERIFY2(limit >= largest, qPrintable(where));
        const QMap<QString, QByteArray> written = filesWithContent(folder);
        QCOMPARE(withoutProof(written), whole);
        QCOMPARE(written.size(), whole.size() + 2); // and its provenance and checksum list
        break;
    }
    QVERIFY(failed >= 7);
}

// A file the user chose to replace stays as it was when the new one cannot be written.
void TestWriteFailures::failedExportKeepsTheFileItWouldReplace()
{
    Source source;
    const QString folder = m_dir.filePath(QStringLiteral("replace"));
    const QString text = QDir(folder).filePath(QStringLiteral("messages.txt"));
    const QString calls = QDir(folder).filePath(QStringLiteral("calls.txt"));
    QVERIFY(TestEnvironment::writeFile(text, "an earlier export"));
    QVERIFY(TestEnvironment::writeFile(calls, "an earlier call log"));
    Outcome messagesOutcome;
    Outcome callsOutcome;
    {
        FileSizeLimit full(100);
        QVERIFY(full.ok());
        ProgressChannel channel;
        ExportMessagesThread messages(source.messages, text, ExportMessagesThread::Text, channel);
        messagesOutcome = runWorker(messages, channel);
        ProgressChannel callChannel;
        ExportViberCallsThread callLog(source.calls, calls, callChannel);
        callsOutcome = runWorker(callLog, callChannel);
    }
    // The failure says why, though the disk took part of a block first.
    const QStringList tooLarge = {QString::fromLocal8Bit(std::strerror(EFBIG))};
    QCOMPARE(messagesOutcome.errors, tooLarge);
    QCOMPARE(callsOutcome.errors, tooLarge);
    QCOMPARE(TestEnvironment::readFile(text), QByteArray("an earlier export"));
    QCOMPARE(TestEnvironment::readFile(calls), QByteArray("an earlier call log"));
    QCOMPARE(LocalDbFixture::filesBelow(folder),
             QStringList({QStringLiteral("calls.txt"), QStringLiteral("messages.txt")}));
}

// The command-line program is killed while it backs a large history up into a database
// that already holds messages: whenever it dies, the file holds the old rows or the new.
void TestWriteFailures::killedBackupLeavesOldOrNew()
{
    if (!QFileInfo(cliProgram()).isExecutable())
        QSKIP("velliport-cli is not built");
    const QString sourceFolder = m_dir.filePath(QStringLiteral("large"));
    LocalDbFixture::createEmptyProgramStore(sourceFolder);
    DataSetBuilder b;
    QList<_ViberMsg*> messages;
    QList<_ViberChat*> chats;
    for (int c = 0; c < 20; ++c)
        chats << b.chat(100 + c, {b.person(100 + c, QStringLiteral("+49170%1").arg(1000 + c))});
    for (int i = 0; i < KilledBackupMessages; ++i) {
        _ViberMsg* m = b.message(chats.at(i % chats.size()), ViberMsgType::Text, Day1.addSecs(i),
                                 QStringLiteral("message %1 ").arg(i).repeated(4), i % 3 == 0);
        m->token = 100000 + i;
        messages << m;
    }
    {
        IOSViberDb large(sourceFolder, DatabaseFile, IOSViberDb::OpenForWriting);
        LocalDbFixture::writeAll(large, messages, {});
    }

    Source small;
    const QString target = AppDirs::localDatabasePath(QStringLiteral("Killed"));
    const QString path = QDir(target).filePath(DatabaseFile);
    ProgressChannel first;
    BackupViberMsgThread seed(small.messages, target, first);
    QVERIFY(runWorker(seed, first).errors.isEmpty());
    const QByteArray saved = TestEnvironment::readFile(path);
    PythonChecker python;
    const QString before = python.check(path).rows;

    const QStringList arguments{QStringLiteral("backup"), sourceFolder, QStringLiteral("--to"),
                                QStringLiteral("Killed")};
    // The shortest of two whole runs: the first also fills the file cache with the
    // program and the source, and a kill point measured from it would fall after the end.
    qint64 duration = 0;
    QString complete;
    for (int run = 0; run < 2; ++run) {
        restoreFile(path, saved);
        QElapsedTimer timer;
        timer.start();
        QProcess whole;
        whole.start(cliProgram(), arguments);
        QVERIFY(whole.waitForFinished(60000));
        QCOMPARE(whole.exitCode(), 0);
        duration = run == 0 ? timer.elapsed() : qMin(duration, timer.elapsed());
        const QString rows = python.check(path).rows;
        QVERIFY(rows != before);
        QVERIFY(run == 0 || rows == complete);
        complete = rows;
    }

    int killedWhileRunning = 0;
    QSet<QString> seen;
    // Loading the source takes the first part of a run, the commit comes at its very end:
    // the later points lie closer together.
    for (const double share : {0.1, 0.25, 0.4, 0.55, 0.7, 0.85, 0.95}) {
        restoreFile(path, saved);
        QProcess process;
        process.start(cliProgram(), arguments);
        QVERIFY(process.waitForStarted());
        const int delay = int(double(duration) * share);
        if (!process.waitForFinished(delay)) {
            ++killedWhileRunning;
            ::kill(pid_t(process.processId()), SIGKILL);
            QVERIFY(process.waitForFinished(10000));
        }
        const PythonChecker::State state = python.check(path);
        const QString where = QStringLiteral("killed after %1 ms").arg(delay);
        QVERIFY2(state.integrity == QLatin1String("ok"), qPrintable(where + u' ' + state.integrity));
        QVERIFY2(state.rows == before || state.rows == complete, qPrintable(where));
        seen.insert(state.rows == before ? QStringLiteral("old") : QStringLiteral("new"));
    }
    QVERIFY(killedWhileRunning >= 4);
    qInfo("kills while running: %d, contents seen: %s", killedWhileRunning,
          qPrintable(QStringList(seen.cbegin(), seen.cend()).join(u',')));
}

QTEST_MAIN(TestWriteFailures)
// The batch writes on a thread of its own: a write that fails there reaches the export
// as the file's error, at a later write or at the end at the latest, and a copy that
// fails there is left out. Nothing of either stays once the batch is gone.
void TestWriteFailures::batchFailuresComeBackToTheWriter()
{
    const QDir folder(m_dir.filePath(QStringLiteral("batch-failures")));
    QByteArray big(256 * 1024, 'x');
    QVERIFY(TestEnvironment::writeFile(folder.filePath(QStringLiteral("source.bin")), big));
    QString error;
    bool copyTaken = false;
    {
        FileSizeLimit full(100 * 1024);
        QVERIFY(full.ok());
        FileBatch batch;
        copyTaken = batch.copyNew(folder.filePath(QStringLiteral("source.bin")),
                                  folder.filePath(QStringLiteral("copy.bin")));
        TextFileWriter page(folder.filePath(QStringLiteral("page.html")), &batch);
        try {
            page.open();
            for (int i = 0; i < 64; ++i)
                page.write(QString(8 * 1024, QLatin1Char('p')));
            page.finish();
            batch.commit();
        } catch (const OperationError& e) {
            error = QString::fromUtf8(e.what());
        }
    }
    QVERIFY(copyTaken); // the name was taken; the data failed later
    QCOMPARE(error, QString::fromLocal8Bit(std::strerror(EFBIG)));
    QCOMPARE(LocalDbFixture::filesBelow(folder.path()), QStringList({QStringLiteral("source.bin")}));
    QCOMPARE(folder.entryList(QDir::Hidden | QDir::Files).size(), 1);
}

#include "tst_writefailures.moc"
