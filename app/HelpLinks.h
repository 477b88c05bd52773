#pragma once

#include <QCoreApplication>
#include <QString>

class QUrl;

// Links inside the program's help texts. On Windows they name Portwarden by its file;
// elsewhere a link of the program's own scheme starts it from beside the program, and
// web links open in the browser.
class HelpLinks
{
    Q_DECLARE_TR_FUNCTIONS(HelpLinks)
public:
    static constexpr auto Scheme = "velliport";

    // "velliport:portwarden".
    static QString portwardenLink();
    // Starts Portwarden for its own link, opens http(s) links in the browser; false for
    // anything else or when Portwarden could not be started.
    static bool activate(const QUrl& link);
    static bool activate(const QString& link);

    // What Portwarden can do on Linux, with its link.
    static QString portwardenHelpText();
    // Replaces "Install USB driver software" on Linux: adb, udev rules, plugdev.
    static QString usbSetupHelpText();
};
