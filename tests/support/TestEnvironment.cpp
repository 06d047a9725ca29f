#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace {

QList<std::pair<QString, QString>> variables(const TestEnvironment &environment)
{
    return {
        {QStringLiteral("HOME"), environment.home()},
        {QStringLiteral("XDG_CONFIG_HOME"), environment.configHome()},
        {QStringLiteral("XDG_DATA_HOME"), environment.dataHome()},
        {QStringLiteral("XDG_CACHE_HOME"), environment.home() + QStringLiteral("/.cache")},
        {QStringLiteral("XDG_STATE_HOME"), environment.home() + QStringLiteral("/.local/state")},
        {QStringLiteral("XDG_RUNTIME_DIR"), environment.runtimeDir()},
        // Flatpak's system installation, whose permissions a sandboxed browser's state depends on.
        {QStringLiteral("FLATPAK_SYSTEM_DIR"), environment.flatpakSystemDir()},
    };
}

} // namespace

TestEnvironment::TestEnvironment()
    // Short paths: a local socket's path must fit in 108 bytes.
    : root(QDir::tempPath() + QStringLiteral("/rt-XXXXXX"))
{
    if (!root.isValid())
        return;
    const QDir dir(root.path());
    valid = dir.mkpath(QStringLiteral("home/.config")) && dir.mkpath(QStringLiteral("home/.local/share")) &&
            dir.mkpath(QStringLiteral("home/.cache")) && dir.mkpath(QStringLiteral("home/.local/state")) &&
            dir.mkpath(QStringLiteral("run")) && dir.mkpath(QStringLiteral("scratch"));
    // Qt refuses a runtime folder that others may enter.
    valid = valid && QFile::setPermissions(runtimeDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                             QFileDevice::ExeOwner);
}

QProcessEnvironment TestEnvironment::processEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : variables(*this))
        environment.insert(name, value);
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

void TestEnvironment::applyToCurrentProcess() const
{
    for (const auto &[name, value] : variables(*this))
        qputenv(name.toLocal8Bit().constData(), value.toLocal8Bit());
}

void TestEnvironment::useProgramNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
}

QByteArray TestEnvironment::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestEnvironment::writeFile(const QString &path, const QByteArray &content, bool executable)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return !executable || file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList TestEnvironment::filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

QJsonArray TestEnvironment::savedQueue() const
{
    return QJsonDocument::fromJson(readFile(dataFolder() + QStringLiteral("/queue.json"))).array();
}
