#pragma once

#include <QString>
#include <QStringList>

namespace DetachedProcess {

// Starts `program` so that it outlives the caller and shares nothing with it: its own session,
// the null device as standard input, output and error, and none of the caller's other open
// descriptors, so that a reader of the caller's pipes sees them close when the caller ends.
// False when the program could not be started.
bool launch(const QString &program, const QStringList &arguments);

} // namespace DetachedProcess
