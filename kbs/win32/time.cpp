#include "windows.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

constexpr uint64_t ticksPerMillisecond = 10000;
constexpr uint64_t ticksPerDay = 86400ull * 1000 * ticksPerMillisecond;
// Days from 1601-01-01, where FILETIME counts from, to 0000-03-01 of the proleptic calendar.
constexpr int64_t daysFrom1601 = 584694;

bool isLeap(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(int64_t year, unsigned month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

// Days since 0000-03-01 of a Gregorian date, counting years from March so that leap days come last.
int64_t daysOfDate(int64_t year, unsigned month, unsigned day) {
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = y / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
}

void dateOfDays(int64_t days, SYSTEMTIME& date) {
    const int64_t era = days / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    date.wYear = static_cast<WORD>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    // 0000-03-01 was a Wednesday.
    date.wDayOfWeek = static_cast<WORD>((days + 3) % 7);
}

void copyName(const char* name, WCHAR (&target)[32]) {
    size_t i = 0;
    for (; name != nullptr && name[i] != '\0' && i < 31; ++i) {
        target[i] = static_cast<unsigned char>(name[i]);
    }
    target[i] = 0;
}

} // namespace

// GetSystemTime: the current UTC date and time to the millisecond.
void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t ticks = static_cast<uint64_t>(now.tv_sec) * 10000000 +
                           static_cast<uint64_t>(now.tv_nsec) / 100 + 116444736000000000;
    const FILETIME fileTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FileTimeToSystemTime(&fileTime, lpSystemTime);
}

// GetTimeZoneInformation: bias, names and daylight state of TZ's zone; no transition dates.
DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
    // tzset rewrites tzname, timezone and daylight; Windows answers any number of threads at once.
    static std::mutex zoneLock;
    const std::lock_guard<std::mutex> lock(zoneLock);
    tzset();
    std::memset(lpTimeZoneInformation, 0, sizeof *lpTimeZoneInformation);
    lpTimeZoneInformation->Bias = static_cast<LONG>(timezone / 60);
    copyName(tzname[0], lpTimeZoneInformation->StandardName);
    if (!daylight) {
        return TIME_ZONE_ID_UNKNOWN;
    }
    copyName(tzname[1], lpTimeZoneInformation->DaylightName);
    lpTimeZoneInformation->DaylightBias = -60;
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return local.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

// FileTimeToSystemTime: Gregorian calendar fields of a FILETIME below 2^63.
BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    const uint64_t ticks = uint64_t{lpFileTime->dwHighDateTime} << 32 | lpFileTime->dwLowDateTime;
    if (ticks >> 63 != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    dateOfDays(static_cast<int64_t>(ticks / ticksPerDay) + daysFrom1601, *lpSystemTime);
    uint64_t rest = ticks % ticksPerDay / ticksPerMillisecond;
    lpSystemTime->wMilliseconds = static_cast<WORD>(rest % 1000);
    rest /= 1000;
    lpSystemTime->wSecond = static_cast<WORD>(rest % 60);
    rest /= 60;
    lpSystemTime->wMinute = static_cast<WORD>(rest % 60);
    lpSystemTime->wHour = static_cast<WORD>(rest / 60);
    return TRUE;
}

// SystemTimeToFileTime: validates every field but the day of the week, years 1601 to 30827.
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    const SYSTEMTIME& t = *lpSystemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > daysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto days = static_cast<uint64_t>(daysOfDate(t.wYear, t.wMonth, t.wDay) - daysFrom1601);
    const uint64_t milliseconds =
        ((uint64_t{t.wHour} * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
    const uint64_t ticks = days * ticksPerDay + milliseconds * ticksPerMillisecond;
    lpFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

// localtime_s: 0 and the local fields, or EINVAL for a missing argument or a time it cannot break.
int localtime_s(struct tm* result, const time_t* seconds) {
    if (result == nullptr || seconds == nullptr || localtime_r(seconds, result) == nullptr) {
        return EINVAL;
    }
    return 0;
}
