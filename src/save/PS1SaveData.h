#pragma once
// Reader of a raw PS1 save's header: its title and its 16 x 16 icon frames.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class PS1SaveData {
public:
    static constexpr int kIconSize = 16;
    static constexpr size_t kFrameBytes = kIconSize * kIconSize * 4;

    explicit PS1SaveData(const std::string& path);
    // fileLength is the length of the whole file; bytes holds its start (at most 1152 are used).
    PS1SaveData(std::span<const uint8_t> bytes, uint64_t fileLength);

    std::string title;  // Shift-JIS
    // One 1024-byte image per frame: 256 texels of blue, green, red, 255.
    std::vector<std::vector<uint8_t>> frames;
    bool valid = false;

private:
    void Parse(std::span<const uint8_t> bytes, uint64_t fileLength);
};
