#pragma once
#include <optional>
#include <string_view>

#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileTrade.h"

// The PS3's export of a save of its virtual cards ("\0VSP", .psv): a signed
// header, then either a PS2 save (a directory entry, each file's entry, the
// files' bytes) or one raw PS1 save. The signature is the PS3's business and
// is not checked.
class SaveFilePSV : public SaveFileTrade {
public:
    SaveFilePSV() : SaveFileTrade("SaveFilePSV") {}

    // The file's first bytes.
    static constexpr std::string_view kMagic{"\0VSP", 4};

    // After a load of a PS1 save: that save, as a card gives one (the map
    // stays empty then).
    std::optional<PS1SaveFileMcr::Item> ps1Save;

protected:
    bool Parse(std::span<const uint8_t> bytes) override;

private:
    bool ParsePS2(ByteReader reader);
    bool ParsePS1(ByteReader reader);
};
