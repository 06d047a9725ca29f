#include "tests/support/TestProcesses.h"

#include <QProcess>

namespace TestProcesses {

void stop(QProcess &process, int waitLimitMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(waitLimitMs)) {
        process.kill();
        process.waitForFinished(waitLimitMs);
    }
}

} // namespace TestProcesses
