#pragma once
#include <span>

#include "save/SaveFileBase.h"

// The ".npo" single-file save (magic "nPort"): a header locating icon.sys and
// the list icon, then each file as a 56-byte name entry and its bytes.
class SaveFileNPO : public SaveFileBase {
public:
    // path: the folder to write into; one "<save name>.npo" per save, or where
    // a file of that name stands "<save name>.000.npo", ".001", ...: nothing
    // is replaced.
    bool Save(const std::string& path) override;
    // Refuses a file larger than kLargestSave before reading it.
    bool Load(const std::string& path) override;

    // Load on bytes already in memory; path gives the save's name and the log lines.
    bool LoadBytes(std::span<const uint8_t> bytes, const std::string& path);
    // The ".npo" bytes of one save; false when a name does not fit its entry.
    static bool Build(const FileList& files, std::vector<uint8_t>& bytes);
};
