// tansu-cli: the headless front end. Standard output carries only the result;
// the log (copied to standard error) carries everything else.
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CardImageCommand.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/ExportCommand.h"
#include "cli/GameInfoCommand.h"
#include "cli/ImportCommand.h"
#include "cli/InfoCommand.h"
#include "cli/InfoOutput.h"
#include "cli/ListCommand.h"
#include "cli/RenderIconCommand.h"
#include "cli/TransferCommand.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "common/StagingLock.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Paths as the user means them: relative to where the user stands, resolved
// before the program directory becomes the current directory.
struct AbsolutePaths {
    std::string folder;
    std::string targetFolder;
    std::vector<std::string> paths;
    // The card with a folder card's or an image's path made absolute.
    CardLocation card;
    std::string pcFolder;
    std::string outputFile;
    std::string cacheFile;
    std::error_code error;
};

std::string Absolute(const std::string& path, std::error_code& error)
{
    if (path.empty() || error) {
        return path;
    }
    return std::filesystem::absolute(path, error).string();
}

AbsolutePaths MakeAbsolute(const CliOptions& options)
{
    AbsolutePaths absolute;
    absolute.folder = Absolute(options.folder, absolute.error);
    absolute.targetFolder = Absolute(options.targetFolder, absolute.error);
    for (const std::string& path : options.paths) {
        absolute.paths.push_back(Absolute(path, absolute.error));
    }
    absolute.card = options.card;
    absolute.card.path = Absolute(options.card.path, absolute.error);
    absolute.pcFolder = Absolute(options.pcFolder, absolute.error);
    absolute.outputFile = Absolute(options.outputFile, absolute.error);
    absolute.cacheFile = Absolute(options.cacheFile, absolute.error);
    return absolute;
}

// False when standard output could not take the text (a closed pipe, a full disk).
bool Print(const std::string& text)
{
    std::cout << text << std::flush;
    if (!std::cout) {
        Log("エラー : 結果を書き出せませんでした tansu-cli");
        return false;
    }
    return true;
}

int RunList(const CliOptions& options, const AbsolutePaths& absolute)
{
    const ListResult result =
        options.command == CliCommand::ListPc ? ListPcFolder(absolute.folder) : ListCard(absolute.card);
    if (!result.done) {
        return kExitFailed;
    }
    const std::string text = options.json ? FormatJson(result.rows, result.usageKB)
                                          : FormatPlain(result.rows, result.usageKB);
    return Print(text) ? kExitDone : kExitFailed;
}

int RunExport(const CliOptions& options, const AbsolutePaths& absolute)
{
    const ExportResult result = ExportSaves(absolute.paths, options.format, absolute.targetFolder);
    std::string text;
    for (const std::string& name : result.written) {
        text += EscapeColumn(name) + '\n';
    }
    const bool printed = Print(text);
    return result.done && printed ? kExitDone : kExitFailed;
}

int RunInfo(const CliOptions& options, const std::string& path)
{
    const std::optional<PathInfo> info = ReadPathInfo(path);
    if (!info) {
        return kExitFailed;
    }
    return Print(options.json ? FormatInfoJson(*info) : FormatInfoPlain(*info)) ? kExitDone : kExitFailed;
}

int RunGameInfo(const CliOptions& options, const AbsolutePaths& absolute)
{
    const std::vector<GameInfoAnswer> answers = LookUpGames({.names = options.names,
                                                             .online = options.online,
                                                             .proxy = options.proxy,
                                                             .catalogue = options.catalogueUrl,
                                                             .mirror = options.mirrorUrl,
                                                             .cacheFile = absolute.cacheFile});
    const bool printed = Print(options.json ? FormatGameInfoJson(answers) : FormatGameInfoPlain(answers));
    return printed && !AnyFetchFailed(answers) ? kExitDone : kExitFailed;
}

// 0 when the image is sound, 1 when something is wrong with it or it cannot be read.
int RunCheckCard(const CliOptions& options, const std::string& path)
{
    CardImageReport report;
    if (!CheckCard(path, report)) {
        return kExitFailed;
    }
    const bool printed = Print(options.json ? FormatCheckJson(path, report) : FormatCheckPlain(path, report));
    return printed && report.problems.empty() ? kExitDone : kExitFailed;
}

int Run(const CliOptions& options)
{
    const AbsolutePaths absolute = MakeAbsolute(options);

    InitProgramDirectory();
    LogOpen();
    if (absolute.error) {
        Log("エラー : 現在のフォルダを取得できませんでした tansu-cli");
        LogError(absolute.error);
        return kExitFailed;
    }
    // Stages nothing: needs no turn of its own.
    if (options.command == CliCommand::GameInfo) {
        return RunGameInfo(options, absolute);
    }
    // Card listings stage files in the program directory under fixed names: one run at a time.
    const StagingLock lock;
    if (!lock.Held()) {
        return kExitFailed;
    }

    switch (options.command) {
    case CliCommand::ListPc:
    case CliCommand::ListCard:
        return RunList(options, absolute);
    case CliCommand::Export:
        return RunExport(options, absolute);
    case CliCommand::Import:
        return ImportFiles(absolute.paths, absolute.targetFolder) ? kExitDone : kExitFailed;
    case CliCommand::Info:
        return RunInfo(options, absolute.paths.front());
    case CliCommand::CopyToPc:
    case CliCommand::CopyToCard:
    case CliCommand::MoveToPc:
    case CliCommand::MoveToCard:
    case CliCommand::Delete: {
        const TransferKind kind = options.command == CliCommand::CopyToPc     ? TransferKind::CopyToPc
                                  : options.command == CliCommand::CopyToCard ? TransferKind::CopyToCard
                                  : options.command == CliCommand::MoveToPc   ? TransferKind::MoveToPc
                                  : options.command == CliCommand::MoveToCard ? TransferKind::MoveToCard
                                                                              : TransferKind::Delete;
        return RunTransfer(kind, absolute.card, absolute.pcFolder, options.names) ? kExitDone : kExitFailed;
    }
    case CliCommand::RenderIcon:
        return RenderIcon(absolute.paths.front(), options.iconTime, options.iconSize, absolute.outputFile)
                   ? kExitDone
                   : kExitFailed;
    case CliCommand::FormatCard:
        return FormatCard(absolute.paths.front(), options.ps1, options.ecc, options.cardMegabytes) ? kExitDone : kExitFailed;
    case CliCommand::CheckCard:
        return RunCheckCard(options, absolute.paths.front());
    case CliCommand::Help:
    case CliCommand::GameInfo:
        break;
    }
    return kExitFailed;
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
