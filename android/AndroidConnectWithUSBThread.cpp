#include "android/AndroidConnectWithUSBThread.h"

#include "android/AdbTool.h"
#include "android/AgentInstaller.h"
#include "android/AgentSession.h"
#include "android/AndroidLoadViberThread.h"
#include "android/SimpleProtocol.h"
#include "app/HelpLinks.h"
#include "app/KeyTranslator.h"
#include "app/OperationCancelled.h"
#include "app/PrivateWorkFolder.h"
#include "app/ProgressChannel.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// A failure to install the agent, reported with its own text instead of the general help.
class InstallFailure : public std::runtime_error
{
public:
    explicit InstallFailure(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Bounds the look at the device list, so that a wedged ADB server only delays the run.
constexpr std::chrono::seconds DeviceListTimeout{20};

void sleepUnlessCancelled(std::chrono::milliseconds duration, const ProgressChannel& progress)
{
    const QDeadlineTimer deadline(duration);
    while (!deadline.hasExpired()) {
        if (progress.isCancelled())
            throw OperationCancelled();
        QThread::msleep(ulong(qBound(qint64(0), deadline.remainingTime(), qint64(100))));
    }
}

} // namespace

AndroidConnectWithUSBThread::AndroidConnectWithUSBThread(const QString& serial, ProgressChannel& progress,
                                                         QObject* parent)
    : QThread(parent), m_progress(progress)
{
    // The record travels to the main window in queued signals once connected.
    qRegisterMetaType<AndroidDevice>("AndroidDevice");
    m_device.serial = serial;
    m_device.viaWifi = false;
}

void AndroidConnectWithUSBThread::run()
{
    try {
        if (!checkDeviceState() || !checkPackages())
            return;
        if (m_progress.isCancelled())
            return;
        m_device.packageAgent = !m_agentPackage.isEmpty();
        if (!m_device.packageAgent)
            AgentInstaller::ensureInstalled(m_device.serial);
        m_progress.postProgress(KeyTranslator::text("IDS_GET_ANDROID_DEVICE_INFO"), 99);
        m_device.applyDescription(
            simpleprotocol::fetchDeviceDescription(m_device.endpoint(), int(m_timing.sessionBudget.count()),
                                                   int(m_timing.descriptionWait.count()), &m_progress));
        if (m_device.agentTooOld()) {
            m_progress.postError(UserText::plain(AndroidDevice::agentTooOldText()));
            return;
        }
        m_progress.postSucceed();
    } catch (const OperationCancelled&) {
    } catch (const InstallFailure& e) {
        m_progress.postError(
            UserText::rich(QStringLiteral("Please go to Google Play on your Android Phone to download and "
                                          "install Kestrune Relaypod first and then try again. "
                                          "<br/><br/>Error:")) +
            UserText::plain(QString::fromUtf8(e.what())));
    } catch (const std::exception& e) {
        // The package route asks the user to install the app; the native agent comes
        // with this program, so then the phone's permission is what usually lacks.
        const QString first =
            !m_agentPackage.isEmpty()
                ? QStringLiteral(
                      "1 Go to Google Play on your phone to download and installed the latest version "
                      "Kestrune Relaypod.<br/><br/>")
                : QStringLiteral("1 Unplug your phone, plug it in again and allow USB debugging for this "
                                 "computer when the phone asks.<br/><br/>");
        const QString help = QStringLiteral("Please try the following:<br/><br/>") + first +
                             QStringLiteral("2 ") + HelpLinks::portwardenHelpText() +
                             QStringLiteral(" Then restart your phone and try again.<br/><br/>");
        m_progress.postError(UserText::rich(help) + UserText::plain(QString::fromUtf8(e.what())));
    }
}

bool AndroidConnectWithUSBThread::checkDeviceState()
{
    // A phone that is not ready refuses every command; the agent's checks would then end
    // in texts about the server's port or the phone's processor. Its state says what is
    // wrong. The reply is taken with the server's start-up lines on standard error, which
    // come before the list; a phone that is not listed is left to the usual steps.
    const QString reply = AdbTool(DeviceListTimeout).run({QStringLiteral("devices")}, false);
    for (const AdbDevice& listed : AdbTool::parseDevices(reply)) {
        if (listed.serial == m_device.serial && !listed.isOnline()) {
            m_progress.postError(UserText::plain(listed.notReadyText()));
            return false;
        }
    }
    return true;
}

bool AndroidConnectWithUSBThread::checkPackages()
{
    m_progress.postProgress(KeyTranslator::text("IDS_CHECKING_APK_INSTALL"), -1);
    const QSet<QString> packages = AdbTool().listPackages(m_device.serial);
    // Some phones list nothing to the tool; the session start then tells whether the
    // agent is there.
    if (packages.isEmpty())
        return true;
    if (!m_agentPackage.isEmpty() && !packages.contains(QLatin1String(simpleprotocol::AgentPackage))) {
        if (m_progress.isCancelled())
            throw OperationCancelled();
        installAgent();
    }
    if (!packages.contains(QLatin1String(AndroidLoadViberThread::ViberPackage))) {
        m_progress.postError(UserText::plain(KeyTranslator::text("IDS_NOT_INSTALL_VIBER")));
        return false;
    }
    return true;
}

void AndroidConnectWithUSBThread::installAgent()
{
    if (!QFileInfo(m_agentPackage).isFile())
        throw InstallFailure(QStringLiteral("this copy of Velliport carries no Kestrune Relaypod package to "
                                            "install (%1 is missing).")
                                 .arg(m_agentPackage));
    // The tool reads the package from a plain file; it is copied into a folder of this
    // run, which goes when the run ends.
    PrivateWorkFolder folder;
    const QString destination = folder.filePath(QFileInfo(m_agentPackage).fileName());
    if (!QFile::copy(m_agentPackage, destination))
        throw InstallFailure(QStringLiteral("copy %1 failed.").arg(m_agentPackage));
    PrivateWorkFolder::restrictToOwner(destination);
    try {
        AdbTool().install(m_device.serial, destination);
    } catch (const std::exception& e) {
        throw InstallFailure(QString::fromUtf8(e.what()));
    }
    sleepUnlessCancelled(m_timing.afterInstall, m_progress);
}
