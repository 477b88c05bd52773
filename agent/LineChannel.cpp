#include "agent/LineChannel.h"

#include "agent/Base64.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace agent {

namespace {

constexpr std::size_t ReadChunk = 64 * 1024;

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

} // namespace

LineChannel::LineChannel(int fd, int idleMs) : m_fd(fd), m_idleMs(idleMs)
{
    // Requests and answers are short lines that wait for each other; held back for a
    // delayed acknowledgement each would cost tens of milliseconds.
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

LineChannel::~LineChannel()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool LineChannel::fill()
{
    if (m_pos > 0 && m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    }
    if (!waitFor(m_fd, POLLIN, m_idleMs))
        return false;
    char chunk[ReadChunk];
    for (;;) {
        const ssize_t n = recv(m_fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        m_buffer.append(chunk, std::size_t(n));
        return true;
    }
}

std::optional<std::string> LineChannel::readLine(std::size_t maxLength)
{
    std::string line;
    for (;;) {
        while (m_pos < m_buffer.size()) {
            const char c = m_buffer[m_pos++];
            if (c == '\n') {
                // only the carriage return that ends a line goes; one inside stays for
                // the checks to refuse
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            if (line.size() > maxLength)
                return std::nullopt;
            line += c;
        }
        if (!fill())
            return std::nullopt;
    }
}

bool LineChannel::readExact(char* buffer, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        if (m_pos < m_buffer.size()) {
            const std::size_t take = std::min(n - got, m_buffer.size() - m_pos);
            std::memcpy(buffer + got, m_buffer.data() + m_pos, take);
            m_pos += take;
            got += take;
            continue;
        }
        if (!fill())
            return false;
    }
    return true;
}

bool LineChannel::writeAll(const char* data, std::size_t n)
{
    std::size_t sent = 0;
    while (sent < n) {
        const ssize_t r = send(m_fd, data + sent, n - sent, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(m_fd, POLLOUT, m_idleMs))
                return false;
            continue;
        }
        if (r <= 0)
            return false;
        sent += std::size_t(r);
    }
    return true;
}

bool LineChannel::writeLine(const std::string& line)
{
    const std::string framed = line + '\n';
    return writeAll(framed.data(), framed.size());
}

bool LineChannel::writeError(const std::string& message)
{
    return writeLine("$error:" + base64::encode(message));
}

void LineChannel::finish()
{
    if (m_fd < 0)
        return;
    shutdown(m_fd, SHUT_WR);
    char skip[512];
    while (waitFor(m_fd, POLLIN, 500) && recv(m_fd, skip, sizeof skip, 0) > 0) {
    }
}

void LineChannel::abort()
{
    // a zero linger turns the close into a reset, as a broken connection looks
    const linger hard{1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(m_fd);
    m_fd = -1;
}

} // namespace agent
