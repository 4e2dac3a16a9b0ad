// A game's catalogue page comes from the network: deciding its character set
// and reading its fields must take any bytes. An input that holds a NUL within
// its first 128 bytes gives the Content-Type header before it and the page after.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzRequire.h"
#include "card/InternetFile.h"
#include "common/TextCodec.h"
#include "gameinfo/CataloguePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string contentType;
    if (const size_t nul = input.substr(0, 128).find('\0'); nul != std::string_view::npos) {
        contentType = input.substr(0, nul);
        input.remove_prefix(nul + 1);
    }
    const std::unique_ptr<InternetFile> file = InternetFile::FromBody(std::string(input), contentType);
    const std::optional<CataloguePage::Fields> fields =
        CataloguePage::Parse([&](std::string& line) { return file->ReadString(line); });
    Require(fields.has_value() == !input.empty());
    if (!fields) {
        return 0;
    }
    Require(fields->size() == CataloguePage::kKeys.size());
    for (const auto& [key, value] : *fields) {
        // What goes into the cache file: text of ours, never a line break.
        Require(IsValidUtf8(value) && value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    }
    const std::string& price = fields->at("PRICE");
    if (price.empty()) {
        Require(fields->at("PRICE_TAX_IN").empty());
    } else {
        Require(price.size() <= 5 && price.find_first_not_of("0123456789") == std::string::npos);
        Require(fields->at("PRICE_TAX_IN") == std::to_string(std::stoul(price) * 105 / 100));
    }
    return 0;
}
