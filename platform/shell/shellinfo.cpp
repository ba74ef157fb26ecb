// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/shellinfo.h"

#include "platform/files/files.h"
#include "platform/files/nativepath.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QPixmap>
#include <QStyle>
#include <cstring>

namespace platform {

namespace {

bool isDriveRoot(const std::string& path)
{
    return (path.size() == 2 || (path.size() == 3 && path[2] == '\\')) && path[1] == ':' &&
           std::isalpha((unsigned char)path[0]);
}

void put(char* buf, size_t size, const std::string& text)
{
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = 0;
}

QIcon styleIcon(QStyle::StandardPixmap which)
{
    if (QStyle* s = QApplication::style())
        return s->standardIcon(which);
    return {};
}

// The program's own picture of an icon (resources/platform/<name>.xpm), if it has one.
QIcon ownIcon(const QString& name)
{
    const QString path = QStringLiteral(":/platform/") + name + QStringLiteral(".xpm");
    const QPixmap small(path);
    if (small.isNull())
        return {};
    // The pictures are drawn at 16 pixels; the large-icon view gets them doubled, pixel for pixel.
    QIcon icon(small);
    icon.addPixmap(small.scaled(small.size() * 2, Qt::KeepAspectRatio, Qt::FastTransformation));
    return icon;
}

// A theme icon, else the program's own, else one of the style's, so that a desktop without an icon
// theme still shows icons.
QIcon themed(const char* name, const char* own, QStyle::StandardPixmap fallback)
{
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    if (icon.isNull())
        icon = ownIcon(QString::fromLatin1(own));
    return icon.isNull() ? styleIcon(fallback) : icon;
}

std::string driveKindName(UINT kind)
{
    switch (kind) {
    case DRIVE_REMOVABLE:
        return "Removable Disk";
    case DRIVE_REMOTE:
        return "Network Drive";
    case DRIVE_CDROM:
        return "CD Drive";
    default:
        return "Local Disk";
    }
}

int driveIcon(UINT kind, bool open)
{
    const char* name = "drive-harddisk";
    const char* own = "drive-harddisk";
    QStyle::StandardPixmap fallback = QStyle::SP_DriveHDIcon;
    switch (kind) {
    case DRIVE_REMOVABLE:
        name = "drive-removable-media";
        own = "drive-removable";
        fallback = QStyle::SP_DriveFDIcon;
        break;
    case DRIVE_REMOTE:
        name = "folder-remote";
        own = "drive-remote";
        fallback = QStyle::SP_DriveNetIcon;
        break;
    case DRIVE_CDROM:
        name = "drive-optical";
        own = "drive-optical";
        fallback = QStyle::SP_DriveCDIcon;
        break;
    default:
        break;
    }
    (void)open;
    return SystemImageList::instance().indexOf(std::string("drive:") + name,
                                               [=] { return themed(name, own, fallback); });
}

int folderIcon(bool open)
{
    if (open)
        return SystemImageList::instance().indexOf(
            "folder-open", [] { return themed("folder-open", "folder-open", QStyle::SP_DirOpenIcon); });
    return SystemImageList::instance().indexOf("folder",
                                               [] { return themed("folder", "folder", QStyle::SP_DirClosedIcon); });
}

int fileIcon(const std::string& name, QString* typeName)
{
    static QMimeDatabase db;
    const QMimeType mime =
        db.mimeTypeForFile(QString::fromUtf8(name.data(), qsizetype(name.size())), QMimeDatabase::MatchExtension);
    if (typeName)
        *typeName = mime.comment();
    const QString iconName = mime.iconName();
    const QString generic = mime.genericIconName();
    return SystemImageList::instance().indexOf("mime:" + iconName.toStdString(), [=] {
        QIcon icon = QIcon::fromTheme(iconName);
        if (icon.isNull())
            icon = QIcon::fromTheme(generic);
        if (icon.isNull())
            icon = ownIcon(iconName.startsWith(QLatin1String("audio-")) ? QStringLiteral("audio-x-wav")
                                                                        : QStringLiteral("text-x-generic"));
        return icon.isNull() ? styleIcon(QStyle::SP_FileIcon) : icon;
    });
}

} // namespace

SystemImageList& SystemImageList::instance()
{
    static SystemImageList list;
    return list;
}

QIcon SystemImageList::icon(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return icons_[size_t(index)];
}

int SystemImageList::indexOf(const std::string& key, const std::function<QIcon()>& make)
{
    auto it = keys_.find(key);
    if (it != keys_.end())
        return it->second;
    icons_.push_back(make());
    const int index = count() - 1;
    keys_.emplace(key, index);
    return index;
}

std::uintptr_t SHGetFileInfo(const std::string& path, DWORD fileAttributes, SHFILEINFO* info, UINT flags)
{
    if (!info)
        return 0;
    *info = SHFILEINFO{};
    const bool open = flags & SHGFI_OPENICON;
    std::string name;
    int icon = 0;
    QString typeName;
    if (isDriveRoot(path)) {
        const char letter = char(std::toupper((unsigned char)path[0]));
        const std::optional<DriveInfo> drive = driveOf(letter);
        if (!drive && !(flags & SHGFI_USEFILEATTRIBUTES))
            return 0;
        const UINT kind = drive ? drive->kind : DRIVE_UNKNOWN;
        const std::string label = drive ? drive->label : std::string();
        name = (label.empty() ? driveKindName(kind) : label) + " (" + std::string(1, letter) + ":)";
        icon = driveIcon(kind, open);
        typeName = QString::fromStdString(driveKindName(kind));
    } else {
        DWORD attrs = fileAttributes;
        if (!(flags & SHGFI_USEFILEATTRIBUTES)) {
            const std::optional<std::string> native = existingNativePath(path);
            if (!native)
                return 0;
            attrs = GetFileAttributes(path);
            if (attrs == INVALID_FILE_ATTRIBUTES)
                return 0;
            name = native->substr(native->rfind('/') + 1);
        } else {
            std::string p = path;
            while (!p.empty() && p.back() == '\\')
                p.pop_back();
            name = p.substr(p.rfind('\\') == std::string::npos ? 0 : p.rfind('\\') + 1);
        }
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            icon = folderIcon(open);
            typeName = QStringLiteral("Folder");
        } else {
            icon = fileIcon(name, &typeName);
        }
    }
    if (flags & SHGFI_DISPLAYNAME)
        put(info->szDisplayName, sizeof info->szDisplayName, name);
    if (flags & SHGFI_TYPENAME)
        put(info->szTypeName, sizeof info->szTypeName, typeName.toStdString());
    info->iIcon = icon;
    if (flags & SHGFI_ICON)
        info->hIcon = SystemImageList::instance().icon(icon);
    if (flags & SHGFI_SYSICONINDEX)
        return reinterpret_cast<std::uintptr_t>(&SystemImageList::instance());
    return 1;
}

} // namespace platform
