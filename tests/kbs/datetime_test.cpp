#include "kbs/datetime.h"

#include "kbs/exceptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Five hours west of UTC without daylight saving, for the C library of the whole test program,
// before anything asks it: the 2000 epoch must come out the same in every zone.
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

SYSTEMTIME dateTime(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                    WORD second = 0, WORD milliseconds = 0) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return time;
}

// The %1 of the 1313 that `action` throws.
template <class Action> std::string invalidText(Action action) {
    try {
        action();
    } catch (const kbs::Exception& failure) {
        EXPECT_EQ(failure.errorId(), 1313);
        return failure.parameter1();
    }
    return "(nothing thrown)";
}

TEST(DateTime, ValidatesDateThenTimeAndKeepsTheOldValue) {
    ASSERT_TRUE(fixedZone);
    kbs::DateTimeO value;
    value.setSystemTime(dateTime(2012, 2, 29, 23, 59, 59, 999));
    EXPECT_EQ(invalidText([&] { value.setSystemTime(dateTime(2013, 2, 29)); }), "2013-2-29");
    EXPECT_EQ(invalidText([&] { value.setSystemTime(dateTime(2013, 13, 1, 24)); }), "2013-13-1");
    EXPECT_EQ(invalidText([&] { value.setSystemTime(dateTime(2013, 2, 28, 24)); }), "24:00:00.000");
    EXPECT_EQ(invalidText([&] { value.setSystemTime(dateTime(2013, 2, 28, 25, 7, 9, 5)); }),
              "25:07:09.005");
    EXPECT_EQ(value.text(true), "2012-02-29T23:59:59");

    kbs::DateTimeO unset;
    EXPECT_EQ(invalidText([&] { unset.text(false); }), "not set");
    kbs::TimeStamp stamp = 0;
    EXPECT_EQ(invalidText([&] { unset.toTimeStamp(&stamp); }), "not set");
}

TEST(DateTime, TextWithAndWithoutTheIsoSeparator) {
    kbs::DateTimeO value;
    value.setSystemTime(dateTime(2013, 10, 28, 20, 56, 23));
    EXPECT_EQ(value.text(false), "2013-10-28 20:56:23");
    EXPECT_EQ(value.text(true), "2013-10-28T20:56:23");
    value.setSystemTime(dateTime(987, 1, 2, 3, 4, 5));
    EXPECT_EQ(value.text(false), "0987-01-02 03:04:05");
}

TEST(TimeStamps, EdgesAndConversions) {
    EXPECT_EQ(kbs::epoch2000(), 946684800);
    kbs::DateTimeO utc(0);
    kbs::TimeStamp stamp = 1;
    utc.setSystemTime(dateTime(2000, 1, 1));
    EXPECT_TRUE(utc.toTimeStamp(&stamp));
    EXPECT_EQ(stamp, 0u);
    utc.setSystemTime(dateTime(1999, 12, 31, 23, 59, 59));
    utc.toTimeStamp(&stamp);
    EXPECT_EQ(stamp, kbs::largestTimeStamp);
    utc.setSystemTime(dateTime(2013, 10, 28, 20, 56, 23));
    utc.toTimeStamp(&stamp);
    EXPECT_EQ(stamp, 436308983u);

    EXPECT_EQ(kbs::secondsFromTimeStamp(kbs::noTimeStamp), 946684800);
    EXPECT_EQ(kbs::secondsFromTimeStamp(kbs::largestTimeStamp), 946684800 + 0xFFFFFFFEll);
    EXPECT_EQ(kbs::fileTimeFromTimeStamp(1), 125911584010000000u);
    EXPECT_EQ(kbs::timeStampFromFileTime(125911584010000000u), 1u);
    EXPECT_EQ(kbs::timeStampFromSeconds(946684800 + 0xFFFFFFFEll), kbs::largestTimeStamp);
    EXPECT_EQ(kbs::timeStampFromSeconds(946684800 + 0xFFFFFFFFll), kbs::largestTimeStamp);
    EXPECT_EQ(kbs::timeStampFromSeconds(0), kbs::largestTimeStamp);
    EXPECT_EQ(kbs::timeStampFromFileTime(0), kbs::largestTimeStamp);
}

TEST(DateTime, ZoneBiasRelatesCalendarAndInstant) {
    // One hour east of UTC: the same calendar fields are an hour earlier.
    kbs::DateTimeO east(60);
    east.setSystemTime(dateTime(2013, 10, 28, 20, 56, 23));
    kbs::TimeStamp stamp = 0;
    east.toTimeStamp(&stamp);
    EXPECT_EQ(stamp, 436308983u - 3600);

    // A zone without daylight saving keeps the process bias all year.
    kbs::DateTimeO summer;
    summer.setSystemTime(dateTime(2013, 7, 1, 12));
    EXPECT_EQ(summer.localZoneBias(), kbs::DateTimeO::processZoneBias());
#ifndef _WIN32
    // Wine's zone is the host's; ours follows the TZ set above.
    EXPECT_EQ(kbs::DateTimeO::processZoneBias(), -300);
#endif
}

TEST(DateTime, NowIsTheCurrentInstantInTheLocalZone) {
    kbs::DateTimeInit init;
    EXPECT_EQ(init.zoneBias(), kbs::DateTimeO::processZoneBias());
    kbs::DateTimeO start = init.startTime();
    EXPECT_EQ(start.zoneBias(), start.localZoneBias());
    kbs::TimeStamp started = 0;
    start.toTimeStamp(&started);
    EXPECT_LE(kbs::currentTimeStamp() - started, 2u);

    // The calendar fields are recomputed in the local zone.
    kbs::DateTimeO now;
    now.now();
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    const int localMinutes = now.systemTime().wHour * 60 + now.systemTime().wMinute;
    const int utcMinutes = utc.wHour * 60 + utc.wMinute;
    EXPECT_LE(std::abs((localMinutes - utcMinutes - now.zoneBias() + 1440 + 720) % 1440 - 720), 1);
}

} // namespace
