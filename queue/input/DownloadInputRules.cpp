#include "queue/input/DownloadInputRules.h"

#include "platform/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <QUrl>

namespace DownloadInputRules {

namespace {

const QString folderKey = QStringLiteral("downloadFolder");

// The engine creates missing folders when the download begins, so only the nearest folder that
// exists matters: it must be a folder, and one the program may write in.
bool canSaveInto(const QString &folder)
{
    QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    QFileInfo info(path);
    while (!info.exists() && !info.isSymLink()) {
        const QString parent = info.path();
        if (parent == path)
            return false;
        path = parent;
        info = QFileInfo(path);
    }
    return info.isDir() && info.isWritable();
}

} // namespace

const QRegularExpression &reservedCharacters()
{
    static const QRegularExpression pattern(QStringLiteral("[<>:\"/\\\\|?*\\x00-\\x1f]"));
    return pattern;
}

qsizetype nameBytes(const QString &name)
{
    return QFile::encodeName(name).size();
}

QString cutToBytes(const QString &name, qsizetype maxBytes)
{
    if (nameBytes(name) <= maxBytes)
        return name;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, name);
    qsizetype kept = 0;
    qsizetype bytes = 0;
    for (qsizetype next = characters.toNextBoundary(); next > 0; next = characters.toNextBoundary()) {
        bytes += nameBytes(name.mid(kept, next - kept));
        if (bytes > maxBytes)
            break;
        kept = next;
    }
    return name.left(kept);
}

bool isFetchableLink(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host(QUrl::FullyDecoded).isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool hasUserInformation(const QUrl &url)
{
    // A host never holds an "@", so one in the authority ends user information.
    return url.authority(QUrl::FullyEncoded).contains(QLatin1Char('@'));
}

QString linkFromClipboard(const QString &clipboardText)
{
    const QString text = clipboardText.trimmed();
    if (text.size() > maxClipboardLinkLength)
        return {};
    return isFetchableLink(QUrl(text, QUrl::StrictMode)) ? text : QString();
}

QString nameFromLink(const QString &linkText)
{
    QString name = QUrl(linkText.trimmed(), QUrl::TolerantMode).fileName(QUrl::FullyDecoded);
    name.replace(reservedCharacters(), QStringLiteral("_"));
    name = cutToBytes(name, maxNameBytes - partialSuffix.size());
    return name.isEmpty() ? QStringLiteral("download.bin") : name;
}

QString destinationPath(const QString &folderText, const QString &nameText)
{
    const QDir folder(QDir::fromNativeSeparators(folderText.trimmed()));
    return QDir::cleanPath(folder.absoluteFilePath(nameText.trimmed()));
}

QString inputProblem(const QString &linkText, const QString &nameText, const QString &folderText)
{
    const QUrl url(linkText.trimmed(), QUrl::StrictMode);
    if (!isFetchableLink(url))
        return QStringLiteral("Enter a valid HTTP or HTTPS URL.");
    if (hasUserInformation(url))
        return QStringLiteral("URLs containing login credentials are not supported.");
    const QString nameProblem = FileNames::nameProblem(nameText.trimmed(), partialSuffix.size());
    if (!nameProblem.isEmpty())
        return nameProblem;
    const QString folder = folderText.trimmed();
    if (folder.isEmpty() || QDir::isRelativePath(QDir::fromNativeSeparators(folder)))
        return QStringLiteral("Choose an absolute destination folder.");
    if (!canSaveInto(folder))
        return QStringLiteral("Choose a folder you can save to.");
    // A link that points nowhere still holds the name.
    const QFileInfo target(destinationPath(folderText, nameText));
    if (target.exists() || target.isSymLink())
        return QStringLiteral("A file with that name already exists. Choose a different name.");
    return {};
}

QString newAddressProblem(const QUrl &current, const QString &linkText)
{
    const QUrl url(linkText.trimmed(), QUrl::StrictMode);
    if (!isFetchableLink(url))
        return QStringLiteral("Enter a valid HTTP or HTTPS URL.");
    if (hasUserInformation(url))
        return QStringLiteral("URLs containing login credentials are not supported.");
    if (current.scheme() == QLatin1String("https") && url.scheme() != QLatin1String("https"))
        return QStringLiteral("This download came over HTTPS; its new address must use HTTPS too.");
    if (url.adjusted(QUrl::NormalizePathSegments) == current.adjusted(QUrl::NormalizePathSegments))
        return QStringLiteral("This is the download's current address. Enter the new one.");
    return {};
}

QString downloadFolder()
{
    const QString chosen = QSettings().value(folderKey).toString();
    // An empty folder would put the download wherever the program happens to run.
    if (!chosen.isEmpty())
        return chosen;
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

void rememberDownloadFolder(const QString &folder)
{
    QSettings().setValue(folderKey, folder);
}

} // namespace DownloadInputRules
