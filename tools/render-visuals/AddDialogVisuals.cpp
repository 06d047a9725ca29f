#include "tools/render-visuals/AddDialogVisuals.h"

#include "i18n/Localization.h"
#include "queue/actions/AddressChangeFlow.h"
#include "queue/actions/SpeedLimitMenu.h"
#include "queue/actions/TextEntryDialog.h"
#include "queue/adding/AddDialog.h"
#include "queue/list/DownloadList.h"
#include "ui/ModalDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

namespace {

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
}

class AddDialogRenderer
{
public:
    AddDialogRenderer(const QString &folder, const QString &suffix)
        : folder(folder)
        , suffix(suffix)
    {
    }

    void renderAll(const QString &look)
    {
        {
            AddDialog dialog;
            save(dialog, QStringLiteral("add-dialog-empty-") + look);
        }
        {
            AddDialog dialog;
            dialog.prefill(
                QUrl(QStringLiteral(
                    "https://downloads.example.com/releases/2024/q4/annual-report-2024-final.pdf")),
                QStringLiteral("/home/user/Downloads/annual-report-2024-final.pdf"), 16);
            save(dialog, QStringLiteral("add-dialog-browser-") + look);
            // The keyboard on the primary button, then on Cancel.
            dialog.activateWindow();
            dialog.setAttribute(Qt::WA_KeyboardFocusChange);
            dialog.findChild<QPushButton *>(QStringLiteral("addDownloadPrimary"))
                ->setFocus(Qt::TabFocusReason);
            save(dialog, QStringLiteral("add-dialog-focus-primary-") + look);
            for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
                if (button->text() == Localization::translate(QStringLiteral("Cancel")))
                    button->setFocus(Qt::TabFocusReason);
            }
            save(dialog, QStringLiteral("add-dialog-focus-cancel-") + look);
        }
        {
            AddDialog dialog;
            dialog.findChild<QLineEdit *>(QStringLiteral("downloadUrl"))
                ->setText(QStringLiteral("ftp://example.com/archive.tar.gz"));
            dialog.show();
            settle();
            const QString boxName = QStringLiteral("add-dialog-warning-box-") + look;
            ModalDialogs::answerNext([this, &boxName](QDialog &box) {
                settle();
                write(box.grab().toImage(), boxName);
                return int(QDialog::Accepted);
            });
            dialog.findChild<QPushButton *>(QStringLiteral("addDownloadPrimary"))->click();
            save(dialog, QStringLiteral("add-dialog-refused-") + look);
        }
        {
            AddDialog dialog;
            dialog.findChild<QLineEdit *>(QStringLiteral("downloadSpeedLimit"))
                ->setText(QStringLiteral("2 MB/s"));
            dialog.findChild<QLineEdit *>(QStringLiteral("downloadChecksum"))
                ->setText(QStringLiteral("sha-256=3a7bd3e2360a3d29eea436fcfb7e44c735d117c4"));
            save(dialog, QStringLiteral("add-dialog-checksum-problem-") + look);
        }
        // The small dialogs of the speed limit and a new address, with input they refuse.
        typeAndSave(QStringLiteral("2X"), QStringLiteral("speed-limit-dialog-") + look);
        SpeedLimitMenu::askCustomLimit(nullptr, 0);
        DownloadList list([](const DownloadSpec &) { return nullptr; });
        DownloadSnapshot paused;
        paused.id = QStringLiteral("paused");
        paused.url =
            QUrl(QStringLiteral("https://downloads.example.com/signed/ubuntu.iso?expires=1733000000"));
        paused.destination = QStringLiteral("/home/user/Downloads/ubuntu-24.04-desktop-amd64.iso");
        paused.status = QStringLiteral("Paused");
        list.addDownload(paused);
        typeAndSave(QStringLiteral("http://mirror.example.org/ubuntu.iso"),
                    QStringLiteral("change-address-dialog-") + look);
        AddressChangeFlow::ask(list, paused.id, nullptr);
    }

    QStringList written;

private:
    // Answers the next text entry dialog by typing `text` and taking its picture.
    void typeAndSave(const QString &text, const QString &name)
    {
        ModalDialogs::answerNext([this, text, name](QDialog &dialog) {
            static_cast<TextEntryDialog &>(dialog).field()->setText(text);
            settle();
            write(dialog.grab().toImage(), name);
            return int(QDialog::Rejected);
        });
    }

    void save(AddDialog &dialog, const QString &name)
    {
        dialog.show();
        settle();
        write(dialog.grab().toImage(), name);
    }

    void write(const QImage &image, const QString &name)
    {
        const QString path = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
        if (!image.save(path))
            QTextStream(stderr) << "Could not write " << path << '\n';
        written << path;
    }

    QString folder;
    QString suffix;
};

} // namespace

void renderAddDialogs(const QString &folder, const QString &suffix, const QPalette &light,
                      const QPalette &dark)
{
    // A link on the clipboard would fill the empty dialog.
    QGuiApplication::clipboard()->clear();
    AddDialogRenderer renderer(folder, suffix);
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("de"), QStringLiteral("ru")}) {
        Localization::setLanguage(language);
        QApplication::setPalette(light);
        renderer.renderAll(QStringLiteral("light-") + language);
        QApplication::setPalette(dark);
        renderer.renderAll(QStringLiteral("dark-") + language);
    }
    Localization::setLanguage(QStringLiteral("en"));
    QTextStream out(stdout);
    for (const QString &path : renderer.written)
        out << path << '\n';
}
