#pragma once
// The one in-memory form of PS2 saves that every container converts through:
// save directory name -> the save's files, each held whole with its times and
// attribute. Names are kept as the card writes them (Shift-JIS bytes); they are
// decoded only where they become PC file names.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

class SaveFileBase {
public:
    struct FILE_DATA {
        std::string name;
        std::vector<uint8_t> data;
        int64_t creationTime = 0;  // seconds since 1970 UTC; 0 = not set
        int64_t lastWriteTime = 0;
        int64_t lastAccessTime = 0;
        uint8_t attribute = 0;     // read-only 0x01, hidden 0x02, system 0x04, directory 0x10, archive 0x20
    };
    using FileList = std::vector<std::shared_ptr<FILE_DATA>>;
    // Ordered byte by byte as unsigned values (std::string's own order).
    using SaveMap = std::map<std::string, FileList>;

    SaveFileBase() = default;
    SaveFileBase(const SaveFileBase&) = default;
    SaveFileBase& operator=(const SaveFileBase&) = default;
    virtual ~SaveFileBase() = default;

    // Writes every save of the map in this format; written lists what it wrote.
    virtual bool Save(const std::string& path) = 0;
    // Replaces the map by the one save read from path. A file cut short or
    // unreadable is a failed load (false, logged) that leaves the map empty;
    // entries left out for names no file may have count in skipped.
    virtual bool Load(const std::string& path) = 0;

    // PS2 cards hold 8 MB and the largest cards of emulators 64 MB: a save, or
    // a container holding one, of more than twice that is no save, and it is
    // refused before it is read rather than held whole in memory.
    static constexpr uint64_t kLargestSave = uint64_t{128} << 20;

    // The file order key: the seconds field (0-59) of the creation time in
    // local time, -1 when it cannot be converted.
    static int FileOrderKey(int64_t creationTime);
    // Ascending by the file order key alone; equal keys keep their order.
    static void SortByFileOrder(FileList& files);
    // For formats that carry no times: every file is written now, and created
    // in the current minute at the second of its 1-based position, so that
    // sorting by the file order key keeps the list's order (up to 59 files;
    // the key starts again at 0 after that).
    static void StampFileOrder(FileList& files);
    // Whether a name read from a container may become a path component: a
    // plain name (IsPlainName) with no '\' either. A 0x5C that is the second
    // byte of a Shift-JIS character is part of that character, not a '\'.
    static bool IsSafeName(const std::string& name);

    // Shared records: copying the map into another container copies no bytes.
    SaveMap saves;
    // The last Load: entries left out of the map, each logged. Not 0 means
    // some of the save stayed behind, though what came is whole.
    size_t skipped = 0;
    // The last Save: the path of each file or folder written, in save order.
    std::vector<std::string> written;
};

// A file error that abandons the command it happens in: the operating
// system's error and the path. The controller catches it per save.
class SaveFileError : public std::runtime_error {
public:
    SaveFileError(const std::string& filePath, std::error_code code)
        : std::runtime_error(filePath + ": " + code.message()), path(filePath), error(code)
    {
    }
    std::string path;
    std::error_code error;
};
