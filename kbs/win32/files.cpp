#include "lasterror.h"
#include "windows.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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
