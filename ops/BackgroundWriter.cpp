#include "ops/BackgroundWriter.h"

#include <exception>

BackgroundWriter::BackgroundWriter(qsizetype maxWaitingBytes)
    : m_maxWaitingBytes(maxWaitingBytes), m_thread([this] { run(); })
{}

BackgroundWriter::~BackgroundWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_jobArrived.notify_one();
    m_thread.join();
}

void BackgroundWriter::post(Job job, qsizetype bytes)
{
    std::unique_lock lock(m_mutex);
    const auto roomFor = [&] { return m_waitingBytes == 0 || m_waitingBytes + bytes <= m_maxWaitingBytes; };
    if (!roomFor()) {
        m_jobArrived.notify_one();
        m_jobDone.wait(lock, roomFor);
    }
    m_waiting.push_back({std::move(job), bytes});
    m_waitingBytes += bytes;
    // The thread is woken for a batch of jobs, not for each: woken for every block of a
    // page, it took the processor from the thread building the pages thousands of times
    // an export.
    const bool wake = m_waiting.size() >= WakeJobs || m_waitingBytes >= WakeBytes;
    lock.unlock();
    if (wake)
        m_jobArrived.notify_one();
}

void BackgroundWriter::drain()
{
    std::unique_lock lock(m_mutex);
    m_jobArrived.notify_one();
    m_jobDone.wait(lock, [this] { return m_waiting.empty() && !m_running; });
}

QString BackgroundWriter::firstError() const
{
    const std::lock_guard lock(m_mutex);
    return m_firstError;
}

void BackgroundWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_jobArrived.wait(lock, [this] { return m_ending || !m_waiting.empty(); });
        if (m_waiting.empty())
            return; // asked to end, and every job has run
        Waiting next = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_running = true;
        lock.unlock();
        QString error;
        try {
            error = next.job();
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        next.job = nullptr; // its memory goes before it stops counting
        lock.lock();
        m_running = false;
        m_waitingBytes -= next.bytes;
        if (m_firstError.isEmpty())
            m_firstError = error;
        m_jobDone.notify_all();
    }
}
