#pragma once
// tansu-cli export: saves of the PC written as containers, through the same
// controller operation as the window's export.
#include <string>
#include <vector>

#include "cli/CliOptions.h"

struct ExportResult {
    // The name of each file written, inside the target folder, in save order:
    // where a name was taken, the numbered one the file went to.
    std::vector<std::string> written;
    // False when any save failed (the log says why).
    bool done = true;
};

// saves: absolute paths of PS2 save folders or PS1 raw save files;
// targetFolder: an absolute path that must already exist.
ExportResult ExportSaves(const std::vector<std::string>& saves, ExportFormat format,
                         const std::string& targetFolder);
