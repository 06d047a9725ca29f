#pragma once

#include <QString>

class QFont;
class QLabel;
class QWidget;

// The labels the details pane is made of. Every one shows plain text: file names, addresses and
// server messages are never read as markup.
namespace PaneLabels {

// A label for values; `objectName` "secondary" gives it the muted colour of captions.
QLabel *create(QWidget *parent, const QString &objectName = {});
// Selectable and wrapping at word boundaries; long values never widen the window.
QLabel *createValue(QWidget *parent, const QString &objectName = {});

// The bold 10 pt face of titles. Only size and weight are set, so the family keeps following
// the application font (and its fallbacks for the language in force).
QFont emphasisFont();

} // namespace PaneLabels
