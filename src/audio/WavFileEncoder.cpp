#include "audio/AudioText.h"
#include "audio/BufferedEncoder.h"
#include "audio/Encoders.h"

#include <sndfile.h>

namespace sonalto::audio {

namespace {

// 16-bit PCM through libsndfile. Written as RF64 with automatic downgrade: the
// file stays a plain WAV below 4 GiB and becomes RF64 past it, where a WAV's
// 32-bit sizes would wrap. The header is rewritten after every write so that a
// killed program leaves a file whose length is exact to the last block.
class WavFileEncoder : public BufferedEncoder
{
public:
    WavFileEncoder(PcmFormat format, SNDFILE *file) : BufferedEncoder(format), m_file(file)
    {
        startWriter();
    }
    ~WavFileEncoder() override { stopWriter(); }

protected:
    bool writeSamples(const int16_t *samples, size_t frames, std::string *error) override
    {
        const sf_count_t written = sf_writef_short(m_file, samples, sf_count_t(frames));
        if (written == sf_count_t(frames))
            return true;
        if (error)
            *error = tr("无法写入 WAV 文件：%1。", {sf_strerror(m_file)});
        return false;
    }

    bool closeOutput(bool, std::string *error) override
    {
        if (!m_file)
            return true;
        const int rc = sf_close(m_file);
        m_file = nullptr;
        if (rc != 0) {
            if (error)
                *error = tr("无法完成 WAV 文件：%1。", {sf_error_number(rc)});
            return false;
        }
        return true;
    }

private:
    SNDFILE *m_file;
};

} // namespace

std::unique_ptr<Encoder> startWavFileEncoder(const std::string &path, PcmFormat format,
                                             std::string *error)
{
    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        if (error)
            *error = tr("无法创建“%1”：%2。", {path, sf_strerror(nullptr)});
        return nullptr;
    }
    sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::make_unique<WavFileEncoder>(format, file);
}

} // namespace sonalto::audio
