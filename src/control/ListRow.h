#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class ListSide : int {
    PS2 = 0,  // the card list, 1004
    PC = 1,   // the PC folder list, 1005
};

enum ListColumn : int {
    kColumnTitle = 0,
    kColumnName = 1,
    kColumnSize = 2,
    kColumnType = 3,
    kColumnCount = 4,
};

// The four texts a row shows: title, directory or file name, size in KB with
// at least four digits, type ("PS2" or "PS1"). UTF-8.
using ListTexts = std::vector<std::string>;

// A row of either save list. The texts are only what the columns show (a name
// with a space shows its last word, a name that is no UTF-8 shows decoded);
// every command acts on the row's identity: its side, its card slot and its
// whole name as the bytes the card or the PC file system holds.
struct ListRow {
    ListTexts texts;
    ListSide side = ListSide::PC;
    // The card's slot ("0" or "1"); empty for the PC list.
    std::string slot;
    // The save's directory or file name, byte for byte.
    std::string name;
    // When the save last changed as its listing says (seconds since 1970 UTC); 0 when unknown.
    int64_t time = 0;

    const std::string& operator[](size_t column) const { return texts[column]; }
    std::string& operator[](size_t column) { return texts[column]; }
    size_t size() const { return texts.size(); }
    bool IsPS1() const { return texts.size() == kColumnCount && texts[kColumnType] == "PS1"; }
    // The same save: side, slot and name (the texts may differ after a refresh).
    bool SameSave(const ListRow& other) const
    {
        return side == other.side && slot == other.slot && name == other.name;
    }
};
