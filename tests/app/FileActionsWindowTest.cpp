// Actions on the selected recording.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "app/DesktopServices.h"
#include "common/Projectdir.h"
#include "common/TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>

#include <optional>

using namespace sonalto;
using namespace sonalto::test;

namespace {

void writeFile(const QString &path, const QByteArray &data = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Points the trash into a temporary folder for one test.
class PrivateTrash
{
public:
    PrivateTrash() : m_saved(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", (m_dir.path() + "/data").toUtf8());
    }
    ~PrivateTrash() { qputenv("XDG_DATA_HOME", m_saved); }
    QString trashFiles() const { return m_dir.path() + "/data/Trash/files/"; }

private:
    QTemporaryDir m_dir;
    QByteArray m_saved;
};

QTreeWidgetItem *rowNamed(TForm1 &form, const QString &name)
{
    const auto found = form.ListView1->findItems(name, Qt::MatchExactly, 0);
    return found.isEmpty() ? nullptr : found.front();
}

} // namespace

TEST(FileActions, DeleteMovesToTrashAndSelectsTheNeighbour)
{
    TempFolders folders;
    PrivateTrash trash;
    for (const char *name : {"a.wav", "b.wav", "c.wav"})
        writeFile(folders.audioDir() + name);
    auto form = makeForm(nullptr);
    form->RefreshRecordingList();
    ASSERT_EQ(form->ListView1->topLevelItemCount(), 3);

    form->ListView1->setCurrentItem(rowNamed(*form, "c.wav"));
    form->SpeedButton2Click();
    EXPECT_FALSE(QFile::exists(folders.audioDir() + "c.wav"));
    EXPECT_TRUE(QFile::exists(trash.trashFiles() + "c.wav"));
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 2);
    ASSERT_NE(form->selectedRow(), nullptr);
    EXPECT_EQ(form->selectedRow()->text(0), "b.wav") << "the last row gone: the new last";
    EXPECT_EQ(form->Label11->text(), "总共 2 个文件 (0 mp3, 0 wma, 0 ogg, 2 wav)");

    form->ListView1->setCurrentItem(rowNamed(*form, "a.wav"));
    form->SpeedButton2Click();
    EXPECT_EQ(form->selectedRow()->text(0), "b.wav") << "the row that moved into its place";
}

TEST(FileActions, DeleteRefusesTheFileThatPlaysOrIsPaused)
{
    TempFolders folders;
    PrivateTrash trash;
    std::string error;
    const audio::PcmFormat format{44100, 2};
    ASSERT_TRUE(writeRecording(folders.audioDir() + "a.wav", toneSamples(1000, 5.0, format), format,
                               &error))
        << error;
    auto form = makeForm(makeTestBackend());
    form->RefreshRecordingList();
    QTreeWidgetItem *row = rowNamed(*form, "a.wav");
    form->ListView1->setCurrentItem(row);
    form->ListView1DblClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isPlaying() && form->Playback->stream(); }));
    form->Playback->pause();
    form->SpeedButton2Click();
    EXPECT_TRUE(form->ShownMessages.contains("The file is Play."));
    EXPECT_TRUE(QFile::exists(folders.audioDir() + "a.wav"));
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 1);

    // Stopped, it goes; a status word alone decides nothing.
    form->SpeedButton13Click();
    form->setRowStatus(form->rowPath(row), TForm1::RowStatus::Pause);
    form->SpeedButton2Click();
    EXPECT_FALSE(QFile::exists(folders.audioDir() + "a.wav"));
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
}

