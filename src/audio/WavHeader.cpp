#include "audio/WavHeader.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace sonalto::audio {

namespace {

// Chunks before the audio are few (fmt, fact, LIST, bext...); a file that needs
// more is not read further.
constexpr int MaxChunks = 64;

uint32_t le32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const unsigned char *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint64_t le64(const unsigned char *p)
{
    return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32;
}

struct FileCloser
{
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool readExact(std::FILE *f, unsigned char *out, size_t n)
{
    return std::fread(out, 1, n, f) == n;
}

} // namespace

bool looksLikeWav(const std::string &path)
{
    File f(std::fopen(path.c_str(), "rb"));
    unsigned char head[12];
    if (!f || !readExact(f.get(), head, sizeof head))
        return false;
    return (std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0) &&
           std::memcmp(head + 8, "WAVE", 4) == 0;
}

std::optional<WavLayout> readWavLayout(const std::string &path)
{
    File f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return std::nullopt;
    struct stat st
    {
    };
    if (fstat(fileno(f.get()), &st) != 0)
        return std::nullopt;
    const uint64_t fileSize = uint64_t(st.st_size);

    unsigned char head[12];
    if (!readExact(f.get(), head, sizeof head) || std::memcmp(head + 8, "WAVE", 4) != 0)
        return std::nullopt;
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (!rf64 && std::memcmp(head, "RIFF", 4) != 0)
        return std::nullopt;

    uint64_t offset = 12;
    uint64_t rf64DataSize = 0;
    bool haveFormat = false;
    uint16_t formatTag = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t sampleRate = 0, byteRate = 0;
    for (int chunk = 0; chunk < MaxChunks; ++chunk) {
        unsigned char hdr[8];
        if (std::fseek(f.get(), long(offset), SEEK_SET) != 0 || !readExact(f.get(), hdr, 8))
            return std::nullopt;
        const uint64_t size = le32(hdr + 4);
        const uint64_t body = offset + 8;
        if (std::memcmp(hdr, "ds64", 4) == 0) {
            unsigned char ds[24];
            if (size < 24 || !readExact(f.get(), ds, sizeof ds))
                return std::nullopt;
            rf64DataSize = le64(ds + 8);
        } else if (std::memcmp(hdr, "fmt ", 4) == 0) {
            // The extensible format names the real one in the first two bytes
            // of its subformat.
            unsigned char fmt[26] = {};
            if (size < 16 || !readExact(f.get(), fmt, size >= 26 ? 26 : 16))
                return std::nullopt;
            formatTag = le16(fmt);
            if (formatTag == 0xFFFE)
                formatTag = size >= 26 ? le16(fmt + 24) : 0;
            channels = le16(fmt + 2);
            sampleRate = le32(fmt + 4);
            byteRate = le32(fmt + 8);
            blockAlign = le16(fmt + 12);
            bits = le16(fmt + 14);
            haveFormat = true;
        } else if (std::memcmp(hdr, "data", 4) == 0) {
            if (!haveFormat || sampleRate == 0)
                return std::nullopt;
            WavLayout layout;
            layout.dataOffset = body;
            const uint64_t present = fileSize > body ? fileSize - body : 0;
            uint64_t stated = rf64 && size == 0xFFFFFFFF ? rf64DataSize : size;
            // A writer that never came back to fill in the size leaves 0 or the
            // largest value: then the audio runs to the end of the file.
            if (stated == 0 || stated == 0xFFFFFFFF)
                stated = present;
            layout.dataBytes = std::min(stated, present);
            const bool plain = formatTag == 1 || formatTag == 3;
            layout.exact = plain && channels > 0 && bits > 0 && bits % 8 == 0 && bits <= 64 &&
                           blockAlign == uint32_t(channels) * (bits / 8) &&
                           byteRate == uint64_t(sampleRate) * blockAlign;
            if (plain && blockAlign > 0)
                layout.seconds = double(layout.dataBytes / blockAlign) / sampleRate;
            else if (byteRate > 0)
                layout.seconds = double(layout.dataBytes) / byteRate;
            else
                return std::nullopt;
            return layout;
        }
        offset = body + size + (size & 1);
        if (offset >= fileSize)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace sonalto::audio
