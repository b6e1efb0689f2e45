#pragma once

#include "settings/ConfigFile.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace sonalto::recording {

// MPEG-1 Layer III bit rates in kbit/s; the MP3 settings store positions in this table.
extern const int Mp3BitRates[14];

// The encoder program to start: the one shipped in the application folder when it is there and
// executable, else the one on PATH, else the application folder's path again so that starting
// it fails with the usual "program not found" message.
QString findEncoderProgram(const QString &appDir, const QString &name);

// An encoder program with its arguments, each one argument whatever it contains.
struct EncoderCommand
{
    QString program;
    QStringList arguments;
    int pathArgument = -1; // position of the output path among the arguments
};

// lame reading a WAV stream on standard input and writing outputPath. Constant bit rate
// when s.cbr is 1, variable bit rate otherwise.
EncoderCommand lameCommand(const QString &lamePath, const QString &outputPath,
                           const settings::Mp3Settings &s, int outputRate);
// oggenc reading a WAV stream on standard input and writing outputPath.
EncoderCommand oggencCommand(const QString &oggencPath, const QString &outputPath);

// The command as one line of text, for showing and logging only (never split again): the
// program path unquoted, the output path in double quotes, blanks between.
QString commandLineText(const EncoderCommand &command);
// The program and arguments as the system takes them (file-name encoding).
std::vector<std::string> argumentVector(const EncoderCommand &command);

// The command lines as text (see commandLineText).
QString BuildLameCommand(const QString &appDirLame, const QString &outputPath,
                         const settings::Mp3Settings &s, int outputRate);
QString BuildOggCommand(const QString &oggencPath, const QString &outputPath);

// A sample rate in kHz as short as possible: 44100 gives "44.1", 48000 gives "48".
QString kiloHertzText(int rate);

} // namespace sonalto::recording
