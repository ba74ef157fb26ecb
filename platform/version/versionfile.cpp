// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a version block in a file: the program's ELF section or a PE file's RT_VERSION resource.
// Every offset and count comes from the file, so each read is checked against the file's size.

#include "platform/files/nativepath.h"
#include "platform/version/version.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorResourceTypeNotFound = 1813;
constexpr std::size_t kMaxBlock = 0xFFFF;

/// Bytes of a file or of memory, read only inside their size.
class Source {
public:
    virtual ~Source() = default;
    virtual bool read(std::uint64_t at, void* out, std::size_t n) const = 0;
    std::uint64_t size = 0;

    bool inside(std::uint64_t at, std::uint64_t n) const { return at <= size && n <= size - at; }
    bool u16(std::uint64_t at, std::uint16_t& v) const
    {
        std::uint8_t b[2];
        if (!read(at, b, 2))
            return false;
        v = std::uint16_t(b[0] | b[1] << 8);
        return true;
    }
    bool u32(std::uint64_t at, std::uint32_t& v) const
    {
        std::uint8_t b[4];
        if (!read(at, b, 4))
            return false;
        v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
        return true;
    }
    bool u64(std::uint64_t at, std::uint64_t& v) const
    {
        std::uint32_t lo, hi;
        if (!u32(at, lo) || !u32(at + 4, hi))
            return false;
        v = std::uint64_t(hi) << 32 | lo;
        return true;
    }
};

class MemorySource : public Source {
public:
    MemorySource(const std::uint8_t* data, std::size_t n) : data_(data) { size = n; }
    bool read(std::uint64_t at, void* out, std::size_t n) const override
    {
        if (!inside(at, n))
            return false;
        std::memcpy(out, data_ + at, n);
        return true;
    }

private:
    const std::uint8_t* data_;
};

class FileSource : public Source {
public:
    explicit FileSource(int fd) : fd_(fd)
    {
        struct stat st;
        if (fstat(fd, &st) == 0 && st.st_size > 0)
            size = std::uint64_t(st.st_size);
    }
    bool read(std::uint64_t at, void* out, std::size_t n) const override
    {
        if (!inside(at, n))
            return false;
        auto* p = static_cast<char*>(out);
        while (n > 0) {
            ssize_t got = pread(fd_, p, n, off_t(at));
            if (got <= 0)
                return false; // a file that shrank under us reads as damaged
            p += got;
            at += std::uint64_t(got);
            n -= std::size_t(got);
        }
        return true;
    }

private:
    int fd_;
};

struct Found {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

bool findInElf(const Source& s, Found& found)
{
    std::uint8_t ident[6];
    if (!s.read(0, ident, 6) ||
        std::memcmp(ident,
                    "\x7f"
                    "ELF",
                    4) != 0 ||
        ident[5] != 1)
        return false; // not ELF, or big-endian (no program of ours)
    const bool is64 = ident[4] == 2;
    if (!is64 && ident[4] != 1)
        return false;
    std::uint64_t shoff = 0;
    std::uint16_t shentsize = 0, shnum16 = 0, shstrndx16 = 0;
    if (is64) {
        if (!s.u64(0x28, shoff) || !s.u16(0x3A, shentsize) || !s.u16(0x3C, shnum16) || !s.u16(0x3E, shstrndx16))
            return false;
    } else {
        std::uint32_t off32 = 0;
        if (!s.u32(0x20, off32) || !s.u16(0x2E, shentsize) || !s.u16(0x30, shnum16) || !s.u16(0x32, shstrndx16))
            return false;
        shoff = off32;
    }
    const std::uint64_t minEntry = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < minEntry)
        return false;
    auto sectionField = [&](std::uint64_t index, int field, std::uint64_t& v) {
        // field: 0 name, 1 type, 2 offset, 3 size, 4 link
        static const int off64[] = {0, 4, 24, 32, 40};
        static const int off32[] = {0, 4, 16, 20, 24};
        if (index > (s.size / shentsize))
            return false; // keeps the multiplication below from overflowing
        std::uint64_t at = shoff + index * shentsize + std::uint64_t(is64 ? off64[field] : off32[field]);
        if (at < shoff)
            return false;
        if (is64 && (field == 2 || field == 3))
            return s.u64(at, v);
        std::uint32_t v32 = 0;
        if (!s.u32(at, v32))
            return false;
        v = v32;
        return true;
    };
    std::uint64_t shnum = shnum16, shstrndx = shstrndx16;
    if (shnum == 0 && !sectionField(0, 3, shnum)) // more sections than fit the header: count in section 0
        return false;
    if (shstrndx16 == 0xFFFF && !sectionField(0, 4, shstrndx))
        return false;
    if (shnum > s.size / shentsize || shstrndx >= shnum)
        return false;
    std::uint64_t strOff = 0, strSize = 0;
    if (!sectionField(shstrndx, 2, strOff) || !sectionField(shstrndx, 3, strSize) || !s.inside(strOff, strSize))
        return false;
    const std::size_t nameLen = std::strlen(kVersionSectionName) + 1;
    for (std::uint64_t i = 1; i < shnum; ++i) {
        std::uint64_t name = 0, type = 0, off = 0, size = 0;
        if (!sectionField(i, 0, name) || !sectionField(i, 1, type))
            return false;
        if (type == 8 || name >= strSize || strSize - name < nameLen)
            continue; // SHT_NOBITS holds nothing in the file; a name off the table is not ours
        char buf[32];
        if (!s.read(strOff + name, buf, nameLen) || std::memcmp(buf, kVersionSectionName, nameLen) != 0)
            continue;
        if (!sectionField(i, 2, off) || !sectionField(i, 3, size) || !s.inside(off, size))
            return false;
        found.offset = off;
        found.length = size;
        return true;
    }
    return false;
}

