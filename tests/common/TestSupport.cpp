#include "TestSupport.h"

#include <QProcess>
#include <QStandardPaths>

namespace sonalto::test {

bool insideTestSession()
{
    return qEnvironmentVariableIsSet("SONALTO_TEST_SESSION");
}

bool privatePulseAvailable()
{
    return insideTestSession() && qEnvironmentVariableIsSet("PULSE_SERVER");
}

bool haveProgram(const char *name)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

QString runProgram(const QString &program, const QStringList &args, int *exitCode, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(timeoutMs);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pactl(const QStringList &args, int *exitCode)
{
    return runProgram(QStringLiteral("pactl"), args, exitCode);
}

} // namespace sonalto::test
