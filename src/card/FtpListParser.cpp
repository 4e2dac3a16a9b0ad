#include "card/FtpListParser.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "card/ParseMode.h"
#include "common/Log.h"

namespace {

// Compared exactly: a server that writes "jan" is misspelling it.
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// File times before this year cannot be shown on the card side, so older
// dates and the dates the listing leaves out all become this year.
constexpr uint64_t kFirstYear = 1980;
// Keeps a hostile year inside what the calendar conversion can represent.
constexpr uint64_t kLastYear = 9999;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The first `count` blank-separated words, and what follows them with its
// leading blanks removed (the name, which may itself hold blanks).
bool SplitWords(std::string_view line, size_t count, std::vector<std::string_view>& words, std::string_view& rest)
{
    words.clear();
    size_t at = 0;
    while (words.size() < count) {
        while (at < line.size() && IsBlank(line[at])) {
            ++at;
        }
        if (at == line.size()) {
            return false;
        }
        const size_t start = at;
        while (at < line.size() && !IsBlank(line[at])) {
            ++at;
        }
        words.push_back(line.substr(start, at - start));
    }
    while (at < line.size() && IsBlank(line[at])) {
        ++at;
    }
    rest = line.substr(at);
    return true;
}

// Only decimal digits count as a number: a sign, a colon or an empty text
// does not. Wraps past 64 bits, which keeps the low 32 bits of a size right.
std::optional<uint64_t> DigitsToNumber(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// "2004-11-23": four digits, two, two.
bool IsIsoDate(std::string_view word)
{
    if (word.size() != 10 || word[4] != '-' || word[7] != '-') {
        return false;
    }
    return DigitsToNumber(word.substr(0, 4)) && DigitsToNumber(word.substr(5, 2)) && DigitsToNumber(word.substr(8, 2));
}

int ClampYear(uint64_t year)
{
    if (year < kFirstYear) {
        return static_cast<int>(kFirstYear);
    }
    return static_cast<int>(year > kLastYear ? kLastYear : year);
}

// The listed time is the console's local time; the system decides whether
// daylight saving applied on that day.
int64_t LocalTime(int year, int month, int day, int hour, int minute)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    return seconds == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(seconds);
}

// mode links owner group size month day year-or-time name. A time of day
// stands in for the year of recent entries; the year is then unknown and
// the entry gets the first year, as do entries before it.
bool ParseLsLayout(std::string_view line, FtpClient::FILE_DATA& entry)
{
    std::vector<std::string_view> words;
    std::string_view name;
    if (!SplitWords(line, 8, words, name) || name.empty()) {
        return false;
    }
    const std::optional<uint64_t> size = DigitsToNumber(words[4]);
    const uint64_t day = DigitsToNumber(words[6]).value_or(0);
    if (!size || day > 31) {
        return false;
    }

    int month = 1;
    const auto found = std::find(kMonths.begin(), kMonths.end(), words[5]);
    if (found == kMonths.end()) {
        Log("エラー : 英単語の綴りが間違ってます FtpClient::FILE_DATA " + std::string(words[5]));
    } else {
        month = static_cast<int>(found - kMonths.begin()) + 1;
    }
    const int year = ClampYear(DigitsToNumber(words[7]).value_or(0));

    ParseMode(words[0], entry);
    entry.time = LocalTime(year, month, day < 1 ? 1 : static_cast<int>(day), 0, 0);
    entry.name = std::string(name);
    entry.size = static_cast<uint32_t>(*size);
    return true;
}

// mode owner group size YYYY-MM-DD HH:MM name, with no link count. The time
// of day is given here, so it is kept.
bool ParseIsoLayout(std::string_view line, FtpClient::FILE_DATA& entry)
{
    std::vector<std::string_view> words;
    std::string_view name;
    if (!SplitWords(line, 6, words, name) || name.empty()) {
        return false;
    }
    const std::optional<uint64_t> size = DigitsToNumber(words[3]);
    const std::string_view date = words[4];
    const uint64_t month = DigitsToNumber(date.substr(5, 2)).value_or(0);
    const uint64_t day = DigitsToNumber(date.substr(8, 2)).value_or(0);
    if (!size || month < 1 || month > 12 || day > 31) {
        return false;
    }

    int hour = 0;
    int minute = 0;
    const std::string_view clock = words[5];
    if (clock.size() == 5 && clock[2] == ':') {
        const std::optional<uint64_t> h = DigitsToNumber(clock.substr(0, 2));
        const std::optional<uint64_t> m = DigitsToNumber(clock.substr(3, 2));
        if (h && m && *h < 24 && *m < 60) {
            hour = static_cast<int>(*h);
            minute = static_cast<int>(*m);
        }
    }
    const int year = ClampYear(DigitsToNumber(date.substr(0, 4)).value_or(0));

    ParseMode(words[0], entry);
    entry.time = LocalTime(year, static_cast<int>(month), day < 1 ? 1 : static_cast<int>(day), hour, minute);
    entry.name = std::string(name);
    entry.size = static_cast<uint32_t>(*size);
    return true;
}

}  // namespace

bool ParseListLine(const std::string& line, FtpClient::FILE_DATA& entry)
{
    // The log joins line breaks into spaces, so the raw line gets a log line of its own.
    Log(line);

    std::vector<std::string_view> words;
    std::string_view rest;
    FtpClient::FILE_DATA parsed = entry;
    bool ok = false;
    // The fifth word tells the layouts apart: a size in one, an ISO date in the other.
    if (SplitWords(line, 5, words, rest) && IsIsoDate(words[4])) {
        ok = ParseIsoLayout(line, parsed);
    } else {
        ok = ParseLsLayout(line, parsed);
    }
    if (ok) {
        entry = std::move(parsed);
    }
    return ok;
}
