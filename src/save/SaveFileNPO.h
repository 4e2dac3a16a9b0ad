#pragma once
#include "save/SaveFileBase.h"

// The ".npo" single-file save (magic "nPort"): a header locating icon.sys and
// the list icon, then each file as a 56-byte name entry and its bytes.
class SaveFileNPO : public SaveFileBase {
public:
    // path: the folder to write into; one "<save name>.npo" per save.
    bool Save(const std::string& path) override;
    bool Load(const std::string& path) override;
};
