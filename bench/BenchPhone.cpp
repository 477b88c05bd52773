// Drives the phone workers against a phone of the phone simulator and prints, on one
// line, the time and figures of one run. The simulator's adb must come first on PATH
// and PHONESIM_DIR must name STATE (phone-load.sh and transfer.sh set both up).
//
//   velliport-bench-phone [--modern] phone STATE SERIAL EXTRACT_ROOT
//     makes SERIAL a rooted phone in STATE (API 28, or 33 with --modern: Android 13,
//     where today's Viber runs; Viber and the agent installed, Viber stopped) whose Viber
//     databases are the ones below EXTRACT_ROOT.
//   velliport-bench-phone load STATE SERIAL
//     AndroidLoadViberThread by the root route, timed from start to outcome.
//   velliport-bench-phone download STATE SERIAL OUT
//     the floor of a load: one agent session downloads Viber's database files straight
//     from their folder into OUT (laid out as an extracted archive), then
//     AndroidViberDb::load() reads them; both timed.
//   velliport-bench-phone [--modern] transfer STATE SERIAL SOURCE
//     loads the phone folder SOURCE (by the reader the program picks for it), puts the
//     phone's current files into the device's cache (as a load leaves them) and runs
//     AndroidRestoreViberThread with every loaded message; the root write is timed, and
//     the peak memory of the run is set against the memory of the loaded data set. The
//     worker must take the path of the phone's generation: today's app with --modern.
//     The worker's phases, as its status texts tell them, go to stderr.
// The --modern flag must be given alike to phone and to the modes that use that phone.

#include "bench/BenchMemory.h"
#include "bench/BenchReceiver.h"

#include "android/AgentSession.h"
#include "android/AndroidDevice.h"
#include "android/AndroidLoadViberThread.h"
#include "android/AndroidRestoreViberThread.h"
#include "android/SimpleProtocol.h"
#include "app/HugePageHeap.h"
#include "app/ProgressChannel.h"
#include "db/AndroidViberDb.h"
#include "db/ViberSourceDetector.h"
#include "tools/phonesim/SimDevice.h"
#include "tools/phonesim/SimSample.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTextStream>

#include <stdexcept>

