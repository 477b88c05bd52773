#pragma once

#include "app/UserText.h"

#include <QMetaMethod>
#include <QString>

#include <atomic>

class QObject;

// How a worker reports to whoever watches it (the GUI's progress dialog, a test's
// recorder, a console tool). Each post invokes a slot of the receiver by name —
// updateProgress(QString,int,QString), errorOccurred(UserText), succeed(UserText),
// tipsWait(UserText), enableCancel(bool) — queued when the receiver lives on another
// thread. The outcome and tips texts carry their kind, so that the dialog renders a help
// link as a link and the console prints it as text. The two flags are atomics, written
// by one thread and read by the other.
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
    void postError(const UserText& text) const;
    // An empty text closes the dialog without a box.
    void postSucceed(const UserText& text = UserText()) const;
    // Sets waiting-for-tips before the receiver can clear it.
    void postTipsWait(const UserText& text);
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
