#include "handles.h"
#include "lasterror.h"
#include "windows.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// Returns a string into a caller's buffer: its length when it fits with its NUL, else the size it
// needs, NUL included, leaving the buffer alone.
DWORD copyOut(const std::string& text, DWORD size, LPSTR buffer) {
    if (buffer == nullptr || text.size() >= size) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

bool currentDirectory(std::string& directory) {
    std::string buffer(PATH_MAX, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            kbs::win32::setLastErrorFromErrno(errno);
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
    directory = buffer.c_str();
    return true;
}

// Windows tells a missing directory on the way, or an empty name, from a missing last component;
// stat() does not.
DWORD missingNameError(std::string_view name) {
    if (name.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    while (name.size() > 1 && name.back() == '/') {
        name.remove_suffix(1);
    }
    const size_t slash = name.rfind('/');
    if (slash == std::string_view::npos) {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::string parent(name.substr(0, slash == 0 ? 1 : slash));
    struct stat status;
    const bool parentIsDirectory = stat(parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    return parentIsDirectory ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Resolves "." and ".." and collapses repeated separators in an absolute path, by text alone.
// ".." stops at the root, and a trailing separator stays, as Windows keeps it.
std::string normalisePath(std::string_view path) {
    std::string result;
    for (size_t start = 0; start < path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view component = path.substr(start, end - start);
        if (component == "..") {
            const size_t slash = result.rfind('/');
            if (slash != std::string::npos) {
                result.erase(slash);
            }
        } else if (!component.empty() && component != ".") {
            result += '/';
            result += component;
        }
        start = end + 1;
    }
    if (result.empty() || path.back() == '/') {
        result += '/';
    }
    return result;
}

// Open file handles: the descriptor, encoded as a multiple of 4 as Windows handles are, and the
// access granted, which ReadFile and WriteFile check as Windows does.
std::mutex openFilesLock;
std::unordered_map<int, DWORD> openFiles;

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(fd + 1) * 4);
}

// The descriptor behind a handle that has `needed` access, or -1 with the last error set.
int descriptorOf(HANDLE handle, DWORD needed) {
    const auto value = reinterpret_cast<INT_PTR>(handle);
    const int fd = value > 0 && value % 4 == 0 ? static_cast<int>(value / 4 - 1) : -1;
    std::lock_guard<std::mutex> lock(openFilesLock);
    const auto found = openFiles.find(fd);
    if (found == openFiles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    if ((found->second & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    return fd;
}

// Share modes between openers, also in other processes: each opener holds a shared
// open-file-description lock on one byte for each thing it does or refuses to others, far beyond
// any data; a new opener is refused when another holds a byte that conflicts with it.
enum ShareMark { Reads, Writes, RefusesReads, RefusesWrites };
constexpr off_t shareMarks = 0x7FFFFFFF00000000;

bool heldByOthers(int fd, ShareMark mark) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = shareMarks + mark;
    probe.l_len = 1;
    return fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

bool hold(int fd, ShareMark mark) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = shareMarks + mark;
    lock.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Claims the marks of an opener; false when the share modes of those before it refuse it.
bool claimSharing(int fd, DWORD access, DWORD shareMode) {
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    const bool refusesReads = (shareMode & FILE_SHARE_READ) == 0;
    const bool refusesWrites = (shareMode & FILE_SHARE_WRITE) == 0;
    if ((reads && heldByOthers(fd, RefusesReads)) || (writes && heldByOthers(fd, RefusesWrites)) ||
        (refusesReads && heldByOthers(fd, Reads)) || (refusesWrites && heldByOthers(fd, Writes))) {
        return false;
    }
    // A descriptor opened write-only (a file its owner may not read) cannot hold shared locks:
    // such an opener refuses nobody.
    if ((fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY) {
        return true;
    }
    return (!reads || hold(fd, Reads)) && (!writes || hold(fd, Writes)) &&
           (!refusesReads || hold(fd, RefusesReads)) && (!refusesWrites || hold(fd, RefusesWrites));
}

constexpr ULONGLONG ticksPerSecond = 10000000;
constexpr ULONGLONG unixEpochTicks = 116444736000000000;

FILETIME fileTimeOf(const statx_timestamp& time) {
    const ULONGLONG ticks =
        unixEpochTicks + static_cast<ULONGLONG>(time.tv_sec) * ticksPerSecond + time.tv_nsec / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

timespec timespecOf(const FILETIME* time) {
    if (time == nullptr) {
        return timespec{0, UTIME_OMIT};
    }
    const auto ticks = static_cast<int64_t>(
        (ULONGLONG{time->dwHighDateTime} << 32 | time->dwLowDateTime) - unixEpochTicks);
    const auto ticksPerSecondSigned = static_cast<int64_t>(ticksPerSecond);
    int64_t seconds = ticks / ticksPerSecondSigned;
    int64_t rest = ticks % ticksPerSecondSigned;
    if (rest < 0) {
        --seconds;
        rest += ticksPerSecondSigned;
    }
    return timespec{static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

} // namespace

// GetFileAttributesA: a directory, or an archive file, read-only when its owner may not write it.
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    struct stat status;
    if (stat(lpFileName, &status) != 0) {
        if (errno == ENOENT) {
            SetLastError(missingNameError(lpFileName));
        } else {
            kbs::win32::setLastErrorFromErrno(errno);
        }
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(status.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    return (status.st_mode & S_IWUSR) != 0 ? FILE_ATTRIBUTE_ARCHIVE
                                           : FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY;
}

// GetFullPathNameA: absolute against the current directory, normalised by text alone as on Windows.
DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart) {
    if (lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (*lpFileName == '\0') {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    std::string path;
    if (*lpFileName != '/' && !currentDirectory(path)) {
        return 0;
    }
    path += '/';
    path += lpFileName;
    const std::string fullPath = normalisePath(path);
    const DWORD result = copyOut(fullPath, nBufferLength, lpBuffer);
    if (lpFilePart != nullptr) {
        const bool copied = result == fullPath.size();
        *lpFilePart =
            copied && fullPath.back() != '/' ? lpBuffer + fullPath.rfind('/') + 1 : nullptr;
    }
    return result;
}

// GetCurrentDirectoryA: the current directory, returned as Windows returns strings into a buffer.
DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    std::string directory;
    if (!currentDirectory(directory)) {
        return 0;
    }
    return copyOut(directory, nBufferLength, lpBuffer);
}

// CreateFileA: opens or creates by disposition; the share modes of open handles refuse openers.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
    const bool writes = (dwDesiredAccess & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC;
    switch (dwCreationDisposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case OPEN_EXISTING:
        break;
    case TRUNCATE_EXISTING:
        if (writes) {
            break;
        }
        [[fallthrough]];
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if ((dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH) != 0) {
        flags |= O_DSYNC;
    }
    // Readable even when only writing, so that the descriptor can hold the share marks.
    int fd = open(lpFileName, flags | (writes ? O_RDWR : O_RDONLY), 0666);
    if (fd < 0 && errno == EACCES && writes && (dwDesiredAccess & GENERIC_READ) == 0) {
        fd = open(lpFileName, flags | O_WRONLY, 0666);
    }
    if (fd < 0) {
        if (errno == ENOENT) {
            SetLastError(missingNameError(lpFileName));
        } else if (errno == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
        } else {
            kbs::win32::setLastErrorFromErrno(errno);
        }
        return INVALID_HANDLE_VALUE;
    }
    struct stat status;
    DWORD error = ERROR_SUCCESS;
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        error = ERROR_ACCESS_DENIED;
    } else if (!claimSharing(fd, dwDesiredAccess, dwShareMode)) {
        error = ERROR_SHARING_VIOLATION;
    } else if (dwCreationDisposition == TRUNCATE_EXISTING && ftruncate(fd, 0) != 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error != ERROR_SUCCESS) {
        close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> lock(openFilesLock);
    openFiles[fd] = dwDesiredAccess & (GENERIC_READ | GENERIC_WRITE);
    return handleOf(fd);
}

// ReadFile: synchronous; reads the whole count unless the end of the file comes first.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    *lpNumberOfBytesRead = 0;
    const int fd = descriptorOf(hFile, GENERIC_READ);
    if (fd < 0) {
        return FALSE;
    }
    auto* at = static_cast<char*>(lpBuffer);
    while (*lpNumberOfBytesRead < nNumberOfBytesToRead) {
        const ssize_t got = read(fd, at, nNumberOfBytesToRead - *lpNumberOfBytesRead);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            kbs::win32::setLastErrorFromErrno(errno);
            return FALSE;
        }
        at += got;
        *lpNumberOfBytesRead += static_cast<DWORD>(got);
    }
    return TRUE;
}

// WriteFile: synchronous; writes the whole count or fails.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    *lpNumberOfBytesWritten = 0;
    const int fd = descriptorOf(hFile, GENERIC_WRITE);
    if (fd < 0) {
        return FALSE;
    }
    const auto* at = static_cast<const char*>(lpBuffer);
    while (*lpNumberOfBytesWritten < nNumberOfBytesToWrite) {
        const ssize_t put = write(fd, at, nNumberOfBytesToWrite - *lpNumberOfBytesWritten);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            kbs::win32::setLastErrorFromErrno(errno);
            return FALSE;
        }
        at += put;
        *lpNumberOfBytesWritten += static_cast<DWORD>(put);
    }
    return TRUE;
}

// SetFilePointer: a signed 32-bit distance, or 64 bits with the high part; no position before 0.
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    const int fd = descriptorOf(hFile, 0);
    if (fd < 0) {
        return INVALID_SET_FILE_POINTER;
    }
    const off_t distance =
        lpDistanceToMoveHigh == nullptr
            ? lDistanceToMove
            : static_cast<off_t>(static_cast<ULONGLONG>(*lpDistanceToMoveHigh) << 32 |
                                 static_cast<DWORD>(lDistanceToMove));
    const int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
                       : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                                                      : SEEK_END;
    const off_t position = lseek(fd, distance, whence);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

// GetFileSize: the low part, the high part through the optional pointer.
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    const int fd = descriptorOf(hFile, 0);
    struct stat status;
    if (fd < 0) {
        return INVALID_FILE_SIZE;
    }
    if (fstat(fd, &status) != 0) {
        kbs::win32::setLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(status.st_size) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(status.st_size);
}

// FlushFileBuffers: writes the file's data through to the disk; needs write access.
BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    const int fd = descriptorOf(hFile, GENERIC_WRITE);
    if (fd < 0) {
        return FALSE;
    }
    if (fsync(fd) != 0) {
        kbs::win32::setLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

// SetEndOfFile: the file ends at the current position; needs write access.
BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    const int fd = descriptorOf(hFile, GENERIC_WRITE);
    if (fd < 0) {
        return FALSE;
    }
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(fd, position) != 0) {
        kbs::win32::setLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

// GetFileTime: creation (birth time, else last write), last access and last write, as asked.
BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
    const int fd = descriptorOf(hFile, 0);
    if (fd < 0) {
        return FALSE;
    }
    struct statx status;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_ATIME | STATX_MTIME | STATX_BTIME, &status) != 0) {
        kbs::win32::setLastErrorFromErrno(errno);
        return FALSE;
    }
    if (lpCreationTime != nullptr) {
        *lpCreationTime =
            fileTimeOf((status.stx_mask & STATX_BTIME) != 0 ? status.stx_btime : status.stx_mtime);
    }
    if (lpLastAccessTime != nullptr) {
        *lpLastAccessTime = fileTimeOf(status.stx_atime);
    }
    if (lpLastWriteTime != nullptr) {
        *lpLastWriteTime = fileTimeOf(status.stx_mtime);
    }
    return TRUE;
}

// SetFileTime: last access and last write as given; the creation time cannot be set here.
BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME*, const FILETIME* lpLastAccessTime,
                        const FILETIME* lpLastWriteTime) {
    const int fd = descriptorOf(hFile, GENERIC_WRITE);
    if (fd < 0) {
        return FALSE;
    }
    const timespec times[2] = {timespecOf(lpLastAccessTime), timespecOf(lpLastWriteTime)};
    if (futimens(fd, times) != 0) {
        kbs::win32::setLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

namespace kbs::win32 {

bool closeFileHandle(HANDLE handle) {
    const int fd = descriptorOf(handle, 0);
    if (fd < 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(openFilesLock);
    openFiles.erase(fd);
    // The descriptor is gone even when close reports an error, as the handle is on Windows.
    close(fd);
    return true;
}

} // namespace kbs::win32
