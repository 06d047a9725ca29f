#include "tools/render-visuals/MainWindowPictures.h"

#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "queue/window/CategorySidebar.h"
#include "queue/window/DownloadTable.h"
#include "queue/window/MainWindow.h"
#include "queue/window/WindowActions.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>

#include <memory>

namespace MainWindowPictures {

namespace {

// The window's size when nothing is stored; the offscreen screen alone would make it smaller.
constexpr QSize windowSize(1080, 700);

// Every status once, and one the program does not know, then again with other names and states.
const QStringList statuses = {DownloadStatus::Downloading, DownloadStatus::Connecting,
                              DownloadStatus::Retrying,    DownloadStatus::Paused,
                              DownloadStatus::Queued,      DownloadStatus::AwaitingConfirmation,
                              DownloadStatus::Completed,   DownloadStatus::Error,
                              DownloadStatus::Verifying,   QStringLiteral("Unknown status")};

const QStringList names = {
    QStringLiteral("ubuntu-24.04-desktop-amd64.iso"),
    QStringLiteral("Quarterly report <draft> & notes.pdf"),
    QString(300, QLatin1Char('x')) + QStringLiteral(".tar.gz"),
    QStringLiteral("تقرير المبيعات السنوي ٢٠٢٤.pdf"),
    QStringLiteral("holiday 🏖️🌊 photos.zip"),
    QStringLiteral("会議資料_最終版.pptx"),
    QStringLiteral("Übersicht der Änderungen.odt"),
    QStringLiteral("video.mp4"),
    QStringLiteral("dataset-2024-full.csv"),
    QStringLiteral("setup.exe"),
};

QList<DownloadSnapshot> twentyDownloads(const QString &folder)
{
    QList<DownloadSnapshot> downloads;
    for (int i = 0; i < 20; ++i) {
        DownloadSnapshot snapshot;
        snapshot.id = QStringLiteral("picture-%1").arg(i);
        snapshot.status = statuses.at(i % statuses.size());
        const QString name = names.at(i % names.size());
        snapshot.destination =
            folder + QLatin1Char('/') + (i < names.size() ? name : QString::number(i) + name);
        snapshot.url = QUrl(QStringLiteral("https://downloads.example.com/files/%1").arg(i));
        snapshot.total = i % 5 == 4 ? -1 : qint64(1) << (20 + i % 12);
        snapshot.received = snapshot.status == DownloadStatus::Completed
                                ? snapshot.total
                                : std::max<qint64>(0, snapshot.total) / 7 * (i % 7);
        const bool running =
            snapshot.status == DownloadStatus::Downloading || snapshot.status == DownloadStatus::Connecting;
        snapshot.speed = running ? 1536.0 * (i + 1) * 37 : 0;
        snapshot.resumable = i % 3 != 0;
        snapshot.connections = 1 + i % 16;
        if (snapshot.total > 0 && snapshot.status != DownloadStatus::Queued) {
            const int count = snapshot.connections;
            const qint64 length = snapshot.total / count;
            for (int s = 0; s < count; ++s) {
                const qint64 start = s * length;
                const qint64 end = s + 1 == count ? snapshot.total - 1 : start + length - 1;
                snapshot.segments.append(
                    SegmentProgress{start, end, (end - start + 1) * ((s * 3 + i) % 10) / 9});
            }
        }
        if (snapshot.status == DownloadStatus::Completed || i % 6 == 1)
            snapshot.checksum =
                QStringLiteral("sha-256=") + QString(64, QLatin1Char("0123456789abcdef"[i % 16]));
        if (i % 4 == 1)
            snapshot.speedLimit = qint64(1536) << 10;
        if (snapshot.status == DownloadStatus::Error || snapshot.status == DownloadStatus::Retrying)
            snapshot.error =
                QStringLiteral("The server closed the connection before the segment was complete.");
        downloads.append(snapshot);
    }
    return downloads;
}

// A download running on sixteen connections, each segment at its own point.
DownloadSnapshot sixteenSegments(const QString &folder)
{
    DownloadSnapshot snapshot;
    snapshot.id = QStringLiteral("sixteen");
    snapshot.destination = folder + QStringLiteral("/debian-12.5.0-amd64-DVD-1.iso");
    snapshot.url = QUrl(QStringLiteral("https://cdimage.example.org/debian-12.5.0-amd64-DVD-1.iso"));
    snapshot.status = DownloadStatus::Downloading;
    snapshot.total = qint64(3900) * 1024 * 1024;
    snapshot.speed = 11.2 * 1024 * 1024;
    snapshot.resumable = true;
    snapshot.connections = 16;
    const qint64 length = snapshot.total / 16;
    for (int s = 0; s < 16; ++s) {
        const qint64 start = s * length;
        const qint64 end = s == 15 ? snapshot.total - 1 : start + length - 1;
        const qint64 received = (end - start + 1) * ((s * 7) % 16 + 1) / 16;
        snapshot.segments.append(SegmentProgress{start, end, received});
        snapshot.received += received;
    }
    return snapshot;
}

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(150, &loop, &QEventLoop::quit);
    loop.exec();
}

class Session
{
public:
    Session(const QString &folder, const QString &suffix)
        : folder(folder)
        , suffix(suffix)
    {
    }

