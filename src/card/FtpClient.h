#pragma once
// One entry of a card listing, whichever backend made it.
#include <cstdint>
#include <string>

namespace FtpClient {
struct FILE_DATA {
    bool isDirectory = false;
    uint8_t ownerMode = 0;  // bit 0 r, bit 1 w, bit 2 x
    uint8_t groupMode = 0;
    uint8_t otherMode = 0;
    uint32_t size = 0;      // bytes as listed (the low 32 bits)
    int64_t time = 0;       // seconds since 1970 UTC
    std::string name;       // as sent by the card side, no path
};
}  // namespace FtpClient
