#pragma once

// The drawn line icons. The values are stable: callers may store or compute them, and a value
// outside the list draws nothing.
enum class IconKind : int
{
    Add = 0,
    Play = 1,
    Pause = 2,
    Trash = 3,
    Folder = 4,
    DownloadTray = 5,
    ArrowDown = 6,
    Clock = 7,
    Check = 8,
    Warning = 9,
    Document = 10,
    Minimize = 11,
    Maximize = 12,
    Restore = 13,
    Close = 14,
};
