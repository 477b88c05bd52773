#include "android/ZlibInflater.h"

#include <QIODevice>

namespace {

constexpr std::size_t InputChunk = 64 * 1024;
constexpr std::size_t OutputChunk = 256 * 1024;

} // namespace

ZlibInflater::ZlibInflater(QIODevice& device, qint64 limit)
    : m_device(device), m_limit(limit), m_in(InputChunk), m_out(OutputChunk)
{
    if (inflateInit(&m_stream) != Z_OK)
        m_state = State::Damaged;
}

ZlibInflater::~ZlibInflater()
{
    inflateEnd(&m_stream);
}

bool ZlibInflater::refill()
{
    const qint64 n = m_device.read(reinterpret_cast<char*>(m_in.data()), qint64(m_in.size()));
    if (n <= 0)
        return false;
    m_stream.next_in = m_in.data();
    m_stream.avail_in = uInt(n);
    return true;
}

QByteArrayView ZlibInflater::next()
{
    if (m_state != State::Inflating)
        return {};
    m_stream.next_out = m_out.data();
    m_stream.avail_out = uInt(m_out.size());
    // Loops until some output appears: a stream may spend input (headers, empty blocks)
    // without producing any.
    while (m_stream.avail_out == m_out.size()) {
        if (m_stream.avail_in == 0 && !refill()) {
            m_state = State::Damaged; // the device ended before the stream did
            return {};
        }
        const int rc = inflate(&m_stream, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            m_state = State::Ended;
            break;
        }
        if (rc != Z_OK) {
            m_state = State::Damaged;
            return {};
        }
    }
    const qint64 produced = qint64(m_out.size() - m_stream.avail_out);
    m_total += produced;
    if (m_total > m_limit) {
        m_state = State::TooLarge;
        return {};
    }
    return QByteArrayView(reinterpret_cast<const char*>(m_out.data()), produced);
}
