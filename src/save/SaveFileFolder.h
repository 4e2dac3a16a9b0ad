#pragma once
#include "save/SaveFileBase.h"

// A save as a plain folder of files: the PC-side picture of a card directory.
class SaveFileFolder : public SaveFileBase {
public:
    // path: an existing folder; every save is written as path/<save name>
    // (the name decoded from Shift-JIS to a UTF-8 file name) into a folder of
    // its own: what stood at that name is first renamed to its backup name.
    // A save whose old one cannot be kept is not written (false, logged);
    // so is any save or file that cannot be written or has an unusable name.
    bool Save(const std::string& path) override;
    // path: the folder of one save; its last component names the save.
    // Subfolders are no files of the save. A link (the folder itself
    // included), a pipe or a device inside fails the load (logged), as does a
    // save larger than kLargestSave; a file that cannot be read throws.
    bool Load(const std::string& path) override;
};
