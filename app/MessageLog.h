#pragma once

#include <QString>
#include <QtGlobal>

// The program's log: every qDebug/qWarning/... line goes to a daily file
// "log-yyyyMMdd.txt" in the log folder as "(D hh:mm:ss) text".
namespace MessageLog {

// Remembers the folder, deletes the oldest files so that at most keepCount remain,
// and installs the handler.
void install(const QString& folder, int keepCount);

// Whether debug lines are also written to standard output (the default). A console
// program whose standard output is read by scripts turns this off.
void setEchoDebug(bool echo);

// Deletes the files of the folder whose names sort first, leaving keepCount.
void prune(const QString& folder, int keepCount);

// One log line, with its line feed.
QString formatLine(QtMsgType type, const QString& time, const QString& message);

// Closes the current file and forgets the folder (tests install the log again).
void reset();

} // namespace MessageLog
