// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Version information: the version block of a file (VS_VERSIONINFO layout) and the lookups in it.
// A block is found in the ".tonfolio_version" section of an ELF file (where the build puts the
// program's own) or in the RT_VERSION resource of a Windows PE file. Nothing read from a file is
// trusted: a truncated, looping or lying block makes the call fail.

#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

/// Name of the ELF section that holds a program's version block.
constexpr const char* kVersionSectionName = ".tonfolio_version";

// File flags of the fixed file information.
constexpr DWORD VS_FF_DEBUG = 0x01;
constexpr DWORD VS_FF_PRERELEASE = 0x02;
constexpr DWORD VS_FF_PATCHED = 0x04;
constexpr DWORD VS_FF_PRIVATEBUILD = 0x08;
constexpr DWORD VS_FF_INFOINFERRED = 0x10;
constexpr DWORD VS_FF_SPECIALBUILD = 0x20;
constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BD;

/// The fixed file information, as stored in the block.
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "the stored record has 13 double words");

/// Bytes needed for the version information of a file (a drive-letter path); 0 when it has none
/// (also when the file is missing or unreadable). *handle is set to 0.
DWORD GetFileVersionInfoSize(const std::string& filename, DWORD* handle);

/// Reads the version information into data (len bytes, at least what GetFileVersionInfoSize said).
/// Fails when the file has no block, the block is damaged, or len is too small.
BOOL GetFileVersionInfo(const std::string& filename, DWORD handle, DWORD len, void* data);

/// Looks up a value in version information filled by GetFileVersionInfo:
/// "\" gives the VS_FIXEDFILEINFO (len in bytes, 0 when the block has none),
/// "\VarFileInfo\Translation" the list of language and code page word pairs (len in bytes),
/// "\StringFileInfo\<8 hex digits>\<key>" a NUL-terminated UTF-8 string (len in characters of the
/// stored value, its terminating zero included). Keys are matched ignoring ASCII letter case.
BOOL VerQueryValue(const void* block, const std::string& subBlock, void** buffer, UINT* len);

/// The drive-letter path of the running program, cut to size - 1 characters and NUL-terminated.
/// Returns the length copied, size when cut, 0 on failure. module must be null (the program).
DWORD GetModuleFileName(HANDLE module, char* filename, DWORD size);

// Memory forms of the above, for images already in memory (the fuzz target, the tests).

/// Finds a version block in a file image (ELF section or PE resource). On success sets the offset and
/// the length of the candidate bytes (the block's own length is checked later).
bool findVersionBlock(const std::uint8_t* image, std::size_t size, std::size_t* offset, std::size_t* length);

/// Bytes that GetFileVersionInfo needs for a block of at most blockBytes bytes.
DWORD versionInfoBufferSize(std::size_t blockBytes);

/// Checks a raw block (bytes of at most size) and lays it out in out (outLen bytes) as
/// GetFileVersionInfo does. False for a damaged block or a too small buffer.
bool loadVersionBlock(const std::uint8_t* raw, std::size_t size, void* out, std::size_t outLen);

/// VerQueryValue on version information of known size: never reads outside [info, info + size).
BOOL VerQueryValueIn(const void* info, std::size_t size, const std::string& subBlock, void** buffer, UINT* len);

} // namespace platform
