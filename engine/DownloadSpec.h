#pragma once

#include <QMetaType>
#include <QString>
#include <QUrl>

// What a download is: the list hands one to each engine it creates.
struct DownloadSpec
{
    QString id;
    QUrl url;
    QString destination;
    int connections = 8;
};

Q_DECLARE_METATYPE(DownloadSpec)
