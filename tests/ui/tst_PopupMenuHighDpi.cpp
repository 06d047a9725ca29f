#include "ui/PopupMenu.h"

#include <QApplication>
#include <QTest>

// A menu on a screen with two physical pixels per logical pixel.
class TestPopupMenuHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void backgroundIsDrawnAtTheScreensRatio()
    {
        PopupMenu menu(QStringLiteral("View"));
        menu.addAction(QStringLiteral("Show details pane"));
        menu.resize(menu.sizeHint());
        QCOMPARE(menu.devicePixelRatio(), 2.0);

        const QPixmap shown = menu.grab();
        QCOMPARE(menu.cachedBackground().size(), menu.size() * 2);
        QCOMPARE(menu.cachedBackground().devicePixelRatio(), 2.0);
        QCOMPARE(shown.size(), menu.size() * 2);

        const qint64 first = menu.cachedBackground().cacheKey();
        menu.grab();
        QCOMPARE(menu.cachedBackground().cacheKey(), first);
        QCOMPARE(menu.cachedBackground(), PopupMenu::renderBackground(menu.size(), 2.0, false));
    }
};

int main(int argc, char *argv[])
{
    // The ratio belongs to the screen, so it has to be chosen before the application starts.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    QApplication::setPalette(QPalette(QColor(0xef, 0xef, 0xef)));
    TestPopupMenuHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_PopupMenuHighDpi.moc"
