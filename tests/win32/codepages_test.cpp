#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr UINT windows1252 = 1252;

using WideString = std::basic_string<WCHAR>;

// Test data is written as char16_t; WCHAR is wchar_t on Windows.
WideString wide(std::u16string_view units) {
    return WideString(units.begin(), units.end());
}

// Both converters are called twice, to ask for the size and then to convert.
WideString toWide(UINT codePage, const std::string& text, DWORD flags = 0) {
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    WideString result(static_cast<size_t>(size), 0);
    EXPECT_EQ(size, MultiByteToWideChar(codePage, flags, text.data(), length, result.data(), size));
    return result;
}

std::string toBytes(UINT codePage, const WideString& text, DWORD flags = 0,
                    LPCSTR defaultChar = nullptr, LPBOOL usedDefault = nullptr) {
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0,
                                         defaultChar, usedDefault);
    std::string result(static_cast<size_t>(size), '\0');
    EXPECT_EQ(size, WideCharToMultiByte(codePage, flags, text.data(), length, result.data(), size,
                                        defaultChar, usedDefault));
    return result;
}

void expectFailure(int result, DWORD error) {
    EXPECT_EQ(0, result);
    EXPECT_EQ(error, GetLastError());
}

TEST(Windows1252, EveryByteRoundTripsThroughUtf16AndUtf8) {
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte) {
        bytes += static_cast<char>(byte);
    }
    const WideString utf16 = toWide(windows1252, bytes);
    ASSERT_EQ(256u, utf16.size());
    // Bytes the code page leaves undefined map to the C1 control of the same value.
    EXPECT_EQ(0x81, utf16[0x81]);
    BOOL usedDefault = TRUE;
    EXPECT_EQ(bytes, toBytes(windows1252, utf16, 0, nullptr, &usedDefault));
    EXPECT_FALSE(usedDefault);
    // A CJK character, for which Windows has no best-fit replacement either.
    EXPECT_EQ("a?b", toBytes(windows1252, wide(u"a\u4E2Db"), 0, nullptr, &usedDefault));
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ("a*b", toBytes(windows1252, wide(u"a\u4E2Db"), 0, "*", nullptr));
    EXPECT_EQ(utf16, toWide(CP_UTF8, toBytes(CP_UTF8, utf16), MB_ERR_INVALID_CHARS));
}

TEST(Utf8, ConvertsEveryEncodedLengthAndReplacesIllFormedInput) {
    const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const WideString utf16 = wide(u"A\u00E9\u20AC\U0001F600");
    EXPECT_EQ(utf16, toWide(CP_UTF8, utf8, MB_ERR_INVALID_CHARS));
    EXPECT_EQ(utf8, toBytes(CP_UTF8, utf16, WC_ERR_INVALID_CHARS));

    EXPECT_EQ(wide(u"a\uFFFDb"), toWide(CP_UTF8, "a\x80"
                                                 "b"));
    // A sequence cut short is replaced once; an overlong form has no valid byte at all.
    EXPECT_EQ(wide(u"\uFFFDx"), toWide(CP_UTF8, "\xE2\x82x"));
    EXPECT_EQ(wide(u"\uFFFD\uFFFD"), toWide(CP_UTF8, "\xC0\xAF"));
    // Only a high half followed by a low half is a pair.
    EXPECT_EQ("a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
              toBytes(CP_UTF8, wide(u"a\xDE00\xDC00\xD83D")));

    WCHAR wideBuffer[8];
    // Stray continuation, overlong forms, an encoded surrogate, beyond U+10FFFF.
    for (const char* illFormed : {"a\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF",
                                  "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        SCOPED_TRACE(illFormed);
        expectFailure(
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, illFormed, -1, wideBuffer, 8),
            ERROR_NO_UNICODE_TRANSLATION);
    }
    char buffer[8];
    const WCHAR loneHalf[] = {'a', 0xD800, 0};
    expectFailure(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, loneHalf, -1, buffer, 8,
                                      nullptr, nullptr),
                  ERROR_NO_UNICODE_TRANSLATION);
}

TEST(CodePageConversion, FollowsWindowsSizeAndArgumentConventions) {
    // -1 means NUL-terminated, and the terminator is converted and counted.
    WCHAR wideBuffer[4] = {1, 1, 1, 1};
    EXPECT_EQ(3, MultiByteToWideChar(CP_UTF8, 0, "a\xE2\x82\xAC", -1, nullptr, 0));
    EXPECT_EQ(3, MultiByteToWideChar(CP_UTF8, 0, "a\xE2\x82\xAC", -1, wideBuffer, 3));
    EXPECT_EQ(wide(u"a\u20AC"), WideString(wideBuffer));
    wideBuffer[2] = 1;
    expectFailure(MultiByteToWideChar(windows1252, 0, "abc", 3, wideBuffer, 2),
                  ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(1, wideBuffer[2]);

    const WideString text = wide(u"a\u20AC");
    char buffer[8];
    EXPECT_EQ(5, WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, 5, nullptr, nullptr));
    EXPECT_STREQ("a\xE2\x82\xAC", buffer);
    std::memset(buffer, 'x', sizeof buffer);
    expectFailure(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, 4, nullptr, nullptr),
                  ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ('x', buffer[4]);

    expectFailure(MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wideBuffer, 4),
                  ERROR_INVALID_PARAMETER);
    expectFailure(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), 0, buffer, 4, nullptr, nullptr),
                  ERROR_INVALID_PARAMETER);
    // No code page has this number.
    expectFailure(MultiByteToWideChar(12345, 0, "a", 1, wideBuffer, 4), ERROR_INVALID_PARAMETER);
}

} // namespace
