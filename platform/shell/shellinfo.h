// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shell's display names and icons of files, folders and drives, and its small-icon list.

#include "platform/types.h"

#include <QIcon>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

constexpr UINT SHGFI_ICON = 0x000000100;
constexpr UINT SHGFI_DISPLAYNAME = 0x000000200;
constexpr UINT SHGFI_TYPENAME = 0x000000400;
constexpr UINT SHGFI_SYSICONINDEX = 0x000004000;
constexpr UINT SHGFI_LARGEICON = 0x000000000;
constexpr UINT SHGFI_SMALLICON = 0x000000001;
constexpr UINT SHGFI_OPENICON = 0x000000002;
constexpr UINT SHGFI_USEFILEATTRIBUTES = 0x000000010;

struct SHFILEINFO {
    QIcon hIcon;   ///< with SHGFI_ICON
    int iIcon = 0; ///< index into the system image list
    DWORD dwAttributes = 0;
    char szDisplayName[MAX_PATH] = {};
    char szTypeName[80] = {};
};

/// The process-wide list of icons that SHGetFileInfo indexes. Indices stay valid for the whole run.
class SystemImageList {
public:
    static SystemImageList& instance();
    int count() const { return static_cast<int>(icons_.size()); }
    QIcon icon(int index) const;
    /// Index of an icon by key; make() is called only for a key not seen before.
    int indexOf(const std::string& key, const std::function<QIcon()>& make);

private:
    std::unordered_map<std::string, int> keys_;
    std::vector<QIcon> icons_;
};

/// With SHGFI_SYSICONINDEX returns a non-zero handle standing for the system image list (else non-zero on
/// success), 0 on failure. The display name of a drive root is the label, or "Removable Disk",
/// "Network Drive", "CD Drive", "Local Disk", then " (C:)"; of anything else, its name as stored.
std::uintptr_t SHGetFileInfo(const std::string& path, DWORD fileAttributes, SHFILEINFO* info, UINT flags);

} // namespace platform
