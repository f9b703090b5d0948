#include "kbs/catalogue.h"
#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

namespace {

struct Message {
    unsigned id;
    const char* text;
};

// The same source as the string table: under wine this compares it with what windres made of it.
constexpr Message catalogue[] = {
#define KBS_MESSAGE(id, text) {id, text},
#include "resources/messages.inc"
#undef KBS_MESSAGE
};

std::string load(HINSTANCE module, UINT id, int capacity = 512) {
    char buffer[512];
    std::memset(buffer, 'x', sizeof buffer);
    const int length = LoadStringA(module, id, buffer, capacity);
    EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(length)) << "id " << id;
    return buffer;
}

std::string message(unsigned id) {
    kbs::StringBase<char> text("stale");
    EXPECT_TRUE(kbs::loadMessage(id, text)) << "id " << id;
    return text;
}

// On Windows a loaded module without our texts; here every handle serves the one table.
HINSTANCE moduleWithoutTexts() {
    return GetModuleHandleA("kernel32.dll");
}

} // namespace

TEST(LoadStringA, EveryCatalogueTextFromTheExecutable) {
    EXPECT_EQ(std::size(catalogue), 140u);
    for (const Message& entry : catalogue)
        EXPECT_EQ(load(nullptr, entry.id), entry.text);
    // Quotes, which the resource compiler and C++ escape differently.
    EXPECT_EQ(load(nullptr, 1126),
              R"("%3" in registry for %1 cannot be changed (system error %2))");
    EXPECT_EQ(load(nullptr, 55361), R"(file "%1", topic [%2], value "%3")");
    EXPECT_EQ(load(nullptr, 55330), "What's This?");
}

TEST(LoadStringA, MissingIdsAndShortBuffers) {
    for (UINT id : {0u, 1000u, 1023u, 2000u, 4000u, 55300u, 65535u})
        EXPECT_EQ(load(nullptr, id), "") << "id " << id;
    EXPECT_EQ(load(nullptr, 1001, 5), "file");
    EXPECT_EQ(load(nullptr, 1001, 1), "");
    // String table ids are 16 bits wide.
    EXPECT_EQ(load(nullptr, 0x10000 + 1001), "file %1 not found");
}

TEST(LoadMessage, SearchesTheModuleAndItsLanguageModule) {
    EXPECT_EQ(message(2020), "decimal number expected: %1");
    kbs::StringBase<char> text("stale");
    EXPECT_FALSE(kbs::loadMessage(kbs::FreeTextError, text));
    EXPECT_TRUE(text.empty());

    kbs::Module module("KB", "KeloRvs4J32");
    ASSERT_EQ(module.moduleRecord().module, nullptr); // the executable
    EXPECT_EQ(message(kbs::UndocumentedMessage), "Undocumented/internal (%1)");
    // A language module without the text: the module's own stands in.
#ifdef _WIN32
    ASSERT_EQ(load(moduleWithoutTexts(), kbs::FatalErrorWord), "");
#endif
    module.moduleRecord().languageModule = moduleWithoutTexts();
    EXPECT_EQ(message(kbs::FatalErrorWord), "fatal error");
    // The language module is searched first.
    module.moduleRecord().languageModule = GetModuleHandleA(nullptr);
    module.moduleRecord().module = moduleWithoutTexts();
    EXPECT_EQ(message(kbs::WarningWord), "warning");
}
