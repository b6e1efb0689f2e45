// The playback session over the virtual backend: every transition, every way a
// playback ends, and files that cannot be played.
#include "common/TestSupport.h"

#include "audio/AudioEngine.h"
#include "audio/Encoders.h"
#include "audio/VirtualBackend.h"
#include "recording/PlaybackSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

using namespace sonalto;
using recording::PlaybackSession;
using State = PlaybackSession::State;
using Reason = PlaybackSession::StopReason;

namespace {

class PlaybackSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto backend = std::make_unique<audio::VirtualBackend>();
        m_backend = backend.get();
        m_backend->addDevice(
            {"virtual", "Virtual devices", true, {{"Tone", 0, 1.f, {}, "tone", {}}}});
        m_engine = std::make_unique<audio::AudioEngine>(std::move(backend));
        std::string error;
        ASSERT_TRUE(m_engine->start(&error)) << error;
        m_session = std::make_unique<PlaybackSession>(m_engine.get());
        m_states = std::make_unique<QSignalSpy>(m_session.get(), &PlaybackSession::stateChanged);
        m_stops = std::make_unique<QSignalSpy>(m_session.get(), &PlaybackSession::stopped);
    }

    // A 16-bit stereo WAV of a constant level, written by the program's own writer.
    QString makeWav(const QString &name, double seconds, int16_t level = 4000)
    {
        const QString path = m_dir.filePath(name);
        std::string error;
        auto writer = audio::startWavFileEncoder(QFile::encodeName(path).toStdString(),
                                                 audio::PcmFormat{44100, 2}, &error);
        EXPECT_TRUE(writer) << error;
        if (!writer)
            return path;
        std::vector<int16_t> samples(size_t(std::lround(seconds * 44100)) * 2, level);
        writer->write(samples.data(), samples.size() / 2);
        writer->finish();
        return path;
    }

    bool waitForState(State state, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return m_session->state() == state; }, timeoutMs);
    }

    Reason lastStop() const { return m_stops->last().at(0).value<Reason>(); }

    QTemporaryDir m_dir;
    audio::VirtualBackend *m_backend = nullptr;
    std::unique_ptr<audio::AudioEngine> m_engine;
    std::unique_ptr<PlaybackSession> m_session;
    std::unique_ptr<QSignalSpy> m_states, m_stops;
};

TEST_F(PlaybackSessionTest, OpensInTheBackgroundThenPlaysPausesAndResumes)
{
    const QString path = makeWav("a.wav", 2.0);
    QSignalSpy started(m_session.get(), &PlaybackSession::started);
    m_session->start(path);
    // The caller is never kept waiting for the file.
    EXPECT_EQ(m_session->state(), State::Opening);
    EXPECT_TRUE(m_session->isActive());
    EXPECT_EQ(m_session->stream(), nullptr);

    ASSERT_TRUE(waitForState(State::Playing));
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0][0].toString(), path);
    EXPECT_NEAR(started[0][1].toDouble(), 2.0, 0.001);
    EXPECT_NEAR(m_session->lengthSeconds(), 2.0, 0.001);
    ASSERT_NE(m_session->stream(), nullptr);

    // Pausing twice or resuming what plays changes nothing.
    EXPECT_FALSE(m_session->resume());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_session->positionSeconds() > 0.2; }, 3000));
    ASSERT_TRUE(m_session->pause());
    EXPECT_EQ(m_session->state(), State::Paused);
    EXPECT_FALSE(m_session->pause());
    const double at = m_session->positionSeconds();
    QTest::qWait(300);
    EXPECT_EQ(m_session->positionSeconds(), at);
    ASSERT_TRUE(m_session->resume());
    EXPECT_EQ(m_session->state(), State::Playing);

    QList<State> seen;
    for (const auto &signal : *m_states)
        seen << signal.at(0).value<State>();
    EXPECT_EQ(seen, (QList<State>{State::Opening, State::Playing, State::Paused, State::Playing}));
    EXPECT_TRUE(m_stops->isEmpty());
}

TEST_F(PlaybackSessionTest, EndsWhenTheDecoderRunsOutNotWhenAClockSaysSo)
{
    // 2.3 s: a length whose whole seconds never equal it.
    const QString path = makeWav("odd.wav", 2.3);
    m_session->start(path);
    ASSERT_TRUE(waitForState(State::Playing));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitForState(State::Stopped, 6000));
    const double took = clock.elapsed() / 1000.0;
    ASSERT_EQ(m_stops->size(), 1);
    EXPECT_EQ(lastStop(), Reason::EndOfFile);
    EXPECT_EQ(m_session->stream(), nullptr);
    EXPECT_FALSE(m_session->isActive());
    // Played whole: the backend plays in real time and got every frame.
    EXPECT_GE(took, 2.2);
    EXPECT_EQ(m_backend->playedAudio().size(), size_t(std::lround(2.3 * 44100)) * 2);
}

