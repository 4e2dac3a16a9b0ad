#include "common/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

#include "common/FileDescriptor.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Owns the spawn attribute objects for the length of one start.
class SpawnSetup {
public:
    SpawnSetup()
    {
        actionsReady = posix_spawn_file_actions_init(&actions) == 0;
        attributesReady = posix_spawnattr_init(&attributes) == 0;
    }
    ~SpawnSetup()
    {
        if (actionsReady) {
            posix_spawn_file_actions_destroy(&actions);
        }
        if (attributesReady) {
            posix_spawnattr_destroy(&attributes);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool Prepare(int outputFd, const std::string& workingDirectory)
    {
        if (!actionsReady || !attributesReady) {
            return false;
        }
        if (posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) != 0 ||
            posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO) != 0 ||
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) != 0) {
            return false;
        }
        if (!workingDirectory.empty() &&
            posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str()) != 0) {
            return false;
        }
        // A group of its own, so that the time limit also reaches whatever
        // the tool starts in turn. Signals we ignore or block must not carry
        // over: a tool with SIGPIPE ignored would spin on a closed pipe.
        sigset_t empty;
        sigset_t defaults;
        sigemptyset(&empty);
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGCHLD}) {
            sigaddset(&defaults, signal);
        }
        return posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                                        POSIX_SPAWN_SETSIGDEF)) == 0 &&
               posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
               posix_spawnattr_setsigmask(&attributes, &empty) == 0 &&
               posix_spawnattr_setsigdefault(&attributes, &defaults) == 0;
    }

    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};

private:
    bool actionsReady = false;
    bool attributesReady = false;
};

std::chrono::milliseconds Remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

void RecordStatus(int status, ProcessResult& result)
{
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitStatus = WEXITSTATUS(status);
    }
}

// Kills the tool's group and collects the tool, so that no zombie is left.
void KillAndReap(pid_t pid, ProcessResult& result)
{
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.timedOut = true;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                         std::chrono::milliseconds timeLimit, std::size_t outputCap)
{
    ProcessResult result;
    if (arguments.empty() || arguments.front().empty()) {
        return result;
    }
    const Clock::time_point deadline = Clock::now() + timeLimit;

    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return result;
    }
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);
    // dup2 onto the same number would keep close-on-exec set: keep the write
    // end clear of the three standard numbers (possible when ours are closed).
    if (writeEnd.get() <= STDERR_FILENO) {
        writeEnd = FileDescriptor(::fcntl(writeEnd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
        if (!writeEnd.valid()) {
            return result;
        }
    }

    SpawnSetup setup;
    if (!setup.Prepare(writeEnd.get(), workingDirectory)) {
        return result;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ) != 0) {
        return result;
    }
    result.started = true;
    // Only the child may hold the write end, or the pipe would never report its end.
    writeEnd.Close();

    // Drain while the tool runs: it blocks once the pipe's buffer is full.
    std::array<char, 16 * 1024> buffer;
    for (;;) {
        const auto left = Remaining(deadline);
        if (left.count() == 0) {
            KillAndReap(pid, result);
            return result;
        }
        pollfd watch{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = ::read(readEnd.get(), buffer.data(), buffer.size());
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            break;
        }
        const std::size_t room = outputCap - std::min(outputCap, result.output.size());
        result.output.append(buffer.data(), std::min(room, static_cast<std::size_t>(got)));
    }
    readEnd.Close();

    // The output has ended; the tool usually ends with it, but one that
    // closed its output and lingers still gets only the time that is left.
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            RecordStatus(status, result);
            return result;
        }
        if (done < 0 && errno != EINTR) {
            return result;
        }
        if (Remaining(deadline).count() == 0) {
            KillAndReap(pid, result);
            return result;
        }
        std::this_thread::sleep_for(std::min(Remaining(deadline), std::chrono::milliseconds(5)));
    }
}

std::vector<std::string> SplitCommandLine(std::string_view text)
{
    std::vector<std::string> arguments;
    std::size_t i = 0;
    const std::size_t n = text.size();
    for (;;) {
        while (i < n && IsBlank(text[i])) {
            ++i;
        }
        if (i == n) {
            break;
        }
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(text[i]))) {
            const char c = text[i];
            if (c == '\\') {
                std::size_t count = 0;
                while (i < n && text[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < n && text[i] == '"') {
                    argument.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(count, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && text[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += c;
                ++i;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string QuoteCommandLineArgument(std::string_view argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Every backslash before a quote is doubled, and the quote escaped.
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Before the closing quote the backslashes are doubled too.
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}
