#pragma once
// tansu-cli info: what the program reads from one path, recognised by its content.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class InfoKind {
    IconSys,
    Ps2Folder,
    Psu,
    Npo,
    Ps1Save,
    Ps1Card,
    Max,
    Cbs,
    Sps,
    Psv,
};

// A file of a save, or a save of a PS1 card image. Texts UTF-8.
struct InfoEntry {
    std::string name;
    uint64_t size = 0;
    // Seconds since 1970 UTC; only the kinds that carry times, empty when not set.
    std::optional<int64_t> created;
    std::optional<int64_t> modified;
};

struct PathInfo {
    InfoKind kind = InfoKind::IconSys;
    // The save's name (PS2 folder, psu, npo, max, cbs, sps, psv).
    std::optional<std::string> name;
    // icon.sys, PS2 folder, max, cbs, sps and psv of a PS2 save: the icon.sys
    // title with its two lines joined by a space; PS1 raw save and psv of a
    // PS1 save: its title.
    std::optional<std::string> title;
    // icon.sys: list, copy and delete icon.
    std::vector<std::string> icons;
    // PS2 folder: the time the save-information pane shows for it ("%Y/%m/%d %H:%M:%S", local).
    std::optional<std::string> modified;
    // PS1 raw save: its icon frames.
    std::optional<int> frames;
    // Files of a PS2 save in file order, the saves of a PS1 card image, or
    // the one raw save of a psv of a PS1 save.
    std::vector<InfoEntry> entries;
};

// Empty when the path is of no known kind or could not be read (logged).
std::optional<PathInfo> ReadPathInfo(const std::string& path);

// "icon.sys", "ps2-folder", "psu", "npo", "ps1-save", "ps1-card", "max", "cbs", "sps", "psv".
const char* InfoKindName(InfoKind kind);
// Whether entries of this kind carry created and modified times.
bool KindHasTimes(InfoKind kind);
