#include "tools/rushlet-get/GetCommand.h"

#include "engine/ChecksumRules.h"
#include "engine/SizeText.h"
#include "engine/SpeedLimitRules.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace GetCommand {

namespace {

const QString fallbackName = QStringLiteral("download");
// The longest sidecar suffix (".rushlet.part", ".rushlet.json") must still fit in a 255-byte name.
constexpr qsizetype maxNameBytes = 255 - 13;
// An extension longer than this is more likely part of the name than a type.
constexpr qsizetype maxKeptExtension = 16;

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// Cuts the name to the byte budget without splitting a character, keeping a short extension.
QString fitName(const QString &name)
{
    if (name.toUtf8().size() <= maxNameBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 && name.size() - dot <= maxKeptExtension ? name.mid(dot) : QString();
    QString base = name.left(name.size() - extension.size());
    const qsizetype budget = maxNameBytes - extension.toUtf8().size();
    while (!base.isEmpty() && base.toUtf8().size() > budget) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
    }
    return base + extension;
}

// A rule's sentence with its values in place.
QString filled(QString sentence, const QStringList &arguments)
{
    for (const QString &argument : arguments)
        sentence = sentence.arg(argument);
    return sentence;
}

} // namespace

QString usage()
{
    return QStringLiteral("Usage: rushlet-get [OPTION]... URL");
}

QString helpText()
{
    return usage() + QStringLiteral(R"(
Download URL (HTTP or HTTPS) over parallel ranged connections into a file in
the current folder.

Options:
  -o, --output FILE     Save to FILE instead of the name the URL gives.
  -c, --connections N   Use up to N parallel connections, 1 to 16 (default 8).
      --limit-rate RATE Read at most RATE bytes per second over all connections
                        together: a number, or one with the suffix K, M, G or
                        T (multiples of 1024), as in 500K, 2M or 1G.
      --checksum SUM    Check the finished file against SUM, written as
                        ALGORITHM=HEX (md5, sha-1, sha-256 or sha-512, as in
                        sha-256=3a7b...) or as bare HEX, whose length tells the
                        algorithm. A file that does not match keeps its
                        partial name.
  -q, --quiet           Write nothing but errors.
      --progress        Write progress lines also when standard error is not
                        a terminal.
  -h, --help            Show this help and exit.
  -V, --version         Show the version and exit.

The file is named after the last segment of the URL's path, decoded, or
"download" when the path has none. An existing file is never overwritten.
Until the download is complete, the data goes into FILE.rushlet.part beside
it, with its resume checkpoint FILE.rushlet.json; the file takes its name only
when every byte has arrived.

On a terminal, one progress line is redrawn in place: percent, size, speed,
time left and open connections. When standard error is not a terminal, no
progress is written unless --progress is given; errors are always written.

With --checksum, the file is read once more after the last byte has arrived
("Verifying") and takes its name only when it matches. When it does not, the
download fails, its partial file and checkpoint stay, and running the same
command again downloads it again.

Interrupted downloads resume. Ctrl+C (SIGINT) or SIGTERM pauses and keeps the
checkpoint; run the same command again, in the same folder, to resume where it
stopped. Resuming needs a server that accepts byte ranges and identifies the
file's version (ETag or Last-Modified); otherwise, or when the file changed on
the server, the download starts over. Failed connections are retried three
times, after 2, 4 and 8 seconds.

Environment:
  SSL_CERT_FILE, SSL_CERT_DIR   certificate authorities to trust in addition
                                to the system's

Exit status:
  0    the file is complete
  1    the download failed
  2    the command line is wrong
  130  paused by Ctrl+C (SIGINT)
  143  paused by SIGTERM)");
}

