#include "platform/FileSystem.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void renameNeverReplaces()
    {
        QTemporaryDir dir;
        const QString part = dir.filePath(QStringLiteral("a.part"));
        const QString target = dir.filePath(QStringLiteral("a"));
        QVERIFY(writeFile(part, "new"));
        QVERIFY(writeFile(target, "someone else's"));

        QString error;
        QVERIFY(!FileSystem::renameNoReplace(part, target, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(target), QByteArray("someone else's"));
        QCOMPARE(readFile(part), QByteArray("new"));

        QVERIFY(QFile::remove(target));
        QVERIFY(FileSystem::renameNoReplace(part, target, &error));
        QCOMPARE(readFile(target), QByteArray("new"));
        QVERIFY(!QFile::exists(part));
    }

    void renameRefusesDanglingLink()
    {
        QTemporaryDir dir;
        const QString part = dir.filePath(QStringLiteral("a.part"));
        const QString target = dir.filePath(QStringLiteral("a"));
        QVERIFY(writeFile(part, "new"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), target));
        QString error;
        QVERIFY(!FileSystem::renameNoReplace(part, target, &error));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nowhere"))));
    }

    void renameOfMissingSourceFails()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!FileSystem::renameNoReplace(dir.filePath(QStringLiteral("none")),
                                             dir.filePath(QStringLiteral("b")), &error));
        QVERIFY(!error.isEmpty());
    }

    void writesLandAtTheirOffsets()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("f")));
        QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        QString error;
        QVERIFY(FileSystem::writeAt(file.handle(), "world", 5, 6, &error));
        QVERIFY(FileSystem::writeAt(file.handle(), "hello ", 6, 0, &error));
        QVERIFY(FileSystem::syncData(file.handle(), &error));
        QCOMPARE(readFile(file.fileName()), QByteArray("hello world"));
    }

    void failuresCarryTheReason()
    {
        QString error;
        QVERIFY(!FileSystem::writeAt(-1, "x", 1, 0, &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!FileSystem::syncData(-1, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(FileSystem::duplicateHandle(-1), -1);
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_FileSystem.moc"
