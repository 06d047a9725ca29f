#pragma once

#include "ui/IconKind.h"

#include <QAbstractButton>

// One of the title bar's minimize, maximize/restore and close buttons, drawn by the program: a
// line glyph that dims while the window is inactive, a grey wash under the pointer, and red for
// close.
class CaptionButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit CaptionButton(IconKind kind, QWidget *parent = nullptr);

    IconKind kind() const { return glyph; }
    void setKind(IconKind kind);

    // Whether the pointer is over the button, as the button was last told by enter and leave
    // events. A synthetic leave clears it, for a button that moved away from under the pointer.
    bool isHovered() const { return hovered; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    IconKind glyph;
    bool hovered = false;
    // The keyboard brought the focus here: only then is it marked, since a click focuses the
    // button too and the mark would linger on a button the pointer has left.
    bool focusFromKeyboard = false;
};
