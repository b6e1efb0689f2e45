// The hot-key list, its file and the names of its combinations.
#include "common/TestSupport.h"

#include "hotkeys/HotKeyFile.h"
#include "hotkeys/HotKeyList.h"
#include "hotkeys/KeyNames.h"
#include "settings/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::hotkeys;

namespace {

class HotKeyFileTest : public ::testing::Test
{
protected:
    QString path() const { return m_dir.path() + QStringLiteral("/HotKey.ini"); }
    void writeFile(const QByteArray &bytes)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};

} // namespace

TEST(HotKeyListTest, MatchNeedsExactModifiersAndTakesTheLowestRoleEntry)
{
    HotKeyList list;
    list.count = 4;
    list.keys = {0x78, 0x78, 0xBA, 0x7A};
    list.modifiers = {ModCtrl, 0, ModCtrl | ModShift, 0};
    EXPECT_EQ(list.match(0x78, ModCtrl), 0);
    EXPECT_EQ(list.match(0x78, 0), 1);
    EXPECT_EQ(list.match(0x78, ModCtrl | ModShift), -1);
    // Codes above 127 are plain unsigned bytes.
    EXPECT_EQ(list.match(0xBA, ModCtrl | ModShift), 2);
    // Past the three roles nothing acts, whatever the count says.
    EXPECT_EQ(list.match(0x7A, 0), -1);

    // The same combination twice: only the lower entry acts.
    list.keys[2] = 0x78;
    list.modifiers[2] = 0;
    EXPECT_EQ(list.match(0x78, 0), 1);
    list.count = 1;
    EXPECT_EQ(list.match(0x78, 0), -1) << "beyond the count";
}

TEST(HotKeyListTest, ClearedEntryNeverMatchesAndDefaultsAreF9F11F10)
{
    HotKeyList list;
    list.count = 3;
    for (int i = 0; i < 3; ++i)
        list.setDefault(i);
    EXPECT_EQ(list.keys[0], 0x78);
    EXPECT_EQ(list.keys[1], 0x7A);
    EXPECT_EQ(list.keys[2], 0x79);
    EXPECT_EQ(list.match(0x7A, 0), StopKey);
    list.clearEntry(StopKey);
    EXPECT_EQ(list.keys[1], 255);
    EXPECT_EQ(list.modifiers[1], 255);
    for (int state = 0; state < 8; ++state)
        EXPECT_EQ(list.match(255, state), -1);
    EXPECT_EQ(list.match(0x7A, 0), -1);
}

TEST_F(HotKeyFileTest, RoundTripKeepsRawBytesAndWritesInOrder)
{
    HotKeyList list;
    list.count = 3;
    list.keys = {'A', 0x78, 0xBA};
    list.modifiers = {5, 0, 6};
    list.keys[3] = 0x41; // beyond the count: never written
    ASSERT_TRUE(saveHotKeys(path(), list));

    const QByteArray bytes = fileBytes();
    // Count first, then each HotKey before its CASKey; the key code is the byte itself.
    const QList<QByteArray> order = {"Count=3",   "HotKey0=A", "CASKey0=5",
                                     "HotKey1=x", "CASKey1=0", QByteArray("HotKey2=") + char(0xBA),
                                     "CASKey2=6"};
    qsizetype at = 0;
    for (const QByteArray &line : order) {
        const qsizetype found = bytes.indexOf(line, at);
        EXPECT_GE(found, at) << line.toStdString();
        at = found;
    }
    EXPECT_FALSE(bytes.contains("HotKey3"));

    HotKeyList loaded;
    QString error;
    ASSERT_TRUE(loadHotKeys(path(), loaded, &error)) << error.toStdString();
    EXPECT_EQ(loaded.count, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.keys[size_t(i)], list.keys[size_t(i)]) << i;
        EXPECT_EQ(loaded.modifiers[size_t(i)], list.modifiers[size_t(i)]) << i;
    }
}

TEST_F(HotKeyFileTest, BlankKeysAreQuotedAndLineBreaksRefusedBeforeWriting)
{
    // Space and Tab are blanks that reading would trim away.
    HotKeyList list;
    list.count = 3;
    list.keys = {0x20, 0x09, 0x0C};
    list.modifiers = {ModCtrl, ModCtrl, 0};
    QString error;
    ASSERT_TRUE(saveHotKeys(path(), list, &error)) << error.toStdString();
    EXPECT_TRUE(fileBytes().contains("HotKey0=\" \"\n")) << fileBytes().toStdString();
    EXPECT_TRUE(fileBytes().contains("HotKey1=\"\t\"\n"));
    HotKeyList loaded;
    ASSERT_TRUE(loadHotKeys(path(), loaded, &error));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.keys[size_t(i)], list.keys[size_t(i)]) << i;
        EXPECT_EQ(loaded.modifiers[size_t(i)], list.modifiers[size_t(i)]) << i;
    }

    // Enter (0x0D) cannot be held by a line; it is the last entry, and still
    // nothing of the list reaches the file.
    const QByteArray before = fileBytes();
    list.keys = {0x78, 0x7A, 0x0D};
    EXPECT_FALSE(canStoreKey(0x0D));
    EXPECT_FALSE(canStoreKey(0x0A));
    EXPECT_TRUE(canStoreKey(0x20));
    EXPECT_FALSE(saveHotKeys(path(), list, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("Enter"))) << error.toStdString();
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(HotKeyFileTest, EntriesWithoutAKeyAreSavedEmptyAndStayWithoutOne)
{
    HotKeyList list;
    list.count = 3;
    list.keys = {0x78, 0x10, 0xFF};
    list.modifiers = {255, ModCtrl, 0};
    // Cleared, a modifier alone, a code without a name: none of them is a key.
    for (int i : {0, 1, 2})
        EXPECT_FALSE(list.hasKey(i)) << i;
    ASSERT_TRUE(saveHotKeys(path(), list));
    EXPECT_EQ(fileBytes(), QByteArray("[HotKey]\nCount=3\nHotKey0=\nCASKey0=255\nHotKey1=\n"
                                      "CASKey1=255\nHotKey2=\nCASKey2=255\n"));
    HotKeyList loaded;
    QString notice;
    ASSERT_TRUE(loadHotKeys(path(), loaded, &notice));
    EXPECT_EQ(notice, QString()) << "an entry saved without a key is no fault";
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(loaded.hasKey(i)) << i;

    // A cleared entry as Windows writes it (the byte 0xFF) reads as no key too.
    writeFile("[HotKey]\r\nCount=1\r\nHotKey0=\xFF\r\nCASKey0=255\r\n");
    ASSERT_TRUE(loadHotKeys(path(), loaded, &notice));
    EXPECT_FALSE(loaded.hasKey(0));
    EXPECT_EQ(notice, QString());
}

