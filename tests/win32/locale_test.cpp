// Windows takes the UI language from the user's settings, not from locale variables: this test
// sets the variables and only runs here.
#ifndef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct Row {
    const char *all, *messages, *lang;
    LANGID expected;
};

const Row rows[] = {
    {nullptr, nullptr, "sv_FI@euro", 0x081D},
    {nullptr, nullptr, "pt_PT.ISO-8859-15@euro", 0x0816},
    {nullptr, nullptr, "zh_HK.UTF-8", 0x0C04},
    {nullptr, nullptr, "de_LU.UTF-8", 0x0407}, // no known territory: the language's default
    {nullptr, nullptr, "es_AR", 0x0C0A},       // Spain's modern sort, as Windows reports Spanish
    {nullptr, nullptr, nullptr, 0x0409},
    {nullptr, nullptr, "C.UTF-8", 0x0409},
    {nullptr, nullptr, "xx_DE", 0x0409},
    {"de_DE.UTF-8", "it_IT.UTF-8", "fr_FR.UTF-8", 0x0407},
    {"", "it_IT.UTF-8", "fr_FR.UTF-8", 0x0410},
    {"", nullptr, "fr_FR.UTF-8", 0x040C},
};

class UiLanguage : public ::testing::TestWithParam<Row> {};

TEST_P(UiLanguage, FollowsTheLocaleVariables) {
    const Row& row = GetParam();
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    const char* values[] = {row.all, row.messages, row.lang};
    for (int i = 0; i < 3; ++i)
        values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
    EXPECT_EQ(GetUserDefaultUILanguage(), row.expected);
    for (const char* name : names)
        unsetenv(name);
}

INSTANTIATE_TEST_SUITE_P(Rows, UiLanguage, ::testing::ValuesIn(rows));

} // namespace

#endif
