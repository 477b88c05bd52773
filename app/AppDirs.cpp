#include "app/AppDirs.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QUrl>

namespace AppDirs {

namespace {

// Longest file name we create from data, in bytes of UTF-8, which is what file systems
// count (255 on most); the rest leaves room for "(N)" and a suffix.
constexpr int MaxFileNameBytes = 200;

// Cuts whole characters off the end until the UTF-8 form fits.
QString boundedName(const QString& name)
{
    // A UTF-16 unit takes at most three bytes of UTF-8: most names need no encoding to tell.
    if (name.size() * 3 <= MaxFileNameBytes || name.toUtf8().size() <= MaxFileNameBytes)
        return name;
    QString result;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype units = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const qsizetype charBytes = name.mid(i, units).toUtf8().size();
        if (bytes + charBytes > MaxFileNameBytes)
            break;
        result += name.mid(i, units);
        bytes += charBytes;
        i += units;
    }
    return result.trimmed();
}

QString& resolvedDataFolder()
{
    static QString folder;
    return folder;
}

QMutex& dataFolderMutex()
{
    static QMutex mutex;
    return mutex;
}

QString subFolder(const QString& name)
{
    const QString path = QDir(dataFolder()).absoluteFilePath(name);
    QDir().mkpath(path);
    return path;
}

} // namespace

QString applicationDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString resolveDataFolder(const QString& applicationData)
{
    const QDir appData(applicationData);
    QString root = appData.absoluteFilePath(QStringLiteral("Kestrune"));
    QFile redirect(
        appData.absoluteFilePath(QStringLiteral("Kestrune/%1.redirect").arg(QLatin1String(ProductId))));
    if (redirect.open(QIODevice::ReadOnly)) {
        // The file holds nothing but the path; a trailing newline makes it a path that
        // does not exist, and the default applies.
        const QString target = QString::fromUtf8(redirect.read(64 * 1024));
        if (!target.isEmpty() && QFileInfo(target).isDir())
            root = target;
    }
    return QDir(root).absoluteFilePath(QLatin1String(ProductId));
}

QString dataFolder()
{
    QString folder;
    {
        QMutexLocker lock(&dataFolderMutex());
        QString& resolved = resolvedDataFolder();
        if (resolved.isEmpty())
            resolved = resolveDataFolder(applicationDataFolder());
        folder = resolved;
    }
    QDir().mkpath(folder);
    return folder;
}

QString logFolder()
{
    return QDir(dataFolder()).absoluteFilePath(QStringLiteral("qlogs"));
}

QString androidCacheFolder()
{
    return subFolder(QStringLiteral("android_cache"));
}

QString localDatabasesFolder()
{
    return subFolder(QStringLiteral("local_databases"));
}

QStringList localDatabaseNames(const QString& localDatabasesRoot)
{
    const QDir root(localDatabasesRoot);
    QStringList names;
    const QStringList folders = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : folders) {
        if (QFileInfo(root.absoluteFilePath(name + QLatin1Char('/') + QLatin1String(LocalDatabaseFile)))
                .isFile())
            names.append(name);
    }
    return names;
}

QStringList localDatabaseNames()
{
    return localDatabaseNames(localDatabasesFolder());
}

QString localDatabasePath(const QString& name)
{
    return pathInside(localDatabasesFolder(), sanitizeFileName(name));
}

void clearDeviceCache()
{
    removeTree(QDir(dataFolder()).absoluteFilePath(QStringLiteral("android_cache")));
}

namespace {

QString& assetFolderOverride()
{
    static QString folder;
    return folder;
}

} // namespace

QString assetFolder()
{
    const QString& folder = assetFolderOverride();
    if (!folder.isEmpty())
        return folder;
    // The build draws them beside the programs; an installed program finds them in
    // share/velliport beside its bin folder.
    const QDir program(QCoreApplication::applicationDirPath());
    if (program.exists(QStringLiteral("vbbb")))
        return program.path();
    return QDir::cleanPath(program.filePath(QStringLiteral("../share/velliport")));
}

void setAssetFolder(const QString& folder)
{
    assetFolderOverride() = folder;
}

namespace {

// The folders that hold everything of the user's: removing one of them would remove
// every database or cache at once, which no caller ever means to do.
bool isProtectedFolder(const QString& path)
{
    const QString target = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QStringList protectedFolders{dataFolder(), localDatabasesFolder(), QDir::homePath(),
                                       QDir::rootPath()};
    for (const QString& folder : protectedFolders) {
        if (QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) == target)
            return true;
    }
    return false;
}

} // namespace

bool removeLocalDatabase(const QString& name)
{
    if (!isValidLocalDatabaseName(name))
        return false;
    const QString path = localDatabasePath(name);
    removeTree(path);
    return !QFileInfo::exists(path);
}

