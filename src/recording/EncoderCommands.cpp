#include "recording/EncoderCommands.h"

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

// Joined rather than filled in with QString::arg: a path may itself contain "%1".
QString BuildLameCommand(const QString &appDirLame, const QString &outputPath,
                         const settings::Mp3Settings &s, int outputRate)
{
    QStringList parts{appDirLame};
    if (s.cbr == 1) {
        parts << QStringLiteral("--alt-preset cbr") << QString::number(bitRateAt(s.cbrBit));
    } else {
        const int quality = 9 - std::clamp(s.vbrQuality, 0, 9);
        parts << QStringLiteral("--resample") << kiloHertzText(outputRate) << QStringLiteral("-V")
              << QString::number(quality) << QStringLiteral("--vbr-new") << QStringLiteral("-b")
              << QString::number(bitRateAt(s.vbrMiniBit)) << QStringLiteral("-B")
              << QString::number(bitRateAt(s.vbrMaxiBit));
    }
    parts << QStringLiteral("-") << quoted(outputPath);
    return parts.join(QLatin1Char(' '));
}

QString BuildOggCommand(const QString &oggencPath, const QString &outputPath)
{
    return oggencPath + QStringLiteral(" -o ") + quoted(outputPath) + QStringLiteral(" -");
}

} // namespace sonalto::recording
