#include "tools/cli/CliTask.h"

#include "app/ProgressChannel.h"

#include <exception>
#include <utility>

CliTask::CliTask(Work work, ProgressChannel& progress) : m_work(std::move(work)), m_progress(progress) {}

void CliTask::run()
{
    try {
        m_work(m_progress);
        if (!m_progress.isCancelled())
            m_progress.postSucceed();
    } catch (const std::exception& e) {
        // A cancelled read fails with SQLite's "interrupted", which is no error of the source.
        if (!m_progress.isCancelled())
            m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
}