bool isValidLocalDatabaseName(const QString& name)
{
    return !name.isEmpty() && sanitizeFileName(name) == name;
}

void removeTree(const QString& path)
{
    if (isProtectedFolder(path)) {
        qWarning("refused to remove the folder %s", qUtf8Printable(QDir::toNativeSeparators(path)));
        return;
    }
    const QFileInfo info(path);
    // A link is removed, never followed: a link inside a cache folder must not make
    // us delete what it points at.
    if (info.isSymLink()) {
        QFile::remove(path);
        return;
    }
    if (!info.isDir())
        return;
    QDir dir(path);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            removeTree(entry.absoluteFilePath());
        else
            QFile::remove(entry.absoluteFilePath());
    }
    dir.rmdir(path);
}

QString uniqueFileName(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return path;
    const QString fileName = info.fileName();
    const int firstDot = fileName.indexOf(QLatin1Char('.'));
    const int lastDot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = firstDot < 0 ? fileName : fileName.left(firstDot);
    const QString suffix = lastDot < 0 ? QString() : fileName.mid(lastDot + 1);
    const QDir dir = info.dir();
    for (int n = 1;; ++n) {
        QString candidate = QStringLiteral("%1(%2)").arg(base).arg(n);
        if (lastDot >= 0)
            candidate += QLatin1Char('.') + suffix;
        const QString full = dir.filePath(candidate);
        const QFileInfo candidateInfo(full);
        if (!candidateInfo.exists() && !candidateInfo.isSymLink())
            return full;
    }
}

namespace {

// The characters no file name keeps: the nine that file systems refuse, and control
// characters (U+0000 to U+001F, U+007F to U+009F), which are no better in a name than
// a tab.
bool isDroppedFromNames(char16_t unit)
{
    if (unit < 0x20 || (unit >= 0x7f && unit <= 0x9f))
        return true;
    switch (unit) {
    case u'\\':
    case u'/':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|':
        return true;
    default:
        return false;
    }
}

// Whether sanitizeFileName would give text back as it is: no character it drops or
// replaces, no space at either end, short enough for any encoding, and not dots alone.
// Nearly every name an export makes is such a name, and is then passed on without a copy.
bool isKeptName(QStringView text)
{
    if (text.isEmpty() || text.size() * 3 > MaxFileNameBytes || text.front().isSpace() ||
        text.back().isSpace())
        return false;
    bool dotsAlone = true;
    for (const QChar c : text) {
        if (c.isSurrogate() || isDroppedFromNames(c.unicode()))
            return false;
        if (c != u'.')
            dotsAlone = false;
    }
    return !dotsAlone;
}

} // namespace

QString sanitizeFileName(const QString& text)
{
    if (isKeptName(text))
        return text;
    // Character by character: regular expressions match nothing in text that is not
    // valid UTF-16, and a name from a database may hold a lone surrogate.
    QString name;
    name.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            name.append(c).append(text.at(++i));
            continue;
        }
        if (c.isSurrogate()) {
            name.append(QChar::ReplacementCharacter);
            continue;
        }
        if (!isDroppedFromNames(c.unicode()))
            name.append(c);
    }
    name = name.trimmed();
    name = boundedName(name);
    // What is left must still be a name inside the folder it is meant for: "." and
    // ".." (or dots alone) would name the folder itself or its parent.
    if (!name.isEmpty() && name.count(QLatin1Char('.')) == name.size())
        name.clear();
    return name;
}

QString pathInside(const QString& folder, const QString& relativeName)
{
    if (relativeName.isEmpty() || QDir::isAbsolutePath(relativeName) || relativeName.contains(QChar(u'\0')) ||
        !QStringView(relativeName).isValidUtf16())
        return {};
    const QString root = QDir::cleanPath(QDir(folder).absolutePath());
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    const QString path = QDir::cleanPath(prefix + relativeName);
    return path.size() > prefix.size() && path.startsWith(prefix) ? path : QString();
}

QString md5Hex(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

namespace {

std::function<void(const QUrl&)>& shellOpenHook()
{
    static std::function<void(const QUrl&)> hook;
    return hook;
}

} // namespace

void setShellOpenHook(std::function<void(const QUrl&)> hook)
{
    shellOpenHook() = std::move(hook);
}

void openUrl(const QUrl& url)
{
    if (const auto& hook = shellOpenHook())
        hook(url);
    else
        QDesktopServices::openUrl(url);
}

void openInExplorer(const QString& path)
{
    const QFileInfo info(path);
    // Desktops differ in how to select a file; opening its folder works everywhere.
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    openUrl(QUrl::fromLocalFile(folder));
}

void shellOpen(const QString& path)
{
    openUrl(QUrl::fromLocalFile(path));
}

} // namespace AppDirs
