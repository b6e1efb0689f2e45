// The key-option dialog: capturing combinations, clearing and defaults, the
// refusal of equal boxes, and what reaches HotKey.ini.
#include "common/TestSupport.h"

#include "common/Projectdir.h"
#include "hotkeys/Keyoptionunit.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace sonalto;

namespace {

class KeyOptionFormTest : public ::testing::Test
{
protected:
    void SetUp() override { ProjectDirs::instance().SetAppDir(m_dir.path()); }

    QString iniPath() const { return m_dir.path() + QStringLiteral("/HotKey.ini"); }

    void writeFile(const QByteArray &bytes)
    {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray fileBytes() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<TKeyOptionForm> makeForm()
    {
        auto form = std::make_unique<TKeyOptionForm>();
        form->showMessages = false;
        return form;
    }

    static const QByteArray ThreeDefaults;

private:
    QTemporaryDir m_dir;
};

const QByteArray KeyOptionFormTest::ThreeDefaults =
    "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\nHotKey2=y\nCASKey2=0\n";

} // namespace

TEST_F(KeyOptionFormTest, LoadShowsEachRoleInItsBox)
{
    writeFile("[HotKey]\nCount=3\nHotKey0=x\nCASKey0=3\nHotKey1=z\nCASKey1=4\nHotKey2=y\n"
              "CASKey2=0\n");
    auto form = makeForm();
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Alt + F9"));
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("Shift + F11"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("F10"));
    EXPECT_TRUE(form->Edit1->isReadOnly());
}

TEST_F(KeyOptionFormTest, CapturedCombinationIsShownAndSaved)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    // Ctrl, then Shift, then A, in the record box.
    QTest::keyPress(form->Edit1, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + "));
    QTest::keyPress(form->Edit1, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Shift + "));
    QTest::keyClick(form->Edit1, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Shift + A"));
    EXPECT_EQ(form->hotKeys().keys[0], 0x41);
    EXPECT_EQ(form->hotKeys().modifiers[0], 5);

    // A plain function key in the stop box.
    QTest::keyClick(form->Edit2, Qt::Key_F12);
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("F12"));

    form->Button1->click();
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
    const QByteArray bytes = fileBytes();
    EXPECT_TRUE(bytes.contains("HotKey0=A")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("CASKey0=5"));
    EXPECT_TRUE(bytes.contains("HotKey1={")); // F12 = 0x7B
    EXPECT_TRUE(bytes.contains("HotKey2=y"));
}

TEST_F(KeyOptionFormTest, ModifiersAloneLeaveTheBoxEmptyAndTheKeyUnchanged)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    QTest::keyClick(form->Edit3, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(form->Edit3->text(), QString());
    EXPECT_EQ(form->hotKeys().keys[2], 0x79);
    EXPECT_EQ(form->hotKeys().modifiers[2], 1);
    // Escape is never captured: it closes the dialog and drops the edits.
    form->show();
    QTest::keyClick(form->Edit3, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("F10"));
    EXPECT_EQ(form->hotKeys().modifiers[2], 0);
}

TEST_F(KeyOptionFormTest, EqualBoxesAreRefusedInOrder)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    form->SpeedButton18->click(); // delete record
    form->SpeedButton1->click();  // delete stop
    EXPECT_EQ(form->hotKeys().keys[0], 255);
    EXPECT_EQ(form->hotKeys().modifiers[1], 255);
    form->Button1->click();
    ASSERT_EQ(form->ShownMessages.size(), 1);
    EXPECT_EQ(form->ShownMessages.last(),
              QStringLiteral("Record Key = Stop Key!\n\nPlease use different key"));
    EXPECT_EQ(fileBytes(), ThreeDefaults) << "nothing saved";

    form->SpeedButton19->click(); // record back to F9
    QTest::keyClick(form->Edit2, Qt::Key_F9);
    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.last(),
              QStringLiteral("Record Key = Stop Key!\n\nPlease use different key"));
    QTest::keyClick(form->Edit3, Qt::Key_F9);
    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.last(),
              QStringLiteral("Record Key = Pause/Resume Key!\n\nPlease use different key"));
    form->SpeedButton19->click();
    QTest::keyClick(form->Edit1, Qt::Key_F1);
    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.last(),
              QStringLiteral("Pause/Resume Key = Stop Key!\n\nPlease use different key"));
}

TEST_F(KeyOptionFormTest, DefaultsWriteF9F11F10)
{
    writeFile("[HotKey]\nCount=3\nHotKey0=A\nCASKey0=7\nHotKey1=B\nCASKey1=1\nHotKey2=C\n"
              "CASKey2=2\n");
    auto form = makeForm();
    form->SpeedButton19->click();
    form->SpeedButton2->click();
    form->SpeedButton4->click();
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("F9"));
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("F11"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("F10"));
    form->Button1->click();
    const QByteArray bytes = fileBytes();
    for (const char *line :
         {"HotKey0=x", "HotKey1=z", "HotKey2=y", "CASKey0=0", "CASKey1=0", "CASKey2=0"})
        EXPECT_TRUE(bytes.contains(line)) << line;
}

TEST_F(KeyOptionFormTest, EntriesBeyondTheCountAreNeitherShownNorSaved)
{
    writeFile("[HotKey]\nCount=2\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\n");
    auto form = makeForm();
    EXPECT_EQ(form->Edit3->text(), QString());
    QTest::keyClick(form->Edit3, Qt::Key_F10, Qt::AltModifier);
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("Alt + F10"));
    form->Button1->click();
    EXPECT_TRUE(form->ShownMessages.isEmpty());
    EXPECT_FALSE(fileBytes().contains("HotKey2"));
    EXPECT_TRUE(fileBytes().contains("Count=2"));

    // With no file the boxes are empty, so they are equal and nothing is saved.
    QFile::remove(iniPath());
    form->loadFromFile();
    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.size(), 1);
    EXPECT_FALSE(QFile::exists(iniPath()));
    // Three different combinations are accepted, but none is in the count.
    QTest::keyClick(form->Edit1, Qt::Key_F1);
    QTest::keyClick(form->Edit2, Qt::Key_F2);
    QTest::keyClick(form->Edit3, Qt::Key_F3);
    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.size(), 1);
    EXPECT_TRUE(fileBytes().contains("Count=0"));
    EXPECT_FALSE(fileBytes().contains("HotKey0"));
}
