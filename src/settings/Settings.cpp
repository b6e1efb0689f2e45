#include "settings/Settings.h"

#include "settings/ConfigFile.h"
#include "settings/IniFile.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <utility>

namespace sonalto::settings {

namespace {

// A position, or -1 when the stored text is not a decimal integer.
int readPosition(const IniFile &ini, const char *key, int def)
{
    bool ok = false;
    const int value = ini.readInt(config::AudioSection, key, def, &ok);
    return ok ? value : -1;
}

template <typename T>
void add(QList<std::pair<QString, QByteArray>> &values, const char *key, const Choice<T> &choice,
         QByteArray text)
{
    if (choice.chosen())
        values.append({QString::fromLatin1(key), std::move(text)});
}

QByteArray number(int value)
{
    return QByteArray::number(value);
}

} // namespace

Settings::Settings(QString path) : m_path(std::move(path)) {}

void Settings::load()
{
    using namespace config;
    const IniFile ini(m_path);
    recordDevice = Choice<int>(readPosition(ini, RecordDevice, AudioDefault));
    inputChannel = Choice<int>(readPosition(ini, InputChannel, AudioDefault));
    recordDeviceName = Choice<QString>(ini.readString(AudioSection, RecordDeviceName, QString()));
    inputChannelName = Choice<QString>(ini.readString(AudioSection, InputChannelName, QString()));
    volume = Choice<std::optional<int>>(readStoredVolume(ini));
    const int format = ini.readInt(AudioSection, OutputFormat, AudioDefault);
    // A hand-edited format records MP3 rather than nothing.
    outputFormat = Choice<int>(format >= 0 && format <= 3 ? format : 0);
    sampleRate = Choice<int>(readPosition(ini, SampleRate, AudioDefault));
    channels = Choice<int>(readPosition(ini, Channels, AudioDefault));
}

void Settings::chooseInput(int devicePosition, const QString &deviceName, int inputPosition,
                           const QString &inputName)
{
    recordDevice.choose(devicePosition);
    recordDeviceName.choose(deviceName);
    inputChannel.choose(inputPosition);
    inputChannelName.choose(inputName);
}

bool Settings::save(QString *error) const
{
    using namespace config;
    // The keys in the order of the file's table; each written only when chosen.
    QList<std::pair<QString, QByteArray>> audio;
    add(audio, RecordDevice, recordDevice, number(recordDevice.value()));
    add(audio, InputChannel, inputChannel, number(inputChannel.value()));
    add(audio, RecordDeviceName, recordDeviceName, recordDeviceName.value().toUtf8());
    add(audio, InputChannelName, inputChannelName, inputChannelName.value().toUtf8());
    if (volume.value())
        add(audio, Volume, volume, number(std::clamp(*volume.value(), 0, 100)));
    add(audio, OutputFormat, outputFormat, number(outputFormat.value()));
    add(audio, SampleRate, sampleRate, number(sampleRate.value()));
    add(audio, Channels, channels, number(channels.value()));
    return audio.isEmpty() ||
           IniFile(m_path).writeSection(QString::fromLatin1(AudioSection), audio, error);
}

} // namespace sonalto::settings
