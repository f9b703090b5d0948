#include "windows.h"

#include <cstdlib>
#include <string_view>

namespace {

struct LocaleTag {
    std::string_view language;
    std::string_view territory;
    LANGID id;
};

// Windows' LANGIDs for POSIX locale names. The first entry of a language also stands for the
// language alone and for a territory not listed.
constexpr LocaleTag localeTags[] = {
    {"ar", "SA", 0x0401}, {"cs", "CZ", 0x0405}, {"da", "DK", 0x0406}, {"de", "DE", 0x0407},
    {"de", "AT", 0x0C07}, {"de", "CH", 0x0807}, {"el", "GR", 0x0408}, {"en", "US", 0x0409},
    {"en", "GB", 0x0809}, {"es", "ES", 0x0C0A}, {"es", "MX", 0x080A}, {"fi", "FI", 0x040B},
    {"fr", "FR", 0x040C}, {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C},
    {"hu", "HU", 0x040E}, {"it", "IT", 0x0410}, {"it", "CH", 0x0810}, {"ja", "JP", 0x0411},
    {"ko", "KR", 0x0412}, {"nb", "NO", 0x0414}, {"nl", "NL", 0x0413}, {"nl", "BE", 0x0813},
    {"pl", "PL", 0x0415}, {"pt", "BR", 0x0416}, {"pt", "PT", 0x0816}, {"ru", "RU", 0x0419},
    {"sv", "SE", 0x041D}, {"sv", "FI", 0x081D}, {"tr", "TR", 0x041F}, {"zh", "CN", 0x0804},
    {"zh", "TW", 0x0404}, {"zh", "HK", 0x0C04}, {"zh", "SG", 0x1004}, {"zh", "MO", 0x1404},
};

// What Windows falls back to: English (United States).
constexpr LANGID defaultLangId = 0x0409;

// The locale that governs messages, by POSIX precedence.
std::string_view messagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

} // namespace

// GetUserDefaultUILanguage: the LANGID of the user's language, en-US when it is not known.
LANGID WINAPI GetUserDefaultUILanguage(void) {
    // language_TERRITORY.codeset@modifier; only language and territory matter.
    std::string_view locale = messagesLocale();
    locale = locale.substr(0, locale.find_first_of(".@"));
    const size_t underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    const std::string_view territory =
        underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);
    const LocaleTag* languageDefault = nullptr;
    for (const LocaleTag& tag : localeTags) {
        if (tag.language != language) {
            continue;
        }
        if (tag.territory == territory) {
            return tag.id;
        }
        if (languageDefault == nullptr) {
            languageDefault = &tag;
        }
    }
    return languageDefault != nullptr ? languageDefault->id : defaultLangId;
}
