#pragma once

#include <QDialog>

class DialogComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QUrl;

// The dialog in which a download is entered: its link, file name, folder, number of connections
// and whether it starts at once. It closes as accepted only once its input is valid, and then
// remembers the folder for the next download. One object may be run several times; its fields
// keep what the user entered in between.
class AddDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddDialog(QWidget *parent = nullptr);
    ~AddDialog() override;

    // Shows a download that is already known, such as one sent from the browser: its link, the
    // name and folder of its destination, and its number of connections.
    void prefill(const QUrl &url, const QString &destination, int connections);
    // The file's size when it is known beforehand (the browser saw it): while the chosen folder's
    // drive lacks that much room, the dialog says so under the folder.
    void setExpectedSize(qint64 bytes);

    // The input, for the caller to read once the dialog was accepted.
    QString linkText() const;
    QString destinationPath() const;
    int connections() const;
    bool startsImmediately() const;
    // The download's own speed limit in bytes per second, 0 for none; valid once accepted.
    qint64 speedLimit() const;
    // The expected checksum in the form the list keeps, empty for none; valid once accepted.
    QString checksum() const;

private:
    void takeLinkFromClipboard();
    void showLink(const QString &link);
    void fillNameFromLink();
    void chooseFolder();
    void validate();
    // Why the speed limit or the checksum typed so far cannot be taken (translated), or empty.
    QString optionsProblem() const;
    void showOptionsProblem();
    void retranslate();
    void showSpaceWarning();

    QLineEdit *urlField = nullptr;
    QLineEdit *nameField = nullptr;
    QLineEdit *folderField = nullptr;
    DialogComboBox *connectionsChoice = nullptr;
    DialogComboBox *startModeChoice = nullptr;
    QLabel *spaceWarning = nullptr;
    QLineEdit *limitField = nullptr;
    QLineEdit *checksumField = nullptr;
    QLabel *optionsProblemLabel = nullptr;
    QPushButton *primaryButton = nullptr;
    // Set once the user typed in the name field; from then on the link no longer names the file.
    bool nameEdited = false;
    qint64 expectedSize = -1;
};
