// A take that loses audio keeps its length and says what it lost.
#include "AppTestSupport.h"
#include "common/TestSupport.h"

#include "audio/AudioFileDecoder.h"

#include <QComboBox>
#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>

using namespace sonalto;
using namespace sonalto::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Rate = 44100;

int16_t tone(uint64_t frame)
{
    return int16_t(std::lround(16000 * std::sin(2 * std::numbers::pi * 1000 * frame / Rate)));
}

TEST(LostAudioOnSoundServer, SuspendedSourceMidTakeKeepsTheFileAsLongAsTheTakeAndIsReported)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makeForm(audio::AudioEngine::createSystemBackend());
    selectInput(*form, "LineIn");
    form->ComboBox3->setCurrentIndex(3); // WAV: the file's frames are the take's
    form->ComboBox3Change();
    const int rate = form->ComboBox4->findText(QStringLiteral("44.1"), Qt::MatchContains);
    ASSERT_GE(rate, 0);
    form->ComboBox4->setCurrentIndex(rate);
    form->ComboBox4Change();

    LineInFeed feed(tone, 30);
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording);
    ASSERT_NE(form->Recording->channel(), nullptr);
    audio::CaptureChannel &channel = *form->Recording->channel();
    // The moment a block arrives and the frames captured then.
    auto nextBlock = [&] {
        const uint64_t before = channel.capturedFrames();
        EXPECT_TRUE(QTest::qWaitFor([&] { return channel.capturedFrames() != before; }, 5000));
        return std::make_pair(Clock::now(), channel.capturedFrames());
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel.capturedFrames() > Rate / 2; }, 10000));
    const auto start = nextBlock();

    SuspendedSource suspension("sonalto_linein");
    QTest::qWait(1000);
    suspension.resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel.lostAudio().any(); }, 10000));
    const uint64_t resumed = channel.capturedFrames();
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel.capturedFrames() > resumed + Rate; }, 10000));
    const auto end = nextBlock();
    form->ToolButton3->click();
    ASSERT_TRUE(waitUntilIdle(*form));

    // The take's timeline matches the clock across the suspension.
    const double wall = std::chrono::duration<double>(end.first - start.first).count();
    EXPECT_NEAR(double(end.second - start.second) / Rate, wall, 0.05);

    // The file holds every frame captured, the gap as silence.
    const QStringList files = QDir(folders.audioDir()).entryList({"*.wav"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    std::string error;
    const auto samples = audio::decodeAudioFile(
        QFile::encodeName(folders.audioDir() + files.front()).toStdString(), &error);
    ASSERT_TRUE(samples) << error;
    const uint64_t fileFrames = samples->size() / 2;
    EXPECT_GE(fileFrames, end.second);
    EXPECT_LE(fileFrames, end.second + Rate / 10) << "at most the blocks until the stop";
    // The gap as silence (after the tone began: the server may hold a take's
    // first audio back, which starts the file with silence).
    size_t first = 0;
    while (first < samples->size() / 2 && (*samples)[2 * first] == 0)
        ++first;
    size_t longest = 0, run = 0;
    for (size_t j = first; j < samples->size() / 2; ++j) {
        run = (*samples)[2 * j] == 0 && (*samples)[2 * j + 1] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_GE(double(longest) / Rate, suspension.leastSecondsAway() - 0.1);
    EXPECT_LE(double(longest) / Rate, suspension.mostSecondsAway() + 0.1);

    // Told on the status line and kept in the row's tool-tip.
    const QRegularExpression report(QStringLiteral("^录制中丢失 (\\d+\\.\\d\\d) 秒音频（1 处）$"));
    const QRegularExpressionMatch said = report.match(form->Label15->text());
    ASSERT_TRUE(said.hasMatch()) << form->Label15->text().toStdString();
    EXPECT_NEAR(said.captured(1).toDouble(), double(longest) / Rate, 0.01);
    QTreeWidgetItem *row = form->ListView1->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(4), "Saved");
    EXPECT_TRUE(row->toolTip(0).contains(form->Label15->text()));
    // A rescan of the folder rebuilds the rows and keeps the report.
    const QString lostName = row->text(0);
    const QString lossText = form->Label15->text();
    form->RefreshRecordingList();
    const QList<QTreeWidgetItem *> rescanned =
        form->ListView1->findItems(lostName, Qt::MatchExactly, 0);
    ASSERT_EQ(rescanned.size(), 1);
    EXPECT_TRUE(rescanned[0]->toolTip(3).contains(lossText));

    // The next take loses nothing and says nothing new.
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording);
    audio::CaptureChannel &next = *form->Recording->channel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return next.capturedFrames() > Rate; }, 10000));
    form->ToolButton3->click();
    ASSERT_TRUE(waitUntilIdle(*form));
    EXPECT_TRUE(form->Label15->text().endsWith(" is saved")) << form->Label15->text().toStdString();
    EXPECT_FALSE(form->ListView1->topLevelItem(0)->toolTip(0).contains("丢失"));
    form->RefreshRecordingList();
    for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem *listed = form->ListView1->topLevelItem(i);
        EXPECT_EQ(listed->toolTip(0).contains("丢失"), listed->text(0) == lostName)
            << listed->text(0).toStdString();
    }
}

} // namespace
