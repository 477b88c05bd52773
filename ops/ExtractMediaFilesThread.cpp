#include "ops/ExtractMediaFilesThread.h"

#include "app/AppDirs.h"
#include "app/OnDemandFiles.h"
#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "db/LocalDbPaths.h"
#include "db/ViberAtta.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool isFile(const QString& path)
{
    OnDemandFiles::prepare(path);
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// Setting a file's times needs its ownership, not write access: a copy of a read-only
// source is read-only too, and is opened only for reading.
void stampTimes(const QString& path, const QDateTime& when)
{
    QFile file(path);
    const bool stamped = file.open(QIODevice::ReadOnly) &&
                         file.setFileTime(when, QFileDevice::FileAccessTime) &&
                         file.setFileTime(when, QFileDevice::FileModificationTime);
    if (!stamped)
        qWarning("cannot set the time of %s: %s", qUtf8Printable(QDir::toNativeSeparators(path)),
                 qUtf8Printable(file.errorString()));
}

} // namespace

ExtractMediaFilesThread::ExtractMediaFilesThread(const QList<_ViberMsg*>& messages,
                                                 const QString& targetFolder, ProgressChannel& progress,
                                                 QObject* parent)
    : QThread(parent), m_messages(messages), m_target(targetFolder), m_progress(progress)
{}

bool ExtractMediaFilesThread::namesMediaFile(const _ViberMsg& msg)
{
    const _ViberAtta* atta = msg.attachment;
    if (!atta)
        return false;
    switch (msg.type) {
    case ViberMsgType::Picture:
    case ViberMsgType::Video:
        return !atta->localPath.isEmpty() || !atta->previewPath.isEmpty();
    case ViberMsgType::Location:
    case ViberMsgType::Sticker:
        return !atta->previewPath.isEmpty();
    case ViberMsgType::Voice:
        return !atta->localPath.isEmpty();
    default:
        return false;
    }
}

QString ExtractMediaFilesThread::extract(const _ViberMsg& msg, const QString& targetFolder)
{
    const _ViberAtta* atta = msg.attachment;
    if (!atta)
        return {};
    QString source;
    QString suffix;
    switch (msg.type) {
    case ViberMsgType::Picture:
    case ViberMsgType::Video:
        source = isFile(atta->localPath) ? atta->localPath
                                         : (isFile(atta->previewPath) ? atta->previewPath : QString());
        suffix = QFileInfo(source == atta->localPath ? LocalDbPaths::mediaCopyName(source, atta->fileName)
                                                     : source)
                     .suffix();
        break;
    case ViberMsgType::Location:
    case ViberMsgType::Sticker:
        source = isFile(atta->previewPath) ? atta->previewPath : QString();
        suffix = QFileInfo(source).suffix();
        break;
    case ViberMsgType::Voice:
        source = isFile(atta->localPath) ? atta->localPath : QString();
        suffix = QStringLiteral("viber_voice");
        break;
    default:
        break;
    }
    if (source.isEmpty())
        return {};
    const QDateTime when = ViberDates::refToLocal(msg.date);
    QString name = QStringLiteral("atta_") + when.toString(QStringLiteral("yyyyMMdd-hhmmss"));
    suffix = AppDirs::sanitizeFileName(suffix);
    if (!suffix.isEmpty())
        name += QLatin1Char('.') + suffix;
    const QString inside = AppDirs::pathInside(targetFolder, name);
    if (inside.isEmpty())
        return {};
    const QString target = AppDirs::uniqueFileName(inside);
    if (!QFile::copy(source, target))
        return {};
    stampTimes(target, when);
    return target;
}

void ExtractMediaFilesThread::run()
{
    m_progress.postProgress(tr("IDS_EXTRACTING_MEDIA_FILES"), -1, QString());
    // A folder that cannot be made would otherwise end in "successfully extracted"
    // with nothing copied.
    if (!QDir().mkpath(m_target)) {
        m_progress.postError(UserText::plain(
            QStringLiteral("Cannot create the folder %1.").arg(QDir::toNativeSeparators(m_target))));
        return;
    }
    const int total = int(m_messages.size());
    int named = 0;
    int written = 0;
    ProgressThrottle throttle;
    for (int k = 1; k <= total; ++k) {
        if (m_progress.isCancelled())
            return;
        const int percent = int(qint64(k) * 100 / total);
        if (throttle.due(percent, k == total))
            m_progress.postProgress(QString(), percent, QString());
        const _ViberMsg& msg = *m_messages.at(k - 1);
        if (!namesMediaFile(msg))
            continue;
        ++named;
        if (!extract(msg, m_target).isEmpty())
            ++written;
    }
    // Phones' media often stay behind on the phone: the text says what was written, not
    // what was asked for.
    const QString folder = QDir(m_target).absolutePath();
    if (named == 0)
        m_progress.postSucceed(UserText::plain(tr("IDS_NO_MEDIA_FILES_FOUND")));
    else if (written == 0)
        m_progress.postSucceed(UserText::plain(tr("IDS_NO_MEDIA_FILES_EXTRACTED_%1").arg(named)));
    else if (written < named)
        m_progress.postSucceed(UserText::plain(
            tr("IDS_EXTRACTED_%1_OF_%2_MEDIA_FILES_TO_%3").arg(written).arg(named).arg(folder)));
    else
        m_progress.postSucceed(
            UserText::plain(tr("IDS_SUC_EXTRACT_%1_MEDIA_FILES_TO_%2").arg(written).arg(folder)));
}
