#pragma once
// What the command line asked for.
#include <string>
#include <vector>

#include "cli/CardLocation.h"

enum class CliCommand {
    Help,
    ListPc,
    ListCard,
    Export,
    Import,
    Info,
    CopyToPc,
    CopyToCard,
    Delete,
};

// The container an export writes: psu and npo take PS2 saves, mcr PS1 saves.
enum class ExportFormat {
    Psu,
    Npo,
    Mcr,
};

struct CliOptions {
    CliCommand command = CliCommand::Help;
    // The folder named on the command line, as given (not yet made absolute).
    std::string folder;
    bool json = false;
    // export: the container to write.
    ExportFormat format = ExportFormat::Psu;
    // export and import: the folder given with --to, as given.
    std::string targetFolder;
    // export: the saves; import: the files; info: the one path. As given.
    std::vector<std::string> paths;
    // list card, copy-to-pc, copy-to-card, delete: the card (a folder card's path as given).
    CardLocation card;
    // copy-to-pc and copy-to-card: the folder given with --pc, as given.
    std::string pcFolder;
    // copy-to-pc, copy-to-card, delete: the names of the rows to act on.
    std::vector<std::string> names;
};

struct CliParseResult {
    CliOptions options;
    // Empty when the arguments were understood.
    std::string error;
};

// Reads the arguments after the program name. "--help" anywhere wins over
// everything else; "--" ends the options so that a path may begin with '-'.
// An option that takes a value ("--to DIR", "--format psu", "--card CARD",
// "--pc DIR") also accepts it joined by '=' ("--to=DIR").
CliParseResult ParseCliArguments(const std::vector<std::string>& arguments);

// The usage text, for standard output (--help) or standard error (a usage error).
std::string CliUsageText();
