#pragma once
#include <string_view>

#include "save/SaveFileTrade.h"

// The CodeBreaker save ("CFU\0", .cbs): a header with the save's name and
// times, then every file with its name and times as one zlib stream,
// encrypted with RC4.
class SaveFileCBS : public SaveFileTrade {
public:
    SaveFileCBS() : SaveFileTrade("SaveFileCBS") {}

    // The file's first bytes.
    static constexpr std::string_view kMagic{"CFU\0", 4};
    // Encrypts or decrypts a body: the cipher is its own inverse.
    static void Cipher(std::span<uint8_t> body);

protected:
    bool Parse(std::span<const uint8_t> bytes) override;
};
