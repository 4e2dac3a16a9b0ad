#include "save/CardTime.h"

#include <ctime>
#include <limits>

CardTime ToCardTime(int64_t seconds)
{
    CardTime time{};
    const std::time_t value = static_cast<std::time_t>(seconds);
    std::tm local{};
    const bool converted = localtime_r(&value, &local) != nullptr;
    const long long year = static_cast<long long>(local.tm_year) + 1900;
    if (!converted || year < 0 || year > std::numeric_limits<uint16_t>::max()) {
        time.second = time.minute = time.hour = 0xFF;
        return time;
    }
    time.second = static_cast<uint8_t>(local.tm_sec);
    time.minute = static_cast<uint8_t>(local.tm_min);
    time.hour = static_cast<uint8_t>(local.tm_hour);
    time.day = static_cast<uint8_t>(local.tm_mday);
    time.month = static_cast<uint8_t>(local.tm_mon + 1);
    time.year = static_cast<uint16_t>(year);
    return time;
}

// A year before 1900 could be represented here, but the saves' home system
// cannot have written it.
std::optional<int64_t> FromCardTime(const CardTime& time)
{
    const int year = time.year == 0 ? 2000 : time.year;
    const int month = time.month == 0 ? 1 : time.month;
    const int day = time.day == 0 ? 1 : time.day;
    if (year < 1900 || month > 12 || day > 31 || time.hour > 23 || time.minute > 59 || time.second > 59) {
        return std::nullopt;
    }
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;
    local.tm_wday = -1;  // left alone by a failed conversion
    const std::time_t seconds = std::mktime(&local);
    // 31 February would silently become a day of March.
    if (local.tm_wday == -1 || local.tm_mday != day || local.tm_mon != month - 1 || local.tm_year != year - 1900) {
        return std::nullopt;
    }
    return static_cast<int64_t>(seconds);
}
