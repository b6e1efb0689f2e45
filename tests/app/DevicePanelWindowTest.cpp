// The device panel against the sound server: volumes shown truthfully, inputs
// that come and go, a server that restarts.
#include "AppTestSupport.h"
#include "common/TestSupport.h"

#include "settings/IniFile.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

std::unique_ptr<TForm1> makePulseForm()
{
    return makeForm(audio::AudioEngine::createSystemBackend());
}

// The raw level of a source (0..65536), as the server holds it.
int rawSourceVolume(const QString &source)
{
    const QString out = pactl({"get-source-volume", source});
    // "Volume: front-left: 26215 /  40% / ..."
    const int colon = out.indexOf(':', out.indexOf("front-left"));
    return out.mid(colon + 1).section('/', 0, 0).trimmed().toInt();
}

// Unloads a module when the test ends, whatever happened.
struct Module
{
    explicit Module(const QStringList &args)
        : id(pactl(QStringList{"load-module"} + args).trimmed())
    {
    }
    ~Module()
    {
        if (!id.isEmpty())
            pactl({"unload-module", id});
    }
    void unload()
    {
        pactl({"unload-module", id});
        id.clear();
    }
    QString id;
};

} // namespace

TEST(DevicePanelOnSoundServer, EveryVolumeSurvivesInputSwitchesAndRestarts)
{
    SONALTO_REQUIRE_PULSE();
    LineInLevelsRestored restored;
    TempFolders folders;
    std::vector<int> changed;
    {
        auto form = makePulseForm();
        for (int volume = 0; volume <= 100; ++volume) {
            selectInput(*form, "LineIn");
            form->TrackBar1->setValue(volume);
            ASSERT_TRUE(waitForInput(*form));
            selectInput(*form, "Speakers（输出混音）");
            selectInput(*form, "LineIn");
            if (form->TrackBar1->value() != volume ||
                rawSourceVolume("sonalto_linein") != int(std::lround(volume * 655.36)))
                changed.push_back(volume);
        }
    }
    EXPECT_TRUE(changed.empty()) << changed.size() << " levels moved, the first "
                                 << (changed.empty() ? -1 : changed.front());

    // Starting the program shows the level it finds and never lowers it, with
    // the volume stored or not.
    changed.clear();
    for (int volume = 0; volume <= 100; volume += 1) {
        const int raw = int(std::lround(volume * 655.36));
        pactl({"set-source-volume", "sonalto_linein", QString::number(raw)});
        settings::IniFile ini(folders.appDir() + "Config.ini");
        ini.writeString("Audio", "InputChannelName", "LineIn");
        ini.writeString("Audio", "RecordDeviceName", "虚拟设备");
        if (volume % 2)
            ini.writeInt("Audio", "Volume", volume);
        else
            ini.writeString("Audio", "Volume", "");
        {
            auto form = makePulseForm();
            if (form->ComboBox1->currentText() != "LineIn" || form->TrackBar1->value() != volume) {
                ADD_FAILURE() << volume << ": shows " << form->TrackBar1->value() << " on "
                              << form->ComboBox1->currentText().toStdString();
                changed.push_back(volume);
            }
        }
        if (rawSourceVolume("sonalto_linein") != raw) {
            ADD_FAILURE() << volume << ": level " << rawSourceVolume("sonalto_linein");
            changed.push_back(volume);
        }
    }
    EXPECT_TRUE(changed.empty()) << changed.size() << " restarts moved the level, the first at "
                                 << (changed.empty() ? -1 : changed.front());
}

