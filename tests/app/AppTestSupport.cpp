#include "AppTestSupport.h"

#include "audio/CaptureChannel.h"
#include "common/Projectdir.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>

namespace sonalto::test {

TempFolders::TempFolders()
{
    QDir().mkpath(appDir());
    QDir().mkpath(audioDir());
    ProjectDirs::instance().SetAppDir(appDir());
    ProjectDirs::instance().SetAudioDir(audioDir());
}

PrivateHome::PrivateHome()
{
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        m_saved.append({name, qgetenv(name)});
    qputenv("HOME", m_dir.path().toUtf8());
    qputenv("XDG_DATA_HOME", (m_dir.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8());
}

PrivateHome::~PrivateHome()
{
    for (const auto &[name, value] : m_saved)
        qputenv(name, value);
}

std::unique_ptr<audio::VirtualBackend> makeTestBackend()
{
    auto backend = std::make_unique<audio::VirtualBackend>();
    audio::VirtualDevice card;
    card.id = "card0";
    card.name = "Built-in Audio";
    card.inputs.push_back({"Microphone", audio::InputTypeMicrophone, 0.29f,
                           sineGenerator(1000, 0.5), "card0.in", "mic"});
    card.inputs.push_back(
        {"Line In", audio::InputTypeLine, 0.5f, sineGenerator(440, 0.5), "card0.in", "line"});
    card.inputs.push_back({"Speakers (output)", audio::InputTypeOutputMix, 0.8f,
                           sineGenerator(1000, 0.5), "card0.speakers.monitor", ""});
    card.inputs.push_back({"Headphones (output)", audio::InputTypeOutputMix, 0.6f,
                           sineGenerator(1000, 0.5), "card0.headphones.monitor", ""});
    backend->addDevice(card);
    audio::VirtualDevice usb;
    usb.id = "usb";
    usb.name = "USB Microphone";
    usb.inputs.push_back(
        {"Mic", audio::InputTypeMicrophone, 1.0f, sineGenerator(500, 0.5), "usb.in", ""});
    backend->addDevice(usb);
    backend->setDefaultSource("card0.in");
    return backend;
}

std::unique_ptr<TForm1> makeForm(std::unique_ptr<audio::AudioBackend> backend)
{
    TForm1::Options options;
    options.useSystemBackend = false;
    options.showMessages = false;
    options.backend = std::move(backend);
    auto form = std::make_unique<TForm1>(std::move(options));
    waitForInput(*form);
    return form;
}

bool waitUntilStarted(TForm1 &form)
{
    return QTest::qWaitFor(
        [&] { return form.Recording->state() != recording::RecordingSession::State::Starting; },
        20000);
}

void pressRecord(TForm1 &form)
{
    form.ToolButton1->click();
    EXPECT_TRUE(waitUntilStarted(form));
}

bool waitForInput(TForm1 &form, int timeoutMs)
{
    return QTest::qWaitFor([&] { return form.Input->settled(); }, timeoutMs);
}

bool selectInputWith(TForm1 &form, const QStringList &words)
{
    for (int device = 0; device < form.ComboBox2->count(); ++device) {
        form.ComboBox2->setCurrentIndex(device);
        form.ComboBox2Change();
        if (!waitForInput(form))
            return false;
        for (int input = 0; input < form.ComboBox1->count(); ++input) {
            for (const QString &word : words) {
                if (form.ComboBox1->itemText(input).contains(word, Qt::CaseInsensitive)) {
                    form.ComboBox1->setCurrentIndex(input);
                    form.ComboBox1Change();
                    return waitForInput(form);
                }
            }
        }
    }
    return false;
}

void selectInput(TForm1 &form, const QString &name)
{
    const int position = form.ComboBox1->findText(name);
    ASSERT_GE(position, 0) << name.toStdString();
    form.ComboBox1->setCurrentIndex(position);
    form.ComboBox1Change();
    ASSERT_TRUE(waitForInput(form));
}

bool waitUntilIdle(TForm1 &form, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] { return form.Recording->state() == recording::RecordingSession::State::Idle; },
        timeoutMs);
}

bool recordWav(TForm1 &form, double seconds)
{
    form.ComboBox3->setCurrentIndex(3); // WAV
    form.ComboBox3Change();
    pressRecord(form);
    if (!form.IsRecording)
        return false;
    const bool held = QTest::qWaitFor(
        [&] {
            const audio::CaptureChannel *take = form.Recording->channel();
            return take && take->capturedFrames() > seconds * take->format().rate;
        },
        10000);
    form.ToolButton3->click();
    return waitUntilIdle(form) && held;
}

ProgramHome::ProgramHome(const QByteArray &config)
{
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert("QT_QPA_PLATFORM", "offscreen");
    m_env.insert("XDG_RUNTIME_DIR", m_runtime.path());
    QDir().mkpath(appDir());
    QFile file(appDir() + "Config.ini");
    if (file.open(QIODevice::WriteOnly))
        file.write(config);
}

bool ProgramHome::start(QProcess &program, const QStringList &arguments)
{
    program.setProcessEnvironment(m_env);
    program.start(SONALTO_BINARY, arguments);
    if (!program.waitForStarted())
        return false;
    const QString socket = m_runtime.path() + "/Kestrova Audio Recorder.socket";
    return QTest::qWaitFor(
               [&] { return QFile::exists(socket) || program.state() == QProcess::NotRunning; },
               15000) &&
           program.state() == QProcess::Running;
}

ProgramHome::Ended ProgramHome::run(const QStringList &arguments,
                                    const QProcessEnvironment &env) const
{
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(SONALTO_BINARY, arguments);
    Ended ended;
    // An action waits for a take to start or to be finished.
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished();
        ended.err = "did not end";
        return ended;
    }
    ended.code = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    ended.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    ended.err = QString::fromLocal8Bit(program.readAllStandardError());
    return ended;
}

QStringList ProgramHome::recordings() const
{
    return QDir(audioDir()).entryList(QDir::Files, QDir::Name);
}

bool ProgramHome::waitForAudio(const QString &name, double seconds) const
{
    return QTest::qWaitFor(
        [&] { return QFileInfo(audioDir() + name).size() > 104 + qint64(seconds * 16000); }, 15000);
}

} // namespace sonalto::test