TEST_F(HotKeyFileTest, FirstStartCreatesThreeEmptyEntriesOnce)
{
    ASSERT_TRUE(createHotKeyFileIfMissing(path()));
    HotKeyList list;
    ASSERT_TRUE(loadHotKeys(path(), list, nullptr));
    EXPECT_EQ(list.count, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(list.hasKey(i)) << i;

    // The user's own file is never replaced.
    writeFile("[HotKey]\nCount=1\nHotKey0=x\nCASKey0=0\n");
    ASSERT_TRUE(createHotKeyFileIfMissing(path()));
    EXPECT_EQ(fileBytes(), QByteArray("[HotKey]\nCount=1\nHotKey0=x\nCASKey0=0\n"));
    EXPECT_FALSE(createHotKeyFileIfMissing(path() + QStringLiteral(".d/missing/HotKey.ini")));
}

TEST(KeyNamesTest, PrefixesAndDisplayTexts)
{
    EXPECT_EQ(modifierPrefix(0), QString());
    EXPECT_EQ(modifierPrefix(3), QStringLiteral("Ctrl + Alt + "));
    EXPECT_EQ(modifierPrefix(5), QStringLiteral("Ctrl + Shift + "));
    EXPECT_EQ(modifierPrefix(6), QStringLiteral("Alt + Shift + "));
    EXPECT_EQ(modifierPrefix(7), QStringLiteral("Ctrl + Alt + Shift + "));
    EXPECT_EQ(modifierPrefix(255), QString());

    EXPECT_EQ(displayText(0x78, 3), QStringLiteral("Ctrl + Alt + F9"));
    EXPECT_EQ(displayText(0x41, 5), QStringLiteral("Ctrl + Shift + A"));
    EXPECT_EQ(displayText(255, 255), QString());
    // Hints put one space between prefix and name.
    EXPECT_EQ(hintText(0x78, 0), QStringLiteral(" F9"));
    EXPECT_EQ(hintText(0x78, 1), QStringLiteral("Ctrl +  F9"));
}

TEST(KeyNamesTest, NamesFollowTheScanCodeWithoutTheExtendedBit)
{
    EXPECT_EQ(keyName(0x7A), QStringLiteral("F11"));
    EXPECT_EQ(keyName(0x7B), QStringLiteral("F12"));
    EXPECT_EQ(keyName(0x86), QStringLiteral("F23"));
    EXPECT_EQ(keyName(0x87), QStringLiteral("F24"));
    EXPECT_EQ(keyName('0'), QStringLiteral("0"));
    EXPECT_EQ(keyName('Z'), QStringLiteral("Z"));
    EXPECT_EQ(keyName(0xBA), QStringLiteral(";"));
    EXPECT_EQ(keyName(0x1B), QStringLiteral("Esc"));
    // Shift, Ctrl and Alt have no name of their own.
    EXPECT_EQ(keyName(16), QString());
    EXPECT_EQ(keyName(17), QString());
    EXPECT_EQ(keyName(18), QString());
    // Keys sharing a keypad scan code read as the keypad key.
    EXPECT_EQ(keyName(0x21), QStringLiteral("Num 9"));
    EXPECT_EQ(keyName(0x2E), QStringLiteral("Num Del"));
    EXPECT_EQ(keyName(0x63), QStringLiteral("Num 3"));
    // No scan code: no name.
    EXPECT_EQ(keyName(0x07), QString());
    EXPECT_EQ(keyName(0xFF), QString());
}

TEST(KeyNamesTest, QtKeysGiveVirtualKeyCodes)
{
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_F9, false), 0x78);
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_A, false), 0x41);
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_Control, false), 0x11);
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_Shift, false), 0x10);
    // A shifted symbol is the key that carries it.
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_Exclam, false), '1');
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_Colon, false), 0xBA);
    // The keypad's digits and operators have codes of their own.
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_7, true), 0x67);
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_Plus, true), 0x6B);
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_Plus, false), 0xBB);
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_unknown, false), 0);
}
