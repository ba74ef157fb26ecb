// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sounddecoder.h"

#include "platform/files/files.h"
#include "platform/files/nativepath.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <pulse/sample.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
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

// The sources below keep their own read position; seeking only moves it.
class PositionedSource : public ByteSource {
public:
    std::int64_t seek(std::int64_t offset, int whence) override
    {
        // The decoder seeks by sizes read from the file (an RF64 size may be near 2^63): a target
        // beyond what a position can hold is no place to go.
        const std::int64_t base = whence == SEEK_CUR ? pos_ : whence == SEEK_END ? size() : 0;
        std::int64_t target = 0;
        if (__builtin_add_overflow(base, offset, &target) || target < 0)
            return -1;
        pos_ = target;
        return pos_;
    }
    std::int64_t tell() override { return pos_; }

protected:
    std::int64_t pos_ = 0;
};

class MemorySource : public PositionedSource {
public:
    explicit MemorySource(SoundImage image) : image_(std::move(image)) {}
    std::int64_t size() override { return std::int64_t(image_.size); }
    std::int64_t read(void* buffer, std::int64_t count) override
    {
        if (count <= 0 || pos_ >= size())
            return 0;
        std::int64_t n = std::min(count, size() - pos_);
        std::memcpy(buffer, image_.bytes.get() + pos_, std::size_t(n));
        pos_ += n;
        return n;
    }

private:
    SoundImage image_;
};

