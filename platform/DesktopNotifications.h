#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

// Notices in the desktop's notification area. Each is shown under a key of the caller's; showing
// another under the same key replaces it in place instead of stacking a second one. Where the
// desktop has no notification service nothing shows, and nothing ever waits for the service.
//
// Linux: the freedesktop notification service on the session bus.
class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    struct Notice
    {
        QString summary;
        QString body;
        // The kind of event, for the desktop's filters and sounds ("transfer.complete").
        QString category;
        // Buttons, as key and label, in order; the key "default" stands for a click on the notice.
        QList<QPair<QString, QString>> actions;
    };

    explicit DesktopNotifications(QObject *parent = nullptr);

    void show(const QString &key, const Notice &notice);

signals:
    // The user chose `action` (an action key of the notice, or "default") on the notice shown
    // under `key`.
    void actionInvoked(const QString &key, const QString &action);

private slots:
    void onActionInvoked(uint id, const QString &action);
    void onActivationToken(uint id, const QString &token);
    void onClosed(uint id, uint reason);

private:
    // The service's number for the notice of each key, once it has answered.
    QHash<QString, uint> idByKey;
};
