#include "ui/ModalDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>

namespace {

QQueue<ModalDialogs::Answer> &answers()
{
    static QQueue<ModalDialogs::Answer> queued;
    return queued;
}

} // namespace

void ModalDialogs::answerNext(Answer answer)
{
    answers().enqueue(std::move(answer));
}

int ModalDialogs::pendingAnswers()
{
    return int(answers().size());
}

int ModalDialogs::run(QDialog &dialog)
{
    if (answers().isEmpty())
        return dialog.exec();
    const Answer answer = answers().dequeue();
    dialog.show();
    const int result = answer(dialog);
    dialog.done(result);
    return result;
}

void ModalDialogs::warning(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    run(box);
}

bool ModalDialogs::question(QWidget *parent, const QString &title, const QString &text,
                            const QString &yesText, const QString &noText)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(yesText);
    box.button(QMessageBox::No)->setText(noText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return run(box) == QMessageBox::Yes;
}

QString ModalDialogs::chooseFolder(QWidget *parent, const QString &caption, const QString &startFolder)
{
    QFileDialog chooser(parent, caption, startFolder);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly, true);
    if (run(chooser) != QDialog::Accepted)
        return {};
    return chooser.selectedFiles().value(0);
}
