#include "card/MemoryCardPS2Link.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include <boost/format.hpp>

#include "card/MemoryCardOwner.h"
#include "card/PS2ClientOutput.h"
#include "common/FileDescriptor.h"
#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/PcFileMoves.h"
#include "common/Process.h"
#include "common/ProgramDirectory.h"
#include "common/SystemError.h"

namespace {

// A download from a directory never listed is timed as the largest file a
// standard card can hold.
constexpr uint64_t kUnlistedFileBytes = uint64_t{8} << 20;

// Where the client reads and writes the PC side of a copy: a folder of the
// staging area kept to itself, so that a file the controller stages under
// the same name (an icon.sys being read, a PS1 save about to go up) is never
// the file moved aside or removed here.
std::string TransferFolder()
{
    const std::string folder = StagingDirectory() + "ps2link/";
    ::mkdir(folder.c_str(), 0777);
    return folder;
}

// A file left in the transfer folder under the name about to be used is moved
// to its backup name for the length of one transfer, and back afterwards.
class StagingGuard {
public:
    explicit StagingGuard(std::string stagingFile) : staging(std::move(stagingFile)) {}
    ~StagingGuard()
    {
        if (!active) {
            return;
        }
        // Whatever the transfer left under the name goes first, or the old
        // file could not come back.
        ::unlink(staging.c_str());
        if (!backup.empty()) {
            MoveWithoutReplacing(backup, staging);
        }
    }
    StagingGuard(const StagingGuard&) = delete;
    StagingGuard& operator=(const StagingGuard&) = delete;

    // False (with errno set) when a file is there and could not be moved
    // aside; the guard then leaves it alone.
    bool MoveAside()
    {
        if (Exists(staging)) {
            backup = BackupName(staging);
            if (backup.empty()) {
                errno = EEXIST;
                return false;
            }
            if (::rename(staging.c_str(), backup.c_str()) != 0) {
                backup.clear();
                return false;
            }
        }
        active = true;
        return true;
    }

private:
    std::string staging;
    std::string backup;
    bool active = false;
};

// One copy between the PC folder and the card. The client reads and writes
// the PC side in its own working directory, so the file passes through the
// transfer folder under its own name; whatever that folder held under the
// name is set aside for the copy and put back afterwards.
struct StagedCopy {
    StagedCopy(std::string folder, const std::string& name, std::string pcPath)
        : stagingFolder(std::move(folder)),
          stagingFile(stagingFolder + name),
          pcFile(std::move(pcPath)),
          guard(stagingFile)
    {
    }

    std::string stagingFolder;
    std::string stagingFile;
    std::string pcFile;
    StagingGuard guard;
};

// Null when the copy cannot go ahead; a staging name that cannot be cleared
// is logged under errorLine.
std::unique_ptr<StagedCopy> StageCopy(const std::string& name, const char* errorLine)
{
    std::string pcFile;
    if (WorkingFolderFile(name, pcFile)) {
        return nullptr;
    }
    auto copy = std::make_unique<StagedCopy>(TransferFolder(), name, pcFile);
    if (!copy->guard.MoveAside()) {
        const std::error_code error = LastError();
        Log(errorLine);
        Log(copy->stagingFile);
        LogError(error);
        return nullptr;
    }
    return copy;
}

}  // namespace

std::chrono::milliseconds PS2LinkTimeLimits::Transfer(uint64_t bytes) const
{
    constexpr uint64_t kBlock = 32 * 1024;
    return transferStart + transferPer32KB * static_cast<int64_t>((bytes + kBlock - 1) / kBlock);
}

MemoryCardPS2Link::MemoryCardPS2Link(MemoryCardOwner* cardOwner, PS2LinkTimeLimits timeLimits)
    : MemoryCard(cardOwner), limits(timeLimits)
{
    // A client that cannot even send the reset datagram in time will not
    // answer anything else either.
    if (!RunTool("reset", limits.command).answered) {
        return;
    }
    if (!PS2ClientOutput::ModuleStarted(RunTool("-t 5 execiop host:ps2netfs.irx", limits.moduleStart).lines)) {
        return;
    }
    // A slot that did not answer is not known to be empty; when neither
    // did, the console is not reached at all.
    bool slotAnswered = false;
    for (unsigned slot = 0; slot < 2; ++slot) {
        const ToolRun run = RunTool((boost::format("dir mc%1%:") % slot).str(), limits.command);
        slotAnswered = slotAnswered || run.answered;
        if (run.finished && !PS2ClientOutput::HasError(run.lines)) {
            slotMask |= 1u << slot;
        }
    }
    connected = slotAnswered;
}

