#include "bridge/protocol/BrowserFileNames.h"

#include "queue/input/DownloadInputRules.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace BrowserFileNames {

namespace {

constexpr qsizetype maxNameLength = 180;
// Room for the partial file's suffix and the widest counter a candidate can get.
constexpr qsizetype maxSanitizedBytes = DownloadInputRules::maxNameBytes -
                                        DownloadInputRules::partialSuffix.size() -
                                        qsizetype(sizeof(" (9999)") - 1);

// Partial and resume files of this program and of the earlier product, whose data is taken over.
const QString sidecarSuffixes[] = {
    QStringLiteral(".rushlet.part"),
    QStringLiteral(".rushlet.json"),
    QStringLiteral(".brio.part"),
    QStringLiteral(".brio.json"),
};

// A dangling symbolic link counts as taken too: writing through it would land somewhere else.
bool pathIsTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool candidateIsTaken(const QString &path, const ListedDestination &isListed)
{
    if (pathIsTaken(path) || isListed(path))
        return true;
    for (const QString &suffix : sidecarSuffixes) {
        if (pathIsTaken(path + suffix) || isListed(path + suffix))
            return true;
        // The listed download's engine would take a file of this name for its own partial file.
        if (path.endsWith(suffix) && isListed(path.chopped(suffix.size())))
            return true;
    }
    return false;
}

void dropTrailingDotsAndSpaces(QString &name)
{
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
}

} // namespace

QString sanitizeFileName(const QString &suggested)
{
    static const QRegularExpression deviceName(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])(?:\\.|$)"),
        QRegularExpression::CaseInsensitiveOption);

    QString name = suggested;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    name.replace(DownloadInputRules::reservedCharacters(), QStringLiteral("_"));
    const auto fitLength = [](QString &name) {
        if (name.size() > maxNameLength) {
            // Half a surrogate pair would not survive the conversion to a file system name.
            const bool splitsPair = name.at(maxNameLength - 1).isHighSurrogate();
            name.truncate(splitsPair ? maxNameLength - 1 : maxNameLength);
        }
        // 180 characters of most scripts take more bytes than a file name may have.
        name = DownloadInputRules::cutToBytes(name, maxSanitizedBytes);
        dropTrailingDotsAndSpaces(name);
    };
    fitLength(name);
    if (name.isEmpty())
        name = QStringLiteral("download");
    if (deviceName.match(name).hasMatch()) {
        name.prepend(QLatin1Char('_'));
        // The mark may take the name past the limits again; it stays, as the cut is at the end.
        fitLength(name);
    }
    return name;
}

QString candidateName(const QString &name, int n)
{
    if (n == 0)
        return name;
    const QString counter = QStringLiteral(" (%1)").arg(n);
    const qsizetype lastDot = name.lastIndexOf(QLatin1Char('.'));
    if (lastDot < 0)
        return name + counter;
    const QString extension = name.mid(lastDot + 1);
    return name.left(lastDot) + counter + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
}

QString chooseFreeDestination(const QString &folder, const QString &name, const ListedDestination &isListed)
{
    const QDir directory(folder);
    for (int n = 0; n < maxCandidates; ++n) {
        const QString path = QDir::cleanPath(directory.absoluteFilePath(candidateName(name, n)));
        if (!candidateIsTaken(path, isListed))
            return path;
    }
    return {};
}

} // namespace BrowserFileNames
