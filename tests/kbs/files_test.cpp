#include "kbs/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using namespace kbs;

const fs::path directory =
    fs::temp_directory_path() / ("kbs-files-" + std::to_string(GetCurrentThreadId()));

// What `run` answers, or what it throws: "id system-error file-name" (the name without folder).
template <class F> std::string outcome(F run) {
    try {
        return run();
    } catch (const FileException& e) {
        return std::to_string(e.errorId()) + " " + std::to_string(e.systemError()) + " " +
               e.fileName().baseName(true).c_str();
    }
}

// Opens a name in a folder holding d ("content") and the folder sub while another opener holds it
// in a mode (0: none): the size, 3 bytes read and "w" for a byte written, or failures. Access and
// sharing are Windows'; truncating needs a creating bit; d/x takes a file for a folder.
TEST(Files, OpenModesAccessAndSharing) {
    // clang-format off
    const std::tuple<const char*, std::uint32_t, std::uint32_t, const char*> rows[] = {
        {"no", 0, FileRead, "1001 2 no"}, {"no", 0, FileMustExist | FileRead, "1001 0 no"},
        {"sub", 0, FileMustExist | FileRead, "1001 0 sub"}, {"sub", 0, FileRead, "1013"},
        {"no/f", 0, FileRead, "1002"}, {"d/x", 0, FileRead, "1002"}, {"", 0, FileRead, "1003 0 "},
        {"d", 0, FileTruncate | FileRead, "1003 87 d"}, {"d", 0, FileRead, "7|con|1013 5 d"},
        {"d", 0, FileWrite, "7|1013 5 d|w"}, {"d", 0, FileTruncate | FileWrite | FileRead, "0||w"},
        {"d", 0, FileAppend | FileWrite | FileRead, "7||w"},
        {"n", 0, FileCreate | FileRead, "0||1013"}, {"d", FileRead, FileShareRead, "1022 32 d"},
        {"d", FileShareRead, FileShareRead, "7|con|1013"}, {"d", FileShareRead, FileRead, "1022"},
        {"d", FileShareWrite, FileShareWrite, "7|1013 5 d|w"},
        {"d", FileShareRead, FileShareWrite, "1022"}, {"d", FileShareWrite, FileShareRead, "1022"}};
    // clang-format on
    fs::create_directories(directory / "sub");
    for (const auto& [name, held, mode, expected] : rows) {
        std::ofstream(directory / "d") << "content";
        const std::string path = *name ? (directory / name).string() : "";
        File holder, file;
        holder.setName(path.c_str());
        file.setName(path.c_str());
        if (held)
            holder.open(held);
        char text[4] = {};
        const std::string result = outcome([&] {
            std::string answers = std::to_string((file.open(mode), file.size())) + "|";
            answers += outcome([&] { return std::string(text, file.read(text, 3, false)); });
            return answers + "|" + outcome([&] { return file.write("w", 1), std::string("w"); });
        });
        EXPECT_EQ(result.substr(0, std::strlen(expected)), expected) << result;
    }
    fs::remove_all(directory);
}

// Positions, truncation and times through the implementation; then whole-file helpers.
TEST(Files, RoundTrips) {
    fs::create_directories(directory);
    const std::string name = (directory / "d").string();
    char text[8] = {};
    {
        FileImplWin impl;
        impl.create(name.c_str(), FileRead | FileWrite, 0);
        impl.write("hello world", 11);
        impl.seek(6);
        EXPECT_EQ(std::string(text, impl.read(text, 8)), "world");
        EXPECT_EQ(impl.position(), 11u);
        impl.seek(5);
        impl.truncate();
        EXPECT_EQ(impl.seekEnd(), 5u);
        const TimeStamp set[] = {436308983, 1};
        TimeStamp got[] = {0, 0};
        impl.setTimes(nullptr, &set[0], &set[1]);
        impl.getTimes(nullptr, &got[0], &got[1]);
        EXPECT_TRUE(std::equal(set, set + 2, got));
    }
    File file;
    file.setName(name.c_str());
    file.open(FileRead | FileWrite);
    file.writeZeros(61441);
    EXPECT_EQ(file.seekEnd(), 61441u);
    EXPECT_EQ(outcome([&] { return std::to_string(file.read(text, 1, true)); }), "1009 0 d");
    EXPECT_TRUE(file.wipe());
    EXPECT_EQ(fs::file_size(name), 0u);
    EXPECT_EQ(outcome([] { return File().name(); }), "1016 0 ");
    fs::remove_all(directory);
}

TEST(Crc32, StandardCheckValueInAnyPieces) {
    Crc32 crc;
    crc.add("1234", 4);
    crc.add("56789", 5);
    EXPECT_EQ(crc.result(), 0xCBF43926u);
}

} // namespace
