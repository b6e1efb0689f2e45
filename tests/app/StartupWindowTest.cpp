// The window as the program starts it: the audio layer started on a worker while
// the window is built, the codec libraries opened only after the first paint. The
// window must not stay stale for that: its lists are complete at once or soon.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "common/TestSupport.h"

#include "library/DurationProber.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QThreadPool>
#include <QTreeWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <future>

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

    QElapsedTimer clock;
    clock.start();
    TForm1::Options options;
    options.showMessages = false;
    options.deferToFirstPaint = true;
    options.startingEngine = std::async(std::launch::async, [] {
        return TForm1::startEngine(audio::AudioEngine::createSystemBackend());
    });
    TForm1 form(std::move(options));
    qint64 lengthsAt = -1;
    QObject::connect(form.DurationProbe, &library::DurationProber::finished,
                     [&] { lengthsAt = clock.elapsed(); });
    ExposeWatch watch(clock);
    form.winId();
    form.windowHandle()->installEventFilter(&watch);
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.exposedAt >= 0; }, 10000));

    // What the server and the folder hold is there when the window first shows.
    EXPECT_GE(form.ComboBox2->count(), 1);
    EXPECT_GE(form.ComboBox1->findText("LineIn"), 0);
    EXPECT_EQ(column(form, 0), (QStringList{"a.mp3", "b.ogg", "c.wav"}));

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
