#pragma once

#include <QString>

#include <stdexcept>

class QIODevice;

namespace simpleprotocol {

// The transport failed: a wait ended without progress, the connection closed or reset,
// or an empty line arrived.
class SocketDataTransferException : public std::runtime_error
{
public:
    explicit SocketDataTransferException(const QString& message);
};

// The agent reported an error line; the message is the agent's own text.
class RemoteException : public std::runtime_error
{
public:
    explicit RemoteException(const QString& message);
};

// This side found the exchange wrong. The agent is told first, so that it does not wait
// for an answer that will never come.
class LocalException : public std::runtime_error
{
public:
    LocalException(QIODevice& socket, const QString& message);
};

// The agent for a session could not take the session's port: another session (of
// another program on this computer, counting ports in the same second) holds it.
class SessionPortTaken : public std::runtime_error
{
public:
    explicit SessionPortTaken(const QString& message);
};

} // namespace simpleprotocol
