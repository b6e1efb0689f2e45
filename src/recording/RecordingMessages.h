#pragma once

#include <QCoreApplication>
#include <QString>

namespace sonalto::recording {

// The recording's messages, in one place: the detector and the window show some of them
// too. The English ones keep their original wording, with one apostrophe.
inline QString couldNotStartRecording()
{
    return QCoreApplication::translate("sonalto::recording", "Couldn't start recording");
}
inline QString couldNotStartMp3Encoder()
{
    return QCoreApplication::translate("sonalto::recording", "Couldn't start Encoding for MP3");
}
inline QString couldNotStartOggEncoder()
{
    return QCoreApplication::translate("sonalto::recording", "无法开始录制 OGG 音频");
}
inline QString couldNotOpenWmaWriter()
{
    return QCoreApplication::translate("sonalto::recording", "Cannot Start WMA Encoding for WMA");
}
inline QString couldNotStartWmaCapture()
{
    return QCoreApplication::translate("sonalto::recording", "Cannot start recording for WMA");
}
inline QString couldNotStartWav()
{
    return QCoreApplication::translate("sonalto::recording", "无法开始录制 WAV 音频");
}

// A take that ended by itself, or could not be finished: the reason, then what became
// of the file.
inline QString takeFailedText(const QString &reason, const QString &fileName, bool saved)
{
    const QString outcome =
        saved ? QCoreApplication::translate("sonalto::recording", "\n\n已录制的部分已保存到 %1")
                    .arg(fileName)
              : QCoreApplication::translate("sonalto::recording",
                                            "\n\n没有录到可以保存的音频，%1 未保存。")
                    .arg(fileName);
    return QCoreApplication::translate("sonalto::recording", "录制意外停止: %1").arg(reason) +
           outcome;
}

} // namespace sonalto::recording
