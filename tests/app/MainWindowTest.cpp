// The main window driven as a user would: sections, device panel, close questions.
#include "AppTestSupport.h"
#include "common/TestSupport.h"

#include "app/SpectrumBox.h"
#include "common/Projectdir.h"
#include "settings/IniFile.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;
using sonalto::test::pactl;

namespace {
QColor textColour(QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}
} // namespace

TEST(MainWindow, WithoutSoundServerTheWindowStillWorks)
{
    TempFolders folders;
    auto form = makeForm(nullptr);
    ASSERT_EQ(form->ShownMessages.size(), 1);
    EXPECT_TRUE(form->ShownMessages.front().startsWith("无法启动默认的录音设备！\n\n"))
        << "with the reason: " << form->ShownMessages.front().toStdString();
    EXPECT_EQ(form->ComboBox2->count(), 0);
    EXPECT_EQ(form->Panel5->height(), 28);

    // Sections still open and close, and the window follows.
    const int collapsed = form->height();
    form->SpeedButton20->click();
    EXPECT_EQ(form->Panel5->height(), 104);
    EXPECT_EQ(form->height(), collapsed + 104 - 28);
    form->SpeedButton20->click();
    EXPECT_EQ(form->height(), collapsed);

    // Record fails with a message instead of pretending to record.
    pressRecord(*form);
    EXPECT_FALSE(form->IsRecording);
    EXPECT_TRUE(form->ToolButton1->isEnabled());
}

TEST(MainWindow, ClosingWithoutSoundServerKeepsTheStoredAudioSettings)
{
    TempFolders folders;
    settings::IniFile ini(folders.appDir() + "Config.ini");
    ini.writeInt("Audio", "OutputFormat", 3);
    ini.writeInt("Audio", "Volume", 65);
    auto form = makeForm(nullptr);
    form->Exit1Click();
    EXPECT_EQ(ini.readInt("Audio", "OutputFormat", -1), 3);
    EXPECT_EQ(ini.readInt("Audio", "Volume", -1), 65);
}

TEST(MainWindow, LayoutAndAccessibleNames)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    EXPECT_EQ(form->windowTitle(), "Sonalto");
    EXPECT_EQ(form->centralWidget()->width(), 553);
    EXPECT_EQ(form->PaintFrame->size(), QSize(217, 81));
    EXPECT_EQ(form->ToolButton1->text(), "录制");
    EXPECT_EQ(form->ToolButton1->toolTip(), "录制中");
    EXPECT_FALSE(form->ToolButton2->isEnabled());
    EXPECT_FALSE(form->ToolButton3->isEnabled());
    EXPECT_FALSE(form->Pause1->isEnabled());
    EXPECT_EQ(form->ToolButton5->toolTip(), "常规选项");
    // Every control a user can reach has a name assistive technology can read.
    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(form.get()))
            continue;
        if (qobject_cast<QToolButton *>(w) || qobject_cast<QComboBox *>(w) ||
            qobject_cast<QSlider *>(w) || qobject_cast<QTreeWidget *>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        }
    }
    EXPECT_EQ(form->SpeedButton20->accessibleName(), "设备设置");
    EXPECT_EQ(form->TrackBar1->accessibleName(), "录音音量");
}

TEST(MainWindow, StartupAppliesStoredInputAndOpensTheMonitor)
{
    TempFolders folders;
    settings::IniFile(folders.appDir() + "Config.ini").writeInt("Audio", "InputChannel", 1);
    auto form = makeForm(makeTestBackend());
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join("|").toStdString();
    EXPECT_EQ(form->ComboBox2->count(), 2);
    EXPECT_EQ(form->ComboBox2->currentText(), "Built-in Audio");
    EXPECT_EQ(form->ComboBox1->currentText(), "Line In");
    ASSERT_NE(form->Input->monitor(), nullptr);
    EXPECT_EQ(form->Input->monitor()->state(), audio::ActiveState::Playing);
    EXPECT_EQ(form->Label15->text(), "检测声音从 Line In");
    EXPECT_EQ(textColour(form->Label2), QColor(0, 255, 0));
    EXPECT_TRUE(form->detectorOn());
    // No stored volume: the input keeps its own level. Line-in shares its source
    // with the microphone (0.29), shown rounded as 29 and left as it is.
    EXPECT_EQ(form->TrackBar1->value(), 29);
    EXPECT_FLOAT_EQ(form->Input->engine()->input(1)->volume, 0.29f);
    EXPECT_FALSE(form->SpeedButton19->isChecked());
}

