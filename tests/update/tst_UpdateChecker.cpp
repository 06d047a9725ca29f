#include "i18n/Localization.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"
#include "update/UpdateChecker.h"
#include "update/UpdateDialog.h"
#include "update/UpdateSource.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTest>
#include <QTextEdit>

using State = UpdateChecker::State;

namespace {

const QString version = UpdateSource::currentVersion();
const QUrl
    downloadLink(QStringLiteral("https://dl.%1/rushlet-1.2.0.tar.gz").arg(UpdateSource::makerDomain()));
const QString failedText =
    QStringLiteral("Please try again later. The update service may be unavailable.\n\n");

QByteArray feedBody(const QString &release)
{
    const QJsonObject entry{
        {QStringLiteral("version"), release},
        {QStringLiteral("url"), downloadLink.toString()},
        {QStringLiteral("size"), QStringLiteral("12.5 MB")},
        {QStringLiteral("date"), QStringLiteral("2024-05-01")},
        {QStringLiteral("change"), QJsonArray{QStringLiteral("Faster"), QStringLiteral("Fixes")}}};
    return QJsonDocument(QJsonObject{{UpdateSource::feedMember(), entry}}).toJson();
}

// Title, detail, release notes (empty while hidden) and the visible buttons, as a person reads them.
QStringList summary(const UpdateDialog &dialog)
{
    QStringList buttons;
    for (const char *name : {"updateDone", "updateRetry", "updateDownload"}) {
        const auto *button = dialog.findChild<QPushButton *>(QLatin1String(name));
        if (button->isVisibleTo(&dialog))
            buttons << button->text();
    }
    const auto *notes = dialog.findChild<QTextEdit *>(QStringLiteral("updateNotes"));
    return {dialog.findChild<QLabel *>(QStringLiteral("updateTitle"))->text(),
            dialog.findChild<QLabel *>(QStringLiteral("updateDetail"))->text(),
            notes->isVisibleTo(&dialog) ? notes->toPlainText() : QString(), buttons.join(QLatin1Char('|'))};
}

quint16 closedPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

class TestUpdateChecker : public QObject
{
    Q_OBJECT

public slots:
    void receiveLink(const QUrl &url) { receivedLinks.append(url); }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        // The plain server stands behind the redirect with a feed that would be taken if followed.
        QVERIFY(plain.start());
        plain.setResource("/upgrade.json", {feedBody(QStringLiteral("1.2.0"))});
        TestHttpServer::Resource unsized{QByteArray(300 * 1024, ' ')};
        unsized.contentLength = false;
        plain.setResource("/unsized.json", unsized);
        NginxServer::Options options;
        options.secureServerDirectives =
            "location = /moved.json { return 302 " + plain.url("/upgrade.json").toEncoded() + "; }";
        QVERIFY2(nginx.start(options), qPrintable(nginx.errorString()));
        const QString root = nginx.documentRoot() + QLatin1Char('/');
        QVERIFY(TestEnvironment::writeFile(root + "newer.json", feedBody(QStringLiteral("1.2.0"))));
        QVERIFY(TestEnvironment::writeFile(root + "same.json", feedBody(version)));
        QVERIFY(TestEnvironment::writeFile(root + "invalid.json", feedBody(QStringLiteral("v1.2"))));
        QVERIFY(TestEnvironment::writeFile(root + "big.json", QByteArray(300 * 1024, ' ')));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(nginx.certificateFile());
        QSslConfiguration::setDefaultConfiguration(tls);
    }

    void init()
    {
        Localization::setLanguage(QStringLiteral("en"));
        window.show();
    }

    void cleanup() { qDeleteAll(window.findChildren<UpdateDialog *>()); }

