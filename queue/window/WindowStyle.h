#pragma once

#include "ui/ColourScheme.h"

#include <QString>

class QColor;

// The main window's colours and the style sheets made from them. The window picks the light or
// the dark set once, when it is built; `text` is the palette's text colour.
namespace WindowStyle {

struct Colours : ColourScheme::WindowColours
{
    QString text; // the palette's text colour
    bool dark = false;
};

Colours colours(bool dark, const QColor &text);

// The window's own sheet: toolbar frame, sidebar, table, header, status bar, progress bars, and
// the tool tips of everything in the window.
QString windowSheet(const Colours &colours);
QString toolBarSheet(const Colours &colours);
QString inspectorSheet(const Colours &colours);

} // namespace WindowStyle
