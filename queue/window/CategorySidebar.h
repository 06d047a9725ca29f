#pragma once

#include "queue/view/ViewRules.h"

#include <QListWidget>

// The sidebar of categories ("categories"): All files, Downloading, Paused, Queued, Completed and
// Errors, each with its icon. The first is selected when the window opens.
class CategorySidebar : public QListWidget
{
    Q_OBJECT

public:
    explicit CategorySidebar(QWidget *parent = nullptr);

    // The English title of the selected category ("All files" when none is selected).
    QString currentTitle() const;

    // Makes the sidebar wide enough for its longest title in the language in force, within its
    // bounds of 165 and 235 pixels.
    void fitToTexts();
};
