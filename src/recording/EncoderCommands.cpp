#include "recording/EncoderCommands.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace sonalto::recording {

const int Mp3BitRates[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

namespace {

int bitRateAt(int position)
{
    return Mp3BitRates[std::clamp(position, 0, int(std::size(Mp3BitRates)) - 1)];
}

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

QString findEncoderProgram(const QString &appDir, const QString &name)
{
    const QString bundled = appDir + name;
    const QFileInfo info(bundled);
    if (info.isFile() && info.isExecutable())
        return bundled;
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? bundled : onPath;
}

QString kiloHertzText(int rate)
{
    if (rate < 0)
        return QString::number(rate * 0.001);
    // Built from the integer so that 22050 never turns into 22.049999.
    QString text = QString::number(rate / 1000);
    if (const int fraction = rate % 1000; fraction != 0) {
        QString digits = QString::number(fraction).rightJustified(3, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return text;
}

EncoderCommand lameCommand(const QString &lamePath, const QString &outputPath,
                           const settings::Mp3Settings &s, int outputRate)
{
    EncoderCommand command{lamePath, {}, -1};
    QStringList &args = command.arguments;
    if (s.cbr == 1) {
        args << QStringLiteral("--alt-preset") << QStringLiteral("cbr")
             << QString::number(bitRateAt(s.cbrBit));
    } else {
        const int quality = 9 - std::clamp(s.vbrQuality, 0, 9);
        args << QStringLiteral("--resample") << kiloHertzText(outputRate) << QStringLiteral("-V")
             << QString::number(quality) << QStringLiteral("--vbr-new") << QStringLiteral("-b")
             << QString::number(bitRateAt(s.vbrMiniBit)) << QStringLiteral("-B")
             << QString::number(bitRateAt(s.vbrMaxiBit));
    }
    args << QStringLiteral("-");
    command.pathArgument = int(args.size());
    args << outputPath;
    return command;
}

EncoderCommand oggencCommand(const QString &oggencPath, const QString &outputPath)
{
    return EncoderCommand{oggencPath, {QStringLiteral("-o"), outputPath, QStringLiteral("-")}, 1};
}

// Joined rather than filled in with QString::arg: a path may itself contain "%1".
QString commandLineText(const EncoderCommand &command)
{
    QString text = command.program;
    for (int i = 0; i < command.arguments.size(); ++i) {
        text += QLatin1Char(' ');
        text += i == command.pathArgument ? quoted(command.arguments[i]) : command.arguments[i];
    }
    return text;
}

std::vector<std::string> argumentVector(const EncoderCommand &command)
{
    std::vector<std::string> argv{QFile::encodeName(command.program).toStdString()};
    for (const QString &arg : command.arguments)
        argv.push_back(QFile::encodeName(arg).toStdString());
    return argv;
}

QString BuildLameCommand(const QString &appDirLame, const QString &outputPath,
                         const settings::Mp3Settings &s, int outputRate)
{
    return commandLineText(lameCommand(appDirLame, outputPath, s, outputRate));
}

QString BuildOggCommand(const QString &oggencPath, const QString &outputPath)
{
    return commandLineText(oggencCommand(oggencPath, outputPath));
}

} // namespace sonalto::recording
