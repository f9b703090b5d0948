#include "kbs/filenames.h"

#include <gtest/gtest.h>

#include <string>

using kbs::FileString;
using Text = kbs::StringBase<char>;

namespace {

std::string currentDirectory() {
    char buffer[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return std::string(buffer, length);
}

// The system's own separator, as its current directory shows it.
std::string separator() {
    return currentDirectory()[0] == '/' ? "/" : "\\";
}

std::string withoutDrive(const std::string& name) {
    return name.size() >= 2 && name[1] == ':' ? name.substr(2) : name;
}

std::string executable() {
    char buffer[MAX_PATH];
    return std::string(buffer, GetModuleFileNameA(nullptr, buffer, sizeof buffer));
}

} // namespace

TEST(FileString, ConstructionIsNullTolerant) {
    EXPECT_TRUE(FileString(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(FileString(static_cast<const Text*>(nullptr)).empty());
    const Text name("a\\b");
    EXPECT_EQ(FileString(&name), "a\\b");
}

TEST(FileString, Drive) {
    EXPECT_EQ(FileString("C:\\a").drive(), "C:");
    EXPECT_EQ(FileString("c:").drive(), "c:");
    EXPECT_EQ(FileString("\\\\srv\\share\\a").drive(), "\\\\srv");
    EXPECT_EQ(FileString("\\\\srv").drive(), "");
    EXPECT_EQ(FileString("a").drive(), "");
    EXPECT_EQ(FileString("dir\\a").drive(), "");
}

TEST(FileString, BaseNameAndExtensions) {
    EXPECT_EQ(FileString("C:\\dir.x\\name").baseName(false), "name");
    EXPECT_EQ(FileString("C:\\dir\\name.tar.gz").baseName(false), "name.tar");
    EXPECT_EQ(FileString("C:\\dir\\name.tar.gz").baseName(true), "name.tar.gz");
    EXPECT_EQ(FileString("dir/file.txt").baseName(false), "file");
    EXPECT_EQ(FileString("C:\\dir\\").baseName(true), "");

    FileString name("C:\\dir.x\\name");
    name.removeExtension();
    EXPECT_EQ(name, "C:\\dir.x\\name");

    const Text txt("txt");
    const Text dotTxt(".txt");
    FileString a("C:\\dir\\a.bin");
    a.setExtension(&txt);
    EXPECT_EQ(a, "C:\\dir\\a.txt");
    a.setExtension(&dotTxt);
    EXPECT_EQ(a, "C:\\dir\\a.txt");
    FileString b("C:\\dir.x/b");
    b.setExtension(&txt);
    EXPECT_EQ(b, "C:\\dir.x/b.txt");
}

TEST(FileString, SetFileName) {
    const Text b("b");
    FileString name("C:\\dir\\a.bin");
    name.setFileName(&b, false);
    EXPECT_EQ(name, "C:\\dir\\b.bin");
    name.setFileName(&b, true);
    EXPECT_EQ(name, "C:\\dir\\b");

    FileString folder("C:\\dir\\");
    folder.setFileName(&b, false);
    EXPECT_EQ(folder, "C:\\dir\\b");

    FileString bare("a.bin");
    bare.setFileName(&b, false);
    EXPECT_EQ(bare, "b.bin");

    FileString dotted("C:\\dir.x\\a");
    dotted.setFileName(&b, false);
    EXPECT_EQ(dotted, "C:\\dir.x\\b");
}

TEST(FileString, DisplayTextQuotesAndDrives) {
    EXPECT_EQ(FileString().displayText(0, 0), "");
    EXPECT_EQ(FileString().displayText(0, FileString::RelativeToCurrent), "<none>");
    EXPECT_EQ(FileString("c:\\x").displayText(0, 0), "C:\\x");
    EXPECT_EQ(FileString("C:\\my dir\\a").displayText(0, 0), "\"C:\\my dir\\a\"");
    EXPECT_EQ(FileString("C:\\my dir\\a").displayText(0, FileString::NoQuotes), "C:\\my dir\\a");
}

TEST(FileString, DisplayTextDropsLeadingComponents) {
    const FileString name("C:\\a\\b\\dir\\file.txt");
    EXPECT_EQ(name.displayText(12, 0), "C:\\...\\file.txt");
    EXPECT_EQ(name.displayText(13, 0), "C:\\...\\dir\\file.txt");
    EXPECT_EQ(name.displayText(17, 0), "C:\\a\\b\\dir\\file.txt");
    EXPECT_EQ(FileString("C:\\a b\\c\\file.txt").displayText(10, 0), "\"C:\\...\\file.txt\"");
    EXPECT_EQ(FileString("C:\\averyveryverylongname").displayText(5, 0),
              "C:\\averyveryverylongname");
}

TEST(FileString, DisplayTextRelativeToCurrentDirectory) {
    const std::string current = currentDirectory();
    const std::string sep = separator();
    const unsigned relative = FileString::RelativeToCurrent;
    EXPECT_EQ(FileString(current.c_str()).displayText(0, relative), ".");
    EXPECT_EQ(FileString((current + sep + "f.txt").c_str()).displayText(0, relative), "f.txt");
    EXPECT_EQ(FileString((current + sep + "sub dir" + sep + "f").c_str()).displayText(0, relative),
              "\"sub dir" + sep + "f\"");
    // A sibling whose name merely starts like the current directory stays whole (on the current
    // drive, without its drive prefix).
    EXPECT_EQ(FileString((current + "x").c_str()).displayText(0, relative),
              withoutDrive(current) + "x");
    EXPECT_EQ(FileString("\\\\srv\\share\\f").displayText(0, relative), "\\\\srv\\share\\f");
    EXPECT_EQ(FileString("plain.txt").displayText(0, relative), "plain.txt");
}

TEST(FileString, Shortened) {
    EXPECT_EQ(FileString().shortened(10), "<none>");
    EXPECT_EQ(FileString("\\aaa\\bbb\\ccc\\ddd").shortened(10), "\\...\\ddd");
    EXPECT_EQ(FileString("\\aaa\\bbb\\ccc\\ddd").shortened(0), "\\aaa\\bbb\\ccc\\ddd");
    EXPECT_EQ(FileString("abcdefghijkl").shortened(5), "abcdefghijkl");
    // A drive other than the current directory's stays in front.
    const char other = currentDirectory()[0] == 'Q' ? 'R' : 'Q';
    const std::string withDrive = std::string(1, other) + ":\\aaa\\bbb\\ccc\\ddd";
    EXPECT_EQ(FileString(withDrive.c_str()).shortened(10), std::string(1, other) + ":\\...\\ddd");
}

TEST(FileString, SystemQueries) {
    const std::string current = currentDirectory();
    const std::string sep = separator();

    FileString here;
    here.makeFull();
    EXPECT_EQ(here, current);
    EXPECT_EQ(FileString("x").fullPath(), current + sep + "x");
    EXPECT_EQ(FileString(("a" + sep + ".." + sep + "b").c_str()).fullPath(), current + sep + "b");
    FileString name("something");
    name.setToCurrentDirectory();
    EXPECT_EQ(name, current);

    const FileString program(executable().c_str());
    EXPECT_TRUE(program.isFile());
    EXPECT_FALSE(FileString(current.c_str()).isFile());
    EXPECT_FALSE(FileString((current + sep + "no such file").c_str()).isFile());
    EXPECT_FALSE(FileString().isFile());
}
