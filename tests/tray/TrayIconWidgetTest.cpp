#include "common/NoIconTheme.h"
#include "common/TestSupport.h"
#include "tray/Trayicon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>

// The pictures live in the GUI library's resources.
static const bool iconsRegistered = [] {
    Q_INIT_RESOURCE(icons);
    return true;
}();

using namespace sonalto;

TEST(TrayIcon, MenuOrderAndInitialStates)
{
    TTrayIcon tray;
    QStringList texts;
    for (QAction *a : tray.PopupMenu1->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts, QStringList({"录制", "暂停", "停止", "-", "显示窗口", "-", "退出"}));
    EXPECT_TRUE(tray.Record1->isEnabled());
    EXPECT_FALSE(tray.Pause2->isEnabled());
    EXPECT_FALSE(tray.Stop2->isEnabled());
    EXPECT_EQ(tray.systemIcon()->contextMenu(), tray.PopupMenu1);
}

TEST(TrayIcon, PictureIndexIsClampedToTheList)
{
    TTrayIcon tray;
    ASSERT_EQ(tray.pictureCount(), 5);
    tray.setPicture(3);
    EXPECT_EQ(tray.picture(), 3);
    tray.setPicture(9);
    EXPECT_EQ(tray.picture(), 4) << "past the end shows the last picture";
    tray.setPictures({QIcon(), QIcon()});
    EXPECT_EQ(tray.picture(), 1);
    tray.setPictures({});
    tray.setPicture(2);
    EXPECT_EQ(tray.picture(), 0);
}

TEST(TrayIcon, ToolTipFollowsShowHintAndIsCut)
{
    TTrayIcon tray;
    tray.setToolTip("单击这里显示      \nSonalto 窗口  ");
    EXPECT_EQ(tray.systemIcon()->toolTip(), "单击这里显示      \nSonalto 窗口  ");
    tray.setShowHint(false);
    EXPECT_EQ(tray.systemIcon()->toolTip(), "");
    tray.setShowHint(true);
    tray.setToolTip(QString(200, QLatin1Char('x')));
    EXPECT_EQ(tray.systemIcon()->toolTip().size(), TTrayIcon::MaxHintLength);
    // A character outside the basic plane straddling the limit is dropped whole.
    tray.setToolTip(QString(126, QLatin1Char('x')) + QString::fromUtf8("🎤"));
    EXPECT_EQ(tray.shownToolTip().size(), 126);
}

TEST(TrayIcon, RestoresOnTheClickTheHostReportsAndNotWhileDisabled)
{
    TTrayIcon tray;
    int restores = 0;
    QObject::connect(&tray, &TTrayIcon::restoreRequested, [&] { ++restores; });
    // An XEmbed host: a Trigger comes before every DoubleClick; only the double
    // click restores.
    tray.setRestoresOnSingleClick(false);
    emit tray.systemIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(restores, 0);
    emit tray.systemIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(restores, 1);
    // A StatusNotifierItem host reports a click as the Trigger alone.
    tray.setRestoresOnSingleClick(true);
    emit tray.systemIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(restores, 2);
    emit tray.systemIcon()->activated(QSystemTrayIcon::MiddleClick);
    emit tray.systemIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(restores, 2);

    tray.setEnabled(false);
    emit tray.systemIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(restores, 2);
    EXPECT_EQ(tray.systemIcon()->contextMenu(), nullptr);
    tray.setEnabled(true);
    EXPECT_EQ(tray.systemIcon()->contextMenu(), tray.PopupMenu1);
}

TEST(TrayIcon, EveryMenuPictureHasABundledFallback)
{
    test::NoIconTheme noTheme;
    TTrayIcon tray;
    for (QAction *action : tray.PopupMenu1->actions()) {
        if (action->isSeparator())
            continue;
        EXPECT_FALSE(action->icon().pixmap(24, 24).isNull()) << action->text().toStdString();
    }
}

namespace {

bool startTrayer(QProcess &trayer)
{
    trayer.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
    return trayer.waitForStarted();
}

void stopTrayer(QProcess &trayer)
{
    trayer.terminate();
    trayer.waitForFinished();
}

} // namespace

// Needs an X display with a tray host: the binary runs itself again on the xcb
// platform for this one test.
TEST(TrayIconOnHost, ShownByTheHostAndBackAfterItRestarts)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        SONALTO_MISSING("an X display");
    SONALTO_REQUIRE_PROGRAM("trayer");
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=TrayIconOnHost.*")});
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 0);
        return;
    }

    QProcess trayer;
    ASSERT_TRUE(startTrayer(trayer));
    ASSERT_TRUE(QTest::qWaitFor([] { return TTrayIcon::hostAvailable(); }, 10000));
    TTrayIcon tray;
    tray.setPicture(1);
    tray.setToolTip(QStringLiteral("Sonalto"));
    tray.setVisible(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tray.geometry().isValid(); }, 10000));

    // The tray host goes away and comes back: the icon is added again, unchanged.
    stopTrayer(trayer);
    ASSERT_TRUE(QTest::qWaitFor([] { return !TTrayIcon::hostAvailable(); }, 10000));
    ASSERT_TRUE(startTrayer(trayer));
    ASSERT_TRUE(QTest::qWaitFor([] { return TTrayIcon::hostAvailable(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return tray.geometry().isValid(); }, 10000));
    EXPECT_EQ(tray.picture(), 1);
    EXPECT_EQ(tray.systemIcon()->toolTip(), "Sonalto");
    EXPECT_TRUE(tray.isVisible());
    stopTrayer(trayer);
}
