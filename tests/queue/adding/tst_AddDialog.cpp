#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/adding/AddDialog.h"
#include "queue/adding/AddDownloadFlow.h"
#include "queue/adding/BrowserConfirmation.h"
#include "queue/adding/DialogComboBox.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/StandInEngine.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ModalDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <memory>

namespace {

constexpr int eventLimitMs = 30000;

QLineEdit *field(const QDialog &dialog, const char *name)
{
    return dialog.findChild<QLineEdit *>(QLatin1String(name));
}

QPushButton *primary(const QDialog &dialog)
{
    return dialog.findChild<QPushButton *>(QStringLiteral("addDownloadPrimary"));
}

// Types into the fields that are given and presses the primary button, as a person would.
ModalDialogs::Answer submit(const QString &name = {}, const QString &link = {}, bool queueOnly = false)
{
    return [=](QDialog &dialog) {
        if (!link.isEmpty())
            field(dialog, "downloadUrl")->setText(link);
        if (!name.isEmpty())
            field(dialog, "downloadName")->setText(name);
        dialog.findChild<DialogComboBox *>(QStringLiteral("downloadStartMode"))->setCurrentIndex(queueOnly);
        primary(dialog)->click();
        return dialog.result();
    };
}

ModalDialogs::Answer noteWarning(QStringList &warnings)
{
    return [&warnings](QDialog &box) {
        warnings << box.windowTitle() + QStringLiteral(": ") + qobject_cast<QMessageBox *>(&box)->text();
        return int(QMessageBox::Ok);
    };
}

int reject(QDialog &)
{
    return QDialog::Rejected;
}

// Answers what was queued only to catch a dialog that should not have been shown.
void takeBackUnusedAnswer()
{
    QDialog unused;
    ModalDialogs::run(unused);
}

} // namespace

// The add dialog on its own, and the two flows that use it over a list with stand-in engines and
// a plain window in place of the main window.
class TestAddDialog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<DownloadList> list;
    QWidget window;
    QStringList revealed;
    MainWindowHooks hooks{&window, [this](const QString &id) { revealed << id; }, {}};

    QString waiting(const QString &name, const QString &status = DownloadStatus::AwaitingConfirmation)
    {
        DownloadSnapshot snapshot;
        snapshot.id = name;
        snapshot.url = QUrl(QStringLiteral("https://example.com/") + name + QStringLiteral(".bin"));
        snapshot.destination = environment->scratch() + QLatin1Char('/') + name + QStringLiteral(".bin");
        snapshot.status = status;
        return list->addDownload(snapshot) ? name : QString();
    }

    QString statusOf(const QString &id) const { return list->entry(id)->snapshot.status; }

    // A download that was never started has no engine yet.
    int startsOf(const QString &id) const
    {
        const auto *engine = qobject_cast<StandInEngine *>(list->entry(id)->engine);
        return engine ? engine->starts.load() : 0;
    }

