#pragma once
// What the command line asked for.
#include <cstdint>
#include <optional>
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
    MoveToPc,
    MoveToCard,
    Delete,
    RenderIcon,
    GameInfo,
    FormatCard,
    CheckCard,
};

// The container an export writes: psu and npo take PS2 saves, mcr PS1 saves.
enum class ExportFormat {
    Psu,
    Npo,
    Mcr,
};

struct CliOptions {
    // render-icon: the icon pane's size at the window's standard font.
    static constexpr uint32_t kDefaultIconSize = 198;
    // Large enough for any screen's pane, small enough that one frame stays a few tens of MB.
    static constexpr uint32_t kMaxIconSize = 2048;

    CliCommand command = CliCommand::Help;
    // The folder named on the command line, as given (not yet made absolute).
    std::string folder;
    bool json = false;
    // export: the container to write.
    ExportFormat format = ExportFormat::Psu;
    // export and import: the folder given with --to, as given.
    std::string targetFolder;
    // export: the saves; import: the files; info, render-icon, format-card and check-card: the one path. As given.
    std::vector<std::string> paths;
    // list card, copy-to-pc, copy-to-card, move-to-pc, move-to-card, delete: the card (a folder card's path as given).
    CardLocation card;
    // copy-to-pc, copy-to-card, move-to-pc and move-to-card: the folder given with --pc, as given.
    std::string pcFolder;
    // copies, moves and delete: the names of the saves to act on (whole names,
    // \xHH for bytes); gameinfo: the directory names, as given.
    std::vector<std::string> names;
    // render-icon: the moment drawn (in the pane's milliseconds), the picture's
    // width and height, and the PNG file to write (as given).
    uint32_t iconTime = 0;
    uint32_t iconSize = kDefaultIconSize;
    std::string outputFile;
    // gameinfo: the internet box (--online) and the WebProxy box (--proxy);
    // the addresses given with --catalogue and --mirror; the cache file given
    // with --cache (as given), empty for the program directory's.
    bool online = false;
    bool proxy = false;
    std::optional<std::string> catalogueUrl;
    std::optional<std::string> mirrorUrl;
    std::string cacheFile;
    // format-card: a PS1 card, or a PS2 card of that many MB with or without its spare (ECC) bytes.
    static constexpr uint32_t kDefaultCardMegabytes = 8;
    bool ps1 = false;
    bool ecc = true;
    uint32_t cardMegabytes = kDefaultCardMegabytes;
};

struct CliParseResult {
    CliOptions options;
    // Empty when the arguments were understood.
    std::string error;
};

// Reads the arguments after the program name. "--help" anywhere wins over
// everything else; "--" ends the options so that a path may begin with '-'.
// An option that takes a value ("--to DIR", "--format psu", "--card CARD",
// "--pc DIR", "--time MS", "--size PX", "-o FILE", "--catalogue URL",
// "--mirror URL", "--cache FILE") also accepts it joined by
// '=' ("--to=DIR").
CliParseResult ParseCliArguments(const std::vector<std::string>& arguments);

// The usage text, for standard output (--help) or standard error (a usage error).
std::string CliUsageText();
