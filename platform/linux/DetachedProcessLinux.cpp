#include "platform/DetachedProcess.h"

#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <vector>

extern char **environ;

namespace DetachedProcess {

namespace {

class SpawnSetup
{
public:
    SpawnSetup()
    {
        ready = posix_spawn_file_actions_init(&actions) == 0;
        ready = posix_spawnattr_init(&attributes) == 0 && ready;
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    bool prepare()
    {
        static const char nullDevice[] = "/dev/null";
        return ready && posix_spawn_file_actions_addopen(&actions, 0, nullDevice, O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions, 1, nullDevice, O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions, 2, nullDevice, O_WRONLY, 0) == 0 &&
               // Descriptors opened without close-on-exec (a browser's pipes among them) stay ours.
               posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
               // Signals the caller blocked or ignored must not keep the program from being ended.
               sigemptyset(&noSignals) == 0 && posix_spawnattr_setsigmask(&attributes, &noSignals) == 0 &&
               sigfillset(&allSignals) == 0 && posix_spawnattr_setsigdefault(&attributes, &allSignals) == 0 &&
               // A session of its own: ending the caller's process group leaves the program running.
               posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                         POSIX_SPAWN_SETSIGDEF) == 0;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

private:
    sigset_t noSignals;
    sigset_t allSignals;
    bool ready = false;
};

} // namespace

bool launch(const QString &program, const QStringList &arguments)
{
    SpawnSetup setup;
    if (!setup.prepare())
        return false;

    QList<QByteArray> encoded;
    encoded.reserve(arguments.size() + 1);
    encoded.append(QFile::encodeName(program));
    for (const QString &argument : arguments)
        encoded.append(argument.toLocal8Bit());
    std::vector<char *> argv;
    argv.reserve(encoded.size() + 1);
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // glibc reports a failed exec as the result here, so a missing program is caught.
    pid_t child = 0;
    return posix_spawn(&child, argv.front(), &setup.actions, &setup.attributes, argv.data(), environ) == 0;
}

} // namespace DetachedProcess
