#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using WideString = std::basic_string<WCHAR>;

// Test data is written as char16_t; WCHAR is wchar_t on Windows.
WideString wide(std::u16string_view units) {
    return WideString(units.begin(), units.end());
}

// Both converters are called twice, to ask for the size and then to convert; a failure gives
// "!" and its error code.
WideString toWide(UINT codePage, const std::string& text, DWORD flags = 0) {
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (size == 0)
        return wide(u"!") + static_cast<WCHAR>(GetLastError());
    WideString result(static_cast<size_t>(size), 0);
    EXPECT_EQ(size, MultiByteToWideChar(codePage, flags, text.data(), length, result.data(), size));
    return result;
}

std::string toBytes(UINT codePage, const WideString& text, DWORD flags = 0,
                    LPBOOL usedDefault = nullptr) {
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, usedDefault);
    if (size == 0)
        return "!" + std::to_string(GetLastError());
    std::string result(static_cast<size_t>(size), '\0');
    EXPECT_EQ(size, WideCharToMultiByte(codePage, flags, text.data(), length, result.data(), size,
                                        nullptr, usedDefault));
    return result;
}

TEST(Windows1252, EveryByteRoundTripsThroughUtf16AndUtf8) {
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte)
        bytes += static_cast<char>(byte);
    const WideString utf16 = toWide(1252, bytes);
    ASSERT_EQ(256u, utf16.size());
    // The euro sign; undefined bytes map to the C1 control of the same value.
    EXPECT_EQ(WideString(utf16, 0x80, 2), wide(u"\u20AC\u0081"));
    BOOL usedDefault = TRUE;
    EXPECT_EQ(bytes, toBytes(1252, utf16, 0, &usedDefault));
    EXPECT_FALSE(usedDefault);
    // A CJK character, for which Windows has no best-fit replacement either.
    EXPECT_EQ("a?b", toBytes(1252, wide(u"a\u4E2Db"), 0, &usedDefault));
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(utf16, toWide(CP_UTF8, toBytes(CP_UTF8, utf16), MB_ERR_INVALID_CHARS));
}

TEST(Utf8, ConvertsEveryEncodedLengthAndRefusesOrReplacesIllFormedInput) {
    const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(wide(u"A\u00E9\u20AC\U0001F600"), toWide(CP_UTF8, utf8, MB_ERR_INVALID_CHARS));
    EXPECT_EQ(utf8, toBytes(CP_UTF8, wide(u"A\u00E9\u20AC\U0001F600"), WC_ERR_INVALID_CHARS));
    // A sequence cut short is replaced once; an overlong form has no valid byte at all.
    EXPECT_EQ(wide(u"\uFFFDx"), toWide(CP_UTF8, "\xE2\x82x"));
    EXPECT_EQ(wide(u"\uFFFD\uFFFD"), toWide(CP_UTF8, "\xC0\xAF"));
    // Stray continuation, overlong forms, an encoded surrogate, beyond U+10FFFF.
    for (const char* illFormed : {"a\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF",
                                  "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_EQ(wide(u"!\u0459"), toWide(CP_UTF8, illFormed, MB_ERR_INVALID_CHARS)) << illFormed;
}

// -1 means NUL-terminated, and the terminator is converted and counted; a short buffer is left as
// it was.
TEST(CodePageConversion, FollowsWindowsSizeAndArgumentConventions) {
    WCHAR wideBuffer[4] = {1, 1, 1, 1};
    EXPECT_EQ(3, MultiByteToWideChar(CP_UTF8, 0, "a\xE2\x82\xAC", -1, wideBuffer, 3));
    EXPECT_EQ(wide(u"a\u20AC"), WideString(wideBuffer));
    wideBuffer[2] = 1;
    EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "abc", 3, wideBuffer, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(1, wideBuffer[2]);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, wide(u"a\u20AC").c_str(), -1, buffer, 4, nullptr,
                                     nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ('x', buffer[4]);
}

} // namespace
