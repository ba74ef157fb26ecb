// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain types, constants and error codes shared by every part of the system layer.
// Values are those the program's algorithms are written against.

#include <cstdint>
#include <string>

namespace platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using BOOL = int;
using HANDLE = void*;
using HWND = void*;

constexpr BOOL TRUE_ = 1;
constexpr BOOL FALSE_ = 0;
constexpr int MAX_PATH = 260;

/// The handle value of a failed open or search.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// Error codes, as GetLastError reports them.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DRIVE = 15;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_CANCELLED = 1223;

/// The last error of the calling thread, set by every failing call of the system layer.
DWORD GetLastError();
void SetLastError(DWORD code);

/// Maps an errno value to the closest error code above.
DWORD errorFromErrno(int err);

/// What a user reads for an error code, in the system's words; every message box of the program
/// that reports a failed call shows this text.
std::string errorText(DWORD code);

} // namespace platform
