#pragma once

#include <QJsonObject>
#include <QStringList>

// Which callers the host serves: those the browser setup wrote into the data folder's manifest.
namespace CallerCheck {

// True when the browser started the host with `arguments` (those after the program's name) for a
// caller that `manifest` admits. Chrome passes the caller's origin, "chrome-extension://ID/",
// which must be listed exactly in `allowed_origins`. Firefox passes the absolute path of the host
// manifest it read and the add-on's id, which must be listed exactly in `allowed_extensions`.
bool isAllowed(const QStringList &arguments, const QJsonObject &manifest);

} // namespace CallerCheck
