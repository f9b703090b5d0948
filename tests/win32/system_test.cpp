#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

TEST(Version, StructureSizesAndThePackedForm) {
    OSVERSIONINFOEXA plain;
    std::memset(&plain, 0xAB, sizeof plain);
    plain.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&plain)));
    EXPECT_EQ(plain.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    // Nothing past the plain structure is written.
    EXPECT_EQ(plain.wServicePackMajor, 0xABAB);

    const DWORD packed = GetVersion();
    EXPECT_EQ(packed & 0xFF, plain.dwMajorVersion);
    EXPECT_EQ(packed >> 8 & 0xFF, plain.dwMinorVersion);
    EXPECT_EQ(packed >> 16, plain.dwBuildNumber & 0xFFFF);
    EXPECT_EQ(packed & 0x80000000, 0u);

    plain.dwOSVersionInfoSize = sizeof plain;
    EXPECT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&plain)));
    plain.dwOSVersionInfoSize = sizeof plain - 1;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&plain)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(TickCount, CountsMillisecondsInBothWidths) {
    const ULONGLONG before = GetTickCount64();
    const DWORD narrow = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const ULONGLONG after = GetTickCount64();
    // The low 32 bits of the same count, in milliseconds: Windows ticks in steps of up to 16 ms.
    EXPECT_LE(static_cast<DWORD>(narrow - static_cast<DWORD>(before)), after - before);
    EXPECT_GE(after - before, 30u);
    EXPECT_LT(after - before, 10000u);
}

// A library this program does not load by itself, so that unloading it can be seen, and an export
// of a module that it uses.
#ifdef _WIN32
constexpr const char* unusedLibrary = "cabinet.dll";
constexpr const char* dependencyExport = "GetTickCount64";
#else
constexpr const char* unusedLibrary = "libquadmath.so.0";
constexpr const char* dependencyExport = "malloc";
#endif

TEST(Libraries, EveryLoadNeedsItsFree) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryA("kbs-no-such-library.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    ASSERT_EQ(GetModuleHandleA(unusedLibrary), nullptr);
    const HMODULE module = LoadLibraryA(unusedLibrary);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(LoadLibraryA(unusedLibrary), module);
    EXPECT_EQ(GetModuleHandleA(unusedLibrary), module);
    // Only the module's own exports.
    EXPECT_EQ(GetProcAddress(module, dependencyExport), nullptr);
#ifndef _WIN32
    // ELF objects have no ordinals.
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
#endif
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA(unusedLibrary), module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA(unusedLibrary), nullptr);
}

} // namespace