TEST(FileActions, SaveAsKeepsTheTypeAndNeverReplaces)
{
    TempFolders folders;
    writeFile(folders.audioDir() + "a.mp3", "audio");
    QTemporaryDir target;
    writeFile(target.path() + "/taken.mp3", "mine");
    auto form = makeForm(nullptr);
    form->RefreshRecordingList();
    form->ListView1->setCurrentItem(rowNamed(*form, "a.mp3"));

    QString offered, offeredFilter;
    QString answer = target.path() + "/copy.txt";
    form->askSaveName = [&](const QString &suggested, const QString &filter) {
        offered = suggested;
        offeredFilter = filter;
        return answer;
    };
    form->SpeedButton3Click();
    EXPECT_EQ(offered, "a.mp3");
    EXPECT_TRUE(offeredFilter.contains("*.mp3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SaveCopies.isEmpty(); }, 10000));
    QFile copy(target.path() + "/copy.mp3");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "audio");

    answer = target.path() + "/taken.mp3";
    form->SpeedButton3Click();
    QFile taken(answer);
    ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
    EXPECT_EQ(taken.readAll(), "mine");
    EXPECT_FALSE(form->ShownMessages.isEmpty()) << "the refusal is said, not silent";
}

TEST(FileActions, SaveAsThatFailsSaysWhy)
{
    TempFolders folders;
    writeFile(folders.audioDir() + "a.wav", "audio");
    QTemporaryDir target;
    auto form = makeForm(nullptr);
    form->RefreshRecordingList();
    form->ListView1->setCurrentItem(rowNamed(*form, "a.wav"));
    const QString answer = target.path() + "/gone/copy.wav";
    form->askSaveName = [&](const QString &, const QString &) { return answer; };
    const qsizetype before = form->ShownMessages.size();
    form->SpeedButton3Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SaveCopies.isEmpty(); }, 10000));
    ASSERT_EQ(form->ShownMessages.size(), before + 1);
    const QString said = form->ShownMessages.last();
    EXPECT_TRUE(said.startsWith("无法保存文件: " + answer)) << said.toStdString();
    EXPECT_TRUE(said.contains("No such file or directory")) << said.toStdString();
    EXPECT_FALSE(QFileInfo::exists(answer));
}

TEST(FileActions, ActionsWithoutSelectionDoNothing)
{
    TempFolders folders;
    writeFile(folders.audioDir() + "a.wav");
    auto form = makeForm(nullptr);
    form->RefreshRecordingList();
    form->ListView1->clearSelection();
    form->SpeedButton2Click();
    form->SpeedButton3Click();
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 1);
    EXPECT_TRUE(form->ShownMessages.size() == 1) << "only the start-up message";
}

TEST(DesktopServicesTest, ExecLineFieldCodes)
{
    using desktop::execArguments;
    EXPECT_EQ(execArguments("vlc --started-from-file %U", "/r/a b.mp3"),
              (QStringList{"vlc", "--started-from-file", "file:///r/a b.mp3"}));
    EXPECT_EQ(execArguments("\"/opt/My Player/play\" %f %i", "/r/x.ogg"),
              (QStringList{"/opt/My Player/play", "/r/x.ogg"}));
    EXPECT_EQ(execArguments("audacious", "/r/x.wav"), (QStringList{"audacious", "/r/x.wav"}));
    EXPECT_EQ(execArguments("app --rate=50%% %F", "/r/x.wav"),
              (QStringList{"app", "--rate=50%", "/r/x.wav"}));
}

