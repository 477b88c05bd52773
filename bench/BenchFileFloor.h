#pragma once

#include <QByteArray>
#include <QStringList>

#include <vector>

// The floor for a program that writes a tree of files: the same bytes in the same number
// of files, written with plain open/write/close and one sync of the file system at the
// end, as the fastest way the kernel offers to put them on the disk.
namespace BenchFileFloor {

struct Tree
{
    QStringList folders; // relative paths, each after the folder that holds it
    struct File
    {
        QString path; // relative
        QByteArray bytes;
    };
    std::vector<File> files;
    qint64 bytes = 0;
};

// Every file below root with its contents. Throws std::runtime_error when a file cannot
// be read.
Tree read(const QString& root);
// Writes tree below root, which must not exist, and syncs root's file system once;
// returns the nanoseconds that took. Throws std::runtime_error when a call fails.
qint64 write(const Tree& tree, const QString& root);

} // namespace BenchFileFloor
