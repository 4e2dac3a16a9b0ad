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
// Where downloads from the card are put while they are read: a folder of its
// own inside the program directory, so that a name coming from the card can
// never replace the program's own files (settings, log, language files).
// Created on demand; ends with '/'.
std::string StagingDirectory();
// Makes the program directory the process's current directory.
bool EnterProgramDirectory();
