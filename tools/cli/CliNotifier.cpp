#include "tools/cli/CliNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {

constexpr auto NotificationService = "org.freedesktop.Notifications";
constexpr auto NotificationPath = "/org/freedesktop/Notifications";
constexpr auto NotificationInterface = "org.freedesktop.Notifications";
// A bus that does not answer within this must not hold up the program's exit.
constexpr int NotificationTimeoutMs = 5000;
constexpr qsizetype MaxNotificationBody = 2000;
constexpr uchar NormalNotificationUrgency = 1;

QDBusMessage notificationCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QLatin1String(NotificationService), QLatin1String(NotificationPath),
                                          QLatin1String(NotificationInterface), method);
}

} // namespace

bool CliNotifier::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // A server that reads markup would take a "<" in an error message for a tag.
    const QDBusMessage capabilities =
        bus.call(notificationCall(QStringLiteral("GetCapabilities")), QDBus::Block, NotificationTimeoutMs);
    const bool markup =
        capabilities.type() == QDBusMessage::ReplyMessage &&
        capabilities.arguments().value(0).toStringList().contains(QLatin1String("body-markup"));
    const QString text = body.left(MaxNotificationBody);
    const QString desktopEntry = QStringLiteral("org.velliport.Velliport");
    QDBusMessage notify = notificationCall(QStringLiteral("Notify"));
    notify << QStringLiteral("Velliport") << uint(0) << desktopEntry << summary
           << (markup ? text.toHtmlEscaped() : text) << QStringList()
           << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(NormalNotificationUrgency)},
                          {QStringLiteral("desktop-entry"), desktopEntry}}
           << int(-1);
    return bus.call(notify, QDBus::Block, NotificationTimeoutMs).type() == QDBusMessage::ReplyMessage;
}
