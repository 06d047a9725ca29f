#include "app/InstanceLock.h"
#include "app/LegacyMigration.h"
#include "app/RunningInstance.h"
#include "bridge/protocol/BridgeListener.h"
#include "bridge/protocol/BridgeServer.h"
#include "engine/DownloadMetaTypes.h"
#include "platform/PrivateFiles.h"
#include "platform/ProcessResources.h"
#include "platform/TerminationSignalWatcher.h"
#include "queue/window/MainWindow.h"
#include "ui/ModalDialogs.h"
#include "ui/RushletIcons.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLocalServer>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr int handOverTimeoutMs = 1000;

// Platforms on which nobody could see, let alone close, a message box.
bool displayLess()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

int runSecondInstance(bool browserLaunch, bool smokeTest, const TerminationSignalWatcher &terminationSignals)
{
    // The running instance's bridge already serves the browser.
    if (browserLaunch)
        return 0;
    if (RunningInstance::requestShow(handOverTimeoutMs))
        return 0;
    const QString text = QStringLiteral("Rushlet is already running, or its data folder cannot be locked.");
    // An automated run, or a session without a screen, would wait on the box for ever.
    if (smokeTest || displayLess()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return 1;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Rushlet Download Manager"), text,
                    QMessageBox::Ok);
    // No event loop runs for quit() to end, so a request to end the program closes the box.
    QObject::connect(&terminationSignals, &TerminationSignalWatcher::terminationRequested, &box,
                     [&box] { box.done(QMessageBox::Ok); });
    ModalDialogs::run(box);
    return 1;
}

void migrateEarlierProduct(const QString &dataFolder)
{
    QSettings legacySettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brio"),
                             QStringLiteral("BrioDownloader"));
    QSettings settings;
    const QString legacyDataFolder =
        QDir::cleanPath(dataFolder + QStringLiteral("/../../Brio/BrioDownloader"));
    migrateLegacyData(legacyDataFolder, dataFolder, legacySettings, settings);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, true);
    ProcessResources::raiseDescriptorLimit();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(RushletIcons::appIcon());
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RUSHLET_VERSION));
    registerDownloadMetaTypes();

    // Created before the lock is taken, so that a request to end the program that arrives while
    // it starts up waits in the pipe until the event loop can shut down cleanly.
    TerminationSignalWatcher terminationSignals;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Rushlet Download Manager"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption smokeTestOption(QStringLiteral("smoke-test"),
                                             QStringLiteral("Open the window and exit after one second."));
    const QCommandLineOption browserLaunchOption(
        QStringLiteral("browser-launch"), QStringLiteral("Launch for the Chrome native messaging bridge."));
    parser.addOption(smokeTestOption);
    parser.addOption(browserLaunchOption);
    parser.process(app);
    const bool smokeTest = parser.isSet(smokeTestOption);
    const bool browserLaunch = parser.isSet(browserLaunchOption);

    // The folder holds the list's URLs, which may carry access tokens: the user's eyes only. A
    // folder that cannot be made shows up as a lock that cannot be taken.
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    PrivateFiles::makeFolder(dataFolder);

    InstanceLock lock(dataFolder + QStringLiteral("/instance.lock"));
    if (!lock.tryAcquire([] { return RunningInstance::answers(handOverTimeoutMs); }))
        return runSecondInstance(browserLaunch, smokeTest, terminationSignals);

    migrateEarlierProduct(dataFolder);

    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>();

    const auto quitApplication = [&window] {
        window->shutdown();
        window->close();
        QCoreApplication::quit();
    };

    // Destroyed before the window, so that no request reaches a window that is gone.
    QLocalServer bridgeServer;
    installBridgeServer(
        bridgeServer, [&window](const QJsonObject &request) { return window->handleBridgeRequest(request); });
    auto *bridgeListener = new BridgeListener(bridgeServer);
    if (!bridgeListener->start())
        qWarning("Chrome bridge could not listen on the local pipe.");

    // Requests from the system to end the program take the same path as quitting from the window.
    QObject::connect(&terminationSignals, &TerminationSignalWatcher::terminationRequested, window.get(),
                     quitApplication);

    if (!browserLaunch)
        window->show();
    // Downloads the browser sent during an earlier run still wait for the user's word.
    window->offerAwaitingDownloads();
    if (smokeTest)
        QTimer::singleShot(1000, window.get(), quitApplication);
    else if (!browserLaunch)
        QTimer::singleShot(5000, window.get(), [&window] { window->checkForUpdates(false); });

    return app.exec();
}
