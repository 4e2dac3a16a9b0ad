#pragma once
// Reader of a PS2 save's "icon.sys": the title and the three icon file names.
#include <cstdint>
#include <span>
#include <string>

class IconSys {
public:
    // Reads the first 512 bytes of the file at path; test valid before use.
    explicit IconSys(const std::string& path);
    // Reads from bytes already in memory; path only names them in the log.
    IconSys(std::span<const uint8_t> bytes, const std::string& path);

    // List icon, copy icon, delete icon: file names inside the save folder (bytes as stored).
    std::string iconFileNames[3];
    // Shift-JIS title, its two lines joined with one space.
    std::string title;
    bool valid = false;

private:
    void Parse(std::span<const uint8_t> bytes, const std::string& path);
};
