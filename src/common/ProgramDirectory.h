#pragma once
// The program directory: where settings, language files, the log, caches and
// staging downloads live. Always ends with '/'.
#include <string>

// Computes the directory once from the running executable. When that folder is
// not writable the user's data folder ($XDG_DATA_HOME/tansu/ or
// ~/.local/share/tansu/) is used instead and a note is queued for the log.
void InitProgramDirectory();
const std::string& ProgramDirectory();
// The running executable's own folder (where the language files ship), with '/'.
std::string ExecutableDirectory();
// Replaces the program directory (tests, and front ends that choose their own).
void SetProgramDirectory(const std::string& directory);
// Makes the program directory the process's current directory.
bool EnterProgramDirectory();
