#pragma once

#include <QDBusContext>
#include <QObject>
#include <QStringList>

// The desktop's file manager played on a private bus (see SessionBus):
// org.freedesktop.FileManager1 at /org/freedesktop/FileManager1, recording what it was asked to
// show. A test registers it on a connection of its own, as another program would hold it.
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
