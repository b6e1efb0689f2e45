#include "settings/ConfigFile.h"

#include <QCoreApplication>

#include <algorithm>

namespace sonalto::settings {

std::optional<QString> folderRefusal(const QString &folder)
{
    if (folder.contains(QLatin1Char('\n')) || folder.contains(QLatin1Char('\r')))
        return QCoreApplication::translate("sonalto::settings",
                                           "文件夹的名称中含有换行符，设置文件无法保存它");
    return std::nullopt;
}

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

bool writeMp3Settings(IniFile &ini, const Mp3Settings &settings, QString *error)
{
    using namespace config;
    const auto entry = [](const char *key, int value) {
        return IniFile::Entry{Mp3Section, key, QString::number(value)};
    };
    return ini.writeEntries({entry(Cbr, settings.cbr), entry(CbrBit, settings.cbrBit),
                             entry(VbrMiniBit, settings.vbrMiniBit),
                             entry(VbrMaxiBit, settings.vbrMaxiBit),
                             entry(VbrQuality, settings.vbrQuality)},
                            error);
}

} // namespace sonalto::settings
