#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

class ProgressChannel;

// An adb command that runs for minutes while the user answers on the phone (backup,
// restore). The tool gets startLimit to start; its end is then awaited in short slices
// between which a cancel from the user kills it, and at most finishLimit in all. What it
// prints is kept up to AdbTool::MaxOutputBytes per channel.
class AdbLongCommand
{
public:
    struct Result
    {
        bool finished = false; // false: still running at finishLimit, and killed
        int exitCode = -1;
        QString output; // standard error, then standard output
    };

    AdbLongCommand(std::chrono::milliseconds startLimit, std::chrono::milliseconds finishLimit);

    // Throws std::runtime_error(startFailure) when the tool does not start in time, and
    // OperationCancelled (after killing the tool) when progress is cancelled.
    Result run(const QStringList& arguments, const ProgressChannel& progress,
               const QString& startFailure) const;

private:
    std::chrono::milliseconds m_startLimit;
    std::chrono::milliseconds m_finishLimit;
};
