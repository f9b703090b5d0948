#include "kbs/console.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::string delivered;

// Blocks written one by one -> what the callback got, "|" after each. A block that ends a line
// puts a CR in the buffer before itself; more than 200 bytes go without waiting for a line end.
TEST(ConsoleStreamBuf, LineCallbackGetsLinesAndLongText) {
    const std::string a200(200, 'a');
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"abc", "\n"}, "abc\r\n|"},
        {{"abc\n", "x\r\n"}, "\rabc\n|\rx\r\n|"},
        {{"a\nb", ""}, ""},
        {{a200}, ""},
        {{a200, "b", "c\n"}, a200 + "b|\rc\n|"}};
    for (const auto& [blocks, expected] : rows) {
        delivered.clear();
        kbs::ConsoleStreamBuf buffer;
        buffer.setLineCallback([](const char* text) { delivered += text + std::string("|"); });
        std::ostream out(&buffer);
        for (const std::string& block : blocks)
            block.size() == 1 ? out.put(block[0]) : out.write(block.data(), block.size());
        EXPECT_EQ(delivered, expected) << blocks[0];
    }
}

// The tee gets every block and is flushed at a line end or once 80 bytes have gone since.
TEST(ConsoleStreamBuf, TeeGetsEverything) {
    const auto name = std::filesystem::temp_directory_path() /
                      ("kbs-tee-" + std::to_string(GetCurrentThreadId()));
    const std::pair<std::string, int> rows[] = {{"\n", 0}, {"ab", 2},  {std::string(77, 'c'), 79},
                                                {"d", 0},  {"e\r", 0}, {"f", 1}};
    std::string written;
    {
        auto file = std::make_unique<kbs::File>();
        file->setName(name.string().c_str());
        file->open(kbs::FileWrite);
        kbs::ConsoleStreamBuf buffer;
        buffer.setConsoleOutput(false);
        buffer.setTeeFile(std::move(file));
        std::ostream out(&buffer);
        for (const auto& [block, column] : rows) {
            out.write(block.data(), block.size());
            EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), column) << block;
            written += block;
        }
    }
    std::ifstream in(name, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), written);
    in.close();
    std::filesystem::remove(name);
}

} // namespace
