#include "kbs/sysinfo.h"
#include "kbs/sysinfoimpl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A system whose GetVersionExA accepts one structure size.
DWORD acceptedSize = 0, packedVersion = 0;
BOOL WINAPI fakeGetVersionEx(LPOSVERSIONINFOA info) {
    return info->dwOSVersionInfoSize == acceptedSize;
}
DWORD WINAPI fakeGetVersion() {
    return packedVersion;
}

TEST(SystemInfo, QueryTriesBothStructuresAndDecodesTheVersion) {
    // Accepted size, packed version; then answered, version, NT. Windows 9x poses as 3.95 without
    // bit 31: 95, 98 or ME by the build number.
    const struct {
        DWORD accepted, packed;
        bool answered;
        std::uint16_t osVersion;
        bool windowsNT;
    } cases[] = {{156, 0x1DB10106, true, 0x0601, true}, {148, 0x1DB10106, true, 0x0601, true},
                 {0, 0x1DB10106, false, 0, false},      {156, 0xC0000004, true, 0x0400, false},
                 {156, 0x07095F03, true, 0x0400, true}, {156, 0x07FF5F03, true, 0x040A, true},
                 {156, 0x08005F03, true, 0x045A, true}};
    for (const auto& c : cases) {
        acceptedSize = c.accepted;
        packedVersion = c.packed;
        kbs::SystemInfoImpl impl;
        EXPECT_EQ(impl.query(&fakeGetVersionEx, &fakeGetVersion), c.answered);
        EXPECT_EQ(std::make_pair(impl.osVersion(), impl.isWindowsNT()),
                  std::make_pair(c.osVersion, c.windowsNT))
            << std::hex << c.packed;
    }
}

const DWORD script[] = {0xFFFFFF00, 0x100, 0x100, 0xFFFFFFFF, 5};
std::size_t scriptPosition = 0;
DWORD WINAPI scriptedTicks() {
    return script[scriptPosition++];
}

// Each racing reading is a little over 2^28 later than the one before: the low 32 bits wrap every
// 16 readings, and a count off by 2^32 is no reading at all.
constexpr std::uint64_t stride = (std::uint64_t{1} << 28) + 1;
std::atomic<std::uint64_t> clock64{0};
DWORD WINAPI racingTicks() {
    return static_cast<DWORD>(clock64.fetch_add(stride));
}

TEST(TickCounter, CarriesTheWrapOnceHoweverManyCallersRaceAcrossIt) {
    kbs::TickCounter scripted(&scriptedTicks);
    const std::uint64_t wrap = std::uint64_t{1} << 32;
    for (const std::uint64_t expected :
         {wrap - 256, wrap + 256, wrap + 256, 2 * wrap - 1, 2 * wrap + 5})
        EXPECT_EQ(scripted.next(), expected);

    kbs::TickCounter counter(&racingTicks);
    std::atomic<int> wrongCounts{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&counter, &wrongCounts] {
            std::uint64_t previous = 0;
            for (int i = 0; i < 10000; ++i) {
                const std::uint64_t count = counter.next();
                wrongCounts += count % stride != 0 || count < previous;
                previous = count;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrongCounts, 0);
}

} // namespace