private slots:
    void initTestCase()
    {
        registerDownloadMetaTypes();
        TestEnvironment::useProgramNames();
    }

    void init()
    {
        environment = std::make_unique<TestEnvironment>();
        environment->applyToCurrentProcess();
        list =
            std::make_unique<DownloadList>([](const DownloadSpec &spec) { return new StandInEngine(spec); });
        revealed.clear();
        QGuiApplication::clipboard()->clear();
        QSettings().setValue(QStringLiteral("downloadFolder"), environment->scratch());
    }

    void cleanup() { QCOMPARE(ModalDialogs::pendingAnswers(), 0); }

    void derivesTheNameUntilTheUserTypes()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral(" https://example.com/dl/setup.exe \n"));
        AddDialog dialog;
        QLineEdit *url = field(dialog, "downloadUrl");
        QLineEdit *name = field(dialog, "downloadName");
        QCOMPARE(url->selectedText(), QStringLiteral("https://example.com/dl/setup.exe"));
        QCOMPARE(name->text(), QStringLiteral("setup.exe"));
        dialog.show();

        // A name put there by the caller is no edit of the user's: the link still names the file.
        dialog.prefill(QUrl(QStringLiteral("https://example.com/r.pdf")), QStringLiteral("/srv/r (1).pdf"),
                       4);
        QCOMPARE(name->text(), QStringLiteral("r (1).pdf"));
        QCOMPARE(dialog.connections(), 4);
        url->setText(QStringLiteral("https://example.com/other.zip"));
        QCOMPARE(name->text(), QStringLiteral("other.zip"));

        name->clear();
        QTest::keyClicks(name, QStringLiteral("mine.bin"));
        url->setText(QStringLiteral("https://example.com/third.zip"));
        QCOMPARE(dialog.destinationPath(), QStringLiteral("/srv/mine.bin"));

        QImage image(8, 8, QImage::Format_ARGB32);
        QGuiApplication::clipboard()->setImage(image);
        QVERIFY(field(AddDialog(), "downloadUrl")->text().isEmpty());
    }

    // The primary button says what it will do, in the language in force.
    void relabelsWithTheStartModeAndTheLanguage()
    {
        AddDialog dialog;
        dialog.findChild<DialogComboBox *>(QStringLiteral("downloadStartMode"))->setCurrentIndex(1);
        QCOMPARE(primary(dialog)->text(), QStringLiteral("Add to queue"));
        // Russian counts take three forms: 4 and 16 connections are said differently.
        Localization::setLanguage(QStringLiteral("ru"));
        const QString text = primary(dialog)->text();
        const auto *connections = dialog.findChild<DialogComboBox *>(QStringLiteral("downloadConnections"));
        QCOMPARE(text, Localization::translate(QStringLiteral("Add to queue")));
        QCOMPARE(connections->itemText(0), QStringLiteral("1 соединение"));
        QCOMPARE(connections->itemText(1), QStringLiteral("4 соединения"));
        QCOMPARE(connections->itemText(3), QStringLiteral("16 соединений"));
        Localization::setLanguage(QStringLiteral("en"));
        QCOMPARE(connections->itemText(1), QStringLiteral("4 connections"));
        QVERIFY(text != QStringLiteral("Add to queue"));
    }

    // A size known beforehand is held against the room on the chosen folder's drive, a folder
    // still to be made included.
    void warnsWhileTheDriveLacksRoom()
    {
        SmallDisk disk(1024 * 1024);
        QVERIFY(disk.isValid());
        QVERIFY2(disk.isOwnFileSystem(), "needs a small file system of its own (tmpfs, as root)");
        AddDialog dialog;
        const auto *warning = dialog.findChild<QLabel *>(QStringLiteral("addDownloadSpaceWarning"));
        dialog.show();
        dialog.setExpectedSize(2 * 1024 * 1024);
        QVERIFY(!warning->isVisible());
        field(dialog, "downloadFolder")->setText(disk.path() + QStringLiteral("/not made yet"));
        QVERIFY(warning->isVisible());
        QCOMPARE(warning->text(),
                 QStringLiteral(
                     "Not enough free space: the file needs 2.0 MB and 1.0 MB are free on this drive."));
        field(dialog, "downloadFolder")->setText(environment->scratch());
        QVERIFY(!warning->isVisible());
    }

    void refusesUntilValidThenRemembersTheFolder()
    {
        QSettings().remove(QStringLiteral("downloadFolder"));
        AddDialog first;
        QCOMPARE(field(first, "downloadFolder")->text(),
                 QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
        const QString chosen = environment->scratch() + QStringLiteral("/chosen");
        bool stayedOpen = false;
        QStringList warnings;
        ModalDialogs::answerNext([&](QDialog &dialog) {
            field(dialog, "downloadFolder")->setText(QStringLiteral("  ") + chosen + QStringLiteral(" "));
            submit({}, QStringLiteral("ftp://example.com/a.zip"))(dialog);
            stayedOpen = dialog.isVisible();
            return submit({}, QStringLiteral("https://example.com/a.zip"))(dialog);
        });
        ModalDialogs::answerNext(noteWarning(warnings));
        QCOMPARE(ModalDialogs::run(first), int(QDialog::Accepted));
        QVERIFY(stayedOpen);
        QCOMPARE(warnings,
                 QStringList{QStringLiteral("Cannot add download: Enter a valid HTTP or HTTPS URL.")});
        QCOMPARE(first.destinationPath(), chosen + QStringLiteral("/a.zip"));
        QCOMPARE(field(AddDialog(), "downloadFolder")->text(), chosen);
    }

    // The speed limit and the checksum say what is wrong while they are typed, refuse the dialog
    // with that reason, and reach the list in the form it keeps.
    void limitAndChecksumAreCheckedAsTypedAndKept()
    {
        AddDownloadFlow flow(*list, hooks);
        const QString sha = QString(64, QLatin1Char('A'));
        QStringList problems;
        QStringList warnings;
        ModalDialogs::answerNext([&](QDialog &dialog) {
            QLineEdit *limit = field(dialog, "downloadSpeedLimit");
            QLineEdit *checksum = field(dialog, "downloadChecksum");
            const auto *problem = dialog.findChild<QLabel *>(QStringLiteral("addDownloadProblem"));
            const auto note = [&] { problems << (problem->isVisible() ? problem->text() : QString()); };
            note();
            limit->setText(QStringLiteral("2X"));
            note();
            limit->setText(QStringLiteral("2M"));
            checksum->setText(QStringLiteral("sha-256=") + sha.left(10));
            note();
            submit(QStringLiteral("checked.iso"), QStringLiteral("https://example.com/c.iso"))(dialog);
            checksum->setText(sha);
            note();
            return submit()(dialog);
        });
        ModalDialogs::answerNext(noteWarning(warnings));
        const QString id = flow.run();
        const QString shortSha =
            QStringLiteral("SHA-256 checksums have 64 hexadecimal digits; this one has 10.");
        QCOMPARE(problems,
                 (QStringList{QString(),
                              QStringLiteral("Unknown unit \"X\" in the speed limit. Use K, M, G or T, or "
                                             "no unit for bytes per second."),
                              shortSha, QString()}));
        QCOMPARE(warnings, QStringList{QStringLiteral("Cannot add download: ") + shortSha});
        QCOMPARE(list->entry(id)->snapshot.speedLimit, 2 * 1024 * 1024);
        QCOMPARE(list->entry(id)->snapshot.checksum, QStringLiteral("sha-256=") + sha.toLower());
        QCOMPARE(environment->savedQueue().first()[QStringLiteral("limit")].toString(),
                 QStringLiteral("2097152"));
    }

    // A browser download for the file of a stopped one may give it its link instead; when the link
    // does not fit, the browser download is offered as any other.
    void aStoppedDownloadMayTakeTheBrowsersNewLink()
    {
        QList<QPair<QString, QUrl>> attached;
        QList<QByteArray> sessions;
        bool fits = false;
        MainWindowHooks attaching = hooks;
        attaching.attachLink = [&](const QString &id, const QUrl &url, const RequestContext &context,
                                   std::function<void(bool)> done) {
            attached.append({id, url});
            sessions.append(context.userAgent);
            QTimer::singleShot(0, [done, fits] { done(fits); });
        };
        BrowserConfirmation confirmation(*list, attaching);
        waiting(QStringLiteral("stopped"), DownloadStatus::Paused);
        QStringList offered;
        for (const bool answer : {true, false}) {
            fits = answer;
            const QString fresh = waiting(QStringLiteral("fresh"));
            DownloadSnapshot withSession = list->entry(fresh)->snapshot;
            withSession.context.userAgent = "Browser/2.0";
            QVERIFY(list->replaceSnapshot(fresh, withSession));
            confirmation.offerNewLink(fresh, QStringLiteral("stopped"));
            ModalDialogs::answerNext([](QDialog &) { return int(QMessageBox::Yes); });
            if (!fits) {
                ModalDialogs::answerNext([&offered](QDialog &dialog) {
                    offered << field(dialog, "downloadName")->text();
                    return reject(dialog);
                });
            }
            confirmation.schedule();
            QTRY_COMPARE_WITH_TIMEOUT(ModalDialogs::pendingAnswers(), 0, eventLimitMs);
            QTRY_VERIFY_WITH_TIMEOUT(!list->contains(fresh), eventLimitMs);
            // The browser asks after its download by its own id, and learns of the one it joined.
            if (fits)
                QCOMPARE(list->attachedTo(fresh), QStringLiteral("stopped"));
        }
        QCOMPARE(sessions, (QList<QByteArray>{"Browser/2.0", "Browser/2.0"}));
        QCOMPARE(attached.size(), 2);
        QCOMPARE(attached.first(),
                 (QPair<QString, QUrl>{QStringLiteral("stopped"),
                                       QUrl(QStringLiteral("https://example.com/fresh.bin"))}));
        QCOMPARE(offered, QStringList{QStringLiteral("fresh.bin")});
        QCOMPARE(list->ids(), QStringList{QStringLiteral("stopped")});
    }

    void addsByHand()
    {
        AddDownloadFlow flow(*list, hooks);
        const QString link = QStringLiteral("https://example.com/file.iso");
        ModalDialogs::answerNext(submit(QStringLiteral("one.iso"), link));
        const QString started = flow.run();
        QVERIFY(!QUuid(started).isNull() && !started.startsWith(QLatin1Char('{')));
        QCOMPARE(revealed, QStringList{started});
        QCOMPARE(environment->savedQueue().first()[QStringLiteral("id")].toString(), started);
        QTRY_COMPARE_WITH_TIMEOUT(startsOf(started), 1, eventLimitMs);

        ModalDialogs::answerNext(submit(QStringLiteral("two.iso"), link, true));
        const QString queued = flow.run();
        QCOMPARE(statusOf(queued), DownloadStatus::Queued);

        // Only the list knows that the name is taken: the first file is not on disk yet. The
        // dialog is not offered again.
        QStringList warnings;
        ModalDialogs::answerNext(submit(QStringLiteral("one.iso"), link));
        ModalDialogs::answerNext(noteWarning(warnings));
        ModalDialogs::answerNext(reject);
        QVERIFY(flow.run().isEmpty());
        QCOMPARE(ModalDialogs::pendingAnswers(), 1);
        takeBackUnusedAnswer();
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().startsWith(QStringLiteral("Already in queue: This destination")));
        QCOMPARE(list->ids(), (QStringList{started, queued}));
        QCOMPARE(startsOf(queued), 0);
    }

    // One dialog at a time, in list order, including a download that arrives while one is open;
    // a confirmed download moves to the end, a cancelled one leaves the list but not its files.
    void offersWaitingDownloadsOneAtATime()
    {
        BrowserConfirmation confirmation(*list, hooks);
        const QStringList first = {waiting(QStringLiteral("a")),
                                   waiting(QStringLiteral("q"), DownloadStatus::Queued),
                                   waiting(QStringLiteral("b")), waiting(QStringLiteral("c"))};
        const QString partial = environment->scratch() + QStringLiteral("/b.bin.rushlet.part");
        QVERIFY(TestEnvironment::writeFile(partial, "kept"));

        QStringList offered;
        const auto offer = [&offered](const ModalDialogs::Answer &answer) {
            return [&offered, answer](QDialog &dialog) {
                offered << field(dialog, "downloadName")->text();
                return answer(dialog);
            };
        };
        bool nested = true;
        ModalDialogs::answerNext(offer([&](QDialog &dialog) {
            const int pending = ModalDialogs::pendingAnswers();
            confirmation.confirmAwaitingDownloads();
            nested = ModalDialogs::pendingAnswers() != pending;
            waiting(QStringLiteral("d"));
            return submit()(dialog);
        }));
        ModalDialogs::answerNext(offer(reject));
        ModalDialogs::answerNext(offer(submit({}, {}, true)));
        ModalDialogs::answerNext(offer(submit()));
        confirmation.schedule();
        QTRY_COMPARE_WITH_TIMEOUT(ModalDialogs::pendingAnswers(), 0, eventLimitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!confirmation.isOpen(), eventLimitMs);

        QVERIFY(!nested);
        QCOMPARE(offered, (QStringList{QStringLiteral("a.bin"), QStringLiteral("b.bin"),
                                       QStringLiteral("c.bin"), QStringLiteral("d.bin")}));
        QCOMPARE(list->ids(), (QStringList{QStringLiteral("q"), QStringLiteral("a"), QStringLiteral("c"),
                                           QStringLiteral("d")}));
        QTRY_COMPARE_WITH_TIMEOUT(startsOf(QStringLiteral("a")) + startsOf(QStringLiteral("d")), 2,
                                  eventLimitMs);
        QCOMPARE(statusOf(QStringLiteral("c")), DownloadStatus::Queued);
        QCOMPARE(startsOf(QStringLiteral("c")), 0);
        QVERIFY(QFile::exists(partial));
    }

    void clashOrFailedSaveOffersTheDialogAgain_data()
    {
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<QString>("warning");
        QTest::newRow("destination clash")
            << false
            << QStringLiteral("Already in queue: Choose a different file name; "
                              "this destination is already in the list.");
        QTest::newRow("save fails") << true
                                    << QStringLiteral("Cannot save download: The queue could not be saved. "
                                                      "Try again or cancel.");
    }

    void clashOrFailedSaveOffersTheDialogAgain()
    {
        QFETCH(bool, saveFails);
        QFETCH(QString, warning);
        BrowserConfirmation confirmation(*list, hooks);
        waiting(QStringLiteral("other"), DownloadStatus::Queued);
        const QString w = waiting(QStringLiteral("w"));
        const DownloadSnapshot before = list->entry(w)->snapshot;
        // A folder where the list's file belongs cannot be replaced by a save, not even by root.
        if (saveFails)
            QVERIFY(QDir().mkpath(QueueRules::queueFilePath() + QStringLiteral("/blocked")));

        QStringList warnings;
        DownloadSnapshot duringWarning;
        QString offeredAgain;
        ModalDialogs::answerNext(submit(saveFails ? QString() : QStringLiteral("other.bin")));
        ModalDialogs::answerNext([&](QDialog &box) {
            duringWarning = list->entry(w)->snapshot;
            return noteWarning(warnings)(box);
        });
        ModalDialogs::answerNext([&](QDialog &dialog) {
            offeredAgain = field(dialog, "downloadName")->text();
            if (saveFails)
                QDir(QueueRules::queueFilePath()).removeRecursively();
            return submit(QStringLiteral("mine.bin"), {}, true)(dialog);
        });
        confirmation.confirmAwaitingDownloads();

        QCOMPARE(warnings, QStringList{warning});
        QCOMPARE(offeredAgain, saveFails ? QStringLiteral("w.bin") : QStringLiteral("other.bin"));
        QCOMPARE(duringWarning.destination, before.destination);
        QCOMPARE(duringWarning.status, DownloadStatus::AwaitingConfirmation);
        QCOMPARE(statusOf(w), DownloadStatus::Queued);
        QCOMPARE(environment->savedQueue().at(1)[QStringLiteral("destination")].toString(),
                 environment->scratch() + QStringLiteral("/mine.bin"));
    }

    // A dialog that the shutdown closes leaves its download waiting for the next start, and
    // nothing more is offered.
    void shutdownLeavesTheDownloadWaiting()
    {
        BrowserConfirmation confirmation(*list, hooks);
        const QString w = waiting(QStringLiteral("w"));
        ModalDialogs::answerNext([this](QDialog &) {
            list->shutdown();
            return int(QDialog::Rejected);
        });
        confirmation.confirmAwaitingDownloads();
        QCOMPARE(environment->savedQueue().first()[QStringLiteral("status")].toString(),
                 DownloadStatus::AwaitingConfirmation);
        ModalDialogs::answerNext(reject);
        confirmation.confirmAwaitingDownloads();
        QCOMPARE(ModalDialogs::pendingAnswers(), 1);
        takeBackUnusedAnswer();
    }

    void waitsForAnotherModalWindow()
    {
        BrowserConfirmation confirmation(*list, hooks);
        const QString w = waiting(QStringLiteral("w"));
        QDialog blocker;
        blocker.setModal(true);
        blocker.show();
        ModalDialogs::answerNext(reject);
        confirmation.confirmAwaitingDownloads();
        QCOMPARE(ModalDialogs::pendingAnswers(), 1);
        blocker.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!list->contains(w), eventLimitMs);
    }
};

QTEST_MAIN(TestAddDialog)
#include "tst_AddDialog.moc"
