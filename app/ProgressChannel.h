#pragma once

#include <QMetaMethod>
#include <QString>

#include <atomic>

class QObject;

// How a worker reports to whoever watches it (the GUI's progress dialog, a test's
// recorder, a console tool). Each post invokes a slot of the receiver by name —
// updateProgress(QString,int,QString), errorOccurred(QString), succeed(QString),
// tipsWait(QString), enableCancel(bool) — queued when the receiver lives on another
// thread. The two flags are atomics, written by one thread and read by the other.
class ProgressChannel
{
public:
    explicit ProgressChannel(QObject* receiver = nullptr) { setReceiver(receiver); }
    ProgressChannel(const ProgressChannel&) = delete;
    ProgressChannel& operator=(const ProgressChannel&) = delete;

    void setReceiver(QObject* receiver);
    QObject* receiver() const { return m_receiver; }

    // value < 0 keeps the current value; an empty text shows the percentage.
    void postProgress(const QString& status, int value, const QString& text = QString()) const;
    void postError(const QString& text) const;
    void postSucceed(const QString& text) const;
    // Sets waiting-for-tips before the receiver can clear it.
    void postTipsWait(const QString& text);
    void enableCancel(bool enabled) const;

    bool isCancelled() const { return m_cancelled.load(); }
    void setCancelled(bool cancelled) { m_cancelled.store(cancelled); }
    bool isWaitingTips() const { return m_waitingTips.load(); }
    void setWaitingTips(bool waiting) { m_waitingTips.store(waiting); }

    // Sleeps in short steps while the receiver shows the tips, or until cancelled.
    void waitForTips() const;

private:
    QObject* m_receiver = nullptr;
    // Workers report progress once per record; the slot is looked up once per receiver.
    QMetaMethod m_updateProgress;
    std::atomic_bool m_cancelled{false};
    std::atomic_bool m_waitingTips{false};
};
