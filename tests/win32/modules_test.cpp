#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

namespace {

#ifdef _WIN32
constexpr const char* systemLibrary = "KERNEL32"; // without an extension Windows adds ".dll"
constexpr const char* systemLibraryFile = "kernel32.dll";
constexpr const char* imageMagic = "MZ";
#else
constexpr const char* systemLibrary = "LIBC.SO.6";
constexpr const char* systemLibraryFile = "libc.so.6";
constexpr const char* imageMagic = "\x7F"
                                   "ELF";
#endif

std::string fileName(HMODULE module) {
    char buffer[4096];
    return std::string(buffer, GetModuleFileNameA(module, buffer, sizeof buffer));
}

std::string baseName(std::string path) {
    path = path.substr(path.find_last_of("\\/") + 1);
    std::transform(path.begin(), path.end(), path.begin(), [](char c) { return std::tolower(c); });
    return path;
}

// Handles are where the images start, found by name regardless of case.
TEST(Modules, HandlesFileNamesAndShortBuffers) {
    const HMODULE program = GetModuleHandleA(nullptr);
    const HMODULE library = GetModuleHandleA(systemLibrary);
    ASSERT_NE(library, nullptr);
    EXPECT_NE(program, library);
    for (const HMODULE module : {program, library})
        EXPECT_EQ(std::memcmp(module, imageMagic, std::strlen(imageMagic)), 0);
    EXPECT_EQ(GetModuleHandleA(fileName(library).c_str()), library);
    EXPECT_EQ(fileName(nullptr), fileName(program));
    EXPECT_EQ(baseName(fileName(library)), systemLibraryFile);
    // A trailing '.' names a file without an extension, as programs are named here.
    const std::string name = baseName(fileName(program));
    EXPECT_EQ(name.find("kbs_tests"), 0u);
    EXPECT_EQ(
        GetModuleHandleA(name.find('.') == std::string::npos ? (name + '.').c_str() : name.c_str()),
        program);

    EXPECT_EQ(GetModuleHandleA("kbs-no-such-module"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    const auto heapBlock = std::make_unique<char[]>(64); // belongs to no module
    char buffer[8];
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(heapBlock.get()), buffer, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 8), 8u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(buffer, 7), fileName(nullptr).substr(0, 7));
#ifndef _WIN32
    // Windows since Vista ends the copy with a NUL; wine still copies one more character, as XP.
    EXPECT_EQ('\0', buffer[7]);
#endif
}

} // namespace