    void answersARequestedCheck_data()
    {
        QTest::addColumn<QUrl>("feed");
        QTest::addColumn<QStringList>("shown");
        const QString current = QStringLiteral("Current version: ") + version;
        const auto failure = [](const QString &error) {
            return QStringList{QStringLiteral("Could not check for updates"), failedText + error, QString(),
                               QStringLiteral("Done|Retry")};
        };
        QTest::newRow("newer") << nginx.secureUrl(QStringLiteral("/newer.json"))
                               << QStringList{QStringLiteral("An update is available"),
                                              current + "\nNew version: 1.2.0\n2024-05-01  ·  12.5 MB",
                                              QStringLiteral("Faster\nFixes"),
                                              QStringLiteral("Done|Download update")};
        QTest::newRow("same") << nginx.secureUrl(QStringLiteral("/same.json"))
                              << QStringList{QStringLiteral("Rushlet is up to date"), current, QString(),
                                             QStringLiteral("Done")};
        QTest::newRow("invalid") << nginx.secureUrl(QStringLiteral("/invalid.json"))
                                 << failure(QStringLiteral("Invalid update feed."));
        QTest::newRow("404") << nginx.secureUrl(QStringLiteral("/missing.json"))
                             << failure(QStringLiteral("HTTP 404"));
        QTest::newRow("redirect to http")
            << nginx.secureUrl(QStringLiteral("/moved.json")) << failure(QStringLiteral("Insecure redirect"));
        // Cut off while arriving: a body rejected only when complete would read "Invalid update feed.".
        QTest::newRow("300 KB") << nginx.secureUrl(QStringLiteral("/big.json"))
                                << failure(QStringLiteral("The update feed is too large."));
        QTest::newRow("300 KB without a length")
            << plain.url("/unsized.json") << failure(QStringLiteral("The update feed is too large."));
        QTest::newRow("refused") << QUrl(
                                        QStringLiteral("https://127.0.0.1:%1/upgrade.json").arg(closedPort()))
                                 << failure(QStringLiteral("Connection refused"));
    }

    void answersARequestedCheck()
    {
        QFETCH(QUrl, feed);
        QFETCH(QStringList, shown);
        const int plainRequests = plain.requestCount();
        UpdateChecker checker(&window, feed);
        checker.check(true);
        auto *dialog = window.findChild<UpdateDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(summary(*dialog).constFirst(), QStringLiteral("Checking for updates…"));
        // Well within the 15 s transfer timeout, which would also end an oversized answer held back
        // unread: the size guard has to cut it off while it arrives.
        QTRY_VERIFY_WITH_TIMEOUT(checker.state() != State::Checking, 10000);
        QCOMPARE(summary(*dialog), shown);
        // No redirect is followed to the plain server.
        if (feed.port() != plain.port())
            QCOMPARE(plain.requestCount(), plainRequests);
    }

