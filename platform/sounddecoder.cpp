#include "platform/sounddecoder.h"

#include "platform/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <pulse/sample.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::sound_detail {

namespace {

/// Float files may hold anything; the server expects finite samples in range. Four at a time and
/// without branches, since every sample of every sound passes here.
void clampSamples(float* p, std::size_t n)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 low = _mm_set1_ps(-1.0f), high = _mm_set1_ps(1.0f);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 infinity = _mm_set1_ps(std::numeric_limits<float>::infinity());
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(p + i);
        // False for NaN and both infinities, which become silence.
        const __m128 finite = _mm_cmplt_ps(_mm_and_ps(v, magnitude), infinity);
        _mm_storeu_ps(p + i, _mm_and_ps(_mm_min_ps(_mm_max_ps(v, low), high), finite));
    }
#endif
    for (; i < n; ++i) {
        const float v = p[i];
        p[i] = std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
    }
}

class MemorySource : public ByteSource {
public:
    explicit MemorySource(SoundImage image) : image_(std::move(image)) {}
    std::int64_t size() override { return std::int64_t(image_.size); }
    std::int64_t seek(std::int64_t offset, int whence) override
    {
        std::int64_t base = whence == SEEK_CUR ? pos_ : whence == SEEK_END ? size() : 0;
        std::int64_t to = base + offset;
        if (to < 0)
            return -1;
        pos_ = to;
        return pos_;
    }
    std::int64_t read(void* buffer, std::int64_t count) override
    {
        if (count <= 0 || pos_ >= size())
            return 0;
        std::int64_t n = std::min(count, size() - pos_);
        std::memcpy(buffer, image_.bytes.get() + pos_, std::size_t(n));
        pos_ += n;
        return n;
    }
    std::int64_t tell() override { return pos_; }

private:
    SoundImage image_;
    std::int64_t pos_ = 0;
};

// A wave file read piecewise through the file calls, so a long file starts without being read whole.
class FileSource : public ByteSource {
public:
    FileSource(HANDLE h, std::int64_t size) : handle_(h), size_(size) {}
    ~FileSource() override { CloseHandle(handle_); }
    std::int64_t size() override { return size_; }
    std::int64_t seek(std::int64_t offset, int whence) override
    {
        std::int64_t base = whence == SEEK_CUR ? pos_ : whence == SEEK_END ? size_ : 0;
        std::int64_t to = base + offset;
        if (to < 0)
            return -1;
        pos_ = to;
        return pos_;
    }
    std::int64_t read(void* buffer, std::int64_t count) override
    {
        if (count <= 0 || pos_ >= size_)
            return 0;
        if (pos_ != filePos_) {
            LONG high = LONG(pos_ >> 32);
            if (SetFilePointer(handle_, LONG(std::uint32_t(pos_)), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
                GetLastError() != ERROR_SUCCESS)
                return 0;
            filePos_ = pos_;
        }
        char* out = static_cast<char*>(buffer);
        std::int64_t total = 0;
        while (total < count) {
            DWORD want = DWORD(std::min<std::int64_t>(count - total, 1 << 30));
            DWORD got = 0;
            if (!ReadFile(handle_, out + total, want, &got, nullptr) || got == 0)
                break;
            total += got;
        }
        pos_ += total;
        filePos_ = pos_;
        return total;
    }
    std::int64_t tell() override { return pos_; }

private:
    HANDLE handle_;
    std::int64_t size_;
    std::int64_t pos_ = 0;
    std::int64_t filePos_ = 0;
};

ByteSource* src(void* user)
{
    return static_cast<ByteSource*>(user);
}

SF_VIRTUAL_IO virtualIo()
{
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* u) -> sf_count_t { return src(u)->size(); };
    io.seek = [](sf_count_t off, int whence, void* u) -> sf_count_t { return src(u)->seek(off, whence); };
    io.read = [](void* p, sf_count_t n, void* u) -> sf_count_t { return src(u)->read(p, n); };
    io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    io.tell = [](void* u) -> sf_count_t { return src(u)->tell(); };
    return io;
}

void put16(std::string& s, unsigned v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}

void put32(std::string& s, unsigned v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

std::vector<std::string> soundThemeDirs()
{
    std::vector<std::string> dirs;
    if (const char* home = std::getenv("XDG_DATA_HOME"); home && *home)
        dirs.push_back(home);
    else if (const char* h = std::getenv("HOME"); h && *h)
        dirs.push_back(std::string(h) + "/.local/share");
    std::string sys = std::getenv("XDG_DATA_DIRS") && *std::getenv("XDG_DATA_DIRS") ? std::getenv("XDG_DATA_DIRS")
                                                                                    : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= sys.size()) {
        std::size_t end = sys.find(':', start);
        if (end == std::string::npos)
            end = sys.size();
        if (end > start)
            dirs.push_back(sys.substr(start, end - start));
        start = end + 1;
    }
    return dirs;
}

} // namespace

