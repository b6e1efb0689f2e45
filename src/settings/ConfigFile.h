#pragma once

#include "settings/IniFile.h"

#include <QString>

#include <optional>

namespace sonalto::settings {

// Section and key names of Config.ini, spelled exactly as in files brought from Windows so
// that such a file keeps its meaning.
namespace config {

inline constexpr char AudioSection[] = "Audio";
inline constexpr char RecordDevice[] = "RecordDevice";
inline constexpr char InputChannel[] = "InputChannel";
inline constexpr char Volume[] = "Volume";
// Names of the device and input the two positions above stood for: positions move when a
// device is plugged in before start, names do not. The Windows program ignores these keys.
inline constexpr char RecordDeviceName[] = "RecordDeviceName";
inline constexpr char InputChannelName[] = "InputChannelName";
inline constexpr char OutputFormat[] = "OutputFormat";
inline constexpr char SampleRate[] = "SampleRate";
inline constexpr char Channels[] = "Channels";

inline constexpr char OtherSection[] = "Other";
inline constexpr char AudioDir[] = "AudioDir";
inline constexpr char OutputName[] = "OutputName";
inline constexpr char MinitoTray[] = "MinitoTray";

inline constexpr char Mp3Section[] = "MP3";
inline constexpr char Cbr[] = "Cbr";
inline constexpr char CbrBit[] = "CbrBit";
inline constexpr char VbrMiniBit[] = "VbrMiniBit";
inline constexpr char VbrMaxiBit[] = "VbrMaxiBit";
inline constexpr char VbrQuality[] = "VbrQuality";

// Defaults when a key is missing. The AudioDir default "0" names no folder, so the documents
// folder's Sonalto subfolder is used; the OutputName default "0" gives 01.mp3, 02.mp3...
inline constexpr int AudioDefault = 0;
inline constexpr char AudioDirDefault[] = "0";
inline constexpr char OutputNameDefault[] = "0";
inline constexpr int MinitoTrayDefault = 0;
inline constexpr int Mp3Default = 0;

// Highest positions in the bit-rate and quality lists.
inline constexpr int MaxBitRatePosition = 13;
inline constexpr int MaxQualityPosition = 9;

} // namespace config

// Why a folder cannot be the output folder the settings keep, or nothing when it can: the file
// holds each value on one line, so a folder whose name has a line break in it would be used but
// never kept. The reason is in the words the window shows the user.
std::optional<QString> folderRefusal(const QString &folder);

struct Mp3Settings
{
    int cbr = 0;
    int cbrBit = 0;
    int vbrMiniBit = 0;
    int vbrMaxiBit = 0;
    int vbrQuality = 0;
};

// The stored value, or def when the text is not a decimal integer. Loading never stops at a
// hand-edited value.
int readIntOrDefault(const IniFile &ini, const QString &section, const QString &key, int def);

// The stored recording volume 0..100 (clamped), or nullopt when it is missing or not a decimal
// integer: the input then keeps the level it has.
std::optional<int> readStoredVolume(const IniFile &ini);

// Positions out of range are clamped to the nearest valid one, so a hand-edited file cannot
// produce an encoder command line the encoder refuses.
Mp3Settings readMp3Settings(const IniFile &ini);
// All five keys with one replacement of the file, or none of them with *error saying why.
bool writeMp3Settings(IniFile &ini, const Mp3Settings &settings, QString *error = nullptr);

} // namespace sonalto::settings
