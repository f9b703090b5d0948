#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

// Paths are compared as each system writes them: from "C:\" on Windows, from "/" here.
class FullPathName : public ::testing::Test {
protected:
    std::string native(std::string path) const {
        std::replace(path.begin(), path.end(), '/', separator);
        return path;
    }
    // The full path, and where its file part starts (npos for none).
    std::string full(const std::string& name, size_t* filePart = nullptr) const {
        const DWORD size = GetFullPathNameA(native(name).c_str(), 0, nullptr, nullptr);
        std::string path(size, '\0');
        LPSTR part = nullptr;
        EXPECT_EQ(size - 1, GetFullPathNameA(native(name).c_str(), size, path.data(), &part));
        if (filePart)
            *filePart = part ? static_cast<size_t>(part - path.data()) : std::string::npos;
        path.resize(size - 1);
        return path;
    }

    std::string cwd = std::filesystem::current_path().string();
    const char separator = cwd[0] == '/' ? '/' : '\\';
    const std::string root = cwd.substr(0, cwd.find(separator) + 1);
    const std::string here = cwd.back() == separator ? cwd : cwd + separator;
};

TEST_F(FullPathName, ResolvesByTextAndStopsAtTheRoot) {
    const struct {
        std::string name, expected;
        size_t filePart; // its length; npos: none
    } rows[] = {
        {"a//b/./c/../d", here + native("a/b/d"), 1},
        {"a/..", cwd, cwd.size() - cwd.rfind(separator) - 1},
        {"a/.", here + "a", 1},
        {"dir/", here + native("dir/"), std::string::npos},
        {"dir/sub/../", here + native("dir/"), std::string::npos},
        {root + "../../x", root + "x", 1},
        {root + "..", root, std::string::npos},
    };
    for (const auto& row : rows) {
        size_t filePart;
        EXPECT_EQ(full(row.name, &filePart), row.expected) << row.name;
        const size_t length =
            filePart == std::string::npos ? filePart : row.expected.size() - filePart;
        EXPECT_EQ(length, row.filePart) << row.name;
    }
}

} // namespace
