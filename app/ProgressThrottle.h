#pragma once

#include <QElapsedTimer>

// Workers that count records would post hundreds of thousands of progress events in a
// run, each a wake-up of the receiver's thread, while a progress bar shows a few dozen
// a second at most. A post is due when the percentage moves, when the last one is
// older than the interval, or for the run's last record, so that the final count is
// always shown.
class ProgressThrottle
{
public:
    static constexpr int DefaultIntervalMs = 50;

    explicit ProgressThrottle(int intervalMs = DefaultIntervalMs) : m_intervalMs(intervalMs) {}

    bool due(int value, bool last);

private:
    int m_intervalMs;
    int m_lastValue = -1;
    QElapsedTimer m_sincePost;
};
