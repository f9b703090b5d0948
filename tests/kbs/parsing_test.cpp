#include "kbs/exceptions.h"
#include "kbs/parsing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using kbs::Parsing;

namespace {

struct Failure {
    std::int32_t id;
    std::string piece;
};

// Reads `text` with `read` and reports the exception it must throw.
template <class Read> Failure failureOf(const char* text, Read read) {
    Parsing parsing(text);
    try {
        read(parsing);
    } catch (const kbs::Exception& error) {
        return {error.errorId(), error.parameter1()};
    }
    ADD_FAILURE() << "no exception for \"" << text << "\"";
    return {0, ""};
}

std::uint32_t number(const char* text, unsigned options = 0, std::uint32_t max = 0) {
    return Parsing(text).parseNumber(options, max);
}

Failure numberFailure(const char* text, unsigned options = 0, std::uint32_t max = 0) {
    return failureOf(text, [&](Parsing& parsing) { parsing.parseNumber(options, max); });
}

void expectFailure(const Failure& failure, std::int32_t id, const std::string& piece) {
    EXPECT_EQ(failure.id, id);
    EXPECT_EQ(failure.piece, piece);
}

} // namespace

TEST(Parsing, ReadsAJavaVersionText) {
    Parsing version("1.6.0_45");
    EXPECT_EQ(version.parseNumber(0, 0), 1u);
    EXPECT_EQ(version.matchChar(".", 0), 1);
    EXPECT_EQ(version.parseNumber(0, 0), 6u);
    EXPECT_EQ(version.matchChar(".", 0), 1);
    EXPECT_EQ(version.parseNumber(0, 0), 0u);
    EXPECT_EQ(version.matchChar(".", 0), 0);
    EXPECT_STREQ(version.position(), "_45");
}

TEST(Parsing, NumberBases) {
    EXPECT_EQ(number("0"), 0u);
    EXPECT_EQ(number("0x1F"), 31u);
    EXPECT_EQ(number("0X1f"), 31u);
    EXPECT_EQ(number("017"), 17u);
    EXPECT_EQ(number("017", kbs::ParseAllowOctal), 15u);
    EXPECT_EQ(number("1f", kbs::ParseHexDefault), 31u);
    EXPECT_EQ(number("0f", kbs::ParseHexDefault), 15u);
    EXPECT_EQ(number("0x10", kbs::ParseHexDefault), 16u);

    Parsing octal("09");
    EXPECT_EQ(octal.parseNumber(kbs::ParseAllowOctal, 0), 0u);
    EXPECT_STREQ(octal.position(), "9");
}

TEST(Parsing, MissingDigitsReportTheWord) {
    expectFailure(numberFailure(""), 2021, "");
    expectFailure(numberFailure("0x"), 2021, "0x");
    expectFailure(numberFailure("0xg1 rest"), 2021, "0xg1");
    expectFailure(numberFailure("-5"), 2021, "-5");
    expectFailure(numberFailure("abc def"), 2021, "abc");
    expectFailure(numberFailure("zz", kbs::ParseHexDefault), 2021, "zz");
    expectFailure(failureOf("-5", [](Parsing& p) { p.parseDecimal(0, 0); }), 2020, "-5");
    expectFailure(failureOf("\t", [](Parsing& p) { p.parseDecimal(kbs::ParseSkipBlanks, 0); }),
                  2020, "");
}

TEST(Parsing, RangeLimits) {
    EXPECT_EQ(number("4294967295"), 4294967295u);
    expectFailure(numberFailure("4294967296"), 2005, "4294967296");
    EXPECT_EQ(number("4294967296", kbs::ParseNoOverflowError), 4294967295u);
    EXPECT_EQ(number("99999999999", kbs::ParseNoOverflowError), 4294967295u);

    EXPECT_EQ(number("0xFFFFFFFF"), 0xFFFFFFFFu);
    expectFailure(numberFailure("0x100000000"), 2005, "0x10000000");
    EXPECT_EQ(number("0x100000001", kbs::ParseNoOverflowError), 1u);
    EXPECT_EQ(number("037777777777", kbs::ParseAllowOctal), 0xFFFFFFFFu);
    expectFailure(numberFailure("040000000000", kbs::ParseAllowOctal), 2005, "04000000000");

    EXPECT_EQ(number("255", 0, 255), 255u);
    expectFailure(numberFailure("256", 0, 255), 2005, "256");
    expectFailure(numberFailure("0x100", 0, 255), 2005, "0x100");
    expectFailure(numberFailure("4294967296", kbs::ParseNoOverflowError, 7), 2005, "4294967296");
}

TEST(Parsing, BlanksAroundItems) {
    Parsing padded(" 12 ");
    EXPECT_EQ(padded.parseNumber(kbs::ParseSkipBlanks, 0), 12u);
    EXPECT_STREQ(padded.position(), "");

    Parsing list(" a , b");
    EXPECT_EQ(list.matchChar("a", kbs::ParseSkipBlanks), 1);
    EXPECT_EQ(list.matchChar(".,", kbs::ParseSkipBlanks), 2);
    EXPECT_STREQ(list.position(), "b");

    Parsing blanks("\t x");
    EXPECT_TRUE(blanks.isBlank());
    blanks.skipBlanks();
    EXPECT_FALSE(blanks.isBlank());
    // The file functions here use the ANSI code page: line ends count as blanks too.
    Parsing lines("\r\n7");
    EXPECT_EQ(lines.parseDecimal(kbs::ParseSkipBlanks, 0), 7u);
}

TEST(Parsing, MatchChar) {
    Parsing comma(",");
    EXPECT_EQ(comma.matchChar(".,", 0), 2);
    Parsing letter("B");
    EXPECT_EQ(letter.matchChar("abc", 0), 0);
    EXPECT_EQ(letter.matchChar("abc", kbs::ParseIgnoreCase), 2);
    Parsing empty("");
    EXPECT_EQ(empty.matchChar("abc", 0), 0);
    Parsing x("x");
    EXPECT_EQ(x.matchChar("", 0), 0);
    EXPECT_EQ(x.matchChar(nullptr, 0), 0);
    EXPECT_STREQ(x.position(), "x");
}

TEST(Parsing, MarksAndReuseAfterFailure) {
    Parsing text("ab cd");
    EXPECT_EQ(text.markedText(0), "");
    text.markEnd(kbs::MarkToEnd);
    EXPECT_EQ(text.markedText(0), "ab cd");
    EXPECT_EQ(text.markedText(kbs::MarkWord), "ab");
    EXPECT_EQ(text.markedText(kbs::MarkToCursor), "");
    EXPECT_EQ(text.matchChar("a", 0), 1);
    EXPECT_EQ(text.markedText(kbs::MarkToCursor), "a");
    EXPECT_EQ(text.markedText(kbs::MarkWordToCursor), "a");

    // After a failure the cursor stands where it was found and reading goes on from there.
    Parsing version("1.x");
    EXPECT_EQ(version.parseNumber(0, 0), 1u);
    EXPECT_EQ(version.matchChar(".", 0), 1);
    EXPECT_THROW(version.parseNumber(0, 0), kbs::Exception);
    EXPECT_EQ(version.markedText(0), "x");
    EXPECT_EQ(version.matchChar("x", 0), 1);
    EXPECT_EQ(Parsing(nullptr).markedText(kbs::MarkWord), "");
}
