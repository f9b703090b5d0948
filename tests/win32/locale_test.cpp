// Windows takes the UI language from the user's settings, not from locale variables: these tests
// set the variables and only run here.
#ifndef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

class UiLanguage : public ::testing::Test {
protected:
    static constexpr const char* variables[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved[3];

    void SetUp() override {
        for (size_t i = 0; i < 3; ++i) {
            if (const char* value = std::getenv(variables[i])) {
                saved[i] = value;
            }
            unsetenv(variables[i]);
        }
    }

    void TearDown() override {
        for (size_t i = 0; i < 3; ++i) {
            saved[i] ? setenv(variables[i], saved[i]->c_str(), 1) : unsetenv(variables[i]);
        }
    }

    static LANGID forLang(const char* locale) {
        setenv("LANG", locale, 1);
        return GetUserDefaultUILanguage();
    }
};

TEST_F(UiLanguage, MapsLanguageAndTerritoryIgnoringCodesetAndModifier) {
    EXPECT_EQ(0x0407, forLang("de_DE.UTF-8"));
    EXPECT_EQ(0x0C07, forLang("de_AT"));
    EXPECT_EQ(0x081D, forLang("sv_FI@euro"));
    EXPECT_EQ(0x0816, forLang("pt_PT.ISO-8859-15@euro"));
    EXPECT_EQ(0x0C04, forLang("zh_HK.UTF-8"));
}

TEST_F(UiLanguage, ALanguageWithoutAKnownTerritoryGetsItsDefault) {
    EXPECT_EQ(0x0407, forLang("de"));
    EXPECT_EQ(0x0407, forLang("de_LU.UTF-8"));
    EXPECT_EQ(0x0804, forLang("zh_XX"));
    // Spain's modern sort, which is what Windows reports for Spanish.
    EXPECT_EQ(0x0C0A, forLang("es_AR"));
}

TEST_F(UiLanguage, UnknownOrNeutralLocalesGiveUnitedStatesEnglish) {
    EXPECT_EQ(0x0409, GetUserDefaultUILanguage());
    EXPECT_EQ(0x0409, forLang("C"));
    EXPECT_EQ(0x0409, forLang("C.UTF-8"));
    EXPECT_EQ(0x0409, forLang("POSIX"));
    EXPECT_EQ(0x0409, forLang("xx_DE"));
}

TEST_F(UiLanguage, FollowsPosixPrecedenceAndSkipsEmptyVariables) {
    setenv("LANG", "fr_FR.UTF-8", 1);
    setenv("LC_MESSAGES", "it_IT.UTF-8", 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(0x0407, GetUserDefaultUILanguage());
    setenv("LC_ALL", "", 1);
    EXPECT_EQ(0x0410, GetUserDefaultUILanguage());
    unsetenv("LC_MESSAGES");
    EXPECT_EQ(0x040C, GetUserDefaultUILanguage());
}

} // namespace

#endif
