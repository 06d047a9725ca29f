#include "engine/DownloadMetaTypes.h"
#include "queue/actions/AddressChangeFlow.h"
#include "queue/actions/DownloadContextMenu.h"
#include "queue/actions/TextEntryDialog.h"
#include "queue/list/DownloadList.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"
#include "ui/ModalDialogs.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <optional>

using namespace EngineTestSupport;

namespace {

constexpr int eventLimitMs = 30000;
const QString id = QStringLiteral("d");

// The bytes the server sent for one path.
qint64 bytesServedFor(const TestHttpServer &server, const QByteArray &path)
{
    qint64 sum = 0;
    for (const TestHttpServer::Request &request : server.requests()) {
        if (request.path == path)
            sum += request.bodyBytesSent;
    }
    return sum;
}

// Answers the next message box with `button` and keeps its text.
void answerBox(QString *text, int button)
{
    ModalDialogs::answerNext([text, button](QDialog &dialog) {
        *text = static_cast<QMessageBox &>(dialog).text();
        return button;
    });
}

} // namespace

class TestAddressChange : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<DownloadList> list;
    QWidget window;
    QByteArray body;
    QString destination;

    QString checkpointUrl() const
    {
        return QJsonDocument::fromJson(readFile(destination + QStringLiteral(".rushlet.json")))
            .object()
            .value(QStringLiteral("url"))
            .toString();
    }

    // A download of /old that stopped a third of the way, its checkpoint on disk.
    void pausedMidway(const TestHttpServer::Resource &resource)
    {
        server->setResource("/old", resource);
        server->setBytesPerSecond(400'000);
        DownloadSnapshot snapshot;
        snapshot.id = id;
        snapshot.url = server->url("/old");
        snapshot.destination = destination;
        QVERIFY(list->addDownload(snapshot));
        list->startDownload(id);
        QTRY_VERIFY_WITH_TIMEOUT(list->entry(id)->snapshot.received > body.size() / 3, eventLimitMs);
        list->pauseDownload(id);
        QTRY_COMPARE_WITH_TIMEOUT(list->entry(id)->snapshot.status, DownloadStatus::Paused, eventLimitMs);
        QCOMPARE(checkpointUrl(), server->url("/old").toString());
        server->setBytesPerSecond(0);
        server->clearRequests();
    }

    // Runs the check and waits for its end; whether the address was changed.
    std::optional<bool> changeTo(const QByteArray &path, const RequestContext &context = {})
    {
        std::optional<bool> changed;
        AddressChangeFlow::check(
            *list, id, server->url(path), &window, [&changed](bool done) { changed = done; }, context);
        if (!QTest::qWaitFor([&changed] { return changed.has_value(); }, eventLimitMs))
            return std::nullopt;
        return changed;
    }

    void expectUnchanged()
    {
        QCOMPARE(list->entry(id)->snapshot.url, server->url("/old"));
        QCOMPARE(list->entry(id)->snapshot.status, DownloadStatus::Paused);
        QCOMPARE(checkpointUrl(), server->url("/old").toString());
        QVERIFY(QFile::exists(destination + QStringLiteral(".rushlet.part")));
    }

private slots:
    void initTestCase()
    {
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        body = randomBody(2'000'000, 5);
    }

    void init()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        environment->applyToCurrentProcess();
        server = std::make_unique<TestHttpServer>();
        QVERIFY(server->start());
        list = std::make_unique<DownloadList>();
        destination = environment->scratch() + QStringLiteral("/file.bin");
    }

    void cleanup()
    {
        list.reset();
        server.reset();
        QCOMPARE(ModalDialogs::pendingAnswers(), 0);
    }

    // From the context menu: the same file at a new address, proven by its size and ETag, goes on
    // from the checkpoint; only the missing bytes come from the new address.
    void sameFileGoesOnFromTheCheckpoint()
    {
        pausedMidway(resource(body));
        server->setResource("/new", resource(body));
        const qint64 kept = list->entry(id)->snapshot.received;

        DownloadContextMenu menu(*list, id, &window);
        QVERIFY(menu.changeAddressAction()->isEnabled());
        ModalDialogs::answerNext([this](QDialog &dialog) {
            auto &entry = static_cast<TextEntryDialog &>(dialog);
            // Checked as typed: the current address is no new one.
            entry.field()->setText(server->url("/old").toString());
            if (entry.acceptButton()->isEnabled())
                return int(QDialog::Rejected);
            entry.field()->setText(server->url("/new").toString());
            return entry.acceptButton()->isEnabled() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        menu.open(window.mapToGlobal(QPoint()));
        menu.changeAddressAction()->trigger();
        menu.close();

        QTRY_COMPARE_WITH_TIMEOUT(list->entry(id)->snapshot.status, DownloadStatus::Completed, eventLimitMs);
        QCOMPARE(list->entry(id)->snapshot.url, server->url("/new"));
        QVERIFY(readFile(destination) == body);
        QCOMPARE(bytesServedFor(*server, "/old"), 0);
        // Beside the missing bytes, the first byte twice: for the check and for the engine's probe.
        QCOMPARE(bytesServedFor(*server, "/new"), body.size() - kept + 2);
    }

    // The link comes from the browser here: the check asks with the browser's session, as the
    // engine would, since a site that hands out signed links often wants its cookie too.
    void anotherFileChangesNothing()
    {
        pausedMidway(resource(body));
        server->setResource("/new", resource(body, "\"v2\""));
        RequestContext session;
        session.userAgent = "Browser/2.0";
        session.cookies.append({"sid", "abc", server->url("/").host()});
        QString warning;
        answerBox(&warning, QMessageBox::Ok);
        QCOMPARE(changeTo("/new", session), false);
        QVERIFY(warning.contains(QStringLiteral("its ETag differs")));
        expectUnchanged();
        QCOMPARE(bytesServedFor(*server, "/new"), 1);
        const TestHttpServer::Request asked = server->requests().constLast();
        QCOMPARE(asked.header("User-Agent"), QByteArray("Browser/2.0"));
        QCOMPARE(asked.header("Cookie"), QByteArray("sid=abc"));
    }

    // Without a validator on either side nothing proves it is the same file: the person decides,
    // and only a start over from zero is offered.
    void withoutValidatorsOnlyAStartOverFromZero()
    {
        pausedMidway(resource(body, {}, {}));
        server->setResource("/new", resource(body, {}, {}));
        QString question;
        answerBox(&question, QMessageBox::No);
        QCOMPARE(changeTo("/new"), false);
        QVERIFY(question.contains(QStringLiteral("Start the download over from zero")));
        expectUnchanged();

        answerBox(&question, QMessageBox::Yes);
        QCOMPARE(changeTo("/new"), true);
        QTRY_COMPARE_WITH_TIMEOUT(list->entry(id)->snapshot.status, DownloadStatus::Completed, eventLimitMs);
        QVERIFY(readFile(destination) == body);
        // All of it, after two checks and the engine's probe of one byte each.
        QCOMPARE(bytesServedFor(*server, "/new"), body.size() + 3);
    }
};

QTEST_MAIN(TestAddressChange)
#include "tst_AddressChange.moc"
