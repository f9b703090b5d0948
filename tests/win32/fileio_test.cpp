#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class FileHandles : public ::testing::Test {
protected:
    const fs::path directory =
        fs::temp_directory_path() / ("kbs-handles-" + std::to_string(GetCurrentThreadId()));
    const std::string path = (directory / "file.txt").string();

    void SetUp() override {
        fs::create_directory(directory);
        std::ofstream(path) << "0123456789";
    }
    void TearDown() override { fs::remove_all(directory); }

    HANDLE open(DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) const {
        return CreateFileA(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
    }

    // Opens and closes at once; answers the error code, 0 when the open succeeded.
    DWORD tryOpen(DWORD access, DWORD share) const {
        const HANDLE handle = open(access, share);
        if (handle == INVALID_HANDLE_VALUE)
            return GetLastError();
        CloseHandle(handle);
        return 0;
    }
};

TEST_F(FileHandles, ShareModesOfOpenHandlesRefuseConflictingOpeners) {
    constexpr DWORD read = GENERIC_READ;
    constexpr DWORD write = GENERIC_WRITE;
    constexpr DWORD both = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct {
        DWORD access, share, laterAccess, laterShare, error;
    } cases[] = {
        {write, 0, read, both, ERROR_SHARING_VIOLATION},
        {read, FILE_SHARE_READ, read, FILE_SHARE_READ, 0},
        {read, FILE_SHARE_READ, read | write, both, ERROR_SHARING_VIOLATION},
        // The later opener refuses the writer that is already there.
        {write, both, read, FILE_SHARE_READ, ERROR_SHARING_VIOLATION},
        {read | write, both, read | write, both, 0},
        {write, FILE_SHARE_WRITE, write, FILE_SHARE_WRITE, 0},
        {write, FILE_SHARE_WRITE, read, both, ERROR_SHARING_VIOLATION},
    };
    for (const auto& c : cases) {
        const HANDLE first = open(c.access, c.share);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        EXPECT_EQ(tryOpen(c.laterAccess, c.laterShare), c.error)
            << std::hex << c.access << " " << c.share << " then " << c.laterAccess << " "
            << c.laterShare;
        EXPECT_TRUE(CloseHandle(first));
        EXPECT_EQ(tryOpen(c.laterAccess, c.laterShare), 0u);
    }
}

// What kbs::File does not reach: reads at the end, seeks before the start, the high half of a size,
// FILE_CURRENT and a handle closed twice. Access denied and truncation are the Files tests'.
TEST_F(FileHandles, ReadWriteSeekAndTruncateWithinTheAccessGranted) {
    const HANDLE reader = open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    char buffer[16] = {};
    DWORD count = 99;
    EXPECT_EQ(SetFilePointer(reader, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "456789");
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SetFilePointer(reader, -11, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    const HANDLE writer = open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(SetFilePointer(writer, -6, nullptr, FILE_END), 4u);
    EXPECT_EQ(SetFilePointer(writer, 2, nullptr, FILE_CURRENT), 6u);
    EXPECT_TRUE(SetEndOfFile(writer));
    DWORD high = 1;
    EXPECT_EQ(GetFileSize(reader, &high), 6u);
    EXPECT_EQ(high, 0u);
    EXPECT_TRUE(CloseHandle(writer));
    EXPECT_TRUE(CloseHandle(reader));
    EXPECT_FALSE(CloseHandle(reader));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