/// File offset of n bytes at a relative virtual address, through the section table.
bool rvaToOffset(const Source& s, std::uint64_t sections, std::uint16_t count, std::uint32_t rva, std::uint32_t n,
                 std::uint64_t& off)
{
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint64_t at = sections + std::uint64_t(i) * 40;
        std::uint32_t va = 0, rawSize = 0, rawPtr = 0;
        if (!s.u32(at + 12, va) || !s.u32(at + 16, rawSize) || !s.u32(at + 20, rawPtr))
            return false;
        if (rva < va || rva - va >= rawSize)
            continue;
        if (n > rawSize - (rva - va))
            return false; // runs past the section's data
        off = std::uint64_t(rawPtr) + (rva - va);
        return s.inside(off, n);
    }
    return false;
}

bool findInPe(const Source& s, Found& found)
{
    std::uint16_t mz = 0;
    std::uint32_t lfanew = 0, sig = 0;
    if (!s.u16(0, mz) || mz != 0x5A4D || !s.u32(0x3C, lfanew) || !s.u32(lfanew, sig) || sig != 0x00004550)
        return false;
    const std::uint64_t coff = std::uint64_t(lfanew) + 4;
    std::uint16_t nsections = 0, optSize = 0, magic = 0;
    if (!s.u16(coff + 2, nsections) || !s.u16(coff + 16, optSize))
        return false;
    const std::uint64_t opt = coff + 20;
    if (!s.u16(opt, magic))
        return false;
    std::uint64_t countAt = 0;
    if (magic == 0x10B)
        countAt = opt + 92;
    else if (magic == 0x20B)
        countAt = opt + 108;
    else
        return false;
    std::uint32_t dirCount = 0, rsrcRva = 0, rsrcSize = 0;
    const std::uint64_t rsrcEntry = countAt + 4 + 2 * 8;
    if (!s.u32(countAt, dirCount) || dirCount <= 2 || rsrcEntry + 8 > opt + optSize)
        return false;
    if (!s.u32(rsrcEntry, rsrcRva) || !s.u32(rsrcEntry + 4, rsrcSize) || rsrcRva == 0)
        return false;
    const std::uint64_t sections = opt + optSize;
    std::uint64_t base = 0;
    if (!rvaToOffset(s, sections, nsections, rsrcRva, 16, base))
        return false;

    // The resource tree: type, then name, then language. Each level is entered once, so a directory
    // that points back at itself cannot make this loop.
    auto entryAt = [&](std::uint32_t dirOffset, bool wantId, std::uint32_t id, bool wantSubdir, std::uint32_t& target) {
        std::uint64_t dir = 0;
        if (std::uint64_t(dirOffset) + 16 > rsrcSize ||
            !rvaToOffset(s, sections, nsections, rsrcRva + dirOffset, 16, dir))
            return false;
        std::uint16_t named = 0, ids = 0;
        if (!s.u16(dir + 12, named) || !s.u16(dir + 14, ids))
            return false;
        const std::uint32_t count = std::uint32_t(named) + ids;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t name = 0, data = 0;
            const std::uint64_t e = dir + 16 + std::uint64_t(i) * 8;
            if (!s.u32(e, name) || !s.u32(e + 4, data))
                return false;
            if (wantId && name != id)
                continue;
            if (bool(data & 0x80000000u) != wantSubdir)
                continue;
            target = data & 0x7FFFFFFFu;
            return true;
        }
        return false;
    };
    std::uint32_t names = 0, langs = 0, dataEntry = 0;
    if (!entryAt(0, true, 16, true, names) || !entryAt(names, false, 0, true, langs) ||
        !entryAt(langs, false, 0, false, dataEntry))
        return false;
    std::uint64_t entry = 0;
    std::uint32_t dataRva = 0, dataSize = 0;
    if (std::uint64_t(dataEntry) + 16 > rsrcSize ||
        !rvaToOffset(s, sections, nsections, rsrcRva + dataEntry, 16, entry) || !s.u32(entry, dataRva) ||
        !s.u32(entry + 4, dataSize))
        return false;
    std::uint64_t off = 0;
    if (!rvaToOffset(s, sections, nsections, dataRva, dataSize, off))
        return false;
    found.offset = off;
    found.length = dataSize;
    return true;
}

