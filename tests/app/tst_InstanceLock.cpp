#include "app/InstanceLock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(folder.isValid()); }
    void cleanup() { QFile::remove(path()); }

    void liveOwnerKeepsTheLock()
    {
        InstanceLock owner(path());
        QVERIFY(owner.tryAcquire(nullptr));
        bool asked = false;
        InstanceLock second(path());
        QVERIFY(!second.tryAcquire([&asked] {
            asked = true;
            return false;
        }));
        // A readable owner settles it; the bridge is not even asked.
        QVERIFY(!asked);
        QVERIFY(owner.isLocked());
    }

    void unreadableLeftover_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x01\x02 not a lock\n");
    }

    void unreadableLeftover()
    {
        QFETCH(QByteArray, contents);
        writeLeftover(contents);
        InstanceLock lock(path());
        QVERIFY(lock.tryAcquire([] { return false; }));
        QVERIFY(lock.isLocked());
    }

    // Something answers on the bridge: an instance is alive, whatever its lock file looks like.
    void unreadableLeftoverWithAnsweringInstance()
    {
        writeLeftover({});
        InstanceLock lock(path());
        QVERIFY(!lock.tryAcquire([] { return true; }));
        QVERIFY(QFile::exists(path()));
    }

private:
    QString path() const { return folder.filePath(QStringLiteral("instance.lock")); }

    void writeLeftover(const QByteArray &contents)
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QTemporaryDir folder;
};

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_InstanceLock.moc"
