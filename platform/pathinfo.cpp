#include "platform/pathinfo.h"

#include <QByteArray>
#include <sys/stat.h>

#include "platform/nativepath.h"

namespace platform {

bool IsLinkedFolder(const std::string& drivePath)
{
    std::string path = drivePath;
    // A trailing separator would make lstat look through the link.
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    const std::optional<std::string> native = existingNativePath(path);
    if (!native)
        return false;
    struct stat st {};
    return ::lstat(native->c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string FileUrlOf(const std::string& drivePath)
{
    const std::optional<std::string> native = existingNativePath(drivePath);
    if (!native)
        return {};
    // Percent-encoding the bytes keeps names that are not valid UTF-8 intact.
    const QByteArray encoded = QByteArray(native->data(), qsizetype(native->size())).toPercentEncoding("/");
    return "file://" + encoded.toStdString();
}

}  // namespace platform
