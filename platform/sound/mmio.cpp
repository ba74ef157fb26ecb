// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/mmio.h"

#include "platform/files/nativepath.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The first read takes the header start of any usual wave in one call; later refills grow so that a
// walk over a long chain of tiny chunks costs few calls.
constexpr std::size_t kFirstFill = 1024;
constexpr std::size_t kMaxFill = 256 * 1024;
// Chunk data offsets are 32-bit; a chunk header that would lie beyond that is never found.
constexpr std::uint64_t kMaxOffset = 0xFFFFFFFFu;

} // namespace

struct MmioFile {
    int fd = -1; ///< -1 for a memory file, whose bytes are all in buf from the open on
    std::uint64_t pos = 0;
    // A window of the file read ahead: [bufStart, bufStart + bufLen).
    std::unique_ptr<char[]> buf;
    std::size_t cap = 0;
    std::uint64_t bufStart = 0;
    std::size_t bufLen = 0;
    std::size_t nextFill = kFirstFill;
};

namespace {

// Reads up to count bytes at offset, and at least `minimum` unless the file ends sooner or fails.
// A short read of a regular file means its end, so the usual case costs a single call.
long long readAt(int fd, char* out, std::size_t count, std::size_t minimum, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, out + done, count - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return done > 0 ? static_cast<long long>(done) : -1;
        if (n == 0)
            break;
        done += std::size_t(n);
        if (done >= minimum)
            break;
    }
    return static_cast<long long>(done);
}

// Fills the window from offset with at least `want` bytes asked for. False when the read failed.
bool refill(MmioFile* f, std::uint64_t offset, std::size_t want)
{
    if (f->fd < 0)
        return false; // a memory file holds no more than it was opened with
    const std::size_t size = std::max(want, f->nextFill);
    if (size > f->cap) {
        f->buf.reset(new char[size]);
        f->cap = size;
    }
    f->nextFill = std::min(kMaxFill, f->nextFill * 4);
    const long long n = readAt(f->fd, f->buf.get(), size, want, offset);
    f->bufStart = offset;
    f->bufLen = n > 0 ? std::size_t(n) : 0;
    return n >= 0;
}

// Copies exactly count bytes at offset; false when the file ends sooner.
bool bytesAt(MmioFile* f, std::uint64_t offset, std::size_t count, void* out)
{
    const bool inside = offset >= f->bufStart && offset - f->bufStart + count <= f->bufLen;
    if (!inside && (!refill(f, offset, count) || f->bufLen < count))
        return false;
    std::memcpy(out, f->buf.get() + (offset - f->bufStart), count);
    return true;
}

// From a chunk boundary `at` whose 8 bytes are zero (an unnamed empty chunk), the next boundary on the same
// 8-byte grid whose bytes are not all zero, or `limit` when there is none before it. Zero-filled files
// (preallocated, or damaged) are long chains of such chunks; this crosses them at memory speed, and
// crosses holes of sparse files without reading them.
std::uint64_t skipZeroChunks(MmioFile* f, std::uint64_t at, std::uint64_t limit)
{
    while (at + 8 <= limit) {
        const bool inside = at >= f->bufStart && at - f->bufStart + 8 <= f->bufLen;
        if (!inside) {
            if (f->fd < 0)
                return limit; // a memory file ends inside its buffer
            const off_t data = ::lseek(f->fd, off_t(at), SEEK_DATA);
            if (data < 0 && errno == ENXIO)
                return limit; // nothing but a hole up to the end of the file
            if (data > off_t(at))
                at += (std::uint64_t(data) - at) & ~std::uint64_t(7);
            if (at + 8 > limit || !refill(f, at, 8) || f->bufLen < 8)
                return std::min(at, limit);
        }
        const char* p = f->buf.get() + (at - f->bufStart);
        const std::uint64_t units = std::min((f->bufLen - (at - f->bufStart)) / 8, (limit - at) / 8);
        for (std::uint64_t i = 0; i < units; ++i) {
            std::uint64_t word;
            std::memcpy(&word, p + 8 * i, 8);
            if (word != 0)
                return at + 8 * i;
        }
        at += 8 * units;
    }
    return limit;
}

DWORD le32(const unsigned char* p)
{
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}

} // namespace

FOURCC mmioStringToFOURCC(const char* text, UINT flags)
{
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; text && i < 4 && text[i]; ++i) {
        c[i] = text[i];
        if ((flags & MMIO_TOUPPER) && c[i] >= 'a' && c[i] <= 'z')
            c[i] = char(c[i] - 'a' + 'A');
    }
    return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

