#include "tests/support/TestProgram.h"

#include <QDir>

TestProgram::TestProgram(const QString &name)
    : program(path(name))
{
}

TestProgram::~TestProgram()
{
    kill();
}

QString TestProgram::path(const QString &name)
{
    return QDir(qEnvironmentVariable("RUSHLET_BIN_DIR")).absoluteFilePath(name);
}

bool TestProgram::start(const QStringList &arguments, const QProcessEnvironment &environment)
{
    proc.setProcessEnvironment(environment);
    proc.start(program, arguments);
    return proc.waitForStarted(10000);
}

bool TestProgram::waitForExit(int timeoutMs)
{
    if (proc.state() == QProcess::NotRunning)
        return true;
    return proc.waitForFinished(timeoutMs);
}

bool TestProgram::isRunning() const
{
    return proc.state() != QProcess::NotRunning;
}

qint64 TestProgram::pid() const
{
    return proc.processId();
}

void TestProgram::terminate()
{
    proc.terminate();
}

void TestProgram::kill()
{
    if (proc.state() == QProcess::NotRunning)
        return;
    proc.kill();
    proc.waitForFinished(10000);
}

int TestProgram::exitCode() const
{
    return proc.exitCode();
}

QProcess::ExitStatus TestProgram::exitStatus() const
{
    return proc.exitStatus();
}

QByteArray TestProgram::standardOutput()
{
    out += proc.readAllStandardOutput();
    return out;
}

QByteArray TestProgram::standardError()
{
    err += proc.readAllStandardError();
    return err;
}

TestProgram::Result TestProgram::run(const QString &name, const QStringList &arguments,
                                     const QProcessEnvironment &environment, int timeoutMs,
                                     const QByteArray &input)
{
    TestProgram runner(name);
    Result result;
    if (!runner.start(arguments, environment))
        return result;
    if (!input.isEmpty())
        runner.proc.write(input);
    runner.proc.closeWriteChannel();
    result.finished = runner.waitForExit(timeoutMs);
    if (!result.finished)
        runner.kill();
    result.exitCode = runner.exitCode();
    result.exitStatus = runner.exitStatus();
    result.standardOutput = runner.standardOutput();
    result.standardError = runner.standardError();
    return result;
}
