#pragma once

#include <QString>

class QColor;
class QPalette;

// The one rule that chooses between the light and the dark look, and the colours that every
// dialog shares. The program never installs a palette of its own: it follows whatever the
// platform theme gives and only picks which of its two colour sets fits on top of it.
namespace ColourScheme {

// Dark when the HSL lightness (0–255) of the window colour is below 128.
bool isDark(const QColor &windowColour);
bool isDark(const QPalette &palette);

// Colours for dialog style sheets, as "#rrggbb" texts ready to fill a template.
struct DialogColours
{
    QString surface;       // dialog background, inputs and plain buttons
    QString primaryText;   // body text
    QString secondaryText; // captions and hints (widgets with the "secondary" property)
    QString border;        // borders and rules
    QString footer;        // footer band and the hover of plain buttons
    QString accent;        // links and primary buttons
    QString accentHover;   // primary buttons under the mouse
    QString textOnAccent;  // text on primary buttons
};

DialogColours dialogColours(bool dark);

} // namespace ColourScheme
