// The built native library as a module: it loads and unloads cleanly, which runs its entry's attach
// and detach, and it carries the message catalogue as its own string table. Under wine this reads
// the real DLL through the real loader and LoadStringA.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(LibraryModule, LoadsAndCarriesTheCatalogue) {
    const HMODULE library = LoadLibraryA(KELO_LIBRARY_PATH);
    ASSERT_NE(library, nullptr) << "error " << GetLastError() << " loading " << KELO_LIBRARY_PATH;
    char text[64];
    const int length = LoadStringA(library, 1313, text, sizeof text);
    EXPECT_EQ(std::string(text, length > 0 ? length : 0), "Invalid date/time: %1");
    EXPECT_TRUE(FreeLibrary(library));
}