    void silentCheckAnnouncesOnlyAnUpdateToAVisibleWindow_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("questionOpen");
        QTest::addColumn<bool>("announced");
        QTest::newRow("update") << "/newer.json" << true << false << true;
        QTest::newRow("nothing new") << "/same.json" << true << false << false;
        QTest::newRow("window in the tray") << "/newer.json" << false << false << false;
        QTest::newRow("a question is open") << "/newer.json" << true << true << false;
    }

    void silentCheckAnnouncesOnlyAnUpdateToAVisibleWindow()
    {
        QFETCH(QString, path);
        QFETCH(bool, visible);
        QFETCH(bool, questionOpen);
        QFETCH(bool, announced);
        window.setVisible(visible);
        QDialog question;
        question.setWindowModality(Qt::ApplicationModal);
        question.setVisible(questionOpen);
        const qsizetype logged = nginx.accessLog().size();
        UpdateChecker checker(&window, nginx.secureUrl(path));
        checker.check(false);
        QVERIFY(!window.findChild<UpdateDialog *>());
        QTRY_VERIFY_WITH_TIMEOUT(checker.state() != State::Checking, 30000);
        const auto *dialog = window.findChild<UpdateDialog *>();
        QCOMPARE(dialog != nullptr, announced);
        if (dialog)
            QCOMPARE(summary(*dialog).constFirst(), QStringLiteral("An update is available"));
        // Over HTTP/1.1, where the read buffer holds an oversized answer back, and named as the program.
        QTRY_COMPARE(nginx.accessLog().size(), logged + 1);
        QCOMPARE(nginx.accessLog().constLast().protocol, QByteArray("HTTP/1.1"));
        QCOMPARE(nginx.accessLog().constLast().userAgent, "Rushlet/" + version.toUtf8());
    }

    void downloadOpensTheLink()
    {
        UpdateChecker checker(&window, nginx.secureUrl(QStringLiteral("/newer.json")));
        checker.check(true);
        const auto *dialog = window.findChild<UpdateDialog *>();
        QTRY_COMPARE_WITH_TIMEOUT(checker.state(), State::UpdateAvailable, 30000);
        auto *download = dialog->findChild<QPushButton *>(QStringLiteral("updateDownload"));
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "receiveLink");
        QTest::mouseClick(download, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(receivedLinks, QList<QUrl>{downloadLink});
        // The offscreen platform has no URL handler of its own, like a desktop without a browser.
        QTest::mouseClick(download, Qt::LeftButton);
        QCOMPARE(summary(*dialog).at(1), QStringLiteral("Could not open the download link."));
        QVERIFY(dialog->isVisible());

        // The open dialog follows a language switch.
        Localization::setLanguage(QStringLiteral("ja"));
        const QString title = Localization::translate(QStringLiteral("An update is available"));
        QVERIFY(title != QStringLiteral("An update is available"));
        QCOMPARE(summary(*dialog).constFirst(), title);
    }

    // The only test that waits out the 20 s deadline.
    void deadlineEndsATricklingAnswer()
    {
        plain.setResource("/slow.json", {QByteArray(10000, ' ')});
        plain.setBytesPerSecond(100);
        const int before = plain.requestCount();
        UpdateChecker checker(&window, plain.url("/slow.json"));
        QElapsedTimer clock;
        clock.start();
        checker.check(false);
        QTRY_COMPARE(plain.requestCount(), before + 1);
        // A requested check while one is under way sends nothing; its dialog follows the one under way.
        checker.check(true);
        const auto *dialog = window.findChild<UpdateDialog *>();
        QCOMPARE(summary(*dialog).constFirst(), QStringLiteral("Checking for updates…"));
        QTRY_COMPARE_WITH_TIMEOUT(checker.state(), State::Failed, 40000);
        plain.setBytesPerSecond(0);
        // Bytes keep arriving, so the 15 s transfer timeout never fires; the deadline does.
        QVERIFY2(clock.elapsed() > 18500 && clock.elapsed() < 30000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(summary(*dialog).at(1),
                 failedText + QStringLiteral("The update server did not answer in time."));
        QCOMPARE(plain.requestCount(), before + 1);

        // Retry asks again at once, hiding the last outcome's buttons meanwhile.
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("updateRetry")), Qt::LeftButton);
        QCOMPARE(summary(*dialog), (QStringList{QStringLiteral("Checking for updates…"),
                                                QStringLiteral("Current version: ") + version, QString(),
                                                QStringLiteral("Done")}));
        QTRY_COMPARE_WITH_TIMEOUT(checker.state(), State::Failed, 30000);
        QCOMPARE(plain.requestCount(), before + 2);

        // Once the program is closing, the dialog goes and nothing is checked or shown any more.
        checker.shutDown();
        QTRY_VERIFY(!window.findChild<UpdateDialog *>());
        checker.check(true);
        QVERIFY(!window.findChild<UpdateDialog *>());
        QCOMPARE(plain.requestCount(), before + 2);
    }

private:
    TestEnvironment environment;
    TestHttpServer plain;
    NginxServer nginx;
    QWidget window;
    QList<QUrl> receivedLinks;
};

QTEST_MAIN(TestUpdateChecker)
#include "tst_UpdateChecker.moc"
