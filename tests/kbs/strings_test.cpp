#include "kbs/base64.h"
#include "kbs/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Text = kbs::StringBase<char>;

namespace {

struct FormatRow {
    const char *format, *p1, *p2, *p3, *expected;
};

const FormatRow formatRows[] = {
    {"%2 and %1", "A", "B", nullptr, "B and A"},
    {"%1%1", "A", nullptr, nullptr, "AA"},
    {"%1 %3", "A", "B", "D", "A %3"},             // without %2 the substitution stops
    {"%1", "x%2y", "B", nullptr, "xBy"},          // an argument is searched for later placeholders
    {"x%1x", "%1%1", nullptr, nullptr, "x%1%1x"}, // but not for its own
    {"%10", "A", nullptr, nullptr, "A0"},
    {nullptr, "A", nullptr, nullptr, ""},
    {"[%1]", nullptr, nullptr, nullptr, "[]"},
};

class Format : public ::testing::TestWithParam<FormatRow> {};

TEST_P(Format, SubstitutesNumberedPlaceholders) {
    kbs::StringOld text("previous");
    const FormatRow& row = GetParam();
    EXPECT_EQ(text.format(row.format, row.p1, row.p2, row.p3), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, Format, ::testing::ValuesIn(formatRows));

TEST(Format, AllNinePlaceholders) {
    EXPECT_EQ(
        kbs::StringOld().format("%9%8%7%6%5%4%3%2%1", "1", "2", "3", "4", "5", "6", "7", "8", "9"),
        "987654321");
}

struct Base64Row {
    const char* text;
    std::size_t room, length;
    std::string expected; // the bytes stored, then zeros up to room
};

const Base64Row base64Rows[] = {
    {"TWFu", 8, 3, std::string("Man\0\0\0\0\0", 8)},
    {"TWE=", 3, 2, std::string("Ma\0", 3)},
    {"T*Fu", 3, 3, "L\x01n"}, // outside the alphabet: zero bits
    {"////", 3, 3, "\xFF\xFF\xFF"},
    {"TWFu", 1, 3, "M"},                      // a short destination gets a prefix
    {"TWF", 2, 0, std::string(2, '\0')},      // not 4n characters: nothing
    {"=AAAAAAA", 2, 0, std::string(2, '\0')}, // padding first: nothing is left
    {"SGVsbG8sIHdvcmxkIQ==", 13, 13, "Hello, world!"},
};

class Base64 : public ::testing::TestWithParam<Base64Row> {};

TEST_P(Base64, Decodes) {
    const Base64Row& row = GetParam();
    std::vector<unsigned char> out(row.room, 0xAA);
    EXPECT_EQ(kbs::decodeBase64(row.text, out.data(), out.size()), row.length);
    EXPECT_EQ(std::string(out.begin(), out.end()), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, Base64, ::testing::ValuesIn(base64Rows));

} // namespace
