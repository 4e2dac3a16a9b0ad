// tansu-cli: the headless front end. Standard output carries only the result;
// the log (copied to standard error) carries everything else.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/ListCommand.h"
#include "cli/ProgramDirectoryLock.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Run(const CliOptions& options)
{
    // A relative folder means relative to where the user stands: resolve it
    // before the program directory becomes the current directory.
    std::error_code error;
    const std::string folder = std::filesystem::absolute(options.folder, error).string();

    InitProgramDirectory();
    LogOpen();
    if (error) {
        Log("エラー : 現在のフォルダを取得できませんでした tansu-cli");
        LogError(error);
        return kExitFailed;
    }
    const ProgramDirectoryLock lock;

    const ListResult result =
        options.command == CliCommand::ListPc ? ListPcFolder(folder) : ListCardFolder(folder);
    if (!result.done) {
        return kExitFailed;
    }
    const std::string text = options.json ? FormatJson(result.rows, result.usageKB)
                                          : FormatPlain(result.rows, result.usageKB);
    std::cout << text << std::flush;
    if (!std::cout) {
        Log("エラー : 結果を書き出せませんでした tansu-cli");
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CliParseResult parsed = ParseCliArguments(arguments);
    if (!parsed.error.empty()) {
        std::cerr << "tansu-cli: " << parsed.error << "\n\n" << CliUsageText();
        return kExitUsage;
    }
    if (parsed.options.command == CliCommand::Help) {
        std::cout << CliUsageText() << std::flush;
        return std::cout ? kExitDone : kExitFailed;
    }
    int status = kExitFailed;
    try {
        status = Run(parsed.options);
    } catch (const std::exception& exception) {
        Log(std::string("エラー : ") + exception.what() + " tansu-cli");
        status = kExitFailed;
    }
    LogClose();
    return status;
}
