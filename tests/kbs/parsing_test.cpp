#include "kbs/exceptions.h"
#include "kbs/parsing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NumberRow {
    const char* text;
    unsigned options;
    std::uint32_t max;
    std::int64_t expected;        // -id: the error it throws
    const char* piece;            // the error's %1, or what is left to read
    const char* marked = nullptr; // the number's word up to the cursor, when not the text
};

constexpr unsigned Octal = kbs::ParseAllowOctal, Hex = kbs::ParseHexDefault,
                   NoOverflow = kbs::ParseNoOverflowError, Blanks = kbs::ParseSkipBlanks;

// 017 is decimal unless octal is asked for; line ends are blanks for the ANSI file functions.
// clang-format off
const NumberRow numberRows[] = {
    {"0X1f", 0, 0, 31, ""}, {"017", 0, 0, 17, ""}, {"017", Octal, 0, 15, ""},
    {"1f", Hex, 0, 31, ""}, {"09", Octal, 0, 0, "9", "0"}, {"\r\n 7 x", Blanks, 0, 7, "x", "7"},
    {"1.6", 0, 0, 1, ".6", "1"}, {"", 0, 0, -2021, ""}, {"0xg1 rest", 0, 0, -2021, "0xg1"},
    {"-5", 0, 0, -2021, "-5"}, {"0x100", 0, 255, -2005, "0x100"}, {"255", 0, 255, 255, ""},
    {"4294967295", 0, 0, 4294967295, ""}, {"4294967296", 0, 0, -2005, "4294967296"},
    {"4294967296", NoOverflow, 0, 4294967295, ""}, {"0xFFFFFFFF", 0, 0, 0xFFFFFFFF, ""},
    {"0x100000000", 0, 0, -2005, "0x10000000"}, {"0x100000001", NoOverflow, 0, 1, ""},
    {"037777777777", Octal, 0, 0xFFFFFFFF, ""}, {"040000000000", Octal, 0, -2005, "04000000000"},
    {"4294967296", NoOverflow, 7, -2005, "4294967296"}};
// clang-format on

class ParseNumber : public ::testing::TestWithParam<NumberRow> {};

TEST_P(ParseNumber, Reads) {
    const NumberRow& row = GetParam();
    kbs::Parsing parsing(row.text);
    try {
        EXPECT_EQ(parsing.parseNumber(row.options, row.max), row.expected);
        EXPECT_STREQ(parsing.position(), row.piece);
        EXPECT_EQ(parsing.markedText(kbs::MarkWordToCursor), row.marked ? row.marked : row.text);
    } catch (const kbs::Exception& error) {
        EXPECT_EQ(-error.errorId(), row.expected);
        EXPECT_EQ(error.parameter1(), row.piece);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseNumber, ::testing::ValuesIn(numberRows));

} // namespace
