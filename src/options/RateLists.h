#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace sonalto::options {

// Item texts of the format, sample-rate and channel lists, and which of them each output
// format offers.

// All seven sample rates, lowest first.
QStringList allRateTexts();
// MP3, WMA, OGG, WAV: the order of the format list and of buildFormatLists().
QStringList formatTexts();
QString monoText();
QString stereoText();

struct FormatLists
{
    QStringList rates;
    QStringList channels;
};

// Rates and channel modes each format can be recorded in, indexed by format position.
std::array<FormatLists, 4> buildFormatLists();

// The rate in Hz of a rate item: its first six characters read as kHz ("44.100 KHz..." gives
// 44100). Empty or unreadable text gives 0.
int rateFromItemText(const QString &text);

// The first item starting with "4" (44.1 kHz, the CD rate), or -1 when there is none.
int defaultRateIndex(const QStringList &rates);

} // namespace sonalto::options
