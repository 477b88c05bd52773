#include "android/PhoneDatabaseInstaller.h"

#include "android/AdbTool.h"
#include "android/AndroidLoadViberThread.h"
#include "android/SimpleProtocol.h"
#include "app/Failure.h"
#include "app/FileSha256.h"
#include "app/KeyTranslator.h"
#include "app/OperationCancelled.h"
#include "app/ProgressChannel.h"
#include "app/SqliteFileSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtDebug>

#include <future>

using namespace simpleprotocol;

namespace {

QByteArray sha256Of(const QString& path)
{
    const QString hex = FileSha256::hexOf(path);
    if (hex.isEmpty())
        fail(QStringLiteral("Can't read %1").arg(QDir::toNativeSeparators(path)));
    return hex.toLatin1();
}

// The first word of a root command's output, if it is made of the characters allowed.
// Whatever the phone answers goes into the next root command, so it is checked here.
QString firstWord(const QByteArray& output, const QRegularExpression& allowed)
{
    const QString word = QString::fromUtf8(output.left(1024)).simplified().section(u' ', 0, 0);
    return allowed.match(word).hasMatch() ? word : QString();
}

} // namespace

PhoneDatabaseInstaller::PhoneDatabaseInstaller(const AndroidDevice& device, ProgressChannel& progress,
                                               SessionOpener openSession, int commandWaitMs)
    : m_device(device), m_progress(progress), m_openSession(std::move(openSession)), m_waitMs(commandWaitMs)
{}

QString PhoneDatabaseInstaller::stagingFolder() const
{
    return QDir::cleanPath(m_device.storage + QStringLiteral("/viber/su"));
}

QString PhoneDatabaseInstaller::target(const QString& name) const
{
    return QStringLiteral("%1/%2").arg(QLatin1String(AndroidLoadViberThread::ViberDatabases), name);
}

QString PhoneDatabaseInstaller::staged(const QString& name) const
{
    return stagingFolder() + u'/' + name;
}

int PhoneDatabaseInstaller::run(QIODevice& socket, const QString& command)
{
    return suCommand(socket, command, m_waitMs, nullptr);
}

void PhoneDatabaseInstaller::require(QIODevice& socket, const QString& command, const QString& step)
{
    const int code = run(socket, command);
    if (code != 0)
        fail(KeyTranslator::text("IDS_PHONE_STEP_FAILED_%1_%2").arg(step).arg(code));
}

void PhoneDatabaseInstaller::stage(QTcpSocket& socket, const QList<File>& files)
{
    const QString staging = stagingFolder();
    if (m_device.storage.isEmpty() || !isShellSafePath(staging) || phonePathFromUri(staging).isEmpty())
        fail(QStringLiteral("unsafe path for a root command: %1").arg(staging));
    QStringList paths;
    for (const File& file : files) {
        Target t;
        t.name = file.name;
        t.localPath = file.localPath;
        t.size = QFileInfo(file.localPath).size();
        m_files.append(t);
        paths.append(file.localPath);
    }
    // The digests the phone's copies must match are taken while the files travel.
    std::future<QList<QByteArray>> digests = std::async(std::launch::async, [paths] {
        QList<QByteArray> hex;
        for (const QString& path : paths)
            hex.append(sha256Of(path));
        return hex;
    });
    try {
        // A phone that refuses root gets no copy of the history on its shared storage.
        if (suCommand(socket, QStringLiteral("mkdir -p \"%1\"").arg(staging), m_waitMs, &m_progress) != 0)
            fail(KeyTranslator::text("IDS_ROOT_INVALID_AUTHORIZATION"));
        for (const Target& file : std::as_const(m_files))
            uploadFile(socket, file.localPath, staged(file.name), &m_progress);
        const QList<QByteArray> hex = digests.get();
        for (qsizetype i = 0; i < m_files.size(); ++i)
            m_files[i].sha256 = hex.at(i);
    } catch (const OperationCancelled&) {
        recover();
        throw;
    } catch (const std::exception& e) {
        failAfterRecovery(QString::fromUtf8(e.what()));
    }
}

void PhoneDatabaseInstaller::failAfterRecovery(const QString& error)
{
    recover();
    fail(error + u' ' +
         KeyTranslator::text(m_phoneUnchanged ? "IDS_PHONE_KEPT_ITS_DATABASES"
                                              : "IDS_PHONE_MAY_HOLD_PART_OF_TRANSFER"));
}