    void renderLanguage(const QString &scheme, const QString &language)
    {
        Localization::setLanguage(language);
        // The list the previous window left behind.
        QFile::remove(QueueRules::queueFilePath());
        const QString stem = QStringLiteral("main-window-%1-%2").arg(scheme, language);
        {
            MainWindow empty;
            empty.resize(windowSize);
            empty.show();
            settle();
            save(empty, stem + QStringLiteral("-empty"));
        }
        MainWindow window;
        for (const DownloadSnapshot &snapshot : twentyDownloads(home.path() + QStringLiteral("/Downloads")))
            window.downloads()->addDownload(snapshot);
        window.resize(windowSize);
        window.show();
        settle();
        for (int row = 0; row < window.categorySidebar()->count(); ++row) {
            window.categorySidebar()->setCurrentRow(row);
            // The first download of All files has segments; show them.
            if (row == 0)
                window.downloadTable()->selectDownload(QStringLiteral("picture-0"));
            settle();
            save(window, stem + QStringLiteral("-category%1").arg(row));
        }
        // The details of a download whose name cannot wrap, and its File details page.
        window.categorySidebar()->setCurrentRow(0);
        window.downloadTable()->selectDownload(QStringLiteral("picture-2"));
        settle();
        save(window, stem + QStringLiteral("-long-name"));
        window.findChild<QTabWidget *>(QStringLiteral("downloadInspector"))->setCurrentIndex(1);
        settle();
        save(window, stem + QStringLiteral("-file-details"));
        // A completed download with its verified checksum, under an overall speed limit.
        window.downloads()->setOverallSpeedLimit(qint64(2) << 20);
        window.downloadTable()->selectDownload(QStringLiteral("picture-6"));
        settle();
        save(window, stem + QStringLiteral("-verified"));
        window.downloads()->setOverallSpeedLimit(0);
        window.findChild<QTabWidget *>(QStringLiteral("downloadInspector"))->setCurrentIndex(0);

        // Sixteen segments at the default size, and a tool tip in the window's colours.
        window.downloads()->addDownload(sixteenSegments(home.path() + QStringLiteral("/Downloads")));
        window.refreshView();
        window.downloadTable()->selectDownload(QStringLiteral("sixteen"));
        settle();
        save(window, stem + QStringLiteral("-sixteen-segments"));
        QWidget *remove = window.findChild<QToolBar *>()->widgetForAction(window.windowActions()->remove);
        QToolTip::showText(remove->mapToGlobal(QPoint(8, remove->height())),
                           window.windowActions()->remove->toolTip(), remove);
        settle();
        const QRect tipArea(remove->mapToGlobal(QPoint(-40, -10)), QSize(520, 90));
        saveImage(window.screen()
                      ->grabWindow(0, tipArea.x(), tipArea.y(), tipArea.width(), tipArea.height())
                      .toImage(),
                  stem + QStringLiteral("-tool-tip"));
        QToolTip::hideText();
        window.shutdown();
    }

