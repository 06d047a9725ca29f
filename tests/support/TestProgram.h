#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// One of the project's programs from build/bin, started by a test with the test's environment.
// Every wait is bounded, and a program still running when the object goes away is killed by its
// process id, so no test leaves a process behind.
class TestProgram
{
public:
    explicit TestProgram(const QString &name);
    ~TestProgram();

    TestProgram(const TestProgram &) = delete;
    TestProgram &operator=(const TestProgram &) = delete;

    // The absolute path of a built program; the build tells the tests where its programs are.
    static QString path(const QString &name);

    bool start(const QStringList &arguments, const QProcessEnvironment &environment);
    bool waitForExit(int timeoutMs);
    bool isRunning() const;
    qint64 pid() const;
    void terminate();
    void kill();

    int exitCode() const;
    QProcess::ExitStatus exitStatus() const;
    QByteArray standardOutput();
    QByteArray standardError();
    QProcess &process() { return proc; }

    struct Result
    {
        bool finished = false;
        int exitCode = -1;
        QProcess::ExitStatus exitStatus = QProcess::CrashExit;
        QByteArray standardOutput;
        QByteArray standardError;
    };
    // Runs a program to its end, writing `input` to its standard input first.
    static Result run(const QString &name, const QStringList &arguments,
                      const QProcessEnvironment &environment, int timeoutMs, const QByteArray &input = {});

private:
    QString program;
    QProcess proc;
    QByteArray out;
    QByteArray err;
};
