#include "TestSupport.h"

#include "audio/AudioFileDecoder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <chrono>
#include <thread>
#include <vector>

namespace sonalto::test {

bool insideTestSession()
{
    return qEnvironmentVariableIsSet("SONALTO_TEST_SESSION");
}

bool privatePulseAvailable()
{
    return insideTestSession() && qEnvironmentVariableIsSet("PULSE_SERVER");
}

bool haveProgram(const char *name)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

QString runProgram(const QString &program, const QStringList &args, int *exitCode, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(timeoutMs);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pactl(const QStringList &args, int *exitCode)
{
    return runProgram(QStringLiteral("pactl"), args, exitCode);
}

void resetLineInLevels()
{
    pactl({"set-source-mute", "sonalto_linein", "0"});
    pactl({"set-source-volume", "sonalto_linein", "100%"});
    pactl({"set-sink-mute", "sonalto_linein_feed", "0"});
    pactl({"set-sink-volume", "sonalto_linein_feed", "100%"});
}

namespace {
// An output's monitor cannot be suspended on its own: the output is.
QStringList suspendCommand(const QString &source, bool suspended)
{
    const QString flag = suspended ? QStringLiteral("1") : QStringLiteral("0");
    if (source.endsWith(QStringLiteral(".monitor")))
        return {QStringLiteral("suspend-sink"), source.chopped(8), flag};
    return {QStringLiteral("suspend-source"), source, flag};
}
} // namespace

SuspendedSource::SuspendedSource(const QString &name) : m_name(name)
{
    m_asked = Clock::now();
    pactl(suspendCommand(m_name, true));
    m_inEffect = Clock::now();
    m_suspended = true;
}

SuspendedSource::~SuspendedSource()
{
    resume();
}

void SuspendedSource::resume()
{
    if (!m_suspended)
        return;
    m_resumeAsked = Clock::now();
    pactl(suspendCommand(m_name, false));
    m_resumed = Clock::now();
    m_suspended = false;
}

double SuspendedSource::leastSecondsAway() const
{
    return std::chrono::duration<double>(m_resumeAsked - m_inEffect).count();
}

double SuspendedSource::mostSecondsAway() const
{
    return std::chrono::duration<double>(m_resumed - m_asked).count();
}

QString soundServerState()
{
    QStringList state;
    for (const QString &line : pactl({"info"}).split('\n'))
        if (line.startsWith("Default Sink:") || line.startsWith("Default Source:"))
            state << line;
    // One line per sink and source: its name and what a test may change on it.
    for (const char *kind : {"sinks", "sources"}) {
        for (QString line : pactl({"list", kind}).split('\n')) {
            line = line.trimmed();
            if (line.startsWith("Name:"))
                state << line;
            else if (!state.isEmpty() &&
                     (line.startsWith("Mute:") || line.startsWith("Volume:") ||
                      line.startsWith("Active Port:") || line == "State: SUSPENDED"))
                state.last() += " | " + line;
        }
    }
    // Modules by name and arguments: the index of one loaded and unloaded again
    // is never reused, so it is left out.
    for (const QString &line : pactl({"list", "short", "modules"}).split('\n', Qt::SkipEmptyParts))
        state << "module " + line.section('\t', 1);
    for (const char *kind : {"sink-inputs", "source-outputs"})
        state << QStringLiteral("%1: %2").arg(
            kind, QString::number(pactl({"list", "short", kind}).count('\n')));
    return state.join('\n');
}

namespace {

class SoundServerStateCheck : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo &) override { m_before = soundServerState(); }

    void OnTestEnd(const ::testing::TestInfo &info) override
    {
        // The server takes a moment to close the streams of a client that ended.
        QString after = soundServerState();
        for (int i = 0; i < 30 && after != m_before; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            after = soundServerState();
        }
        if (after == m_before)
            return;
        const QStringList was = m_before.split('\n'), is = after.split('\n');
        QStringList lines;
        for (const QString &line : was)
            if (!is.contains(line))
                lines << "  before: " + line;
        for (const QString &line : is)
            if (!was.contains(line))
                lines << "  after:  " + line;
        ADD_FAILURE() << info.test_suite_name() << "." << info.name()
                      << " left the private sound server changed:\n"
                      << lines.join('\n').toStdString();
    }

    QString m_before;
};

} // namespace

void checkSoundServerStateAroundEachTest()
{
    if (privatePulseAvailable() && qEnvironmentVariableIsSet("SONALTO_SOUND_SERVER_LOCKED"))
        ::testing::UnitTest::GetInstance()->listeners().Append(new SoundServerStateCheck);
}

LineInFeed::LineInFeed(const std::function<int16_t(uint64_t frame)> &sample, double seconds)
{
    resetLineInLevels();
    QFile file(m_dir.filePath(QStringLiteral("feed.raw")));
    if (!file.open(QIODevice::WriteOnly))
        return;
    std::vector<int16_t> samples;
    for (uint64_t i = 0; i < uint64_t(seconds * 44100); ++i)
        samples.insert(samples.end(), 2, sample(i));
    file.write(reinterpret_cast<const char *>(samples.data()),
               qint64(samples.size() * sizeof(int16_t)));
    file.close();
    m_player.start(QStringLiteral("pacat"),
                   {"--playback", "--raw", "--latency-msec=50", "--device=sonalto_linein_feed",
                    "--format=s16le", "--rate=44100", "--channels=2", file.fileName()});
    m_player.waitForStarted();
}

LineInFeed::~LineInFeed()
{
    stop();
}

void LineInFeed::stop()
{
    if (m_player.state() == QProcess::NotRunning)
        return;
    m_player.kill();
    m_player.waitForFinished();
}

double DecodedFile::seconds() const
{
    return double(samples.size() / 2) / audio::AudioFileDecoder::OutputRate;
}

std::optional<DecodedFile> decodeForTest(const std::string &path)
{
    std::string error;
    auto samples = audio::decodeAudioFile(path, &error);
    if (!samples) {
        ADD_FAILURE() << path << ": " << error;
        return std::nullopt;
    }
    return DecodedFile{std::move(*samples)};
}

void useProgramLanguage()
{
    qunsetenv("LANGUAGE");
    if (!qEnvironmentVariableIsEmpty("LC_ALL"))
        qputenv("LC_ALL", "C.UTF-8");
    qputenv("LC_MESSAGES", "C.UTF-8");
}

} // namespace sonalto::test
