#include "recording/LossReport.h"

#include <QCoreApplication>

namespace sonalto::recording {

QString lossReportText(const audio::AudioLoss &loss, int rate)
{
    if (!loss.any() || rate <= 0)
        return {};
    const double seconds = double(loss.totalFrames()) / rate;
    return QCoreApplication::translate("sonalto::recording", "录制中丢失 %1 秒音频（%2 处）")
        .arg(seconds, 0, 'f', 2)
        .arg(qulonglong(loss.totalEvents()));
}

} // namespace sonalto::recording
