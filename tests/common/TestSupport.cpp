#include "TestSupport.h"

#include <QProcess>

namespace sonalto::test {

bool privatePulseAvailable()
{
    return qEnvironmentVariableIsSet("SONALTO_TEST_SESSION") &&
           qEnvironmentVariableIsSet("PULSE_SERVER");
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
