#pragma once

#include <QString>

class QUrl;
class QWidget;

// What the user can do with a download's files from the window: open the finished file, show it
// (or its partial file) in its folder, copy its address or path. Failures are reported in a
// warning box on `parent`, in the language in force.
namespace FileActions {

// What "Open in folder" selects for a download saved to `destination`: the file itself, else its
// partial file under the current name, else under the earlier product's name; empty when none of
// them exists.
QString folderTarget(const QString &destination);

// Shows the file or partial file selected in its folder, or opens the destination folder when
// there is neither yet.
void openInFolder(QWidget *parent, const QString &destination);

// Opens the file at `path` with the desktop's handler for its type.
void openFile(QWidget *parent, const QString &path);

// The download's address, fully encoded, and its destination with the platform's separators.
void copyUrl(const QUrl &url);
void copyPath(const QString &destination);

} // namespace FileActions
