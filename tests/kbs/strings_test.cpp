#include "kbs/base64.h"
#include "kbs/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FormatRow {
    const char* format;
    const char* p[9];
    const char* expected;
};

// Without %2 the substitution stops; an argument is searched for later placeholders, not its own.
// clang-format off
const FormatRow formatRows[] = {
    {"%2 and %1", {"A", "B"}, "B and A"}, {"%1%1", {"A"}, "AA"}, {"%1 %3", {"A", "B", "D"}, "A %3"},
    {"%1", {"x%2y", "B"}, "xBy"}, {"x%1x", {"%1%1"}, "x%1%1x"}, {"%10", {"A"}, "A0"},
    {nullptr, {"A"}, ""}, {"[%1]", {}, "[]"},
    {"%9%8%7%6%5%4%3%2%1", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}, "987654321"}};
// clang-format on

class Format : public ::testing::TestWithParam<FormatRow> {};

TEST_P(Format, SubstitutesNumberedPlaceholders) {
    kbs::StringOld text("previous");
    const char* const* p = GetParam().p;
    EXPECT_EQ(text.format(GetParam().format, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, Format, ::testing::ValuesIn(formatRows));

struct Base64Row {
    const char* text;
    std::size_t room, length;
    std::string expected; // the bytes stored, then zeros up to room
};

// Outside the alphabet: zero bits; a short destination gets a prefix; not 4n characters, or
// padding first: nothing.
// clang-format off
const Base64Row base64Rows[] = {
    {"TWFu", 8, 3, std::string("Man\0\0\0\0\0", 8)}, {"TWE=", 3, 2, std::string("Ma\0", 3)},
    {"T*Fu", 3, 3, "L\x01n"}, {"////", 3, 3, "\xFF\xFF\xFF"}, {"TWFu", 1, 3, "M"},
    {"TWF", 2, 0, std::string(2, '\0')}, {"=AAAAAAA", 2, 0, std::string(2, '\0')},
    {"SGVsbG8sIHdvcmxkIQ==", 13, 13, "Hello, world!"}};
// clang-format on

class Base64 : public ::testing::TestWithParam<Base64Row> {};

TEST_P(Base64, Decodes) {
    const Base64Row& row = GetParam();
    std::vector<unsigned char> out(row.room, 0xAA);
    EXPECT_EQ(kbs::decodeBase64(row.text, out.data(), out.size()), row.length);
    EXPECT_EQ(std::string(out.begin(), out.end()), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, Base64, ::testing::ValuesIn(base64Rows));

} // namespace
