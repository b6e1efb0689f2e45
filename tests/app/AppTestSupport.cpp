#include "AppTestSupport.h"

#include "common/Projectdir.h"

#include <QDir>
#include <QTest>

#include <cmath>

namespace sonalto::test {

TempFolders::TempFolders()
{
    QDir().mkpath(appDir());
    QDir().mkpath(audioDir());
    ProjectDirs::instance().SetAppDir(appDir());
    ProjectDirs::instance().SetAudioDir(audioDir());
}

PrivateHome::PrivateHome()
{
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        m_saved.append({name, qgetenv(name)});
    qputenv("HOME", m_dir.path().toUtf8());
    qputenv("XDG_DATA_HOME", (m_dir.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8());
}

PrivateHome::~PrivateHome()
{
    for (const auto &[name, value] : m_saved)
        qputenv(name, value);
}

std::unique_ptr<audio::VirtualBackend> makeTestBackend()
{
    auto backend = std::make_unique<audio::VirtualBackend>();
    audio::VirtualDevice card;
    card.id = "card0";
    card.name = "Built-in Audio";
    card.inputs.push_back({"Microphone", audio::InputTypeMicrophone, 0.29f,
                           sineGenerator(1000, 0.5), "card0.in", "mic"});
    card.inputs.push_back(
        {"Line In", audio::InputTypeLine, 0.5f, sineGenerator(440, 0.5), "card0.in", "line"});
    card.inputs.push_back({"Speakers (output)", audio::InputTypeOutputMix, 0.8f,
                           sineGenerator(1000, 0.5), "card0.speakers.monitor", ""});
    card.inputs.push_back({"Headphones (output)", audio::InputTypeOutputMix, 0.6f,
                           sineGenerator(1000, 0.5), "card0.headphones.monitor", ""});
    backend->addDevice(card);
    audio::VirtualDevice usb;
    usb.id = "usb";
    usb.name = "USB Microphone";
    usb.inputs.push_back(
        {"Mic", audio::InputTypeMicrophone, 1.0f, sineGenerator(500, 0.5), "usb.in", ""});
    backend->addDevice(usb);
    backend->setDefaultSource("card0.in");
    return backend;
}

std::unique_ptr<TForm1> makeForm(std::unique_ptr<audio::AudioBackend> backend)
{
    TForm1::Options options;
    options.useSystemBackend = false;
    options.showMessages = false;
    options.backend = std::move(backend);
    return std::make_unique<TForm1>(std::move(options));
}

bool waitUntilIdle(TForm1 &form, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] { return form.Recording->state() == recording::RecordingSession::State::Idle; },
        timeoutMs);
}

} // namespace sonalto::test
