#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Desktop services played on a private bus (see SessionBus), each recording what it was asked. A
// test registers them on a connection of its own, as another program would hold them.

// The file manager: org.freedesktop.FileManager1 at /org/freedesktop/FileManager1.
class StandInFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;
    bool refuse = false;

public slots:
    void ShowItems(const QStringList &uris, const QString &startupId);
};

// The notification service: org.freedesktop.Notifications at /org/freedesktop/Notifications.
class StandInNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice
    {
        uint id = 0;
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Notice> notices;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout);
    QStringList GetCapabilities() const;

private:
    uint lastId = 0;
};

// logind's sleep lock: org.freedesktop.login1.Manager at /org/freedesktop/login1. Each lock is a
// pipe whose writing end goes to the caller; the lock is held while any copy of it is open.
class StandInLogin : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~StandInLogin() override;
    // "what,who,why,mode" of every request, in order.
    QStringList requests;
    // How many of the locks handed out are still held.
    int held();

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why,
                                    const QString &mode);

private:
    QList<int> readingEnds;
};

// The desktop portal's inhibition: org.freedesktop.portal.Inhibit at /org/freedesktop/portal/desktop.
// Each lock is a request object the caller closes; `connection` is the one the portal is on.
class StandInPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

public:
    explicit StandInPortal(const QString &connection);
    // The flags of every request, in order, and how many are still open.
    QList<uint> requests;
    int held() const { return open; }

public slots:
    QDBusObjectPath Inhibit(const QString &window, uint flags, const QVariantMap &options);

private:
    friend class StandInPortalRequest;
    QString connectionName;
    int open = 0;
};