TEST(DesktopServicesTest, ApplicationsRegisteredForTheType)
{
    QTemporaryDir dir;
    const QByteArray savedHome = qgetenv("XDG_DATA_HOME");
    const QByteArray savedDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", (dir.path() + "/home").toUtf8());
    // The system folders stay too: the MIME database lives there.
    qputenv("XDG_DATA_DIRS", (dir.path() + "/sys:/usr/local/share:/usr/share").toUtf8());
    QDir().mkpath(dir.path() + "/home/applications");
    QDir().mkpath(dir.path() + "/sys/applications");
    writeFile(dir.path() + "/sys/applications/player.desktop",
              "[Desktop Entry]\nName=Player\nExec=player %f\nMimeType=audio/mpeg;audio/ogg;\n");
    writeFile(dir.path() + "/sys/applications/hidden.desktop",
              "[Desktop Entry]\nName=Hidden\nExec=h %f\nNoDisplay=true\nMimeType=audio/mpeg;\n");
    writeFile(dir.path() + "/sys/applications/editor.desktop",
              "[Desktop Entry]\nName=Editor\nExec=ed %f\nMimeType=text/plain;\n");
    // The user's own entry of the same name replaces the system's.
    writeFile(dir.path() + "/home/applications/player.desktop",
              "[Desktop Entry]\nName=My Player\nExec=myplayer %f\nMimeType=audio/mpeg;\n");
    QStringList names;
    for (const auto &app : desktop::applicationsFor("/r/x.mp3"))
        names << app.name;
    EXPECT_TRUE(names.contains("My Player"));
    EXPECT_FALSE(names.contains("Player"));
    EXPECT_FALSE(names.contains("Hidden"));
    EXPECT_FALSE(names.contains("Editor"));
    qputenv("XDG_DATA_HOME", savedHome);
    qputenv("XDG_DATA_DIRS", savedDirs);
}

namespace {

// A message bus of the test's own, with one connection for the program and one
// that plays the desktop's services.
struct PrivateBus
{
    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address")});
        if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
            return;
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        program = QDBusConnection::connectToBus(address, QStringLiteral("sonalto-program"));
        desktop = QDBusConnection::connectToBus(address, QStringLiteral("sonalto-desktop"));
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("sonalto-program"));
        QDBusConnection::disconnectFromBus(QStringLiteral("sonalto-desktop"));
        daemon.kill();
        daemon.waitForFinished();
    }
    QProcess daemon;
    QDBusConnection program{QString()};
    QDBusConnection desktop{QString()};
};

// A desktop service that answers one method after `delayMs`, or never (-1).
class FakeService : public QDBusVirtualObject
{
public:
    FakeService(QString method, int delayMs) : m_method(std::move(method)), m_delayMs(delayMs) {}
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() != m_method)
            return false;
        arguments = message.arguments();
        if (m_delayMs >= 0) {
            QTimer::singleShot(m_delayMs, this,
                               [this, reply = message.createReply(), bus = connection]() mutable {
                                   repliedAt = clock.elapsed();
                                   bus.send(reply);
                               });
        }
        return true;
    }
    QElapsedTimer clock;
    QVariantList arguments;
    qint64 repliedAt = -1;

private:
    QString m_method;
    int m_delayMs;
};

// Catches what the program asks the desktop to open in place of the real opener.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace

TEST(DesktopServicesTest, FileManagerIsNeverWaitedFor)
{
    SONALTO_REQUIRE_PROGRAM("dbus-daemon");
    PrivateBus bus;
    ASSERT_TRUE(bus.program.isConnected());
    OpenedUrls opened;
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    const QString path = QStringLiteral("/rec/My \"Best\" 音频/01.mp3");

    // A slow file manager: the call returns before it answers, and its answer
    // counts (the folder is not opened as well).
    {
        FakeService slow(QStringLiteral("ShowItems"), 1500);
        ASSERT_TRUE(bus.desktop.registerVirtualObject(
            QStringLiteral("/org/freedesktop/FileManager1"), &slow));
        ASSERT_TRUE(bus.desktop.registerService(service));
        slow.clock.start();
        desktop::showInFileManager(path, bus.program);
        const qint64 returnedAt = slow.clock.elapsed();
        ASSERT_TRUE(QTest::qWaitFor([&] { return slow.repliedAt >= 0; }, 10000));
        EXPECT_LT(returnedAt, slow.repliedAt);
        EXPECT_EQ(slow.arguments.value(0).toStringList(),
                  QStringList{QUrl::fromLocalFile(path).toString()});
        QTest::qWait(200);
        EXPECT_TRUE(opened.urls.isEmpty());
        bus.desktop.unregisterService(service);
        bus.desktop.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    }

    // No file manager on the bus, or one that never answers: the folder opens.
    desktop::showInFileManager(path, bus.program);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.urls.isEmpty(); }, 10000));
    EXPECT_EQ(opened.urls.value(0), QUrl::fromLocalFile(QStringLiteral("/rec/My \"Best\" 音频")));

    FakeService hung(QStringLiteral("ShowItems"), -1);
    ASSERT_TRUE(
        bus.desktop.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &hung));
    ASSERT_TRUE(bus.desktop.registerService(service));
    opened.urls.clear();
    desktop::showInFileManager(path, bus.program);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.urls.isEmpty(); }, 10000));
    EXPECT_FALSE(hung.arguments.isEmpty());
}

