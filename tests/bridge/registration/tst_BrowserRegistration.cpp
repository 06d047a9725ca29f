#include "bridge/registration/BrowserRegistration.h"
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

const QString hostFile = QStringLiteral("/com.rushlet.downloader.json");
const QString legacyFile = QStringLiteral("/com.brio.downloader.json");
const QString wrapperFile = QStringLiteral("/rushlet-native-host.sh");

} // namespace

class BrowserRegistrationTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    QString applicationFolder;
    QString manifestFolder;

    // A packaged application folder: the two programs and the extensions, Chrome's with the given key.
    void package(const QString &key, const QStringList &leaveOut = {})
    {
        QDir(applicationFolder).removeRecursively();
        const QStringList files = {QStringLiteral("Rushlet"), QStringLiteral("RushletNativeHost"),
                                   QStringLiteral("chrome-extension/manifest.json"),
                                   QStringLiteral("firefox-extension/manifest.json")};
        for (const QString &file : files) {
            if (!leaveOut.contains(file)) {
                const QByteArray content = file.endsWith(QStringLiteral(".json"))
                                               ? extensionManifest(key).toUtf8()
                                               : QByteArray("#!/bin/sh\n");
                QVERIFY(TestEnvironment::writeFile(applicationFolder + u'/' + file, content));
            }
        }
    }

    QString home(const QString &relative) const { return environment.home() + u'/' + relative; }

    // A home in which the browsers of `configurationFolders` have run.
    void haveBrowsers(const QStringList &configurationFolders)
    {
        QDir(environment.home()).removeRecursively();
        QDir(environment.flatpakSystemDir()).removeRecursively();
        for (const QString &folder : configurationFolders)
            QVERIFY(QDir().mkpath(home(folder)));
        QVERIFY(QDir().mkpath(environment.configHome()));
    }

    QJsonObject expectedManifest(const QString &program, bool firefox) const
    {
        QJsonObject manifest{
            {QStringLiteral("name"), QStringLiteral("com.rushlet.downloader")},
            {QStringLiteral("description"), QStringLiteral("Rushlet desktop downloader")},
            {QStringLiteral("path"), program},
            {QStringLiteral("type"), QStringLiteral("stdio")},
            {QStringLiteral("allowed_extensions"), QJsonArray{QStringLiteral(RUSHLET_FIREFOX_ADDON_ID)}},
        };
        if (!firefox) {
            manifest.insert(
                QStringLiteral("allowed_origins"),
                QJsonArray{QStringLiteral("chrome-extension://fgpcedeakdedicomjmpoaffffaddfafb/")});
        }
        return manifest;
    }

    QList<BrowserRegistration::State> states(const BrowserRegistration::Outcome &outcome) const
    {
        QList<BrowserRegistration::State> found;
        for (const BrowserRegistration::BrowserStatus &browser : outcome.browsers)
            found.append(browser.state);
        return found;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        applicationFolder = environment.scratch() + QStringLiteral("/application");
        manifestFolder = environment.dataFolder();
    }

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
        QCOMPARE(BrowserRegistration::extensionId(key), id);
    }

    void registersEveryBrowserFound_data()
    {
        // The folders the browsers created, and the folders the registration must write into, in the
        // order the browsers are listed. Sandboxed browsers see only their own folder below .var/app
        // and reach the host through the wrapper; Firefox reads its own form.
        QTest::addColumn<QStringList>("configurationFolders");
        QTest::addColumn<QStringList>("written");
        QTest::newRow("the Chromium family")
            << QStringList{".config/google-chrome", ".config/chromium", ".config/BraveSoftware/Brave-Browser",
                           ".config/vivaldi", ".config/microsoft-edge"}
            << QStringList{
                   ".config/google-chrome/NativeMessagingHosts", ".config/chromium/NativeMessagingHosts",
                   ".config/BraveSoftware/Brave-Browser/NativeMessagingHosts",
                   ".config/vivaldi/NativeMessagingHosts", ".config/microsoft-edge/NativeMessagingHosts"};
        QTest::newRow("test channels")
            << QStringList{".config/microsoft-edge-dev", ".config/google-chrome-beta",
                           ".config/google-chrome-unstable", ".config/microsoft-edge-beta"}
            << QStringList{".config/google-chrome-beta/NativeMessagingHosts",
                           ".config/google-chrome-unstable/NativeMessagingHosts",
                           ".config/microsoft-edge-beta/NativeMessagingHosts",
                           ".config/microsoft-edge-dev/NativeMessagingHosts"};
        QTest::newRow("snap and Flatpak")
            << QStringList{"snap/chromium/common",           ".var/app/com.brave.Browser",
                           ".var/app/org.mozilla.firefox",   ".var/app/com.google.Chrome",
                           ".var/app/org.chromium.Chromium", ".mozilla"}
            << QStringList{
                   "snap/chromium/common/chromium/NativeMessagingHosts",
                   ".mozilla/native-messaging-hosts",
                   ".var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts",
                   ".var/app/com.google.Chrome/config/google-chrome/NativeMessagingHosts",
                   ".var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts",
                   ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/NativeMessagingHosts"};
        QTest::newRow("Firefox with its profiles in the configuration folder")
            << QStringList{".config/mozilla/firefox"} << QStringList{".mozilla/native-messaging-hosts"};
        QTest::newRow("no browser the bridge knows")
            << QStringList{".config/opera", ".var/app/org.gnome.Epiphany", "snap/firefox"} << QStringList{};
    }

    // The manifest each browser reads, in its own folder and its own form, for exactly the browsers
    // that ran here; the earlier product's manifest beside ours goes.
    void registersEveryBrowserFound()
    {
        QFETCH(QStringList, configurationFolders);
        QFETCH(QStringList, written);
        haveBrowsers(configurationFolders);
        package(verifiedKey);
        for (const QString &folder : std::as_const(written))
            QVERIFY(TestEnvironment::writeFile(home(folder) + legacyFile, "{}"));

        const BrowserRegistration::Outcome outcome =
            BrowserRegistration::registerBrowsers(applicationFolder, manifestFolder);
        QCOMPARE(outcome.error, QString());
        QVERIFY(outcome.saved);

        const QString host = applicationFolder + QStringLiteral("/RushletNativeHost");
        const QByteArray record = TestEnvironment::readFile(manifestFolder + hostFile);
        QCOMPARE(QJsonDocument::fromJson(record).object(), expectedManifest(host, false));
        QVERIFY2(record.contains("\n    \""), "the manifest is written indented");

        QStringList expectedFiles{manifestFolder.mid(environment.home().size() + 1) + hostFile};
        QCOMPARE(outcome.browsers.size(), written.size());
        for (qsizetype i = 0; i < written.size(); ++i) {
            const QString folder = home(written.at(i));
            const bool sandboxed = written.at(i).startsWith(QStringLiteral(".var/"));
            const bool firefox = written.at(i).contains(QStringLiteral("mozilla"));
            const BrowserRegistration::BrowserStatus &browser = outcome.browsers.at(i);
            QCOMPARE(browser.browser.manifestFolder, folder);
            QCOMPARE(browser.extensionFolder,
                     QDir::toNativeSeparators(applicationFolder +
                                              (firefox ? "/firefox-extension" : "/chrome-extension")));
            // A sandboxed browser still needs the user's permission, and the user is told how.
            QCOMPARE(browser.state, sandboxed ? BrowserRegistration::State::NeedsPermission
                                              : BrowserRegistration::State::Registered);
            QCOMPARE(browser.permissionCommand.isEmpty(), !sandboxed);

            const QString program = sandboxed ? folder + wrapperFile : host;
            QCOMPARE(QJsonDocument::fromJson(TestEnvironment::readFile(folder + hostFile)).object(),
                     expectedManifest(program, firefox));
            expectedFiles << written.at(i) + hostFile;
            if (sandboxed) {
                expectedFiles << written.at(i) + wrapperFile;
                QVERIFY(QFileInfo(program).isExecutable());
                QCOMPARE(TestEnvironment::readFile(program).split('\n').at(3),
                         "exec flatpak-spawn --host '" + host.toUtf8() + "' \"$@\"");
            }
        }
        expectedFiles.sort();
        QCOMPARE(TestEnvironment::filesBelow(environment.home()), expectedFiles);
    }

    // What the setup shows for each browser follows the files as they are, whoever changed them.
    void statesFollowTheFiles()
    {
        haveBrowsers({QStringLiteral(".config/chromium"), QStringLiteral(".var/app/org.mozilla.firefox")});
        package(verifiedKey);
        using State = BrowserRegistration::State;
        const auto inspected = [this] {
            return states(BrowserRegistration::inspect(applicationFolder, manifestFolder));
        };
        QCOMPARE(inspected(), QList<State>({State::NotRegistered, State::NotRegistered}));
        QVERIFY(!BrowserRegistration::inspect(applicationFolder, manifestFolder).saved);
        QCOMPARE(BrowserRegistration::registerBrowsers(applicationFolder, manifestFolder).error, QString());
        QCOMPARE(inspected(), QList<State>({State::Registered, State::NeedsPermission}));

        const QString overrides = environment.dataHome() + QStringLiteral("/flatpak/overrides/");
        const QByteArray talk = "[Session Bus Policy]\norg.freedesktop.Flatpak=talk\n";
        QVERIFY(TestEnvironment::writeFile(overrides + QStringLiteral("org.mozilla.firefox"),
                                           "[Context]\nshared=network\n\n" + talk));
        QCOMPARE(inspected(), QList<State>({State::Registered, State::Registered}));

        const QString sandboxFolder =
            home(QStringLiteral(".var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts"));
        QVERIFY(QFile::setPermissions(sandboxFolder + wrapperFile, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(inspected(), QList<State>({State::Registered, State::NeedsRepair}));

        // Rushlet moved: the browsers and the host's own manifest still name the old host.
        const QString packaged = applicationFolder;
        applicationFolder = environment.scratch() + QStringLiteral("/moved");
        package(verifiedKey);
        QCOMPARE(inspected(), QList<State>({State::NeedsRepair, State::NeedsRepair}));
        QCOMPARE(BrowserRegistration::registerBrowsers(applicationFolder, manifestFolder).error, QString());
        QCOMPARE(inspected(), QList<State>({State::Registered, State::Registered}));
        applicationFolder = packaged;

        // Without the data folder's manifest the host refuses everyone, however the browsers stand.
        QVERIFY(QFile::remove(manifestFolder + hostFile));
        QCOMPARE(inspected(), QList<State>({State::NeedsRepair, State::NeedsRepair}));
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
        haveBrowsers({QStringLiteral(".config/chromium"), QStringLiteral(".mozilla")});
        package(key, leaveOut);

        const BrowserRegistration::Outcome outcome =
            BrowserRegistration::registerBrowsers(applicationFolder, manifestFolder);
        QCOMPARE(outcome.error, message);
        QVERIFY(!outcome.saved);
        QCOMPARE(TestEnvironment::filesBelow(environment.home()), QStringList());
        QCOMPARE(states(outcome),
                 QList<BrowserRegistration::State>(2, BrowserRegistration::State::NotRegistered));
    }

    void unwritableDataFolderKeepsBrowsersUntouched()
    {
        haveBrowsers({QStringLiteral(".config/chromium")});
        package(verifiedKey);
        // A file where the folder should be: root ignores permissions, a file cannot be a folder.
        QVERIFY(TestEnvironment::writeFile(manifestFolder, "not a folder"));

        const BrowserRegistration::Outcome outcome =
            BrowserRegistration::registerBrowsers(applicationFolder, manifestFolder);
        QCOMPARE(outcome.error, QStringLiteral("Could not save the bridge configuration."));
        QVERIFY(!outcome.saved);
        QCOMPARE(TestEnvironment::filesBelow(environment.home()),
                 QStringList{manifestFolder.mid(environment.home().size() + 1)});
    }

    // One browser's folder failing does not keep the others from working, and is reported.
    void unwritableBrowserFolderIsReported()
    {
        haveBrowsers({QStringLiteral(".config/google-chrome"), QStringLiteral(".mozilla")});
        package(verifiedKey);
        QVERIFY(TestEnvironment::writeFile(home(QStringLiteral(".config/google-chrome/NativeMessagingHosts")),
                                           "not a folder"));

        const BrowserRegistration::Outcome outcome =
            BrowserRegistration::registerBrowsers(applicationFolder, manifestFolder);
        QCOMPARE(outcome.error, QStringLiteral("Could not register every browser for your user account."));
        QVERIFY(outcome.saved);
        QCOMPARE(states(outcome),
                 QList<BrowserRegistration::State>(
                     {BrowserRegistration::State::NotRegistered, BrowserRegistration::State::Registered}));
        QVERIFY(QFileInfo::exists(home(QStringLiteral(".mozilla/native-messaging-hosts")) + hostFile));
    }
};

QTEST_GUILESS_MAIN(BrowserRegistrationTest)
#include "tst_BrowserRegistration.moc"
