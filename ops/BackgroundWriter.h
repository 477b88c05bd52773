#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// A thread of its own that runs the file work of an export (writes, closes, copies) in
// the order it is handed over, so that the export builds its next page while the kernel
// takes in the last one: an HTML page is mostly markup, and copying it into the file
// system's cache cost as much as building it. A job says it failed by returning the
// error text; the first one is kept for the export to report. Only so many bytes wait at
// a time: handing over more waits until the thread has caught up.
class BackgroundWriter
{
public:
    using Job = std::function<QString()>; // the error text, or empty

    explicit BackgroundWriter(qsizetype maxWaitingBytes);
    ~BackgroundWriter(); // runs every job handed over, then ends the thread
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Hands job over; bytes is the memory it holds until it has run. A job larger than
    // the bound goes once nothing else waits. Jobs run once enough of them wait, or
    // when drained.
    void post(Job job, qsizetype bytes = 0);
    void drain(); // returns once every job handed over has run
    QString firstError() const;

private:
    // What wakes the thread when it waits for work; drain() and the end wake it for less.
    static constexpr size_t WakeJobs = 32;
    static constexpr qsizetype WakeBytes = 1024 * 1024;

    struct Waiting
    {
        Job job;
        qsizetype bytes = 0;
    };

    void run();

    const qsizetype m_maxWaitingBytes;
    mutable std::mutex m_mutex;
    std::condition_variable m_jobArrived; // or the end was asked
    std::condition_variable m_jobDone;
    std::deque<Waiting> m_waiting;
    qsizetype m_waitingBytes = 0; // of the jobs waiting and the one running
    bool m_running = false;
    bool m_ending = false;
    QString m_firstError;
    std::thread m_thread; // last: it starts once the members it uses are there
};