HMMIO mmioOpen(const char* fileName, MMIOINFO* info, DWORD flags)
{
    auto fail = [info](MMRESULT why) -> HMMIO {
        if (info)
            info->wErrorRet = why;
        return nullptr;
    };
    if (flags & (MMIO_WRITE | MMIO_READWRITE | MMIO_CREATE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return fail(MMIOERR_CANNOTWRITE);
    }
    if (info && info->fccIOProc == FOURCC_MEM) {
        if (info->cchBuffer < 0 || (!info->pchBuffer && info->cchBuffer > 0))
            return fail(MMSYSERR_INVALPARAM);
        auto* f = new MmioFile;
        f->cap = std::size_t(info->cchBuffer);
        f->buf.reset(new char[std::max<std::size_t>(f->cap, 1)]);
        if (f->cap > 0)
            std::memcpy(f->buf.get(), info->pchBuffer, f->cap);
        f->bufLen = f->cap;
        info->wErrorRet = MMSYSERR_NOERROR;
        return f;
    }
    int fd = -1;
    if (!fileName && info && info->fccIOProc == FOURCC_DOS) {
        // A file the caller opened and looked at itself: it is the mmio's from now on.
        fd = int(info->adwInfo[0]);
        if (fd < 0)
            return fail(MMSYSERR_INVALPARAM);
    } else {
        if (!fileName)
            return fail(MMSYSERR_INVALPARAM);
        fd = openRegularFile(fileName);
        if (fd < 0) {
            const DWORD err = GetLastError();
            const bool missing = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
            return fail(missing ? MMIOERR_FILENOTFOUND : MMIOERR_CANNOTOPEN);
        }
    }
    auto* f = new MmioFile;
    f->fd = fd;
    if (info)
        info->wErrorRet = MMSYSERR_NOERROR;
    return f;
}

MMRESULT mmioDescend(HMMIO f, MMCKINFO* ck, const MMCKINFO* parent, UINT flags)
{
    if (!f)
        return MMSYSERR_INVALHANDLE;
    if (!ck)
        return MMSYSERR_INVALPARAM;
    const bool search = flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
    FOURCC wantId = 0;
    FOURCC wantType = 0;
    if (flags & MMIO_FINDCHUNK) {
        wantId = ck->ckid;
    } else if (flags & MMIO_FINDRIFF) {
        wantId = FOURCC_RIFF;
        wantType = ck->fccType;
    } else if (flags & MMIO_FINDLIST) {
        wantId = FOURCC_LIST;
        wantType = ck->fccType;
    }
    // Widened so that no declared size can wrap the walk back to an earlier chunk.
    const std::uint64_t end = parent ? std::uint64_t(parent->dwDataOffset) + parent->cksize : UINT64_MAX;
    std::uint64_t at = f->pos;
    for (;;) {
        if (at + 8 > end || at + 8 > kMaxOffset)
            return MMIOERR_CHUNKNOTFOUND;
        const bool inside = at >= f->bufStart && at - f->bufStart + 8 <= f->bufLen;
        if (!inside && (!refill(f, at, 8) || f->bufLen < 8))
            return MMIOERR_CHUNKNOTFOUND;
        unsigned char head[12];
        std::memcpy(head, f->buf.get() + (at - f->bufStart), 8);
        const FOURCC id = le32(head);
        const DWORD size = le32(head + 4);
        if (!search || id == wantId) {
            const bool typed = id == FOURCC_RIFF || id == FOURCC_LIST;
            FOURCC type = 0;
            if (typed) {
                if (!bytesAt(f, at + 8, 4, head + 8))
                    return MMIOERR_CHUNKNOTFOUND;
                type = le32(head + 8);
            }
            if (!search || wantType == 0 || type == wantType) {
                ck->ckid = id;
                ck->cksize = size;
                ck->fccType = type;
                ck->dwDataOffset = DWORD(at + 8);
                ck->dwFlags = 0;
                f->pos = at + 8 + (typed ? 4 : 0);
                return MMSYSERR_NOERROR;
            }
        }
        if (id == 0 && size == 0 && wantId != 0)
            at = skipZeroChunks(f, at + 8, std::min(end, kMaxOffset));
        else
            at += 8 + std::uint64_t(size) + (size & 1);
    }
}

MMRESULT mmioAscend(HMMIO f, MMCKINFO* ck, UINT)
{
    if (!f)
        return MMSYSERR_INVALHANDLE;
    if (!ck)
        return MMSYSERR_INVALPARAM;
    f->pos = std::uint64_t(ck->dwDataOffset) + ck->cksize + (ck->cksize & 1);
    return MMSYSERR_NOERROR;
}

LONG mmioSeek(HMMIO f, LONG offset, int origin)
{
    if (!f || (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END))
        return -1;
    std::int64_t base = origin == SEEK_CUR ? std::int64_t(f->pos) : 0;
    if (origin == SEEK_END) {
        struct stat st {};
        if (f->fd >= 0 && ::fstat(f->fd, &st) != 0)
            return -1;
        base = f->fd >= 0 ? std::int64_t(st.st_size) : std::int64_t(f->bufLen);
    }
    const std::int64_t target = base + offset;
    if (target < 0 || target > std::int64_t(INT32_MAX))
        return -1;
    f->pos = std::uint64_t(target);
    return LONG(target);
}

LONG mmioRead(HMMIO f, char* buffer, LONG count)
{
    if (!f || count < 0 || (!buffer && count > 0))
        return -1;
    const std::size_t want = std::size_t(count);
    if (want == 0)
        return 0;
    const std::uint64_t pos = f->pos;
    std::size_t got = 0;
    if (pos >= f->bufStart && pos - f->bufStart < f->bufLen) {
        got = std::min(want, std::size_t(f->bufLen - (pos - f->bufStart)));
        std::memcpy(buffer, f->buf.get() + (pos - f->bufStart), got);
    }
    if (got < want && f->fd >= 0) {
        const long long n = readAt(f->fd, buffer + got, want - got, want - got, pos + got);
        if (n < 0 && got == 0)
            return -1;
        if (n > 0)
            got += std::size_t(n);
    }
    f->pos += got;
    return LONG(got);
}

MMRESULT mmioClose(HMMIO f, UINT)
{
    if (!f)
        return MMSYSERR_INVALHANDLE;
    if (f->fd >= 0)
        ::close(f->fd);
    delete f;
    return MMSYSERR_NOERROR;
}

} // namespace platform
