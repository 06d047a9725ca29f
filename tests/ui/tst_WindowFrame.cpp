#include "i18n/Localization.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CaptionButton.h"
#include "ui/PopupMenu.h"
#include "ui/WindowFrame.h"
#include "ui/WindowMenu.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QTest>

class TestWindowFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
    }

    // Headless: frameless without an agent, and the bar in place of the menu bar, which it
    // keeps alive, with every menu under it drawing its own panel.
    void titleBarOnAHeadlessPlatform()
    {
        QMainWindow window;
        auto *frame = new WindowFrame(&window);
        QPointer<QMenuBar> menuBar = window.menuBar();
        auto *file = new PopupMenu(QStringLiteral("&File"), menuBar);
        // Reached only through an action, not as a child of the menu bar.
        auto *recent = new QMenu(QStringLiteral("Recent"), &window);
        file->addMenu(recent);
        menuBar->addMenu(file);
        frame->installTitleBar(menuBar);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(menuBar);

        QWidget *bar = frame->titleBar();
        QCOMPARE(window.menuWidget(), bar);
        QCOMPARE(bar->height(), 44);
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!window.findChild<QObject *>(QStringLiteral("rushletWindowAgent")));
        QVERIFY(!window.findChild<WindowMenu *>());
        QStringList names;
        for (int i = 0; i < bar->layout()->count(); ++i) {
            if (QWidget *widget = bar->layout()->itemAt(i)->widget())
                names << widget->objectName() + QLatin1Char(':') + widget->toolTip();
        }
        QCOMPARE(names, QStringList({"rushletSystemMenu:Window menu",
                                     "rushletBrand:", "rushletTitleMenu:", "rushletMinimize:Minimize",
                                     "rushletMaximize:Maximize", "rushletClose:Close"}));
        QVERIFY(!menuBar->isNativeMenuBar());
        for (QMenu *menu : {static_cast<QMenu *>(file), recent}) {
            QVERIFY(menu->windowFlags().testFlag(Qt::NoDropShadowWindowHint));
            QVERIFY(menu->testAttribute(Qt::WA_TranslucentBackground));
        }

        // However the state changes, the middle button tells what pressing it would do.
        auto *maximize = bar->findChild<CaptionButton *>(QStringLiteral("rushletMaximize"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showMaximized();
        QTRY_COMPARE(maximize->kind(), IconKind::Restore);
        QCOMPARE(maximize->toolTip(), QStringLiteral("Restore down"));
        maximize->click();
        QTRY_COMPARE(maximize->kind(), IconKind::Maximize);
        QCOMPARE(maximize->toolTip(), QStringLiteral("Maximize"));
        QVERIFY(!window.isMaximized());
    }

    void windowMenuFollowsStateAndLanguage_data()
    {
        QTest::addColumn<bool>("maximized");
        QTest::newRow("normal") << false;
        QTest::newRow("maximized") << true;
    }

    void windowMenuFollowsStateAndLanguage()
    {
        QFETCH(bool, maximized);
        QWidget window;
        auto *menu = new WindowMenu(&window, &window);
        Localization::setLanguage(QStringLiteral("en"));
        Localization::bind(&window);
        window.resize(400, 300);
        maximized ? window.showMaximized() : window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(window.isMaximized(), maximized);
        emit menu->aboutToShow();
        QCOMPARE(menu->restoreAction()->isEnabled(), maximized);
        QCOMPARE(menu->maximizeAction()->isEnabled(), !maximized);
        QVERIFY(menu->minimizeAction()->isEnabled() && menu->closeAction()->isEnabled());

        Localization::setLanguage(QStringLiteral("de"));
        QCOMPARE(menu->maximizeAction()->text(), QStringLiteral("Ma&ximieren"));
        Localization::setLanguage(QStringLiteral("en"));
        QCOMPARE(menu->maximizeAction()->text(), QStringLiteral("Ma&ximize"));

        (maximized ? menu->restoreAction() : menu->maximizeAction())->trigger();
        QTRY_COMPARE(window.isMaximized(), !maximized);
        menu->closeAction()->trigger();
        QTRY_VERIFY(!window.isVisible());
    }

private:
    TestEnvironment environment;
};

QTEST_MAIN(TestWindowFrame)
#include "tst_WindowFrame.moc"
