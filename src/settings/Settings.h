#pragma once

#include <QString>

#include <optional>

namespace sonalto::settings {

// One stored value and whether this run chose it.
template <typename T> class Choice
{
public:
    Choice() = default;
    explicit Choice(T stored) : m_value(std::move(stored)) {}

    const T &value() const { return m_value; }
    bool chosen() const { return m_chosen; }
    // The user chose it: it is written back on save.
    void choose(T value)
    {
        m_value = std::move(value);
        m_chosen = true;
    }

private:
    T m_value{};
    bool m_chosen = false;
};

// What Config.ini holds for the main window, typed: the capture device and input, the
// recording volume, and the output format, rate and channel positions. Read once at start; written
// back on save, key by key, only where the user chose a value during this run. So a value the
// program merely saw (an input muted by another program, a device missing at start, a value it
// could not read) never replaces what the user stored, and every key nobody touched stays exactly
// as it is in the file.
class Settings
{
public:
    explicit Settings(QString path = QString());

    const QString &path() const { return m_path; }
    // Reads every key; a missing or unreadable value gives its default.
    void load();
    // Writes the chosen values (a value written before and chosen unchanged leaves the
    // file alone). False with the reason when the file cannot be written; the values stay
    // chosen, so a later save tries again.
    bool save(QString *error = nullptr) const;

    // Positions in the device and input lists when they were chosen, and the names
    // those positions stood for (positions move when devices come and go; names do not).
    Choice<int> recordDevice;
    Choice<int> inputChannel;
    Choice<QString> recordDeviceName;
    Choice<QString> inputChannelName;
    // 0..100; none when missing or not a number (the input then keeps its level).
    Choice<std::optional<int>> volume;
    // 0 MP3, 1 WMA, 2 OGG, 3 WAV (a stored value outside reads as 0).
    Choice<int> outputFormat;
    // Positions in the format's rate and channel lists; -1 when not stored or unreadable.
    Choice<int> sampleRate;
    Choice<int> channels;

    // Chooses the device and input together, as the user picks them.
    void chooseInput(int devicePosition, const QString &deviceName, int inputPosition,
                     const QString &inputName);

private:
    QString m_path;
};

} // namespace sonalto::settings
