#pragma once

#include <QJsonArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A private HOME with its own XDG folders, so that no test reads or writes the real user's data.
// applyToCurrentProcess() points this test program at it; processEnvironment() gives the same
// folders to a program the test starts.
class TestEnvironment
{
public:
    TestEnvironment();

    bool isValid() const { return valid; }
    QString home() const { return root.path() + QStringLiteral("/home"); }
    QString configHome() const { return home() + QStringLiteral("/.config"); }
    QString dataHome() const { return home() + QStringLiteral("/.local/share"); }
    QString runtimeDir() const { return root.path() + QStringLiteral("/run"); }
    QString flatpakSystemDir() const { return root.path() + QStringLiteral("/flatpak"); }
    // The program's data folder under this HOME: queue.json, instance.lock and the host manifest.
    QString dataFolder() const { return dataHome() + QStringLiteral("/Rushlet/Rushlet"); }
    // A scratch folder for downloads and other files of the test.
    QString scratch() const { return root.path() + QStringLiteral("/scratch"); }
    // The download list as the program last saved it; empty when there is none or it is unreadable.
    QJsonArray savedQueue() const;

    QProcessEnvironment processEnvironment() const;
    void applyToCurrentProcess() const;

    // The organisation and application names the programs set, which decide where Qt puts the
    // data folder and the bridge's name for an in-process test.
    static void useProgramNames();

    // Whole-file helpers for fixtures; writeFile creates the missing folders.
    static QByteArray readFile(const QString &path);
    static bool writeFile(const QString &path, const QByteArray &content, bool executable = false);
    // Every file (not folder) below `root`, as paths relative to it, sorted.
    static QStringList filesBelow(const QString &root);

private:
    QTemporaryDir root;
    bool valid = false;
};
