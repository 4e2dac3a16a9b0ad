#pragma once
// The seven fields of a game's page on the game-title catalogue. The page is
// read strictly forwards, one converted line at a time, each label searched
// from the line after the previous field: title, publisher, format, genre,
// price, release date. No network here, so any bytes can be thrown at it.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class CataloguePage {
public:
    using Fields = std::map<std::string, std::string>;
    // The cache's keys, in the order the cache file lists them.
    static constexpr std::array<const char*, 7> kKeys = {"FORMAT",       "GENRE",     "MAKER", "PRICE",
                                                         "PRICE_TAX_IN", "SALE_DATE", "TITLE"};
    // What every key holds for a page without a single line.
    static constexpr const char* kNoData = "NO DATA";

    // readLine gives the next line (false at the end of the page, and at
    // every call after it). Empty when the page has no line at all; else all
    // seven keys, "" for a field whose label was not found (or whose line
    // holds fewer than two '>').
    static std::optional<Fields> Parse(const std::function<bool(std::string&)>& readLine);
    static Fields NoData();

    // The text after a line's second '>', up to its first "</" (else up to its
    // first '<', else to its end); "" when the line holds fewer than two '>'.
    static std::string InlineValue(std::string_view line);
    // Every "<...>" removed; a '<' without a '>' after it cuts the line there.
    static std::string RemoveTags(std::string_view line);
    // The number the decimal digits among the text's first five characters
    // make, in order, all else skipped ("5,800円" gives 5800, "12,345" 1234).
    static uint32_t PriceNumber(std::string_view text);
};