TEST(DesktopServicesTest, PortalChooserAnswersLater)
{
    SONALTO_REQUIRE_PROGRAM("dbus-daemon");
    TempFolders folders;
    writeFile(folders.audioDir() + "a.ogg", "audio");
    PrivateBus bus;
    ASSERT_TRUE(bus.program.isConnected());
    std::optional<bool> asked;
    desktop::openWithPortalChooser(
        folders.audioDir() + "a.ogg", [&](bool answer) { asked = answer; }, bus.program);
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.has_value(); }, 10000));
    EXPECT_FALSE(*asked) << "no portal on the bus";

    FakeService portal(QStringLiteral("OpenFile"), 0);
    ASSERT_TRUE(bus.desktop.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                  &portal));
    ASSERT_TRUE(bus.desktop.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    asked.reset();
    desktop::openWithPortalChooser(
        folders.audioDir() + "a.ogg", [&](bool answer) { asked = answer; }, bus.program);
    EXPECT_FALSE(asked.has_value()) << "the answer comes later";
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.has_value(); }, 10000));
    EXPECT_TRUE(*asked);
    ASSERT_EQ(portal.arguments.size(), 3);
    EXPECT_TRUE(portal.arguments[1].value<QDBusUnixFileDescriptor>().isValid());
    EXPECT_TRUE(qdbus_cast<QVariantMap>(portal.arguments[2]).value("ask").toBool());
}

#include "FileActionsWindowTest.moc"

// A recording whose name is not UTF-8 (GBK bytes from an old archive) is listed under
// its readable name, gets its length, is copied and goes to the trash with its bytes.
TEST(FileActions, ANameThatIsNotUtf8IsListedCopiedAndTrashedWithItsBytes)
{
    TempFolders folders;
    PrivateTrash trash;
    const QByteArray gbk("\xC2\xBC\xD2\xF4.wav"); // 录音.wav in GBK
    const QByteArray native = QFile::encodeName(folders.audioDir()) + gbk;
    std::string error;
    ASSERT_TRUE(writeRecording(folders.root() + "/tone.wav", toneSamples(1000, 1.5),
                               audio::PcmFormat{44100, 2}, &error))
        << error;
    ASSERT_EQ(
        ::rename(QFile::encodeName(folders.root() + "/tone.wav").constData(), native.constData()),
        0);

    auto form = makeForm(makeTestBackend());
    QTreeWidgetItem *row = rowNamed(*form, QStringLiteral("录音.wav"));
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return row->text(2) == "00:00:02"; }, 5000))
        << row->text(2).toStdString();

    form->ListView1->setCurrentItem(row);
    form->askSaveName = [&](const QString &suggested, const QString &) {
        EXPECT_EQ(suggested, QStringLiteral("录音.wav"));
        return folders.root() + "/copy.wav";
    };
    form->SpeedButton3Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SaveCopies.isEmpty(); }, 5000));
    EXPECT_EQ(QFileInfo(folders.root() + "/copy.wav").size(),
              QFileInfo(desktop::usablePath(form->rowPath(row))).size());

    form->SpeedButton2Click();
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
    EXPECT_EQ(::access(native.constData(), F_OK), -1) << "gone from the folder";
    EXPECT_EQ(::access((QFile::encodeName(trash.trashFiles()) + gbk).constData(), F_OK), 0)
        << "in the trash under its own bytes";
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
}
