#include "kbs/base64.h"
#include "kbs/strings.h"
#include "kbs/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

using kbs::StringBase;
using kbs::StringOld;
using Text = StringBase<char>;
using Utf8Converter = kbs::Utf8Conversion<Text, kbs::Utf8>;

namespace {

std::string formatted(const char* format, const char* p1 = nullptr, const char* p2 = nullptr,
                      const char* p3 = nullptr) {
    StringOld text("previous");
    text.format(format, p1, p2, p3);
    return text;
}

// WCHAR is char16_t or wchar_t depending on the system: build wide test texts from ASCII.
kbs::WideString wide(const std::string& ascii) {
    kbs::WideString text;
    for (char c : ascii)
        text.push_back(static_cast<WCHAR>(c));
    return text;
}

} // namespace

TEST(StringBase, NullPointersAreEmptyText) {
    EXPECT_TRUE(Text(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(Text(nullptr, 5).empty());
    Text text("abc");
    text = static_cast<const char*>(nullptr);
    EXPECT_TRUE(text.empty());
    text.assign("abcdef", 3);
    EXPECT_EQ(text, "abc");
    text.assign(nullptr, 3);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(Text("a\0b", 3).size(), 3u);
}

TEST(StringBase, AppendNumberWritesPlainDecimal) {
    Text text("n=");
    text.appendNumber(0).appendNumber(-42).appendNumber(INT32_MIN).appendNumber(1000000);
    EXPECT_EQ(text, "n=0-42-21474836481000000");
}

TEST(StringBase, ReplaceAllNeverRescansReplacements) {
    Text text("aaaa");
    EXPECT_EQ(text.replaceAll("aa", "a"), 2u);
    EXPECT_EQ(text, "aa");

    text = "x%1x";
    EXPECT_EQ(text.replaceAll("%1", "%1%1"), 1u);
    EXPECT_EQ(text, "x%1%1x");

    text = "abc";
    EXPECT_EQ(text.replaceAll("", "z"), 0u);
    EXPECT_EQ(text.replaceAll("q", "z"), 0u);
    EXPECT_EQ(text.replaceAll("b", ""), 1u);
    EXPECT_EQ(text, "ac");
}

TEST(StringBase, UpperCaseFollowsTheAnsiCodePage) {
    Text text("abc xyz \xE9\xE0\xFF\x9A \xDF\xF7");
    text.makeUpper();
    EXPECT_EQ(text, "ABC XYZ \xC9\xC0\x9F\x8A \xDF\xF7");
    Text empty;
    empty.makeUpper();
    EXPECT_TRUE(empty.empty());

    EXPECT_EQ(Text::compareNoCase("abc", "ABC"), 0);
    EXPECT_EQ(Text::compareNoCase("", ""), 0);
    EXPECT_EQ(Text::compareNoCase("stra\xDF"
                                  "e",
                                  "STRA\xDF"
                                  "E"),
              0);
    EXPECT_LT(Text::compareNoCase("abc", "ABD"), 0);
    EXPECT_GT(Text::compareNoCase("abcd", "ABC"), 0);
}

TEST(StringOld, FormatSubstitutesNumberedPlaceholders) {
    EXPECT_EQ(formatted("%2 and %1", "A", "B"), "B and A");
    EXPECT_EQ(formatted("%1%1", "A"), "AA");
    // Without %2 the substitution stops, so %3 survives.
    EXPECT_EQ(formatted("%1 %3", "A", "B", "D"), "A %3");
    // An argument is itself searched for the next placeholder.
    EXPECT_EQ(formatted("%1", "x%2y", "B"), "xBy");
    EXPECT_EQ(formatted("%10", "A"), "A0");
    EXPECT_EQ(formatted("no placeholders", "A"), "no placeholders");
}

TEST(StringOld, FormatTreatsNullsAsEmpty) {
    EXPECT_EQ(formatted(nullptr, "A"), "");
    EXPECT_EQ(formatted("[%1]", nullptr), "[]");
    StringOld text;
    text.format("%1%2%3%4%5%6%7%8%9", "1", "2", "3", "4", "5", "6", "7", "8", "9");
    EXPECT_EQ(text, "123456789");
}

TEST(WideString, CopyToReportsTheFullLength) {
    const kbs::WideString text = wide("0123456789");
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), static_cast<WCHAR>('#'));
    EXPECT_EQ(text.copyTo(buffer, 4, true), 10u);
    EXPECT_EQ(kbs::WideString(buffer, 5), wide(std::string("012\0#", 5)));

    EXPECT_EQ(text.copyTo(buffer, 4, false), 10u);
    EXPECT_EQ(kbs::WideString(buffer, 5), wide("0123#"));

    EXPECT_EQ(text.copyTo(buffer, 0, true), 0u);
    EXPECT_EQ(buffer[0], '0');

    EXPECT_EQ(kbs::WideString().copyTo(buffer, 8, true), 0u);
    EXPECT_EQ(buffer[0], 0);
}

