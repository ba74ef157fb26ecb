// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds RIFF files byte by byte, so that tests can state exactly which damage a file carries.

#include <cstdint>
#include <string>

namespace riffbytes {

inline std::string u16(unsigned v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}
inline std::string u32(std::uint32_t v)
{
    return u16(v & 0xFFFF) + u16(v >> 16);
}

/// A chunk with the size it really has, and the pad byte when that is odd.
inline std::string chunk(const std::string& id, const std::string& body)
{
    return id + u32(std::uint32_t(body.size())) + body + (body.size() % 2 ? std::string(1, '\0') : std::string());
}

/// A chunk header that declares any size, followed by whatever body is given (no pad).
inline std::string chunkDeclaring(const std::string& id, std::uint32_t size, const std::string& body = {})
{
    return id + u32(size) + body;
}

/// The data of a format chunk: the 16-byte header, plus extra bytes when asked.
inline std::string fmtBody(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits,
                           const std::string& extra = {})
{
    const unsigned align = channels * ((bits + 7) / 8);
    return u16(tag) + u16(channels) + u32(rate) + u32(rate * align) + u16(align) + u16(bits) + extra;
}

/// A RIFF chunk of the given form type around the given subchunks.
inline std::string riff(const std::string& subchunks, const std::string& form = "WAVE")
{
    return chunk("RIFF", form + subchunks);
}

/// A whole wave file: format chunk and a data chunk of dataBytes zero bytes.
inline std::string wave(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits, std::uint32_t dataBytes)
{
    return riff(chunk("fmt ", fmtBody(tag, channels, rate, bits)) + chunk("data", std::string(dataBytes, '\0')));
}

/// A whole wave file with more chunks after its last one, its RIFF size grown to hold them.
inline std::string withChunks(std::string wave, const std::string& chunks)
{
    wave += chunks;
    return wave.replace(4, 4, u32(std::uint32_t(wave.size() - 8)));
}

/// The data of a "smpl" chunk with one forward loop over [start, end] at unity note 60.
inline std::string smplBody(std::uint32_t start, std::uint32_t end)
{
    return u32(0) + u32(0) + u32(20833) + u32(60) + u32(0) + u32(0) + u32(0) + u32(1) + u32(0) + u32(0) + u32(0) +
           u32(start) + u32(end) + u32(0) + u32(0);
}

} // namespace riffbytes