bool parseArguments(const QStringList &arguments, Arguments *parsed, QString *error)
{
    QCommandLineParser parser;
    const QCommandLineOption connections({QStringLiteral("c"), QStringLiteral("connections")},
                                         QStringLiteral("Parallel connections (1 to 16)."),
                                         QStringLiteral("N"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("File to write."), QStringLiteral("FILE"));
    const QCommandLineOption limitRate(QStringLiteral("limit-rate"), QStringLiteral("Bytes per second."),
                                       QStringLiteral("RATE"));
    const QCommandLineOption checksum(QStringLiteral("checksum"), QStringLiteral("Expected checksum."),
                                      QStringLiteral("SUM"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Write nothing but errors."));
    const QCommandLineOption progress(QStringLiteral("progress"), QStringLiteral("Always write progress."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show the help."));
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    parser.addOptions({connections, output, limitRate, checksum, quiet, progress, help, version});
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("What to download."));

    if (!parser.parse(QStringList{QStringLiteral("rushlet-get")} + arguments)) {
        *error = parser.errorText();
        return false;
    }
    Arguments result;
    result.help = parser.isSet(help);
    result.version = parser.isSet(version);
    if (result.help || result.version) {
        *parsed = result;
        return true;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        *error =
            positional.isEmpty() ? QStringLiteral("No URL given.") : QStringLiteral("Give exactly one URL.");
        return false;
    }
    if (positional.first().isEmpty()) {
        *error = QStringLiteral("The URL is empty.");
        return false;
    }
    result.url = QUrl(positional.first());
    if (parser.isSet(connections)) {
        // The last value counts, as with most programs; the engine clamps it to what it supports.
        bool ok = false;
        result.connections = parser.values(connections).constLast().toInt(&ok);
        if (!ok) {
            *error = QStringLiteral("The number of connections must be a whole number.");
            return false;
        }
    }
    if (parser.isSet(output)) {
        result.output = parser.values(output).constLast();
        if (result.output.isEmpty()) {
            *error = QStringLiteral("The output file name is empty.");
            return false;
        }
    }
    if (parser.isSet(limitRate)) {
        QString problem;
        QStringList values;
        if (!SpeedLimitRules::parseRate(parser.values(limitRate).constLast(), &result.limitRate, &problem,
                                        &values)) {
            *error = QStringLiteral("--limit-rate: ") + filled(problem, values);
            return false;
        }
    }
    if (parser.isSet(checksum)) {
        ChecksumRules::Checksum expected;
        QString problem;
        QStringList values;
        if (!ChecksumRules::parse(parser.values(checksum).constLast(), &expected, &problem, &values)) {
            *error = QStringLiteral("--checksum: ") + filled(problem, values);
            return false;
        }
        result.checksum = ChecksumRules::toText(expected);
    }
    result.quiet = parser.isSet(quiet);
    result.progress = parser.isSet(progress);
    if (result.quiet && result.progress) {
        *error = QStringLiteral("Give either --quiet or --progress, not both.");
        return false;
    }
    *parsed = result;
    return true;
}

QString fileNameFromUrl(const QUrl &url)
{
    // Split before decoding: an encoded slash belongs to the name, not to the path.
    const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    const QString name = QUrl::fromPercentEncoding(path.mid(path.lastIndexOf('/') + 1));
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : std::as_const(name)) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            continue;
        safe += isSeparator(c) ? QLatin1Char('_') : c;
    }
    safe = fitName(safe.trimmed());
    // A name of dots alone would name this folder or the one above it.
    const bool onlyDots =
        std::all_of(safe.cbegin(), safe.cend(), [](QChar c) { return c == QLatin1Char('.'); });
    return onlyDots ? fallbackName : safe;
}

QString destinationPath(const Arguments &arguments, const QString &workingFolder)
{
    const QString name = arguments.output.isEmpty() ? fileNameFromUrl(arguments.url) : arguments.output;
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(name));
}

QString formatSize(qint64 bytes)
{
    return SizeText::written(bytes);
}

QString formatRemaining(const DownloadSnapshot &snapshot)
{
    if (snapshot.speed <= 0 || snapshot.total < 0)
        return QStringLiteral("-");
    const qint64 left = std::max<qint64>(0, snapshot.total - snapshot.received);
    const auto seconds = qint64(std::ceil(double(left) / snapshot.speed));
    if (seconds >= 3600)
        return QStringLiteral("%1h %2m").arg(seconds / 3600).arg(seconds % 3600 / 60);
    if (seconds < 60)
        return QStringLiteral("%1 sec").arg(seconds);
    return QStringLiteral("%1m %2s").arg(seconds / 60).arg(seconds % 60);
}

QString formatProgress(const DownloadSnapshot &snapshot)
{
    QString percent = QStringLiteral("  ?%");
    if (snapshot.status == DownloadStatus::Verifying && snapshot.total > 0)
        percent = QStringLiteral("%1%").arg(snapshot.verified * 100 / snapshot.total, 3);
    else if (snapshot.status == DownloadStatus::Completed)
        percent = QStringLiteral("100%");
    else if (snapshot.total > 0)
        percent = QStringLiteral("%1%").arg(snapshot.received * 100 / snapshot.total, 3);

    // A segment holds a connection while it is unfinished; one of unknown size until the end.
    int active = 0;
    if (snapshot.status == DownloadStatus::Downloading) {
        for (const SegmentProgress &segment : snapshot.segments) {
            if (snapshot.total < 0 || segment.received < segment.end - segment.start + 1)
                ++active;
        }
    }

    const QString speed =
        snapshot.speed > 0 ? formatSize(qint64(snapshot.speed)) + QStringLiteral("/s") : QStringLiteral("-");
    return QStringLiteral("%1  %2 of %3  %4  %5 left  %6 %7  %8")
        .arg(percent, formatSize(snapshot.received), formatSize(snapshot.total), speed,
             formatRemaining(snapshot))
        .arg(active)
        .arg(active == 1 ? QStringLiteral("connection") : QStringLiteral("connections"), snapshot.status);
}

QString commandLineMessage(const DownloadSnapshot &failed)
{
    const QString again = QStringLiteral("Run the same command again to ");
    const bool resumes = failed.received > 0 && failed.resumable;
    QString message = failed.error;
    // The window's advice names its Retry command: "Use Retry to try again.", "Retry to recheck
    // the file.", "Retry to restart safely.".
    message.replace(QStringLiteral("Use Retry to try again."),
                    again + (resumes ? QStringLiteral("resume.") : QStringLiteral("retry.")));
    static const QRegularExpression retryAdvice(QStringLiteral("(^|\\. )Retry to "));
    message.replace(retryAdvice, QStringLiteral("\\1") + again);
    if (!message.contains(again) && resumes) {
        // Some sentences end in a system's reason, which carries no full stop.
        if (!message.endsWith(QLatin1Char('.')))
            message += QLatin1Char('.');
        message += QLatin1Char(' ') + again + QStringLiteral("resume.");
    }
    return message;
}

QString pausedMessage(const DownloadSnapshot &paused)
{
    // Before anything arrived there is nothing to lose either way.
    if (paused.resumable || paused.received == 0)
        return QStringLiteral("Paused. Run the same command again to resume.");
    return QStringLiteral("Stopped. This server cannot resume the file: running the same command again "
                          "starts over.");
}

int exitCodeForSignal(int signalNumber)
{
    return 128 + signalNumber;
}

} // namespace GetCommand
