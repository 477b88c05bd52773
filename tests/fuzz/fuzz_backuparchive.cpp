// Backup archives come from the phone. Property: whatever the body holds, extraction
// writes only below its destination, makes no links, and leaves a file outside it alone.
// The input is the body after the archive's header lines.
#include "android/BackupArchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <stdexcept>

namespace {

constexpr char Header[] = "ANDROID BACKUP\n5\n1\nnone\n";
constexpr char Sentinel[] = "outside/target";

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir sandbox;
    const QDir root(sandbox.path());
    const QString archive = root.filePath(QStringLiteral("in.ab"));
    const QString dest = root.filePath(QStringLiteral("out"));
    const QString sentinel = root.filePath(QLatin1String(Sentinel));
    QDir(dest).removeRecursively();
    if (!write(sentinel, "original") ||
        !write(archive,
               QByteArray(Header) + QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        std::abort();
    try {
        extractBackupArchive(archive, dest, QStringLiteral("corrupt"));
    } catch (const std::runtime_error&) {
    }

    QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = root.relativeFilePath(it.next());
        const bool expected = relative == QLatin1String("in.ab") || relative == QLatin1String("outside") ||
                              relative == QLatin1String(Sentinel) || relative == QLatin1String("out") ||
                              relative.startsWith(QLatin1String("out/"));
        if (!expected || it.fileInfo().isSymLink())
            std::abort();
    }
    QFile kept(sentinel);
    if (!kept.open(QIODevice::ReadOnly) || kept.readAll() != "original")
        std::abort();
    return 0;
}
