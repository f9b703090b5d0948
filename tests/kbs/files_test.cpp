#include "kbs/files.h"

#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// What `run` throws: "id system-error file-name".
template <class F> std::string failure(F run) {
    try {
        run();
    } catch (const kbs::FileException& e) {
        return std::to_string(e.errorId()) + " " + std::to_string(e.systemError()) + " " +
               e.fileName().c_str();
    }
    return "none";
}

std::string openFailure(const std::string& name, std::uint32_t mode = kbs::FileRead) {
    kbs::File file;
    file.setName(name.c_str());
    return failure([&] { file.open(mode); });
}

// Windows errors map to catalogue ids; FileMustExist is checked before the system is asked.
TEST(Files, OpenFailures) {
    const kbs::Module module{"KB", "KeloRvs4J32"};
    const fs::path directory =
        fs::temp_directory_path() / ("kbs-files-" + std::to_string(GetCurrentThreadId()));
    fs::create_directories(directory);
    const std::string path = (directory / "data.bin").string();
    const std::string full = kbs::FileString(path).fullPath().c_str();
    const auto id = [](const std::string& text) { return text.substr(0, 4); };
    EXPECT_EQ(openFailure(path), "1001 2 " + full);
    EXPECT_EQ(openFailure(path, kbs::FileMustExist | kbs::FileRead), "1001 0 " + path);
    EXPECT_EQ(id(openFailure(directory.string())), "1013");
    EXPECT_EQ(id(openFailure((directory / "no" / "file").string())), "1002");
    EXPECT_EQ(openFailure(""), "1003 0 ");
    std::ofstream(path) << "content";
    EXPECT_EQ(id(openFailure(path + "/x")), "1002"); // a file taken for a folder
    {
        kbs::File writer;
        writer.setName(path.c_str());
        writer.open(kbs::FileWrite);
        EXPECT_EQ(openFailure(path), "1022 32 " + full);
    }
    EXPECT_EQ(failure([] { kbs::File().name(); }), "1016 0 ");
    fs::remove_all(directory);
}

TEST(Crc32, StandardCheckValueInAnyPieces) {
    kbs::Crc32 crc;
    crc.add("1234", 4);
    crc.add("56789", 5);
    EXPECT_EQ(crc.result(), 0xCBF43926u);
}

} // namespace
