#pragma once
// What a path on the PC holds, decided in one place for every command that
// takes a file from the user: the content decides first, the extension only
// where the content cannot show its kind.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>

enum class FileKind {
    Unknown,
    IconSys,
    SaveFolder,
    Psu,
    Npo,
    // One raw PS1 save: "SC" at its start, whole 8192-byte blocks.
    PS1Save,
    // A PS1 card image, plain or after the header of another tool.
    PS1CardImage,
    // Single-file saves of other tools, each known by the mark it opens with.
    Max,  // Action Replay MAX
    Cbs,  // CodeBreaker
    Sps,  // SharkPort and X-Port (.sps, .xps)
    Psv,  // PS3 export, of a PS2 or a PS1 save
};

// Never logs: each caller says in its own words what it could not take.
// openError is set when the path is neither a folder nor a readable file.
FileKind DetectFileKind(const std::string& path, std::error_code* openError = nullptr);

// The kind the content alone shows. head: the first bytes of a file of
// length bytes; the whole file when head.size() == length.
FileKind DetectContentKind(std::span<const uint8_t> head, uint64_t length);

// No PS1 card image file comes near this size; an image behind a header of a
// tool not known here is looked for only in files up to it.
constexpr uint64_t kLargestPS1CardFile = 1 << 20;

// Where the 128 KiB card image starts inside a file of length bytes whose
// first bytes are head; empty when the file is no PS1 card image. An image
// cut short after its directory block still counts (the rest reads as zeros).
std::optional<size_t> PS1CardImageOffset(std::span<const uint8_t> head, uint64_t length);
