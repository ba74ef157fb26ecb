// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/launch.h"

#include "platform/files/nativepath.h"
#include "platform/shell/propertywindow.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDesktopServices>
#include <QUrl>
#include <algorithm>
#include <cctype>

namespace platform {

namespace {

// Results of the launcher: above 32 is success.
constexpr std::uintptr_t SE_ERR_FNF = 2;
constexpr std::uintptr_t SE_ERR_NOASSOC = 31;
constexpr std::uintptr_t kLaunched = 42;

const char* const kFileManager = "org.freedesktop.FileManager1";
const char* const kFileManagerPath = "/org/freedesktop/FileManager1";

/// Whether a file manager serves the file manager interface now or is started by the bus when asked.
bool fileManagerOnBus(QDBusConnection& bus)
{
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(kFileManager))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->call("ListActivatableNames");
    return activatable.isValid() && activatable.value().contains(kFileManager);
}

bool openWithDesktop(const std::string& url)
{
    const QUrl target = QUrl::fromEncoded(QByteArray::fromStdString(url));
    return target.isValid() && QDesktopServices::openUrl(target);
}

class DesktopLauncher : public LaunchBackend {
public:
    bool openUrl(const std::string& url) override { return openWithDesktop(url); }
    bool showProperties(const std::string& native, HWND owner) override { return showPropertyWindow(native, owner); }
    bool showItem(const std::string& fileUrl, const std::string& folderUrl) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!fileManagerOnBus(bus))
            return openWithDesktop(folderUrl);
        QDBusMessage call = QDBusMessage::createMethodCall(kFileManager, kFileManagerPath, kFileManager, "ShowItems");
        call << QStringList{QString::fromStdString(fileUrl)} << QString();
        // Not waited for: a file manager that is being started must not hold up the window. One that
        // answers with an error leaves the folder to the desktop's opener.
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [folderUrl](QDBusPendingCallWatcher* w) {
            if (w->isError())
                openWithDesktop(folderUrl);
            w->deleteLater();
        });
        return true;
    }
};

std::shared_ptr<LaunchBackend>& currentBackend()
{
    static std::shared_ptr<LaunchBackend> backend;
    return backend;
}

LaunchBackend& backend()
{
    if (!currentBackend())
        currentBackend() = std::make_shared<DesktopLauncher>();
    return *currentBackend();
}

bool isDrivePath(const std::string& file)
{
    return file.size() >= 2 && std::isalpha(static_cast<unsigned char>(file[0])) && file[1] == ':' &&
           (file.size() == 2 || file[2] == '\\');
}

bool startsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// A scheme of two or more letters before the colon (one letter is a drive).
bool hasScheme(const std::string& file)
{
    const auto colon = file.find(':');
    if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(file[0])))
        return false;
    return std::all_of(file.begin(), file.begin() + static_cast<long>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// The URL an address stands for, empty when it is none.
std::string addressUrl(const std::string& file)
{
    if (startsWithNoCase(file, "ftp:\\\\")) {
        std::string url = "ftp://" + file.substr(6);
        std::replace(url.begin(), url.end(), '\\', '/');
        return url;
    }
    if (hasScheme(file))
        return file;
    if (startsWithNoCase(file, "www."))
        return "http://" + file;
    return {};
}

std::string fileUrl(const std::string& native)
{
    // Names are bytes: each odd byte is percent-encoded as it stands.
    return "file://" + QByteArray::fromStdString(native).toPercentEncoding("/").toStdString();
}

std::uintptr_t open(const std::string& file)
{
    std::string url;
    if (isDrivePath(file)) {
        const std::optional<std::string> native = existingNativePath(file);
        if (!native)
            return SE_ERR_FNF;
        url = fileUrl(*native);
    } else {
        url = addressUrl(file);
        if (url.empty())
            return SE_ERR_FNF;
    }
    return backend().openUrl(url) ? kLaunched : SE_ERR_NOASSOC;
}

std::uintptr_t properties(const std::string& file, HWND owner)
{
    if (!isDrivePath(file))
        return SE_ERR_NOASSOC;
    const std::optional<std::string> native = existingNativePath(file);
    if (!native)
        return SE_ERR_FNF;
    return backend().showProperties(*native, owner) ? kLaunched : SE_ERR_NOASSOC;
}

} // namespace

BOOL ShowInFileManager(const std::string& file)
{
    if (!isDrivePath(file))
        return FALSE_;
    const std::optional<std::string> native = existingNativePath(file);
    if (!native)
        return FALSE_;
    const std::string folder = native->substr(0, native->rfind('/') + 1);
    return backend().showItem(fileUrl(*native), fileUrl(folder.empty() ? "/" : folder)) ? TRUE_ : FALSE_;
}

std::shared_ptr<LaunchBackend> setLaunchBackend(std::shared_ptr<LaunchBackend> replacement)
{
    auto previous = currentBackend();
    currentBackend() = std::move(replacement);
    return previous;
}

std::uintptr_t ShellExecute(HWND owner, const std::string& verb, const std::string& file, const std::string&,
                            const std::string&, int)
{
    // Parameters and folder are never used: nothing is started through a command line.
    if (verb.empty() || verb == "open")
        return open(file);
    if (verb == "properties")
        return properties(file, owner);
    return SE_ERR_NOASSOC;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info)
{
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    if (info->lpVerb == "properties" && (info->fMask & SEE_MASK_INVOKEIDLIST) != SEE_MASK_INVOKEIDLIST)
        info->hInstApp = SE_ERR_NOASSOC;
    else
        info->hInstApp =
            ShellExecute(info->hwnd, info->lpVerb, info->lpFile, info->lpParameters, info->lpDirectory, info->nShow);
    if (info->hInstApp > 32)
        return TRUE_;
    SetLastError(info->hInstApp == SE_ERR_FNF ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_FUNCTION);
    return FALSE_;
}

} // namespace platform
