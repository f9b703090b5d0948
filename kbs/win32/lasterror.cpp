#include "lasterror.h"

#include <cerrno>

namespace {

// Windows keeps the last error per thread.
thread_local DWORD lastError = ERROR_SUCCESS;

struct ErrnoMapping {
    int err;
    DWORD error;
};

// The codes Windows itself reports for the same failures (NT status codes as converted by
// kernel32); anything else is the generic failure STATUS_UNSUCCESSFUL becomes.
constexpr ErrnoMapping errnoMappings[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EROFS, ERROR_WRITE_PROTECT},
    {ENXIO, ERROR_NOT_READY},
    {ENODEV, ERROR_NOT_READY},
    {ENOMEDIUM, ERROR_NOT_READY},
    {ESPIPE, ERROR_SEEK},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_BUSY},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EFAULT, ERROR_NOACCESS},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
};

DWORD errorFromErrno(int err) {
    for (const ErrnoMapping& mapping : errnoMappings) {
        if (mapping.err == err) {
            return mapping.error;
        }
    }
    return ERROR_GEN_FAILURE;
}

} // namespace

namespace kbs::win32 {

void setLastErrorFromErrno(int err) {
    SetLastError(errorFromErrno(err));
}

} // namespace kbs::win32

// GetLastError: the calling thread's last error code.
DWORD WINAPI GetLastError(void) {
    return lastError;
}

// SetLastError: sets the calling thread's last error code.
void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}
