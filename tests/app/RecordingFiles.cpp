#include "RecordingFiles.h"

#include "audio/Encoders.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace sonalto::test {

namespace {

void putLe(QByteArray &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// A plain 16-bit PCM WAV of any length (the encoders buffer a bounded amount).
bool writeWav(const QString &path, const std::vector<int16_t> &samples, audio::PcmFormat format,
              std::string *error)
{
    const auto dataBytes = uint32_t(samples.size() * 2);
    QByteArray header;
    header.append("RIFF");
    putLe(header, 36 + dataBytes, 4);
    header.append("WAVEfmt ");
    putLe(header, 16, 4);
    putLe(header, 1, 2);
    putLe(header, uint32_t(format.channels), 2);
    putLe(header, uint32_t(format.rate), 4);
    putLe(header, uint32_t(format.rate * format.bytesPerFrame()), 4);
    putLe(header, uint32_t(format.bytesPerFrame()), 2);
    putLe(header, 16, 2);
    header.append("data");
    putLe(header, dataBytes, 4);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(header) != 44 ||
        file.write(reinterpret_cast<const char *>(samples.data()), dataBytes) != dataBytes) {
        if (error)
            *error = "cannot write " + path.toStdString();
        return false;
    }
    return true;
}

} // namespace

bool writeRecording(const QString &path, const std::vector<int16_t> &samples,
                    audio::PcmFormat format, std::string *error)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    const std::string file = QFile::encodeName(path).toStdString();
    const size_t frames = samples.size() / size_t(format.channels);
    if (ext == QLatin1String("wma")) {
        auto writer = audio::WmaWriter::open(format, 64000, file, error);
        if (!writer)
            return false;
        writer->write(samples.data(), samples.size() * 2);
        return writer->close();
    }
    if (ext == QLatin1String("wav"))
        return writeWav(path, samples, format, error);
    std::unique_ptr<audio::Encoder> encoder;
    if (ext == QLatin1String("mp3"))
        encoder = audio::startCommandLineEncoder({{"lame", "--quiet", "-b", "64", "-", file}},
                                                 format, error);
    else if (ext == QLatin1String("ogg"))
        encoder =
            audio::startCommandLineEncoder({{"oggenc", "--quiet", "-o", file, "-"}}, format, error);
    if (!encoder) {
        if (error && error->empty())
            *error = "no encoder for " + path.toStdString();
        return false;
    }
    // The encoder buffers ten seconds; longer test files are written as WAV.
    if (frames > size_t(format.rate) * 9) {
        if (error)
            *error = "encoded test files are at most 9 s long";
        return false;
    }
    encoder->write(samples.data(), frames);
    encoder->finish();
    if (!encoder->errorMessage().empty()) {
        if (error)
            *error = encoder->errorMessage();
        return false;
    }
    return QFileInfo(path).size() > 0;
}

bool writeJunk(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray block(64 * 1024, 'x');
    for (qint64 left = bytes; left > 0; left -= block.size())
        file.write(block.constData(), std::min<qint64>(left, block.size()));
    return file.size() == bytes;
}

} // namespace sonalto::test
