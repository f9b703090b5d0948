#include "kbs/catalogue.h"

#include "kbs/startup.h"

namespace kbs {

bool loadMessage(unsigned id, StringBase<char>& text) {
    HINSTANCE module = nullptr;
    HINSTANCE languageModule = nullptr;
    if (const StartUp* startUp = startUpInstance()) {
        module = startUp->moduleRecord().module;
        languageModule = startUp->moduleRecord().languageModule;
    }
    char buffer[512];
    int length = LoadStringA(languageModule ? languageModule : module, id, buffer, sizeof buffer);
    // A language module may lack newer texts: the module's own (English) ones stand in.
    if (length == 0 && languageModule)
        length = LoadStringA(module, id, buffer, sizeof buffer);
    if (length <= 0) {
        text = emptyString();
        return false;
    }
    text.assign(buffer, static_cast<std::size_t>(length));
    return true;
}

} // namespace kbs
