#pragma once

#include <QDialog>

class QLabel;

// The product's name, version, a short description, the maker's web site and the copyright
// notice. The caller decides how to show it.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);

    // The product page on the maker's web site and the maker's name, as configured for this build.
    static QString productPage();
    static QString makerName();

private:
    // The version and copyright lines are filled in after translation, so a language switch
    // has to build them again.
    void retranslateFormattedTexts();

    QLabel *versionLabel = nullptr;
    QLabel *copyrightLabel = nullptr;
    int copyrightYear = 0;
};