std::unique_ptr<ByteSource> memorySource(const SoundImage& image)
{
    return std::make_unique<MemorySource>(image);
}

std::unique_ptr<ByteSource> fileSource(const std::string& path)
{
    HANDLE h = CreateFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0x21, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD high = 0;
    DWORD low = GetFileSize(h, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<FileSource>(h, (std::int64_t(high) << 32) | low);
}

Decoder::~Decoder()
{
    if (file_)
        sf_close(file_);
}

std::unique_ptr<Decoder> Decoder::wrap(SNDFILE* file, std::unique_ptr<ByteSource> source)
{
    if (!file)
        return nullptr;
    SF_INFO info{};
    sf_command(file, SFC_GET_CURRENT_SF_INFO, &info, sizeof info);
    std::unique_ptr<Decoder> d(new Decoder);
    d->file_ = file;
    d->source_ = std::move(source);
    d->channels_ = info.channels;
    d->rate_ = info.samplerate;
    d->frames_ = info.frames;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_GSM610:
        // Integers scaled to floats: always finite and in range, so the samples need no second look.
        d->mayLeaveRange_ = false;
        break;
    default:
        break;
    }
    // The server refuses these; better to say so now than to fail later on the sound thread.
    if (info.channels < 1 || unsigned(info.channels) > PA_CHANNELS_MAX || info.samplerate < 1 ||
        unsigned(info.samplerate) > PA_RATE_MAX)
        return nullptr;
    return d;
}

std::unique_ptr<Decoder> Decoder::open(std::unique_ptr<ByteSource> source)
{
    if (!source)
        return nullptr;
    SF_VIRTUAL_IO io = virtualIo();
    SF_INFO info{};
    SNDFILE* f = sf_open_virtual(&io, SFM_READ, &info, source.get());
    const int container = info.format & SF_FORMAT_TYPEMASK;
    if (f && container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX && container != SF_FORMAT_RF64) {
        // Only RIFF/WAVE images are sounds here; other containers libsndfile knows are not.
        sf_close(f);
        return nullptr;
    }
    return wrap(f, std::move(source));
}

std::unique_ptr<Decoder> Decoder::defaultSound()
{
    for (const std::string& dir : soundThemeDirs()) {
        for (const char* name : {"bell.oga", "bell.ogg", "bell.wav"}) {
            std::string path = dir + "/sounds/freedesktop/stereo/" + name;
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            SF_INFO info{};
            if (auto d = wrap(sf_open(path.c_str(), SFM_READ, &info), nullptr))
                return d;
        }
    }
    return open(memorySource(builtinTone()));
}

std::size_t Decoder::read(float* out, std::size_t frames, bool loop)
{
    std::size_t done = 0;
    bool rewound = false;
    while (done < frames) {
        sf_count_t n = sf_readf_float(file_, out + done * std::size_t(channels_), sf_count_t(frames - done));
        if (n > 0) {
            done += std::size_t(n);
            rewound = false;
            continue;
        }
        // A second empty pass in a row means there is nothing to repeat.
        if (!loop || rewound || sf_seek(file_, 0, SEEK_SET) < 0)
            break;
        rewound = true;
    }
    if (mayLeaveRange_)
        clampSamples(out, done * std::size_t(channels_));
    return done;
}

SoundImage builtinTone()
{
    constexpr int rate = 44100;
    constexpr int frames = rate * 18 / 100;
    std::string s = "RIFF";
    put32(s, 4 + 26 + 12 + 8 + frames * 4);
    s += "WAVEfmt ";
    put32(s, 18);
    put16(s, 3); // IEEE float
    put16(s, 1);
    put32(s, rate);
    put32(s, rate * 4);
    put16(s, 4);
    put16(s, 32);
    put16(s, 0);
    s += "fact";
    put32(s, 4);
    put32(s, frames);
    s += "data";
    put32(s, frames * 4);
    for (int i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        double env = std::exp(-t * 18.0) * std::min(1.0, t * 400.0);
        float v = float(0.4 * env * std::sin(2 * M_PI * 880.0 * t));
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        put32(s, bits);
    }
    std::shared_ptr<char[]> bytes(new char[s.size()]);
    std::memcpy(bytes.get(), s.data(), s.size());
    return SoundImage{bytes, s.size()};
}

} // namespace platform::sound_detail
