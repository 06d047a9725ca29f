#include "app/LegacyMigration.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSettings>
#include <QTest>

namespace {

const QByteArray legacyQueue = R"([{"id":"a","url":"http://127.0.0.1/a","destination":"/tmp/a"}])";

} // namespace

class TestLegacyMigration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
    }

    void init()
    {
        legacySettings().clear();
        ownSettings().clear();
        QDir(legacyFolder()).removeRecursively();
        QDir(ownFolder()).removeRecursively();
    }

    void copiesListAndSettingsOnce()
    {
        QVERIFY(TestEnvironment::writeFile(legacyFolder() + QStringLiteral("/queue.json"), legacyQueue));
        {
            QSettings legacy = legacySettings();
            legacy.setValue(QStringLiteral("closeBehavior"), QStringLiteral("tray"));
            legacy.setValue(QStringLiteral("window/geometry"), QByteArray("\x01\x02\x03"));
        }

        QSettings legacy = legacySettings();
        QSettings own = ownSettings();
        QVERIFY(migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QCOMPARE(TestEnvironment::readFile(ownFolder() + QStringLiteral("/queue.json")), legacyQueue);
        QSettings reread = ownSettings();
        QCOMPARE(reread.value(QStringLiteral("closeBehavior")).toString(), QStringLiteral("tray"));
        QCOMPARE(reread.value(QStringLiteral("window/geometry")).toByteArray(), QByteArray("\x01\x02\x03"));

        // Nothing of the earlier product changed, and the lock it owns was released.
        QCOMPARE(TestEnvironment::readFile(legacyFolder() + QStringLiteral("/queue.json")), legacyQueue);
        QCOMPARE(legacySettings().allKeys().size(), 2);
        QVERIFY(!QFile::exists(legacyFolder() + QStringLiteral("/instance.lock")));

        // The program now has data of its own: a second start copies nothing.
        QVERIFY(TestEnvironment::writeFile(legacyFolder() + QStringLiteral("/queue.json"), "[]"));
        QVERIFY(!migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QCOMPARE(TestEnvironment::readFile(ownFolder() + QStringLiteral("/queue.json")), legacyQueue);
    }

    void ownDataWins()
    {
        QVERIFY(TestEnvironment::writeFile(legacyFolder() + QStringLiteral("/queue.json"), legacyQueue));
        legacySettings().setValue(QStringLiteral("language"), QStringLiteral("de"));

        // Any single setting of the program's own is enough to refuse.
        ownSettings().setValue(QStringLiteral("language"), QStringLiteral("fr"));
        QSettings legacy = legacySettings();
        QSettings own = ownSettings();
        QVERIFY(!migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QVERIFY(!QFile::exists(ownFolder() + QStringLiteral("/queue.json")));
        QCOMPARE(own.value(QStringLiteral("language")).toString(), QStringLiteral("fr"));

        own.clear();
        QVERIFY(TestEnvironment::writeFile(ownFolder() + QStringLiteral("/queue.json"), "[]"));
        QVERIFY(!migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QCOMPARE(TestEnvironment::readFile(ownFolder() + QStringLiteral("/queue.json")), QByteArray("[]"));
        QVERIFY(own.allKeys().isEmpty());
    }

    void runningEarlierProductIsLeftAlone()
    {
        QVERIFY(TestEnvironment::writeFile(legacyFolder() + QStringLiteral("/queue.json"), legacyQueue));
        legacySettings().setValue(QStringLiteral("language"), QStringLiteral("de"));
        QLockFile running(legacyFolder() + QStringLiteral("/instance.lock"));
        QVERIFY(running.tryLock(0));

        QSettings legacy = legacySettings();
        QSettings own = ownSettings();
        QVERIFY(!migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QVERIFY(!QFile::exists(ownFolder() + QStringLiteral("/queue.json")));
        QVERIFY(own.allKeys().isEmpty());
        QVERIFY(running.isLocked());
    }

    void settingsWithoutEarlierFolder()
    {
        legacySettings().setValue(QStringLiteral("downloadFolder"), QStringLiteral("/srv/files"));
        QSettings legacy = legacySettings();
        QSettings own = ownSettings();
        QVERIFY(migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QCOMPARE(ownSettings().value(QStringLiteral("downloadFolder")).toString(),
                 QStringLiteral("/srv/files"));
        QVERIFY(!QFile::exists(ownFolder() + QStringLiteral("/queue.json")));
        QVERIFY(!QDir(legacyFolder()).exists());
    }

    void nothingToMigrate()
    {
        QVERIFY(QDir().mkpath(legacyFolder()));
        QSettings legacy = legacySettings();
        QSettings own = ownSettings();
        QVERIFY(!migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QVERIFY(!QDir(ownFolder()).exists());
    }

    // When the list cannot be copied, no settings are copied either.
    void failedCopyCopiesNothing()
    {
        QVERIFY(TestEnvironment::writeFile(legacyFolder() + QStringLiteral("/queue.json"), legacyQueue));
        legacySettings().setValue(QStringLiteral("language"), QStringLiteral("de"));
        QVERIFY(TestEnvironment::writeFile(ownFolder(), "a file where the data folder belongs"));
        QSettings legacy = legacySettings();
        QSettings own = ownSettings();
        QVERIFY(!migrateLegacyData(legacyFolder(), ownFolder(), legacy, own));
        QVERIFY(own.allKeys().isEmpty());
        QFile::remove(ownFolder());
    }

    // The program finds the earlier product beside its own data folder on its first start.
    void programMigratesOnFirstStart()
    {
        TestEnvironment fresh;
        const QString earlier = fresh.dataHome() + QStringLiteral("/Brio/BrioDownloader");
        QVERIFY(TestEnvironment::writeFile(earlier + QStringLiteral("/queue.json"), "[]"));
        QVERIFY(TestEnvironment::writeFile(fresh.configHome() + QStringLiteral("/Brio/BrioDownloader.conf"),
                                           "[General]\nlanguage=ja\n"));
        const auto result = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                             fresh.processEnvironment(), 30000);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(QFile::exists(fresh.dataFolder() + QStringLiteral("/queue.json")));
        QSettings own(fresh.configHome() + QStringLiteral("/Rushlet/Rushlet.conf"), QSettings::IniFormat);
        QCOMPARE(own.value(QStringLiteral("language")).toString(), QStringLiteral("ja"));
    }

private:
    QString legacyFolder() const
    {
        return QDir::cleanPath(ownFolder() + QStringLiteral("/../../Brio/BrioDownloader"));
    }
    QString ownFolder() const { return environment.dataFolder(); }
    static QSettings legacySettings()
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brio"),
                         QStringLiteral("BrioDownloader"));
    }
    static QSettings ownSettings()
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Rushlet"),
                         QStringLiteral("Rushlet"));
    }

    TestEnvironment environment;
};

QTEST_GUILESS_MAIN(TestLegacyMigration)
#include "tst_LegacyMigration.moc"
