#pragma once
// Card image files as a whole: which kind a file is, a new empty one, and the
// check of one, for the factory and the command line.
#include <cstdint>
#include <span>
#include <string>
#include <system_error>
#include <vector>

enum class CardImageKind {
    None,
    Ps2,
    Ps1,
};

// By content: the PS2 format mark, a PS1 card (plain or behind a known
// header), or a PS2-sized file of erased bytes (an unformatted PS2 card,
// which the backend then refuses, saying so). bytes: the file's start.
CardImageKind CardImageKindOf(std::span<const uint8_t> bytes, uint64_t length);
// The same for a file; None when it cannot be read.
CardImageKind CardImageKindOfFile(const std::string& path);

// A formatted empty card written to path, which must not exist yet
// (file_exists then; nothing is replaced). megabytes: PS2 only, 8 to 64.
std::error_code FormatCardImage(const std::string& path, bool ps1, bool ecc, uint32_t megabytes);

struct CardImageReport {
    CardImageKind kind = CardImageKind::None;
    uint64_t size = 0;
    bool ecc = false;  // PS2 only
    // Set when the file could not be read at all.
    std::error_code readError;
    // Empty when the image is sound.
    std::vector<std::string> problems;
};
// Reads path and checks it without changing it.
CardImageReport CheckCardImage(const std::string& path);
