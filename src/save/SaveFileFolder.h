#pragma once
#include "save/SaveFileBase.h"

// A save as a plain folder of files: the PC-side picture of a card directory.
class SaveFileFolder : public SaveFileBase {
public:
    // path: an existing folder; every save is written as path/<save name>
    // (the name decoded from Shift-JIS to a UTF-8 file name).
    bool Save(const std::string& path) override;
    // path: the folder of one save; its last component names the save.
    bool Load(const std::string& path) override;
};
