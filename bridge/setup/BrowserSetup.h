#pragma once

#include <QCoreApplication>
#include <QDialog>

class QLabel;
class QPushButton;

// Guides the user through connecting Chrome to Rushlet: registers the native messaging host,
// shows the extension folder to load, and opens Chrome's extensions page.
class ChromeExtensionSetup : public QDialog
{
    Q_OBJECT

public:
    // `applicationFolder` holds the programs and the extension folder; it is the running
    // program's own folder unless a packaging check points elsewhere.
    explicit ChromeExtensionSetup(QWidget *parent,
                                  const QString &applicationFolder = QCoreApplication::applicationDirPath());
    ~ChromeExtensionSetup() override;

private:
    void registerBridge();
    void copyFolderPath();
    void openFolder();
    void openChromeExtensions();
    void showStatus(const QString &english);
    void showUntranslatedStatus(const QString &text);
    void retranslateChangedTexts();
    void fitHeightToTexts();

    QString applicationFolder;
    QString extensionFolder;
    QLabel *status = nullptr;
    QPushButton *setupButton = nullptr;
    // The texts set after construction, kept in English so that a language switch can redo them.
    QString statusText;
    bool statusTranslated = true;
    QString setupText;
    bool locatingChrome = false;
};
