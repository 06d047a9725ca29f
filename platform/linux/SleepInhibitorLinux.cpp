#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

namespace {

const QString who = QStringLiteral("Rushlet");
const QString why = QStringLiteral("Downloading files");
// The portal's flag for suspending the machine.
constexpr uint portalSuspend = 4;

QDBusMessage logindInhibit()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << who << why << QStringLiteral("block");
    return call;
}

QDBusMessage portalInhibit()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    call << QString() << portalSuspend << QVariantMap{{QStringLiteral("reason"), why}};
    return call;
}

} // namespace

void closePortalRequest(const QString &handle)
{
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), handle,
        QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
}

// What a request brought: logind's descriptor (the lock lasts while it is open) or the portal's
// request handle (the lock lasts until it is closed).
struct SleepInhibitor::Lock
{
    QDBusUnixFileDescriptor descriptor;
    QString portalHandle;

    ~Lock()
    {
        if (!portalHandle.isEmpty())
            closePortalRequest(portalHandle);
        // The descriptor closes with its last copy, here.
    }
};

SleepInhibitor::SleepInhibitor(QObject *parent)
    : QObject(parent)
{
}

SleepInhibitor::~SleepInhibitor() = default;

void SleepInhibitor::setInhibited(bool inhibit)
{
    if (inhibit == wanted)
        return;
    wanted = inhibit;
    lock.reset();
    ++requests;
    if (wanted)
        request();
}

void SleepInhibitor::request()
{
    const quint64 asking = requests;
    QDBusConnection system = QDBusConnection::systemBus();
    if (!system.isConnected()) {
        askPortal(asking);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(system.asyncCall(logindInhibit()), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, asking] {
        watcher->deleteLater();
        if (asking != requests)
            return; // given up meanwhile: the reply's copy of the descriptor goes with the watcher
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        if (reply.isValid())
            lock.reset(new Lock{reply.value(), {}});
        else
            askPortal(asking);
    });
}

void SleepInhibitor::askPortal(quint64 asking)
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return;
    auto *watcher = new QDBusPendingCallWatcher(session.asyncCall(portalInhibit()), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, asking] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (!reply.isValid())
            return;
        if (asking == requests)
            lock.reset(new Lock{{}, reply.value().path()});
        else
            closePortalRequest(reply.value().path());
    });
}
