#include "cli/CliOptions.h"

#include "card/Ps2CardImage.h"

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace {

CliParseResult Failure(std::string message)
{
    CliParseResult result;
    result.error = std::move(message);
    return result;
}

// The options as they were given, before the command decides which it takes.
struct RawOptions {
    bool json = false;
    bool online = false;
    bool proxy = false;
    bool ps1 = false;
    bool noEcc = false;
    std::optional<std::string> format;
    std::optional<std::string> to;
    std::optional<std::string> card;
    std::optional<std::string> pc;
    std::optional<std::string> time;
    std::optional<std::string> size;
    std::optional<std::string> output;
    std::optional<std::string> catalogue;
    std::optional<std::string> mirror;
    std::optional<std::string> cache;
};

// The options a command takes; it refuses the others.
struct Takes {
    bool json = false;
    bool format = false;
    bool to = false;
    bool card = false;
    bool pc = false;
    bool icon = false;
    bool gameInfo = false;
    bool formatCard = false;
};

std::optional<ExportFormat> ParseFormat(const std::string& text)
{
    if (text == "psu") {
        return ExportFormat::Psu;
    }
    if (text == "npo") {
        return ExportFormat::Npo;
    }
    if (text == "mcr") {
        return ExportFormat::Mcr;
    }
    return std::nullopt;
}

// The checks every command makes of the options it does not take.
std::string RefuseOptions(const std::string& command, const RawOptions& raw, Takes takes)
{
    if (raw.json && !takes.json) {
        return command + ": --json does not apply";
    }
    if (raw.format && !takes.format) {
        return command + ": --format does not apply";
    }
    if (raw.to && !takes.to) {
        return command + ": --to does not apply";
    }
    if (raw.card && !takes.card) {
        return command + ": --card does not apply";
    }
    if (raw.pc && !takes.pc) {
        return command + ": --pc does not apply";
    }
    if (!takes.gameInfo) {
        const std::pair<bool, const char*> given[] = {{raw.online, "--online"},
                                                      {raw.proxy, "--proxy"},
                                                      {raw.catalogue.has_value(), "--catalogue"},
                                                      {raw.mirror.has_value(), "--mirror"},
                                                      {raw.cache.has_value(), "--cache"}};
        for (const auto& [set, name] : given) {
            if (set) {
                return command + ": " + name + " does not apply";
            }
        }
    }
    if ((raw.ps1 || raw.noEcc) && !takes.formatCard) {
        return command + (raw.ps1 ? ": --ps1 does not apply" : ": --no-ecc does not apply");
    }
    if (raw.size && !takes.icon && !takes.formatCard) {
        return command + ": --size does not apply";
    }
    if (!takes.icon) {
        if (raw.time) {
            return command + ": --time does not apply";
        }
        if (raw.output) {
            return command + ": -o does not apply";
        }
    }
    return {};
}

CliParseResult ParseList(const std::vector<std::string>& words, const RawOptions& raw)
{
    if (words.size() < 2) {
        return Failure("list: say what to list (pc or card)");
    }
    CliParseResult result;
    if (words[1] == "pc") {
        result.options.command = CliCommand::ListPc;
    } else if (words[1] == "card") {
        result.options.command = CliCommand::ListCard;
    } else {
        return Failure("list: unknown kind: " + words[1] + " (pc or card)");
    }
    if (std::string error = RefuseOptions("list " + words[1], raw, {.json = true}); !error.empty()) {
        return Failure(error);
    }
    const bool card = result.options.command == CliCommand::ListCard;
    const std::string what = card ? "the card" : "the folder";
    if (words.size() < 3) {
        return Failure("list " + words[1] + ": " + what + " is missing");
    }
    if (words.size() > 3) {
        return Failure("list " + words[1] + ": too many arguments: " + words[3]);
    }
    if (words[2].empty()) {
        return Failure("list " + words[1] + ": " + what + " is empty");
    }
    if (card) {
        CardLocationResult location = ParseCardLocation(words[2]);
        if (!location.error.empty()) {
            return Failure("list card: " + location.error);
        }
        result.options.card = std::move(location.location);
    } else {
        result.options.folder = words[2];
    }
    result.options.json = raw.json;
    return result;
}

// export and import: a target folder and at least one path.
CliParseResult ParseTransfer(const std::vector<std::string>& words, const RawOptions& raw)
{
    const std::string& command = words[0];
    const bool isExport = command == "export";
    if (std::string error = RefuseOptions(command, raw, {.format = isExport, .to = true}); !error.empty()) {
        return Failure(error);
    }
    CliParseResult result;
    result.options.command = isExport ? CliCommand::Export : CliCommand::Import;
    if (isExport) {
        if (!raw.format) {
            return Failure("export: --format psu|npo|mcr is missing");
        }
        const std::optional<ExportFormat> format = ParseFormat(*raw.format);
        if (!format) {
            return Failure("export: unknown format: " + *raw.format + " (psu, npo or mcr)");
        }
        result.options.format = *format;
    }
    if (!raw.to) {
        return Failure(command + ": --to DIR is missing");
    }
    if (raw.to->empty()) {
        return Failure(command + ": the folder given with --to is empty");
    }
    result.options.targetFolder = *raw.to;
    result.options.paths.assign(words.begin() + 1, words.end());
    if (result.options.paths.empty()) {
        return Failure(command + (isExport ? ": no save given" : ": no file given"));
    }
    for (const std::string& path : result.options.paths) {
        if (path.empty()) {
            return Failure(command + ": an empty path was given");
        }
    }
    return result;
}

CliParseResult ParseInfo(const std::vector<std::string>& words, const RawOptions& raw)
{
    if (std::string error = RefuseOptions("info", raw, {.json = true}); !error.empty()) {
        return Failure(error);
    }
    if (words.size() < 2) {
        return Failure("info: the path is missing");
    }
    if (words.size() > 2) {
        return Failure("info: too many arguments: " + words[2]);
    }
    if (words[1].empty()) {
        return Failure("info: the path is empty");
    }
    CliParseResult result;
    result.options.command = CliCommand::Info;
    result.options.paths = {words[1]};
    result.options.json = raw.json;
    return result;
}

// copy-to-pc, copy-to-card, move-to-pc, move-to-card and delete: a card, a PC
// folder for the copies and moves, and at least one name.
CliParseResult ParseCardTransfer(const std::vector<std::string>& words, const RawOptions& raw)
{
    const std::string& command = words[0];
    const bool usesPc = command != "delete";
    if (std::string error = RefuseOptions(command, raw, {.card = true, .pc = usesPc}); !error.empty()) {
        return Failure(error);
    }
    CliParseResult result;
    result.options.command = command == "copy-to-pc"     ? CliCommand::CopyToPc
                             : command == "copy-to-card" ? CliCommand::CopyToCard
                             : command == "move-to-pc"   ? CliCommand::MoveToPc
                             : command == "move-to-card" ? CliCommand::MoveToCard
                                                         : CliCommand::Delete;
    if (!raw.card) {
        return Failure(command + ": --card CARD is missing");
    }
    CardLocationResult location = ParseCardLocation(*raw.card);
    if (!location.error.empty()) {
        return Failure(command + ": " + location.error);
    }
    result.options.card = std::move(location.location);
    if (usesPc) {
        if (!raw.pc) {
            return Failure(command + ": --pc DIR is missing");
        }
        if (raw.pc->empty()) {
            return Failure(command + ": the folder given with --pc is empty");
        }
        result.options.pcFolder = *raw.pc;
    }
    result.options.names.assign(words.begin() + 1, words.end());
    if (result.options.names.empty()) {
        return Failure(command + ": no save name given");
    }
    for (const std::string& name : result.options.names) {
        if (name.empty()) {
            return Failure(command + ": an empty name was given");
        }
    }
    return result;
}

// Plain decimal digits only: no sign, no spaces, nothing the type cannot hold.
std::optional<uint32_t> ParseNumber(const std::string& text)
{
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return std::nullopt;
    }
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

CliParseResult ParseRenderIcon(const std::vector<std::string>& words, const RawOptions& raw)
{
    if (std::string error = RefuseOptions("render-icon", raw, {.icon = true}); !error.empty()) {
        return Failure(error);
    }
    if (words.size() < 2) {
        return Failure("render-icon: the save is missing");
    }
    if (words.size() > 2) {
        return Failure("render-icon: too many arguments: " + words[2]);
    }
    if (words[1].empty()) {
        return Failure("render-icon: the save is empty");
    }
    CliParseResult result;
    result.options.command = CliCommand::RenderIcon;
    result.options.paths = {words[1]};
    if (raw.time) {
        const std::optional<uint32_t> time = ParseNumber(*raw.time);
        if (!time) {
            return Failure("render-icon: --time takes milliseconds from 0 to 4294967295: " + *raw.time);
        }
        result.options.iconTime = *time;
    }
    if (raw.size) {
        const std::optional<uint32_t> size = ParseNumber(*raw.size);
        if (!size || *size < 1 || *size > CliOptions::kMaxIconSize) {
            return Failure("render-icon: --size takes pixels from 1 to " + std::to_string(CliOptions::kMaxIconSize) +
                           ": " + *raw.size);
        }
        result.options.iconSize = *size;
    }
    if (!raw.output) {
        return Failure("render-icon: -o FILE is missing");
    }
    if (raw.output->empty()) {
        return Failure("render-icon: the file given with -o is empty");
    }
    result.options.outputFile = *raw.output;
    return result;
}

// gameinfo: at least one directory name; the addresses and the cache file not empty.
CliParseResult ParseGameInfo(const std::vector<std::string>& words, const RawOptions& raw)
{
    if (std::string error = RefuseOptions("gameinfo", raw, {.json = true, .gameInfo = true}); !error.empty()) {
        return Failure(error);
    }
    for (const auto& [value, name] : {std::pair{&raw.catalogue, "--catalogue"}, {&raw.mirror, "--mirror"},
                                      {&raw.cache, "--cache"}}) {
        if (*value && (*value)->empty()) {
            return Failure(std::string("gameinfo: the value given with ") + name + " is empty");
        }
    }
    CliParseResult result;
    result.options.command = CliCommand::GameInfo;
    result.options.names.assign(words.begin() + 1, words.end());
    if (result.options.names.empty()) {
        return Failure("gameinfo: no directory name given");
    }
    for (const std::string& name : result.options.names) {
        if (name.empty()) {
            return Failure("gameinfo: an empty name was given");
        }
    }
    result.options.json = raw.json;
    result.options.online = raw.online;
    result.options.proxy = raw.proxy;
    result.options.catalogueUrl = raw.catalogue;
    result.options.mirrorUrl = raw.mirror;
    result.options.cacheFile = raw.cache.value_or("");
    return result;
}

// format-card FILE [--ps1] [--no-ecc] [--size MB] and check-card FILE [--json].
CliParseResult ParseCardImage(const std::vector<std::string>& words, const RawOptions& raw)
{
    const std::string& command = words[0];
    const bool format = command == "format-card";
    if (std::string error = RefuseOptions(command, raw, {.json = !format, .formatCard = format}); !error.empty()) {
        return Failure(error);
    }
    if (words.size() < 2) {
        return Failure(command + ": the file is missing");
    }
    if (words.size() > 2) {
        return Failure(command + ": too many arguments: " + words[2]);
    }
    if (words[1].empty()) {
        return Failure(command + ": the file is empty");
    }
    CliParseResult result;
    result.options.command = format ? CliCommand::FormatCard : CliCommand::CheckCard;
    result.options.paths = {words[1]};
    result.options.json = raw.json;
    result.options.ps1 = raw.ps1;
    result.options.ecc = !raw.noEcc;
    if (raw.ps1 && (raw.noEcc || raw.size)) {
        return Failure("format-card: a PS1 card has one size and no ECC: --ps1 takes neither --no-ecc nor --size");
    }
    if (raw.size) {
        const std::optional<uint32_t> size = ParseNumber(*raw.size);
        if (!size || !Ps2CardImage::IsFormatSize(*size)) {
            return Failure("format-card: --size takes 8, 16, 32 or 64 (MB): " + *raw.size);
        }
        result.options.cardMegabytes = *size;
    }
    return result;
}

}  // namespace

