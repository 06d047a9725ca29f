#include "bridge/registration/BrowserRegistration.h"
#include "platform/FlatpakSandbox.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using BrowserRegistration::State;

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

const QString hostFile = QStringLiteral("/com.rushlet.downloader.json");
const QString wrapperFile = QStringLiteral("/rushlet-native-host.sh");
// The data folder, below the home folder.
const QString data = QStringLiteral(".local/share/Rushlet/Rushlet");

QList<State> states(const BrowserRegistration::Outcome &outcome)
{
    QList<State> found;
    for (const BrowserRegistration::BrowserStatus &browser : outcome.browsers)
        found.append(browser.state);
    return found;
}

// The manifest in Chrome's form, or in Firefox's, which has no allowed_origins.
QJsonObject expectedManifest(const QString &program, bool firefox)
{
    QJsonObject manifest{{"name", "com.rushlet.downloader"},
                         {"description", "Rushlet desktop downloader"},
                         {"path", program},
                         {"type", "stdio"},
                         {"allowed_extensions", QJsonArray{RUSHLET_FIREFOX_ADDON_ID}}};
    if (!firefox)
        manifest.insert("allowed_origins",
                        QJsonArray{"chrome-extension://fgpcedeakdedicomjmpoaffffaddfafb/"});
    return manifest;
}

} // namespace

class BrowserRegistrationTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    QString applicationFolder;

    QString home(const QString &relative) const { return environment.home() + u'/' + relative; }

    // A home in which the browsers of `configurationFolders` have run.
    void haveBrowsers(const QStringList &configurationFolders)
    {
        QDir(environment.home()).removeRecursively();
        QDir(environment.flatpakSystemDir()).removeRecursively();
        for (const QString &folder : configurationFolders + QStringList{".config"})
            QVERIFY(QDir().mkpath(home(folder)));
    }

    // A packaged application folder: the two programs and the extensions, Chrome's with `key`.
    void package(const QString &key = verifiedKey, const QString &leaveOut = {})
    {
        QDir(applicationFolder).removeRecursively();
        const QByteArray extension = "{\"manifest_version\": 3, \"key\": \"" + key.toUtf8() + "\"}";
        for (const QString file : {"Rushlet", "RushletNativeHost", "chrome-extension/manifest.json",
                                   "firefox-extension/manifest.json"}) {
            if (file != leaveOut) {
                QVERIFY(TestEnvironment::writeFile(applicationFolder + u'/' + file,
                                                   file.endsWith(".json") ? extension : "#!/bin/sh\n"));
            }
        }
    }

    BrowserRegistration::Outcome registered() const
    {
        return BrowserRegistration::registerBrowsers(applicationFolder, environment.dataFolder());
    }
    QList<State> inspected() const
    {
        return states(BrowserRegistration::inspect(applicationFolder, environment.dataFolder()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        applicationFolder = environment.scratch() + "/application";
        QCOMPARE(environment.dataFolder(), home(data));
    }

    void extensionId_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("id");
        const QJsonDocument shipped = QJsonDocument::fromJson(TestEnvironment::readFile(
            qEnvironmentVariable("RUSHLET_SOURCE_DIR") + "/chrome-extension/manifest.json"));
        QTest::newRow("key whose id Chromium reported") << verifiedKey << "fgpcedeakdedicomjmpoaffffaddfafb";
        QTest::newRow("the shipped extension")
            << shipped["key"].toString() << "okiacolcaijfagdnonpbjjoahkkhiibm";
        QTest::newRow("128 bytes is long enough") << countingBytes128 << "ehbpljedkkcdmfbbpgphcpinbgfcnjmi";
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
        const QStringList family{
            ".config/google-chrome",  ".config/google-chrome-beta",          ".config/google-chrome-unstable",
            ".config/chromium",       ".config/BraveSoftware/Brave-Browser", ".config/vivaldi",
            ".config/microsoft-edge", ".config/microsoft-edge-beta",         ".config/microsoft-edge-dev"};
        QTest::newRow("the Chromium family")
            << family
            << QStringList(family).replaceInStrings(QRegularExpression("$"), "/NativeMessagingHosts");
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
        package();
        // Beside ours, the earlier product's manifest, without making a folder a browser is found by.
        for (const QString &folder : std::as_const(written)) {
            if (QFileInfo::exists(home(folder.section(u'/', 0, 0))))
                QVERIFY(TestEnvironment::writeFile(home(folder) + "/com.brio.downloader.json", "{}"));
        }

        const BrowserRegistration::Outcome outcome = registered();
        QCOMPARE(outcome.error, QString());
        QVERIFY(outcome.saved);
        const QString host = applicationFolder + "/RushletNativeHost";
        const QByteArray record = TestEnvironment::readFile(home(data + hostFile));
        QCOMPARE(QJsonDocument::fromJson(record).object(), expectedManifest(host, false));
        QVERIFY2(record.contains("\n    \""), "the manifest is written indented");

        QStringList expectedFiles{data + hostFile};
        QCOMPARE(outcome.browsers.size(), written.size());
        for (qsizetype i = 0; i < written.size(); ++i) {
            const QString folder = home(written.at(i));
            const bool sandboxed = written.at(i).startsWith(".var/");
            const bool firefox = written.at(i).contains("mozilla");
            const BrowserRegistration::BrowserStatus &browser = outcome.browsers.at(i);
            QCOMPARE(browser.browser.manifestFolder, folder);
            QCOMPARE(browser.extensionFolder,
                     applicationFolder + (firefox ? "/firefox-extension" : "/chrome-extension"));
            // A sandboxed browser still needs the user's permission.
            QCOMPARE(browser.state, sandboxed ? State::NeedsPermission : State::Registered);
            const QString program = sandboxed ? folder + wrapperFile : host;
            QCOMPARE(QJsonDocument::fromJson(TestEnvironment::readFile(folder + hostFile)).object(),
                     expectedManifest(program, firefox));
            expectedFiles << written.at(i) + hostFile;
            if (sandboxed) {
                expectedFiles << written.at(i) + wrapperFile;
                QVERIFY(QFileInfo(program).isExecutable());
                QCOMPARE(TestEnvironment::readFile(program), FlatpakSandbox::hostWrapper(host));
            }
        }
        expectedFiles.sort();
        QCOMPARE(TestEnvironment::filesBelow(environment.home()), expectedFiles);
    }

    // What the setup shows for each browser follows the files as they are, whoever changed them.
    void statesFollowTheFiles()
    {
        haveBrowsers({".config/chromium", ".var/app/org.mozilla.firefox"});
        package();
        QCOMPARE(inspected(), QList<State>({State::NotRegistered, State::NotRegistered}));
        QVERIFY(!BrowserRegistration::inspect(applicationFolder, environment.dataFolder()).saved);
        QCOMPARE(registered().error, QString());
        QCOMPARE(inspected(), QList<State>({State::Registered, State::NeedsPermission}));

        QVERIFY(TestEnvironment::writeFile(home(".local/share/flatpak/overrides/org.mozilla.firefox"),
                                           "[Session Bus Policy]\norg.freedesktop.Flatpak=talk\n"));
        QCOMPARE(inspected(), QList<State>({State::Registered, State::Registered}));
        QVERIFY(QFile::setPermissions(
            home(".var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts" + wrapperFile),
            QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(inspected(), QList<State>({State::Registered, State::NeedsRepair}));

        // Rushlet moved: the browsers and the host's own manifest still name the old host.
        const QString packaged = std::exchange(applicationFolder, environment.scratch() + "/moved");
        package();
        QCOMPARE(inspected(), QList<State>({State::NeedsRepair, State::NeedsRepair}));
        QCOMPARE(registered().error, QString());
        QCOMPARE(inspected(), QList<State>({State::Registered, State::Registered}));

        // Without the data folder's manifest the host refuses everyone, however the browsers stand.
        QVERIFY(QFile::remove(home(data + hostFile)));
        QCOMPARE(inspected(), QList<State>({State::NeedsRepair, State::NeedsRepair}));
        applicationFolder = packaged;
    }

    void failuresAreReported_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("leaveOut");
        // A file where this folder should be: root ignores permissions, a file cannot be a folder.
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<QString>("error");
        // Chrome's and Firefox's states, and every file below the home folder, afterwards.
        QTest::addColumn<QList<State>>("states");
        QTest::addColumn<QStringList>("files");
        const QString missing = "Setup files are missing. Run Rushlet from the packaged application folder, "
                                "which includes RushletNativeHost and chrome-extension.";
        const QString badKey = "The extension manifest does not contain a valid public key.";
        const QList<State> untouched(2, State::NotRegistered);
        // A refusal writes nothing at all.
        const auto refusal = [&](const char *name, const QString &key, const QString &leaveOut,
                                 const QString &error) {
            QTest::newRow(name) << key << leaveOut << QString() << error << untouched << QStringList();
        };
        refusal("no native host", verifiedKey, "RushletNativeHost", missing);
        refusal("no main program", verifiedKey, "Rushlet", missing);
        refusal("no extension", verifiedKey, "chrome-extension/manifest.json", missing);
        refusal("key too short", countingBytes127, {}, badKey);
        refusal("no key", {}, {}, badKey);
        // Without the data folder's manifest the host would refuse them: the browsers stay untouched.
        QTest::newRow("data folder unwritable")
            << verifiedKey << QString() << data << "Could not save the bridge configuration." << untouched
            << QStringList{data};
        // One browser's folder failing does not keep the others from being registered.
        const QString chrome = ".config/google-chrome/NativeMessagingHosts";
        QTest::newRow("a browser's folder unwritable")
            << verifiedKey << QString() << chrome << "Could not register every browser for your user account."
            << QList<State>{State::NotRegistered, State::Registered}
            << QStringList{chrome, data + hostFile, ".mozilla/native-messaging-hosts" + hostFile};
    }

    void failuresAreReported()
    {
        QFETCH(QString, key);
        QFETCH(QString, leaveOut);
        QFETCH(QString, blocked);
        QFETCH(QString, error);
        QFETCH(QList<State>, states);
        QFETCH(QStringList, files);
        haveBrowsers({".config/google-chrome", ".mozilla"});
        package(key, leaveOut);
        if (!blocked.isEmpty())
            QVERIFY(TestEnvironment::writeFile(home(blocked), "not a folder"));

        const BrowserRegistration::Outcome outcome = registered();
        QCOMPARE(outcome.error, error);
        QCOMPARE(outcome.saved, files.contains(data + hostFile));
        QCOMPARE(::states(outcome), states);
        QCOMPARE(TestEnvironment::filesBelow(environment.home()), files);
    }
};

QTEST_GUILESS_MAIN(BrowserRegistrationTest)
#include "tst_BrowserRegistration.moc"
