// Runs downloads through the download list, with real engines, as the window runs them, under an
// overall or a per-download speed limit (or none), until every download has completed or a signal
// ends the run. bench/limits-bench.py starts it and measures how fast the partial files grow and
// how much processor time it takes; this program itself only downloads.
//
//   rushlet-limit-bench --url URL --folder DIR [--downloads K] [--connections N]
//                       [--overall RATE | --own RATE]

#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "engine/SpeedLimitRules.h"
#include "platform/TerminationSignalWatcher.h"
#include "queue/list/DownloadList.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdlib>

namespace {

qint64 rateOption(const QCommandLineParser &parser, const QString &name)
{
    if (!parser.isSet(name))
        return 0;
    qint64 rate = 0;
    QString problem;
    if (!SpeedLimitRules::parseRate(parser.value(name), &rate, &problem)) {
        QTextStream(stderr) << "--" << name << ": " << problem << '\n';
        std::exit(2);
    }
    return rate;
}

} // namespace

int main(int argc, char *argv[])
{
    // The list keeps its settings and queue.json under the run's folder, never the user's.
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--folder") {
            const QByteArray state = QByteArray(argv[i + 1]) + "/.state";
            qputenv("XDG_CONFIG_HOME", state + "/config");
            qputenv("XDG_DATA_HOME", state + "/data");
        }
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("rushlet-limit-bench"));
    registerDownloadMetaTypes();

    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("url"), QStringLiteral("What to download."), QStringLiteral("URL")},
         {QStringLiteral("folder"), QStringLiteral("Where the files go."), QStringLiteral("DIR")},
         {QStringLiteral("downloads"), QStringLiteral("Downloads at once."), QStringLiteral("K"), "1"},
         {QStringLiteral("connections"), QStringLiteral("Per download."), QStringLiteral("N"), "16"},
         {QStringLiteral("overall"), QStringLiteral("Overall limit."), QStringLiteral("RATE")},
         {QStringLiteral("own"), QStringLiteral("Each download's limit."), QStringLiteral("RATE")}});
    parser.process(app);
    const QUrl url(parser.value(QStringLiteral("url")));
    const QString folder = parser.value(QStringLiteral("folder"));
    const int downloads = parser.value(QStringLiteral("downloads")).toInt();
    if (!url.isValid() || folder.isEmpty() || downloads < 1) {
        QTextStream(stderr) << parser.helpText();
        return 2;
    }

    DownloadList list;
    list.setOverallSpeedLimit(rateOption(parser, QStringLiteral("overall")));
    const qint64 own = rateOption(parser, QStringLiteral("own"));
    for (int i = 0; i < downloads; ++i) {
        DownloadSnapshot snapshot;
        snapshot.id = QStringLiteral("d%1").arg(i);
        snapshot.url = url;
        snapshot.destination = QDir(folder).absoluteFilePath(QStringLiteral("file-%1.bin").arg(i));
        snapshot.connections = parser.value(QStringLiteral("connections")).toInt();
        snapshot.speedLimit = own;
        list.addDownload(snapshot);
        list.startDownload(snapshot.id);
    }
    QObject::connect(&list, &DownloadList::downloadUpdated, &app, [&list] {
        for (const DownloadSnapshot &snapshot : list.snapshots()) {
            if (snapshot.status == DownloadStatus::Error) {
                QTextStream(stderr) << snapshot.id << ": " << snapshot.error << '\n';
                QCoreApplication::exit(1);
                return;
            }
            if (snapshot.status != DownloadStatus::Completed)
                return;
        }
        QCoreApplication::exit(0);
    });
    TerminationSignalWatcher terminations;
    QObject::connect(&terminations, &TerminationSignalWatcher::terminationRequested, &app,
                     [] { QCoreApplication::exit(0); });
    const int code = app.exec();
    list.shutdown();
    return code;
}
