#pragma once

#include "audio/AudioTypes.h"

#include <QString>

namespace sonalto::recording {

// What a take lost, as the window tells it ("录制中丢失 0.35 秒音频（3 处）");
// empty when it lost nothing.
QString lossReportText(const audio::AudioLoss &loss, int rate);

} // namespace sonalto::recording
