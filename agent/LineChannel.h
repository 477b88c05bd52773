#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace agent {

// One TCP connection of the agent, read in lines and exact byte counts. Every wait is
// bounded by the idle time: a client that goes quiet ends the session instead of holding
// the agent for good. Owns the socket.
class LineChannel
{
public:
    static constexpr std::size_t MaxLine = 64 * 1024;

    LineChannel(int fd, int idleMs);
    ~LineChannel();
    LineChannel(const LineChannel&) = delete;
    LineChannel& operator=(const LineChannel&) = delete;

    int fd() const { return m_fd; }
    void setIdleMs(int idleMs) { m_idleMs = idleMs; }

    // A line without its line feed (and a carriage return before it); nothing on time-out,
    // end of stream or a line longer than maxLength.
    std::optional<std::string> readLine(std::size_t maxLength = MaxLine);
    bool readExact(char* buffer, std::size_t n);
    bool writeAll(const char* data, std::size_t n);
    bool writeLine(const std::string& line);
    // "$error:" + Base64 of the message.
    bool writeError(const std::string& message);
    // Drops the connection at once, without the orderly end.
    void abort();
    // Ends the connection in order: a close with unread bytes (a line the agent did not
    // need) would reset it and could take the agent's last answer with it.
    void finish();

private:
    bool fill();

    int m_fd;
    int m_idleMs;
    std::string m_buffer;
    std::size_t m_pos = 0;
};

} // namespace agent
