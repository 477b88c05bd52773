#include "android/AdbDevice.h"

bool AdbDevice::isOnline() const
{
    return state.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0;
}
