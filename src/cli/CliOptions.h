#pragma once
// What the command line asked for.
#include <string>
#include <vector>

enum class CliCommand {
    Help,
    ListPc,
    ListCard,
};

struct CliOptions {
    CliCommand command = CliCommand::Help;
    // The folder named on the command line, as given (not yet made absolute).
    std::string folder;
    bool json = false;
};

struct CliParseResult {
    CliOptions options;
    // Empty when the arguments were understood.
    std::string error;
};

// Reads the arguments after the program name. "--help" anywhere wins over
// everything else; "--" ends the options so that a folder may begin with '-'.
CliParseResult ParseCliArguments(const std::vector<std::string>& arguments);

// The usage text, for standard output (--help) or standard error (a usage error).
std::string CliUsageText();
