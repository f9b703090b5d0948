#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Asks for the size first, as Windows callers do.
std::string currentDirectory() {
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    std::string directory(size, '\0');
    EXPECT_EQ(size - 1, GetCurrentDirectoryA(size, directory.data()));
    directory.resize(size - 1);
    return directory;
}

// Paths are compared as each system writes them: from "C:\" on Windows, from "/" here.
class FullPathName : public ::testing::Test {
protected:
    const std::string cwd = currentDirectory();
    const char separator = cwd[0] == '/' ? '/' : '\\';
    const std::string root = cwd.substr(0, cwd.find(separator) + 1);

    std::string native(std::string path) const {
        std::replace(path.begin(), path.end(), '/', separator);
        return path;
    }

    std::string inCwd(const std::string& name) const {
        return cwd.back() == separator ? cwd + native(name) : cwd + separator + native(name);
    }

    // The full path, and where its file part starts (npos for none).
    std::string fullPath(const std::string& name, size_t* filePart = nullptr) const {
        const DWORD size = GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
        std::string path(size, '\0');
        LPSTR part = path.data();
        EXPECT_EQ(size - 1, GetFullPathNameA(name.c_str(), size, path.data(), &part));
        if (filePart != nullptr) {
            *filePart =
                part == nullptr ? std::string::npos : static_cast<size_t>(part - path.data());
        }
        path.resize(size - 1);
        return path;
    }
};

TEST_F(FullPathName, ResolvesDotsAndRepeatedSeparatorsByText) {
    size_t filePart;
    const std::string path = fullPath(native("a//b/./c/../d"), &filePart);
    EXPECT_EQ(inCwd("a/b/d"), path);
    EXPECT_EQ(path.size() - 1, filePart);

    EXPECT_EQ(cwd, fullPath("."));
    EXPECT_EQ(cwd, fullPath(native("a/..")));
    EXPECT_EQ(inCwd("a"), fullPath(native("a/.")));
}

TEST_F(FullPathName, KeepsATrailingSeparator) {
    size_t filePart;
    EXPECT_EQ(inCwd("dir/"), fullPath(native("dir/"), &filePart));
    EXPECT_EQ(std::string::npos, filePart);
    EXPECT_EQ(inCwd("dir/"), fullPath(native("dir/./")));
    EXPECT_EQ(inCwd("dir/"), fullPath(native("dir/sub/../")));
}

TEST_F(FullPathName, StopsAtTheRoot) {
    size_t filePart;
    EXPECT_EQ(root + "x", fullPath(root + native("../../x"), &filePart));
    EXPECT_EQ(root.size(), filePart);
    EXPECT_EQ(root, fullPath(root + "..", &filePart));
    EXPECT_EQ(std::string::npos, filePart);
}

TEST_F(FullPathName, AsksForTheSizeWhenTheBufferIsTooSmall) {
    const std::string expected = inCwd("name");
    const auto length = static_cast<DWORD>(expected.size());
    std::string buffer(expected.size() + 1, '#');
    EXPECT_EQ(length + 1, GetFullPathNameA("name", length, buffer.data(), nullptr));
    EXPECT_EQ('#', buffer[0]);
    EXPECT_EQ(length, GetFullPathNameA("name", length + 1, buffer.data(), nullptr));
    EXPECT_EQ(expected, buffer.c_str());

    EXPECT_EQ(0u, GetFullPathNameA("", length + 1, buffer.data(), nullptr));
}

class FileAttributes : public ::testing::Test {
protected:
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() /
        ("kbs-attributes-" + std::to_string(GetCurrentThreadId()));
    const std::filesystem::path file = directory / "file.txt";
    // Windows may add attributes of its own, such as for indexing.
    static constexpr DWORD checked =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY;

    void SetUp() override {
        std::filesystem::create_directory(directory);
        std::ofstream(file) << "content";
    }

    void TearDown() override {
        std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        std::filesystem::remove_all(directory);
    }

    static void expectMissing(const std::filesystem::path& name, DWORD error) {
        SCOPED_TRACE(name.string());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(name.string().c_str()));
        EXPECT_EQ(error, GetLastError());
    }
};

TEST_F(FileAttributes, TellsDirectoriesFromFilesAndMarksReadOnlyFiles) {
    const DWORD directoryAttributes = GetFileAttributesA(directory.string().c_str());
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, directoryAttributes & checked);
    // New files are marked for archiving.
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesA(file.string().c_str()) & checked);
    std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY,
              GetFileAttributesA(file.string().c_str()) & checked);
}

TEST_F(FileAttributes, TellsAMissingFileFromAMissingPath) {
    expectMissing(directory / "missing", ERROR_FILE_NOT_FOUND);
    expectMissing(directory / "missing" / "file.txt", ERROR_PATH_NOT_FOUND);
    expectMissing(file / "file.txt", ERROR_PATH_NOT_FOUND);
    expectMissing("", ERROR_PATH_NOT_FOUND);
}

} // namespace
