#include "kbs/console.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> delivered;

void collect(const char* text) {
    delivered.emplace_back(text);
}

class Console : public kbs::ConsoleStreamBuf {
public:
    using kbs::ConsoleStreamBuf::overflow;
};

TEST(ConsoleStreamBuf, LineCallbackGetsLinesWithCrOrMoreThan200Bytes) {
    delivered.clear();
    Console console;
    console.setLineCallback(&collect);
    console.sputn("abc", 3);
    EXPECT_TRUE(delivered.empty());
    console.sputc('\n');
    EXPECT_EQ(delivered, std::vector<std::string>{"abc\r\n"});

    delivered.clear();
    console.sputn(std::string(200, 'a').c_str(), 200);
    EXPECT_TRUE(delivered.empty());
    console.sputc('b');
    EXPECT_EQ(delivered, std::vector<std::string>{std::string(200, 'a') + 'b'});

    EXPECT_EQ(console.overflow(Console::traits_type::eof()), Console::traits_type::eof());
    EXPECT_EQ(delivered.size(), 1u);
}

TEST(ConsoleStreamBuf, PrintsToStandardOutputUpToANul) {
    Console console;
    testing::internal::CaptureStdout();
    console.sputn("ab\0cd", 5);
    console.sputc('x');
    console.sputn("", 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "abx");

    console.setConsoleOutput(false);
    testing::internal::CaptureStdout();
    console.sputn("quiet", 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ConsoleStreamBuf, TeeFileIsFlushedEvery80BytesAndAtLineEnds) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("kbs-console-" + std::to_string(GetCurrentThreadId()) + ".log");
    std::filesystem::remove(path);
    {
        auto tee = std::make_unique<kbs::File>();
        tee->setName(path.string().c_str());
        tee->open(kbs::FileWrite);
        Console console;
        console.setConsoleOutput(false);
        console.setTeeFile(std::move(tee));
        console.sputc('\r');
        ASSERT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 0);
        console.sputn(std::string(79, 'a').c_str(), 79);
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 79);
        console.sputc('a');
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 0);
        console.sputn("123456789\r", 10);
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 0);
        console.sputn("12", 2);
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 2);
        console.sputc('\n');
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 0);
    }
    EXPECT_EQ(std::filesystem::file_size(path), 94u);
    std::filesystem::remove(path);
}

} // namespace
