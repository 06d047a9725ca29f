#pragma once

#include "engine/RequestContext.h"

#include <QString>

#include <functional>

class QUrl;
class QWidget;

// What the flows that add and confirm downloads need from the main window, without knowing its
// class. Empty callbacks do nothing, except that an empty bringToFront shows the window itself.
struct MainWindowHooks
{
    // Parent of the warnings; the confirmation dialog takes its icon.
    QWidget *window = nullptr;
    // Shows every download ("All files"), refreshes the view and selects the download's row.
    std::function<void(const QString &id)> revealDownload;
    // Restores the window if it is minimized or hidden, raises and activates it.
    std::function<void()> bringToFront;
    // Gives the paused or failed download `id` the address `url`, with the browser's session for it,
    // if it serves the same file, and tells `done` whether it did; without it, nothing is attached.
    std::function<void(const QString &id, const QUrl &url, const RequestContext &context,
                       std::function<void(bool changed)> done)>
        attachLink;
};
