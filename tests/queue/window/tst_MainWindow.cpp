#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "queue/window/MainWindow.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

namespace {

constexpr int exitLimitMs = 30000;

QByteArray runningDownload(const QString &destination)
{
    DownloadSnapshot snapshot;
    snapshot.id = QStringLiteral("a");
    snapshot.url = QUrl(QStringLiteral("http://127.0.0.1:9/a.bin"));
    snapshot.destination = destination;
    snapshot.status = DownloadStatus::Downloading;
    snapshot.total = 1000;
    snapshot.received = 400;
    snapshot.segments = {SegmentProgress{0, 499, 200}, SegmentProgress{500, 999, 200}};
    // Written by hand as a running download, the way a crashed run would have left it.
    return QueueRules::writeQueue({snapshot}).replace("\"Paused\"", "\"Downloading\"");
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
    }

    void constructionLoadsTheList()
    {
        TestEnvironment environment;
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        const QString path = QueueRules::queueFilePath();

        QVERIFY(TestEnvironment::writeFile(path, "{\"not\": \"a list\"}"));
        {
            MainWindow window;
            QCOMPARE(window.downloads()->count(), 0);
            // The place it was kept is filled in after the sentence is translated.
            QVERIFY2(window.statusBar()->currentMessage().startsWith(
                         QStringLiteral("The saved download list could not be read. It was kept as ") + path +
                         QStringLiteral(".unreadable-")),
                     qPrintable(window.statusBar()->currentMessage()));
            // Shown with the window, over the texts it covers, not under them.
            const QString message = window.statusBar()->currentMessage();
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.statusBar()->currentMessage(), message);
            QVERIFY(!window.statusBar()->findChild<QLabel *>(QStringLiteral("statusLabel"))->isVisible());
        }

        QVERIFY(TestEnvironment::writeFile(
            path, runningDownload(environment.scratch() + QStringLiteral("/a.bin"))));
        MainWindow window;
        QCOMPARE(window.downloads()->ids(), QStringList{QStringLiteral("a")});
        QCOMPARE(window.downloads()->entry(QStringLiteral("a"))->snapshot.status, DownloadStatus::Paused);
        QVERIFY(window.statusBar()->currentMessage().isEmpty());

        window.downloads()->removeDownload(QStringLiteral("a"));
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Removed from the list. Downloaded and partial files are kept."));
    }

    void listSurvivesProgramRuns()
    {
        TestEnvironment environment;
        const QString path = environment.dataFolder() + QStringLiteral("/queue.json");

        const auto first = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                            environment.processEnvironment(), exitLimitMs);
        QVERIFY2(first.finished, "Rushlet --smoke-test did not exit");
        QCOMPARE(first.exitCode, 0);
        QVERIFY(QFile::exists(path));
        QVERIFY(environment.savedQueue().isEmpty());

        QVERIFY(TestEnvironment::writeFile(
            path, runningDownload(environment.scratch() + QStringLiteral("/a.bin"))));
        for (int run = 0; run < 2; ++run) {
            const auto next = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                               environment.processEnvironment(), exitLimitMs);
            QVERIFY2(next.finished, "Rushlet --smoke-test did not exit");
            QCOMPARE(next.exitCode, 0);
            const QJsonArray saved = environment.savedQueue();
            QCOMPARE(saved.size(), 1);
            const QJsonObject entry = saved.first().toObject();
            QCOMPARE(entry.value(QStringLiteral("status")).toString(), DownloadStatus::Paused);
            QCOMPARE(entry.value(QStringLiteral("received")).toString(), QStringLiteral("400"));
            QCOMPARE(entry.value(QStringLiteral("segments")).toArray().size(), 2);
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
