#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// A small dialog that asks for one line of text and checks it as it is typed: the reason it
// cannot be taken shows under the field, and the primary button stays disabled until it can.
// Texts are given translated; the dialog is built fully before it is shown.
class TextEntryDialog : public QDialog
{
    Q_OBJECT

public:
    // Why the text cannot be taken, translated; empty when it can.
    using Check = std::function<QString(const QString &text)>;

    struct Texts
    {
        QString title;
        QString message;
        QString placeholder;
        QString acceptButton;
    };

    TextEntryDialog(QWidget *parent, const QString &objectName, const Texts &texts, const QString &initial,
                    Check check);

    QString text() const;
    QLineEdit *field() const { return entry; }
    QLabel *problemLabel() const { return problem; }
    QPushButton *acceptButton() const { return accept; }

private:
    void recheck();

    Check check;
    QLineEdit *entry;
    QLabel *problem;
    QPushButton *accept;
};
