#include "queue/closing/CloseBehaviorMenu.h"
#include "queue/closing/CloseConfirmationDialog.h"
#include "queue/closing/CloseHandling.h"
#include "queue/closing/TrayIcon.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ModalDialogs.h"
#include "ui/PopupMenu.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <memory>

using Outcome = CloseRules::Outcome;

namespace {

// What the user answers, as the dialog's result; notAsked where no question may come.
constexpr int notAsked = -1;
constexpr int cancel = QDialog::Rejected;
constexpr int quit = CloseConfirmationDialog::QuitResult;
constexpr int keepInTray = CloseConfirmationDialog::KeepInTrayResult;

} // namespace

class TestCloseHandling : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;

private slots:
    void initTestCase()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        environment->applyToCurrentProcess();
        TestEnvironment::useProgramNames();
    }

    void init() { QSettings().remove(CloseRules::settingKey); }

    void followsTheSettingAndTheAnswer_data()
    {
        QTest::addColumn<bool>("shuttingDown");
        QTest::addColumn<QString>("stored"); // null: nothing stored
        QTest::addColumn<bool>("trayUsable");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("storedAfter");

        const QString none;
        QTest::newRow("shutting down: no question")
            << true << "ask" << true << notAsked << false << Outcome::Quit << "ask";
        QTest::newRow("quit") << false << "quit" << true << notAsked << false << Outcome::Quit << "quit";
        QTest::newRow("tray") << false << "tray" << true << notAsked << false << Outcome::HideToTray
                              << "tray";
        QTest::newRow("tray without a tray asks")
            << false << "tray" << false << quit << false << Outcome::Quit << "tray";
        QTest::newRow("unknown value asks; cancel keeps it even when remembered")
            << false << "minimize" << true << cancel << true << Outcome::KeepOpen << "minimize";
        QTest::newRow("nothing stored asks; keep in tray once")
            << false << none << true << keepInTray << false << Outcome::HideToTray << none;
        QTest::newRow("keep in tray, remembered")
            << false << "ask" << true << keepInTray << true << Outcome::HideToTray << "tray";
        QTest::newRow("quit, remembered, without a tray")
            << false << "ask" << false << quit << true << Outcome::Quit << "quit";
    }

    void followsTheSettingAndTheAnswer()
    {
        QFETCH(bool, shuttingDown);
        QFETCH(QString, stored);
        QFETCH(bool, trayUsable);
        QFETCH(int, answer);
        QFETCH(bool, remember);
        QFETCH(Outcome, outcome);
        QFETCH(QString, storedAfter);

        if (!stored.isNull())
            QSettings().setValue(CloseRules::settingKey, stored);
        bool asked = false;
        ModalDialogs::answerNext([&](QDialog &dialog) {
            asked = true;
            if (answer == notAsked)
                return int(QDialog::Rejected);
            [&] {
                // Without a tray: no tray button, and a description that promises none.
                QStringList buttons;
                for (const QPushButton *button : dialog.findChildren<QPushButton *>())
                    buttons << button->text();
                QCOMPARE(buttons.join(QLatin1Char('|')),
                         trayUsable ? QStringLiteral("Cancel|Quit Rushlet|Keep running in tray")
                                    : QStringLiteral("Cancel|Quit Rushlet"));
                QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("closeDescription"))->text(),
                         trayUsable ? QStringLiteral("Quit to stop downloads and save progress, or keep "
                                                     "downloading in the system tray.")
                                    : QStringLiteral("Quitting stops downloads and saves your progress."));
                const auto *focused = qobject_cast<QPushButton *>(dialog.focusWidget());
                QVERIFY(focused && !focused->autoDefault());
                QCOMPARE(focused->text(), QStringLiteral("Cancel"));
            }();
            dialog.findChild<QCheckBox *>()->setChecked(remember);
            return answer;
        });

        QWidget window;
        QCOMPARE(CloseHandling::decide(&window, shuttingDown, trayUsable), outcome);
        QCOMPARE(asked, answer != notAsked);
        QCOMPARE(QSettings().value(CloseRules::settingKey).toString(), storedAfter);
        // An answer no question took must not answer the next row's.
        if (ModalDialogs::pendingAnswers() > 0)
            ModalDialogs::warning(nullptr, QString(), QString());
    }

    // The offscreen platform has no tray, like a desktop without one: there is nothing to hide
    // into, but the tray's way back to the window still works.
    void withoutATray()
    {
        QWidget window;
        QAction addUrl, pauseAll, checkForUpdates, exit;
        TrayIcon tray(&window, {&addUrl, &pauseAll, &checkForUpdates, &exit});
        QVERIFY(!tray.isVisible());
        QVERIFY(!tray.isUsable());
        QCOMPARE(tray.menu()->defaultAction(), tray.showAction());
        window.showMinimized();
        tray.showAction()->trigger();
        QTRY_VERIFY(!window.isMinimized() && window.isVisible());

        CloseBehaviorMenu menu(&window);
        const QList<QAction *> choices = menu.actions();
        QVERIFY(choices[0]->isChecked());
        QVERIFY(!choices[1]->isEnabled());
        // A choice remembered by the dialog shows the next time the menu opens.
        QSettings().setValue(CloseRules::settingKey, CloseRules::quit);
        menu.popup(QPoint(40, 40));
        QVERIFY(choices[2]->isChecked());
        menu.hide();
        choices[0]->trigger();
        QCOMPARE(QSettings().value(CloseRules::settingKey).toString(), CloseRules::ask);
    }
};

QTEST_MAIN(TestCloseHandling)
#include "tst_CloseHandling.moc"
