// SPDX-License-Identifier: GPL-3.0-or-later
// The version block parser and VerQueryValue. The block lies in a buffer laid out as
//   [block, padded to 4] ["TFU8"] [UTF-8 copies of the block's text values]
// so that text values can be handed out as NUL-terminated UTF-8 without writing on lookup.
// A text value at block offset o gets the area offset o / 2 * 3: three bytes per UTF-16 unit always
// fit, and the copies of two values never overlap.

#include "platform/version/version.h"

#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorResourceNotFound = 1813;
constexpr char kAreaMagic[4] = {'T', 'F', 'U', '8'};
// Real blocks nest three deep (root, StringFileInfo, table, string); deeper ones are refused.
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxBlock = 0xFFFF;

std::size_t align4(std::size_t v)
{
    return (v + 3) & ~std::size_t(3);
}

std::uint16_t word(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

/// One node of the block: header, key, value and the range of its children, all checked.
struct Node {
    std::size_t start = 0, end = 0;
    std::size_t keyStart = 0, keyUnits = 0;
    std::uint16_t valueLength = 0, type = 0;
    std::size_t valueStart = 0, valueBytes = 0;
    std::size_t children = 0;
};

bool readNode(const std::uint8_t* b, std::size_t limit, std::size_t at, Node& n)
{
    if (at > limit || limit - at < 6)
        return false;
    std::size_t len = word(b + at);
    if (len < 6 || len > limit - at)
        return false;
    n.start = at;
    n.end = at + len;
    n.valueLength = word(b + at + 2);
    n.type = word(b + at + 4);
    if (n.type > 1)
        return false;
    std::size_t k = at + 6;
    while (k + 2 <= n.end && word(b + k) != 0)
        k += 2;
    if (k + 2 > n.end)
        return false; // key without its terminating zero
    n.keyStart = at + 6;
    n.keyUnits = (k - n.keyStart) / 2;
    n.valueBytes = n.type == 1 ? std::size_t(n.valueLength) * 2 : n.valueLength;
    n.valueStart = align4(k + 2);
    if (n.valueBytes == 0) {
        if (n.valueStart > n.end)
            n.valueStart = n.end;
    } else if (n.valueStart > n.end || n.valueBytes > n.end - n.valueStart) {
        return false; // the value claims more than the node holds
    }
    n.children = align4(n.valueStart + n.valueBytes);
    return true;
}

/// Calls f(child) for each child; false when a child is damaged or f returns false.
template <typename F> bool forEachChild(const std::uint8_t* b, const Node& parent, F f)
{
    std::size_t at = parent.children;
    // Fewer than six bytes left can only be padding.
    while (at < parent.end && parent.end - at >= 6) {
        Node c;
        if (!readNode(b, parent.end, at, c))
            return false;
        if (!f(c))
            return false;
        at = align4(c.end); // every node is at least 6 bytes long, so this always advances
    }
    return true;
}

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

/// UTF-8 of units UTF-16 units at p, up to the first zero.
std::string utf8Of(const std::uint8_t* p, std::size_t units)
{
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = word(p + 2 * i);
        if (u == 0)
            break;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            std::uint32_t lo = word(p + 2 * (i + 1));
            if (lo >= 0xDC00 && lo < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
    }
    return out;
}

bool keyEquals(const std::uint8_t* b, const Node& n, const std::string& name)
{
    std::string key = utf8Of(b + n.keyStart, n.keyUnits);
    if (key.size() != name.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        char a = key[i], c = name[i];
        if (a >= 'a' && a <= 'z')
            a = char(a - 32);
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
        if (a != c)
            return false;
    }
    return true;
}

std::size_t areaOffset(std::size_t blockLength)
{
    return align4(blockLength) + 4;
}
std::size_t areaSize(std::size_t blockLength)
{
    return blockLength / 2 * 3 + 4;
}

/// Checks a node and everything below it, writing UTF-8 copies of text values when area is given.
bool walk(const std::uint8_t* b, const Node& n, int depth, std::uint8_t* area, std::size_t areaLen)
{
    if (depth > kMaxDepth)
        return false;
    if (area && n.type == 1 && n.valueBytes > 0) {
        std::string s = utf8Of(b + n.valueStart, n.valueLength);
        std::size_t at = n.valueStart / 2 * 3;
        if (at > areaLen || s.size() + 1 > areaLen - at)
            return false; // cannot happen by the layout; kept as a guard
        std::memcpy(area + at, s.c_str(), s.size() + 1);
    }
    return forEachChild(b, n, [&](const Node& c) { return walk(b, c, depth + 1, area, areaLen); });
}

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\') {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

} // namespace

