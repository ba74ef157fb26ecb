// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/types.h"

#include <cerrno>

namespace platform {

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError()
{
    return lastError;
}

void SetLastError(DWORD code)
{
    lastError = code;
}

DWORD errorFromErrno(int err)
{
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
        return ERROR_NOT_READY;
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

std::string errorText(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND:
        return "The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "Not enough memory is available to complete this operation.";
    case ERROR_INVALID_DRIVE:
        return "The system cannot find the drive specified.";
    case ERROR_NOT_SAME_DEVICE:
        return "The system cannot move the file to a different disk drive.";
    case ERROR_WRITE_PROTECT:
        return "The media is write protected.";
    case ERROR_NOT_READY:
        return "The device is not ready.";
    case ERROR_SHARING_VIOLATION:
        return "The file is being used by another process.";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return "Cannot create a file when that file already exists.";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.";
    case ERROR_DISK_FULL:
        return "There is not enough space on the disk.";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return "The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_DIR_NOT_EMPTY:
        return "The directory is not empty.";
    case ERROR_FILENAME_EXCED_RANGE:
        return "The filename or extension is too long.";
    case ERROR_CANCELLED:
        return "The operation was cancelled by the user.";
    default:
        return "An unexpected error occurred (code " + std::to_string(code) + ").";
    }
}

} // namespace platform
