#pragma once
#include <string_view>

#include "save/SaveFileTrade.h"

// The SharkPort and X-Port save ("SharkPortSave", .sps and .xps): a few
// texts, then the save's directory entry and every file's entry with its
// bytes, closed by a checksum.
class SaveFileSPS : public SaveFileTrade {
public:
    SaveFileSPS() : SaveFileTrade("SaveFileSPS") {}

    // The file opens with this text's length (u32) and the text.
    static constexpr std::string_view kMagic = "SharkPortSave";
    // The checksum that follows the entries, of the entries' bytes.
    static uint32_t Checksum(std::span<const uint8_t> payload);

protected:
    bool Parse(std::span<const uint8_t> bytes) override;
};