namespace {

constexpr auto PhoneDatabases = "/data/data/com.viber.voip/databases";
const QStringList DatabaseNames = {QStringLiteral("viber_messages"), QStringLiteral("viber_data")};
constexpr int SdkLevel = 28;
// Android 13, as on a phone of today's Viber.
constexpr int ModernSdkLevel = 33;
int g_sdkLevel = SdkLevel;

QString seconds(qint64 nanoseconds)
{
    return QString::number(double(nanoseconds) / 1e9, 'f', 3);
}

void copyFile(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw std::runtime_error(QStringLiteral("cannot copy %1 to %2").arg(from, to).toStdString());
}

QString extractedDb(const QString& extractRoot, const QString& name)
{
    return QDir(extractRoot).filePath(QStringLiteral("ab-extract/apps/com.viber.voip/db/") + name);
}

AndroidDevice usbDevice(const QString& serial)
{
    AndroidDevice device;
    device.serial = serial;
    device.applyDescription(SimSample::description(serial, g_sdkLevel, true));
    return device;
}

QString makePhone(const QString& state, const QString& serial, const QString& extractRoot)
{
    SimDevice device = SimDevice::create(state, serial);
    device.setValue(QStringLiteral("state"), QStringLiteral("device"));
    device.setValue(QStringLiteral("packages"),
                    QStringList{QStringLiteral("com.viber.voip"), QStringLiteral("com.kestrune.relaypod")});
    device.installNativeAgent();
    device.setValue(QStringLiteral("description"), SimSample::description(serial, g_sdkLevel, true));
    device.setValue(QStringLiteral("root"), true);
    device.setValue(QStringLiteral("viberRunning"), false);
    const QString databases = device.fileFor(QLatin1String(PhoneDatabases));
    for (const QString& name : DatabaseNames) {
        const QString phoneFile = QDir(databases).filePath(name);
        for (const char* suffix : {"-wal", "-shm", "-journal"})
            QFile::remove(phoneFile + QLatin1String(suffix));
        copyFile(extractedDb(extractRoot, name), phoneFile);
    }
    QDir().mkpath(device.fileFor(QStringLiteral("/storage/emulated/0/viber")));
    return QStringLiteral("phone=%1 messages_bytes=%2")
        .arg(serial)
        .arg(QFileInfo(QDir(databases).filePath(DatabaseNames.first())).size());
}

QString benchLoad(const QString& serial)
{
    ProgressChannel channel;
    BenchReceiver receiver(&channel);
    AndroidLoadViberThread worker(usbDevice(serial), true, channel);
    const qint64 elapsed = receiver.run(worker);
    const ViberDataSetPtr data = worker.dataSet();
    if (!data)
        throw std::runtime_error("the load ended without a data set");
    // Up to the first attachment the run does what the floor does (and stops Viber,
    // stages the copies and clears them); the rest asks the phone for each media file.
    const qint64 databaseNs = receiver.firstPercentNs >= 0 ? receiver.firstPercentNs : elapsed;
    return QStringLiteral("load_s=%1 database_s=%2 attachments_s=%3 messages=%4 attachments=%5 "
                          "failed_attachments=%6 progress_posts=%7")
        .arg(seconds(elapsed), seconds(databaseNs), seconds(elapsed - databaseNs))
        .arg(data->messages.size())
        .arg(data->attachments.size())
        .arg(worker.failedAttachments())
        .arg(receiver.progressCount);
}

QString benchDownload(const QString& serial, const QString& out)
{
    const AndroidDevice device = usbDevice(serial);
    QElapsedTimer timer;
    timer.start();
    const auto socket = simpleprotocol::openSession(
        device.endpoint(),
        QString::fromLatin1(simpleprotocol::DownloadUrl).arg(simpleprotocol::nextSessionPort()), 10000);
    const qint64 sessionNs = timer.nsecsElapsed();
    qint64 bytes = 0;
    // The agent, an ordinary app, may not read Viber's folder: a root copy into shared
    // storage comes first, as in the load's root route.
    const QString staging = QStringLiteral("/storage/emulated/0/viber/su");
    simpleprotocol::suCommand(*socket, QStringLiteral("mkdir -p \"%1\"").arg(staging));
    for (const QString& name : DatabaseNames) {
        const QString local = extractedDb(out, name);
        QDir().mkpath(QFileInfo(local).absolutePath());
        const QString staged = staging + u'/' + name;
        if (simpleprotocol::suCopy(*socket, QStringLiteral("%1/%2").arg(QLatin1String(PhoneDatabases), name),
                                   staged) != 0 ||
            !simpleprotocol::downloadFile(*socket, staged, local, true))
            throw std::runtime_error("the phone sent no " + name.toStdString());
        bytes += QFileInfo(local).size();
    }
    simpleprotocol::sendBye(*socket);
    const qint64 downloadNs = timer.nsecsElapsed();
    const ViberDataSetPtr data = AndroidViberDb(device.storage, out).load();
    const qint64 totalNs = timer.nsecsElapsed();
    return QStringLiteral("download_load_s=%1 session_s=%2 download_s=%3 db_load_s=%4 bytes=%5 messages=%6")
        .arg(seconds(totalNs), seconds(sessionNs), seconds(downloadNs - sessionNs),
             seconds(totalNs - downloadNs))
        .arg(bytes)
        .arg(data->messages.size());
}

QString benchTransfer(const QString& state, const QString& serial, const QString& source, bool modern)
{
    Memory memory;
    memory.beforeLoadKb = statusKb("VmRSS:");
    const ViberDataSetPtr data =
        ViberSourceDetector::androidReader(QStringLiteral("/storage/emulated/0"), source)->load();
    memory.dataSetKb = statusKb("VmRSS:") - memory.beforeLoadKb;
    QList<_ViberMsg*> messages;
    for (_ViberMsg* msg : data->messages)
        messages.append(msg);

    const AndroidDevice device = usbDevice(serial);
    const QString cacheDb =
        QDir(AndroidLoadViberThread::viberFolder(device.cacheDir())).filePath(QStringLiteral("db"));
    const SimDevice phone(state, serial);
    for (const QString& name : DatabaseNames)
        copyFile(phone.fileFor(QStringLiteral("%1/%2").arg(QLatin1String(PhoneDatabases), name)),
                 QDir(cacheDb).filePath(name));
    // A benchmark of one writer must not time the other.
    if (AndroidRestoreViberThread::writesModernViber(device) != modern)
        throw std::runtime_error(
            modern ? "the phone's Viber is not today's: the transfer would take the older path"
                   : "the phone's Viber is today's: the transfer would take its path");

    const qint64 loadPeakKb = statusKb("VmHWM:");
    memory.peakReset = resetPeak();
    ProgressChannel channel;
    BenchReceiver receiver(&channel);
    AndroidRestoreViberThread worker(device, messages, channel);
    const auto printPhases = [&receiver] {
        QTextStream err(stderr);
        for (const BenchReceiver::Phase& phase : std::as_const(receiver.phases))
            err << "phase from_s=" << seconds(phase.firstNs) << " last_post_s=" << seconds(phase.lastNs)
                << " posts=" << phase.posts << " " << phase.status << "\n";
    };
    qint64 elapsed = 0;
    try {
        elapsed = receiver.run(worker);
    } catch (...) {
        printPhases();
        throw;
    }
    printPhases();
    if (QFileInfo(phone.viberWritesLog()).size() > 0)
        throw std::runtime_error("the transfer wrote into Viber's files while it ran");
    return QStringLiteral("transfer_s=%1 queued=%2 written=%3 missing_files=%4 phone_messages_bytes=%5 %6 "
                          "load_peak_kb=%7")
        .arg(seconds(elapsed))
        .arg(worker.queued())
        .arg(worker.written())
        .arg(worker.missingFiles())
        .arg(QFileInfo(phone.fileFor(QStringLiteral("%1/viber_messages").arg(QLatin1String(PhoneDatabases))))
                 .size())
        .arg(memory.figures())
        .arg(loadPeakKb);
}

} // namespace

