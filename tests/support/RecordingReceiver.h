#pragma once

#include "app/ProgressChannel.h"

#include <QObject>
#include <QStringList>

class QThread;

// Stands where the progress dialog stands: records every report a worker posts and
// answers tips at once, so workers run headless in tests.
class RecordingReceiver : public QObject
{
    Q_OBJECT
public:
    explicit RecordingReceiver(ProgressChannel* channel = nullptr, QObject* parent = nullptr);
    void setChannel(ProgressChannel* channel) { m_channel = channel; }

    struct Progress
    {
        QString status;
        int value;
        QString text;
    };
    QList<Progress> progress;
    // The texts as posted (markup as written, for a rich one) ...
    QStringList errors;
    QStringList successes;
    QStringList tips;
    // ... and every error, success and tip with its kind, in the order they came.
    QList<UserText> texts;
    QList<bool> cancelEnabled;

    // Sets the channel's cancel flag when this many progress reports have arrived.
    int cancelAtProgress = -1;

    int outcomes() const { return int(errors.size() + successes.size()); }
    // Runs the worker with this receiver on the worker's own thread, so that every post
    // is delivered at once, in step with the worker (a cancel lands exactly where
    // cancelAtProgress says). Returns when the worker has ended.
    void runInWorkerThread(QThread& worker);
    // Pumps events until the worker posted its outcome or the timeout passed.
    bool waitForOutcome(int timeoutMs = 30000);

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const UserText& text);
    void succeed(const UserText& text);
    void tipsWait(const UserText& info);
    void enableCancel(bool enabled);

private:
    ProgressChannel* m_channel;
};
