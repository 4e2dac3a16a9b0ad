#pragma once
// The memory cards of a console running the PS2Link loader, reached through
// the loader's PC-side client "ps2client" (the 2004 line, which carries the
// ps2netfs file commands). Every operation runs the client once with the
// console's address and one command and reads what it printed.
#include <chrono>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/MemoryCard.h"

class MemoryCardPS2Link : public MemoryCard {
public:
    // Generous: copying a whole save over a slow link takes a while, but a
    // console that stops answering must not hold the window forever.
    static constexpr std::chrono::milliseconds kToolTimeLimit = std::chrono::minutes(5);

    // Resets the console, has it start the network file-system module and
    // looks for a card in each slot. Never fails outward.
    explicit MemoryCardPS2Link(MemoryCardOwner* owner, std::chrono::milliseconds toolTimeLimit = kToolTimeLimit);
    // Switches the console off when the option says so, otherwise resets it.
    ~MemoryCardPS2Link() override;

    bool IsConnected() override { return connected; }
    bool SetCurrentDirectory(const std::string& directory) override;
    std::vector<FtpClient::FILE_DATA> List() override;
    bool Remove(const std::string& name) override;
    bool Put(const std::string& name) override;
    bool Get(const std::string& name) override;
    bool RemoveDirectory(const std::string& name) override;
    bool MakeDirectory(const std::string& name) override;

    // The client's output split at line feeds. A carriage return before a
    // line feed stays on its line. The empty piece after a final line feed is
    // not a line, so the dir frame (empty, header, empty, entries, empty,
    // footer, empty) has exactly three lines on each side of its entries.
    static std::vector<std::string> SplitToolOutput(std::string_view output);
    // True when any line holds the client's failure marker "[ERROR]".
    static bool HasError(const std::vector<std::string>& lines);
    // The entry lines of a dir output: lines 3 to N - 4.
    static std::span<const std::string> DirEntryLines(const std::vector<std::string>& lines);
    // One entry line: mode, size, month-day-year, hour:minute:second, name.
    // False when the line does not have that shape; the entry is then not
    // to be used.
    static bool ParseDirLine(std::string_view line, FtpClient::FILE_DATA& entry);
    // The entries of a whole dir output, parsed and filtered, in output order.
    static std::vector<FtpClient::FILE_DATA> ParseDirOutput(const std::vector<std::string>& lines);

private:
    struct ToolRun {
        std::vector<std::string> lines;
        // False when the client could not be started, was stopped at the time
        // limit or died of a signal: then nothing it printed can be trusted.
        bool finished = false;
    };

    // Runs the client with "-h <address> <command>" in the given folder.
    ToolRun RunTool(const std::string& command, const std::string& workingDirectory);
    ToolRun RunTool(const std::string& command);
    // "mc" + the selected slot + ":".
    std::string CardPrefix() const;
    // A path on the card as one argument of the client's command line.
    std::string CardPath(const std::string& path) const;
    // Runs a command that prints nothing on success (delete, mkdir, rmdir).
    bool RunSimpleCommand(const std::string& command, const char* operation);

    bool connected = false;
    std::string currentDirectory;
    std::chrono::milliseconds toolTimeLimit;
};
