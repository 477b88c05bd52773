#pragma once

#include <QByteArrayView>

#include <zlib.h>

#include <vector>

class QIODevice;

// A zlib stream read from a device a piece at a time and inflated into one fixed buffer,
// so that memory stays the same however far the stream inflates: a small hostile archive
// may expand into gigabytes.
class ZlibInflater
{
public:
    enum class State { Inflating, Ended, Damaged, TooLarge };

    // Reads the stream from the device's current position; limit bounds the inflated bytes.
    ZlibInflater(QIODevice& device, qint64 limit);
    ~ZlibInflater();
    ZlibInflater(const ZlibInflater&) = delete;
    ZlibInflater& operator=(const ZlibInflater&) = delete;

    // The next inflated piece, valid until the next call; empty once the stream ended, is
    // damaged (a bad byte, a missing end or checksum) or passed the limit: state() tells.
    QByteArrayView next();
    State state() const { return m_state; }
    qint64 inflatedBytes() const { return m_total; }

private:
    bool refill();

    QIODevice& m_device;
    const qint64 m_limit;
    z_stream m_stream{};
    std::vector<Bytef> m_in;
    std::vector<Bytef> m_out;
    qint64 m_total = 0;
    State m_state = State::Inflating;
};
