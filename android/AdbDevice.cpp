#include "android/AdbDevice.h"

#include "app/KeyTranslator.h"

bool AdbDevice::isOnline() const
{
    return state.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0;
}

AdbDevice::Readiness AdbDevice::readiness() const
{
    const auto is = [this](const char* name) {
        return state.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (isOnline())
        return Readiness::Ready;
    if (is("unauthorized"))
        return Readiness::Unauthorized;
    if (is("offline"))
        return Readiness::Offline;
    // adb adds why and where to read more: "no permissions (user alice is not in the
    // plugdev group); see [http://developer.android.com/tools/device.html]"
    if (state.startsWith(QLatin1String("no permissions"), Qt::CaseInsensitive))
        return Readiness::NoPermissions;
    if (is("authorizing") || is("connecting"))
        return Readiness::Passing;
    return Readiness::Other;
}

QString AdbDevice::notReadyText() const
{
    switch (readiness()) {
    case Readiness::Ready:
        return QString();
    case Readiness::Unauthorized:
        return KeyTranslator::text("IDS_ANDROID_DEVICE_UNAUTHORIZED_%1").arg(serial);
    case Readiness::Offline:
        return KeyTranslator::text("IDS_ANDROID_DEVICE_OFFLINE_%1").arg(serial);
    case Readiness::NoPermissions:
        return KeyTranslator::text("IDS_ANDROID_DEVICE_NO_PERMISSIONS_%1_%2").arg(serial, state);
    case Readiness::Passing:
    case Readiness::Other:
        break;
    }
    return KeyTranslator::text("IDS_ANDROID_DEVICE_NOT_READY_%1_%2").arg(serial, state);
}
