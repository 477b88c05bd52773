#pragma once

#include <QString>

// Android backup archives (".ab"): a 24-byte text header, then a zlib stream of a tar archive.
// Both functions raise std::runtime_error with a UTF-8 message on failure.

// The limits below keep a hostile or damaged archive from exhausting the disk; memory stays
// flat, as archives are unpacked as they inflate and built as they deflate.
inline constexpr qint64 MaxBackupArchiveBytes = qint64(1) << 30;
inline constexpr qint64 MaxBackupTarBytes = qint64(2) << 30;

// Unpacks abPath into destDir. corruptMessage is raised when the body does not decompress
// or the tar inside is damaged. Entries that would land outside destDir, links and special
// files are skipped. A failed extraction leaves the files already written.
void extractBackupArchive(const QString& abPath, const QString& destDir, const QString& corruptMessage);

// Writes every file below sourceDir into abPath: files before sub-folders at every level,
// sorted by name with a "_manifest" ahead of the others, each as a ustar entry with mode 0100642.
void buildBackupArchive(const QString& sourceDir, const QString& abPath);