TEST(DevicePanelOnSoundServer, OutsideVolumeAndMuteChangesMoveTheBarOnly)
{
    SONALTO_REQUIRE_PULSE();
    LineInLevelsRestored restored;
    TempFolders folders;
    auto form = makePulseForm();
    selectInput(*form, "LineIn");
    form->TrackBar1->setValue(80);
    ASSERT_TRUE(waitForInput(*form));

    // 26215 is 40.0008 %: written back, it would turn into 26214.
    QElapsedTimer timer;
    timer.start();
    pactl({"set-source-volume", "sonalto_linein", "26215"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->TrackBar1->value() == 40; }, 2000));
    EXPECT_LT(timer.elapsed(), 500) << "the bar follows promptly";
    QTest::qWait(300);
    EXPECT_EQ(rawSourceVolume("sonalto_linein"), 26215) << "nothing was written back";

    pactl({"set-source-mute", "sonalto_linein", "1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->TrackBar1->value() == 0; }, 2000));
    EXPECT_TRUE(form->SpeedButton19->isChecked());
    pactl({"set-source-mute", "sonalto_linein", "0"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->TrackBar1->value() == 40; }, 2000));
    EXPECT_FALSE(form->SpeedButton19->isChecked());
    EXPECT_EQ(rawSourceVolume("sonalto_linein"), 26215);
}

TEST(DevicePanelOnSoundServer, RemovedInputIsAnnouncedAndEveryLabelNamesTheNewOne)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    Module mic({"module-null-sink", "sink_name=sonalto_tmpmic",
                "sink_properties=device.description=TmpMic"});
    ASSERT_FALSE(mic.id.isEmpty());
    auto form = makePulseForm();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->ComboBox1->findText("TmpMic（输出混音）") >= 0; }, 3000));
    selectInput(*form, "TmpMic（输出混音）");
    EXPECT_EQ(form->Label13->text(), "录制从 虚拟设备, TmpMic（输出混音）");

    mic.unload();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->ComboBox1->findText("TmpMic（输出混音）") < 0; }, 3000));
    QTest::qWait(500); // nothing may overwrite the notice by itself
    EXPECT_EQ(form->Label15->text(), "输入声道已移除: TmpMic（输出混音）");
    const QString now = form->ComboBox1->currentText();
    ASSERT_FALSE(now.isEmpty());
    EXPECT_EQ(form->Label13->text(), "录制从 虚拟设备, " + now);
    EXPECT_EQ(form->Input->engine()->input(form->Input->engine()->currentInput())->name,
              now.toStdString())
        << "the next recording takes the input the window names";
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Input->monitor() != nullptr; }, 3000));
    EXPECT_FALSE(form->Input->monitor()->failed());
}

TEST(DevicePanelOnSoundServer, OutputAddedDuringARecordingLeavesTheTakesInputAlone)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makePulseForm();
    form->show();
    form->ComboBox3->setCurrentIndex(3); // WAV: no encoder to wait for
    form->ComboBox3Change();
    const QString input = form->ComboBox1->currentText();
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording);
    Module late(
        {"module-null-sink", "sink_name=sonalto_late", "sink_properties=device.description=Late"});
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return form->ComboBox1->findText("Late（输出混音）") >= 0; }, 3000));
    EXPECT_EQ(form->ComboBox1->currentText(), input) << "the take's input stays in use";
    EXPECT_EQ(form->Label13->text(), "录制从 虚拟设备, " + input);
    form->ToolButton3->click();
    EXPECT_TRUE(waitUntilIdle(*form));
}

TEST(DevicePanelOnSoundServer, StoredNamesWinOverPositions)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    int storedPosition = -1;
    {
        auto form = makePulseForm();
        selectInput(*form, "LineIn");
        storedPosition = form->ComboBox1->currentIndex();
        form->saveSettings();
    }
    // A new output appears before start: its output mix is listed ahead of
    // LineIn, so the stored position now names another input.
    Module early({"module-null-sink", "sink_name=sonalto_early",
                  "sink_properties=device.description=Early"});
    auto form = makePulseForm();
    ASSERT_NE(form->ComboBox1->itemText(storedPosition), "LineIn");
    EXPECT_EQ(form->ComboBox1->currentText(), "LineIn");
    EXPECT_EQ(form->ComboBox2->currentText(), "虚拟设备");
}

