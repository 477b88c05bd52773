#pragma once

#include <QThread>

#include <functional>

class ProgressChannel;

// A piece of the console program's own work (reading a source, checking it) run on a
// thread of its own, as the operations' workers run: the main thread stays in its event
// loop, where a termination signal sets the channel's cancel flag that the work asks.
// The work reports through the channel like a worker: success when it returns, its
// exception's text when it throws, nothing when it was cancelled.
class CliTask : public QThread
{
public:
    using Work = std::function<void(const ProgressChannel&)>;

    CliTask(Work work, ProgressChannel& progress);

protected:
    void run() override;

private:
    Work m_work;
    ProgressChannel& m_progress;
};
