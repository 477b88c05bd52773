#include "app/MessageLog.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTime>

#include <cstdio>
#include <cstdlib>

namespace MessageLog {

namespace {

// One process-wide log: the handler runs on whichever thread logs, so the lazily
// opened file and the folder are guarded by one mutex, which also keeps lines from
// different threads whole.
struct LogState
{
    QMutex mutex;
    QString folder;
    QFile file;
    bool echoDebug = true;
};

LogState& state()
{
    static LogState s;
    return s;
}

void openIfNeeded(LogState& s)
{
    if (s.file.isOpen() || s.folder.isEmpty())
        return;
    const QString name =
        QStringLiteral("log-%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    QDir().mkpath(s.folder);
    s.file.setFileName(QDir(s.folder).absoluteFilePath(name));
    s.file.open(QIODevice::ReadWrite | QIODevice::Append);
}

void handler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    LogState& s = state();
    QMutexLocker lock(&s.mutex);
    openIfNeeded(s);
    const QString line = formatLine(type, QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), message);
    if (type == QtDebugMsg && s.echoDebug) {
        const QByteArray raw = message.toUtf8();
        std::fprintf(stdout, "%s\n", raw.constData());
        std::fflush(stdout);
    }
    if (s.file.isOpen())
        s.file.write(line.toUtf8());
    if (type == QtFatalMsg)
        std::abort();
    if (s.file.isOpen())
        s.file.flush();
}

} // namespace

QString formatLine(QtMsgType type, const QString& time, const QString& message)
{
    QString level;
    switch (type) {
    case QtDebugMsg:
        level = QStringLiteral("D ");
        break;
    case QtWarningMsg:
        level = QStringLiteral("W ");
        break;
    case QtCriticalMsg:
        level = QStringLiteral("C ");
        break;
    case QtFatalMsg:
        level = QStringLiteral("F ");
        break;
    default:
        break;
    }
    return QLatin1Char('(') + level + time + QLatin1String(") ") + message + QLatin1Char('\n');
}

void prune(const QString& folder, int keepCount)
{
    QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (int i = 0; i < files.size() - keepCount; ++i)
        dir.remove(files.at(i));
}

void install(const QString& folder, int keepCount)
{
    {
        LogState& s = state();
        QMutexLocker lock(&s.mutex);
        s.folder = folder;
    }
    prune(folder, keepCount);
    qInstallMessageHandler(handler);
}

void setEchoDebug(bool echo)
{
    LogState& s = state();
    QMutexLocker lock(&s.mutex);
    s.echoDebug = echo;
}

void reset()
{
    qInstallMessageHandler(nullptr);
    LogState& s = state();
    QMutexLocker lock(&s.mutex);
    s.file.close();
    s.folder.clear();
}

} // namespace MessageLog
