// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-user settings store under the registry calls' names. One file per user,
// $XDG_CONFIG_HOME/tonfolio/settings.reg (default ~/.config/...), in the REGEDIT4 text format,
// which keeps each value's type. Changes of a key reach the file when the key is closed or flushed,
// through a temporary file that replaces the old one, so a crash never leaves half a file.

#include "platform/types.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

using HKEY = void*;

/// The only root the program uses.
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(0x80000001));

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD ERROR_MORE_DATA = 234;

/// Opens an existing key below `key`; ERROR_FILE_NOT_FOUND when there is none.
LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD options, DWORD access, HKEY* result);
/// Opens a key, creating it (and writing the file) when it is missing. `disposition` may be null.
LONG RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD reserved, const char* keyClass, DWORD options,
                    DWORD access, void* security, HKEY* result, DWORD* disposition);
/// Reads a value. With data null only the type and size are told; a buffer too small gives
/// ERROR_MORE_DATA and the size needed. REG_SZ data include the terminating NUL.
LONG RegQueryValueEx(HKEY key, const std::string& name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
/// Stores a value in the key; it reaches the file when the key is closed or flushed.
LONG RegSetValueEx(HKEY key, const std::string& name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
/// Writes the key's changes to the file. A file that cannot be written loses these changes only.
LONG RegFlushKey(HKEY key);
/// Flushes and releases the key.
LONG RegCloseKey(HKEY key);

/// A key opened below a root, created when missing, and closed (its changes written to the file) when
/// the handle goes, on every path.
class SettingsKey {
public:
    /// get() is null when the key can be neither opened nor created.
    SettingsKey(HKEY root, const std::string& subKey, DWORD access = KEY_ALL_ACCESS);
    ~SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// Typed helpers over the calls above. A value stored with another type reads as absent.
std::optional<std::int32_t> regReadDword(HKEY key, const std::string& name);
std::optional<std::string> regReadString(HKEY key, const std::string& name);
LONG regWriteDword(HKEY key, const std::string& name, std::int32_t value);
LONG regWriteString(HKEY key, const std::string& name, const std::string& value);

/// The settings file in use: $XDG_CONFIG_HOME/tonfolio/settings.reg, or ~/.config/... when unset.
std::string settingsFilePath();

} // namespace platform