void PhoneDatabaseInstaller::stopViber(QIODevice& socket)
{
    // Viber writes its databases while it runs; replacing them under it would lose the
    // new files or its own writes.
    if (!m_device.viaWifi) {
        AdbTool().forceStop(m_device.serial, QLatin1String(AndroidLoadViberThread::ViberPackage));
        return;
    }
    require(socket,
            QStringLiteral("am force-stop %1").arg(QLatin1String(AndroidLoadViberThread::ViberPackage)),
            QStringLiteral("am force-stop"));
}

void PhoneDatabaseInstaller::install(QTcpSocket& socket)
{
    try {
        stopViber(socket);
        // An earlier run that was cut off may have left its temporary names behind.
        removeAll(socket, temporaryNames(), true);
        for (Target& file : m_files)
            prepare(socket, file);
        require(socket, QStringLiteral("sync"), QStringLiteral("sync"));
        for (const Target& file : std::as_const(m_files))
            check(socket, file);
        m_swapStarted = true;
        const QSet<QString> present = databaseFolderNames(socket);
        for (const Target& file : std::as_const(m_files))
            swap(socket, file, present);
        require(socket, QStringLiteral("sync"), QStringLiteral("sync"));
    } catch (const std::exception& e) {
        failAfterRecovery(QString::fromUtf8(e.what()));
    }
    m_phoneUnchanged = false;
    // The old files' second names and the staged copies only take room now; a failure
    // to remove them changes nothing of what Viber reads.
    try {
        QStringList names = temporaryNames();
        for (const Target& file : std::as_const(m_files))
            names.append(staged(file.name));
        removeAll(socket, names, false);
    } catch (const std::exception& e) {
        qWarning("the old database files could not be removed from the phone: %s", e.what());
    }
}

QStringList PhoneDatabaseInstaller::temporaryNames() const
{
    QStringList names;
    for (const Target& file : m_files) {
        const QString base = target(file.name);
        names << base + QLatin1String(NewSuffix) << base + QLatin1String(OldSuffix);
        for (const QString& suffix : SqliteFileSet::companionSuffixes())
            names.append(base + QLatin1String(OldSuffix) + suffix);
    }
    return names;
}

void PhoneDatabaseInstaller::removeAll(QIODevice& socket, const QStringList& paths, bool required)
{
    // One command: every root command starts a shell on the phone.
    QString command = QStringLiteral("rm -f");
    for (const QString& path : paths)
        command += QStringLiteral(" \"%1\"").arg(path);
    if (run(socket, command) != 0) {
        if (required)
            fail(QStringLiteral("rm: %1").arg(paths.value(0)));
        qWarning("removing %s failed", qUtf8Printable(paths.join(u' ')));
    }
}

QSet<QString> PhoneDatabaseInstaller::databaseFolderNames(QIODevice& socket)
{
    const QString folder = QLatin1String(AndroidLoadViberThread::ViberDatabases);
    const RootOutput listing = suOutput(socket, QStringLiteral("ls -a \"%1\"").arg(folder), m_waitMs);
    if (listing.exitCode != 0)
        fail(QStringLiteral("ls: %1 (exit code %2)").arg(folder).arg(listing.exitCode));
    QSet<QString> names;
    for (const QByteArray& line : listing.output.split('\n')) {
        const QString name = QString::fromUtf8(line.trimmed());
        if (!name.isEmpty() && !name.contains(u'/'))
            names.insert(name);
    }
    return names;
}

// "uid gid mode context" as `stat -c '%u %g %a %C'` prints it.
QString PhoneDatabaseInstaller::ownership(QIODevice& socket, const QString& path, const QString& extraField)
{
    // Whatever the phone answers goes into the next root commands: SELinux contexts are
    // "user:role:type:level" with categories after commas, "?" on a phone without it.
    static const QRegularExpression fields(
        QStringLiteral("^(\\d{1,12} )?\\d{1,10} \\d{1,10} [0-7]{3,4} (\\?|[A-Za-z0-9_.:,-]{1,255})$"));
    const RootOutput stat =
        suOutput(socket, QStringLiteral("stat -c '%1%u %g %a %C' \"%2\"").arg(extraField, path), m_waitMs);
    const QString text = QString::fromUtf8(stat.output.left(512)).trimmed();
    if (stat.exitCode != 0 || !fields.match(text).hasMatch())
        fail(QStringLiteral("stat: %1").arg(text.left(80)));
    return text;
}

