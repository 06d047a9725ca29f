#pragma once

class QProcess;

// Ending the helper programs a test started (servers, displays, compositors, trays).
namespace TestProcesses {

// Asks `process` to end, and kills it by its process id when it does not in time.
void stop(QProcess &process, int waitLimitMs = 30000);

} // namespace TestProcesses
