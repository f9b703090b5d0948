#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string load(HINSTANCE module, UINT id, int size = 512) {
    char buffer[512];
    std::memset(buffer, 'x', sizeof buffer);
    const int length = LoadStringA(module, id, buffer, size);
    EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(length)) << "id " << id;
    return buffer;
}

// The same source as the string table: under wine this compares it with what windres made of it.
TEST(LoadStringA, EveryCatalogueTextFromTheExecutable) {
#define KBS_MESSAGE(id, text) EXPECT_EQ(load(nullptr, id), text);
#include "resources/messages.inc"
#undef KBS_MESSAGE
    for (UINT id : {0u, 1000u, 55300u, 65535u})
        EXPECT_EQ(load(nullptr, id), "") << "id " << id;
    EXPECT_EQ(load(nullptr, 0x10000 + 1001), "file %1 not found"); // ids are 16 bits wide
    EXPECT_EQ(load(nullptr, 1001, 5), "file");                     // cut, with its NUL
}

} // namespace