void PhoneDatabaseInstaller::prepare(QIODevice& socket, Target& file)
{
    const QString old = target(file.name);
    const QString fresh = old + QLatin1String(NewSuffix);
    file.owner = ownership(socket, old, QString());
    const QStringList ids = file.owner.split(u' ');
    require(socket, QStringLiteral("dd if=\"%1\" of=\"%2\"").arg(staged(file.name), fresh),
            QStringLiteral("dd"));
    require(socket, QStringLiteral("chown %1:%2 \"%3\"").arg(ids[0], ids[1], fresh), QStringLiteral("chown"));
    require(socket, QStringLiteral("chmod %1 \"%2\"").arg(ids[2], fresh), QStringLiteral("chmod"));
    if (ids[3] != QLatin1String("?"))
        require(socket, QStringLiteral("chcon %1 \"%2\"").arg(ids[3], fresh), QStringLiteral("chcon"));
}

void PhoneDatabaseInstaller::check(QIODevice& socket, const Target& file)
{
    const QString fresh = target(file.name) + QLatin1String(NewSuffix);
    const QString mismatch = KeyTranslator::text("IDS_PHONE_COPY_DIFFERS_%1").arg(file.name);
    if (ownership(socket, fresh, QStringLiteral("%s ")) !=
        QStringLiteral("%1 %2").arg(file.size).arg(file.owner))
        fail(mismatch);
    static const QRegularExpression hexWord(QStringLiteral("^[0-9a-f]{64}$"));
    const RootOutput hash = suOutput(socket, QStringLiteral("sha256sum \"%1\"").arg(fresh), m_waitMs);
    if (hash.exitCode != 0 || firstWord(hash.output, hexWord).toLatin1() != file.sha256)
        fail(mismatch);
}

void PhoneDatabaseInstaller::swap(QIODevice& socket, const Target& file, const QSet<QString>& present)
{
    const QString live = target(file.name);
    const QString old = live + QLatin1String(OldSuffix);
    require(socket, QStringLiteral("ln \"%1\" \"%2\"").arg(live, old), QStringLiteral("ln"));
    // The old file's log and index belong to it alone: applied to the new file they
    // would corrupt it, so they move aside before the new file takes the name.
    for (const QString& suffix : SqliteFileSet::companionSuffixes()) {
        if (present.contains(file.name + suffix))
            require(socket, QStringLiteral("mv \"%1%2\" \"%3%2\"").arg(live, suffix, old),
                    QStringLiteral("mv"));
    }
    require(socket, QStringLiteral("mv \"%1%2\" \"%1\"").arg(live, QLatin1String(NewSuffix)),
            QStringLiteral("mv"));
}

void PhoneDatabaseInstaller::rollBack(QIODevice& socket)
{
    const QSet<QString> present = databaseFolderNames(socket);
    for (const Target& file : std::as_const(m_files)) {
        const QString live = target(file.name);
        const QString oldName = file.name + QLatin1String(OldSuffix);
        const QString old = live + QLatin1String(OldSuffix);
        // Renaming the second name over the first is a no-op when the swap never
        // happened (both name one file); the extra name goes with the other leftovers.
        if (present.contains(oldName))
            require(socket, QStringLiteral("mv \"%1\" \"%2\"").arg(old, live), QStringLiteral("mv"));
        for (const QString& suffix : SqliteFileSet::companionSuffixes()) {
            if (present.contains(oldName + suffix))
                require(socket, QStringLiteral("mv \"%1%2\" \"%3%2\"").arg(old, suffix, live),
                        QStringLiteral("mv"));
        }
    }
}

void PhoneDatabaseInstaller::recover()
{
    try {
        const std::unique_ptr<QTcpSocket> socket = m_openSession();
        if (m_swapStarted)
            rollBack(*socket);
        removeAll(*socket, temporaryNames(), true);
        require(*socket, QStringLiteral("sync"), QStringLiteral("sync"));
        m_phoneUnchanged = true;
        QStringList stagedCopies;
        for (const Target& file : std::as_const(m_files))
            stagedCopies.append(staged(file.name));
        removeAll(*socket, stagedCopies, false);
        sendBye(*socket);
    } catch (const std::exception& e) {
        m_phoneUnchanged = !m_swapStarted;
        qWarning("the phone could not be put back to its old databases: %s", e.what());
    }
}
