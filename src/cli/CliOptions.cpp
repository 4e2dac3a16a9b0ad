#include "cli/CliOptions.h"

#include <string_view>

namespace {

CliParseResult Failure(std::string message)
{
    CliParseResult result;
    result.error = std::move(message);
    return result;
}

}  // namespace

CliParseResult ParseCliArguments(const std::vector<std::string>& arguments)
{
    std::vector<std::string> words;
    bool json = false;
    for (const std::string& argument : arguments) {
        if (argument == "--") {
            break;
        }
        if (argument == "--help") {
            return {};
        }
    }
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            words.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--json") {
            json = true;
        } else {
            return Failure("unknown option: " + argument);
        }
    }

    if (words.empty()) {
        return Failure("no command given");
    }
    if (words[0] != "list") {
        return Failure("unknown command: " + words[0]);
    }
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
    if (words.size() < 3) {
        return Failure("list " + words[1] + ": the folder is missing");
    }
    if (words.size() > 3) {
        return Failure("list " + words[1] + ": too many arguments: " + words[3]);
    }
    if (words[2].empty()) {
        return Failure("list " + words[1] + ": the folder is empty");
    }
    result.options.folder = words[2];
    result.options.json = json;
    return result;
}

std::string CliUsageText()
{
    return "Usage: tansu-cli COMMAND [--json]\n"
           "\n"
           "Commands:\n"
           "  list pc DIR     the saves of the PC folder DIR, as the window's PC list shows them\n"
           "  list card DIR   the saves of DIR taken as a memory card folder, and the space they use\n"
           "\n"
           "Options:\n"
           "  --json          one JSON object: {\"rows\": [{\"title\", \"name\", \"size\", \"type\"}, ...]}\n"
           "                  plus \"usage_kb\" (a number) for list card\n"
           "  --help          this text\n"
           "  --              end of options (for a folder whose name begins with '-')\n"
           "\n"
           "Plain output: one row per line, title, name, size (KB) and type separated by tabs;\n"
           "list card ends with the line \"usage<TAB>KB\". A backslash, a tab, a line break or any\n"
           "other control character inside a column is written as \\\\, \\t, \\n, \\r or \\xHH.\n"
           "\n"
           "Exit status: 0 done, 1 some item failed (the log and standard error say which),\n"
           "2 usage error.\n";
}
