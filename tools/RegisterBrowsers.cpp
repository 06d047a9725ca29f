// Registers the browser bridge from a shell for every browser the user has, exactly as the setup
// dialog does, for install scripts and for checks that drive a real browser. Also installed as
// rushlet-register-chrome, its earlier name.

#include "bridge/registration/BrowserRegistration.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

namespace {

QString whatWasDone(BrowserRegistration::State state)
{
    switch (state) {
    case BrowserRegistration::State::Registered:
    case BrowserRegistration::State::NeedsPermission:
        return QStringLiteral("registered in ");
    case BrowserRegistration::State::NeedsRepair:
    case BrowserRegistration::State::NotRegistered:
        break;
    }
    return QStringLiteral("could not be registered in ");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The host manifest must land in the data folder that Rushlet and its host use.
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RUSHLET_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Registers Rushlet's native messaging host, for this user, with every browser that "
                       "has run here: the Chromium family, Firefox and their Flatpak versions."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    const QString manifestFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const BrowserRegistration::Outcome outcome =
        BrowserRegistration::registerBrowsers(QCoreApplication::applicationDirPath(), manifestFolder);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!outcome.saved) {
        err << outcome.error << Qt::endl;
        return 1;
    }
    out << "Host manifest: " << QDir::toNativeSeparators(BrowserRegistration::manifestPath(manifestFolder))
        << Qt::endl;
    if (outcome.browsers.isEmpty()) {
        err << "No browser has run for this user yet. Start your browser once, then run this again."
            << Qt::endl;
        return 1;
    }
    for (const BrowserRegistration::BrowserStatus &status : outcome.browsers) {
        out << status.browser.name << ": " << whatWasDone(status.state)
            << QDir::toNativeSeparators(status.browser.manifestFolder) << Qt::endl;
        if (status.state == BrowserRegistration::State::NeedsPermission) {
            out << "    to let it start Rushlet outside its sandbox, run once:" << Qt::endl
                << "        " << status.permissionCommand << Qt::endl;
        }
        out << "    extension folder to load: " << status.extensionFolder << Qt::endl;
    }
    if (!outcome.error.isEmpty()) {
        err << outcome.error << Qt::endl;
        return 1;
    }
    return 0;
}
