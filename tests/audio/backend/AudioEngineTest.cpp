// Engine logic over the virtual backend: several devices, ports sharing a
// source, hot-plug that reorders the lists, output volume of open files.
#include "BackendTestSupport.h"

#include "audio/AudioEngine.h"

#include <QTest>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>
#include <thread>

using namespace sonalto::audio;
using namespace sonalto::audio::test;

namespace {

class AudioEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto backend = std::make_unique<VirtualBackend>();
        m_backend = backend.get();
        // A card whose capture source has two ports (the first one active), and
        // the monitor of its output.
        VirtualDevice card{"card:builtin", "Built-in Audio", true, {}};
        card.inputs.push_back(
            {"Microphone", InputTypeMicrophone, 0.7f, sineGenerator(500), "builtin_in", "mic"});
        card.inputs.push_back(
            {"Line In", InputTypeLine, 0.7f, sineGenerator(500), "builtin_in", "line"});
        card.inputs.push_back(
            {"Speakers（输出混音）", InputTypeOutputMix, 1.f, {}, "builtin_out.monitor", {}});
        m_backend->addDevice(std::move(card));
        m_backend->addDevice({"card:usb", "USB Headset", false, {}});
        VirtualDevice group{"virtual", "虚拟设备", true, {}};
        group.inputs.push_back({"Tone", InputTypeUndefined, 1.f, sineGenerator(1000), "tone", {}});
        m_backend->addDevice(std::move(group));
        m_backend->setDefaultSource("builtin_in");
        m_backend->setDefaultOutputVolume(0.6f);
        m_engine = std::make_unique<AudioEngine>(std::move(backend));
    }

    void start()
    {
        std::string error;
        ASSERT_TRUE(m_engine->start(&error)) << error;
    }

    VirtualBackend *m_backend = nullptr;
    std::unique_ptr<AudioEngine> m_engine;
};

TEST_F(AudioEngineTest, StartsOnTheDefaultSourcesActivePort)
{
    ASSERT_TRUE(m_backend->activateInput({"Line In", 0, "builtin_in", "line", false}, nullptr));
    start();
    const auto devices = m_engine->captureDevices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].name, "Built-in Audio");
    EXPECT_FALSE(devices[1].enabled);
    EXPECT_EQ(m_engine->currentDevice(), 0);
    EXPECT_EQ(m_engine->currentInput(), 1);
    EXPECT_FLOAT_EQ(m_engine->outputVolume(), 0.6f);
}

TEST_F(AudioEngineTest, StartsOnTheDeviceOfTheDefaultSource)
{
    m_backend->setDefaultSource("tone");
    start();
    EXPECT_EQ(m_engine->currentDevice(), 2);
    EXPECT_EQ(m_engine->currentInput(), 0);
}

TEST_F(AudioEngineTest, FailsToStartWithTheBackendsMessage)
{
    m_backend->setConnectError("no server");
    std::string error;
    EXPECT_FALSE(m_engine->start(&error));
    EXPECT_EQ(error, "no server");
    EXPECT_FALSE(m_engine->isStarted());
    EXPECT_FALSE(m_engine->selectDevice(0));
    EXPECT_FALSE(m_engine->startCapture({44100, 2}, false, {}, &error));
}

TEST_F(AudioEngineTest, SelectsDevicesByPositionButNotDisabledOnes)
{
    start();
    EXPECT_FALSE(m_engine->selectDevice(1)); // disabled
    EXPECT_FALSE(m_engine->selectDevice(3));
    EXPECT_FALSE(m_engine->selectDevice(-1));
    EXPECT_EQ(m_engine->currentDevice(), 0);
    ASSERT_TRUE(m_engine->selectDevice(2));
    EXPECT_EQ(m_engine->currentDevice(), 2);
    EXPECT_EQ(m_engine->inputCount(), 1);
    EXPECT_EQ(m_engine->currentInput(), 0);
    EXPECT_EQ(m_engine->input(0)->name, "Tone");
    const std::vector<InputInfo> listed = m_engine->inputs();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "Tone");
}

