#pragma once

#include <QCoreApplication>
#include <QString>

#include <stdexcept>

// The agent of a phone reached over WiFi no longer listens on its control port: it
// ended after its idle time, the phone slept or the app was closed. Only a fresh start
// of the agent (and a new connection) reaches the phone again; the main window offers
// that.
class WifiAgentGone : public std::runtime_error
{
public:
    WifiAgentGone(const QString& host, int controlPort)
        : std::runtime_error(QCoreApplication::translate("Velliport", "IDS_WIFI_PHONE_NO_LONGER_ANSWERS_%1")
                                 .arg(QStringLiteral("%1:%2").arg(host).arg(controlPort))
                                 .toStdString())
    {}
};
