#include "queue/CloseBehaviorMenu.h"
#include "queue/CloseConfirmationDialog.h"
#include "queue/CloseHandling.h"
#include "queue/TrayIcon.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ModalDialogs.h"
#include "ui/PopupMenu.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <memory>

using Outcome = CloseRules::Outcome;

namespace {

// What the user does with the question, if it is asked.
enum class Answer
{
    NotAsked,
    Cancel,
    Quit,
    KeepInTray
};

} // namespace

class TestCloseHandling : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;

    static QStringList buttonTexts(const QDialog &dialog)
    {
        QStringList texts;
        for (const QPushButton *button : dialog.findChildren<QPushButton *>())
            texts << button->text();
        return texts;
    }

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
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("storedAfter");

        const QString none;
        QTest::newRow("shutting down: no question")
            << true << "ask" << true << Answer::NotAsked << false << Outcome::Quit << "ask";
        QTest::newRow("quit") << false << "quit" << true << Answer::NotAsked << false << Outcome::Quit
                              << "quit";
        QTest::newRow("tray") << false << "tray" << true << Answer::NotAsked << false << Outcome::HideToTray
                              << "tray";
        QTest::newRow("tray without a tray asks")
            << false << "tray" << false << Answer::Quit << false << Outcome::Quit << "tray";
        QTest::newRow("unknown value asks; cancel keeps it even when remembered")
            << false << "minimize" << true << Answer::Cancel << true << Outcome::KeepOpen << "minimize";
        QTest::newRow("nothing stored asks; keep in tray once")
            << false << none << true << Answer::KeepInTray << false << Outcome::HideToTray << none;
        QTest::newRow("keep in tray, remembered")
            << false << "ask" << true << Answer::KeepInTray << true << Outcome::HideToTray << "tray";
        QTest::newRow("quit, remembered, without a tray")
            << false << "ask" << false << Answer::Quit << true << Outcome::Quit << "quit";
    }

    void followsTheSettingAndTheAnswer()
    {
        QFETCH(bool, shuttingDown);
        QFETCH(QString, stored);
        QFETCH(bool, trayUsable);
        QFETCH(Answer, answer);
        QFETCH(bool, remember);
        QFETCH(Outcome, outcome);
        QFETCH(QString, storedAfter);

        if (!stored.isNull())
            QSettings().setValue(CloseRules::settingKey, stored);
        bool asked = false;
        ModalDialogs::answerNext([&](QDialog &dialog) {
            asked = true;
            if (answer == Answer::NotAsked)
                return int(QDialog::Rejected);
            [&] {
                QCOMPARE(dialog.objectName(), QStringLiteral("closeConfirmation"));
                QStringList expected = {QStringLiteral("Cancel"), QStringLiteral("Quit Rushlet")};
                if (trayUsable)
                    expected << QStringLiteral("Keep running in tray");
                QCOMPARE(buttonTexts(dialog), expected);
                const auto *description = dialog.findChild<QLabel *>(QStringLiteral("closeDescription"));
                QVERIFY(description);
                QCOMPARE(description->text(),
                         trayUsable ? QStringLiteral("Quit to stop downloads and save progress, or keep "
                                                     "downloading in the system tray.")
                                    : QStringLiteral("Quitting stops downloads and saves your progress."));
                QCOMPARE(dialog.focusWidget(), dialog.findChildren<QPushButton *>().value(0));
                QVERIFY(dialog.width() >= 440);
            }();
            dialog.findChild<QCheckBox *>()->setChecked(remember);
            switch (answer) {
            case Answer::Quit:
                return int(CloseConfirmationDialog::QuitResult);
            case Answer::KeepInTray:
                return int(CloseConfirmationDialog::KeepInTrayResult);
            default:
                return int(QDialog::Rejected);
            }
        });

        QWidget window;
        QCOMPARE(CloseHandling::decide(&window, shuttingDown, trayUsable), outcome);
        QCOMPARE(asked, answer != Answer::NotAsked);
        QCOMPARE(QSettings().value(CloseRules::settingKey).toString(), storedAfter);
        // An answer no question took must not answer the next row's.
        if (ModalDialogs::pendingAnswers() > 0)
            ModalDialogs::warning(nullptr, QString(), QString());
    }

    // The offscreen platform has no tray, like a desktop without one.
    void withoutATrayNothingHidesIntoIt()
    {
        QWidget window;
        QAction addUrl, pauseAll, checkForUpdates, exit;
        TrayIcon tray(&window, {&addUrl, &pauseAll, &checkForUpdates, &exit});
        QVERIFY(!tray.isVisible());
        QVERIFY(!tray.isUsable());

        CloseBehaviorMenu menu(&window);
        const QList<QAction *> choices = menu.actions();
        QCOMPARE(choices.size(), 3);
        QVERIFY(choices[0]->isChecked());
        QVERIFY(!choices[1]->isEnabled());
        // A choice remembered elsewhere shows the next time the menu opens.
        QSettings().setValue(CloseRules::settingKey, CloseRules::quit);
        menu.popup(QPoint(40, 40));
        QVERIFY(choices[2]->isChecked());
        menu.hide();
        choices[0]->trigger();
        QCOMPARE(QSettings().value(CloseRules::settingKey).toString(), CloseRules::ask);
    }

    void showWindowBringsTheWindowBack()
    {
        QWidget window;
        QAction addUrl, pauseAll, checkForUpdates, exit;
        TrayIcon tray(&window, {&addUrl, &pauseAll, &checkForUpdates, &exit});
        QCOMPARE(tray.menu()->defaultAction(), tray.showAction());
        QCOMPARE(tray.menu()->actions().mid(2, 2), (QList<QAction *>{&addUrl, &pauseAll}));

        window.showMinimized();
        tray.showAction()->trigger();
        QTRY_VERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
        window.hide();
        emit tray.activated(QSystemTrayIcon::Trigger);
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(TestCloseHandling)
#include "tst_CloseHandling.moc"
