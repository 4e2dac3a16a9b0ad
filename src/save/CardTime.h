#pragma once
// The date and time record of the card's directory entries. Every container
// that carries times copies it unchanged, so it is read and written here only.
#include <cstdint>
#include <optional>

#pragma pack(push, 1)
// Local time as the console's clock gave it. Little-endian.
struct CardTime {
    uint8_t unused;
    uint8_t second;
    uint8_t minute;
    uint8_t hour;
    uint8_t day;    // 1-31
    uint8_t month;  // 1-12
    uint16_t year;  // for example 2006
};
#pragma pack(pop)
static_assert(sizeof(CardTime) == 8);

// Hour, minute and second 0xFF with a zero date where the time has no local
// calendar form.
CardTime ToCardTime(int64_t seconds);
// Seconds since 1970 UTC. A year of 0 stands for 2000 and a day or month of 0
// for 1; anything else outside the calendar (31 February, a year before 1900)
// is no time at all.
std::optional<int64_t> FromCardTime(const CardTime& time);
