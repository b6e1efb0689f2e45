#pragma once

#include <QString>

namespace sonalto::recording {

// The path of the next recording: audioDir + baseName + number + ext, with the lowest number
// from fileCounter on whose file does not exist yet. When fileCounter itself was taken it ends
// one past the number used, so the following recording starts looking there; otherwise it is
// left alone. Only names with this extension are looked at: 01.mp3 does not stop 01.wav.
QString nextOutputPath(const QString &audioDir, const QString &baseName, int &fileCounter,
                       const QString &ext);

} // namespace sonalto::recording
