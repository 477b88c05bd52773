#pragma once

#include "app/UserText.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class ProgressChannel;
class QThread;

// Stands where the progress dialog stands in the benchmarks: counts the reports a
// worker posts and keeps its outcome, doing no work of its own that would be timed.
// A tip (a route failed and the worker asks the user) ends the run: a benchmark must
// not time a fallback route in place of the one it names.
class BenchReceiver : public QObject
{
    Q_OBJECT
public:
    explicit BenchReceiver(ProgressChannel* channel = nullptr, QObject* parent = nullptr);

    qint64 progressCount = 0;
    QString error;
    bool succeeded = false;
    QString success;
    QString tip;
    // When the first post carrying a percentage alone (no status text) arrived, in
    // nanoseconds since run() started the worker; -1 when none came. The load worker's
    // attachment phase opens with such a post, so this splits its run in two.
    qint64 firstPercentNs = -1;
    // The worker's phases as its status texts tell them, in the order they came: when
    // the first and the last post of each text arrived (nanoseconds since run() started
    // the worker) and how many posts it had. Posts without a text join the phase before.
    struct Phase
    {
        QString status;
        qint64 firstNs = 0;
        qint64 lastNs = 0;
        qint64 posts = 0;
    };
    QList<Phase> phases;

    // Runs a worker as the program runs it: on its own thread, reporting to this
    // receiver on the calling thread, whose event loop delivers the reports while the
    // worker runs. Returns the nanoseconds it took; throws std::runtime_error when the
    // worker failed or ended without an outcome.
    qint64 run(QThread& worker);

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const UserText& text);
    void succeed(const UserText& text);
    void tipsWait(const UserText& info);
    void enableCancel(bool enabled);

private:
    ProgressChannel* m_channel;
    QElapsedTimer m_timer;
};
