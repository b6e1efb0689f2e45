#include "TestSupport.h"

#include "audio/AudioFileDecoder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

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

} // namespace sonalto::test
