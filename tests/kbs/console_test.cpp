#include "kbs/console.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> delivered;

// Up to a NUL to the console; with a callback, a line ends at a line feed (sent with CR LF) or
// after 200 bytes.
TEST(ConsoleStreamBuf, LinesGoToTheCallbackAndConsoleUpToANul) {
    kbs::ConsoleStreamBuf console;
    testing::internal::CaptureStdout();
    console.sputn("ab\0c", 4);
    console.sputc('x');
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "abx");
    console.setLineCallback([](const char* text) { delivered.emplace_back(text); });
    console.setConsoleOutput(false);
    testing::internal::CaptureStdout();
    for (const std::string& text :
         {std::string("ab\n"), std::string("c"), std::string("\n"), std::string(201, 'a')})
        console.sputn(text.c_str(), static_cast<std::streamsize>(text.size()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(delivered, (std::vector<std::string>{"ab\r\n", "c\r\n", std::string(201, 'a')}));
}

// The tee file's column restarts after 80 bytes and at line ends: 80 + "12\r" + "34\r\n".
TEST(ConsoleStreamBuf, TeeFileIsFlushedEvery80BytesAndAtLineEnds) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("kbs-console-" + std::to_string(GetCurrentThreadId()) + ".log");
    {
        auto tee = std::make_unique<kbs::File>();
        tee->setName(path.string().c_str());
        tee->open(kbs::FileWrite);
        kbs::ConsoleStreamBuf console;
        console.setConsoleOutput(false);
        console.setTeeFile(std::move(tee));
        console.sputn(std::string(80, 'a').c_str(), 80);
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 0);
        console.sputn("12\r", 3);
        console.sputn("34", 2);
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 2);
        console.sputc('\n');
        EXPECT_EQ(kbs::ConsoleStreamBuf::teeColumn(), 0);
    }
    EXPECT_EQ(std::filesystem::file_size(path), 86u);
    std::filesystem::remove(path);
}

} // namespace
