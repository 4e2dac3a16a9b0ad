#include "gameinfo/CataloguePage.h"

namespace {

// The first five characters, not bytes: the page text is UTF-8 by now.
constexpr int kPriceCharacters = 5;
// Between a label and its value the page has two lines of its own (the
// label's closing cell and the value's opening row).
constexpr int kLinesAfterLabel = 3;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::optional<CataloguePage::Fields> CataloguePage::Parse(const std::function<bool(std::string&)>& readLine)
{
    std::string line;
    // The first line only tells that the page has any text.
    if (!readLine(line)) {
        return std::nullopt;
    }
    Fields fields;
    for (const char* key : kKeys) {
        fields[key];
    }
    const auto seek = [&](std::string_view label) {
        while (readLine(line)) {
            if (line.find(label) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    const auto valueAfter = [&](std::string_view label) -> std::optional<std::string> {
        if (!seek(label)) {
            return std::nullopt;
        }
        for (int i = 0; i < kLinesAfterLabel; ++i) {
            if (!readLine(line)) {
                return std::nullopt;
            }
        }
        return RemoveTags(line);
    };

    if (seek("titlename")) {
        fields["TITLE"] = InlineValue(line);
    }
    if (seek("licensee-name")) {
        fields["MAKER"] = InlineValue(line);
    }
    if (const auto format = valueAfter("フォーマット")) {
        fields["FORMAT"] = *format;
    }
    if (const auto genre = valueAfter("ジャンル")) {
        fields["GENRE"] = *genre;
    }
    if (const auto price = valueAfter("希望小売価格")) {
        const uint32_t number = PriceNumber(*price);
        fields["PRICE"] = std::to_string(number);
        fields["PRICE_TAX_IN"] = std::to_string(number * 105 / 100);
    }
    if (const auto saleDate = valueAfter("発売日")) {
        fields["SALE_DATE"] = *saleDate;
    }
    return fields;
}

CataloguePage::Fields CataloguePage::NoData()
{
    Fields fields;
    for (const char* key : kKeys) {
        fields[key] = kNoData;
    }
    return fields;
}

std::string CataloguePage::InlineValue(std::string_view line)
{
    const size_t first = line.find('>');
    const size_t second = first == std::string_view::npos ? first : line.find('>', first + 1);
    if (second == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = line.substr(second + 1);
    const size_t close = rest.find("</");
    return std::string(rest.substr(0, close != std::string_view::npos ? close : rest.find('<')));
}

// One pass, so that a line of megabytes full of tags costs no more than reading it.
std::string CataloguePage::RemoveTags(std::string_view line)
{
    std::string text;
    for (size_t at = 0;;) {
        const size_t open = line.find('<', at);
        text.append(line.substr(at, open == std::string_view::npos ? line.npos : open - at));
        const size_t close = open == std::string_view::npos ? open : line.find('>', open);
        if (close == std::string_view::npos) {
            return text;
        }
        at = close + 1;
    }
}

uint32_t CataloguePage::PriceNumber(std::string_view text)
{
    uint32_t number = 0;
    int characters = 0;
    for (const char c : text) {
        if (!IsContinuationByte(c) && ++characters > kPriceCharacters) {
            break;
        }
        if (c >= '0' && c <= '9') {
            number = number * 10 + static_cast<uint32_t>(c - '0');
        }
    }
    return number;
}
