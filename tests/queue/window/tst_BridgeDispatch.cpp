#include "queue/window/MainWindow.h"
#include "tests/support/BridgeTestClient.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QTest>

namespace {

QJsonObject request(const QJsonValue &type)
{
    return {{QStringLiteral("type"), type}};
}

const QJsonObject ok = BridgeTestClient::okReply();

} // namespace

// How the main window answers what arrives over the bridge.
class TestBridgeDispatch : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
    }

    void showBringsTheWindowBack()
    {
        MainWindow window;
        QCOMPARE(window.handleBridgeRequest(request(QStringLiteral("ping"))), ok);
        QVERIFY(!window.isVisible());

        QCOMPARE(window.handleBridgeRequest(request(QStringLiteral("show"))), ok);
        QVERIFY(window.isVisible());

        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());
        QCOMPARE(window.handleBridgeRequest(request(QStringLiteral("show"))), ok);
        QTRY_VERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
    }

    void unknownRequests_data()
    {
        QTest::addColumn<QJsonObject>("request");
        QTest::newRow("other type") << request(QStringLiteral("Show"));
        QTest::newRow("type a number") << request(3);
        QTest::newRow("type null") << request(QJsonValue::Null);
        QTest::newRow("no type") << QJsonObject();
        QTest::newRow("download without id")
            << QJsonObject{{QStringLiteral("type"), QStringLiteral("download")},
                           {QStringLiteral("url"), QStringLiteral("https://example.com/a.zip")}};
    }

    void unknownRequests()
    {
        QFETCH(QJsonObject, request);
        MainWindow window;
        QCOMPARE(window.handleBridgeRequest(request),
                 BridgeTestClient::errorReply(QStringLiteral("Invalid download URL.")));
    }

    // Once shutting down, nothing is carried out, not even a ping or a show.
    void closingAnswersEverything()
    {
        MainWindow window;
        window.shutdown();
        const QJsonObject closing = BridgeTestClient::errorReply(QStringLiteral("Rushlet is closing."));
        QCOMPARE(window.handleBridgeRequest(request(QStringLiteral("ping"))), closing);
        QCOMPARE(window.handleBridgeRequest(request(QStringLiteral("show"))), closing);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.handleBridgeRequest(
                     QJsonObject{{QStringLiteral("type"), QStringLiteral("download")},
                                 {QStringLiteral("url"), QStringLiteral("https://a.example/b")},
                                 {QStringLiteral("id"), QStringLiteral("b1")}}),
                 closing);
    }
};

QTEST_MAIN(TestBridgeDispatch)
#include "tst_BridgeDispatch.moc"
