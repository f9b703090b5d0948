#include "kbs/datetime.h"

#include "kbs/exceptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

namespace {

// Five hours west of UTC without daylight saving, for the whole test program before anything
// asks: the 2000 epoch must come out the same in every zone.
const bool fixedZone = [] {
#ifdef _WIN32
    _putenv("TZ=EST5");
    _tzset();
#else
    setenv("TZ", "EST5", 1);
    tzset();
#endif
    return true;
}();

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
              WORD milliseconds = 0) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, milliseconds};
}

// The %1 of the 1313 that setting `time` throws, or its text when it is valid.
std::string set(kbs::DateTimeO& value, const SYSTEMTIME& time) {
    try {
        value.setSystemTime(time);
        return value.text(true);
    } catch (const kbs::Exception& failure) {
        EXPECT_EQ(failure.errorId(), 1313);
        return failure.parameter1();
    }
}

TEST(DateTime, ValidatesDateThenTimeAndKeepsTheOldValue) {
    ASSERT_TRUE(fixedZone);
    kbs::DateTimeO value;
    EXPECT_EQ(set(value, at(2012, 2, 29, 23, 59, 59, 999)), "2012-02-29T23:59:59");
    EXPECT_EQ(set(value, at(2013, 2, 29)), "2013-2-29");
    EXPECT_EQ(set(value, at(2013, 13, 1, 24)), "2013-13-1");
    EXPECT_EQ(set(value, at(2013, 2, 28, 24)), "24:00:00.000");
    EXPECT_EQ(set(value, at(2013, 2, 28, 25, 7, 60, 5)), "25:07:60.005");
    EXPECT_EQ(value.text(false), "2012-02-29 23:59:59");
    EXPECT_EQ(set(value, at(987, 1, 2, 3, 4, 5)), "0987-01-02T03:04:05");
    kbs::DateTimeO unset;
    kbs::TimeStamp stamp = 0;
    EXPECT_THROW(unset.toTimeStamp(&stamp), kbs::Exception);
}

// Seconds from 2000 in UTC: whatever the process's zone, and an hour earlier one hour east; times
// before 2000 are none.
TEST(TimeStamps, CountSecondsFrom2000InUtc) {
    EXPECT_EQ(kbs::epoch2000(), 946684800);
    const std::tuple<int, SYSTEMTIME, kbs::TimeStamp> rows[] = {
        {0, at(2000, 1, 1), 0},
        {0, at(1999, 12, 31, 23, 59, 59), kbs::largestTimeStamp},
        {0, at(2013, 10, 28, 20, 56, 23), 436308983},
        {60, at(2013, 10, 28, 20, 56, 23), 436308983 - 3600},
    };
    for (const auto& [bias, time, expected] : rows) {
        kbs::DateTimeO value(bias);
        value.setSystemTime(time);
        kbs::TimeStamp stamp = 1;
        EXPECT_TRUE(value.toTimeStamp(&stamp));
        EXPECT_EQ(stamp, expected) << time.wYear << " " << bias;
    }
    EXPECT_EQ(kbs::secondsFromTimeStamp(kbs::largestTimeStamp), 946684800 + 0xFFFFFFFEll);
    EXPECT_EQ(kbs::fileTimeFromTimeStamp(1), 125911584010000000u);
    EXPECT_EQ(kbs::timeStampFromSeconds(946684800 + 0xFFFFFFFFll), kbs::largestTimeStamp);
    // The system's calendar: 2000 is a leap year, 2100 and 1900 are not.
    const std::pair<SYSTEMTIME, bool> dates[] = {{at(2000, 2, 29), true},  {at(2100, 2, 29), false},
                                                 {at(2012, 2, 29), true},  {at(1900, 2, 29), false},
                                                 {at(2013, 2, 29), false}, {at(2100, 3, 1), true}};
    for (const auto& [date, valid] : dates) {
#ifdef _WIN32
        if (!valid)
            continue; // Wine takes February 29 of any year (as March 1); Windows refuses it
#endif
        FILETIME fileTime{};
        SYSTEMTIME back{}, expected = valid ? date : SYSTEMTIME{};
        EXPECT_EQ(SystemTimeToFileTime(&date, &fileTime) && FileTimeToSystemTime(&fileTime, &back),
                  valid);
        EXPECT_EQ(std::tie(back.wYear, back.wMonth, back.wDay),
                  std::tie(expected.wYear, expected.wMonth, expected.wDay));
    }
#ifndef _WIN32
    // Wine's zone is the host's; ours follows the TZ set above.
    EXPECT_EQ(kbs::DateTimeO::processZoneBias(), -300);
#endif
}

} // namespace
