#pragma once
// The memory cards of a console running the PS2Link loader, reached through
// the loader's PC-side client "ps2client" (the 2004 line, which carries the
// ps2netfs file commands). Every operation runs the client once with the
// console's address and one command and reads what it printed.
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "card/MemoryCard.h"

// How long one run of the client may take before it counts as not answering
// and is stopped. A console or a client that stops answering must not hold
// the window for long, and must not pass for a slot without a card.
struct PS2LinkTimeLimits {
    // dir, mkdir, rmdir, delete, reset, poweroff. A real one ends within a
    // second or two (a dir of a full card root included; reset and poweroff
    // send one datagram); the client itself gives up a console that stops
    // answering mid-command after 10 s.
    std::chrono::milliseconds command{std::chrono::seconds(10)};
    // "-t 5 execiop": the client waits for 5 s of quiet after the module's
    // greeting before it ends.
    std::chrono::milliseconds moduleStart{std::chrono::seconds(20)};
    // copyto and copyfrom: a start plus a time per 32 KB of the file. The
    // client moves one block of 28000 bytes per exchange with the console
    // and the card writes far faster than 32 KB a second.
    std::chrono::milliseconds transferStart{std::chrono::seconds(10)};
    std::chrono::milliseconds transferPer32KB{std::chrono::seconds(1)};

    std::chrono::milliseconds Transfer(uint64_t bytes) const;
};

class MemoryCardPS2Link : public MemoryCard {
public:
    // Resets the console, has it start the network file-system module and
    // looks for a card in each slot. Never fails outward; a client that does
    // not answer leaves it unconnected (logged).
    explicit MemoryCardPS2Link(MemoryCardOwner* owner, PS2LinkTimeLimits limits = {});
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

private:
    struct ToolRun {
        std::vector<std::string> lines;
        // False when the client could not be started, was stopped at the time
        // limit or died of a signal: then nothing it printed can be trusted.
        bool finished = false;
        // False when it was stopped at the time limit (logged).
        bool answered = true;
    };

    // Runs the client with "-h <address> <command>" in the given folder
    // (the program's own when none is given), stopped after limit.
    ToolRun RunTool(const std::string& command, std::chrono::milliseconds limit, const std::string& workingDirectory);
    ToolRun RunTool(const std::string& command, std::chrono::milliseconds limit);
    // "mc" + the selected slot + ":".
    std::string CardPrefix() const;
    // A path on the card as one argument of the client's command line.
    std::string CardPath(const std::string& path) const;
    // True when the run finished without the client's failure marker. A
    // marked failure is logged: the operation, the command unless it is
    // empty, and every line the client printed.
    static bool Succeeded(const ToolRun& run, const char* operation, const std::string& command);
    // Runs a command that prints nothing on success (delete, mkdir, rmdir).
    bool RunSimpleCommand(const std::string& command, const char* operation);

    bool connected = false;
    // Once the client has answered a run: one that never did is not asked
    // again to reset the console on the way out.
    bool everAnswered = false;
    std::string currentDirectory;
    PS2LinkTimeLimits limits;
    // The file sizes each directory's last List() gave, by directory
    // ("mc0:SAVE", "mc0:" for a root): a download's time limit follows its
    // size. A card holds a few hundred entries at most.
    std::map<std::string, std::map<std::string, uint32_t>> listedSizes;
};