    // The header line and the status bar for lists of 0, 1, 2, 3, 5 and 21 downloads (one of them
    // running), one strip each, stacked: how each language says its counts.
    void renderCounts(const QString &scheme, const QString &language)
    {
        Localization::setLanguage(language);
        QList<QImage> strips;
        for (const int count : {0, 1, 2, 3, 5, 21}) {
            QFile::remove(QueueRules::queueFilePath());
            MainWindow window;
            for (int i = 0; i < count; ++i) {
                DownloadSnapshot snapshot;
                snapshot.id = QStringLiteral("count-%1").arg(i);
                snapshot.destination = home.path() + QStringLiteral("/Downloads/file-%1.bin").arg(i);
                snapshot.url = QUrl(QStringLiteral("https://downloads.example.com/%1").arg(i));
                snapshot.status = i == 0 ? DownloadStatus::Downloading : DownloadStatus::Paused;
                window.downloads()->addDownload(snapshot);
            }
            window.resize(windowSize);
            window.show();
            window.refreshView();
            settle();
            QWidget *header = window.findChild<QLabel *>(QStringLiteral("headerLabel"));
            QWidget *status = window.statusBar();
            QImage strip(QSize(720, header->height() + status->height()) * window.devicePixelRatio(),
                         QImage::Format_ARGB32_Premultiplied);
            strip.setDevicePixelRatio(window.devicePixelRatio());
            strip.fill(Qt::white);
            QPainter painter(&strip);
            painter.drawPixmap(QPoint(0, 0), header->grab());
            painter.drawPixmap(QPoint(0, header->height()), status->grab(QRect(0, 0, 720, status->height())));
            painter.end();
            strips << strip;
            window.shutdown();
        }
        const qreal ratio = strips.constFirst().devicePixelRatio();
        int height = 0;
        for (const QImage &strip : std::as_const(strips))
            height += strip.height() + int(4 * ratio);
        QImage sheet(QSize(strips.constFirst().width(), height), QImage::Format_ARGB32_Premultiplied);
        sheet.fill(QColor(0x80, 0x80, 0x80));
        QPainter painter(&sheet);
        int y = 0;
        for (QImage strip : std::as_const(strips)) {
            strip.setDevicePixelRatio(1);
            painter.drawImage(QPoint(0, y), strip);
            y += strip.height() + int(4 * ratio);
        }
        painter.end();
        sheet.setDevicePixelRatio(ratio);
        saveImage(sheet, QStringLiteral("counts-%1-%2").arg(scheme, language));
    }

    // A private HOME for the windows' lists and settings.
    bool isValid() const { return home.isValid(); }
    QString homePath() const { return home.path(); }

private:
    void save(QWidget &window, const QString &name) { saveImage(window.grab().toImage(), name); }

    void saveImage(const QImage &image, const QString &name)
    {
        const QString path = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
        if (!image.save(path))
            QTextStream(stderr) << "Could not write " << path << '\n';
        QTextStream(stdout) << path << '\n';
    }

    QString folder;
    QString suffix;
    QTemporaryDir home;
};

} // namespace

void render(const QString &folder, const QString &suffix, const QPalette &light, const QPalette &dark)
{
    Session session(folder, suffix);
    if (!session.isValid())
        return;
    for (const char *variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, session.homePath().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
    registerDownloadMetaTypes();
    const QString previousLanguage = Localization::language();

    const std::pair<QString, const QPalette *> schemes[] = {{QStringLiteral("light"), &light},
                                                            {QStringLiteral("dark"), &dark}};
    for (const auto &[scheme, palette] : schemes) {
        QApplication::setPalette(*palette);
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("de"), QStringLiteral("ja")})
            session.renderLanguage(scheme, language);
        for (const QString &language :
             {QStringLiteral("en"), QStringLiteral("fr"), QStringLiteral("ru"), QStringLiteral("ja")})
            session.renderCounts(scheme, language);
    }
    Localization::setLanguage(previousLanguage);
}

} // namespace MainWindowPictures
