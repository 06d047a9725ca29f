#pragma once

#include <QString>

class QColor;

// The main window's colours and the style sheets made from them. The window picks the light or
// the dark set once, when it is built; `text` is the palette's text colour.
namespace WindowStyle {

struct Colours
{
    QString border;         // lines and borders
    QString secondaryText;  // captions and hints
    QString selection;      // selected category and table row
    QString progress;       // progress chunks of the main sheet
    QString toolHover;      // toolbar button under the mouse
    QString toolPressed;    // toolbar button held down
    QString inspector;      // details pane background
    QString inspectorHover; // details tab under the mouse, status badge
    QString accent;         // selected tab's line, segment bars
    QString errorText;      // the details pane's error sentence
    QString text;           // the palette's text colour
};

Colours colours(bool dark, const QColor &text);

// The window's own sheet: toolbar frame, sidebar, table, header, status bar, progress bars.
QString windowSheet(const Colours &colours);
QString toolBarSheet(const Colours &colours);
QString inspectorSheet(const Colours &colours);

} // namespace WindowStyle
