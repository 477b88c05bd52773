#include "android/AdbLongCommand.h"

#include "android/AdbTool.h"
#include "app/OperationCancelled.h"
#include "app/ProgressChannel.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <stdexcept>

namespace {

constexpr qint64 SliceMs = 100;

} // namespace

AdbLongCommand::AdbLongCommand(std::chrono::milliseconds startLimit, std::chrono::milliseconds finishLimit)
    : m_startLimit(startLimit), m_finishLimit(finishLimit)
{}

AdbLongCommand::Result AdbLongCommand::run(const QStringList& arguments, const ProgressChannel& progress,
                                           const QString& startFailure) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(AdbTool::program(), arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(int(m_startLimit.count())))
        throw std::runtime_error(startFailure.toStdString());

    QByteArray out;
    QByteArray err;
    const auto drain = [&] {
        AdbTool::appendBounded(err, process.readAllStandardError());
        AdbTool::appendBounded(out, process.readAllStandardOutput());
    };
    const auto stop = [&] {
        process.kill();
        process.waitForFinished(AdbTool::KillWaitMs);
    };
    const QDeadlineTimer deadline(m_finishLimit);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        if (progress.isCancelled()) {
            stop();
            throw OperationCancelled();
        }
        process.waitForFinished(int(qMin(deadline.remainingTime(), SliceMs)));
        drain();
    }
    drain();
    Result result;
    result.finished = process.state() == QProcess::NotRunning;
    if (result.finished)
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    else
        stop();
    result.output = QString::fromLatin1(err) + QString::fromLatin1(out);
    return result;
}
