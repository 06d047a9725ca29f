#include "platform/NativeMessagingHosts.h"
#include "platform/PrivateFiles.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QTest>

class TestPrivateFiles : public QObject
{
    Q_OBJECT

private slots:
    // A browser reads the host manifest whenever it starts the host; a full disk must leave the
    // last good one in place, and nothing beside it.
    void aFullDiskKeepsTheManifestWhole()
    {
        SmallDisk disk(256 * 1024);
        QVERIFY(disk.isValid());
        const QString path = disk.path() + QStringLiteral("/com.rushlet.downloader.json");
        const QByteArray before = "{\n    \"name\": \"com.rushlet.downloader\"\n}\n";
        QVERIFY(NativeMessagingHosts::writeManifest(path, before));

        QVERIFY(disk.fill());
        const bool written = NativeMessagingHosts::writeManifest(path, QByteArray(300, ' '));
        QString reason;
        const bool replaced = PrivateFiles::replace(path, QByteArray(64 * 1024, ' '), &reason);
        disk.release();
        QVERIFY(!written);
        QVERIFY(!replaced);
        QVERIFY(!reason.isEmpty());
        QCOMPARE(TestEnvironment::readFile(path), before);
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files), QStringList{QFileInfo(path).fileName()});
    }
};

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "tst_PrivateFiles.moc"
