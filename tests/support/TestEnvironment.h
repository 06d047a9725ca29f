#pragma once

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
    // The program's data folder under this HOME: queue.json, instance.lock and the host manifest.
    QString dataFolder() const { return dataHome() + QStringLiteral("/Rushlet/Rushlet"); }
    // A scratch folder for downloads and other files of the test.
    QString scratch() const { return root.path() + QStringLiteral("/scratch"); }

    QProcessEnvironment processEnvironment() const;
    void applyToCurrentProcess() const;

private:
    QTemporaryDir root;
    bool valid = false;
};
