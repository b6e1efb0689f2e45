#include "options/RateLists.h"

#include <QCoreApplication>

namespace sonalto::options {

QStringList allRateTexts()
{
    return {QCoreApplication::translate("sonalto::options", "8.000 KHz - 质量差"),
            QCoreApplication::translate("sonalto::options", "11.025 KHz - 低质量"),
            QStringLiteral("16.000 KHz"),
            QCoreApplication::translate("sonalto::options", "22.050 KHz - 中等质量"),
            QStringLiteral("32.000 KHz"),
            QCoreApplication::translate("sonalto::options", "44.100 KHz - CD 质量 (Recommend)"),
            QCoreApplication::translate("sonalto::options", "48.000 KHz - DVD 质量")};
}

QStringList formatTexts()
{
    return {QCoreApplication::translate("sonalto::options", "MP3 文件"),
            QCoreApplication::translate("sonalto::options", "WMA 文件"),
            QCoreApplication::translate("sonalto::options", "OGG 文件"),
            QCoreApplication::translate("sonalto::options", "WAV 文件")};
}

QString monoText()
{
    return QCoreApplication::translate("sonalto::options", "单声道");
}

QString stereoText()
{
    return QCoreApplication::translate("sonalto::options", "立体声（推荐）");
}

std::array<FormatLists, 4> buildFormatLists()
{
    const QStringList rates = allRateTexts();
    const auto pick = [&rates](std::initializer_list<int> positions) {
        QStringList list;
        for (int p : positions)
            list << rates.at(p);
        return list;
    };
    return {FormatLists{pick({4, 5, 6}), {stereoText()}}, FormatLists{pick({5, 6}), {stereoText()}},
            FormatLists{pick({5}), {stereoText()}}, FormatLists{rates, {monoText(), stereoText()}}};
}

int rateFromItemText(const QString &text)
{
    // Parsed as decimal digits rather than through a double: 11.025 × 1000 in binary floating
    // point truncates to 11024.
    const QString number = text.left(6).trimmed();
    const qsizetype dot = number.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? number : number.left(dot);
    QString fraction = dot < 0 ? QString() : number.mid(dot + 1);
    if (whole.isEmpty() && fraction.isEmpty())
        return 0;
    for (const QString &digits : {whole, fraction}) {
        for (const QChar c : digits) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return 0;
        }
    }
    fraction = fraction.left(3).leftJustified(3, QLatin1Char('0'));
    return whole.toInt() * 1000 + fraction.toInt();
}

int defaultRateIndex(const QStringList &rates)
{
    for (qsizetype i = 0; i < rates.size(); ++i) {
        if (rates.at(i).startsWith(QLatin1Char('4')))
            return int(i);
    }
    return -1;
}

} // namespace sonalto::options
