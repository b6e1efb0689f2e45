// The window against a sound server that hangs, is missing at start, or an encoder that
// is slow to start: the window never waits for them, says what is going on, and does
// what was asked once they answer. What the user chose survives what the program saw.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "common/TestSupport.h"

#include "audio/AudioEngine.h"
#include "common/Projectdir.h"
#include "settings/IniFile.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

// The longest the window's event loop went without running a 10 ms timer, in wall
// time: a window that waits for the outside world shows here.
class WallClockWatch
{
public:
    WallClockWatch()
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_timer.start(10);
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// A window on the system's sound server, as the program makes it: a server that does
// not answer is looked for again.
std::unique_ptr<TForm1> makeSystemForm()
{
    TForm1::Options options;
    options.showMessages = false;
    auto form = std::make_unique<TForm1>(std::move(options));
    waitForInput(*form);
    return form;
}

bool serverSaysLevel(const QString &source, int percent)
{
    return pactl({"-s", qEnvironmentVariable("PULSE_SERVER"), "get-source-volume", source})
        .contains(QString::number(percent) + "%");
}

} // namespace

TEST(SoundServerWindow, AStoppedServerHoldsUpNothingAndWhatWasAskedHappensWhenItContinues)
{
    SONALTO_REQUIRE_PULSE();
    OwnSoundServer server;
    ASSERT_TRUE(server.start());
    TempFolders folders;
    auto form = makeSystemForm();
    form->show();
    selectInput(*form, "OwnTone");
    form->ComboBox3->setCurrentIndex(3); // WAV
    form->ComboBox3Change();

    WallClockWatch watch;
    server.pause();
    QElapsedTimer stopped;
    stopped.start();
    // The user goes on: the volume, the detector, another input, 录制.
    form->TrackBar1->setValue(37);
    form->Label2Click();
    form->Label2Click();
    const int mix = form->ComboBox1->findText("OwnSpeakers（输出混音）");
    ASSERT_GE(mix, 0);
    form->ComboBox1->setCurrentIndex(mix);
    form->ComboBox1Change();
    EXPECT_EQ(form->Label13->text(), "录制从 虚拟设备, OwnSpeakers（输出混音）");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->Label15->text() == "声音服务器没有响应，正在等待…"; }, 5000))
        << form->Label15->text().toStdString();
    form->ToolButton1->click();
    // A take cannot start on a server that does not answer: said, with why.
    ASSERT_TRUE(waitUntilStarted(*form));
    EXPECT_FALSE(form->IsRecording);
    ASSERT_EQ(form->ShownMessages.size(), 1) << form->ShownMessages.join('|').toStdString();
    EXPECT_TRUE(form->ShownMessages.front().contains("声音服务器没有回答"))
        << form->ShownMessages.front().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return stopped.elapsed() > 10000; }, 11000));
    server.resume();

    // Everything asked meanwhile is carried out, the notice goes, a take records.
    // The level goes to the input it was set on; the failed start leaves the monitor
    // closed, as any failed start does.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return form->Input->settled() && !form->Input->notResponding() &&
                   serverSaysLevel("own_tone", 37);
        },
        8000));
    EXPECT_EQ(form->ComboBox1->currentText(), "OwnSpeakers（输出混音）");
    EXPECT_NE(form->Label15->text(), "声音服务器没有响应，正在等待…");
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording) << form->ShownMessages.join('|').toStdString();
    form->ToolButton3->click();
    EXPECT_TRUE(waitUntilIdle(*form));
    std::cout << "longest wait of the window while the server was stopped: " << watch.longestMs()
              << " ms\n";
}

TEST(SoundServerWindow, AServerThatStartsLaterIsUsedWithoutARestart)
{
    SONALTO_REQUIRE_PULSE();
    OwnSoundServer server; // not started yet
    TempFolders folders;
    auto form = makeSystemForm();
    ASSERT_EQ(form->ShownMessages.size(), 1);
    EXPECT_TRUE(form->ShownMessages.front().startsWith("无法启动默认的录音设备！"));
    EXPECT_EQ(form->ComboBox2->count(), 0);

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComboBox1->findText("OwnTone") >= 0; }, 10000));
    selectInput(*form, "OwnTone");
    ASSERT_TRUE(recordWav(*form, 0.5)) << form->ShownMessages.join('|').toStdString();
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(4), "Saved");
}

