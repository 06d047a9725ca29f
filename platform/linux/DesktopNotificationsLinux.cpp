#include "platform/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
// The installed desktop entry's name without ".desktop", which is also the icon's name.
const QString desktopEntry = QStringLiteral("com.rushlet.Rushlet");
// The service's own choice of how long a notice stays.
constexpr int serverTimeout = -1;

} // namespace

DesktopNotifications::DesktopNotifications(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(service, path, service, QStringLiteral("ActivationToken"), this,
                SLOT(onActivationToken(uint, QString)));
    bus.connect(service, path, service, QStringLiteral("NotificationClosed"), this,
                SLOT(onClosed(uint, uint)));
}

void DesktopNotifications::show(const QString &key, const Notice &notice)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QStringList actions;
    for (const auto &[actionKey, label] : notice.actions)
        actions << actionKey << label;
    const QVariantMap hints{{QStringLiteral("category"), notice.category},
                            {QStringLiteral("desktop-entry"), desktopEntry}};
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    call << QStringLiteral("Rushlet") << idByKey.value(key, 0u) << desktopEntry << notice.summary
         << notice.body << actions << hints << serverTimeout;
    // Asked without waiting: a bus without the service answers with an error, which needs nothing.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, key] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            idByKey.insert(key, reply.value());
    });
}

void DesktopNotifications::onActionInvoked(uint id, const QString &action)
{
    const QString key = idByKey.key(id);
    if (!key.isEmpty())
        emit actionInvoked(key, action);
}

void DesktopNotifications::onActivationToken(uint id, const QString &token)
{
    // Comes just before the action it belongs to: the window that action raises may take the
    // focus with it on Wayland, where a window cannot take it by itself.
    if (idByKey.key(id).isEmpty())
        return;
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

void DesktopNotifications::onClosed(uint id, uint)
{
    // A closed notice cannot be replaced; the next one under its key is a new one.
    const QString key = idByKey.key(id);
    if (!key.isEmpty())
        idByKey.remove(key);
}
