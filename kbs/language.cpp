#include "kbs/startup.h"

#include <atomic>

namespace kbs {

namespace {

struct Suffix {
    unsigned id;
    const char* text;
};

// Chinese ids are kept whole (Traditional 1028, Simplified 2052); every other language is found
// by its primary id alone.
const Suffix suffixes[] = {
    {9, "Us"},  {1, "Sa"},  {2052, "Cn"}, {6, "Dk"},    {19, "Nl"}, {12, "Fr"},
    {7, "De"},  {8, "Gr"},  {16, "It"},   {14, "Hu"},   {17, "Jp"}, {18, "Ko"},
    {22, "Br"}, {10, "Es"}, {29, "Se"},   {1028, "Tw"}, {25, "Ru"},
};

const char* find(unsigned id) {
    for (const Suffix& suffix : suffixes) {
        if (suffix.id == id)
            return suffix.text;
    }
    return nullptr;
}

unsigned lookupId(LANGID language) {
    const unsigned primary = language & 0x3FFu;
    unsigned sub = language >> 10;
    if (primary != 4)
        return primary | 0x800u;
    // Chinese: Taiwan, Hong Kong and Macao read Traditional; mainland China and Singapore
    // Simplified.
    if (sub == 3)
        return 1028;
    if (sub == 4)
        return 2052;
    if (sub == 5)
        sub = 1;
    return sub * 1024 + 4;
}

} // namespace

StringBase<char> languageSuffixFor(LANGID language) {
    const unsigned id = lookupId(language);
    const char* text = find(id);
    if (!text)
        text = find(id & 0x3FFu);
    return StringBase<char>(text);
}

StringBase<char> StartUp::languageSuffix() const {
    // The interface language is fixed for the process: ask once.
    static const LANGID language = GetUserDefaultUILanguage();
    return languageSuffixFor(language);
}

} // namespace kbs
