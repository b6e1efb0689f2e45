// The input session on the virtual backend: nobody waits for a server that does not
// answer, a server that is not there at start is found later, and what the user chose
// is never replaced by what the program happens to use.
#include "recording/InputSession.h"

#include "audio/AudioEngine.h"
#include "audio/CaptureChannel.h"
#include "audio/VirtualBackend.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace sonalto;
using namespace sonalto::recording;
using Server = InputSession::Server;

namespace {

audio::VirtualDevice card()
{
    audio::VirtualDevice d{"card0", "Card", true, {}};
    d.inputs.push_back({"Mic", audio::InputTypeMicrophone, 0.5f, {}, "card0.in", "mic"});
    d.inputs.push_back({"Line", audio::InputTypeLine, 0.5f, {}, "card0.in", "line"});
    d.inputs.push_back({"Speakers", audio::InputTypeOutputMix, 0.8f, {}, "card0.mon", ""});
    return d;
}

audio::VirtualDevice usb()
{
    audio::VirtualDevice d{"usb", "USB Mic", true, {}};
    d.inputs.push_back({"Mic", audio::InputTypeMicrophone, 0.7f, {}, "usb.in", ""});
    return d;
}

// A session on a virtual machine that the test keeps a hand on.
struct Rig
{
    explicit Rig(bool withUsb = true)
    {
        auto b = std::make_unique<audio::VirtualBackend>();
        backend = b.get();
        backend->addDevice(card());
        if (withUsb)
            backend->addDevice(usb());
        backend->setDefaultSource("card0.in");
        auto handed = std::make_shared<std::unique_ptr<audio::AudioBackend>>(std::move(b));
        InputSession::Options options;
        options.makeBackend = [handed] { return std::move(*handed); };
        options.retryMs = 100;
        options.noticeAfterMs = 300;
        session = std::make_unique<InputSession>(options);
    }
    bool settle()
    {
        return QTest::qWaitFor([&] { return session->settled(); }, 5000);
    }
    QString inputName() const { return session->input() ? session->input()->name : QString(); }
    QString keyOf(const QString &device, const QString &input) const
    {
        for (const DeviceEntry &d : session->devices())
            for (const InputEntry &i : d.inputs)
                if (d.name == device && i.name == input)
                    return i.key;
        return {};
    }

    audio::VirtualBackend *backend = nullptr;
    std::unique_ptr<InputSession> session;
};

} // namespace

TEST(InputSession, AStalledServerHoldsUpNoCallerAndCatchesUpAfterwards)
{
    Rig rig;
    rig.session->openMonitor();
    rig.session->start();
    ASSERT_TRUE(rig.settle());
    ASSERT_EQ(rig.session->server(), Server::Connected);
    const QString line = rig.keyOf("Card", "Line");
    ASSERT_FALSE(line.isEmpty());

    rig.backend->setAnswerDeadline(std::chrono::milliseconds(60000));
    rig.backend->setStalled(true);
    QSignalSpy silent(rig.session.get(), &InputSession::serverChanged);
    // Everything the window asks returns at once and shows the request.
    rig.session->setVolume(30);
    rig.session->chooseInput(line);
    rig.session->closeMonitor();
    rig.session->openMonitor();
    rig.session->setOutputVolume(40);
    rig.session->setVolume(35); // the latest wins
    EXPECT_EQ(rig.session->volume(), 35);
    EXPECT_EQ(rig.session->inputKey(), line);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.session->notResponding(); }, 5000));
    EXPECT_FALSE(silent.isEmpty());
    const auto callers = rig.backend->stalledCallers();
    EXPECT_EQ(std::count(callers.begin(), callers.end(), std::this_thread::get_id()), 0)
        << "the session's own thread waited for the server";

    rig.backend->setStalled(false);
    ASSERT_TRUE(rig.settle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.session->notResponding(); }, 2000));
    EXPECT_EQ(rig.backend->activePort("card0.in"), "line");
    EXPECT_NEAR(*rig.backend->sourceVolume("card0.in"), 0.35f, 0.001f);
    EXPECT_NEAR(*rig.backend->outputVolume(), 0.40f, 0.001f);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.session->monitor() != nullptr; }, 5000));
    EXPECT_FALSE(rig.session->monitor()->failed());
}

TEST(InputSession, NoServerAtStartIsLookedForUntilItAnswers)
{
    std::atomic<bool> up{false};
    InputSession::Options options;
    options.makeBackend = [&up]() -> std::unique_ptr<audio::AudioBackend> {
        auto backend = std::make_unique<audio::VirtualBackend>();
        if (!up)
            backend->setConnectError("无连接");
        backend->addDevice(card());
        return backend;
    };
    options.retryMs = 50;
    InputSession session(options);
    session.openMonitor();
    session.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.server() == Server::Unavailable; }, 5000));
    EXPECT_EQ(session.unavailableReason(), "无连接");
    EXPECT_TRUE(session.devices().isEmpty());
    EXPECT_EQ(session.engine(), nullptr);

    up = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.server() == Server::Connected; }, 5000));
    EXPECT_NE(session.engine(), nullptr);
    ASSERT_EQ(session.devices().size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return session.monitor() != nullptr; }, 5000))
        << "the monitor asked for before opens on the input found";
}

TEST(InputSession, TheChosenInputWinsWheneverItIsThere)
{
    Rig rig(false); // the USB microphone is not plugged in at start
    InputChoice stored;
    stored.deviceName = "USB Mic";
    stored.inputName = "Mic";
    rig.session->setChoice(stored);
    rig.session->start();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.session->device()->name, "Card") << "another device meanwhile";
    EXPECT_FALSE(rig.session->choiceInUse());
    EXPECT_EQ(rig.session->choice(), stored) << "what is used meanwhile is not the choice";

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        rig.backend->addDevice(usb());
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig.session->choiceInUse(); }, 5000));
        EXPECT_EQ(rig.session->device()->name, "USB Mic");
        EXPECT_EQ(rig.inputName(), "Mic");
        rig.backend->removeDevice("usb");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.session->choiceInUse(); }, 5000));
        EXPECT_EQ(rig.session->device()->name, "Card");
        EXPECT_EQ(rig.session->choice(), stored);
    }

    // A pick of the user's is the new choice.
    rig.session->chooseInput(rig.keyOf("Card", "Line"));
    EXPECT_EQ(rig.session->choice().inputName, "Line");
    EXPECT_TRUE(rig.session->choiceInUse());
}

TEST(InputSession, AMuteFromOutsideIsShownWithoutTouchingTheLevel)
{
    Rig rig;
    rig.session->start();
    ASSERT_TRUE(rig.settle());
    const std::optional<int> level = rig.session->volume();
    ASSERT_TRUE(level);
    rig.backend->setSourceMuted("card0.in", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.session->muted(); }, 5000));
    EXPECT_EQ(rig.session->volume(), level);
    rig.backend->setSourceMuted("card0.in", false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.session->muted(); }, 5000));
}
