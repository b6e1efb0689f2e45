// The window as the program starts it: shown first, then the audio layer started
// on a worker and the codec libraries opened. The window must not stay stale for
// that: what needs no sound server is there at once, the rest soon after.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "common/TestSupport.h"

#include "library/DurationProber.h"
#include "settings/IniFile.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QThreadPool>
#include <QTreeWidget>
#include <QWindow>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

// The moment the window is first exposed on the display.
class ExposeWatch : public QObject
{
public:
    explicit ExposeWatch(const QElapsedTimer &clock) : m_clock(clock) {}
    qint64 exposedAt = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && exposedAt < 0 &&
            static_cast<QWindow *>(watched)->isExposed())
            exposedAt = m_clock.elapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer &m_clock;
};

// A column's texts in alphabetical order (showing the window sorts it by date).
QStringList column(const TForm1 &form, int c)
{
    QStringList texts;
    for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
        texts << form.ListView1->topLevelItem(i)->text(c);
    texts.sort();
    return texts;
}

} // namespace

TEST(StartupWindowOnSoundServer, ListsAreCompleteWithinHalfASecondOfTheWindowAppearing)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    // Written without the program's own codecs (lame, oggenc, plain PCM), so the
    // window below is the first to need them in this process.
    const audio::PcmFormat format{44100, 2};
    std::string error;
    for (const char *name : {"a.mp3", "b.ogg", "c.wav"})
        ASSERT_TRUE(writeRecording(folders.audioDir() + name, toneSamples(1000, 2.0, format),
                                   format, &error))
            << name << ": " << error;

    settings::IniFile ini(folders.appDir() + "Config.ini");
    ini.writeInt("Audio", "OutputFormat", 3);
    ini.writeString("Audio", "RecordDeviceName", "虚拟设备");
    ini.writeString("Audio", "InputChannelName", "LineIn");

    QElapsedTimer clock;
    clock.start();
    TForm1::Options options;
    options.showMessages = false;
    options.deferToFirstPaint = true; // and the system's sound server, as the program
    TForm1 form(std::move(options));
    qint64 lengthsAt = -1;
    QObject::connect(form.DurationProbe, &library::DurationProber::finished,
                     [&] { lengthsAt = clock.elapsed(); });
    ExposeWatch watch(clock);
    form.winId();
    form.windowHandle()->installEventFilter(&watch);
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.exposedAt >= 0; }, 10000));

    // The folder's recordings and the stored output format are there when the
    // window first shows.
    EXPECT_EQ(column(form, 0), (QStringList{"a.mp3", "b.ogg", "c.wav"}));
    EXPECT_EQ(form.ComboBox3->currentIndex(), 3);
    // Nothing about the devices is shown before it is known: no half summary,
    // no volume bar at a level the input does not have.
    if (!form.Input->monitor()) {
        EXPECT_EQ(form.Label13->text(), "");
        EXPECT_FALSE(form.ValumePanel->isVisible());
    }

    // The devices, the status line and the monitor follow within half a second.
    qint64 devicesAt = -1;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (devicesAt < 0 && form.Input->monitor())
                devicesAt = clock.elapsed();
            return devicesAt >= 0;
        },
        10000));
    EXPECT_GE(form.ComboBox2->count(), 1);
    EXPECT_EQ(form.ComboBox1->currentText(), "LineIn");
    EXPECT_EQ(form.Label13->text(), "录制从 虚拟设备, LineIn");
    EXPECT_TRUE(form.ValumePanel->isVisible());
    EXPECT_EQ(form.ComboBox3->currentIndex(), 3);
    EXPECT_EQ(form.Label15->text(), "检测声音从 " + form.ComboBox1->currentText());
    EXPECT_LE(devicesAt - watch.exposedAt, 500)
        << "exposed at " << watch.exposedAt << " ms, devices at " << devicesAt << " ms";

    // The lengths need the codec libraries, opened after the first paint.
    ASSERT_TRUE(QTest::qWaitFor([&] { return lengthsAt >= 0; }, 10000));
    EXPECT_EQ(column(form, 2), (QStringList{"00:00:02", "00:00:02", "00:00:02"}));
    EXPECT_LE(lengthsAt - watch.exposedAt, 500)
        << "exposed at " << watch.exposedAt << " ms, lengths complete at " << lengthsAt << " ms";
    // The encoder check that now runs after the first paint found the WMA encoder.
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.ShownMessages.isEmpty()) << form.ShownMessages.join("|").toStdString();
}

TEST(StartupWindow, WithoutSoundServerTheShownWindowSaysSoOnce)
{
    TempFolders folders;
    {
        QFile file(folders.audioDir() + "a.wav");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    settings::IniFile(folders.appDir() + "Config.ini").writeInt("Audio", "OutputFormat", 2);
    TForm1::Options options;
    options.showMessages = false;
    options.useSystemBackend = false;
    options.deferToFirstPaint = true;
    TForm1 form(std::move(options));
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.ShownMessages.isEmpty(); }, 10000));
    form.repaint();
    QCoreApplication::processEvents();
    ASSERT_EQ(form.ShownMessages.size(), 1);
    EXPECT_TRUE(form.ShownMessages.front().startsWith("无法启动默认的录音设备！"));
    // What needs no sound server is still shown.
    EXPECT_EQ(column(form, 0), QStringList{"a.wav"});
    EXPECT_EQ(form.ComboBox3->currentIndex(), 2);
    EXPECT_EQ(form.ComboBox2->count(), 0);
    EXPECT_FALSE(form.Input->monitor());
}

TEST(StartupWindow, AWindowNeverPaintedStillStartsItsAudioLayer)
{
    // Started iconified or on another desktop, the window is not painted; it
    // starts what waits for the first paint after a short while anyway.
    TempFolders folders;
    TForm1::Options options;
    options.showMessages = false;
    options.useSystemBackend = false;
    options.deferToFirstPaint = true;
    TForm1 form(std::move(options));
    struct PaintSwallower : QObject
    {
        bool eventFilter(QObject *, QEvent *event) override
        {
            return event->type() == QEvent::Paint;
        }
    } neverPainted;
    form.installEventFilter(&neverPainted);
    QElapsedTimer clock;
    clock.start();
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.ShownMessages.isEmpty(); }, 10000));
    EXPECT_GE(clock.elapsed(), TForm1::FirstPaintWaitMs - 50);
    ASSERT_EQ(form.ShownMessages.size(), 1);
    EXPECT_TRUE(form.ShownMessages.front().startsWith("无法启动默认的录音设备！"));
}
