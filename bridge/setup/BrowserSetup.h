#pragma once

#include "bridge/registration/BrowserRegistration.h"

#include <QCoreApplication>
#include <QDialog>

class QLabel;
class QPushButton;
class QVBoxLayout;

// Guides the user through connecting their browsers to Rushlet: lists the browsers found and how
// each stands, registers the native messaging host with all of them, tells a sandboxed browser's
// user the permission it needs, shows the extension folders to load and opens a browser's
// extensions page.
class BrowserSetup : public QDialog
{
    Q_OBJECT

public:
    // `applicationFolder` holds the programs and the extension folders; it is the running
    // program's own folder unless a packaging check points elsewhere.
    explicit BrowserSetup(QWidget *parent,
                          const QString &applicationFolder = QCoreApplication::applicationDirPath());
    ~BrowserSetup() override;

private:
    void registerBrowsers();
    void showBrowsers(const QList<BrowserRegistration::BrowserStatus> &statuses);
    QWidget *browserRows();
    QWidget *folderRows();
    QPushButton *copyButton(const QString &text, const QString &buttonText, const QString &copiedStatus);
    void openFolder(const QString &folder);
    void openExtensionsPage();
    void showStatus(const QString &english);
    void showUntranslatedStatus(const QString &text);
    void retranslateChangedTexts();
    void fitHeightToTexts();

    QString applicationFolder;
    QString manifestFolder;
    QList<BrowserRegistration::BrowserStatus> browsers;
    QVBoxLayout *mainLayout = nullptr;
    QLabel *status = nullptr;
    QPushButton *setupButton = nullptr;
    // Rebuilt whenever the browsers' states are known anew.
    QWidget *browserList = nullptr;
    QWidget *folderList = nullptr;
    // The texts set after construction, kept in English so that a language switch can redo them.
    QString statusText;
    bool statusTranslated = true;
    QString setupText;
    bool locatingBrowser = false;
};
