#include "nativehost/CallerCheck.h"

#include <QDir>
#include <QJsonArray>

namespace CallerCheck {

namespace {

bool lists(const QJsonObject &manifest, const QString &key, const QString &caller)
{
    const QJsonArray allowed = manifest.value(key).toArray();
    for (const QJsonValue &entry : allowed) {
        if (entry.isString() && entry.toString() == caller)
            return true;
    }
    return false;
}

// Firefox names the manifest it found, which always carries the host's name; Chrome's origin never
// ends that way.
bool isFirefoxStart(const QStringList &arguments)
{
    return arguments.size() >= 2 && QDir::isAbsolutePath(arguments.at(0)) &&
           arguments.at(0).endsWith(QStringLiteral("/com.rushlet.downloader.json"));
}

} // namespace

bool isAllowed(const QStringList &arguments, const QJsonObject &manifest)
{
    if (isFirefoxStart(arguments))
        return lists(manifest, QStringLiteral("allowed_extensions"), arguments.at(1));
    return lists(manifest, QStringLiteral("allowed_origins"), arguments.value(0));
}

} // namespace CallerCheck
