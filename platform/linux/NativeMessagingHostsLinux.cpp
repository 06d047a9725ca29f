#include "platform/NativeMessagingHosts.h"

#include "platform/PrivateFiles.h"

namespace NativeMessagingHosts {

bool writeManifest(const QString &path, const QByteArray &content)
{
    return PrivateFiles::replace(path, content);
}

bool writeProgram(const QString &path, const QByteArray &content)
{
    return PrivateFiles::replaceProgram(path, content);
}

} // namespace NativeMessagingHosts