CliParseResult ParseCliArguments(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        if (argument == "--") {
            break;
        }
        if (argument == "--help") {
            return {};
        }
    }
    std::vector<std::string> words;
    RawOptions raw;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            words.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--json" || argument == "--online" || argument == "--proxy" || argument == "--ps1" ||
            argument == "--no-ecc") {
            bool& flag = argument == "--json"     ? raw.json
                         : argument == "--online" ? raw.online
                         : argument == "--proxy"  ? raw.proxy
                         : argument == "--ps1"    ? raw.ps1
                                                  : raw.noEcc;
            flag = true;
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::optional<std::string>* slot = name == "--format" ? &raw.format
                                           : name == "--to"   ? &raw.to
                                           : name == "--card" ? &raw.card
                                           : name == "--pc"   ? &raw.pc
                                           : name == "--time" ? &raw.time
                                           : name == "--size" ? &raw.size
                                           : name == "-o"     ? &raw.output
                                           : name == "--catalogue" ? &raw.catalogue
                                           : name == "--mirror"    ? &raw.mirror
                                           : name == "--cache"     ? &raw.cache
                                                                   : nullptr;
        if (slot == nullptr) {
            return Failure("unknown option: " + argument);
        }
        if (slot->has_value()) {
            return Failure(name + " given twice");
        }
        if (equals != std::string::npos) {
            *slot = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            *slot = arguments[++i];
        } else {
            return Failure(name + ": its value is missing");
        }
    }

    if (words.empty()) {
        return Failure("no command given");
    }
    if (words[0] == "list") {
        return ParseList(words, raw);
    }
    if (words[0] == "export" || words[0] == "import") {
        return ParseTransfer(words, raw);
    }
    if (words[0] == "info") {
        return ParseInfo(words, raw);
    }
    if (words[0] == "copy-to-pc" || words[0] == "copy-to-card" || words[0] == "move-to-pc" ||
        words[0] == "move-to-card" || words[0] == "delete") {
        return ParseCardTransfer(words, raw);
    }
    if (words[0] == "gameinfo") {
        return ParseGameInfo(words, raw);
    }
    if (words[0] == "format-card" || words[0] == "check-card") {
        return ParseCardImage(words, raw);
    }
    if (words[0] == "render-icon") {
        return ParseRenderIcon(words, raw);
    }
    return Failure("unknown command: " + words[0]);
}