TEST_F(AudioEngineTest, PortsOfOneSourceShareItsVolumeAndSwitchItsPort)
{
    start();
    ASSERT_TRUE(m_engine->switchOnInput(1));
    EXPECT_EQ(m_backend->activePort("builtin_in"), "line");
    EXPECT_EQ(m_engine->currentInput(), 1);
    ASSERT_TRUE(m_engine->setInputVolume(-1, 0.25f));
    EXPECT_FLOAT_EQ(m_engine->input(0)->volume, 0.25f);
    EXPECT_FLOAT_EQ(m_engine->input(1)->volume, 0.25f);
    EXPECT_FLOAT_EQ(m_engine->input(2)->volume, 1.f);
    EXPECT_EQ(m_engine->input(2)->flags & InputTypeMask, InputTypeOutputMix);
    // The list without volumes names the same inputs, of the same kinds.
    const std::vector<InputInfo> listed = m_engine->inputs();
    ASSERT_EQ(int(listed.size()), m_engine->inputCount());
    for (int i = 0; i < m_engine->inputCount(); ++i) {
        EXPECT_EQ(listed[size_t(i)].name, m_engine->input(i)->name);
        EXPECT_EQ(listed[size_t(i)].flags, m_engine->input(i)->flags);
    }

    // Re-read lists keep the port the user chose.
    m_engine->refreshDevices();
    EXPECT_EQ(m_engine->currentInput(), 1);
}

TEST_F(AudioEngineTest, RefreshKeepsTheCurrentDeviceWhenOthersComeAndGo)
{
    start();
    ASSERT_TRUE(m_engine->selectDevice(2));
    m_backend->removeDevice("card:usb");
    m_engine->refreshDevices();
    EXPECT_EQ(m_engine->currentDevice(), 1);
    EXPECT_EQ(m_engine->input(0)->name, "Tone");

    // The current device itself gone: back to the default source's device.
    m_backend->removeDevice("virtual");
    EXPECT_FALSE(m_engine->switchOnInput(0)); // still listed, but gone
    m_engine->refreshDevices();
    EXPECT_EQ(m_engine->currentDevice(), 0);
    EXPECT_EQ(m_engine->currentInput(), 0);
    EXPECT_FALSE(m_engine->selectDevice(1));

    m_backend->removeDevice("card:builtin");
    m_engine->refreshDevices();
    EXPECT_EQ(m_engine->currentDevice(), -1);
    EXPECT_EQ(m_engine->inputCount(), 0);
    EXPECT_FALSE(m_engine->input(0));
    std::string error;
    EXPECT_FALSE(m_engine->startCapture({44100, 2}, false, {}, &error));
    EXPECT_FALSE(error.empty());
}

// A 16-bit stereo 44100 Hz WAV file of one constant sample value.
void writeConstantWav(const QString &path, int16_t value, uint32_t frames)
{
    FILE *f = std::fopen(path.toLocal8Bit().constData(), "wb");
    ASSERT_TRUE(f);
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    const uint32_t data = frames * 4;
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + data);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(data);
    std::vector<int16_t> samples(size_t(frames) * 2, value);
    std::fwrite(samples.data(), 2, samples.size(), f);
    std::fclose(f);
}

TEST_F(AudioEngineTest, OutputVolumeIsTheOutputDevicesAndFilesPlayAtFullScale)
{
    start();
    QTemporaryDir dir;
    const QString path = dir.filePath("level.wav");
    writeConstantWav(path, 8000, 4410);
    // The volume is set once, on the device: a stream carrying it as well would
    // sound quieter than any other program at the same setting.
    m_engine->setOutputVolume(0.5f);
    EXPECT_FLOAT_EQ(m_backend->outputVolume().value_or(-1.f), 0.5f);
    EXPECT_FLOAT_EQ(m_engine->outputVolume(), 0.5f);
    std::string error;
    auto stream = m_engine->openFile(path.toStdString(), &error);
    ASSERT_TRUE(stream) << error;
    ASSERT_TRUE(stream->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stream->state() == ActiveState::Stopped; }, 10000));
    auto played = m_backend->playedAudio();
    ASSERT_EQ(played.size(), 4410u * 2);
    for (int16_t s : played)
        ASSERT_EQ(s, 8000);

    m_backend->clearPlayedAudio();
    m_engine->setOutputVolume(0.25f);
    EXPECT_FLOAT_EQ(m_backend->outputVolume().value_or(-1.f), 0.25f);
    ASSERT_TRUE(stream->play()); // from the start again
    ASSERT_TRUE(QTest::qWaitFor([&] { return stream->state() == ActiveState::Stopped; }, 10000));
    played = m_backend->playedAudio();
    ASSERT_FALSE(played.empty());
    EXPECT_EQ(played.back(), 8000);
}

} // namespace
