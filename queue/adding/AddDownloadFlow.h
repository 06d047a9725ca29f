#pragma once

#include "queue/adding/MainWindowHooks.h"

class DownloadList;

// Adding a download by hand: the add dialog over the main window, then a new entry in the list,
// saved, and started at once unless the user chose to queue it.
class AddDownloadFlow
{
public:
    AddDownloadFlow(DownloadList &list, MainWindowHooks hooks);

    // Asks for the download and adds it. Returns the new download's id, or an empty string when
    // the user cancelled or the destination is already in the list.
    QString run();

private:
    DownloadList &list;
    MainWindowHooks hooks;
};
