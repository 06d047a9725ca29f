#include "app/InstanceLock.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int programLimitMs = 30000;

bool holdsOpen(qint64 pid, const QString &path)
{
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = descriptors.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    return std::any_of(entries.cbegin(), entries.cend(), [&](const QString &entry) {
        return QFileInfo(descriptors.filePath(entry)).symLinkTarget() == path;
    });
}

} // namespace

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
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("instance.lock")});
    }

    // Something answers on the bridge: an instance is alive, whatever its lock file looks like.
    void unreadableLeftoverWithAnsweringInstance()
    {
        writeLeftover({});
        InstanceLock lock(path());
        QVERIFY(!lock.tryAcquire([] { return true; }));
        QVERIFY(QFile::exists(path()));
    }

    // Two starts find the same leftover: this process and the real program. The program arrives
    // while this one recovers, waits for it, and then finds this process's lock instead of
    // removing it by name.
    void twoStartsRecoverOneAfterTheOther()
    {
        TestEnvironment environment;
        QVERIFY(environment.isValid());
        const QString lockPath = environment.dataFolder() + QStringLiteral("/instance.lock");
        QVERIFY(TestEnvironment::writeFile(lockPath, {}));
        TestProgram other(QStringLiteral("Rushlet"));
        InstanceLock lock(lockPath);
        QVERIFY(lock.tryAcquire([&] {
            return !other.start({QStringLiteral("--browser-launch")}, environment.processEnvironment()) ||
                   !QTest::qWaitFor(
                       [&] { return holdsOpen(other.pid(), lockPath + QStringLiteral(".recovery")); },
                       programLimitMs);
        }));
        // A second start for the browser ends by itself; one that took the folder would stay.
        QVERIFY(other.waitForExit(programLimitMs));
        QCOMPARE(other.exitCode(), 0);
        QVERIFY(lock.isLocked());
        QLockFile probe(lockPath);
        qint64 owner = 0;
        QString host;
        QString application;
        QVERIFY(probe.getLockInfo(&owner, &host, &application));
        QCOMPARE(owner, QCoreApplication::applicationPid());
        // The program waited on the guard this process removed, and removed the one it then took.
        QVERIFY(!QFile::exists(lockPath + QStringLiteral(".recovery")));
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
