// Time the settings file takes at start-up and at exit when Config.ini is huge:
// the program's own settings come first, then a section of filler lines up to
// the size asked for (default 100 MB). Start-up reads the keys the folder
// resolution and the main window read; exit writes what the main window saves
// when it closes, with one value changed.
#include "settings/IniFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

using sonalto::settings::IniFile;

namespace {

bool makeFile(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("[Audio]\r\nRecordDevice=0\r\nInputChannel=1\r\nVolume=70\r\nOutputFormat=0\r\n"
               "SampleRate=1\r\nChannels=1\r\n[Other]\r\nAudioDir=/tmp/\r\nOutputName=take\r\n"
               "MinitoTray=0\r\n[Filler]\r\n");
    QByteArray block;
    for (int i = 0; block.size() < (1 << 20); ++i)
        block += "Filler" + QByteArray::number(i) + "=" + QByteArray(64, 'x') + "\r\n";
    while (file.size() < bytes)
        file.write(block);
    return file.flush();
}

double seconds(const std::function<void()> &f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    if (!makeFile(path, megabytes * 1000 * 1000)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    IniFile ini(path);
    const QString audio = QStringLiteral("Audio"), other = QStringLiteral("Other");

    int sum = 0;
    const double start = seconds([&] {
        const QString folder = ini.readString(other, QStringLiteral("AudioDir"), "0");
        ini.writeString(other, QStringLiteral("AudioDir"), folder);
        for (const char *key :
             {"RecordDeviceName", "InputChannelName", "RecordDevice", "InputChannel", "Volume",
              "Volume", "OutputFormat", "SampleRate", "Channels"})
            sum += ini.readInt(audio, QString::fromLatin1(key), 0);
        sum += ini.readString(other, QStringLiteral("OutputName"), "0").size();
        sum += ini.readInt(other, QStringLiteral("MinitoTray"), 0);
    });
    const double exit = seconds([&] {
        for (const char *key :
             {"RecordDevice", "InputChannel", "Volume", "OutputFormat", "SampleRate", "Channels"})
            ini.writeInt(audio, QString::fromLatin1(key), QByteArray(key) == "Volume" ? 71 : 0);
        ini.writeString(audio, QStringLiteral("RecordDeviceName"), QStringLiteral("dev"));
        ini.writeString(audio, QStringLiteral("InputChannelName"), QStringLiteral("in"));
        ini.writeString(other, QStringLiteral("AudioDir"), QStringLiteral("/tmp/"));
    });
    const double oneRead = seconds([&] { sum += ini.readInt(audio, QStringLiteral("Volume"), 0); });
    const double oneWrite = seconds([&] { ini.writeInt(audio, QStringLiteral("Volume"), 72); });

    std::printf("Config.ini of %lld MB (file now %lld bytes)\n", megabytes,
                static_cast<long long>(QFile(path).size()));
    std::printf("start-up reads (13 reads, 1 write of the same folder): %.3f s\n", start);
    std::printf("exit writes (9 writes, one value changed):             %.3f s\n", exit);
    std::printf("one read %.3f s, one changed write %.3f s (checksum %d)\n", oneRead, oneWrite,
                sum);
    return 0;
}
