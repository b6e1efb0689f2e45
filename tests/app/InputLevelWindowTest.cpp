// The input level meter and clip warning in the status area, on the line-in of
// the private sound server.
#include "AppTestSupport.h"
#include "common/TestSupport.h"

#include "app/LevelMeterBox.h"
#include "app/SpectrumBox.h"

#include <QAccessible>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace sonalto;
using namespace sonalto::test;

namespace {

// The meter's value as assistive technology reads it.
double meterValue(TForm1 &form)
{
    QAccessibleInterface *a11y = QAccessible::queryAccessibleInterface(form.InputLevelBar);
    if (!a11y || !a11y->valueInterface())
        return 1000;
    return a11y->valueInterface()->currentValue().toDouble();
}

// A 1 kHz sine whose peak is `db` dBFS.
std::function<int16_t(uint64_t)> toneAt(double db)
{
    const double amplitude = 32767 * std::pow(10.0, db / 20);
    return [amplitude](uint64_t frame) {
        return int16_t(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * 1000 * frame / 44100)));
    };
}

// Full scale, 441 Hz.
int16_t square(uint64_t frame)
{
    return frame % 100 < 50 ? 32767 : -32767;
}

// Counts the paints a widget gets.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

void selectLineIn(TForm1 &form)
{
    selectInput(form, "LineIn");
    ASSERT_NE(form.Input->monitor(), nullptr);
}

TEST(InputLevelWindow, MeterAndWarningFitTheStatusAreaWithoutMovingAnything)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    // Where the status area's own controls stay.
    EXPECT_EQ(form->Label8->geometry(), QRect(12, 6, 200, 50));
    EXPECT_EQ(form->Label2->geometry(), QRect(239, 16, 60, 16));
    EXPECT_EQ(form->Label3->geometry(), QRect(239, 40, 60, 16));
    EXPECT_EQ(form->Label7->geometry(), QRect(239, 64, 60, 16));
    EXPECT_EQ(form->Label15->geometry(), QRect(4, 64, 220, 24));
    EXPECT_EQ(form->PaintFrame->geometry(), QRect(312, 8, 217, 81));
    EXPECT_EQ(form->Panel8->size(), QSize(545, 95));

    // The new ones overlap none of them, wherever the mode marker stands.
    for (QWidget *added :
         {static_cast<QWidget *>(form->InputLevelBar), static_cast<QWidget *>(form->ClipWarning)}) {
        EXPECT_TRUE(form->Panel8->rect().contains(added->geometry()));
        for (QWidget *placed :
             std::initializer_list<QWidget *>{form->Label8, form->Label2, form->Label3,
                                              form->Label7, form->Label15, form->PaintFrame})
            EXPECT_FALSE(added->geometry().intersects(placed->geometry()))
                << added->objectName().toStdString() << " covers "
                << placed->accessibleName().toStdString();
        for (QLabel *label :
             std::initializer_list<QLabel *>{form->Label2, form->Label3, form->Label7}) {
            form->setModeIndicator(label);
            EXPECT_FALSE(added->geometry().intersects(form->Image1->geometry()));
        }
    }

    QAccessibleInterface *a11y = QAccessible::queryAccessibleInterface(form->InputLevelBar);
    ASSERT_NE(a11y, nullptr);
    EXPECT_EQ(a11y->role(), QAccessible::ProgressBar);
    EXPECT_EQ(a11y->text(QAccessible::Name), "输入电平");
    ASSERT_NE(a11y->valueInterface(), nullptr);
    EXPECT_EQ(a11y->valueInterface()->minimumValue().toInt(), -60);
    EXPECT_EQ(a11y->valueInterface()->maximumValue().toInt(), 0);
    EXPECT_EQ(form->ClipWarning->accessibleName(), "削波");
    EXPECT_FALSE(form->ClipWarning->isVisibleTo(form.get()));
}

