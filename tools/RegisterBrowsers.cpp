// Registers the Chrome bridge from a shell, exactly as the setup dialog does, for install scripts
// and for checks that drive a real browser.

#include "bridge/registration/BrowserRegistration.h"
#include "platform/ApplicationFiles.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The host manifest must land in the data folder that Rushlet and its host use.
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RUSHLET_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Registers Rushlet's native messaging host with Google Chrome and Chromium for this user."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    const QString manifestFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString error =
        ChromeBridgeRegistration::registerBridge(QCoreApplication::applicationDirPath(), manifestFolder);
    if (!error.isEmpty()) {
        QTextStream(stderr) << error << Qt::endl;
        return 1;
    }
    ChromeBridgeRegistration::removeLegacyBridge();
    QTextStream out(stdout);
    out << "Host manifest: "
        << QDir::toNativeSeparators(ChromeBridgeRegistration::manifestPath(manifestFolder)) << Qt::endl
        << "Extension folder to load unpacked in Chrome: "
        << QDir::toNativeSeparators(ApplicationFiles::extensionFolder(QCoreApplication::applicationDirPath()))
        << Qt::endl;
    return 0;
}