TEST(MainWindow, CollapsedSummaries)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    // No settings file: input 0, the first rate of the MP3 list.
    EXPECT_EQ(form->Label13->text(), "录制从 Built-in Audio, Microphone");
    EXPECT_EQ(form->Label12->text(), "MP3 文件, 32.000 KHz, 立体声（推荐）");
    EXPECT_EQ(form->Label11->text(), "总共 0 个文件 (0 mp3, 0 wma, 0 ogg, 0 wav)");
    EXPECT_EQ(form->ValumePanel->pos(), QPoint(390, 3));

    const int collapsed = form->height();
    form->SpeedButton20->click();
    EXPECT_EQ(form->ValumePanel->pos(), QPoint(374, 57));
    EXPECT_FALSE(form->Label13->isVisibleTo(form.get()));
    form->SpeedButton11->click();
    form->SpeedButton1->click();
    EXPECT_EQ(form->height(), collapsed + (104 - 28) + (136 - 28) + (304 - 28));
    EXPECT_TRUE(form->StatusBar1->isVisibleTo(form.get()));
    form->SpeedButton1->click();
    EXPECT_FALSE(form->StatusBar1->isVisibleTo(form.get()));
    EXPECT_EQ(form->height(), collapsed + (104 - 28) + (136 - 28));
}

TEST(MainWindow, MinimiseToTrayWithoutTrayGoesThroughExit)
{
    TempFolders folders;
    auto form = makeForm(nullptr);
    form->MinitoTray = true;
    form->show();
    form->ComboBox3->setCurrentIndex(2);
    form->ComboBox3Change();
    // No tray icon exists here: the window must not vanish beyond reach.
    EXPECT_TRUE(form->close());
    EXPECT_EQ(
        settings::IniFile(folders.appDir() + "Config.ini").readInt("Audio", "OutputFormat", -1), 2)
        << "settings saved on exit";
}

TEST(MainWindow, CancelledExitKeepsExitRequested)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    form->show();
    form->MinitoTray = true;
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording);
    form->AutoAnswerOk = false;
    form->Exit1Click();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->ExitRequested);
    EXPECT_TRUE(form->ShownMessages.contains(
        "一个文件正在进行录制\n\n你是否想立即停止并退出程序？        "));
    form->AutoAnswerOk = true;
    form->ToolButton3->click();
}

TEST(MainWindow, HandEditedSettingsDoNotAbortTheLoad)
{
    TempFolders folders;
    settings::IniFile ini(folders.appDir() + "Config.ini");
    ini.writeString("Audio", "RecordDevice", "abc");
    ini.writeString("Audio", "Volume", "42");
    ini.writeString("Audio", "OutputFormat", "3");
    ini.writeString("Audio", "SampleRate", "1");
    ini.writeString("Audio", "Channels", "0");
    auto form = makeForm(makeTestBackend());
    EXPECT_EQ(form->ComboBox2->currentIndex(), 0);
    EXPECT_EQ(form->TrackBar1->value(), 42);
    EXPECT_EQ(form->ComboBox3->currentIndex(), 3);
    EXPECT_EQ(form->ComboBox4->currentText(), "11.025 KHz - 低质量");
    EXPECT_EQ(form->OutputRate, 11025);
    EXPECT_EQ(form->OutputChannels, 1);
}

TEST(MainWindow, InvalidStoredRateFallsBackToFormatDefaults)
{
    TempFolders folders;
    settings::IniFile ini(folders.appDir() + "Config.ini");
    ini.writeInt("Audio", "OutputFormat", 3);
    ini.writeInt("Audio", "SampleRate", 9);
    ini.writeInt("Audio", "Channels", 5);
    auto form = makeForm(makeTestBackend());
    EXPECT_EQ(form->OutputRate, 44100);
    EXPECT_EQ(form->OutputChannels, 2);
}

