// The window in the desktop's language: Chinese for Chinese desktops and where no
// language is asked for, English for every other.
#include "AppTestSupport.h"
#include "RecordingFiles.h"

#include "common/UiLanguage.h"

#include <QAccessible>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

struct Desktop
{
    const char *locale;
    QStringList toolbar;      // accessible names of the toolbar's buttons
    QStringList menus;        // the menu bar, then the file menu
    QString unplayableReason; // why a file that is no audio (%1) does not play
};

// LC_ALL for the life of the object, as the desktop sets it when the program starts.
class LocaleChoice
{
public:
    explicit LocaleChoice(const char *locale) : m_before(qgetenv("LC_ALL"))
    {
        qputenv("LC_ALL", locale);
    }
    ~LocaleChoice() { qputenv("LC_ALL", m_before); }

private:
    QByteArray m_before;
};

QStringList texts(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions)
        if (!a->isSeparator())
            out << a->text();
    return out;
}

TEST(LanguageWindow, ToolbarMenusAndMessagesFollowTheDesktopsLanguage)
{
    const QStringList chineseBar{"录制", "暂停", "停止", "设置", "热键", "日程表"};
    const QStringList chineseMenus{"文件", "选项", "帮助", "录制", "暂停", "停止", "退出"};
    const QString chineseReason = "无法打开“%1”：参数无效。";
    const QStringList englishBar{"Record", "Pause", "Stop", "Settings", "Hot Keys", "Schedule"};
    const QStringList englishMenus{"File", "Options", "Help", "Record", "Pause", "Stop", "Exit"};
    const QString englishReason = "Can't open “%1”: invalid argument.";
    const Desktop desktops[] = {
        {"en_US.UTF-8", englishBar, englishMenus, englishReason},
        {"de_DE.UTF-8", englishBar, englishMenus, englishReason},
        {"zh_CN.UTF-8", chineseBar, chineseMenus, chineseReason},
        {"C", chineseBar, chineseMenus, chineseReason},
    };
    for (const Desktop &desktop : desktops) {
        SCOPED_TRACE(desktop.locale);
        TempFolders folders;
        ASSERT_TRUE(writeJunk(folders.audioDir() + "notes.mp3", 5000));
        const LocaleChoice locale(desktop.locale);
        // As the program does at its start.
        const std::unique_ptr<QTranslator> translator = translatorFor(desktopUiLanguage());
        if (translator)
            QCoreApplication::installTranslator(translator.get());
        auto form = makeForm(makeTestBackend());

        QStringList toolbar;
        for (QToolButton *b : form->ToolBar1->findChildren<QToolButton *>())
            if (!b->text().isEmpty())
                toolbar << QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name);
        EXPECT_EQ(toolbar, desktop.toolbar);
        EXPECT_EQ(texts(form->MainMenu1->actions()) + texts(form->File1->actions()), desktop.menus);

        form->ListView1->setCurrentItem(form->ListView1->topLevelItem(0));
        form->ListView1DblClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ShownMessages.isEmpty(); }, 8000));
        EXPECT_EQ(form->ShownMessages.front(),
                  "Can't play the file.\n\n" +
                      desktop.unplayableReason.arg(folders.audioDir() + "notes.mp3"));
        form.reset();
        if (translator)
            QCoreApplication::removeTranslator(translator.get());
    }
}

TEST(LanguageWindow, LanguageListWinsAndPlainLocalesAskForNone)
{
    struct Row
    {
        const char *language, *lcAll, *lcMessages, *lang;
        UiLanguage expected;
    };
    const Row rows[] = {
        {"", "", "", "", UiLanguage::Chinese},
        {"", "", "", "POSIX", UiLanguage::Chinese},
        {"", "", "", "C.UTF-8", UiLanguage::Chinese},
        {"", "", "", "zh_TW.UTF-8", UiLanguage::Chinese},
        {"", "", "", "fr_FR.UTF-8", UiLanguage::English},
        {"", "C", "", "fr_FR.UTF-8", UiLanguage::Chinese},
        {"", "", "en_GB.UTF-8", "zh_CN.UTF-8", UiLanguage::English},
        {"zh_CN:en", "en_US.UTF-8", "", "", UiLanguage::Chinese},
        {":de", "", "", "C", UiLanguage::English},
    };
    for (const Row &r : rows)
        EXPECT_EQ(uiLanguageFor(r.language, r.lcAll, r.lcMessages, r.lang), r.expected)
            << r.language << '|' << r.lcAll << '|' << r.lcMessages << '|' << r.lang;
}

} // namespace
