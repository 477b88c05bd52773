#include "android/SimpleProtocolExceptions.h"

#include "android/SimpleProtocol.h"

namespace simpleprotocol {

SocketDataTransferException::SocketDataTransferException(const QString& message)
    : std::runtime_error(message.toStdString())
{}

RemoteException::RemoteException(const QString& message) : std::runtime_error(message.toStdString()) {}

SessionPortTaken::SessionPortTaken(const QString& message) : std::runtime_error(message.toStdString()) {}

LocalException::LocalException(QIODevice& socket, const QString& message)
    : std::runtime_error(message.toStdString())
{
    // A connection that is already gone cannot carry the notice; the local failure is
    // what the caller needs to see, so a failed send must not replace it.
    try {
        sendError(socket, message);
    } catch (const std::exception&) {
    }
}

} // namespace simpleprotocol