TEST(MainWindow, DeviceChangeSelectsTheLastOutputMix)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    form->ComboBox2->setCurrentIndex(1);
    form->ComboBox2Change();
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_EQ(form->ComboBox1->currentText(), "Mic") << "no output mix: input 0";
    form->ComboBox2->setCurrentIndex(0);
    form->ComboBox2Change();
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_EQ(form->ComboBox1->count(), 4);
    EXPECT_EQ(form->ComboBox1->currentText(), "Headphones (output)");
    // The volume bar follows the input: 0.6 shows as 60.
    EXPECT_EQ(form->TrackBar1->value(), 60);
    EXPECT_EQ(form->Label15->text(), "检测声音从 Headphones (output)");
}

TEST(MainWindow, MuteRemembersTheVolume)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    form->TrackBar1->setValue(65);
    EXPECT_FALSE(form->SpeedButton19->isChecked());
    form->SpeedButton19->click();
    EXPECT_TRUE(form->SpeedButton19->isChecked());
    EXPECT_EQ(form->TrackBar1->value(), 0);
    form->SpeedButton19->click();
    EXPECT_FALSE(form->SpeedButton19->isChecked());
    EXPECT_EQ(form->TrackBar1->value(), 65);
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_NEAR(form->Input->engine()->input(form->ComboBox1->currentIndex())->volume, 0.65f,
                0.001f);
}

TEST(MainWindow, DetectorSwitchesOffAndOn)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    ASSERT_TRUE(form->detectorOn());
    form->Label2Click();
    EXPECT_FALSE(form->detectorOn());
    EXPECT_TRUE(form->Label15->font().strikeOut());
    EXPECT_EQ(form->Input->monitor(), nullptr);
    EXPECT_EQ(textColour(form->Label2), QColor(0, 128, 0));
    form->Label2Click();
    EXPECT_TRUE(form->detectorOn());
    EXPECT_FALSE(form->Label15->font().strikeOut());
    EXPECT_EQ(form->Label15->text(), "Detecting sound from Microphone");
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_NE(form->Input->monitor(), nullptr);
}

TEST(MainWindowOnSoundServer, VolumeBarSetsTheSourceVolume)
{
    SONALTO_REQUIRE_PULSE();
    LineInLevelsRestored restored;
    TempFolders folders;
    auto form = makeForm(audio::AudioEngine::createSystemBackend());
    ASSERT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join("|").toStdString();
    selectInput(*form, "LineIn");
    form->TrackBar1->setValue(37);
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_TRUE(pactl({"get-source-volume", "sonalto_linein"}).contains("37%"));
    form->TrackBar1->setValue(100);
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_TRUE(pactl({"get-source-volume", "sonalto_linein"}).contains("100%"));

    // The output mix of the first null sink is among the inputs, typed as such.
    const int mix = form->ComboBox1->findText("Speakers（输出混音）");
    ASSERT_GE(mix, 0);
    EXPECT_EQ(form->Input->engine()->input(mix)->flags & audio::InputTypeMask,
              audio::InputTypeOutputMix);
}

TEST(MainWindowOnSoundServer, FirstStartListsTheOutputsAndListensToAnOutputMix)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makeForm(audio::AudioEngine::createSystemBackend());
    ASSERT_EQ(form->ComboBox2->count(), 1);
    EXPECT_EQ(form->ComboBox2->currentText(), "虚拟设备");
    for (const char *name : {"Speakers（输出混音）", "Headphones（输出混音）", "LineIn"})
        EXPECT_GE(form->ComboBox1->findText(name), 0) << name;
    const int selected = form->ComboBox1->currentIndex();
    ASSERT_GE(selected, 0);
    EXPECT_EQ(form->Input->engine()->input(selected)->flags & audio::InputTypeMask,
              audio::InputTypeOutputMix);
    EXPECT_EQ(form->Label15->text(), "检测声音从 " + form->ComboBox1->currentText());
}

TEST(MainWindow, DetectorSwitchWorksFromKeyboardAndAssistiveTechnology)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    ASSERT_TRUE(form->detectorOn());
    QAccessibleInterface *a11y = QAccessible::queryAccessibleInterface(form->Label2);
    ASSERT_NE(a11y, nullptr);
    EXPECT_EQ(a11y->role(), QAccessible::Button);
    EXPECT_EQ(a11y->text(QAccessible::Name), "检测器");
    ASSERT_NE(a11y->actionInterface(), nullptr);
    a11y->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(form->detectorOn());
    QTest::keyClick(form->Label2, Qt::Key_Space);
    EXPECT_TRUE(form->detectorOn());
}
