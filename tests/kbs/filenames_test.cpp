#include "kbs/filenames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using kbs::FileString;
using Text = kbs::StringBase<char>;

namespace {

struct NameRow {
    const char *name, *drive, *base, *baseWithExtension, *newExtension, *newName, *newFileName;
};

// setExtension("txt"), setFileName("b") keeping the extension, and replacing it.
const NameRow nameRows[] = {
    {"C:\\dir\\name.tar.gz", "C:", "name.tar", "name.tar.gz", "C:\\dir\\name.tar.txt",
     "C:\\dir\\b.gz", "C:\\dir\\b"},
    {"C:\\dir.x\\name", "C:", "name", "name", "C:\\dir.x\\name.txt", "C:\\dir.x\\b",
     "C:\\dir.x\\b"},
    {"c:", "c:", "c:", "c:", "c:.txt", "b", "b"},
    {"\\\\srv\\share\\a.bin", "\\\\srv", "a", "a.bin", "\\\\srv\\share\\a.txt",
     "\\\\srv\\share\\b.bin", "\\\\srv\\share\\b"},
    {"\\\\srv", "", "srv", "srv", "\\\\srv.txt", "\\\\b", "\\\\b"},
    {"dir/file.txt", "", "file", "file.txt", "dir/file.txt", "dir/b.txt", "dir/b"},
    {"C:\\dir\\", "C:", "", "", "C:\\dir\\.txt", "C:\\dir\\b", "C:\\dir\\b"},
};

class Names : public ::testing::TestWithParam<NameRow> {};

TEST_P(Names, Operations) {
    const NameRow& row = GetParam();
    const FileString name(row.name);
    EXPECT_EQ(name.drive(), row.drive);
    EXPECT_EQ(name.baseName(false), row.base);
    EXPECT_EQ(name.baseName(true), row.baseWithExtension);
    const Text txt("txt"), b("b");
    FileString changed = name;
    changed.setExtension(&txt);
    EXPECT_EQ(changed, row.newExtension);
    changed = name;
    changed.setFileName(&b, false);
    EXPECT_EQ(changed, row.newName);
    changed = name;
    changed.setFileName(&b, true);
    EXPECT_EQ(changed, row.newFileName);
}

INSTANTIATE_TEST_SUITE_P(Rows, Names, ::testing::ValuesIn(nameRows));

TEST(FileString, RelativeToTheCurrentDirectoryAndFullPaths) {
    char buffer[MAX_PATH];
    const std::string current(buffer, GetCurrentDirectoryA(sizeof buffer, buffer));
    const std::string separator = current[0] == '/' ? "/" : "\\";
    const auto relative = [](const std::string& name) {
        return FileString(name.c_str()).displayText(0, FileString::RelativeToCurrent);
    };
    EXPECT_EQ(relative(current), ".");
    EXPECT_EQ(relative(current + separator + "sub dir" + separator + "f"),
              "\"sub dir" + separator + "f\"");
    // A sibling whose name merely starts like the current directory stays whole.
    const std::string sibling = current + "x";
    EXPECT_EQ(relative(sibling), sibling[1] == ':' ? sibling.substr(2) : sibling);
    EXPECT_EQ(relative("\\\\srv\\share\\f"), "\\\\srv\\share\\f");

    // Full paths are made by text alone, and ".." stops at the root.
    const std::string root = current.substr(0, current.find(separator) + 1);
    const std::string rows[][2] = {
        {"a//b/./c/../d", current + separator + "a" + separator + "b" + separator + "d"},
        {"a/..", current},
        {"dir/sub/../", current + separator + "dir" + separator},
        {root + "../../x", root + "x"}};
    for (const auto& [name, expected] : rows) {
        std::string native = name;
        std::replace(native.begin(), native.end(), '/', separator[0]);
        EXPECT_EQ(FileString(native.c_str()).fullPath(), expected) << name;
    }

    // A buffer without room for the NUL gets nothing and the size needed is answered; a module
    // name is cut instead and the buffer's size answered.
    const auto length = static_cast<DWORD>(current.size());
    EXPECT_EQ(GetCurrentDirectoryA(length, buffer), length + 1);
    EXPECT_EQ(GetFullPathNameA(".", length, buffer, nullptr), length + 1);
    EXPECT_EQ(GetFullPathNameA(".", length + 1, buffer, nullptr), length);
    EXPECT_EQ(std::string(buffer, length + 1), current + '\0');
    const DWORD moduleLength = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, moduleLength), moduleLength);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

} // namespace
