#include "tests/fuzz/ReplayDevice.h"

#include <cstring>

ReplayDevice::ReplayDevice(QByteArray replies) : m_replies(std::move(replies))
{
    open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

qint64 ReplayDevice::bytesAvailable() const
{
    return m_replies.size() - m_position + QIODevice::bytesAvailable();
}

qint64 ReplayDevice::readData(char* data, qint64 maxSize)
{
    const qint64 n = qMin(maxSize, m_replies.size() - m_position);
    if (n <= 0)
        return 0;
    std::memcpy(data, m_replies.constData() + m_position, size_t(n));
    m_position += n;
    return n;
}

qint64 ReplayDevice::writeData(const char*, qint64 size)
{
    return size;
}
