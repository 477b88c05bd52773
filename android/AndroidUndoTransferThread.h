#pragma once

#include "android/AndroidDevice.h"
#include "android/RestoreSafetyCopies.h"

#include <QString>
#include <QThread>

#include <optional>

class ProgressChannel;

// Puts back on a rooted phone the Viber databases it had before the last transfer into
// it, from the copy kept in its cache, through the same checked install as a transfer.
// Whatever the phone received or sent since that transfer is lost; plan() says how much
// so that the user is asked first. Reports only through the progress channel.
class AndroidUndoTransferThread : public QThread
{
    Q_OBJECT
public:
    struct Plan
    {
        std::optional<RestoreSafetyCopies::KeptCopy> copy;
        // Why there is nothing to undo on this phone; empty when the undo can run.
        QString refusal;
        // Messages of the phone's current databases (as last loaded) dated after the
        // transfer.
        qint64 messagesSince = 0;

        // The question to ask before the undo runs.
        QString confirmation() const;
    };

    // Reads the phone's cache, which the caller has just refreshed from the phone.
    static Plan plan(const AndroidDevice& device);

    AndroidUndoTransferThread(const AndroidDevice& device, ProgressChannel& progress, QObject* parent = nullptr);

    void setCommandWait(int milliseconds) { m_commandWaitMs = milliseconds; }

protected:
    void run() override;

private:
    void undo();

    AndroidDevice m_device;
    ProgressChannel& m_progress;
    int m_commandWaitMs = 5 * 60 * 1000;
};
