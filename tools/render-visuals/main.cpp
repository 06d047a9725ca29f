// Renders the program's menus, icons and dialogs to PNG files so that they can be looked at
// without a desktop session: each picture in the light and the dark colour set, at pixel
// ratios 1 and 2.

#include "i18n/Localization.h"
#include "tools/render-visuals/AddDialogVisuals.h"
#include "tools/render-visuals/MainWindowPictures.h"
#include "tools/render-visuals/TitleBarVisuals.h"
#include "tools/render-visuals/TrayVisuals.h"
#include "tools/render-visuals/UpdateDialogVisuals.h"
#include "ui/AboutDialog.h"
#include "ui/PopupMenu.h"
#include "ui/RushletIcons.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <memory>

namespace {

QPalette darkPalette()
{
    QPalette palette;
    const QColor window(0x2b, 0x30, 0x37);
    const QColor text(0xe6, 0xe9, 0xed);
    const QColor muted(0x7c, 0x84, 0x8f);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0x1f, 0x23, 0x29));
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xd6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, muted);
    return palette;
}

class Renderer
{
public:
    Renderer(const QString &folder, const QString &suffix)
        : folder(folder)
        , suffix(suffix)
    {
    }

    void renderAll(const QString &scheme)
    {
        renderMenu(scheme);
        renderContextMenu(scheme);
        renderLanguageMenu(scheme);
        renderIcons(scheme);
        renderAppIcon(scheme);
        renderAboutDialog(scheme);
        written << renderUpdateDialogs(folder, suffix, scheme);
        written << TitleBarVisuals::render(folder, scheme, suffix);
    }

    // Translations differ in length and script; the dialog has to fit each of them.
    void renderTranslatedAboutDialogs(const QString &scheme)
    {
        for (const QString &code : {QStringLiteral("de"), QStringLiteral("ja"), QStringLiteral("zh_TW")}) {
            Localization::setLanguage(code);
            renderAboutDialog(scheme + QLatin1Char('-') + code);
        }
        Localization::setLanguage(QStringLiteral("en"));
    }

    // Every file written, in order.
    const QStringList &writtenFiles() const { return written; }

private:
    void save(const QImage &image, const QString &name)
    {
        const QString path = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
        if (!image.save(path))
            QTextStream(stderr) << "Could not write " << path << '\n';
        written << path;
    }

    // Puts a translucent picture on the window colour, as it would appear over a window.
    static QImage onBackdrop(const QPixmap &picture, int margin)
    {
        const qreal ratio = picture.devicePixelRatio();
        const QSize logical = (QSizeF(picture.size()) / ratio).toSize() + QSize(2 * margin, 2 * margin);
        QImage backdrop(logical * ratio, QImage::Format_ARGB32_Premultiplied);
        backdrop.setDevicePixelRatio(ratio);
        backdrop.fill(QGuiApplication::palette().color(QPalette::Window));
        QPainter painter(&backdrop);
        painter.drawPixmap(QPoint(margin, margin), picture);
        return backdrop;
    }

    static QImage sheet(const QSize &logical)
    {
        const qreal ratio = qApp->devicePixelRatio();
        QImage image(logical * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(QGuiApplication::palette().color(QPalette::Window));
        return image;
    }

    // Small icons are judged by their pixels, so the sheet is also written enlarged without
    // smoothing.
    void saveWithZoom(const QImage &image, const QString &name)
    {
        save(image, name);
        save(image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation),
             name + QStringLiteral("-zoom"));
    }

    // One row per size, normal icons on the left and disabled ones on the right.
    void renderIcons(const QString &scheme)
    {
        constexpr int kinds = 15;
        constexpr int gap = 8;
        const QList<int> sides = {16, 24, 48};
        int height = gap;
        for (const int side : sides)
            height += side + gap;
        const int rowWidth = kinds * (48 + gap);
        QImage image = sheet(QSize(2 * rowWidth + gap, height));
        QPainter painter(&image);
        int y = gap;
        for (const int side : sides) {
            for (int kind = 0; kind < kinds; ++kind) {
                const QIcon icon = RushletIcons::icon(static_cast<IconKind>(kind));
                const int x = gap + kind * (48 + gap) + (48 - side) / 2;
                icon.paint(&painter, QRect(x, y, side, side), Qt::AlignCenter, QIcon::Normal);
                icon.paint(&painter, QRect(x + rowWidth, y, side, side), Qt::AlignCenter, QIcon::Disabled);
            }
            y += side + gap;
        }
        painter.end();
        saveWithZoom(image, QStringLiteral("icons-") + scheme);
    }

    void renderAppIcon(const QString &scheme)
    {
        const QIcon icon = RushletIcons::appIcon();
        const QList<QSize> sizes = icon.availableSizes();
        constexpr int gap = 8;
        int width = gap;
        for (const QSize &size : sizes)
            width += size.width() + gap;
        QImage image = sheet(QSize(width, 256 + 2 * gap));
        QPainter painter(&image);
        int x = gap;
        for (const QSize &size : sizes) {
            painter.drawPixmap(QPoint(x, gap + 256 - size.height()),
                               icon.pixmap(size, qApp->devicePixelRatio()));
            x += size.width() + gap;
        }
        painter.end();
        save(image, QStringLiteral("app-icon-") + scheme);
        QImage small = image.copy(QRect(QPoint(0, (gap + 256 - 64) * image.devicePixelRatio()),
                                        QSize(x - 3 * gap - 128 - 256, 64 + gap) * image.devicePixelRatio()));
        save(small.scaled(small.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation),
             QStringLiteral("app-icon-") + scheme + QStringLiteral("-small-zoom"));
    }

