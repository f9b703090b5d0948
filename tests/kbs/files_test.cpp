#include "kbs/files.h"

#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
protected:
    const fs::path directory =
        fs::temp_directory_path() / ("kbs-files-" + std::to_string(GetCurrentThreadId()));
    const std::string path = (directory / "data.bin").string();

    void SetUp() override { fs::create_directories(directory); }
    void TearDown() override { fs::remove_all(directory); }

    void createFile(const std::string& content) const {
        std::ofstream(path, std::ios::binary) << content;
    }

    static kbs::FileException openFailure(const std::string& name, std::uint32_t mode) {
        kbs::File file;
        file.setName(name.c_str());
        try {
            file.open(mode);
        } catch (const kbs::FileException& failure) {
            return failure;
        }
        ADD_FAILURE() << name << " opened with mode " << mode;
        return kbs::FileException(0, "", "", "", "");
    }
};

TEST_F(Files, OpenModes) {
    kbs::FileException missing = openFailure(path, kbs::FileRead);
    EXPECT_EQ(missing.errorId(), 1001);
    EXPECT_EQ(missing.systemError(), 2u);
    EXPECT_EQ(missing.fileName(), kbs::FileString(path).fullPath());

    // Checked before the system is asked.
    for (const std::string& name : {path, directory.string()}) {
        kbs::FileException mustExist = openFailure(name, kbs::FileMustExist | kbs::FileRead);
        EXPECT_EQ(mustExist.errorId(), 1001) << name;
        EXPECT_EQ(mustExist.systemError(), 0u) << name;
        EXPECT_EQ(mustExist.fileName(), name);
    }
    EXPECT_EQ(openFailure(directory.string(), kbs::FileRead).errorId(), 1013);
    EXPECT_EQ(openFailure((directory / "no" / "file").string(), kbs::FileRead).errorId(), 1002);
    kbs::FileException unnamed = openFailure("", kbs::FileRead);
    EXPECT_EQ(unnamed.errorId(), 1003);
    EXPECT_TRUE(unnamed.fileName().empty());
    EXPECT_FALSE(fs::exists(path));

    kbs::File file;
    file.setName(path.c_str());
    file.open(kbs::FileRead | kbs::FileWrite);
    EXPECT_TRUE(fs::exists(path));
    file.write("0123456789", 10);
    file.close();

    file.open(kbs::FileWrite | kbs::FileAppend);
    file.write("ab", 2);
    EXPECT_EQ(file.seekEnd(), 12u);
    file.open(kbs::FileWrite | kbs::FileTruncate);
    EXPECT_EQ(file.size(), 0u);
    file.close();
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(Files, ShareModes) {
    createFile("content");
    kbs::File writer;
    writer.setName(path.c_str());
    writer.open(kbs::FileWrite);
    kbs::FileException locked = openFailure(path, kbs::FileRead);
    EXPECT_EQ(locked.errorId(), 1022);
    EXPECT_EQ(locked.systemError(), 32u);
    writer.close();
    kbs::File reader;
    reader.setName(path.c_str());
    reader.open(kbs::FileRead);
}

TEST_F(Files, ReadsExactlyOrReportsTheCallersName) {
    createFile(std::string(100, 'x'));
    // Not the full path that the system is given.
    const std::string name = (directory / "." / "data.bin").string();
    kbs::File file;
    file.setName(name.c_str());
    char buffer[200] = {};
    EXPECT_THROW(file.read(buffer, 1, false), kbs::FileException);

    file.open(kbs::FileMustExist | kbs::FileShareRead | kbs::FileRead);
    ASSERT_EQ(file.size(), 100u);
    EXPECT_EQ(file.read(buffer, 60, true), 60u);
    EXPECT_EQ(file.read(buffer, 60, false), 40u);
    file.rewind();
    try {
        file.read(buffer, 101, true);
        FAIL() << "a short read passed as exact";
    } catch (const kbs::FileException& failure) {
        EXPECT_EQ(failure.errorId(), 1009);
        EXPECT_EQ(failure.fileName(), name);
    }
    // A read-only handle refuses writes; the caller's name replaces the full path.
    try {
        file.write("x", 1);
        FAIL() << "wrote through a read-only handle";
    } catch (const kbs::FileException& failure) {
        EXPECT_EQ(failure.errorId(), 1013);
        EXPECT_EQ(failure.systemError(), 5u);
        EXPECT_EQ(failure.fileName(), name);
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

TEST_F(Files, WriteZerosAndWipe) {
    createFile(std::string(100, 'x'));
    RecordingFile file;
    file.setName(path.c_str());
    EXPECT_TRUE(file.wipe());
    EXPECT_EQ(file.writes, std::vector<std::uint32_t>{100});
    EXPECT_EQ(fs::file_size(path), 0u);

    file.writes.clear();
    file.open(kbs::FileRead | kbs::FileWrite);
    file.writeZeros(0);
    file.writeZeros(61441);
    EXPECT_EQ(file.writes, (std::vector<std::uint32_t>{61440, 1}));
    file.rewind();
    std::vector<char> content(61441, 'x');
    file.read(content.data(), 61441, true);
    EXPECT_EQ(content, std::vector<char>(61441, 0));
}

TEST_F(Files, TimesRoundTripAsTimeStamps) {
    createFile("content");
    kbs::FileImplWin impl;
    impl.open(path.c_str(), kbs::FileRead | kbs::FileWrite);
    // 2013-10-28 20:56:23 UTC.
    const kbs::TimeStamp written = 436308983;
    const kbs::TimeStamp accessed = written + 60;
    impl.setTimes(nullptr, &accessed, &written);
    kbs::TimeStamp lastAccess = 0;
    kbs::TimeStamp lastWrite = 0;
    impl.getTimes(nullptr, &lastAccess, &lastWrite);
    EXPECT_EQ(lastAccess, accessed);
    EXPECT_EQ(lastWrite, written);
}

TEST_F(Files, CreateMakesNewOrEmptiesExistingFiles) {
    createFile("content");
    kbs::FileImplWin impl;
    impl.create(path.c_str(), kbs::FileRead, 0);
    EXPECT_EQ(impl.size(), 0u);
    impl.write("new", 3);
    EXPECT_EQ(impl.position(), 3u);
}

class FileMessages : public Files {
protected:
    kbs::Module module{"KB", "KeloRvs4J32"};
};

TEST_F(FileMessages, ShowTheFileNameOrNone) {
    kbs::File unnamed;
    try {
        unnamed.name();
        FAIL() << "a file without a name answered one";
    } catch (const kbs::FileException& failure) {
        EXPECT_STREQ(failure.what(), "KeloRvs4J32: fatal error KB1016 - bad file/folder: <none>.");
    }

    const std::string shown =
        kbs::FileString(path).fullPath().displayText(0, kbs::FileString::RelativeToCurrent);
    EXPECT_EQ(std::string(openFailure(path, kbs::FileRead).what()),
              "KeloRvs4J32: fatal error KB1001 - file " + shown + " not found.");
    // %1 is the file name whatever the first parameter says; the parameters follow as %2, %3.
    kbs::FileException custom(1025, "first", "second", "", "");
    custom.setFileName(kbs::FileString(path.c_str()));
    EXPECT_EQ(std::string(custom.what()),
              "KeloRvs4J32: fatal error KB1025 - bad specification in environment variable " +
                  kbs::FileString(path).displayText(0, kbs::FileString::RelativeToCurrent) +
                  ": first.");
}

TEST(Crc32, StandardCheckValueInAnyPieces) {
    kbs::Crc32 crc;
    crc.add("123456789", 9);
    EXPECT_EQ(crc.result(), 0xCBF43926u);
    crc.start();
    crc.add("1234", 4);
    crc.add("", 0);
    crc.add("56789", 5);
    EXPECT_EQ(crc.result(), 0xCBF43926u);
    crc.start();
    EXPECT_EQ(crc.result(), 0u);
}

} // namespace