// A wave file read piecewise from the descriptor opened for it, so a long file starts without being
// read whole and goes on playing what was opened whatever happens to its name. Small reads, as the
// decoder makes them, are served from a block read ahead.
class FileSource : public PositionedSource {
public:
    FileSource(int fd, std::int64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    std::int64_t size() override { return size_; }
    std::int64_t read(void* buffer, std::int64_t count) override
    {
        char* out = static_cast<char*>(buffer);
        std::int64_t total = 0;
        while (total < count) {
            if (pos_ >= blockStart_ && pos_ < blockStart_ + blockLen_) {
                const std::int64_t n = std::min(count - total, blockStart_ + blockLen_ - pos_);
                std::memcpy(out + total, block_.get() + (pos_ - blockStart_), std::size_t(n));
                total += n;
                pos_ += n;
                continue;
            }
            if (count - total >= kBlock) {
                const std::int64_t n = readAt(out + total, count - total, pos_);
                if (n <= 0)
                    break;
                total += n;
                pos_ += n;
                continue;
            }
            if (!block_)
                block_.reset(new char[kBlock]);
            // A file cut short while it plays just ends here: a read past its end gives nothing.
            const std::int64_t n = readAt(block_.get(), kBlock, pos_);
            blockStart_ = pos_;
            blockLen_ = std::max<std::int64_t>(n, 0);
            if (n <= 0)
                break;
        }
        return total;
    }

private:
    static constexpr std::int64_t kBlock = 64 * 1024;

    std::int64_t readAt(char* out, std::int64_t count, std::int64_t offset)
    {
        for (;;) {
            const ssize_t n = ::pread(fd_, out, std::size_t(count), off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            return n;
        }
    }

    int fd_;
    std::int64_t size_;
    std::unique_ptr<char[]> block_;
    std::int64_t blockStart_ = 0;
    std::int64_t blockLen_ = 0;
};

// A stretch of another source, seen as a whole file: the samples of a wave libsndfile refuses.
class WindowSource : public PositionedSource {
public:
    WindowSource(std::unique_ptr<ByteSource> inner, std::int64_t offset, std::int64_t length)
        : inner_(std::move(inner)), offset_(offset), length_(length)
    {
    }
    std::int64_t size() override { return length_; }
    std::int64_t read(void* buffer, std::int64_t count) override
    {
        count = std::min(count, length_ - pos_);
        std::int64_t at = 0;
        if (count <= 0 || __builtin_add_overflow(offset_, pos_, &at) || inner_->seek(at, SEEK_SET) < 0)
            return 0;
        const std::int64_t n = inner_->read(buffer, count);
        pos_ += std::max<std::int64_t>(n, 0);
        return n;
    }

private:
    std::unique_ptr<ByteSource> inner_;
    std::int64_t offset_;
    std::int64_t length_;
};

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

/// What the header walk of the wave list finds: the first RIFF/WAVE chunk, its first format chunk
/// and the first data chunk after that.
struct WalkedWave {
    unsigned tag = 0, channels = 0, rate = 0, bits = 0;
    std::int64_t dataOffset = 0, dataSize = 0;
};

// Finds the chunk `id` from `at` on, before `end`; its header offset, or -1. A bounded number of
// steps: this runs only for files libsndfile refused, which may be anything.
std::int64_t findChunk(ByteSource& s, std::int64_t at, std::int64_t end, const char* id, unsigned char head[12])
{
    for (int step = 0; step < 4096 && at + 8 <= end; ++step) {
        if (s.seek(at, SEEK_SET) != at || s.read(head, 12) < 8)
            return -1;
        if (std::memcmp(head, id, 4) == 0)
            return at;
        const std::uint32_t size = le32(head + 4);
        at += 8 + std::int64_t(size) + (size & 1);
    }
    return -1;
}

bool walkHeader(ByteSource& s, WalkedWave& w)
{
    const std::int64_t fileSize = s.size();
    unsigned char head[20];
    std::int64_t riff = 0;
    for (;;) {
        riff = findChunk(s, riff, fileSize, "RIFF", head);
        if (riff < 0)
            return false;
        if (std::memcmp(head + 8, "WAVE", 4) == 0)
            break;
        const std::uint32_t size = le32(head + 4);
        riff += 8 + std::int64_t(size) + (size & 1);
    }
    const std::int64_t end = std::min(fileSize, riff + 8 + std::int64_t(le32(head + 4)));
    const std::int64_t fmt = findChunk(s, riff + 12, end, "fmt ", head);
    if (fmt < 0)
        return false;
    const std::uint32_t fmtSize = le32(head + 4);
    // The list reads 20 bytes of the format chunk; a file that ends sooner is no wave to it.
    if (s.seek(fmt + 8, SEEK_SET) != fmt + 8 || s.read(head, 20) != 20)
        return false;
    w.tag = unsigned(head[0] | head[1] << 8);
    w.channels = unsigned(head[2] | head[3] << 8);
    w.rate = le32(head + 4);
    w.bits = unsigned(head[14] | head[15] << 8);
    const std::int64_t data = findChunk(s, fmt + 8 + fmtSize + (fmtSize & 1), end, "data", head);
    if (data < 0)
        return false;
    w.dataOffset = data + 8;
    w.dataSize = std::min<std::int64_t>(le32(head + 4), fileSize - w.dataOffset);
    return w.dataSize >= 0;
}

// The libsndfile encoding of raw samples of a walked wave; 0 for what the fallback does not play.
int rawFormat(const WalkedWave& w)
{
    switch (w.tag) {
    case 1: // PCM: 8-bit samples are unsigned in waves, wider ones signed
        return w.bits == 8    ? SF_FORMAT_PCM_U8
               : w.bits == 16 ? SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE
               : w.bits == 24 ? SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE
               : w.bits == 32 ? SF_FORMAT_PCM_32 | SF_ENDIAN_LITTLE
                              : 0;
    case 3: // IEEE float
        return w.bits == 32   ? SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE
               : w.bits == 64 ? SF_FORMAT_DOUBLE | SF_ENDIAN_LITTLE
                              : 0;
    case 6:
        return w.bits == 8 ? SF_FORMAT_ALAW : 0;
    case 7:
        return w.bits == 8 ? SF_FORMAT_ULAW : 0;
    default:
        return 0;
    }
}

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

/// The channel mask of the speakers libsndfile read from the header; 0 when it read none, or one
/// that a mask cannot say (ambisonics, a speaker twice).
std::uint32_t channelMaskOf(SNDFILE* file, int channels)
{
    // The speaker bit of each of libsndfile's channel names, in the order of SF_CHANNEL_MAP_*.
    static constexpr std::uint32_t kBits[] = {0,      0x4,    0x1,    0x2,    0x4,     0x1,     0x2,    0x4,
                                              0x100,  0x10,   0x20,   0x8,    0x40,    0x80,    0x200,  0x400,
                                              0x800,  0x1000, 0x4000, 0x2000, 0x8000,  0x20000, 0x10000};
    if (channels <= 0 || channels > 32)
        return 0;
    std::vector<int> map(std::size_t(channels), 0);
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), int(sizeof(int) * map.size())) != SF_TRUE)
        return 0;
    std::uint32_t mask = 0;
    for (int speaker : map) {
        const std::uint32_t bit = speaker > 0 && speaker < int(std::size(kBits)) ? kBits[speaker] : 0;
        if (bit == 0 || (mask & bit))
            return 0;
        mask |= bit;
    }
    return mask;
}

} // namespace

