#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#ifndef _WIN32
#include <dlfcn.h>
#include <gnu/libc-version.h>
#endif

namespace {

#ifdef _WIN32
// Without an extension, as Windows then looks for a DLL.
constexpr const char* systemLibrary = "KERNEL32";
constexpr const char* systemLibraryFile = "kernel32.dll";
// The image headers a module handle points at.
constexpr const char* imageMagic = "MZ";
#else
constexpr const char* systemLibrary = "LIBC.SO.6";
constexpr const char* systemLibraryFile = "libc.so.6";
constexpr const char* imageMagic = "\x7F"
                                   "ELF";
#endif

std::string moduleFileName(HMODULE module) {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string baseName(const std::string& path) {
    const char separator = path[0] == '/' ? '/' : '\\';
    return path.substr(path.rfind(separator) + 1);
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool startsWithImageHeader(HMODULE module) {
    return std::memcmp(module, imageMagic, std::strlen(imageMagic)) == 0;
}

TEST(Modules, TheMainProgramIsTheTestExecutable) {
    const std::string path = moduleFileName(nullptr);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(0u, baseName(path).find("kbs_tests"));
    EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    const HMODULE program = GetModuleHandleA(nullptr);
    ASSERT_NE(nullptr, program);
    EXPECT_TRUE(startsWithImageHeader(program));
    EXPECT_EQ(path, moduleFileName(program));
    // A trailing '.' names a file without an extension, as programs are named here.
    std::string name = baseName(path);
    if (name.find('.') == std::string::npos) {
        name += '.';
    }
    EXPECT_EQ(program, GetModuleHandleA(name.c_str()));
}

TEST(Modules, FindsALoadedLibraryByNameRegardlessOfCase) {
    const HMODULE library = GetModuleHandleA(systemLibrary);
    ASSERT_NE(nullptr, library);
    EXPECT_NE(GetModuleHandleA(nullptr), library);
    EXPECT_TRUE(startsWithImageHeader(library));
    const std::string path = moduleFileName(library);
    EXPECT_EQ(systemLibraryFile, lowerCase(baseName(path)));
    EXPECT_EQ(library, GetModuleHandleA(path.c_str()));
}

TEST(Modules, UnknownModulesAreNotFound) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(nullptr, GetModuleHandleA("kbs-no-such-module"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

    // Heap memory belongs to no module.
    const auto heapBlock = std::make_unique<char[]>(64);
    char buffer[MAX_PATH];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0u, GetModuleFileNameA(reinterpret_cast<HMODULE>(heapBlock.get()), buffer, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST(Modules, FileNameIsTruncatedToTheBuffer) {
    const std::string path = moduleFileName(nullptr);
    ASSERT_GT(path.size(), 8u);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(8u, GetModuleFileNameA(nullptr, buffer, 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(path.substr(0, 7), std::string(buffer, 7));
#ifndef _WIN32
    // Windows since Vista ends the copy with a NUL; wine still copies one more character, as XP.
    EXPECT_EQ('\0', buffer[7]);
#endif
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0u, GetModuleFileNameA(nullptr, buffer, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

#ifndef _WIN32
// dladdr() is this system's own account of where each object starts.
TEST(Modules, HandlesAreTheBasesTheDynamicLinkerReports) {
    Dl_info info;
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&baseName), &info));
    EXPECT_EQ(reinterpret_cast<void*>(GetModuleHandleA(nullptr)), info.dli_fbase);

    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info));
    const HMODULE library = GetModuleHandleA(systemLibrary);
    EXPECT_EQ(reinterpret_cast<void*>(library), info.dli_fbase);
    EXPECT_EQ(info.dli_fname, moduleFileName(library));
}
#endif

} // namespace