int main(int argc, char** argv)
{
    HugePageHeap::restartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const bool modern = args.removeAll(QStringLiteral("--modern")) > 0;
    if (modern)
        g_sdkLevel = ModernSdkLevel;
    const QString mode = args.value(1);
    const int wanted = mode == QLatin1String("load") ? 4 : 5;
    const QStringList modes = {QStringLiteral("phone"), QStringLiteral("load"), QStringLiteral("download"),
                               QStringLiteral("transfer")};
    if (!modes.contains(mode) || args.size() != wanted) {
        QTextStream(stderr)
            << "usage: velliport-bench-phone [--modern] phone STATE SERIAL EXTRACT_ROOT | load STATE SERIAL |"
               " download STATE SERIAL OUT | transfer STATE SERIAL SOURCE\n";
        return 2;
    }
    const QString state = QDir(args.at(2)).absolutePath();
    const QString serial = args.at(3);
    try {
        if (mode != QLatin1String("phone") &&
            QDir(SimDevice::stateDirFromEnvironment()).absolutePath() != state)
            throw std::runtime_error("PHONESIM_DIR must name the phone state folder");
        QString line;
        if (mode == QLatin1String("phone"))
            line = makePhone(state, serial, args.at(4));
        else if (mode == QLatin1String("load"))
            line = benchLoad(serial);
        else if (mode == QLatin1String("download"))
            line = benchDownload(serial, args.at(4));
        else
            line = benchTransfer(state, serial, args.at(4), modern);
        QTextStream(stdout) << line << "\n";
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
