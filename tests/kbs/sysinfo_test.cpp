#include "kbs/library.h"
#include "kbs/sysinfo.h"
#include "kbs/sysinfoimpl.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

DWORD acceptedSize, packedVersion, ticks[] = {0xFFFFFF00, 0x100, 0x100, 0xFF}, *tick = ticks;

// {structure size the system takes, GetVersion} -> answer, osVersion, isWindowsNT. Bit 31 marks
// the 9x family; a 3.95 stands for 95, 98 or ME by its build and carries no family bit.
TEST(SystemInfo, VersionFieldsAndTickCount) {
    // clang-format off
    const std::tuple<DWORD, DWORD, bool, std::uint16_t, bool> rows[] = {
        {156, 0x1DB10106, true, 0x0601, true}, {148, 0x80000004, true, 0x0400, false},
        {0, 0x0106, false, 0, false}, {156, 0x08005F03, true, 0x045A, true},
        {156, 0x070A5F03, true, 0x040A, true}, {156, 0x07095F03, true, 0x0400, true}};
    // clang-format on
    for (const auto& [size, packed, answer, osVersion, windowsNT] : rows) {
        acceptedSize = size;
        packedVersion = packed;
        kbs::SystemInfoImpl info;
        const bool answered =
            info.query([](LPOSVERSIONINFOA record)
                           WINAPI -> BOOL { return record->dwOSVersionInfoSize == acceptedSize; },
                       []() WINAPI { return packedVersion; });
        EXPECT_EQ(std::make_tuple(answered, info.osVersion(), info.isWindowsNT()),
                  std::make_tuple(answer, osVersion, windowsNT))
            << std::hex << packed;
    }
    // The 32-bit counter wraps between the first two readings; an equal reading is no wrap.
    kbs::TickCounter counter([]() WINAPI { return *tick++; });
    for (std::uint64_t expected : {0xFFFFFF00ull, 0x100000100ull, 0x100000100ull, 0x2000000FFull})
        EXPECT_EQ(counter.next(), expected);
    EXPECT_NE(kbs::nativeTickCount64(), nullptr); // NT 6.0 and later have it
    const std::uint64_t first = kbs::tickCount64();
    EXPECT_LE(first, kbs::tickCount64());
}

#ifdef _WIN32
const char *const loadable = "kernel32.dll", *const exported = "GetTickCount64";
#else
const char *const loadable = "libz.so.1", *const exported = "zlibVersion";
#endif

// A module it loaded is freed by unload; a borrowed one stays.
TEST(Library, LoadsFreesAndBorrows) {
    kbs::Library library, borrowed(kbs::FileString(loadable), GetModuleHandleA(loadable));
    EXPECT_EQ(library.symbol(exported), nullptr);
    EXPECT_FALSE(library.load(kbs::FileString("missing.bin"), true));
    EXPECT_EQ(library.path(), "missing.dll");
    ASSERT_TRUE(library.load(kbs::FileString(loadable), false));
    EXPECT_NE(library.symbol(exported), nullptr);
    EXPECT_EQ(library.symbol("noSuchExport"), nullptr);
    library.unload();
    borrowed.unload();
    EXPECT_EQ(std::make_pair(library.isLoaded(), borrowed.isLoaded()), std::make_pair(false, true));
    EXPECT_NE(borrowed.symbol(exported), nullptr);
}

} // namespace
