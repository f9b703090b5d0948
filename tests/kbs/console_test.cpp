#include "kbs/console.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> delivered;

TEST(ConsoleStreamBuf, LinesGoToTheCallbackAndConsoleUpToANul) {
    kbs::ConsoleStreamBuf console;
    testing::internal::CaptureStdout();
    console.sputn("ab\0c", 4);
    console.sputc('x');
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "abx");
    // With a callback, a line ends at a line feed (sent with CR LF) or after 200 bytes.
    console.setLineCallback([](const char* text) { delivered.emplace_back(text); });
    console.sputn("ab\n", 3);
    console.sputn("c", 1);
    console.sputc('\n');
    console.sputn(std::string(201, 'a').c_str(), 201);
    EXPECT_EQ(delivered, (std::vector<std::string>{"ab\r\n", "c\r\n", std::string(201, 'a')}));
    console.setLineCallback(nullptr);
    console.setConsoleOutput(false);
    testing::internal::CaptureStdout();
    console.sputn("quiet", 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ConsoleStreamBuf, TeeFileIsFlushedEvery80BytesAndAtLineEnds) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("kbs-console-" + std::to_string(GetCurrentThreadId()) + ".log");
    std::filesystem::remove(path);
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
