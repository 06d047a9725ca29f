#include "engine/DownloadMetaTypes.h"
#include "engine/RateShare.h"
#include "platform/Terminal.h"
#include "platform/TerminationSignalWatcher.h"
#include "tools/rushlet-get/GetCommand.h"
#include "tools/rushlet-get/GetSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <cstdio>

namespace {

// Where the system keeps the authorities Qt already trusts by itself.
bool isInSystemStore(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const char *folder : {"/etc/ssl/", "/etc/pki/", "/usr/lib/ssl/", "/usr/share/ca-certificates/"}) {
        if (canonical.startsWith(QLatin1String(folder)))
            return true;
    }
    return false;
}

// Qt reads the system's certificate folders only. Honouring the variables every OpenSSL-based
// command-line program honours lets a user (or a test) trust a private certificate authority for
// one run, in addition to the system's. Variables that merely name the system's own store (many
// setups export them) are skipped: adding any certificate turns off Qt's lazy loading of the
// system's, and loading them all up front costs about a second.
void trustCertificatesFromEnvironment()
{
    QList<QSslCertificate> extra;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (!file.isEmpty() && !isInSystemStore(file))
        extra += QSslCertificate::fromPath(file, QSsl::Pem);
    const QStringList folders =
        qEnvironmentVariable("SSL_CERT_DIR").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &folder : folders) {
        if (isInSystemStore(folder))
            continue;
        extra += QSslCertificate::fromPath(folder + QStringLiteral("/*"), QSsl::Pem,
                                           QSslCertificate::PatternSyntax::Wildcard);
    }
    if (extra.isEmpty())
        return;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

void writeError(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

void writeOutput(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

bool quietRun = false;
QtMessageHandler standardHandler = nullptr;

// The program speaks to its user in sentences of its own. What Qt reports on the way (a connection
// that dropped, a plugin it looked for) means nothing to them: with -q none of it is written, and
// otherwise only critical and fatal messages, unless a developer asked for more with
// QT_LOGGING_RULES.
void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool shown =
        type == QtFatalMsg ||
        (!quietRun && (type == QtCriticalMsg || qEnvironmentVariableIsSet("QT_LOGGING_RULES")));
    if (!shown)
        return;
    if (standardHandler)
        standardHandler(type, context, message);
    else
        writeError(qFormatLogMessage(type, context, message) + QLatin1Char('\n'));
}

GetSession::Output outputFor(const GetCommand::Arguments &arguments)
{
    GetSession::Output output;
    output.notices = !arguments.quiet;
    // Progress redrawn in place is for a person watching a terminal; a log or a pipe gets it only
    // when asked, as lines.
    if (arguments.quiet)
        output.progress = GetSession::Progress::None;
    else if (Terminal::standardErrorIsTerminal())
        output.progress = GetSession::Progress::InPlace;
    else if (arguments.progress)
        output.progress = GetSession::Progress::Lines;
    return output;
}

} // namespace

int main(int argc, char *argv[])
{
    standardHandler = qInstallMessageHandler(filterMessages);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("rushlet-get"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RUSHLET_VERSION));
    registerDownloadMetaTypes();
    // Installed before the download starts, so that an early Ctrl+C still pauses cleanly.
    TerminationSignalWatcher terminationSignals;

    GetCommand::Arguments arguments;
    QString error;
    if (!GetCommand::parseArguments(app.arguments().mid(1), &arguments, &error)) {
        writeError(QStringLiteral("rushlet-get: ") + error + QLatin1Char('\n') + GetCommand::usage() +
                   QStringLiteral("\nTry 'rushlet-get --help' for more information.\n"));
        return GetCommand::exitUsage;
    }
    quietRun = arguments.quiet;
    if (arguments.help) {
        writeOutput(GetCommand::helpText() + QLatin1Char('\n'));
        return GetCommand::exitCompleted;
    }
    if (arguments.version) {
        writeOutput(QCoreApplication::applicationName() + QLatin1Char(' ') +
                    QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return GetCommand::exitCompleted;
    }
    trustCertificatesFromEnvironment();

    DownloadSpec spec;
    spec.id = QStringLiteral("1");
    spec.url = arguments.url;
    spec.destination = GetCommand::destinationPath(arguments, QDir::currentPath());
    spec.connections = arguments.connections;
    spec.checksum = arguments.checksum;
    if (arguments.limitRate > 0)
        spec.rateLimit = std::make_shared<RateShare>(arguments.limitRate);

    GetSession session(spec, outputFor(arguments));
    QObject::connect(&session, &GetSession::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    QObject::connect(&terminationSignals, &TerminationSignalWatcher::terminationRequested, &session,
                     &GetSession::stopForSignal);
    session.start();
    return app.exec();
}