TEST_F(PlaybackSessionTest, EveryStopFromOutsideEndsInStoppedWithItsReason)
{
    const QString path = makeWav("a.wav", 5.0);
    for (const Reason reason : {Reason::User, Reason::Closed}) {
        // Playing.
        m_session->start(path);
        ASSERT_TRUE(waitForState(State::Playing));
        m_stops->clear();
        m_session->stop(reason);
        EXPECT_EQ(m_session->state(), State::Stopped);
        ASSERT_EQ(m_stops->size(), 1);
        EXPECT_EQ(lastStop(), reason);
        EXPECT_EQ(m_session->stream(), nullptr);

        // Paused.
        m_session->start(path);
        ASSERT_TRUE(waitForState(State::Playing));
        ASSERT_TRUE(m_session->pause());
        m_stops->clear();
        m_session->stop(reason);
        EXPECT_EQ(m_session->state(), State::Stopped);
        ASSERT_EQ(m_stops->size(), 1);
        EXPECT_EQ(lastStop(), reason);

        // Stopped already: nothing to report.
        m_session->stop(reason);
        EXPECT_EQ(m_stops->size(), 1);
    }
    // Nothing is left playing.
    m_backend->clearPlayedAudio();
    QTest::qWait(200);
    EXPECT_TRUE(m_backend->playedAudio().empty());
}

TEST_F(PlaybackSessionTest, AStopWhileOpeningWinsOverTheOpenThatCompletesLater)
{
    const QString path = makeWav("a.wav", 3.0);
    QSignalSpy started(m_session.get(), &PlaybackSession::started);
    m_session->start(path);
    ASSERT_EQ(m_session->state(), State::Opening);
    m_session->stop(Reason::Closed);
    EXPECT_EQ(m_session->state(), State::Stopped);
    EXPECT_EQ(lastStop(), Reason::Closed);
    QTest::qWait(500);
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(m_session->state(), State::Stopped);
    EXPECT_TRUE(m_backend->playedAudio().empty());
}

TEST_F(PlaybackSessionTest, StartingAnotherFileReplacesTheOneThatPlays)
{
    const QString a = makeWav("a.wav", 5.0, 1000);
    const QString b = makeWav("b.wav", 1.0, 2000);
    QSignalSpy started(m_session.get(), &PlaybackSession::started);
    m_session->start(a);
    ASSERT_TRUE(waitForState(State::Playing));
    m_session->start(b);
    EXPECT_EQ(lastStop(), Reason::Replaced);
    EXPECT_EQ(m_session->path(), b);
    // Asked twice while opening: only the last one plays.
    m_session->start(a);
    m_session->start(b);
    ASSERT_TRUE(waitForState(State::Playing));
    QTest::qWait(100);
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[1][0].toString(), b);
    ASSERT_TRUE(waitForState(State::Stopped, 4000));
    EXPECT_EQ(lastStop(), Reason::EndOfFile);
    EXPECT_EQ(m_backend->playedAudio().back(), 2000);
}

TEST_F(PlaybackSessionTest, AFileThatCannotBePlayedFailsAndLeavesTheSessionStopped)
{
    const QString junk = m_dir.filePath("notes.mp3");
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'x'));
    }
    QSignalSpy failed(m_session.get(), &PlaybackSession::openFailed);
    for (const QString &path : {junk, m_dir.filePath("missing.wav")}) {
        failed.clear();
        m_session->start(path);
        ASSERT_TRUE(failed.wait(5000));
        EXPECT_EQ(failed[0][0].toString(), path);
        EXPECT_FALSE(failed[0][1].toString().isEmpty());
        EXPECT_EQ(m_session->state(), State::Stopped);
        EXPECT_TRUE(m_stops->isEmpty()); // nothing was playing
    }

    PlaybackSession silent(nullptr); // no sound output at all
    QSignalSpy noOutput(&silent, &PlaybackSession::openFailed);
    silent.start(makeWav("a.wav", 1.0));
    EXPECT_EQ(noOutput.size(), 1);
    EXPECT_EQ(silent.state(), State::Stopped);
}

TEST_F(PlaybackSessionTest, SeeksWithinTheFile)
{
    m_session->start(makeWav("a.wav", 6.0));
    ASSERT_TRUE(waitForState(State::Playing));
    ASSERT_TRUE(m_session->seek(4.8));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_session->positionSeconds() > 4.8; }, 2000));
    // From 4.8 s the rest is 1.2 s.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitForState(State::Stopped, 4000));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(lastStop(), Reason::EndOfFile);
}

TEST_F(PlaybackSessionTest, GoingAwayWhileAFileOpensOrPlaysIsSafe)
{
    const QString path = makeWav("a.wav", 3.0);
    m_session->start(path);
    m_states.reset();
    m_stops.reset();
    m_session.reset(); // opening
    auto session = std::make_unique<PlaybackSession>(m_engine.get());
    session->start(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->state() == State::Playing; }, 5000));
    session.reset(); // playing
    QTest::qWait(100);
    m_backend->clearPlayedAudio();
    QTest::qWait(100);
    EXPECT_TRUE(m_backend->playedAudio().empty());
}

} // namespace
