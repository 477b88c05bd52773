#include "db/PCViberAccounts.h"

#include <QDir>
#include <QFileInfo>

namespace {

QStringList candidateFolders()
{
    return {QStringLiteral(".ViberPC"), QStringLiteral("AppData/Roaming/ViberPC"),
            QStringLiteral("Application Data/ViberPC"),
            QStringLiteral("Library/Application Support/ViberPC")};
}

} // namespace

QString PCViberAccounts::dataFolder(const QString& home)
{
    if (home.isEmpty())
        return {};
    for (const QString& candidate : candidateFolders()) {
        const QString folder = QDir(home).filePath(candidate);
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return {};
}

QStringList PCViberAccounts::accountFolders(const QString& home)
{
    const QString root = dataFolder(home);
    if (root.isEmpty())
        return {};
    QStringList accounts;
    const QDir dir(root);
    for (const QFileInfo& folder : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (QFileInfo(QDir(folder.absoluteFilePath()).filePath(QLatin1String(DatabaseFile))).isFile())
            accounts.append(folder.absoluteFilePath());
    }
    return accounts;
}