std::unique_ptr<ByteSource> memorySource(const SoundImage& image)
{
    return std::make_unique<MemorySource>(image);
}

std::unique_ptr<ByteSource> fileSource(const std::string& path)
{
    const int fd = openRegularFile(path);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return nullptr;
    }
    // Read ahead generously: the sound is read from start to end, and a slow disk must keep up.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<FileSource>(fd, std::int64_t(st.st_size));
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
    d->channelMask_ = channelMaskOf(file, info.channels);
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
    if (!f)
        return openFromHeaderWalk(std::move(source));
    const int container = info.format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX && container != SF_FORMAT_RF64) {
        // Only RIFF/WAVE images are sounds here; other containers libsndfile knows are not.
        sf_close(f);
        return nullptr;
    }
    return wrap(f, std::move(source));
}

std::unique_ptr<Decoder> Decoder::openFromHeaderWalk(std::unique_ptr<ByteSource> source)
{
    // libsndfile is strict where the wave list is not: a second data or format chunk makes it refuse
    // a file the list shows as a plain wave. Such a file plays what the list describes.
    WalkedWave w;
    if (!walkHeader(*source, w))
        return nullptr;
    const int encoding = rawFormat(w);
    if (encoding == 0 || w.channels < 1 || w.channels > PA_CHANNELS_MAX || w.rate < 1 || w.rate > PA_RATE_MAX)
        return nullptr;
    auto window = std::make_unique<WindowSource>(std::move(source), w.dataOffset, w.dataSize);
    SF_VIRTUAL_IO io = virtualIo();
    SF_INFO info{};
    info.format = SF_FORMAT_RAW | encoding;
    info.channels = int(w.channels);
    info.samplerate = int(w.rate);
    SNDFILE* f = sf_open_virtual(&io, SFM_READ, &info, window.get());
    return wrap(f, std::move(window));
}

bool Decoder::seekSeconds(double seconds)
{
    // Clamped before it is made a whole number: a time past the end goes to the end.
    const double wanted = std::isfinite(seconds) && seconds > 0 ? seconds * rate_ : 0.0;
    const std::int64_t frame = wanted >= double(frames_) ? frames_ : std::int64_t(std::llround(wanted));
    if (sf_seek(file_, frame, SEEK_SET) < 0)
        return false;
    position_ = frame;
    return true;
}

void Decoder::setLoop(const SoundLoop& loop)
{
    loop_ = !loop.empty() && loop.start >= 0 && loop.end <= frames_ ? loop : SoundLoop{};
}

double Decoder::placeAfter(double startSeconds, double playedSeconds, bool loop) const
{
    const double length = seconds();
    const double at = startSeconds + playedSeconds;
    if (length <= 0)
        return at;
    if (!loop)
        return std::min(at, length);
    if (loop_.empty())
        return at < length ? at : std::fmod(at, length);
    const double from = double(loop_.start) / rate_, to = double(loop_.end) / rate_;
    // A sound started past the loop plays to its end first, then comes round to the loop.
    const double firstPassEnd = startSeconds >= to ? length : to;
    return at < firstPassEnd ? at : from + std::fmod(at - firstPassEnd, to - from);
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
        sf_count_t want = sf_count_t(frames - done);
        // Inside a loop the read stops at the loop's end, so the join is exact to the sample.
        if (loop && !loop_.empty() && position_ <= loop_.end)
            want = std::min<sf_count_t>(want, loop_.end - position_);
        const sf_count_t n = sf_readf_float(file_, out + done * std::size_t(channels_), want);
        if (n > 0) {
            done += std::size_t(n);
            position_ += n;
            rewound = false;
            continue;
        }
        // A second empty pass in a row means there is nothing to repeat.
        const std::int64_t again = loop_.empty() ? 0 : loop_.start;
        if (!loop || rewound || sf_seek(file_, again, SEEK_SET) < 0)
            break;
        position_ = again;
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
