#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>

// The window geometry kept in the settings, as the window saves it. A stored value may be cut
// short, come from another program, or put the window where no screen is any more (a monitor
// that was unplugged); the window only restores a value that passes this check.
namespace SavedGeometry {

// True when `saved` is a complete geometry record whose window lies, by at least `reachable`
// pixels in both directions, on one of `screens` (their available areas).
bool isUsable(const QByteArray &saved, const QList<QRect> &screens, int reachable);

} // namespace SavedGeometry