std::string CliUsageText()
{
    return "Usage: tansu-cli COMMAND [OPTIONS]\n"
           "\n"
           "Commands:\n"
           "  list pc DIR [--json]     the saves of the PC folder DIR, as the window's PC list shows them\n"
           "  list card CARD [--json]  the saves of the card CARD, and the space they use\n"
           "  export --format psu|npo|mcr --to DIR SAVE...\n"
           "                           writes each SAVE into the existing folder DIR as the window's export\n"
           "                           does: a PS2 save folder as .psu (named after its title) or .npo\n"
           "                           (named after the folder), a PS1 raw save file as SAVE's name + .mcr;\n"
           "                           a file already in DIR is never replaced: the new one is written as\n"
           "                           NAME.000.psu, NAME.001.psu, ... (the first free number, up to 999).\n"
           "                           A format that does not fit the save, or a save holding a link, a\n"
           "                           pipe or a device, fails that save, and nothing of it is written\n"
           "  import --to DIR FILE...  writes each .psu, .npo, PS1 card image (.mcr, .gme, .vgs, .mem, .vmp,\n"
           "                           ...), PS1 raw save, or save of another tool (.max of Action Replay\n"
           "                           MAX, .cbs of CodeBreaker, .sps/.xps of SharkPort/X-Port, .psv of the\n"
           "                           PS3, holding a PS2 or a PS1 save) FILE into the existing folder DIR\n"
           "                           as the window's import does, the kind recognised by content; a save\n"
           "                           already in DIR is renamed NAME.000, NAME.001, ... first. A FILE cut\n"
           "                           short, damaged, or larger than any card (128 MB; 16 MB for the\n"
           "                           other tools' saves and 8 MB for what they hold; 1 MB for PS1\n"
           "                           files) writes nothing; any save or file not written fails the command\n"
           "  info PATH [--json]       what the program reads from PATH: an icon.sys, a PS2 save folder,\n"
           "                           a .psu, a .npo, a .max, a .cbs, a .sps/.xps, a .psv, a PS1 raw save\n"
           "                           or a PS1 card image (by content); a save folder's \"modified\" is\n"
           "                           the time the window's save information shows for it\n"
           "  copy-to-pc --card CARD --pc DIR NAME...\n"
           "                           copies the card's saves named NAME into the existing folder DIR as\n"
           "                           the window's copy does (a save already in DIR is renamed NAME.000,\n"
           "                           NAME.001, ... first)\n"
           "  copy-to-card --card CARD --pc DIR NAME...\n"
           "                           copies the saves of the existing folder DIR named NAME to the card\n"
           "  move-to-pc --card CARD --pc DIR NAME...\n"
           "                           copy-to-pc, then deletes from the card each save copied whole\n"
           "  move-to-card --card CARD --pc DIR NAME...\n"
           "                           copy-to-card, then deletes from DIR each save copied whole\n"
           "  delete --card CARD NAME...\n"
           "                           deletes the card's saves named NAME\n"
           "                           NAME is a save's whole directory or file name (one argument, spaces\n"
           "                           and all), as \"dir\" of list --json gives it: a byte that is not\n"
           "                           UTF-8 may be written \\xHH. The name the name column shows is also\n"
           "                           taken when exactly one row shows it. A NAME that names no save or\n"
           "                           several, a save not copied whole and a save still listed after its\n"
           "                           deletion fail that NAME; a move keeps every save not copied whole.\n"
           "  render-icon SAVE [--time MS] [--size PX] -o FILE\n"
           "                           writes SAVE's icon as the icon pane shows it MS milliseconds into\n"
           "                           its animation (0 when not given), as a PNG picture of PX x PX\n"
           "                           pixels (1 to 2048; when not given 198, the pane's size at the\n"
           "                           window's standard font). SAVE is a PS2 save folder (its icon.sys\n"
           "                           names the model) or a PS1 raw save file; one with no icon to draw\n"
           "                           fails and writes nothing.\n"
           "  gameinfo [--online] [--proxy] [--catalogue URL] [--mirror URL] [--cache FILE] [--json]\n"
           "           NAME...\n"
           "                           for each save directory name NAME, what the window's game\n"
           "                           information shows, looked up the window's way: by the product code\n"
           "                           in NAME (BISLPS-25000... gives slps25000), in the cache first, on\n"
           "                           the game-title catalogue only with --online (the box \"ゲーム情報を\n"
           "                           インターネットから取得する\"), through its caching mirror with --proxy\n"
           "                           (the box \"ゲーム情報取得時にWebProxyを使用する\"). A page fetched goes\n"
           "                           into the cache. A page that could not be fetched fails that NAME\n"
           "  format-card FILE [--ps1] [--no-ecc] [--size MB]\n"
           "                           writes an empty formatted card image to FILE, which must not exist:\n"
           "                           a PS2 card of MB megabytes (8, 16, 32 or 64; 8 when not given) with\n"
           "                           the spare (ECC) bytes of every page (8,650,752 bytes for 8 MB), or\n"
           "                           without them with --no-ecc (8,388,608 bytes); with --ps1 a PS1 card\n"
           "                           of 131,072 bytes\n"
           "  check-card FILE [--json]\n"
           "                           checks the card image FILE without changing it and says what is\n"
           "                           wrong: exit 0 when it is sound, 1 when something is (or it is no\n"
           "                           card image, or cannot be read)\n"
           "\n"
           "CARD is one of:\n"
           "  DIR                      a folder taken as a memory card (any folder: the window's rule that\n"
           "                           it must lie on a removable medium does not apply)\n"
           "  FILE                     a PS2 card image (8 MB or an emulator's larger card, with or without\n"
           "                           the spare bytes) or a PS1 card image (.mcr, .mcd, .gme, .vgs, ...),\n"
           "                           its kind told by content; every change rewrites the whole file\n"
           "                           through a temporary beside it\n"
           "  ftp://HOST[:PORT]/SLOT   the card in slot SLOT (0 or 1) of a console running an FTP server\n"
           "                           (port 21 when none is given; HOST may be [IPv6 address])\n"
           "  ps2link://HOST/SLOT      the card in slot SLOT (0 or 1) of a console running PS2Link, through\n"
           "                           the ps2client program in tansu-cli's folder\n"
           "  A slot that holds no card fails the command.\n"
           "\n"
           "Options:\n"
           "  --json          one JSON object on one line (list, info, gameinfo, check-card)\n"
           "  --card CARD     the card (copy-to-pc, copy-to-card, move-to-pc, move-to-card, delete)\n"
           "  --pc DIR        the PC folder (copy-to-pc, copy-to-card, move-to-pc, move-to-card)\n"
           "  --time MS       the moment of the icon's animation drawn, in milliseconds (render-icon)\n"
           "  --size PX       the picture's width and height in pixels (render-icon)\n"
           "  --size MB       the card's size (format-card)\n"
           "  --ps1           a PS1 card (format-card)\n"
           "  --no-ecc        a PS2 card without the spare bytes of its pages (format-card)\n"
           "  -o FILE         the PNG file written, replaced whole when it exists (render-icon)\n"
           "  --online        fetch pages not in the cache (gameinfo)\n"
           "  --proxy         fetch them from the mirror (gameinfo)\n"
           "  --catalogue URL the catalogue's address, ending in /software/title/ (gameinfo; else\n"
           "                  CATALOGUE_URL of setting.ini's [Tansu] section, else the built-in one)\n"
           "  --mirror URL    the mirror's address (gameinfo; else CATALOGUE_MIRROR_URL, else built in)\n"
           "  --cache FILE    the cache file read and written (gameinfo; else softdata.ini in the\n"
           "                  program directory)\n"
           "  --help          this text\n"
           "  --              end of options (for a path whose name begins with '-')\n"
           "\n"
           "Plain output. Every text is UTF-8; a backslash, a tab, a line break or any other control\n"
           "character inside a column is written as \\\\, \\t, \\n, \\r or \\xHH.\n"
           "  list:   one row per line, title, name, size (KB) and type separated by tabs;\n"
           "          list card ends with the line \"usage<TAB>KB\".\n"
           "  export: the name of each file written inside DIR, one per line, in the order of the saves\n"
           "          (the numbered name where the plain one was taken).\n"
           "  import, copy-to-pc, copy-to-card, move-to-pc, move-to-card, delete, render-icon,\n"
           "          format-card: nothing.\n"
           "  check-card: file<TAB>PATH, kind<TAB>ps2|ps1|none, size<TAB>BYTES, ecc<TAB>yes|no (PS2\n"
           "          only), then problem<TAB>TEXT per problem found.\n"
           "  info:   lines of tab-separated columns, the first naming the line:\n"
           "          kind<TAB>icon.sys|ps2-folder|psu|npo|ps1-save|ps1-card|max|cbs|sps|psv, then\n"
           "          icon.sys:   title<TAB>T, icon<TAB>LIST, icon<TAB>COPY, icon<TAB>DELETE\n"
           "          ps2-folder: name<TAB>N, title<TAB>T (when its icon.sys is readable), then\n"
           "                      file<TAB>NAME<TAB>BYTES<TAB>CREATED<TAB>MODIFIED per file in file order\n"
           "          psu:        name<TAB>N, then file<TAB>NAME<TAB>BYTES<TAB>CREATED<TAB>MODIFIED\n"
           "          npo:        name<TAB>N, then file<TAB>NAME<TAB>BYTES\n"
           "          max:        name<TAB>N, title<TAB>T (when its icon.sys is readable), then\n"
           "                      file<TAB>NAME<TAB>BYTES per file in file order\n"
           "          cbs, sps, psv: name<TAB>N, title<TAB>T (when its icon.sys is readable), then\n"
           "                      file<TAB>NAME<TAB>BYTES<TAB>CREATED<TAB>MODIFIED per file in file order;\n"
           "                      a psv of a PS1 save: name<TAB>N, title<TAB>T, then one such line for\n"
           "                      the raw save it holds, its times empty\n"
           "          ps1-save:   title<TAB>T, frames<TAB>COUNT\n"
           "          ps1-card:   item<TAB>NAME<TAB>BYTES per save of the image, a save of several\n"
           "                      blocks once, at its whole size\n"
           "          Times are local, ISO 8601 with the offset from UTC (2024-05-01T10:00:05+09:00);\n"
           "          an unset time is empty.\n"
           "  list --json: {\"rows\": [{\"title\", \"name\", \"size\", \"type\", \"dir\"}, ...]}, plus\n"
           "          \"usage_kb\" (a number) for list card. \"dir\" is the save's whole directory or file\n"
           "          name, each byte that is not valid UTF-8 written as \\xHH.\n"
           "  info --json: {\"kind\", \"name\", \"title\", \"icons\": [LIST, COPY, DELETE], \"frames\",\n"
           "          \"files\": [{\"name\", \"size\", \"created\", \"created_seconds\", \"modified\",\n"
           "          \"modified_seconds\"}], \"items\": [{\"name\", \"size\"}]}, the fields that apply to\n"
           "          the kind; sizes and seconds (since 1970 UTC) are numbers, an unset time is null.\n"
           "  gameinfo: per NAME three lines, then an empty line: the title; the genre, a space and the\n"
           "          release date; the publisher (half-width forms, as the window shows them; empty\n"
           "          when nothing is known).\n"
           "  gameinfo --json: {\"results\": [{\"name\", \"code\", \"source\", \"title\", \"genre\",\n"
           "          \"sale_date\", \"maker\", \"format\", \"price\", \"price_tax_in\"}]}: \"code\" the\n"
           "          product code (\"\" when NAME has none), \"source\" cache, internet, none (no code, or\n"
           "          not cached and not fetched) or failed (no page); the fields as the cache holds them\n"
           "          (strings, \"NO DATA\" for an empty page), null when not known.\n"
           "  check-card --json: {\"file\", \"kind\": \"ps2\"|\"ps1\"|null, \"size\", \"ecc\": true|false|null,\n"
           "          \"problems\": [TEXT, ...]}; \"ecc\" is null for a PS1 card, \"problems\" empty when sound.\n"
           "\n"
           "Exit status: 0 done, 1 some item failed (the log and standard error say which),\n"
           "2 usage error.\n";
}
