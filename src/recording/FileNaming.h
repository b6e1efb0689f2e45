#pragma once

#include <QString>

namespace sonalto::recording {

// A base name as it may become part of a file name: without the nine characters file
// names may not hold (\ / : * ? " < > |), without control characters, and without
// leading dots (which would hide the file or, with a slash, climb out of the folder).
// The general options dialog cleans typed text the same way.
QString cleanBaseName(const QString &text);

// The path of the next recording: audioDir + baseName + number + ext, with the lowest number
// from fileCounter on whose file does not exist yet. When fileCounter itself was taken it ends
// one past the number used, so the following recording starts looking there; otherwise it is
// left alone. Only names with this extension are looked at: 01.mp3 does not stop 01.wav.
QString nextOutputPath(const QString &audioDir, const QString &baseName, int &fileCounter,
                       const QString &ext);

} // namespace sonalto::recording