TEST(DevicePanel, StoredMinusOneShowsTheInputInUse)
{
    TempFolders folders;
    settings::IniFile ini(folders.appDir() + "Config.ini");
    ini.writeInt("Audio", "RecordDevice", -1);
    ini.writeInt("Audio", "InputChannel", -1);
    auto form = makeForm(makeTestBackend());
    EXPECT_EQ(form->ComboBox2->currentText(), "Built-in Audio");
    ASSERT_GE(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->Input->engine()->currentInput(), form->ComboBox1->currentIndex());
    EXPECT_EQ(form->Label13->text(), "录制从 Built-in Audio, " + form->ComboBox1->currentText());
}

TEST(DevicePanel, UnreadableStoredVolumeLeavesTheInputAlone)
{
    TempFolders folders;
    settings::IniFile ini(folders.appDir() + "Config.ini");
    ini.writeString("Audio", "Volume", "abc");
    auto backend = makeTestBackend();
    audio::VirtualBackend *server = backend.get();
    auto form = makeForm(std::move(backend));
    const auto level = server->sourceVolume("card0.in");
    ASSERT_TRUE(level.has_value());
    EXPECT_NEAR(*level, 0.29f, 0.001f) << "Volume=abc must not mute the input";
    EXPECT_EQ(form->TrackBar1->value(), 29);
}

TEST(DevicePanel, StartWithoutCaptureDeviceSaysSoOnceAndAnArrivalIsNoRemoval)
{
    TempFolders folders;
    auto backend = std::make_unique<audio::VirtualBackend>();
    audio::VirtualBackend *server = backend.get();
    auto form = makeForm(std::move(backend));
    EXPECT_EQ(form->ShownMessages, QStringList{"无法获取录音设备！"});

    audio::VirtualDevice device{"usb", "USB Mic", true, {}};
    device.inputs.push_back(
        {"Mic", audio::InputTypeMicrophone, 0.5f, sineGenerator(1000, 0.5), "usb_mic", {}});
    server->addDevice(std::move(device));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComboBox2->count() == 1; }, 3000));
    EXPECT_EQ(form->ComboBox1->currentText(), "Mic");
    EXPECT_FALSE(form->Label15->text().contains("移除")) << form->Label15->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Input->monitor() != nullptr; }, 3000))
        << "the monitor opens on the new device";
    EXPECT_EQ(form->ShownMessages.size(), 1);
}

TEST(DevicePanel, LongStatusIsCutAtItsEndWithTheWholeTextAtHand)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    const QString full = "检测声音从 " + QString(60, 'x') + " END";
    form->Label15->setText(full);
    EXPECT_EQ(form->Label15->text(), full);
    EXPECT_EQ(form->Label15->toolTip(), full);
    EXPECT_EQ(form->Label15->accessibleDescription(), full);
    const QString shown = form->Label15->shownText();
    EXPECT_TRUE(shown.startsWith("检测声音从 ")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(form->Label15->fontMetrics().horizontalAdvance(shown), form->Label15->width());
}

TEST(DevicePanelOnSoundServer, RestartedServerIsFoundAgainAndRecordingWorks)
{
    SONALTO_REQUIRE_PULSE();
    OwnSoundServer server;
    ASSERT_TRUE(server.start());
    TempFolders folders;
    auto form = makePulseForm();
    ASSERT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join("|").toStdString();
    selectInput(*form, "OwnTone");

    server.stop();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return form->ComboBox1->count() == 0 || !form->Input->monitor() ||
                   form->Input->monitor()->failed();
        },
        5000));
    ASSERT_TRUE(server.start());

    // Same device and input by name, the monitor running again.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return form->ComboBox1->currentText() == "OwnTone" && form->Input->monitor() &&
                   !form->Input->monitor()->failed();
        },
        8000));
    EXPECT_EQ(form->ComboBox2->currentText(), "虚拟设备");
    EXPECT_EQ(form->ComboBox1->currentText(), "OwnTone");

    form->show();
    const int messages = form->ShownMessages.size();
    EXPECT_TRUE(recordWav(*form, 1.0)) << form->ShownMessages.join("|").toStdString();
    EXPECT_EQ(form->ShownMessages.size(), messages) << form->ShownMessages.join("|").toStdString();
}
