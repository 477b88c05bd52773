#include "app/ProgressChannel.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

void ProgressChannel::setReceiver(QObject* receiver)
{
    m_receiver = receiver;
    m_updateProgress = QMetaMethod();
    if (receiver) {
        const QMetaObject* meta = receiver->metaObject();
        const int index = meta->indexOfMethod("updateProgress(QString,int,QString)");
        if (index >= 0)
            m_updateProgress = meta->method(index);
    }
}

void ProgressChannel::postProgress(const QString& status, int value, const QString& text) const
{
    if (m_receiver && m_updateProgress.isValid())
        m_updateProgress.invoke(m_receiver, Qt::AutoConnection, Q_ARG(QString, status), Q_ARG(int, value),
                                Q_ARG(QString, text));
}

void ProgressChannel::postError(const UserText& text) const
{
    if (m_receiver)
        QMetaObject::invokeMethod(m_receiver, "errorOccurred", Qt::AutoConnection, Q_ARG(UserText, text));
}

void ProgressChannel::postSucceed(const UserText& text) const
{
    if (m_receiver)
        QMetaObject::invokeMethod(m_receiver, "succeed", Qt::AutoConnection, Q_ARG(UserText, text));
}

void ProgressChannel::postTipsWait(const UserText& text)
{
    m_waitingTips.store(true);
    if (m_receiver)
        QMetaObject::invokeMethod(m_receiver, "tipsWait", Qt::AutoConnection, Q_ARG(UserText, text));
    else
        m_waitingTips.store(false); // nobody to show the tips to
}

void ProgressChannel::enableCancel(bool enabled) const
{
    if (m_receiver)
        QMetaObject::invokeMethod(m_receiver, "enableCancel", Qt::AutoConnection, Q_ARG(bool, enabled));
}

void ProgressChannel::waitForTips() const
{
    while (isWaitingTips() && !isCancelled())
        QThread::msleep(200);
}
