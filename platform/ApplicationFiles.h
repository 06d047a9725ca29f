#pragma once

#include <QString>

// Where the files that ship with the programs lie. The programs always sit together in one
// folder; the data they ship beside them in a build tree moves to a data folder when installed.
namespace ApplicationFiles {

// The browser extension's folder for programs in `programFolder`: beside them where it is there
// (a build tree), otherwise in the installed tree's data folder found relative to the programs,
// so that an install under any prefix, or one moved elsewhere, finds its own copy.
QString extensionFolder(const QString &programFolder);

// The same for the Firefox extension, which ships beside the Chrome one.
QString firefoxExtensionFolder(const QString &programFolder);

} // namespace ApplicationFiles
