#include "ui/CommandContext.h"

void CommandContext::hold(ViberDataSetPtr data)
{
    if (data)
        m_data.append(std::move(data));
}

void CommandContext::hold(const AndroidDevice& device)
{
    m_devices.append(device);
}

void CommandContext::deviceRemoved(const QString& serial)
{
    if (!serial.isEmpty() && !m_goneSerials.contains(serial))
        m_goneSerials.append(serial);
}

std::optional<AndroidDevice> CommandContext::goneDevice() const
{
    for (const AndroidDevice& device : m_devices) {
        if (!device.viaWifi && m_goneSerials.contains(device.serial))
            return device;
    }
    return std::nullopt;
}
