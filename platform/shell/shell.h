// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shell's file operation (copy, move, rename, delete with confirmations, progress, trash and collision
// renaming) and its change notifications, over drive-letter paths.

#include "platform/types.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Function codes.
constexpr UINT FO_MOVE = 0x1;
constexpr UINT FO_COPY = 0x2;
constexpr UINT FO_DELETE = 0x3;
constexpr UINT FO_RENAME = 0x4;

// Flags.
constexpr WORD FOF_MULTIDESTFILES = 0x0001;
constexpr WORD FOF_CONFIRMMOUSE = 0x0002;
constexpr WORD FOF_SILENT = 0x0004;
constexpr WORD FOF_RENAMEONCOLLISION = 0x0008;
constexpr WORD FOF_NOCONFIRMATION = 0x0010;
constexpr WORD FOF_WANTMAPPINGHANDLE = 0x0020;
constexpr WORD FOF_ALLOWUNDO = 0x0040;
constexpr WORD FOF_FILESONLY = 0x0080;
constexpr WORD FOF_SIMPLEPROGRESS = 0x0100;
constexpr WORD FOF_NOCONFIRMMKDIR = 0x0200;
constexpr WORD FOF_NOERRORUI = 0x0400;

/// The request of a file operation. The lists hold names separated by NUL and end in two NULs
/// ("C:\a.wav\0C:\b.wav\0\0"); an empty name ends a list.
struct SHFILEOPSTRUCT {
    HWND hwnd = nullptr; ///< parent of the shell's windows
    UINT wFunc = 0;
    std::string pFrom;
    std::string pTo;
    WORD fFlags = 0;
    BOOL fAnyOperationsAborted = 0; ///< out: non-zero when the user cancelled part of the operation
    void* hNameMappings = nullptr;  ///< out: never filled
    std::string lpszProgressTitle;  ///< shown with FOF_SIMPLEPROGRESS
};

/// Runs the operation; 0 exactly when everything asked for was done. Names are taken literally
/// (no wildcards: a Linux name may hold '*' or '?'). Nothing is ever replaced without the user's
/// Yes; a move between file systems copies, checks the copy, and only then removes the source.
/// Cancelling a confirmation or the progress window sets fAnyOperationsAborted and returns ERROR_CANCELLED.
int SHFileOperation(SHFILEOPSTRUCT* op);

/// Splits a NUL-separated list up to its first empty name.
std::vector<std::string> splitNulList(const std::string& list);

/// The name a copy takes beside an existing one: "bell - Copy.wav", then "bell - Copy (2).wav", ...
/// n counts from 1.
std::string collisionName(const std::string& name, int n);

/// Milliseconds an operation runs before its progress window appears (tests set 0).
void setProgressDelay(int milliseconds);

// Change notification events.
constexpr LONG SHCNE_RENAMEITEM = 0x00000001;
constexpr LONG SHCNE_CREATE = 0x00000002;
constexpr LONG SHCNE_DELETE = 0x00000004;
constexpr LONG SHCNE_MKDIR = 0x00000008;
constexpr LONG SHCNE_RMDIR = 0x00000010;
constexpr LONG SHCNE_UPDATEDIR = 0x00001000;
constexpr LONG SHCNE_UPDATEITEM = 0x00002000;
constexpr LONG SHCNE_RENAMEFOLDER = 0x00020000;
// Change notification flags.
constexpr UINT SHCNF_IDLIST = 0x0000;
constexpr UINT SHCNF_PATH = 0x0001;
constexpr UINT SHCNF_FLUSH = 0x1000;

struct ChangeNotification {
    LONG event = 0;
    UINT flags = 0;
    std::string item1;
    std::string item2; ///< empty when not given
};

/// Tells the in-process listeners that something changed; every notification is also recorded.
void SHChangeNotify(LONG event, UINT flags, const std::string& item1, const std::string& item2 = std::string());
/// The form with no second item (a null pointer where the system call takes one).
inline void SHChangeNotify(LONG event, UINT flags, const std::string& item1, std::nullptr_t)
{
    SHChangeNotify(event, flags, item1, std::string());
}

using ChangeListener = std::function<void(const ChangeNotification&)>;
/// Adds a listener; returns its id for removeChangeListener.
int addChangeListener(ChangeListener listener);
void removeChangeListener(int id);

/// The notifications sent so far (the last thousand), oldest first; tests read and clear them.
std::vector<ChangeNotification> recordedChangeNotifications();
void clearRecordedChangeNotifications();

} // namespace platform
