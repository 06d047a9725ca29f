#include "tools/render-visuals/AddDialogVisuals.h"

#include "i18n/Localization.h"
#include "queue/adding/AddDialog.h"
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
    }

    QStringList written;

private:
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
