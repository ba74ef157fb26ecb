// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening documents and addresses with the desktop's default application, and the property window.
// Nothing is ever passed through a shell command line.

#include "platform/types.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr DWORD SEE_MASK_INVOKEIDLIST = 0x0000000C;

struct SHELLEXECUTEINFO {
    DWORD cbSize = sizeof(SHELLEXECUTEINFO);
    DWORD fMask = 0;
    HWND hwnd = nullptr;
    std::string lpVerb; ///< "open", "properties", or empty for the default action
    std::string lpFile; ///< a drive-letter path or an address ("http://", "mailto:", "ftp:\\")
    std::string lpParameters;
    std::string lpDirectory;
    int nShow = SW_SHOWNORMAL;
    std::uintptr_t hInstApp = 0; ///< > 32 on success
};

/// What the launcher is asked to do; tests replace the backend and record these.
struct LaunchRequest {
    std::string verb;
    std::string target; ///< as handed in (drive-letter path or address)
    std::string native; ///< the Linux path or the URL that was opened
};

/// The seam behind ShellExecute: the desktop's opener in the program, a recorder in tests.
class LaunchBackend {
public:
    virtual ~LaunchBackend() = default;
    /// Opens a URL ("file:///...", "https://...", "mailto:...") with the desktop's default application.
    virtual bool openUrl(const std::string& url) = 0;
    /// Shows the property window of a file or folder given by its Linux path.
    virtual bool showProperties(const std::string& native, HWND owner) = 0;
    /// Shows a file selected in its folder in the desktop's file manager, or where none offers that,
    /// opens the folder. Both are file URLs.
    virtual bool showItem(const std::string& fileUrl, const std::string& folderUrl)
    {
        (void)fileUrl;
        return openUrl(folderUrl);
    }
};

/// Replaces the backend (nullptr: the desktop's). Returns the previous one.
std::shared_ptr<LaunchBackend> setLaunchBackend(std::shared_ptr<LaunchBackend> backend);

/// "open" (or empty) opens a document or address; "properties" shows the property window.
/// Returns a value > 32 on success.
std::uintptr_t ShellExecute(HWND owner, const std::string& verb, const std::string& file, const std::string& parameters,
                            const std::string& directory, int show);
BOOL ShellExecuteEx(SHELLEXECUTEINFO* info);

/// Shows a file (a drive-letter path) in the desktop's file manager, selected in its folder
/// (org.freedesktop.FileManager1 on the session bus), or opens its folder where no file manager offers
/// that. Returns at once, whatever the file manager does; false when the path names nothing.
BOOL ShowInFileManager(const std::string& file);

} // namespace platform
