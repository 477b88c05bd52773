#pragma once

#include <QStringList>
#include <QTextStream>

// "abarchive extract FILE.ab DIR" and "abarchive build DIR FILE.ab". arguments excludes the
// program name. Returns the exit code: 0 on success, 1 on failure (the error text is written
// to errors), 2 on a wrong command line (usage written to errors).
int runAbArchive(const QStringList& arguments, QTextStream& errors);
