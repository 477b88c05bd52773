#pragma once

#include <QString>
#include <QUrl>

// Where the program may talk to its maker's web site: the host of the version check,
// the link query and the error report, the support address and the pages the Help
// menu opens. Nothing is configured by default, and then nothing is ever sent or
// fetched. The program reads it from "web.ini" in its data folder:
//
//   [web]
//   host=www.example.com          ; version check, link query and error report
//   port=80
//   support=support@example.com   ; named in error boxes
//   update_page=http://www.example.com/sms_check_update.php
//   help_page=https://www.example.com/help.html
//   feedback_page=https://www.example.com/support.html
//   home_page=https://www.example.com/
//   usb_debugging_page=https://www.example.com/usb-debugging.html
//   map_picture=https://maps.example.com/static?center={lat},{lon}&zoom={zoom}&size={width}x{height}
//
// A page that is not an http(s) address counts as not configured. The map picture is the
// address of one picture of a place, a static map or a tile ("https://tile.example.org/
// {zoom}/{x}/{y}.png"); WebLinks::mapPicture fills in its placeholders. Without it the
// program fetches no map at all and draws a location as a card of its own.
class WebConfig
{
public:
    static constexpr auto FileName = "web.ini";

    QString host;
    quint16 port = 80;
    QString supportAddress;
    QUrl updatePage; // without a page of its own: http://host/sms_check_update.php
    QUrl helpPage;
    QUrl feedbackPage;
    QUrl homePage;
    QUrl usbDebuggingPage;
    QString mapPicture; // an address with placeholders, not yet a URL

    bool hasHost() const { return !host.isEmpty(); }
    // "http://host" with the port when it is not 80; empty without a host.
    QUrl serverUrl(const QString& pathAndQuery) const;

    // Reads a configuration file; a missing or unreadable file gives the empty configuration.
    static WebConfig fromFile(const QString& path);
    // The configuration of this process: "web.ini" in the data folder, read at the first
    // call, unless set before.
    static const WebConfig& current();
    static void setCurrent(const WebConfig& config);

    // True for an absolute http or https address naming a host.
    static bool isWebAddress(const QUrl& url);
};
