#include "kbs/files.h"

#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(directory); }
    void TearDown() override { fs::remove_all(directory); }

    // The exception opening `name` throws: catalogue id, system error, file name.
    static std::tuple<std::int32_t, DWORD, std::string> openFailure(const std::string& name,
                                                                    std::uint32_t mode) {
        kbs::File file;
        file.setName(name.c_str());
        try {
            file.open(mode);
        } catch (const kbs::FileException& failure) {
            return {failure.errorId(), failure.systemError(), failure.fileName()};
        }
        return {0, 0, "opened"};
    }

    const fs::path directory =
        fs::temp_directory_path() / ("kbs-files-" + std::to_string(GetCurrentThreadId()));
    const std::string path = (directory / "data.bin").string();
    kbs::Module module{"KB", "KeloRvs4J32"};
};

// Windows errors map to catalogue ids; FileMustExist is checked before the system is asked.
TEST_F(Files, OpenFailures) {
    const std::string full = kbs::FileString(path).fullPath();
    using Failure = std::tuple<std::int32_t, DWORD, std::string>;
    EXPECT_EQ(openFailure(path, kbs::FileRead), Failure(1001, ERROR_FILE_NOT_FOUND, full));
    EXPECT_EQ(openFailure(path, kbs::FileMustExist | kbs::FileRead), Failure(1001, 0, path));
    EXPECT_EQ(std::get<0>(openFailure(directory.string(), kbs::FileRead)), 1013);
    EXPECT_EQ(std::get<0>(openFailure((directory / "no" / "file").string(), kbs::FileRead)), 1002);
    EXPECT_EQ(std::get<0>(openFailure(path + "/x", kbs::FileRead)), 1002);
    EXPECT_EQ(openFailure("", kbs::FileRead), Failure(1003, 0, ""));
    std::ofstream(path) << "content";
    kbs::File writer;
    writer.setName(path.c_str());
    writer.open(kbs::FileWrite);
    EXPECT_EQ(openFailure(path, kbs::FileRead), Failure(1022, ERROR_SHARING_VIOLATION, full));
    // The texts name the file as the user sees it, or <none>.
    kbs::FileException custom(1025, "first", "", "", "");
    custom.setFileName(kbs::FileString(path.c_str()));
    EXPECT_EQ(std::string(custom.what()),
              "KeloRvs4J32: fatal error KB1025 - bad specification in environment variable " +
                  kbs::FileString(path).displayText(0, kbs::FileString::RelativeToCurrent) +
                  ": first.");
    try {
        kbs::File().name();
        ADD_FAILURE();
    } catch (const kbs::FileException& failure) {
        EXPECT_STREQ(failure.what(), "KeloRvs4J32: fatal error KB1016 - bad file/folder: <none>.");
    }
}

class RecordingFile : public kbs::File {
public:
    void write(const void* buffer, std::uint32_t count) override {
        writes.push_back(count);
        kbs::File::write(buffer, count);
    }
    std::vector<std::uint32_t> writes;
};

TEST_F(Files, ReadWriteAppendTruncateAndWipe) {
    RecordingFile file;
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
    try {
        file.read(buffer, 13, true);
        ADD_FAILURE() << "a short read passed as exact";
    } catch (const kbs::FileException& failure) {
        EXPECT_EQ(failure.errorId(), 1009);
        EXPECT_EQ(failure.fileName(), name);
    }
    try {
        file.write("x", 1);
        ADD_FAILURE() << "wrote through a read-only handle";
    } catch (const kbs::FileException& failure) {
        EXPECT_EQ(failure.errorId(), 1013);
        EXPECT_EQ(failure.fileName(), name);
    }
    file.close();
    file.writes.clear();
    std::ofstream(path) << std::string(61441, 'x');
    EXPECT_TRUE(file.wipe());
    EXPECT_EQ(file.writes, (std::vector<std::uint32_t>{61440, 1}));
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(Files, TimesRoundTripAndCreateEmpties) {
    std::ofstream(path) << "content";
    kbs::FileImplWin impl;
    impl.create(path.c_str(), kbs::FileRead, 0);
    EXPECT_EQ(impl.size(), 0u);
    const kbs::TimeStamp written = 436308983, accessed = written + 60; // 2013-10-28 20:56:23 UTC
    impl.setTimes(nullptr, &accessed, &written);
    kbs::TimeStamp times[2] = {};
    impl.getTimes(nullptr, &times[0], &times[1]);
    EXPECT_EQ(times[0], accessed);
    EXPECT_EQ(times[1], written);
}

TEST(Crc32, StandardCheckValueInAnyPieces) {
    kbs::Crc32 crc;
    crc.add("1234", 4);
    crc.add("56789", 5);
    EXPECT_EQ(crc.result(), 0xCBF43926u);
}

} // namespace
