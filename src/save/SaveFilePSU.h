#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "save/SaveFileBase.h"

// The ".psu" single-file save: 512-byte card directory entries, each file's
// bytes padded to whole 1024-byte blocks.
class SaveFilePSU : public SaveFileBase {
public:
    // path: an existing folder; one "<title>.psu" per save, or where a file
    // of that name stands "<title>.000.psu", ".001", ...: nothing is replaced.
    // A save with a file that cannot go into the entries is not written
    // (false, logged).
    bool Save(const std::string& path) override;
    // Refuses a file larger than kLargestSave before reading it.
    bool Load(const std::string& path) override;
    // Load on the bytes of a ".psu" already in memory; path names the file in
    // the log. Entries or file bytes missing at the end fail the load.
    bool LoadBytes(std::span<const uint8_t> bytes, const std::string& path);

    // The file name (UTF-8, with ".psu") a save is written under, from its icon.sys title.
    static std::string TargetName(const FileList& files);
};
