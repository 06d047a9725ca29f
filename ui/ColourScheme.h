#pragma once

#include <QString>
#include <QStringList>

class QColor;
class QPalette;

// The one rule that chooses between the light and the dark look, and every colour of the two
// sets: the dialogs', the main window's, the title bar's, the caption buttons' and the menus'.
// The program never installs a palette of its own: it follows whatever the platform theme gives
// and only picks which of its two colour sets fits on top of it. Colours are "#rrggbb" texts,
// ready to fill a style-sheet template.
namespace ColourScheme {

// Dark when the HSL lightness (0–255) of the window colour is below 128.
bool isDark(const QColor &windowColour);
bool isDark(const QPalette &palette);

// What every dialog shares.
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
    QString raised;        // the setup dialog's buttons and folder field, between surface and border
};

DialogColours dialogColours(bool dark);

// The style-sheet rules that mark the dialog button with the keyboard focus: a border in the
// accent colour, and on the accent-filled `primaryButtons` (object names) one in the text colour.
QString buttonFocusSheet(bool dark, const QStringList &primaryButtons);

// The style-sheet rule that draws tool tips in the dialogs' surface, text and border colours
// instead of the platform's yellow; it reaches the tool tips of every widget under the sheet.
QString toolTipSheet(bool dark);

// The main window's toolbar, sidebar, table and details pane.
struct WindowColours
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
};

WindowColours windowColours(bool dark);

// The main window's own title bar.
struct TitleBarColours
{
    QString background;
    QString rule;      // the line under the bar
    QString itemHover; // a menu title under the mouse
};

TitleBarColours titleBarColours(bool dark);

// The caption buttons: Close turns red under the mouse, the others take a grey veil.
struct CaptionColours
{
    QString closeHover;
    QString closePressed;
    int veilHoverAlpha; // of mid grey
    int veilPressedAlpha;
    QString focusRing; // around the button the keyboard is on
};

CaptionColours captionColours(bool dark);

// The popup menus: their entries and the panel drawn behind them.
struct MenuColours
{
    QString text;
    QString separator;
    QString highlight; // the entry under the mouse
    QString disabled;
    QString panel;
    QString panelBorder;
    int shadowAlpha; // of black
    // The panel's edge where no compositor draws the shadow: it alone parts a light menu from a
    // white window beneath it.
    QString flatBorder;
};

MenuColours menuColours(bool dark);

} // namespace ColourScheme
