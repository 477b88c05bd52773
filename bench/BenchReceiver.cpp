#include "bench/BenchReceiver.h"

#include "app/ProgressChannel.h"

#include <QElapsedTimer>
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
    QElapsedTimer timer;
    timer.start();
    worker.start();
    loop.exec();
    const qint64 elapsed = timer.nsecsElapsed();
    if (!error.isEmpty())
        throw std::runtime_error(error.toStdString());
    if (!tip.isEmpty())
        throw std::runtime_error("the worker asked the user: " + tip.toStdString());
    if (success.isEmpty())
        throw std::runtime_error("the worker ended without an outcome");
    return elapsed;
}

void BenchReceiver::updateProgress(const QString&, int, const QString&)
{
    ++progressCount;
}

void BenchReceiver::errorOccurred(const QString& text)
{
    error = text;
}

void BenchReceiver::succeed(const QString& text)
{
    success = text;
}

void BenchReceiver::tipsWait(const QString& info)
{
    tip = info;
    if (m_channel)
        m_channel->setCancelled(true);
}

void BenchReceiver::enableCancel(bool) {}