TEST(ProcessWideStrings, AreConstantAndShared) {
    EXPECT_TRUE(kbs::emptyString().empty());
    EXPECT_EQ(kbs::lineEnd(), "\r\n");
    EXPECT_EQ(&kbs::lineEnd(), &kbs::lineEnd());
}

TEST(Utf8Conversion, ConvertsAnsiTextWithTerminator) {
    auto& converter = Utf8Converter::instance();
    EXPECT_EQ(&converter, &Utf8Converter::instance());

    std::vector<unsigned char> bytes{1, 2, 3};
    EXPECT_EQ(converter.toUtf8(Text(), bytes), 0u);
    EXPECT_TRUE(bytes.empty());

    EXPECT_EQ(converter.toUtf8("Gr\xFC\xDF"
                               "e \x80",
                               bytes),
              11u);
    const std::vector<unsigned char> expected{'G', 'r', 0xC3, 0xBC, 0xC3, 0x9F,
                                              'e', ' ', 0xE2, 0x82, 0xAC, 0};
    EXPECT_EQ(bytes, expected);

    EXPECT_EQ(converter.toUtf8(Text("a\0b", 3), bytes), 3u);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{'a', 0, 'b', 0}));
}

TEST(Utf8Conversion, EveryAnsiByteBecomesValidUtf8) {
    Text all;
    for (int c = 1; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    std::vector<unsigned char> bytes;
    const std::size_t length = Utf8Converter::instance().toUtf8(all, bytes);
    ASSERT_EQ(bytes.size(), length + 1);
    // 127 ASCII bytes; the rest need two bytes, or three for the typographic characters at 0x80.
    EXPECT_GT(length, 127u + 2 * 128u);
    EXPECT_EQ(bytes.back(), 0);
}

TEST(Base64, DecodesGroupsAndPadding) {
    unsigned char out[8];
    EXPECT_EQ(kbs::decodeBase64("TWE=", out, sizeof out), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), std::string("Ma\0", 3));
    EXPECT_EQ(kbs::decodeBase64("TWFu", out, sizeof out), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "Man");
    EXPECT_EQ(kbs::decodeBase64("TQ==", out, sizeof out), 1u);
    EXPECT_EQ(out[0], 'M');
    EXPECT_EQ(kbs::decodeBase64("", out, sizeof out), 0u);
    // Characters outside the alphabet decode as zero bits.
    EXPECT_EQ(kbs::decodeBase64("T*Fu", out, sizeof out), 3u);
    EXPECT_EQ(out[0], 'L');
    // Padding at the very start removes more than was decoded: nothing is left.
    EXPECT_EQ(kbs::decodeBase64("====", out, sizeof out), 0u);
    EXPECT_EQ(kbs::decodeBase64("=AAAAAAA", out, sizeof out), 0u);
}

TEST(Base64, SmallDestinationsAndTruncatedInput) {
    unsigned char one[1];
    EXPECT_EQ(kbs::decodeBase64("TWFu", one, sizeof one), 3u);
    EXPECT_EQ(one[0], 'M');

    const Text full("SGVsbG8sIHdvcmxkIQ==");
    unsigned char out[16];
    for (std::size_t length = 0; length <= full.size(); ++length) {
        std::fill(std::begin(out), std::end(out), 0xAA);
        const std::size_t decoded = kbs::decodeBase64(full.substr(0, length), out, sizeof out);
        if (length % 4 != 0) {
            EXPECT_EQ(decoded, 0u) << length;
            EXPECT_EQ(std::count(std::begin(out), std::end(out), 0), 16) << length;
        } else {
            EXPECT_EQ(decoded, std::min<std::size_t>(length / 4 * 3, 13)) << length;
        }
    }
    EXPECT_EQ(kbs::decodeBase64(full, out, sizeof out), 13u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 13), "Hello, world!");
}
