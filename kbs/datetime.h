// Points in time: a full date and time that keeps a FILETIME (UTC) and calendar fields in its own
// zone, each made from the other on demand, and the compact TimeStamp used for file times.
#ifndef KBS_DATETIME_H
#define KBS_DATETIME_H

#include "kbs/strings.h"

#include <windows.h>

#include <cstdint>

namespace kbs {

// Seconds since 2000-01-01 00:00:00 UTC.
using TimeStamp = std::uint32_t;

constexpr TimeStamp noTimeStamp = 0xFFFFFFFF;
// Also every time before 2000 or too late to fit.
constexpr TimeStamp largestTimeStamp = 0xFFFFFFFE;

constexpr std::uint64_t fileTimeOf1970 = 116444736000000000;
constexpr std::uint64_t ticksPerSecond = 10000000;
constexpr std::int64_t ticksPerMinute = 600000000;

// 2000-01-01 00:00:00 UTC in seconds since 1970, as the C library's local time sees it.
std::int64_t epoch2000();

TimeStamp currentTimeStamp();
TimeStamp timeStampFromSeconds(std::int64_t secondsSince1970);
std::int64_t secondsFromTimeStamp(TimeStamp stamp);
std::uint64_t fileTimeFromTimeStamp(TimeStamp stamp);
TimeStamp timeStampFromFileTime(std::uint64_t fileTime);

// Invalid values throw Exception 1313. Calendar reads first make the calendar fields valid, so
// they are not const.
class DateTimeO {
public:
    explicit DateTimeO(std::int32_t zoneBias = 0) : bias(zoneBias) {}

    // Validates (the day of the week is not looked at) and keeps the fields; the bias stays.
    void setSystemTime(const SYSTEMTIME& time);
    // The current moment in the local zone.
    void now();
    void ensureSystemTime();
    void ensureFileTime();
    // The local zone's bias in minutes at this value's instant; the process bias without a time.
    std::int32_t localZoneBias();
    // "YYYY-MM-DD hh:mm:ss", with "T" instead of the blank when `iso` is set.
    StringBase<char> text(bool iso);
    bool toTimeStamp(TimeStamp* stamp);

    const SYSTEMTIME& systemTime() {
        ensureSystemTime();
        return calendar;
    }
    std::int32_t zoneBias() const { return bias; }

    // Minutes to add to UTC for the local zone, learnt once per process.
    static std::int32_t processZoneBias();

private:
    std::uint8_t fileTimeValid = 0;
    std::uint8_t systemTimeValid = 0;
    // Minutes to add to UTC to get the time of this value's zone.
    std::int32_t bias;
    std::uint64_t fileTime = 0;
    SYSTEMTIME calendar{};
};

// The automatic initialiser's payload: learns the local zone and records the start of the library.
class DateTimeInit : public DateTimeO {
public:
    DateTimeInit();

    const DateTimeO& startTime() const { return start; }

private:
    DateTimeO start;
};

} // namespace kbs

#endif
