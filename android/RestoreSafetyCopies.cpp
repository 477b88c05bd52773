#include "android/RestoreSafetyCopies.h"

#include "android/AndroidLoadViberThread.h"
#include "app/AppDirs.h"
#include "app/SqliteFileSet.h"

#include <QDir>
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
