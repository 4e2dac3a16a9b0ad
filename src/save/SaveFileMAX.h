#pragma once
#include <string_view>

#include "save/SaveFileTrade.h"

// The Action Replay MAX save ("Ps2PowerSave", .max): a header, then every
// file with its name compressed as one LZARI stream. It carries no times: the
// files get the time of the import, in the file's order.
class SaveFileMAX : public SaveFileTrade {
public:
    SaveFileMAX() : SaveFileTrade("SaveFileMAX") {}

    // The file's first bytes.
    static constexpr std::string_view kMagic = "Ps2PowerSave";

    // The CRC-32 the header holds: of the whole file with the field itself as zeros.
    static uint32_t Checksum(std::span<const uint8_t> file);
    // Where the header holds it.
    static constexpr size_t kChecksumOffset = 0x0C;

protected:
    bool Parse(std::span<const uint8_t> bytes) override;
};
