#include "settings/ConfigFile.h"

#include <algorithm>

namespace sonalto::settings {

int readIntOrDefault(const IniFile &ini, const QString &section, const QString &key, int def)
{
    return ini.readInt(section, key, def);
}

std::optional<int> readStoredVolume(const IniFile &ini)
{
    using namespace config;
    if (ini.readString(AudioSection, Volume, QString()).isEmpty())
        return std::nullopt;
    bool ok = false;
    const int volume = ini.readInt(AudioSection, Volume, 0, &ok);
    if (!ok)
        return std::nullopt;
    return std::clamp(volume, 0, 100);
}

Mp3Settings readMp3Settings(const IniFile &ini)
{
    using namespace config;
    const auto position = [&ini](const char *key, int max) {
        return std::clamp(readIntOrDefault(ini, Mp3Section, key, Mp3Default), 0, max);
    };
    Mp3Settings s;
    s.cbr = readIntOrDefault(ini, Mp3Section, Cbr, Mp3Default);
    s.cbrBit = position(CbrBit, MaxBitRatePosition);
    s.vbrMiniBit = position(VbrMiniBit, MaxBitRatePosition);
    s.vbrMaxiBit = position(VbrMaxiBit, MaxBitRatePosition);
    s.vbrQuality = position(VbrQuality, MaxQualityPosition);
    return s;
}

bool writeMp3Settings(IniFile &ini, const Mp3Settings &settings)
{
    using namespace config;
    return ini.writeInt(Mp3Section, Cbr, settings.cbr) &&
           ini.writeInt(Mp3Section, CbrBit, settings.cbrBit) &&
           ini.writeInt(Mp3Section, VbrMiniBit, settings.vbrMiniBit) &&
           ini.writeInt(Mp3Section, VbrMaxiBit, settings.vbrMaxiBit) &&
           ini.writeInt(Mp3Section, VbrQuality, settings.vbrQuality);
}

} // namespace sonalto::settings
