#include "android/AndroidConnectWithWiFiThread.h"

#include "android/AgentSession.h"
#include "android/WifiAgentGone.h"
#include "app/OperationCancelled.h"
#include "app/ProgressChannel.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <stdexcept>

AndroidConnectWithWiFiThread::AndroidConnectWithWiFiThread(const QString& host, ProgressChannel& progress,
                                                           QObject* parent, int controlPort)
    : QThread(parent), m_progress(progress)
{
    // The record travels to the main window in queued signals once connected.
    qRegisterMetaType<AndroidDevice>("AndroidDevice");
    m_device.viaWifi = true;
    m_device.host = host;
    m_device.port = controlPort;
}

QString AndroidConnectWithWiFiThread::hostFromInput(const QString& typed)
{
    static const QRegularExpression address(QStringLiteral("^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})$"));
    const QRegularExpressionMatch match = address.match(typed.trimmed());
    return match.hasMatch() ? match.captured(1) : QString();
}

void AndroidConnectWithWiFiThread::run()
{
    try {
        if (m_progress.isCancelled())
            return;
        m_progress.postProgress(QCoreApplication::translate("Velliport", "IDS_GET_ANDROID_DEVICE_INFO"), 99);
        m_device.applyDescription(
            simpleprotocol::fetchDeviceDescription(m_device.endpoint(), int(m_timing.sessionBudget.count()),
                                                   int(m_timing.descriptionWait.count()), &m_progress));
        if (m_device.agentTooOld()) {
            m_progress.postError(UserText::plain(AndroidDevice::agentTooOldText()));
            return;
        }
        m_progress.postSucceed();
    } catch (const OperationCancelled&) {
    } catch (const WifiAgentGone&) {
        // a first connection: nothing answered yet that could have gone
        m_progress.postError(
            UserText::plain(QStringLiteral("can not connect %1:%2.").arg(m_device.host).arg(m_device.port)));
    } catch (const std::exception& e) {
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
}
