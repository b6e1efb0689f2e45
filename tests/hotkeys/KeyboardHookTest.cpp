// The keyboard-hook library against a real X server (the test session's Xvfb):
// keystrokes made with xdotool arrive as reports.
#include "common/TestSupport.h"

#include "common/ForeignKeyGrab.h"
#include "hotkeys/HookLibrary.h"

#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace sonalto;
using namespace sonalto::hotkeys;

namespace {

struct Report
{
    int key;
    unsigned int flags;
    int modifiers;
};

class KeyboardHookTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The test types keys: never on a user's own desktop, only on the
        // private X server of the test session.
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            qEnvironmentVariableIsEmpty("SONALTO_SESSION_XVFB"))
            SONALTO_MISSING("its private X server (session.sh --xvfb)");
        SONALTO_REQUIRE_PROGRAM("xdotool");
        m_hook.setReceiver([this](int key, unsigned int flags, int modifiers) {
            std::lock_guard lock(m_mutex);
            m_reports.push_back({key, flags, modifiers});
        });
    }

    void TearDown() override { m_hook.removeHook(); }

    static void press(const char *keys)
    {
        int exitCode = -1;
        test::runProgram(QStringLiteral("xdotool"),
                         {QStringLiteral("key"), QString::fromLatin1(keys)}, &exitCode);
        ASSERT_EQ(exitCode, 0) << keys;
    }

    std::vector<Report> reports()
    {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }

    // Waits until n reports have come (the hook's thread delivers them).
    bool waitForReports(size_t n)
    {
        return QTest::qWaitFor([&] { return reports().size() >= n; }, 10000);
    }

    HookLibrary m_hook{QStringList{QStringLiteral(KHOOK_LIBRARY)}};
    std::mutex m_mutex;
    std::vector<Report> m_reports;
};

} // namespace

TEST_F(KeyboardHookTest, ListedCombinationIsReportedOncePerKeystroke)
{
    ASSERT_TRUE(m_hook.setHook()) << m_hook.errorString().toStdString();
    ASSERT_TRUE(m_hook.setHook()); // again without a removal: still one report per key
    const uint8_t keys[1] = {0x78};
    const uint8_t modifiers[1] = {1};
    ASSERT_EQ(m_hook.setList(keys, modifiers, 1), 0);

    press("ctrl+F9");
    ASSERT_TRUE(waitForReports(1));
    // Neither F9 alone nor Ctrl + Shift + F9 is the listed combination; the
    // second Ctrl + F9 marks the end of the sequence.
    press("F9");
    press("ctrl+shift+F9");
    press("ctrl+F9");
    ASSERT_TRUE(waitForReports(2));
    QTest::qWait(0);

    const std::vector<Report> got = reports();
    ASSERT_EQ(got.size(), 2u);
    for (const Report &report : got) {
        EXPECT_EQ(report.key, 0x78);
        EXPECT_EQ(report.modifiers, 1);
        EXPECT_EQ(report.flags & 0xFFFFu, 1u);    // one keystroke
        EXPECT_EQ(report.flags & (3u << 30), 0u); // a fresh key-down
    }
}

TEST_F(KeyboardHookTest, NewListReplacesTheOldAndRemovalStopsReports)
{
    ASSERT_TRUE(m_hook.setHook()) << m_hook.errorString().toStdString();
    uint8_t keys[2] = {0x78, 0x41};
    uint8_t modifiers[2] = {1, 255}; // the second entry is cleared
    ASSERT_EQ(m_hook.setList(keys, modifiers, 2), 0);
    keys[0] = 0x79; // Ctrl + Shift + F10 from now on
    modifiers[0] = 5;
    ASSERT_EQ(m_hook.setList(keys, modifiers, 1), 0);

    press("ctrl+F9");
    press("a");
    press("ctrl+shift+F10");
    ASSERT_TRUE(waitForReports(1));
    std::vector<Report> got = reports();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].key, 0x79);
    EXPECT_EQ(got[0].modifiers, 5);

    // After a removal and a new installation only the new keystroke arrives.
    m_hook.removeHook();
    press("ctrl+shift+F10");
    ASSERT_TRUE(m_hook.setHook());
    ASSERT_EQ(m_hook.setList(keys, modifiers, 1), 0);
    press("ctrl+shift+F10");
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(reports().size(), 2u);
}

TEST_F(KeyboardHookTest, CombinationsAnotherProgramOwnsAreKnownByEntry)
{
    test::ForeignKeyGrab other(0xFFC7); // F10, held by another client of the display
    ASSERT_TRUE(other.held());
    ASSERT_TRUE(m_hook.setHook()) << m_hook.errorString().toStdString();
    const uint8_t keys[3] = {0x78, 0x79, 0x79};
    const uint8_t modifiers[3] = {0, 0, 1}; // F9, F10, Ctrl + F10
    EXPECT_EQ(m_hook.setList(keys, modifiers, 3), 1);
    EXPECT_EQ(m_hook.refusedEntries(), std::vector<int>{1});

    // The keys that could be taken still work.
    press("ctrl+F10");
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reports().front().key, 0x79);
    EXPECT_EQ(reports().front().modifiers, 1);
}

TEST(KeyboardHookLoadTest, MissingLibraryOnlyMeansNoHotKeys)
{
    HookLibrary hook({QStringLiteral("/nonexistent/libkHook.so")});
    EXPECT_FALSE(hook.setHook());
    EXPECT_FALSE(hook.isLoaded());
    const uint8_t keys[1] = {0x78}, modifiers[1] = {0};
    EXPECT_EQ(hook.setList(keys, modifiers, 1), -1);
    hook.removeHook();
}
