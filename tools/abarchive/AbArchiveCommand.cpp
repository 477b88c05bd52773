#include "tools/abarchive/AbArchiveCommand.h"

#include "android/BackupArchive.h"

#include <exception>

int runAbArchive(const QStringList& arguments, QTextStream& errors)
{
    const bool extract = arguments.size() == 3 && arguments[0] == QLatin1String("extract");
    const bool build = arguments.size() == 3 && arguments[0] == QLatin1String("build");
    if (!extract && !build) {
        errors << "usage: abarchive extract FILE.ab DIR\n"
               << "       abarchive build DIR FILE.ab\n";
        errors.flush();
        return 2;
    }
    try {
        if (extract)
            extractBackupArchive(arguments[1], arguments[2], QStringLiteral("ab file data is corrupted."));
        else
            buildBackupArchive(arguments[1], arguments[2]);
    } catch (const std::exception& error) {
        errors << QString::fromUtf8(error.what()) << '\n';
        errors.flush();
        return 1;
    }
    return 0;
}
