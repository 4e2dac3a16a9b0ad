#pragma once
#include "save/SaveFileBase.h"

// A save as a plain folder of files: the PC-side picture of a card directory.
class SaveFileFolder : public SaveFileBase {
public:
    // path: an existing folder; every save is written as path/<save name>
    // (the name decoded from Shift-JIS to a UTF-8 file name) into a folder of
    // its own: what stood at that name is first renamed to its backup name.
    // A save whose old one cannot be kept is not written (false, logged).
    bool Save(const std::string& path) override;
    // path: the folder of one save; its last component names the save.
    bool Load(const std::string& path) override;
};
