#pragma once

#include <QString>

#include <functional>

class QDialog;
class QWidget;

// Every modal question the program asks (its own dialogs, warning boxes, the folder chooser)
// runs through here. A caller that must answer the next question instead of a person (a test,
// or an automated run) queues an answer; the dialog is then shown, handed to the answer fully
// built, and closed with the answer's result, without a nested event loop.
namespace ModalDialogs {

// Receives the dialog as it is shown; may fill its fields; returns the result the dialog ends
// with (QDialog::Accepted, QDialog::Rejected, a button's code).
using Answer = std::function<int(QDialog &dialog)>;

// Answers the next question asked; answers are taken in the order they were queued.
void answerNext(Answer answer);
// Questions queued but not asked yet.
int pendingAnswers();

// Runs `dialog` modally, or with the next queued answer, and returns its result.
int run(QDialog &dialog);

// A warning box with a single OK button.
void warning(QWidget *parent, const QString &title, const QString &text);

// A question box with two buttons; true when the person chose `yesText`. Closing the box
// answers no.
bool question(QWidget *parent, const QString &title, const QString &text, const QString &yesText,
              const QString &noText);

// The platform's folder chooser; the chosen folder, or empty when cancelled.
QString chooseFolder(QWidget *parent, const QString &caption, const QString &startFolder);

} // namespace ModalDialogs
