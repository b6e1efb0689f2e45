#include "audio/AudioText.h"
#include "audio/BufferedEncoder.h"
#include "audio/Encoders.h"

#include <sndfile.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sonalto::audio {

namespace {

// Why the last libsndfile call failed: the system's reason where there is one
// (a full disk, a file grown too large), else libsndfile's.
std::string sndfileErrorText(int systemError, int sndfileError)
{
    if (systemError != 0)
        return systemErrorText(systemError);
    return AudioText::tr("WAV 库错误（%1）", {sf_error_number(sndfileError)});
}

// 16-bit PCM through libsndfile. Written as RF64 with automatic downgrade: the
// file stays a plain WAV below 4 GiB and becomes RF64 past it, where a WAV's
// 32-bit sizes would wrap. The header is rewritten after every write so that a
// killed program leaves a file whose length is exact to the last block.
class WavFileEncoder : public BufferedEncoder
{
public:
    WavFileEncoder(PcmFormat format, SNDFILE *file, int fd)
        : BufferedEncoder(format), m_file(file), m_fd(fd)
    {
        startWriter();
    }
    ~WavFileEncoder() override { stopWriter(); }

protected:
    bool writeSamples(const int16_t *samples, size_t frames, std::string *error) override
    {
        errno = 0;
        const sf_count_t written = sf_writef_short(m_file, samples, sf_count_t(frames));
        if (written == sf_count_t(frames))
            return true;
        const int systemError = errno;
        if (error)
            *error = AudioText::tr("无法写入 WAV 文件：%1。",
                                   {sndfileErrorText(systemError, sf_error(m_file))});
        return false;
    }

    bool closeOutput(bool, std::string *error) override
    {
        if (!m_file)
            return true;
        errno = 0;
        const int rc = sf_close(m_file);
        int systemError = rc != 0 ? errno : 0;
        m_file = nullptr;
        // The file is ours to close: a late write error (a full network disk) shows here.
        const bool closed = ::close(m_fd) == 0 || errno == EINTR;
        if (!closed && rc == 0)
            systemError = errno;
        m_fd = -1;
        if (rc != 0 || !closed) {
            if (error)
                *error =
                    AudioText::tr("无法完成 WAV 文件：%1。", {sndfileErrorText(systemError, rc)});
            return false;
        }
        return true;
    }

private:
    SNDFILE *m_file;
    int m_fd;
};

// Opens the folder of `path` and sets *name to the file's name in it; -1 with
// errno when it cannot. A path longer than the system takes in one piece (4 KiB)
// is walked one folder at a time.
int openFolderOf(const std::string &path, std::string *name)
{
    const size_t slash = path.rfind('/');
    *name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    const int whole = ::open(folder.c_str(), flags);
    if (whole >= 0 || errno != ENAMETOOLONG)
        return whole;
    int dir = ::open(folder[0] == '/' ? "/" : ".", flags);
    for (size_t start = 0; dir >= 0 && start < folder.size();) {
        const size_t end = folder.find('/', start);
        const std::string part = folder.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        const int next = ::openat(dir, part.c_str(), flags);
        const int err = errno;
        ::close(dir);
        dir = next;
        errno = err;
    }
    return dir;
}

} // namespace

std::unique_ptr<Encoder> startWavFileEncoder(const std::string &path, PcmFormat format,
                                             std::string *error)
{
    auto fail = [&](const std::string &why) -> std::unique_ptr<Encoder> {
        if (error)
            *error = AudioText::tr("无法创建“%1”：%2。", {path, why});
        return nullptr;
    };
    // The file is opened here and handed to libsndfile, which takes no name
    // longer than about 1 KiB itself.
    std::string name;
    const int dir = openFolderOf(path, &name);
    if (dir < 0)
        return fail(systemErrorText(errno));
    const int fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int openError = errno;
    if (fd < 0) {
        ::close(dir);
        return fail(systemErrorText(openError));
    }
    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    errno = 0;
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        const int systemError = errno;
        ::close(fd);
        ::unlinkat(dir, name.c_str(), 0);
        ::close(dir);
        return fail(sndfileErrorText(systemError, sf_error(nullptr)));
    }
    ::close(dir);
    sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::make_unique<WavFileEncoder>(format, file, fd);
}

} // namespace sonalto::audio
