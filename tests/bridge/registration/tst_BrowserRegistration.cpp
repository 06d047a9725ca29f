#include "bridge/registration/BrowserRegistration.h"
#include "platform/NativeMessagingHosts.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

// A public key with the id Chromium showed for it, and the byte values 0, 1, 2 ... as stand-in keys.
const QString verifiedKey =
    QStringLiteral("MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAxVp9/"
                   "TkUZb+14KLkl47vADPFHKHHoQWjqQ86wrd+zh+NX1QxGgo7ulZmeZGCMyRZdUcm8oG6qA9/"
                   "vuayyBzw5oyR5ZT0jeODfFD0oQtu5nTzuG0VIC5T56OpV0t2MPva6HIdHSjoZs+T6UFTJc0gbOW93S15EPsfrQ2Z/"
                   "RUqhfLgXKIYSlO1E7NoMbKv1OGcF0AqePg+oYq6TWT2K02DJOEf9AnaOV/"
                   "xiv+1jmvGXom4gx0DuIJgHyGFFxUt96uKAlYrw2dvBNOxFT4HI4+XhR8v7fsY+c4Q8EqgOx/"
                   "TUwQIml0U38k4zlbNUXji//HtuITRjfmlXdqabZ2Wopd+gwIDAQAB");
const QString countingBytes128 = QStringLiteral(
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xN"
    "Tk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn8=");
const QString countingBytes127 = QStringLiteral(
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xN"
    "Tk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fg==");

QString shippedKey()
{
    const QByteArray manifest = TestEnvironment::readFile(qEnvironmentVariable("RUSHLET_SOURCE_DIR") +
                                                          QStringLiteral("/chrome-extension/manifest.json"));
    return QJsonDocument::fromJson(manifest).object().value(QStringLiteral("key")).toString();
}

QString extensionManifest(const QString &key)
{
    return QStringLiteral(R"({"manifest_version": 3, "name": "Rushlet", "key": "%1"})").arg(key);
}

} // namespace

class ChromeBridgeRegistrationTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    QString applicationFolder;
    QString manifestFolder;

    // A packaged application folder: the two programs and the extension with the given key.
    void package(const QString &key, const QStringList &leaveOut = {})
    {
        QDir(applicationFolder).removeRecursively();
        const QStringList files = {QStringLiteral("Rushlet"), QStringLiteral("RushletNativeHost"),
                                   QStringLiteral("chrome-extension/manifest.json")};
        for (const QString &file : files) {
            if (!leaveOut.contains(file)) {
                const QByteArray content = file.endsWith(QStringLiteral(".json"))
                                               ? extensionManifest(key).toUtf8()
                                               : QByteArray("#!/bin/sh\n");
                QVERIFY(TestEnvironment::writeFile(applicationFolder + u'/' + file, content));
            }
        }
    }

    QStringList browserCopies(const QString &hostName) const
    {
        QStringList copies;
        for (const QString &folder : NativeMessagingHosts::manifestFolders())
            copies << folder + u'/' + hostName + QStringLiteral(".json");
        return copies;
    }

    void removeEverythingWritten()
    {
        QDir(manifestFolder).removeRecursively();
        for (const QString &copy : browserCopies(QStringLiteral("com.rushlet.downloader")))
            QFile::remove(copy);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        applicationFolder = environment.scratch() + QStringLiteral("/application");
        manifestFolder = environment.dataFolder();
    }

    void init() { removeEverythingWritten(); }

    void extensionId_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("id");
        QTest::newRow("key whose id Chromium reported")
            << verifiedKey << QStringLiteral("fgpcedeakdedicomjmpoaffffaddfafb");
        QTest::newRow("the shipped extension")
            << shippedKey() << QStringLiteral("okiacolcaijfagdnonpbjjoahkkhiibm");
        QTest::newRow("128 bytes is long enough")
            << countingBytes128 << QStringLiteral("ehbpljedkkcdmfbbpgphcpinbgfcnjmi");
        QTest::newRow("127 bytes is too short") << countingBytes127 << QString();
        QTest::newRow("character outside Base64") << QString(verifiedKey).replace(10, 1, u'!') << QString();
        QTest::newRow("space inside the key") << QString(verifiedKey).insert(40, u' ') << QString();
        QTest::newRow("non-Latin character")
            << QString(verifiedKey).replace(10, 1, QChar(0x00e9)) << QString();
        QTest::newRow("empty") << QString() << QString();
    }

    void extensionId()
    {
        QFETCH(QString, key);
        QFETCH(QString, id);
        QCOMPARE(ChromeBridgeRegistration::extensionId(key), id);
    }

    void registrationWritesManifestAndPointsBrowsersAtIt()
    {
        package(verifiedKey);
        for (const QString &legacy : browserCopies(QStringLiteral("com.brio.downloader")))
            QVERIFY(TestEnvironment::writeFile(legacy, "{}"));

        QCOMPARE(ChromeBridgeRegistration::registerBridge(applicationFolder, manifestFolder), QString());
        ChromeBridgeRegistration::removeLegacyBridge();

        const QString path = manifestFolder + QStringLiteral("/com.rushlet.downloader.json");
        const QByteArray written = TestEnvironment::readFile(path);
        const QJsonObject manifest = QJsonDocument::fromJson(written).object();
        QCOMPARE(manifest.value(QStringLiteral("name")).toString(), QStringLiteral("com.rushlet.downloader"));
        QCOMPARE(manifest.value(QStringLiteral("description")).toString(),
                 QStringLiteral("Rushlet desktop downloader"));
        QCOMPARE(manifest.value(QStringLiteral("path")).toString(),
                 applicationFolder + QStringLiteral("/RushletNativeHost"));
        QCOMPARE(manifest.value(QStringLiteral("type")).toString(), QStringLiteral("stdio"));
        QCOMPARE(manifest.value(QStringLiteral("allowed_origins")).toArray(),
                 QJsonArray{QStringLiteral("chrome-extension://fgpcedeakdedicomjmpoaffffaddfafb/")});
        QVERIFY2(written.contains("\n    \""), "the manifest is written indented");

        for (const QString &copy : browserCopies(QStringLiteral("com.rushlet.downloader")))
            QCOMPARE(TestEnvironment::readFile(copy), written);
        for (const QString &legacy : browserCopies(QStringLiteral("com.brio.downloader")))
            QVERIFY2(!QFile::exists(legacy), qPrintable(legacy));
    }

    void repeatedRegistrationRewritesEverything()
    {
        package(verifiedKey);
        QCOMPARE(ChromeBridgeRegistration::registerBridge(applicationFolder, manifestFolder), QString());
        package(countingBytes128);
        QCOMPARE(ChromeBridgeRegistration::registerBridge(applicationFolder, manifestFolder), QString());

        QCOMPARE(QDir(manifestFolder).entryList(QDir::Files),
                 QStringList{QStringLiteral("com.rushlet.downloader.json")});
        const QByteArray written =
            TestEnvironment::readFile(manifestFolder + QStringLiteral("/com.rushlet.downloader.json"));
        QVERIFY(written.contains("chrome-extension://ehbpljedkkcdmfbbpgphcpinbgfcnjmi/"));
        for (const QString &copy : browserCopies(QStringLiteral("com.rushlet.downloader"))) {
            QCOMPARE(TestEnvironment::readFile(copy), written);
            QCOMPARE(QDir(QFileInfo(copy).absolutePath()).entryList(QDir::Files).size(), 1);
        }
    }

    void refusalWritesNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("leaveOut");
        QTest::addColumn<QString>("message");
        const QString missing = QStringLiteral(
            "Setup files are missing. Run Rushlet from the packaged application folder, which includes "
            "RushletNativeHost and chrome-extension.");
        const QString badKey = QStringLiteral("The extension manifest does not contain a valid public key.");
        QTest::newRow("no native host")
            << verifiedKey << QStringList{QStringLiteral("RushletNativeHost")} << missing;
        QTest::newRow("no main program") << verifiedKey << QStringList{QStringLiteral("Rushlet")} << missing;
        QTest::newRow("no extension")
            << verifiedKey << QStringList{QStringLiteral("chrome-extension/manifest.json")} << missing;
        QTest::newRow("key too short") << countingBytes127 << QStringList() << badKey;
        QTest::newRow("no key") << QString() << QStringList() << badKey;
    }

    void refusalWritesNothing()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, leaveOut);
        QFETCH(QString, message);
        package(key, leaveOut);

        QCOMPARE(ChromeBridgeRegistration::registerBridge(applicationFolder, manifestFolder), message);
        QVERIFY(!QFile::exists(manifestFolder + QStringLiteral("/com.rushlet.downloader.json")));
        for (const QString &copy : browserCopies(QStringLiteral("com.rushlet.downloader")))
            QVERIFY(!QFile::exists(copy));
    }

    void unwritableDataFolderKeepsBrowsersUntouched()
    {
        package(verifiedKey);
        // A file where the folder should be: root ignores permissions, a file cannot be a folder.
        QVERIFY(TestEnvironment::writeFile(manifestFolder, "not a folder"));

        QCOMPARE(ChromeBridgeRegistration::registerBridge(applicationFolder, manifestFolder),
                 QStringLiteral("Could not save the bridge configuration."));
        for (const QString &copy : browserCopies(QStringLiteral("com.rushlet.downloader")))
            QVERIFY(!QFile::exists(copy));
        QFile::remove(manifestFolder);
    }

    void unwritableBrowserFolderIsReported()
    {
        package(verifiedKey);
        const QStringList folders = NativeMessagingHosts::manifestFolders();
        const QString blocked = QFileInfo(folders.last()).absolutePath();
        QDir(blocked).removeRecursively();
        QVERIFY(TestEnvironment::writeFile(blocked, "not a folder"));

        QCOMPARE(ChromeBridgeRegistration::registerBridge(applicationFolder, manifestFolder),
                 QStringLiteral("Could not register the Chrome bridge for your user account."));
        // The manifest is saved already; the browser that can be told still is.
        const QByteArray written =
            TestEnvironment::readFile(manifestFolder + QStringLiteral("/com.rushlet.downloader.json"));
        QVERIFY(!written.isEmpty());
        QCOMPARE(TestEnvironment::readFile(folders.first() + QStringLiteral("/com.rushlet.downloader.json")),
                 written);
        QFile::remove(blocked);
    }
};

QTEST_GUILESS_MAIN(ChromeBridgeRegistrationTest)
#include "tst_BrowserRegistration.moc"
