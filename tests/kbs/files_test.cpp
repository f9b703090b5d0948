#include "kbs/files.h"

#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(directory); }
    void TearDown() override { fs::remove_all(directory); }

    // What `run` throws: "id system-error file-name".
    template <class F> static std::string failure(F run) {
        try {
            run();
        } catch (const kbs::FileException& e) {
            return std::to_string(e.errorId()) + " " + std::to_string(e.systemError()) + " " +
                   e.fileName().c_str();
        }
        return "none";
    }
    static std::string openFailure(const std::string& name, std::uint32_t mode) {
        kbs::File file;
        file.setName(name.c_str());
        return failure([&] { file.open(mode); });
    }

    const fs::path directory =
        fs::temp_directory_path() / ("kbs-files-" + std::to_string(GetCurrentThreadId()));
    const std::string path = (directory / "data.bin").string();
    const std::string full = kbs::FileString(path).fullPath().c_str();
    kbs::Module module{"KB", "KeloRvs4J32"};
};

// Windows errors map to catalogue ids; FileMustExist is checked before the system is asked.
TEST_F(Files, OpenFailures) {
    const auto id = [](const std::string& text) { return text.substr(0, 4); };
    EXPECT_EQ(openFailure(path, kbs::FileRead), "1001 2 " + full);
    EXPECT_EQ(openFailure(path, kbs::FileMustExist | kbs::FileRead), "1001 0 " + path);
    EXPECT_EQ(id(openFailure(directory.string(), kbs::FileRead)), "1013");
    EXPECT_EQ(id(openFailure((directory / "no" / "file").string(), kbs::FileRead)), "1002");
    EXPECT_EQ(openFailure("", kbs::FileRead), "1003 0 ");
    std::ofstream(path) << "content";
    EXPECT_EQ(id(openFailure(path + "/x", kbs::FileRead)), "1002"); // a file taken for a folder
    kbs::File writer;
    writer.setName(path.c_str());
    writer.open(kbs::FileWrite);
    EXPECT_EQ(openFailure(path, kbs::FileRead), "1022 32 " + full);
    EXPECT_EQ(failure([] { kbs::File().name(); }), "1016 0 ");
}

TEST_F(Files, ReadWriteAppendAndTruncate) {
    kbs::File file;
    const std::string name = (directory / "." / "data.bin").string(); // not the full path
    file.setName(name.c_str());
    file.open(kbs::FileRead | kbs::FileWrite);
    file.write("0123456789", 10);
    file.open(kbs::FileWrite | kbs::FileAppend);
    file.write("ab", 2);
    EXPECT_EQ(file.seekEnd(), 12u);
    file.open(kbs::FileRead);
    char buffer[20];
    EXPECT_EQ(file.read(buffer, 20, false), 12u);
    file.rewind();
    EXPECT_EQ(failure([&] { file.read(buffer, 13, true); }), "1009 0 " + name);
    EXPECT_EQ(failure([&] { file.write("x", 1); }).substr(0, 4), "1013");
}

TEST(Crc32, StandardCheckValueInAnyPieces) {
    kbs::Crc32 crc;
    crc.add("1234", 4);
    crc.add("56789", 5);
    EXPECT_EQ(crc.result(), 0xCBF43926u);
}

} // namespace
