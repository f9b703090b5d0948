#include "windows.h"

#include <cstring>
#include <ctime>

namespace {

// This system reports itself as the NT family's 10.0; it has no Windows build number to give.
constexpr DWORD majorVersion = 10;
constexpr DWORD minorVersion = 0;
constexpr DWORD buildNumber = 0;
constexpr BYTE ntWorkstation = 1;

} // namespace

// GetVersionExA: fills either version structure, chosen by its size field; other sizes fail.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(lpVersionInformation, 0, size);
    lpVersionInformation->dwOSVersionInfoSize = size;
    lpVersionInformation->dwMajorVersion = majorVersion;
    lpVersionInformation->dwMinorVersion = minorVersion;
    lpVersionInformation->dwBuildNumber = buildNumber;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    if (size == sizeof(OSVERSIONINFOEXA)) {
        reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation)->wProductType = ntWorkstation;
    }
    return TRUE;
}

// GetVersion: major in the low byte, minor in the next, build in the high word; bit 31 clear: NT.
DWORD WINAPI GetVersion(void) {
    return majorVersion | minorVersion << 8 | buildNumber << 16;
}

// GetTickCount64: milliseconds of the monotonic clock, which starts with the system.
ULONGLONG WINAPI GetTickCount64(void) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000 +
           static_cast<ULONGLONG>(now.tv_nsec) / 1000000;
}

// GetTickCount: the low 32 bits of GetTickCount64, wrapping every 49.7 days.
DWORD WINAPI GetTickCount(void) {
    return static_cast<DWORD>(GetTickCount64());
}

// AreFileApisANSI: file functions take ANSI names, since nothing here calls SetFileApisToOEM.
BOOL WINAPI AreFileApisANSI(void) {
    return TRUE;
}