MemoryCardPS2Link::~MemoryCardPS2Link()
{
    if (!everAnswered) {
        return;
    }
    try {
        const bool powerOff = connected && owner != nullptr && owner->IsOptionChecked(Option::PowerOffOnDisconnect);
        RunTool(powerOff ? "poweroff" : "reset", limits.command);
    } catch (...) {
        // Disconnecting is best effort; a destructor must not throw.
    }
}

MemoryCardPS2Link::ToolRun MemoryCardPS2Link::RunTool(const std::string& command, std::chrono::milliseconds limit)
{
    return RunTool(command, limit, ProgramDirectory());
}

MemoryCardPS2Link::ToolRun MemoryCardPS2Link::RunTool(const std::string& command, std::chrono::milliseconds limit,
                                                      const std::string& workingDirectory)
{
    const std::string address = owner != nullptr ? owner->GetEditText(Edit::Address) : std::string();
    std::vector<std::string> arguments{ProgramDirectory() + "ps2client"};
    for (std::string& argument : SplitCommandLine("-h " + address + " " + command)) {
        arguments.push_back(std::move(argument));
    }

    const ProcessResult result = RunProcess(arguments, workingDirectory, limit);
    ToolRun run;
    if (result.timedOut) {
        // Not the same as a card that is not there: the client never said.
        Log("エラー : ps2clientが応答しませんでした MemoryCardPS2Link::RunTool() " + command);
        run.answered = false;
        return run;
    }
    everAnswered = everAnswered || result.started;
    if (result.started && !result.exited) {
        Log("エラー : ps2client が異常終了しました MemoryCardPS2Link::RunTool() " + command);
        return run;
    }
    // A client that is missing or cannot start prints nothing: say so, or the
    // connection would fail without a word.
    if (!result.started) {
        Log("エラー : ps2clientを起動できませんでした (プログラムと同じフォルダに置いてください) MemoryCardPS2Link::RunTool() " +
            arguments.front());
    }
    run.finished = result.started;
    run.lines = PS2ClientOutput::SplitLines(result.output);
    return run;
}

std::string MemoryCardPS2Link::CardPrefix() const
{
    return "mc" + (owner != nullptr ? owner->GetSlotText() : std::string()) + ":";
}

// Names with blanks (PS1 saves have them) are quoted, or the client would
// take their pieces for further arguments.
std::string MemoryCardPS2Link::CardPath(const std::string& path) const
{
    return QuoteCommandLineArgument(CardPrefix() + path);
}

bool MemoryCardPS2Link::Succeeded(const ToolRun& run, const char* operation, const std::string& command)
{
    if (!run.finished) {
        return false;
    }
    if (PS2ClientOutput::HasError(run.lines)) {
        Log(std::string("エラー : MemoryCardPS2Link::") + operation + "()");
        if (!command.empty()) {
            Log(command);
        }
        for (const std::string& line : run.lines) {
            Log(line);
        }
        return false;
    }
    return true;
}

bool MemoryCardPS2Link::RunSimpleCommand(const std::string& command, const char* operation)
{
    return Succeeded(RunTool(command, limits.command), operation, command);
}

bool MemoryCardPS2Link::SetCurrentDirectory(const std::string& directory)
{
    if (!connected) {
        return false;
    }
    if (directory.empty()) {
        currentDirectory.clear();
        return true;
    }
    const ToolRun run = RunTool("dir " + CardPath(directory), limits.command);
    if (!run.finished || PS2ClientOutput::HasError(run.lines) || !PS2ClientOutput::ListsDirectory(run.lines)) {
        return false;
    }
    currentDirectory = directory;
    return true;
}