bool locate(const Source& s, Found& found)
{
    return findInElf(s, found) || findInPe(s, found);
}

/// How the program's own file is named when no drive holds it (a program run from a build folder
/// while the drive table is replaced): it must still find its own version block.
const std::string kModulePrefix = "\\\\?\\";

std::string moduleNativePath()
{
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || std::size_t(n) >= buf.size())
        return {};
    return std::string(buf.data(), std::size_t(n));
}

/// The block bytes of a file: false (last error set) when it has none.
bool readBlock(const std::string& filename, std::vector<std::uint8_t>& bytes)
{
    if (filename.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    int fd = -1;
    if (filename.compare(0, kModulePrefix.size(), kModulePrefix) == 0) {
        // The running program outside every drive: only its own file is reachable this way.
        if (filename.substr(kModulePrefix.size()) != moduleNativePath()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return false;
        }
        fd = ::open(moduleNativePath().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            SetLastError(ERROR_FILE_NOT_FOUND);
    } else {
        fd = openRegularFile(filename);
    }
    if (fd < 0)
        return false;
    FileSource s(fd);
    Found found;
    bool ok = locate(s, found) && found.length >= 6;
    if (ok) {
        bytes.resize(std::size_t(found.length < kMaxBlock ? found.length : kMaxBlock));
        ok = s.read(found.offset, bytes.data(), bytes.size());
    }
    ::close(fd);
    if (!ok)
        SetLastError(kErrorResourceTypeNotFound);
    return ok;
}

} // namespace

bool findVersionBlock(const std::uint8_t* image, std::size_t size, std::size_t* offset, std::size_t* length)
{
    if (!image || !offset || !length)
        return false;
    MemorySource s(image, size);
    Found found;
    if (!locate(s, found))
        return false;
    *offset = std::size_t(found.offset);
    *length = std::size_t(found.length);
    return true;
}

DWORD GetFileVersionInfoSize(const std::string& filename, DWORD* handle)
{
    if (handle)
        *handle = 0;
    std::vector<std::uint8_t> bytes;
    if (!readBlock(filename, bytes))
        return 0;
    return versionInfoBufferSize(bytes.size());
}

BOOL GetFileVersionInfo(const std::string& filename, DWORD /*handle*/, DWORD len, void* data)
{
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    std::vector<std::uint8_t> bytes;
    if (!readBlock(filename, bytes))
        return FALSE_;
    return loadVersionBlock(bytes.data(), bytes.size(), data, len) ? TRUE_ : FALSE_;
}

DWORD GetModuleFileName(HANDLE module, char* filename, DWORD size)
{
    if (module != nullptr || !filename || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string native = moduleNativePath();
    if (native.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    std::string path = drivePathOf(native);
    if (path.empty())
        path = kModulePrefix + native;
    if (path.size() >= size) {
        std::memcpy(filename, path.data(), size - 1);
        filename[size - 1] = 0;
        SetLastError(kErrorInsufficientBuffer);
        return size;
    }
    std::memcpy(filename, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return DWORD(path.size());
}

} // namespace platform