TEST(InputLevelWindow, SpectrumAndMeterArePaintedOnlyWhenTheyChange)
{
    TempFolders folders;
    auto backend = std::make_unique<audio::VirtualBackend>();
    audio::VirtualDevice card;
    card.id = "card0";
    card.name = "Card";
    card.inputs.push_back({"Quiet", audio::InputTypeMicrophone, 1.f, {}, "card0.quiet", ""});
    card.inputs.push_back(
        {"Tone", audio::InputTypeLine, 1.f, sineGenerator(1000, 0.5), "card0.tone", ""});
    backend->addDevice(card);
    backend->setDefaultSource("card0.quiet");
    auto form = makeForm(std::move(backend));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    selectInput(*form, "Quiet");
    ASSERT_NE(form->Input->monitor(), nullptr);
    PaintCounter spectrum(form->PaintFrame), meter(form->InputLevelBar);
    QSignalSpy ticks(form->PosTimer, &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 3; }, 5000));

    // Silence gives the same picture at every tick: nothing is painted.
    spectrum.count = meter.count = 0;
    ticks.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 6; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(spectrum.count, 0);
    EXPECT_EQ(meter.count, 0);

    // A tone changes both.
    selectInput(*form, "Tone");
    EXPECT_TRUE(QTest::qWaitFor([&] { return spectrum.count > 0 && meter.count > 0; }, 5000));
}

TEST(InputLevelOnSoundServer, ToneSilenceAndFullScaleOnTheLineIn)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makeForm(audio::AudioEngine::createSystemBackend());
    form->show();
    selectLineIn(*form);

    {
        LineInFeed tone(toneAt(-20), 30);
        // Waits are limits against hanging; the readings are what is checked.
        ASSERT_TRUE(QTest::qWaitFor([&] { return meterValue(*form) > -25; }, 10000));
        QTest::qWait(500); // one more held peak after the first arrival
        EXPECT_NEAR(meterValue(*form), -20, 1);
        EXPECT_NEAR(form->InputLevel.levelDb(0), -20, 1);
        EXPECT_NEAR(form->InputLevel.levelDb(1), -20, 1);
        EXPECT_FALSE(form->ClipWarning->isVisible());

        // Recording, and paused, the meter keeps following the input.
        pressRecord(*form);
        ASSERT_TRUE(form->IsRecording);
        ASSERT_TRUE(QTest::qWaitFor([&] { return meterValue(*form) > -25; }, 10000));
        form->ToolButton2->click();
        ASSERT_TRUE(form->IsPaused);
        const auto paused = form->Recording->channel()->capturedFrames();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return form->Recording->channel()->capturedFrames() > paused + 44100; }, 10000));
        EXPECT_NEAR(meterValue(*form), -20, 1);
        form->ToolButton3->click();
        ASSERT_TRUE(waitUntilIdle(*form));
    }
    // After a stop nothing is captured: the meter falls to the floor.
    ASSERT_TRUE(QTest::qWaitFor([&] { return meterValue(*form) <= -60; }, 10000));

    // Silence on a running monitor reads at the floor too.
    selectLineIn(*form);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->Input->monitor()->capturedFrames() > 44100; }, 10000));
    QTest::qWait(int(recording::InputLevelMeter::HoldMs) + 200);
    EXPECT_LE(meterValue(*form), -60);

    {
        LineInFeed full(square, 30);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->ClipWarning->isVisible(); }, 10000));
        EXPECT_EQ(meterValue(*form), 0);
        QAccessibleInterface *a11y = QAccessible::queryAccessibleInterface(form->ClipWarning);
        ASSERT_NE(a11y, nullptr);
        EXPECT_EQ(a11y->text(QAccessible::Name), "削波");
        EXPECT_FALSE(a11y->state().invisible);
    }
    // It stays lit after the loud part has passed...
    QTest::qWait(int(recording::InputLevelMeter::HoldMs) + 500);
    EXPECT_TRUE(form->ClipWarning->isVisible());
    // ...until clicked.
    QTest::mouseClick(form->ClipWarning, Qt::LeftButton);
    EXPECT_FALSE(form->ClipWarning->isVisible());
    QTest::qWait(300);
    EXPECT_FALSE(form->ClipWarning->isVisible());

    // Or until the next recording starts.
    {
        LineInFeed full(square, 30);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->ClipWarning->isVisible(); }, 10000));
    }
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording);
    EXPECT_FALSE(form->ClipWarning->isVisible());
    QTest::qWait(300);
    EXPECT_FALSE(form->ClipWarning->isVisible());
    form->ToolButton3->click();
    EXPECT_TRUE(waitUntilIdle(*form));
}

} // namespace
