#include "tests/support/RecordingReceiver.h"

#include <QTest>
#include <QThread>

RecordingReceiver::RecordingReceiver(ProgressChannel* channel, QObject* parent)
    : QObject(parent), m_channel(channel)
{
    if (m_channel)
        m_channel->setReceiver(this);
}

bool RecordingReceiver::waitForOutcome(int timeoutMs)
{
    return QTest::qWaitFor([this] { return outcomes() > 0; }, timeoutMs);
}

void RecordingReceiver::runInWorkerThread(QThread& worker)
{
    moveToThread(&worker);
    worker.start();
    worker.wait();
}

void RecordingReceiver::updateProgress(const QString& status, int curProgress, const QString& progressText)
{
    progress.append({status, curProgress, progressText});
    if (cancelAtProgress >= 0 && progress.size() == cancelAtProgress && m_channel)
        m_channel->setCancelled(true);
}

void RecordingReceiver::errorOccurred(const UserText& text)
{
    errors.append(text.text());
    texts.append(text);
    // the dialog closes rejected on an error, which marks the run cancelled
    if (m_channel)
        m_channel->setCancelled(true);
}

void RecordingReceiver::succeed(const UserText& text)
{
    successes.append(text.text());
    texts.append(text);
}

void RecordingReceiver::tipsWait(const UserText& info)
{
    tips.append(info.text());
    texts.append(info);
    if (m_channel)
        m_channel->setWaitingTips(false);
}

void RecordingReceiver::enableCancel(bool enabled)
{
    cancelEnabled.append(enabled);
}
