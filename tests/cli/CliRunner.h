// Runs the built tansu-cli as a script would: no standard input, a chosen folder and environment.
#pragma once

#include <QString>

#include <string>
#include <utility>
#include <vector>

struct CliRun {
    int exitCode = -1;
    std::string out, err;
    bool Says(const std::string& text) const { return err.find(text) != std::string::npos; }
};

struct CliOptions {
    std::string cwd = "/";
    std::string program = TANSU_CLI_PATH;
    std::vector<std::pair<QString, QString>> environment;
};

CliRun RunCli(const std::vector<std::string>& arguments, const CliOptions& options = {});
