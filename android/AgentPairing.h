#pragma once

#include <QByteArray>
#include <QString>

// The secret this computer pairs phones with for WiFi: made once, kept in the data
// folder readable by its owner only, handed to a phone's agent over USB (or typed into a
// terminal on the phone as the pairing code) and presented on the agent's control port.
class AgentPairing
{
public:
    static constexpr int CodeLength = 20;

    // The kept secret, made on first use; empty when the data folder cannot hold it.
    static QByteArray secret();
    // Starts the agent of a phone plugged in over USB for WiFi with the secret (installing
    // the agent first when needed). Raises with the reason.
    static void pairOverUsb(const QString& serial);

private:
    static QString secretPath();
};
