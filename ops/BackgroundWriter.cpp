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
    m_jobDone.wait(lock, [&] { return m_waitingBytes == 0 || m_waitingBytes + bytes <= m_maxWaitingBytes; });
    m_waiting.push_back({std::move(job), bytes});
    m_waitingBytes += bytes;
    lock.unlock();
    m_jobArrived.notify_one();
}

void BackgroundWriter::drain()
{
    std::unique_lock lock(m_mutex);
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
