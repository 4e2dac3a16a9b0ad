#pragma once
// A PS1 memory card held in memory, plain or behind the header of the tool
// that made the file (found by content, see PS1CardImageOffset). Saves are
// chains of 8 KiB blocks named in their first directory frame; chains are
// followed only as far as they are sound. Changes touch only this copy and
// keep the file's header.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "save/PS1CardLayout.h"

class Ps1CardImage {
public:
    struct Save {
        std::string name;
        std::vector<int> blocks;  // 0-based, in chain order
    };

    // An empty formatted card, 128 KiB with no header.
    static std::vector<uint8_t> Format();
    // Names a PS1 card takes: 1 to 20 printable ASCII characters, no '/'.
    static bool IsValidName(const std::string& name);

    explicit Ps1CardImage(std::vector<uint8_t> file);

    bool Valid() const { return refusal.empty(); }
    const std::string& Refusal() const { return refusal; }
    // The whole file: its header, then the card (made whole when the file ended early).
    const std::vector<uint8_t>& Bytes() const { return file; }

    // The live saves, in the order of their first blocks; each block belongs
    // to one save at most. What could not be followed goes to damage.
    std::vector<Save> Saves(std::vector<std::string>* damage = nullptr) const;
    std::optional<std::vector<uint8_t>> Read(const std::string& name) const;
    int FreeBlocks() const;

    // A save of whole blocks, replacing one of the same name. False (why says)
    // leaves this copy partly changed: discard it.
    bool Write(const std::string& name, std::span<const uint8_t> data, std::string& why);
    // Marks the save's blocks deleted, as the console does: its frames keep
    // their chain and name until the blocks are taken again.
    bool Remove(const std::string& name, std::string& why);

    // Everything wrong with the card, one line each; empty when it is sound.
    std::vector<std::string> Check() const;

private:
    PS1Card::DirectoryFrame Frame(int block) const;
    void PutFrame(int block, PS1Card::DirectoryFrame frame);
    uint8_t* Card() { return file.data() + offset; }
    const uint8_t* Card() const { return file.data() + offset; }
    std::optional<Save> Find(const std::string& name) const;
    // The sectors of the data block at blockStart that the broken-sector list names,
    // each with the offset of the frame standing in for it (both from the card's start).
    struct Replacement {
        size_t sector;
        size_t standIn;
    };
    std::vector<Replacement> Replacements(size_t blockStart) const;
    // Copies the frames' states into the DexDrive header, which mirrors them.
    void MirrorIntoHeader();

    std::vector<uint8_t> file;
    size_t offset = 0;
    std::string refusal;
};
