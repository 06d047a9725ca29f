#include "tools/render-visuals/TrayVisuals.h"

#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/actions/DownloadContextMenu.h"
#include "queue/closing/CloseBehaviorMenu.h"
#include "queue/closing/CloseConfirmationDialog.h"
#include "queue/closing/TrayIcon.h"
#include "queue/list/DownloadList.h"
#include "ui/RushletIcons.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
}

class TrayRenderer
{
public:
    TrayRenderer(const QString &folder, const QString &suffix)
        : folder(folder)
        , suffix(suffix)
    {
    }

    void renderAll(const QString &variant)
    {
        renderContextMenus(variant);
        renderTrayMenu(variant);
        renderCloseBehaviorMenu(variant);
        for (const bool tray : {true, false}) {
            QWidget window;
            CloseConfirmationDialog dialog(tray, &window);
            // One of the two shows the box checked.
            dialog.findChild<QCheckBox *>()->setChecked(!tray);
            dialog.show();
            settle();
            save(dialog.grab().toImage(),
                 QStringLiteral("close-dialog-%1-")
                         .arg(tray ? QStringLiteral("tray") : QStringLiteral("no-tray")) +
                     variant);
        }
    }

    QStringList written;

private:
    void save(const QImage &image, const QString &name)
    {
        const QString path = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
        if (!image.save(path))
            QTextStream(stderr) << "Could not write " << path << '\n';
        written << path;
    }

    // The menu's panel is translucent; it is shown on the window colour, as over a window.
    void saveMenu(QMenu &menu, const QString &name)
    {
        menu.popup(QPoint(100, 100));
        settle();
        const QPixmap picture = menu.grab();
        const qreal ratio = picture.devicePixelRatio();
        QImage image(picture.size(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(QApplication::palette().color(QPalette::Window));
        QPainter(&image).drawPixmap(0, 0, picture);
        save(image, name);
        menu.hide();
    }

    void renderContextMenus(const QString &variant)
    {
        QTemporaryDir files;
        QWidget window;
        DownloadList list;
        const QStringList statuses = {DownloadStatus::Queued,      DownloadStatus::Connecting,
                                      DownloadStatus::Downloading, DownloadStatus::Retrying,
                                      DownloadStatus::Paused,      DownloadStatus::Completed,
                                      DownloadStatus::Error,       DownloadStatus::AwaitingConfirmation};
        for (const QString &status : statuses) {
            DownloadSnapshot snapshot;
            snapshot.id = status;
            snapshot.url = QUrl(QStringLiteral("https://example.com/file.iso"));
            snapshot.destination = files.filePath(status + QStringLiteral(".iso"));
            snapshot.status = status;
            if (status == DownloadStatus::Completed) {
                QFile file(snapshot.destination);
                file.open(QIODevice::WriteOnly);
            }
            list.addDownload(snapshot);
            DownloadContextMenu menu(list, status, &window);
            saveMenu(menu, QStringLiteral("context-menu-%1-")
                                   .arg(status.toLower().replace(QLatin1Char(' '), QLatin1Char('-'))) +
                               variant);
        }
    }

    void renderTrayMenu(const QString &variant)
    {
        QWidget window;
        QAction addUrl(RushletIcons::icon(IconKind::Add), Localization::translate(QStringLiteral("Add URL")));
        QAction pauseAll(RushletIcons::icon(IconKind::Pause),
                         Localization::translate(QStringLiteral("Pause all")));
        pauseAll.setEnabled(false);
        QAction checkForUpdates(Localization::translate(QStringLiteral("Check for Updates")));
        QAction exit(Localization::translate(QStringLiteral("E&xit")));
        TrayIcon tray(&window, {&addUrl, &pauseAll, &checkForUpdates, &exit});
        saveMenu(*tray.menu(), QStringLiteral("tray-menu-") + variant);
    }

    void renderCloseBehaviorMenu(const QString &variant)
    {
        QWidget window;
        CloseBehaviorMenu menu(&window);
        saveMenu(menu, QStringLiteral("close-behavior-menu-") + variant);
    }

    QString folder;
    QString suffix;
};

} // namespace

QStringList renderTrayVisuals(const QString &folder, const QString &suffix, const QPalette &light,
                              const QPalette &dark)
{
    TrayRenderer renderer(folder, suffix);
    for (const auto &[scheme, palette] :
         {std::pair{QStringLiteral("light"), light}, std::pair{QStringLiteral("dark"), dark}}) {
        QApplication::setPalette(palette);
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("de")}) {
            Localization::setLanguage(language);
            renderer.renderAll(scheme + QLatin1Char('-') + language);
        }
    }
    Localization::setLanguage(QStringLiteral("en"));
    return renderer.written;
}