TEST(SoundServerWindow, AnEncoderSlowToStartHoldsUpNothingAndTheTakeKeepsTheAudioFromThePress)
{
    SONALTO_REQUIRE_PROGRAM("lame");
    TempFolders folders;
    // The copy of lame in the application folder is the one used: this one takes 3 s.
    QFile slow(folders.appDir() + "lame");
    ASSERT_TRUE(slow.open(QIODevice::WriteOnly));
    slow.write("#!/bin/sh\nsleep 3\nexec lame \"$@\"\n");
    slow.close();
    slow.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    settings::IniFile(folders.appDir() + "Config.ini").writeInt("MP3", "Cbr", 1);

    auto form = makeForm(makeTestBackend());
    form->show();
    WallClockWatch watch;
    QElapsedTimer sincePress;
    sincePress.start();
    form->ToolButton1->click();
    EXPECT_EQ(form->Recording->state(), recording::RecordingSession::State::Starting);
    EXPECT_FALSE(form->ToolButton1->isEnabled());
    ASSERT_TRUE(waitUntilStarted(*form));
    ASSERT_TRUE(form->IsRecording) << form->ShownMessages.join('|').toStdString();
    EXPECT_GE(sincePress.elapsed(), 2900);
    // Half a second more of take than the press has been waited for.
    const double pressed = sincePress.elapsed() / 1000.0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->Recording->channel()->capturedFrames() >= (pressed + 0.5) * 44100; },
        10000));
    form->ToolButton3->click();
    const double pressedFor = sincePress.elapsed() / 1000.0;
    ASSERT_TRUE(waitUntilIdle(*form));
    std::cout << "longest wait of the window while the encoder started: " << watch.longestMs()
              << " ms\n";

    const QString path = folders.audioDir() + "01.mp3";
    const auto decoded = decodeForTest(QFile::encodeName(path).toStdString());
    ASSERT_TRUE(decoded);
    // From the press on: the 3 s the encoder took are in the file.
    EXPECT_GT(decoded->seconds(), 3.2);
    EXPECT_LT(decoded->seconds(), pressedFor + 0.2);
    EXPECT_NEAR(dominantFrequency(decoded->samples, 2, 44100), 1000.0, 10.0);
}

TEST(SoundServerWindow, WhatTheUserChoseSurvivesWhatTheProgramSaw)
{
    TempFolders folders;
    settings::IniFile ini(folders.appDir() + "Config.ini");
    ini.writeString("Audio", "RecordDeviceName", "USB Microphone");
    ini.writeString("Audio", "InputChannelName", "Mic");
    ini.writeInt("Audio", "Volume", 65);
    auto backend = makeTestBackend();
    audio::VirtualBackend *server = backend.get();
    server->removeDevice("usb"); // not plugged in at start
    auto form = makeForm(std::move(backend));
    EXPECT_EQ(form->ComboBox2->currentText(), "Built-in Audio");
    EXPECT_EQ(form->Label15->text(), "找不到录制设备: USB Microphone");

    // Muted from outside: the bar shows it, the stored level stays.
    server->setSourceMuted(form->Input->inputSource(), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->TrackBar1->value() == 0; }, 3000));
    EXPECT_TRUE(form->SpeedButton19->isChecked());
    form->saveSettings();
    EXPECT_EQ(ini.readInt("Audio", "Volume", -1), 65);
    EXPECT_EQ(ini.readString("Audio", "RecordDeviceName", ""), "USB Microphone");
    EXPECT_EQ(ini.readString("Audio", "InputChannelName", ""), "Mic");

    // Plugged in: the stored device and input are taken, not an output mix.
    audio::VirtualDevice usb{"usb", "USB Microphone", true, {}};
    usb.inputs.push_back({"Mic", audio::InputTypeMicrophone, 1.f, {}, "usb.in", ""});
    server->addDevice(usb);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->ComboBox2->currentText() == "USB Microphone"; }, 3000));
    EXPECT_EQ(form->ComboBox1->currentText(), "Mic");
    EXPECT_FALSE(form->Label15->text().contains("USB Microphone"));
}
