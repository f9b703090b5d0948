#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

TEST(Version, StructureSizesAndThePackedForm) {
    OSVERSIONINFOEXA plain;
    std::memset(&plain, 0xAB, sizeof plain);
    plain.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&plain)));
    EXPECT_EQ(plain.wServicePackMajor, 0xABAB); // nothing past the plain structure is written
    const DWORD packed = GetVersion();
    EXPECT_EQ(packed & 0xFFFF, plain.dwMajorVersion | plain.dwMinorVersion << 8);
    EXPECT_EQ(packed >> 16, plain.dwBuildNumber & 0xFFFF);
    plain.dwOSVersionInfoSize = sizeof plain - 1;
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&plain)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(TickCount, CountsMillisecondsInBothWidths) {
    const ULONGLONG before = GetTickCount64();
    const DWORD narrow = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const ULONGLONG elapsed = GetTickCount64() - before;
    // Windows ticks in steps of up to 16 ms.
    EXPECT_LE(static_cast<DWORD>(narrow - static_cast<DWORD>(before)), elapsed);
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 10000u);
}

TEST(SystemTimes, ConvertBothWaysOverTheWholeRange) {
    const struct {
        ULONGLONG ticks;
        SYSTEMTIME time; // year, month, day of week, day, hour, minute, second, milliseconds
    } rows[] = {
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {116444736000000000, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {125962560000000000, {2000, 2, 2, 29, 0, 0, 0, 0}},
        {130274673835000000, {2013, 10, 1, 28, 20, 56, 23, 500}},
        {159650784000000000, {2106, 12, 3, 1, 0, 0, 0, 0}},
        {0x7FFF35F4F06C7FFF, {30827, 12, 5, 31, 23, 59, 59, 999}},
    };
    for (const auto& row : rows) {
        const FILETIME ticks{static_cast<DWORD>(row.ticks), static_cast<DWORD>(row.ticks >> 32)};
        SYSTEMTIME time{};
        ASSERT_TRUE(FileTimeToSystemTime(&ticks, &time));
        EXPECT_EQ(std::memcmp(&time, &row.time, sizeof time), 0) << row.time.wYear;
        FILETIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&time, &back));
        // Below the millisecond nothing is kept.
        EXPECT_EQ(ULONGLONG{back.dwHighDateTime} << 32 | back.dwLowDateTime,
                  row.ticks - row.ticks % 10000);
    }
#ifndef _WIN32
    // The test program runs five hours west of UTC (see datetime_test.cpp); wine takes the host's.
    TIME_ZONE_INFORMATION zone{};
    EXPECT_EQ(GetTimeZoneInformation(&zone), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(zone.Bias, 300);
#endif
}

} // namespace
