#include "queue/window/WindowStyle.h"

#include <QColor>

namespace WindowStyle {

Colours colours(bool dark, const QColor &text)
{
    return {ColourScheme::windowColours(dark), text.name(QColor::HexRgb), dark};
}

QString windowSheet(const Colours &c)
{
    return QStringLiteral("QToolBar { border: 0; border-bottom: 1px solid %1; spacing: 5px; padding: 7px; } "
                          "QToolButton { padding: 6px 9px; } "
                          "QListWidget#categories { border: 0; padding: 8px 5px; } "
                          "QListWidget#categories::item { padding: 9px 8px; border-radius: 4px; } "
                          "QListWidget#categories::item:selected { background: %2; color: %3; } "
                          "QTableWidget { border: 0; } "
                          "QHeaderView::section { padding: 7px 8px; border: 0; border-right: 1px solid %1; "
                          "border-bottom: 1px solid %1; } "
                          "QLabel#secondary { color: %4; } "
                          "QStatusBar { border-top: 1px solid %1; } "
                          // The totals keep clear of the window's edge.
                          "QStatusBar QLabel { padding: 2px 8px; } "
                          "QTabWidget::pane { border: 0; border-top: 1px solid %1; } "
                          "QProgressBar { border: 0; background: %1; border-radius: 2px; } "
                          "QProgressBar::chunk { background: %5; border-radius: 2px; }")
               .arg(c.border, c.selection, c.text, c.secondaryText, c.progress) +
           QStringLiteral("QTableWidget::item:selected { background: %1; color: %2; }")
               .arg(c.selection, c.text) +
           ColourScheme::toolTipSheet(c.dark);
}

QString toolBarSheet(const Colours &c)
{
    return QStringLiteral("QToolBar QToolButton { background: transparent; border: none; border-radius: 5px; "
                          "padding: 6px 9px; }"
                          "QToolBar QToolButton:hover:enabled { background: %1; }"
                          "QToolBar QToolButton:pressed:enabled { background: %2; }"
                          "QToolBar QToolButton:disabled { background: transparent; }")
        .arg(c.toolHover, c.toolPressed);
}

QString inspectorSheet(const Colours &c)
{
    return QStringLiteral("QTabWidget#downloadInspector::pane { background: %1; border: 0; "
                          "border-top: 1px solid %2; }"
                          "QTabBar { background: %1; }"
                          "QTabBar::tab { background: transparent; color: %3; border: 0; "
                          "border-bottom: 2px solid transparent; padding: 10px 18px; margin-right: 4px; }"
                          "QTabBar::tab:selected { color: %4; border-bottom-color: %5; }"
                          "QTabBar::tab:hover { background: %6; }"
                          "QWidget#inspectorPage { background: %1; }"
                          "QLabel#transferStatus { background: %6; color: %4; padding: 3px 9px; "
                          "border-radius: 5px; }"
                          "QLabel#transferError { color: %7; }"
                          "QProgressBar { background: %2; border: 0; border-radius: 3px; }"
                          "QProgressBar::chunk { background: %5; border-radius: 3px; }")
        .arg(c.inspector, c.border, c.secondaryText, c.text, c.accent, c.inspectorHover, c.errorText);
}

} // namespace WindowStyle
