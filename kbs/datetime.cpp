#include "kbs/datetime.h"

#include "kbs/exceptions.h"
#include "kbs/singleton.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>

namespace kbs {

namespace {

constexpr std::int32_t invalidDateTime = 1313;

[[noreturn]] void throwInvalid(const StringBase<char>& what) {
    throw Exception(invalidDateTime, what, emptyString(), emptyString(), emptyString());
}

// The calendar fields as local standard time, as mktime normalises them.
std::tm localStandardTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = 0;
    return fields;
}

std::atomic<DateTimeO*> processZone{nullptr};

} // namespace

std::int64_t epoch2000() {
    static const std::int64_t epoch = [] {
        tzset();
        std::tm start = localStandardTime(2000, 1, 1, 0, 0, 0);
        const auto local = static_cast<std::int64_t>(std::mktime(&start));
        return local - timezone;
    }();
    return epoch;
}

TimeStamp currentTimeStamp() {
    return static_cast<TimeStamp>(static_cast<std::int64_t>(std::time(nullptr)) - epoch2000());
}

TimeStamp timeStampFromSeconds(std::int64_t secondsSince1970) {
    // Unsigned, so that a time before 2000 comes out too large as well.
    const std::uint64_t since2000 =
        static_cast<std::uint64_t>(secondsSince1970) - static_cast<std::uint64_t>(epoch2000());
    return since2000 >= noTimeStamp ? largestTimeStamp : static_cast<TimeStamp>(since2000);
}

std::int64_t secondsFromTimeStamp(TimeStamp stamp) {
    return stamp == noTimeStamp ? epoch2000() : stamp + epoch2000();
}

std::uint64_t fileTimeFromTimeStamp(TimeStamp stamp) {
    return static_cast<std::uint64_t>(stamp + epoch2000()) * ticksPerSecond + fileTimeOf1970;
}

TimeStamp timeStampFromFileTime(std::uint64_t fileTime) {
    const auto ticks = static_cast<std::int64_t>(fileTime - fileTimeOf1970);
    return timeStampFromSeconds(ticks / static_cast<std::int64_t>(ticksPerSecond));
}

void DateTimeO::setSystemTime(const SYSTEMTIME& time) {
    std::tm noon = localStandardTime(time.wYear, time.wMonth, time.wDay, 12, 0, 0);
    std::mktime(&noon);
    if (noon.tm_year != time.wYear - 1900 || noon.tm_mon != time.wMonth - 1 ||
        noon.tm_mday != time.wDay) {
        StringBase<char> date;
        date.appendNumber(time.wYear);
        date += '-';
        date.appendNumber(time.wMonth);
        date += '-';
        date.appendNumber(time.wDay);
        throwInvalid(date);
    }
    if (time.wHour >= 24 || time.wMinute >= 60 || time.wSecond >= 60 || time.wMilliseconds > 999) {
        char clock[32];
        std::snprintf(clock, sizeof clock, "%u:%02u:%02u.%03u", time.wHour, time.wMinute,
                      time.wSecond, time.wMilliseconds);
        throwInvalid(clock);
    }
    calendar = time;
    systemTimeValid = 1;
    fileTimeValid = 0;
}

void DateTimeO::now() {
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    bias = 0;
    fileTimeValid = 0;
    systemTimeValid = 0;
    setSystemTime(utc);
    const std::int32_t local = localZoneBias();
    if (local != 0) {
        // The UTC instant stays as file time; the calendar follows in the local zone when read.
        ensureFileTime();
        bias = local;
        systemTimeValid = 0;
    }
}

void DateTimeO::ensureSystemTime() {
    if (systemTimeValid)
        return;
    if (!fileTimeValid)
        throwInvalid("not set");
    const std::uint64_t ticks = fileTime + static_cast<std::uint64_t>(bias * ticksPerMinute);
    const FILETIME local = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (!FileTimeToSystemTime(&local, &calendar))
        throwInvalid("conversion fail");
    systemTimeValid = 1;
}

void DateTimeO::ensureFileTime() {
    if (fileTimeValid)
        return;
    if (!systemTimeValid)
        throwInvalid("not set");
    FILETIME local;
    if (!SystemTimeToFileTime(&calendar, &local))
        throwInvalid(text(false));
    fileTime = (std::uint64_t{local.dwHighDateTime} << 32 | local.dwLowDateTime) -
               static_cast<std::uint64_t>(bias * ticksPerMinute);
    fileTimeValid = 1;
}

std::int32_t DateTimeO::processZoneBias() {
    return processWide(processZone,
                       [] {
                           TIME_ZONE_INFORMATION zone{};
                           const DWORD answer = GetTimeZoneInformation(&zone);
                           // Known, standard or daylight; a failure counts as UTC.
                           return std::make_unique<DateTimeO>(
                               answer <= TIME_ZONE_ID_DAYLIGHT ? -zone.Bias : 0);
                       })
        .zoneBias();
}

std::int32_t DateTimeO::localZoneBias() {
    const std::int32_t process = processZoneBias();
    std::time_t seconds;
    if (systemTimeValid) {
        std::tm fields = localStandardTime(calendar.wYear, calendar.wMonth, calendar.wDay,
                                           calendar.wHour, calendar.wMinute, calendar.wSecond);
        seconds = std::mktime(&fields);
    } else if (fileTimeValid) {
        seconds = static_cast<std::time_t>(secondsFromTimeStamp(timeStampFromFileTime(fileTime)));
    } else {
        return process;
    }
    // Not std::localtime: its result is shared by every thread of the process.
    std::tm local{};
    const bool known = localtime_s(&local, &seconds) == 0;
    return known && local.tm_isdst > 0 ? process + 60 : process;
}

StringBase<char> DateTimeO::text(bool iso) {
    ensureSystemTime();
    char formatted[40];
    std::snprintf(formatted, sizeof formatted, "%04u-%02u-%02u%c%02u:%02u:%02u", calendar.wYear,
                  calendar.wMonth, calendar.wDay, iso ? 'T' : ' ', calendar.wHour, calendar.wMinute,
                  calendar.wSecond);
    return formatted;
}

bool DateTimeO::toTimeStamp(TimeStamp* stamp) {
    ensureFileTime();
    *stamp = timeStampFromFileTime(fileTime);
    return true;
}

DateTimeInit::DateTimeInit() : DateTimeO(processZoneBias()) {
    start.now();
}

} // namespace kbs