    void renderAboutDialog(const QString &scheme)
    {
        AboutDialog dialog;
        dialog.show();
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
        save(dialog.grab().toImage(), QStringLiteral("about-") + scheme);
    }

    // Writes the menu as the screen shows it and as the menu paints itself, over the window colour.
    // Both are the plain edged panel where nothing composes translucent windows (a bare Xvfb),
    // and the shadowed one under a compositor.
    void saveMenu(PopupMenu &menu, QAction *hovered, const QString &name)
    {
        menu.popup(QPoint(100, 100));
        menu.setActiveAction(hovered);
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
        const QRect area = menu.geometry().adjusted(-16, -16, 16, 16);
        save(menu.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage(),
             name + QStringLiteral("-on-screen"));
        save(onBackdrop(menu.grab(), 16), name);
        menu.hide();
    }

    // Its entries form an exclusive group, which styles may mark differently from a lone check.
    void renderLanguageMenu(const QString &scheme)
    {
        PopupMenu view(QStringLiteral("&View"));
        Localization::populateLanguageMenu(&view);
        auto *languages = view.findChild<PopupMenu *>(QStringLiteral("languageMenu"));
        if (!languages)
            return;
        saveMenu(*languages, languages->actions().value(3), QStringLiteral("language-menu-") + scheme);
    }

    void renderContextMenu(const QString &scheme)
    {
        PopupMenu menu;
        menu.addAction(RushletIcons::icon(IconKind::Play), QStringLiteral("Resume"))->setEnabled(false);
        QAction *hovered = menu.addAction(RushletIcons::icon(IconKind::Pause), QStringLiteral("Pause"));
        menu.addSeparator();
        menu.addAction(RushletIcons::icon(IconKind::Document), QStringLiteral("Open file"));
        menu.addAction(RushletIcons::icon(IconKind::Folder), QStringLiteral("Open in folder"));
        menu.addAction(QStringLiteral("Copy download URL"));
        menu.addSeparator();
        menu.addAction(RushletIcons::icon(IconKind::Trash), QStringLiteral("Remove from list"));
        saveMenu(menu, hovered, QStringLiteral("context-menu-") + scheme);
    }

    void renderMenu(const QString &scheme)
    {
        PopupMenu menu(QStringLiteral("View"));
        QAction *details = menu.addAction(QStringLiteral("Show details pane"));
        details->setCheckable(true);
        details->setChecked(true);
        QAction *unchecked = menu.addAction(QStringLiteral("Keep running in tray"));
        unchecked->setCheckable(true);
        menu.addSeparator();
        QAction *hovered = menu.addAction(QStringLiteral("Open folder"));
        menu.addAction(QStringLiteral("Pause all"))->setEnabled(false);
        menu.addSeparator();
        menu.addAction(QStringLiteral("E&xit"));
        saveMenu(menu, hovered, QStringLiteral("menu-") + scheme);
    }

    QString folder;
    QString suffix;
    QStringList written;
};

int renderAtRatio(const QString &folder, int ratio)
{
    const QString suffix = QStringLiteral("@%1x").arg(ratio);
    Renderer renderer(folder, suffix);
    // The language switch below is remembered in the settings; they go to a folder of their own
    // so that the user's choice stays untouched.
    QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
    Localization::setLanguage(QStringLiteral("en"));

    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(fusion->standardPalette());
    renderer.renderAll(QStringLiteral("light"));
    renderer.renderTranslatedAboutDialogs(QStringLiteral("light"));
    QApplication::setPalette(darkPalette());
    renderer.renderAll(QStringLiteral("dark"));
    MainWindowPictures::render(folder, suffix, fusion->standardPalette(), darkPalette());
    QTextStream out(stdout);
    for (const QString &path : renderer.writtenFiles())
        out << path << '\n';
    renderAddDialogs(folder, suffix, fusion->standardPalette(), darkPalette());
    for (const QString &path : renderTrayVisuals(folder, suffix, fusion->standardPalette(), darkPalette()))
        out << path << '\n';
    return 0;
}

// Pixel ratios are a property of the screen, so each ratio gets its own run of this program.
int renderEveryRatio(const QString &program, const QString &folder)
{
    for (const int ratio : {1, 2}) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(ratio));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(program, {QStringLiteral("--ratio"), QString::number(ratio), folder});
        if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit ||
            child.exitCode() != 0) {
            QTextStream(stderr) << "Rendering at ratio " << ratio << " failed.\n";
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders icons, menus and dialogs to PNG files."));
    parser.addHelpOption();
    const QCommandLineOption ratioOption(
        QStringLiteral("ratio"), QStringLiteral("Render only at this pixel ratio (set by the program)."),
        QStringLiteral("ratio"));
    parser.addOption(ratioOption);
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Where the PNG files go."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString folder = parser.positionalArguments().constFirst();
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << "Cannot create " << folder << '\n';
        return 1;
    }
    if (!parser.isSet(ratioOption))
        return renderEveryRatio(QCoreApplication::applicationFilePath(), folder);
    return renderAtRatio(folder, parser.value(ratioOption).toInt());
}
