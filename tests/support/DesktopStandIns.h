#pragma once

#include <QDBusContext>
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
        uint replaces = 0;
        // "app|icon|summary|body|category|desktop entry|action key,label,…"
        QString text;
    };
    QList<Notice> notices;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout);
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
