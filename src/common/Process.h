#pragma once
// Running an outside command-line tool and collecting what it prints.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct ProcessResult {
    // False when the program could not be started at all (missing, not
    // executable, the working directory unusable).
    bool started = false;
    // True when the time limit ran out and the program was killed.
    bool timedOut = false;
    // True when the program ended through exit(); exitStatus is then valid.
    // A program ended by a signal (a crash, or the time limit) has false.
    bool exited = false;
    int exitStatus = -1;
    // Everything the program wrote to its standard output, up to the cap.
    std::string output;
};

// Starts arguments[0] (a path; no search along PATH, no shell) with the given
// arguments, in workingDirectory (empty: ours), with standard input and
// standard error on /dev/null and standard output on a pipe that is drained
// while it runs, so a talkative program never stalls on a full pipe. When the
// program (or anything it started) is still running after timeLimit, its
// whole process group is killed and reaped. Output beyond outputCap bytes is
// read and dropped, so a runaway program cannot exhaust our memory.
ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                         std::chrono::milliseconds timeLimit, std::size_t outputCap = 16 * 1024 * 1024);

// Splits command-line text into arguments the way a Windows program's runtime
// splits the text after its program name: blanks (space, tab) separate
// arguments outside double quotes; 2n backslashes before a quote give n
// backslashes and the quote opens or closes a quoted part, 2n+1 give n and a
// literal quote; other backslashes are literal; "" inside a quoted part is a
// literal quote. The program name itself is never part of the text: a Linux
// folder may hold a '"', which no Windows quoting can carry.
std::vector<std::string> SplitCommandLine(std::string_view text);

// The argument as SplitCommandLine reads it back: unchanged when it holds no
// blank or quote and is not empty, otherwise quoted with its backslashes and
// quotes escaped.
std::string QuoteCommandLineArgument(std::string_view argument);
