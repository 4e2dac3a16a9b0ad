#pragma once
// PS1 saves as raw save files and as 128 KiB memory card images.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class PS1SaveFileMcr {
public:
    struct Item {
        std::string name;  // as the card writes it (Shift-JIS bytes)
        std::vector<uint8_t> data;
    };

    virtual ~PS1SaveFileMcr() = default;

    // Appends the raw save file at path, named by the file's name. A file
    // larger than kLargestPS1CardFile is refused before it is read.
    bool LoadRaw(const std::string& path);
    // path: an existing folder; writes each item as path/<name> (decoded to
    // UTF-8). A file already there is first renamed to its backup name; an
    // item whose old file cannot be kept is not written (false, logged).
    bool SaveRaw(const std::string& path);
    // Appends every save found in the card image at path (plain, or after the
    // header of another tool, see PS1CardImageOffset). False (logged) for a
    // file that is no card image. Saves whose names cannot be file names are
    // left out and counted in skipped.
    bool Load(const std::string& path);
    // Load on a whole file already in memory; path names it in the log lines.
    bool LoadImage(std::span<const uint8_t> file, const std::string& path);
    // The same on the first bytes of a file of length bytes.
    bool LoadImage(std::span<const uint8_t> head, uint64_t length, const std::string& path);
    // Writes the items as one card image at path; where something stands
    // there, at NAME.000.mcr, NAME.001.mcr, ... (NumberedName): nothing is
    // replaced. savedImage gets the path written.
    bool Save(const std::string& path);

    std::vector<Item> items;
    // The saves Load and LoadImage left out for their names so far (each logged).
    size_t skipped = 0;
    // Save: where the image went.
    std::string savedImage;
};
