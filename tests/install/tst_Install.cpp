#include "tests/support/NginxServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

constexpr int commandTimeoutMs = 300000;
const QString appId = QStringLiteral("com.rushlet.Rushlet");
const QString version = QStringLiteral(RUSHLET_VERSION);

// Runs an installed program (an absolute path) or one of the system's (a name on the PATH); the
// exit code is -1 when it did not end by itself.
TestProgram::Result run(const QString &program, const QStringList &arguments,
                        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    const QString path = QDir::isAbsolutePath(program) ? program : QStandardPaths::findExecutable(program);
    TestProgram::Result result = TestProgram::run(path, arguments, environment, commandTimeoutMs);
    if (!result.finished || result.exitStatus != QProcess::NormalExit)
        result.exitCode = -1;
    return result;
}

// The value of `key` in the main group of a desktop entry.
QString desktopValue(const QByteArray &entry, const QString &key)
{
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(key), QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(entry)).captured(1);
}

} // namespace

// Installs the build into a temporary DESTDIR under a prefix other than the configured one, the way
// a package or `make install DESTDIR=... PREFIX=...` does, and checks what a user would get there.
// The staged tree is also a moved install: nothing in it lies where the prefix says.
class TestInstall : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    const QString prefix = QStringLiteral("/opt/rushlet");
    QString stage;

    QString installed(const QString &path) const { return stage + prefix + u'/' + path; }

    // What the install must hold below its prefix.
    static QStringList expectedFiles()
    {
        QStringList files;
        for (const char *program : {"Rushlet", "RushletNativeHost", "rushlet-get",
                                    "rushlet-register-browsers", "rushlet-register-chrome"})
            files.append(QStringLiteral("bin/") + QLatin1String(program));
        for (const QString &extension :
             {QStringLiteral("chrome-extension"), QStringLiteral("firefox-extension")}) {
            for (const QString &file :
                 TestEnvironment::filesBelow(qEnvironmentVariable("RUSHLET_BIN_DIR") + u'/' + extension))
                files.append(QStringLiteral("share/rushlet/%1/").arg(extension) + file);
        }
        files.append(QStringLiteral("share/applications/%1.desktop").arg(appId));
        files.append(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId));
        files.append(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(appId));
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            files.append(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId));
        for (const char *page : {"Rushlet", "RushletNativeHost", "rushlet-get", "rushlet-register-browsers",
                                 "rushlet-register-chrome"})
            files.append(QStringLiteral("share/man/man1/%1.1.gz").arg(QLatin1String(page)));
        files.sort();
        return files;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        stage = environment.scratch() + QStringLiteral("/stage");
        QProcessEnvironment withDestination = QProcessEnvironment::systemEnvironment();
        withDestination.insert(QStringLiteral("DESTDIR"), stage);
        const TestProgram::Result installing =
            run(QStringLiteral(RUSHLET_CMAKE_COMMAND),
                {QStringLiteral("--install"), QStringLiteral(RUSHLET_BUILD_DIR), QStringLiteral("--prefix"),
                 prefix},
                withDestination);
        QVERIFY2(installing.exitCode == 0, installing.standardError.constData());
    }

    // Exactly the programs, the extension and the desktop files; runnable programs and icons of the
    // size their folder promises.
    void tree()
    {
        QCOMPARE(
            TestEnvironment::filesBelow(stage),
            QStringList(expectedFiles()).replaceInStrings(QRegularExpression("^"), prefix.mid(1) + u'/'));
        for (const QString &program : TestEnvironment::filesBelow(installed(QStringLiteral("bin"))))
            QVERIFY2(QFileInfo(installed(QStringLiteral("bin/") + program)).isExecutable(),
                     qPrintable(program));
        // The menu entry starts the program under the prefix chosen when installing, not the one
        // configured, and names the icon installed with it.
        const QByteArray entry =
            TestEnvironment::readFile(installed("share/applications/" + appId + ".desktop"));
        QCOMPARE(desktopValue(entry, QStringLiteral("Exec")), prefix + QStringLiteral("/bin/Rushlet"));
        QCOMPARE(desktopValue(entry, QStringLiteral("Icon")), appId);
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            QImageReader icon(
                installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId)));
            QCOMPARE(icon.size(), QSize(size, size));
        }
    }

    void validators_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop entry") << QStringLiteral("desktop-file-validate")
                                       << QStringList{installed("share/applications/" + appId + ".desktop")};
        QTest::newRow("AppStream") << QStringLiteral("appstreamcli")
                                   << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                  installed("share/metainfo/" + appId + ".metainfo.xml")};
        for (const char *page : {"Rushlet", "rushlet-get"}) {
            QTest::newRow(page) << QStringLiteral("man")
                                << QStringList{QStringLiteral("--warnings"), QStringLiteral("-l"),
                                               installed(QStringLiteral("share/man/man1/%1.1.gz").arg(page))};
        }
    }

    // The desktop's own validators accept the entry and the metadata, and the manual pages format
    // without a warning.
    void validators()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
        plain.insert(QStringLiteral("MANPAGER"), QStringLiteral("cat"));
        const TestProgram::Result outcome = run(program, arguments, plain);
        QVERIFY2(outcome.exitCode == 0,
                 QByteArray(outcome.standardOutput + outcome.standardError).constData());
        QVERIFY2(outcome.standardError.isEmpty(), outcome.standardError.constData());
        if (program == QLatin1String("desktop-file-validate"))
            QVERIFY2(outcome.standardOutput.isEmpty(), outcome.standardOutput.constData());
    }

    // A prefix with characters the Exec key reserves is quoted and escaped: the launcher splits the
    // value at blanks outside quotes and reads backslash escapes twice.
    void desktopEntryQuoting()
    {
        const QString destination = environment.scratch() + QStringLiteral("/quoting");
        const QString unusualPrefix = QStringLiteral("/opt/my \"apps\"");
        QProcessEnvironment withDestination = QProcessEnvironment::systemEnvironment();
        withDestination.insert(QStringLiteral("DESTDIR"), destination);
        // The entry's own install step alone, as the whole install runs it.
        const QString source = qEnvironmentVariable("RUSHLET_SOURCE_DIR");
        const TestProgram::Result written = run(
            QStringLiteral(RUSHLET_CMAKE_COMMAND),
            {"-DCMAKE_INSTALL_PREFIX=" + unusualPrefix,
             "-DRUSHLET_DESKTOP_TEMPLATE=" + source + "/resources/linux/" + appId + ".desktop.in",
             "-DRUSHLET_DESKTOP_FOLDER=" + destination + "/generated", QStringLiteral("-DRUSHLET_BINDIR=bin"),
             QStringLiteral("-DRUSHLET_APPLICATIONS_DIR=share/applications"), QStringLiteral("-P"),
             source + "/cmake/RushletDesktopEntry.cmake"},
            withDestination);
        QVERIFY2(written.exitCode == 0, written.standardError.constData());
        const QString entry = destination + unusualPrefix + "/share/applications/" + appId + ".desktop";
        QCOMPARE(desktopValue(TestEnvironment::readFile(entry), QStringLiteral("Exec")),
                 QStringLiteral("\"/opt/my \\\\\"apps\\\\\"/bin/Rushlet\""));
        const TestProgram::Result validated = run(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY2(validated.exitCode == 0 && validated.standardOutput.isEmpty(),
                 validated.standardOutput.constData());
    }

    // The installed rushlet-get runs on its own, tells the build's version, documents in its manual
    // page every option its help names, and downloads.
    void installedGet()
    {
        const QString program = installed(QStringLiteral("bin/rushlet-get"));
        QCOMPARE(run(program, {QStringLiteral("--version")}).standardOutput,
                 QStringLiteral("rushlet-get %1\n").arg(version).toUtf8());

        const TestProgram::Result help = run(program, {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
        plain.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        plain.insert(QStringLiteral("MANWIDTH"), QStringLiteral("200"));
        const QString page =
            QString::fromUtf8(run(QStringLiteral("man"),
                                  {QStringLiteral("-l"), installed("share/man/man1/rushlet-get.1.gz")}, plain)
                                  .standardOutput);
        QVERIFY(page.contains(QStringLiteral("Rushlet ") + version));
        QRegularExpressionMatchIterator options =
            QRegularExpression(QStringLiteral("(?<![\\w-])(--?[a-zA-Z][a-z-]*)"))
                .globalMatch(QString::fromUtf8(help.standardOutput));
        int count = 0;
        for (; options.hasNext(); ++count) {
            const QString option = options.next().captured(1);
            QVERIFY2(page.contains(option), qPrintable(option));
        }
        QVERIFY(count >= 12);

        NginxServer nginx;
        QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
        const QByteArray content(3 * 1024 * 1024 + 5, 'r');
        QVERIFY(TestEnvironment::writeFile(nginx.documentRoot() + QStringLiteral("/f.bin"), content));
        const QString target = environment.scratch() + QStringLiteral("/f.bin");
        const TestProgram::Result got =
            run(program, {QStringLiteral("-o"), target, nginx.url(QStringLiteral("/f.bin")).toString()},
                environment.processEnvironment());
        QVERIFY2(got.exitCode == 0, got.standardError.constData());
        QCOMPARE(TestEnvironment::readFile(target), content);
    }

    // Registered from the installed tree under either name, the browsers are pointed at the installed
    // host, and the extension to load is the installed copy: never a path into the build tree.
    void bridgeRegistration()
    {
        for (const char *browser : {"/.config/google-chrome", "/.config/chromium", "/.mozilla/firefox"})
            QVERIFY(QDir().mkpath(environment.home() + QLatin1String(browser)));
        const QByteArray folderLine = "    extension folder to load: " + installed("share/rushlet/").toUtf8();
        for (const QString program : {"rushlet-register-chrome", "rushlet-register-browsers"}) {
            const TestProgram::Result registered =
                run(installed("bin/" + program), {}, environment.processEnvironment());
            QVERIFY2(registered.exitCode == 0, registered.standardError.constData());
            QCOMPARE(registered.standardOutput.count(QByteArray(folderLine + "chrome-extension\n")), 2);
            QCOMPARE(registered.standardOutput.count(QByteArray(folderLine + "firefox-extension\n")), 1);
        }

        const QString name = QStringLiteral("/com.rushlet.downloader.json");
        for (const QString &manifest :
             QStringList{environment.dataFolder() + name,
                         environment.configHome() + "/google-chrome/NativeMessagingHosts" + name,
                         environment.configHome() + "/chromium/NativeMessagingHosts" + name,
                         environment.home() + "/.mozilla/native-messaging-hosts" + name}) {
            const QJsonObject host = QJsonDocument::fromJson(TestEnvironment::readFile(manifest)).object();
            QCOMPARE(host.value(QStringLiteral("path")).toString(),
                     installed(QStringLiteral("bin/RushletNativeHost")));
        }
    }

    // The Debian package: its identity and dependencies from the linked libraries, and exactly the
    // files an install under /usr holds, owned by root.
    void package()
    {
        const QString output = environment.scratch() + QStringLiteral("/package");
        const TestProgram::Result built =
            run(QStringLiteral(RUSHLET_CPACK_COMMAND),
                {QStringLiteral("--config"), QStringLiteral(RUSHLET_BUILD_DIR "/CPackConfig.cmake"),
                 QStringLiteral("-B"), output});
        QVERIFY2(built.exitCode == 0, QByteArray(built.standardOutput + built.standardError).constData());
        const QString architecture = QString::fromUtf8(
            run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).standardOutput.trimmed());
        const QString deb = output + QStringLiteral("/rushlet_%1_%2.deb").arg(version, architecture);
        QVERIFY2(QFileInfo::exists(deb), qPrintable(deb));

        const auto field = [&](const QString &name) {
            return QString::fromUtf8(
                run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, name}).standardOutput.trimmed());
        };
        QCOMPARE(field(QStringLiteral("Package")), QStringLiteral("rushlet"));
        QCOMPARE(field(QStringLiteral("Version")), version);
        QCOMPARE(field(QStringLiteral("Architecture")), architecture);
        QVERIFY(
            field(QStringLiteral("Maintainer")).contains(QRegularExpression(QStringLiteral(".+ <.+@.+>"))));
        const QString depends = field(QStringLiteral("Depends"));
        for (const char *library : {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                                    "libqt6network6", "libqt6svg6"}) {
            QVERIFY2(depends.contains(
                         QRegularExpression(QStringLiteral("(^|, )%1( \\(>= [^)]+\\))?(,|$)")
                                                .arg(QRegularExpression::escape(QLatin1String(library))))),
                     qPrintable(depends));
        }

        // Listing lines: "-rwxr-xr-x root/root 1234 2026-01-01 00:00 ./usr/bin/Rushlet".
        QStringList files;
        const QList<QByteArray> listing =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb}).standardOutput.split('\n');
        for (const QByteArray &line : listing) {
            const QList<QByteArray> columns = line.simplified().split(' ');
            if (columns.size() < 6)
                continue;
            QCOMPARE(columns.at(1), QByteArray("root/root"));
            if (!line.startsWith('d'))
                files.append(QString::fromUtf8(columns.at(5)).mid(2));
        }
        files.sort();
        QCOMPARE(files, expectedFiles().replaceInStrings(QRegularExpression("^"), QStringLiteral("usr/")));

        const TestProgram::Result entry = run(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("dpkg-deb --fsys-tarfile \"$0\" | tar -xO ./usr/share/applications/%1.desktop")
                 .arg(appId),
             deb});
        QCOMPARE(desktopValue(entry.standardOutput, QStringLiteral("Exec")),
                 QStringLiteral("/usr/bin/Rushlet"));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_Install.moc"
