#include "tools/render-visuals/TitleBarVisuals.h"

#include "i18n/Localization.h"
#include "ui/CaptionButton.h"
#include "ui/PopupMenu.h"
#include "ui/WindowFrame.h"
#include "ui/WindowMenu.h"

#include <QApplication>
#include <QEnterEvent>
#include <QEventLoop>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace TitleBarVisuals {

namespace {

constexpr int rowGap = 10;

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
}

// A main window in the frame with the program's four menus, in the language in force.
struct FramedWindow
{
    QMainWindow window;

    FramedWindow()
    {
        auto *frame = new WindowFrame(&window);
        QMenuBar *menuBar = window.menuBar();
        for (const char *title : {"&File", "&Downloads", "&View", "&Help"}) {
            auto *menu = new PopupMenu(Localization::translate(QString::fromLatin1(title)), menuBar);
            menu->addAction(QStringLiteral("Entry"));
            menuBar->addMenu(menu);
        }
        frame->installTitleBar(menuBar);
        window.setCentralWidget(new QPlainTextEdit(&window));
        window.setGeometry(40, 40, 900, 160);
    }

    QWidget *bar() const { return window.menuWidget(); }

    void hover(const char *name, bool on = true)
    {
        auto *button = window.findChild<CaptionButton *>(QLatin1String(name));
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(button, on ? static_cast<QEvent *>(&enter) : &leave);
    }

    // The bar with a strip of the window beneath it, where its bottom rule shows.
    QImage picture() { return window.grab(QRect(0, 0, window.width(), bar()->height() + 12)).toImage(); }
};

QImage stacked(const QList<QImage> &rows)
{
    const qreal ratio = rows.constFirst().devicePixelRatio();
    QSize size(0, rowGap);
    for (const QImage &row : rows)
        size = QSize(qMax(size.width(), row.width()), size.height() + row.height() + int(rowGap * ratio));
    QImage sheet(size, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0x80, 0x80, 0x80));
    QPainter painter(&sheet);
    int y = int(rowGap * ratio);
    for (QImage row : rows) {
        // Placed pixel for pixel; the sheet takes the ratio once it is drawn.
        row.setDevicePixelRatio(1);
        painter.drawImage(QPoint(0, y), row);
        y += row.height() + int(rowGap * ratio);
    }
    painter.end();
    sheet.setDevicePixelRatio(ratio);
    return sheet;
}

} // namespace

QStringList render(const QString &folder, const QString &scheme, const QString &suffix)
{
    QStringList written;
    const auto save = [&](const QImage &image, const QString &name) {
        const QString path = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
        if (!image.save(path))
            QTextStream(stderr) << "Could not write " << path << '\n';
        written << path;
    };

    // Another window to take the activation, for the inactive look.
    QWidget elsewhere;
    elsewhere.setGeometry(980, 40, 100, 100);
    elsewhere.show();

    QList<QImage> rows;
    {
        FramedWindow framed;
        framed.window.show();
        framed.window.activateWindow();
        settle();
        rows << framed.picture();
        framed.hover("rushletClose");
        settle();
        rows << framed.picture();
        framed.hover("rushletClose", false);
        framed.hover("rushletMaximize");
        settle();
        rows << framed.picture();
        // Inactive: dimmed glyphs, and full ones under the pointer.
        elsewhere.activateWindow();
        settle();
        rows << framed.picture();
        framed.hover("rushletMaximize", false);
        settle();
        rows << framed.picture();
    }
    {
        FramedWindow framed;
        framed.window.showMaximized();
        framed.window.activateWindow();
        settle();
        framed.window.resize(900, 160);
        rows << framed.picture().copy(0, 0, int(900 * framed.window.devicePixelRatio()),
                                      int((framed.bar()->height() + 12) * framed.window.devicePixelRatio()));
    }
    {
        Localization::setLanguage(QStringLiteral("ja"));
        FramedWindow framed;
        framed.window.show();
        framed.window.activateWindow();
        settle();
        rows << framed.picture();
        Localization::setLanguage(QStringLiteral("en"));
    }
    save(stacked(rows), QStringLiteral("titlebar-") + scheme);

    // The window menu under the icon, as the desktop shows it.
    FramedWindow framed;
    framed.window.show();
    framed.window.activateWindow();
    settle();
    WindowMenu menu(&framed.window, framed.bar());
    auto *icon = framed.window.findChild<QToolButton *>(QStringLiteral("rushletSystemMenu"));
    menu.popup(icon->mapToGlobal(QPoint(0, icon->height())));
    menu.setActiveAction(menu.maximizeAction());
    settle();
    QImage bar = framed.picture();
    QImage opened = menu.grab().toImage();
    const qreal ratio = bar.devicePixelRatio();
    bar.setDevicePixelRatio(1);
    opened.setDevicePixelRatio(1);
    const QPoint at = menu.pos() - framed.window.pos();
    QImage sheet(QSize(420, at.y() + menu.height() + 8) * ratio, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(framed.window.palette().color(QPalette::Window));
    QPainter painter(&sheet);
    painter.drawImage(QPoint(0, 0), bar);
    painter.drawImage(at * ratio, opened);
    painter.end();
    sheet.setDevicePixelRatio(ratio);
    save(sheet, QStringLiteral("window-menu-") + scheme);
    menu.hide();

    // A menu dropped from its title, as the screen shows it: on a desktop without a compositor
    // (this one) a plain panel with an edge, right under the title, over a white pane.
    auto *white = new QPlainTextEdit(&framed.window);
    white->setStyleSheet(QStringLiteral("background: white; border: 0;"));
    framed.window.setCentralWidget(white);
    framed.window.resize(900, 260);
    auto *menuBar = framed.window.findChild<QMenuBar *>(QStringLiteral("rushletTitleMenu"));
    QAction *fileTitle = menuBar->actions().constFirst();
    auto *file = qobject_cast<QMenu *>(fileTitle->menu());
    file->addAction(QStringLiteral("Add URL"));
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"));
    settle();
    menuBar->setActiveAction(fileTitle);
    settle();
    const QRect area = framed.window.frameGeometry().united(file->geometry()).adjusted(0, 0, 8, 8);
    save(framed.window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage(),
         QStringLiteral("titlebar-menu-on-screen-") + scheme);
    file->hide();

    // Keyboard focus on a caption button.
    framed.window.activateWindow();
    settle();
    framed.window.findChild<CaptionButton *>(QStringLiteral("rushletMaximize"))->setFocus(Qt::TabFocusReason);
    settle();
    save(framed.picture(), QStringLiteral("titlebar-focus-") + scheme);
    return written;
}

} // namespace TitleBarVisuals
