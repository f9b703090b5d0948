#include "kbs/console.h"

#include <gtest/gtest.h>

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

} // namespace
