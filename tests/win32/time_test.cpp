#include <windows.h>

#include <gtest/gtest.h>

namespace {

ULONGLONG ticksOf(const FILETIME& time) {
    return ULONGLONG{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

FILETIME fileTime(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

TEST(SystemTimes, ConvertBothWaysOverTheWholeRange) {
    const struct {
        ULONGLONG ticks;
        WORD year, month, dayOfWeek, day, hour, minute, second, milliseconds;
    } cases[] = {
        {0, 1601, 1, 1, 1, 0, 0, 0, 0},
        {116444736000000000, 1970, 1, 4, 1, 0, 0, 0, 0},
        {125911584000000000, 2000, 1, 6, 1, 0, 0, 0, 0},
        {125962560000000000, 2000, 2, 2, 29, 0, 0, 0, 0},
        {130274673835000000, 2013, 10, 1, 28, 20, 56, 23, 500},
        {159650784000000000, 2106, 12, 3, 1, 0, 0, 0, 0},
        {0x7FFF35F4F06C7FFF, 30827, 12, 5, 31, 23, 59, 59, 999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.year);
        SYSTEMTIME time{};
        const FILETIME ticks = fileTime(c.ticks);
        ASSERT_TRUE(FileTimeToSystemTime(&ticks, &time));
        EXPECT_EQ(time.wYear, c.year);
        EXPECT_EQ(time.wMonth, c.month);
        EXPECT_EQ(time.wDayOfWeek, c.dayOfWeek);
        EXPECT_EQ(time.wDay, c.day);
        EXPECT_EQ(time.wHour, c.hour);
        EXPECT_EQ(time.wMinute, c.minute);
        EXPECT_EQ(time.wSecond, c.second);
        EXPECT_EQ(time.wMilliseconds, c.milliseconds);
        FILETIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&time, &back));
        // Below the millisecond nothing is kept.
        EXPECT_EQ(ticksOf(back), c.ticks - c.ticks % 10000);
    }
}

TEST(SystemTimes, TimeZoneAnswersItsKindAndBias) {
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = GetTimeZoneInformation(&zone);
    EXPECT_LE(kind, static_cast<DWORD>(TIME_ZONE_ID_DAYLIGHT));
#ifndef _WIN32
    // The test program runs five hours west of UTC (see datetime_test.cpp); wine takes the host's.
    EXPECT_EQ(kind, static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(zone.Bias, 300);
#endif
}

} // namespace
