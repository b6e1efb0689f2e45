#pragma once

#include <QString>

namespace sonalto::recording {

// The recording's messages, in one place: the detector and the window show some of them
// too. The English ones keep their original wording, with one apostrophe.
inline QString couldNotStartRecording()
{
    return QStringLiteral("Couldn't start recording");
}
inline QString couldNotStartMp3Encoder()
{
    return QStringLiteral("Couldn't start Encoding for MP3");
}
inline QString couldNotStartOggEncoder()
{
    return QStringLiteral("无法开始录制 OGG 音频");
}
inline QString couldNotOpenWmaWriter()
{
    return QStringLiteral("Cannot Start WMA Encoding for WMA");
}
inline QString couldNotStartWmaCapture()
{
    return QStringLiteral("Cannot start recording for WMA");
}
inline QString couldNotStartWav()
{
    return QStringLiteral("无法开始录制 WAV 音频");
}

// A take that ended by itself, or could not be finished: the reason, then what became
// of the file.
inline QString takeFailedText(const QString &reason, const QString &fileName, bool saved)
{
    return QStringLiteral("录制意外停止: ") + reason +
           (saved ? QStringLiteral("\n\n已录制的部分已保存到 ") + fileName
                  : QStringLiteral("\n\n没有录到可以保存的音频，") + fileName +
                        QStringLiteral(" 未保存。"));
}

} // namespace sonalto::recording
