#include "tests/support/SessionBus.h"

#include <QFile>

namespace {

// Only what a test needs: a socket in the test's folder, and no service directories, so nothing
// installed on the machine (a real file manager, say) is started on demand.
const char configuration[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

SessionBus::~SessionBus()
{
    if (daemon.state() == QProcess::NotRunning)
        return;
    daemon.kill();
    daemon.waitForFinished(10000);
}

bool SessionBus::start()
{
    if (!folder.isValid())
        return false;
    const QString configPath = folder.filePath(QStringLiteral("session.conf"));
    QFile config(configPath);
    const QByteArray content = QString::fromUtf8(configuration).arg(folder.path()).toUtf8();
    if (!config.open(QIODevice::WriteOnly) || config.write(content) != content.size())
        return false;
    config.close();

    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    if (!daemon.waitForStarted(10000))
        return false;
    while (!daemon.canReadLine()) {
        if (!daemon.waitForReadyRead(10000))
            return false;
    }
    busAddress = QString::fromUtf8(daemon.readLine().trimmed());
    return !busAddress.isEmpty() && qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());
}