DWORD versionInfoBufferSize(std::size_t blockBytes)
{
    if (blockBytes > kMaxBlock)
        blockBytes = kMaxBlock;
    return DWORD(areaOffset(blockBytes) + areaSize(blockBytes));
}

bool loadVersionBlock(const std::uint8_t* raw, std::size_t size, void* out, std::size_t outLen)
{
    if (!raw || !out || size < 6) {
        SetLastError(kErrorInvalidData);
        return false;
    }
    Node root;
    if (!readNode(raw, size, 0, root) || !keyEquals(raw, root, "VS_VERSION_INFO")) {
        SetLastError(kErrorInvalidData);
        return false;
    }
    std::size_t len = root.end;
    if (outLen < versionInfoBufferSize(len)) {
        SetLastError(kErrorInsufficientBuffer);
        return false;
    }
    auto* o = static_cast<std::uint8_t*>(out);
    std::memset(o, 0, versionInfoBufferSize(len));
    std::memcpy(o, raw, len);
    std::memcpy(o + align4(len), kAreaMagic, 4);
    if (!walk(o, root, 0, o + areaOffset(len), areaSize(len))) {
        SetLastError(kErrorInvalidData);
        return false;
    }
    return true;
}

BOOL VerQueryValueIn(const void* info, std::size_t size, const std::string& subBlock, void** buffer, UINT* len)
{
    if (!info || !buffer || !len) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    const auto* b = static_cast<const std::uint8_t*>(info);
    Node n;
    if (size < 6 || !readNode(b, size, 0, n)) {
        SetLastError(kErrorInvalidData);
        return FALSE_;
    }
    const std::size_t blockLength = n.end;
    std::vector<std::string> parts = splitPath(subBlock);
    if (int(parts.size()) > kMaxDepth) {
        SetLastError(kErrorResourceNotFound);
        return FALSE_;
    }
    for (const std::string& part : parts) {
        Node found;
        bool have = false;
        bool intact = forEachChild(b, n, [&](const Node& c) {
            if (keyEquals(b, c, part)) {
                found = c;
                have = true;
                return false; // stop at the first match
            }
            return true;
        });
        if (!have) {
            SetLastError(intact ? kErrorResourceNotFound : kErrorInvalidData);
            return FALSE_;
        }
        n = found;
    }
    if (parts.empty() && n.valueBytes != 0) {
        // The root value must be a whole fixed file information; anything else lies about itself.
        VS_FIXEDFILEINFO fixed;
        if (n.valueBytes != sizeof fixed || n.type != 0) {
            SetLastError(kErrorInvalidData);
            return FALSE_;
        }
        std::memcpy(&fixed, b + n.valueStart, sizeof fixed);
        if (fixed.dwSignature != VS_FFI_SIGNATURE) {
            SetLastError(kErrorInvalidData);
            return FALSE_;
        }
    }
    if (n.type == 1) {
        static char empty[1] = {0};
        if (n.valueBytes == 0) {
            *buffer = empty;
        } else {
            // Text values are read from their UTF-8 copies behind the block.
            std::size_t magic = align4(blockLength);
            std::size_t at = areaOffset(blockLength) + n.valueStart / 2 * 3;
            if (magic + 4 > size || std::memcmp(b + magic, kAreaMagic, 4) != 0 || at >= size) {
                SetLastError(kErrorInvalidData);
                return FALSE_;
            }
            if (!std::memchr(b + at, 0, size - at)) {
                SetLastError(kErrorInvalidData);
                return FALSE_;
            }
            *buffer = const_cast<std::uint8_t*>(b + at);
        }
    } else {
        *buffer = const_cast<std::uint8_t*>(b + n.valueStart);
    }
    *len = n.valueLength;
    return TRUE_;
}

BOOL VerQueryValue(const void* block, const std::string& subBlock, void** buffer, UINT* len)
{
    if (!block) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    // The block came from GetFileVersionInfo, whose buffer is as long as its root length asks.
    std::size_t rootLength = word(static_cast<const std::uint8_t*>(block));
    return VerQueryValueIn(block, versionInfoBufferSize(rootLength), subBlock, buffer, len);
}

} // namespace platform