std::vector<FtpClient::FILE_DATA> MemoryCardPS2Link::List()
{
    lastListFailed = true;
    const std::string directory = CardPrefix() + currentDirectory;
    listedSizes.erase(directory);
    if (!connected) {
        return {};
    }
    const ToolRun run = RunTool("dir " + CardPath(currentDirectory), limits.command);
    if (!run.finished || run.lines.empty() || PS2ClientOutput::HasError(run.lines)) {
        return {};
    }
    lastListFailed = false;
    std::vector<FtpClient::FILE_DATA> entries = PS2ClientOutput::ParseDirOutput(run.lines);
    std::map<std::string, uint32_t>& sizes = listedSizes[directory];
    for (const FtpClient::FILE_DATA& entry : entries) {
        if (!entry.isDirectory) {
            sizes[entry.name] = entry.size;
        }
    }
    return entries;
}

bool MemoryCardPS2Link::Remove(const std::string& name)
{
    if (!connected || !IsPlainName(name)) {
        return false;
    }
    if (const auto sizes = listedSizes.find(CardPrefix() + currentDirectory); sizes != listedSizes.end()) {
        sizes->second.erase(name);
    }
    return RunSimpleCommand("delete " + CardPath(currentDirectory + "/" + name), "Remove");
}

bool MemoryCardPS2Link::RemoveDirectory(const std::string& name)
{
    if (!connected || !IsPlainName(name)) {
        return false;
    }
    listedSizes.erase(CardPrefix() + name);
    return RunSimpleCommand("rmdir " + CardPath(name), "RemoveDirectory");
}

bool MemoryCardPS2Link::MakeDirectory(const std::string& name)
{
    if (!connected || !IsPlainName(name)) {
        return false;
    }
    listedSizes.erase(CardPrefix() + name);
    return RunSimpleCommand("mkdir " + CardPath(name), "MakeDirectory");
}

bool MemoryCardPS2Link::Put(const std::string& name)
{
    if (!connected) {
        return false;
    }
    const std::unique_ptr<StagedCopy> copy = StageCopy(name, "エラー : MemoryCardPS2Link::Put()");
    if (!copy) {
        return false;
    }
    // A link inside a PC save is not followed: it could name any file the
    // user can read. Nor is a pipe waited on. The guard has cleared the
    // staging name, so the copy there replaces nothing.
    FileDescriptor local;
    struct stat status {};
    std::error_code error = OpenToCopy(copy->pcFile, local, status, "MemoryCardPS2Link::Put() " + name);
    if (!error) {
        error = CopyWithoutReplacing(local, copy->stagingFile);
    }
    if (error) {
        Log("エラー : MemoryCardPS2Link::Put()");
        Log(copy->pcFile);
        LogError(error);
        return false;
    }

    // What lands on the card is at most this long, whether the copy ends well or not.
    if (const auto sizes = listedSizes.find(CardPrefix() + currentDirectory); sizes != listedSizes.end()) {
        sizes->second[name] = static_cast<uint32_t>(status.st_size);
    }
    const ToolRun run =
        RunTool("copyto " + QuoteCommandLineArgument(name) + " " + CardPath(currentDirectory + "/" + name),
                limits.Transfer(static_cast<uint64_t>(status.st_size)), copy->stagingFolder);
    return Succeeded(run, "Put", std::string());
}

bool MemoryCardPS2Link::Get(const std::string& name)
{
    if (!connected) {
        return false;
    }
    const std::unique_ptr<StagedCopy> copy = StageCopy(name, "エラー : MemoryCardPS2Link::Get()");
    if (!copy) {
        return false;
    }

    // A name its directory's listing did not hold has nothing to copy, as
    // far as the card said.
    uint64_t size = kUnlistedFileBytes;
    if (const auto sizes = listedSizes.find(CardPrefix() + currentDirectory); sizes != listedSizes.end()) {
        const auto listed = sizes->second.find(name);
        size = listed != sizes->second.end() ? listed->second : 0;
    }
    const std::string command =
        "copyfrom " + CardPath(currentDirectory + "/" + name) + " " + QuoteCommandLineArgument(name);
    if (!Succeeded(RunTool(command, limits.Transfer(size), copy->stagingFolder), "Get", command)) {
        return false;
    }
    // The download counts only once it is in the PC folder. An existing file
    // there is never replaced; the guard removes the staged copy either way.
    if (const std::error_code error = MoveWithoutReplacing(copy->stagingFile, copy->pcFile)) {
        Log("エラー : MemoryCardPS2Link::Get()");
        Log(copy->pcFile);
        LogError(error);
        return false;
    }
    return true;
}
