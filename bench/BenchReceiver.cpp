#include "bench/BenchReceiver.h"

#include "app/ProgressChannel.h"

#include <QEventLoop>
#include <QThread>

#include <stdexcept>

BenchReceiver::BenchReceiver(ProgressChannel* channel, QObject* parent) : QObject(parent), m_channel(channel)
{
    if (m_channel)
        m_channel->setReceiver(this);
}

qint64 BenchReceiver::run(QThread& worker)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    m_timer.start();
    worker.start();
    loop.exec();
    const qint64 elapsed = m_timer.nsecsElapsed();
    if (!error.isEmpty())
        throw std::runtime_error(error.toStdString());
    if (!tip.isEmpty())
        throw std::runtime_error("the worker asked the user: " + tip.toStdString());
    if (!succeeded)
        throw std::runtime_error("the worker ended without an outcome");
    return elapsed;
}

void BenchReceiver::updateProgress(const QString& status, int curProgress, const QString&)
{
    ++progressCount;
    const qint64 now = m_timer.nsecsElapsed();
    if (firstPercentNs < 0 && status.isEmpty() && curProgress >= 0)
        firstPercentNs = now;
    if (phases.isEmpty() || (!status.isEmpty() && status != phases.last().status))
        phases.append({status, now, now, 0});
    phases.last().lastNs = now;
    ++phases.last().posts;
}

void BenchReceiver::errorOccurred(const UserText& text)
{
    error = text.toPlainText();
}

void BenchReceiver::succeed(const UserText& text)
{
    succeeded = true;
    success = text.toPlainText();
}

void BenchReceiver::tipsWait(const UserText& info)
{
    tip = info.toPlainText();
    if (m_channel)
        m_channel->setCancelled(true);
}

void BenchReceiver::enableCancel(bool) {}
