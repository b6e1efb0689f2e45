#pragma once

#include "settings/ConfigFile.h"

#include <QString>

namespace sonalto::recording {

// MPEG-1 Layer III bit rates in kbit/s; the MP3 settings store positions in this table.
extern const int Mp3BitRates[14];

// The encoder program to start: the one shipped in the application folder when it is there and
// executable, else the one on PATH, else the application folder's path again so that starting
// it fails with the usual "program not found" message.
QString findEncoderProgram(const QString &appDir, const QString &name);

// The lame command line for an MP3 recording that reads a WAV stream on standard input.
// Constant bit rate when s.cbr is 1, variable bit rate otherwise. The program path is given
// unquoted, the output path in double quotes.
QString BuildLameCommand(const QString &appDirLame, const QString &outputPath,
                         const settings::Mp3Settings &s, int outputRate);

// The oggenc command line for an OGG recording that reads a WAV stream on standard input.
QString BuildOggCommand(const QString &oggencPath, const QString &outputPath);

// A sample rate in kHz as short as possible: 44100 gives "44.1", 48000 gives "48".
QString kiloHertzText(int rate);

} // namespace sonalto::recording
