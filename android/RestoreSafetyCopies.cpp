#include "android/RestoreSafetyCopies.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLoadViberThread.h"
#include "app/AppDirs.h"
#include "app/SqliteFileSet.h"

#include <QDir>
#include <QSettings>
#include <QFileInfo>

#include <stdexcept>

namespace {

void require(bool ok, const QString& what)
{
    if (!ok)
        throw std::runtime_error(what.toStdString());
}

bool isCompanion(const QString& fileName)
{
    for (const QString& suffix : SqliteFileSet::companionSuffixes()) {
        if (fileName.endsWith(suffix))
            return true;
    }
    return false;
}

void dropOldestCopies(const QDir& copies)
{
    QStringList names =
        copies.entryList({QStringLiteral("*.dbdir")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    while (names.size() > RestoreSafetyCopies::KeptCopies) {
        const QString oldest = copies.absoluteFilePath(names.takeFirst());
        AppDirs::removeTree(oldest);
        require(
            !QFileInfo::exists(oldest),
            QStringLiteral("Can't remove the old database copy %1").arg(QDir::toNativeSeparators(oldest)));
    }
}

// Two transfers within one second still get a folder each.
QString newCopyFolder(const QDir& copies, const QDateTime& now)
{
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd_hhmmss"));
    QString name = stamp + QStringLiteral(".dbdir");
    for (int n = 2; copies.exists(name); ++n)
        name = QStringLiteral("%1-%2.dbdir").arg(stamp).arg(n);
    const QString path = copies.absoluteFilePath(name);
    require(copies.mkpath(name), QStringLiteral("Can't create %1").arg(QDir::toNativeSeparators(path)));
    return path;
}

void copyDatabaseFolder(const QDir& source, const QDir& target)
{
    for (const QFileInfo& file : source.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        // A companion travels with its main file; alone it would be applied to nothing.
        if (isCompanion(file.fileName()))
            continue;
        SqliteFileSet::copySet(file.absoluteFilePath(), target.absoluteFilePath(file.fileName()));
    }
}

} // namespace

QString RestoreSafetyCopies::copiesFolder(const QString& cacheDir)
{
    return QDir(cacheDir).filePath(QStringLiteral("dbfiles-before-restore"));
}

QString RestoreSafetyCopies::prepareArchiveFolder(const QString& cacheDir)
{
    const QString folder = QDir(cacheDir).filePath(QStringLiteral("abfiles-before-restore"));
    require(QDir().mkpath(folder), QStringLiteral("Can't create %1").arg(QDir::toNativeSeparators(folder)));
    const QDir dir(folder);
    for (const QString& archive : dir.entryList({QStringLiteral("*.ab")}, QDir::Files)) {
        require(
            QFile::remove(dir.absoluteFilePath(archive)),
            QStringLiteral("Can't remove %1").arg(QDir::toNativeSeparators(dir.absoluteFilePath(archive))));
    }
    return folder;
}

QString RestoreSafetyCopies::keepDatabaseCopy(const QString& cacheDir, const QDateTime& now)
{
    const QDir source(QDir(AndroidLoadViberThread::viberFolder(cacheDir)).filePath(QStringLiteral("db")));
    require(source.exists(), QStringLiteral("There are no Viber databases of this phone to keep in %1")
                                 .arg(QDir::toNativeSeparators(source.absolutePath())));
    const QString root = copiesFolder(cacheDir);
    require(QDir().mkpath(root), QStringLiteral("Can't create %1").arg(QDir::toNativeSeparators(root)));
    const QDir copies(root);
    dropOldestCopies(copies);
    const QString folder = newCopyFolder(copies, now);
    try {
        copyDatabaseFolder(source, QDir(folder));
    } catch (...) {
        AppDirs::removeTree(folder);
        throw;
    }
    return folder;
}

namespace {

QString transferMark(const QString& copy)
{
    return QDir(copy).filePath(QStringLiteral("transfer.ini"));
}

} // namespace

QString RestoreSafetyCopies::phoneKey(const AndroidDevice& device)
{
    return device.uid.isEmpty() ? device.serial : device.uid;
}

void RestoreSafetyCopies::markTransferred(const QString& copy, const AndroidDevice& device, const QDateTime& when,
                                          qint64 messages)
{
    QSettings mark(transferMark(copy), QSettings::IniFormat);
    mark.setValue(QStringLiteral("transfer/device_uid"), phoneKey(device));
    mark.setValue(QStringLiteral("transfer/time"), when.toUTC().toString(Qt::ISODateWithMs));
    mark.setValue(QStringLiteral("transfer/messages"), messages);
    mark.setValue(QStringLiteral("transfer/undone"), false);
    mark.sync();
    require(mark.status() == QSettings::NoError,
            QStringLiteral("Can't write %1").arg(QDir::toNativeSeparators(transferMark(copy))));
}

std::optional<RestoreSafetyCopies::KeptCopy> RestoreSafetyCopies::lastTransfer(const QString& cacheDir)
{
    const QDir copies(copiesFolder(cacheDir));
    QStringList names =
        copies.entryList({QStringLiteral("*.dbdir")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    while (!names.isEmpty()) {
        const QString folder = copies.absoluteFilePath(names.takeLast());
        if (!QFileInfo::exists(transferMark(folder)))
            continue;
        const QSettings mark(transferMark(folder), QSettings::IniFormat);
        if (mark.value(QStringLiteral("transfer/undone"), false).toBool())
            continue;
        KeptCopy copy;
        copy.folder = folder;
        copy.deviceUid = mark.value(QStringLiteral("transfer/device_uid")).toString();
        copy.transferredAt =
            QDateTime::fromString(mark.value(QStringLiteral("transfer/time")).toString(), Qt::ISODateWithMs);
        copy.messages = mark.value(QStringLiteral("transfer/messages")).toLongLong();
        return copy;
    }
    return std::nullopt;
}

void RestoreSafetyCopies::markUndone(const KeptCopy& copy)
{
    QSettings mark(transferMark(copy.folder), QSettings::IniFormat);
    mark.setValue(QStringLiteral("transfer/undone"), true);
    mark.sync();
}
