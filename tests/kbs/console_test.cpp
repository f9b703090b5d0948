#include "kbs/console.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

namespace {

std::string delivered;

// Blocks written in turn -> what the line callback got ("|" after each) and the tee's column. A
// block ending a line puts a CR before itself and hands the text over, as do more than 200 bytes;
// the tee is flushed at LF or CR, or once 80 bytes have gone to it.
TEST(ConsoleStreamBuf, LineCallbackAndTee) {
    const std::string a200(200, 'a');
    // clang-format off
    const std::tuple<std::string, std::string, int> rows[] = {
        {"abc", "", 3}, {"\n", "abc\r\n|", 0}, {"abc\n", "\rabc\n|", 0}, {"x\r\n", "\rx\r\n|", 0},
        {a200, "", 0}, {"b", a200 + "b|", 1}, {std::string(78, 'c'), "", 79}, {"d", "", 0},
        {"e\r", "", 0}};
    // clang-format on
    const auto name = std::filesystem::temp_directory_path() /
                      ("kbs-tee-" + std::to_string(GetCurrentThreadId()));
    std::string written;
    {
        auto file = std::make_unique<kbs::File>();
        file->setName(name.string().c_str());
        file->open(kbs::FileWrite);
        kbs::ConsoleStreamBuf buffer;
        buffer.setTeeFile(std::move(file));
        buffer.setLineCallback([](const char* text) { delivered += text + std::string("|"); });
        std::ostream out(&buffer);
        for (const auto& [block, expected, column] : rows) {
            delivered.clear();
            block.size() == 1 ? out.put(block[0]) : out.write(block.data(), block.size());
            EXPECT_EQ(delivered + " " + std::to_string(kbs::ConsoleStreamBuf::teeColumn()),
                      expected + " " + std::to_string(column));
            written += block;
        }
    }
    std::ifstream in(name, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), written);
    in.close();
    std::filesystem::remove(name);
}

} // namespace
