#pragma once
// tansu-cli import: container files written into a PC folder, through the
// same controller operation as the window's import.
#include <string>
#include <vector>

// files: absolute paths; targetFolder: an absolute path that must already
// exist. False when any file failed (the log says why).
bool ImportFiles(const std::vector<std::string>& files, const std::string& targetFolder);
