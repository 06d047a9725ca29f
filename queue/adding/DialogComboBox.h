#pragma once

#include <QComboBox>

// A drop-down list for the program's dialogs. Their style sheet hides the platform's arrow, which
// would not match the flat fields around it; this box draws a thin chevron in its place.
class DialogComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};
