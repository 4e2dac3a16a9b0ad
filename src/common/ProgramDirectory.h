#pragma once
// The program directory: where settings, language files, the log, caches and
// staging downloads live. Always ends with '/'.
#include <string>

// Computes the directory once from the running executable. An installed
// program (<prefix>/bin/ beside <prefix>/share/tansu/) keeps its files in the
// user's data folder ($XDG_DATA_HOME/tansu/ or ~/.local/share/tansu/); so does
// one whose own folder is not writable, with a note queued for the log.
void InitProgramDirectory();
const std::string& ProgramDirectory();
// The running executable's own folder, with '/'.
std::string ExecutableDirectory();
// Where the files that ship with the program (the language files) are read
// from: <prefix>/share/tansu/ when installed, else the executable's folder.
std::string ShippedFilesDirectory();
// Replaces the program directory (tests, and front ends that choose their own).
void SetProgramDirectory(const std::string& directory);
// Where downloads from the card are put while they are read: a folder of its
// own inside the program directory, so that a name coming from the card can
// never replace the program's own files (settings, log, language files).
// Created on demand; ends with '/'.
std::string StagingDirectory();
// Makes the program directory the process's current directory.
bool EnterProgramDirectory();
