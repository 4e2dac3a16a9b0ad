#include "common/Log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <algorithm>
#include <deque>
#include <vector>

#include <boost/format.hpp>

#include "common/FileHelpers.h"
#include "common/ProgramDirectory.h"
#include "common/SystemError.h"
#include "common/TextCodec.h"

namespace {

// One lock for the whole program: a line reaches standard error and the file whole.
std::mutex& LogMutex()
{
    static std::mutex mutex;
    return mutex;
}

// -1 while closed or after a failed write: a failed log stays failed.
int& LogFile()
{
    static int file = -1;
    return file;
}

// One write() per line on a file opened for appending: lines of two programs
// writing the same log never interleave.
void AppendLine(const std::string& line)
{
    int& file = LogFile();
    if (file < 0) {
        return;
    }
    const std::string whole = line + '\n';
    const ssize_t written = ::write(file, whole.data(), whole.size());
    if (written != static_cast<ssize_t>(whole.size())) {
        ::close(file);
        file = -1;
    }
}

// A message repeated line after line (one damaged file read many times over)
// is written once, then one line counting the repeats: the log stays readable
// and small.
struct Repeats {
    std::string last;
    size_t count = 0;
};

Repeats& LastLine()
{
    static Repeats repeats;
    return repeats;
}

// The newest lines, for the window to show; numbered from the first line written.
constexpr size_t kRecentLines = 200;
struct Recent {
    std::deque<std::string> lines;
    uint64_t written = 0;
};

Recent& RecentLines()
{
    static Recent recent;
    return recent;
}

std::vector<std::string>& DeferredMessages()
{
    static std::vector<std::string> messages;
    return messages;
}

// The local date and time in the user's format; the Japanese default when the
// locale gives none of its own.
std::string TimeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[128];
    const char* format = "%Y/%m/%d %H:%M:%S";
    const char* locale = std::setlocale(LC_TIME, nullptr);
    if (locale != nullptr && std::strcmp(locale, "C") != 0 && std::strcmp(locale, "POSIX") != 0) {
        format = "%x %X";
    }
    const size_t length = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, length);
}

void WriteStamped(const std::string& folded)
{
    const std::string line = TimeText() + " - " + folded;
    std::cerr << line << '\n';
    AppendLine(line);
    Recent& recent = RecentLines();
    recent.lines.push_back(line);
    if (recent.lines.size() > kRecentLines) {
        recent.lines.pop_front();
    }
    ++recent.written;
}

// Under the log's lock.
void FlushRepeats()
{
    Repeats& repeats = LastLine();
    if (repeats.count > 0) {
        WriteStamped((boost::format("上の行がさらに%1%回繰り返されました") % repeats.count).str());
    }
    repeats = Repeats{};
}

void WriteLine(const std::string& message)
{
    std::string folded = FoldLogMessage(message);
    std::lock_guard<std::mutex> lock(LogMutex());
    Repeats& repeats = LastLine();
    if (!repeats.last.empty() && folded == repeats.last) {
        ++repeats.count;
        return;
    }
    FlushRepeats();
    WriteStamped(folded);
    repeats.last = std::move(folded);
}

}  // namespace

// One pass, in linear time even for a long reply from a server: a space put
// in place of a pair never forms a new pair, so CR LF pairs first and then lone
// LFs gives the same text as replacing until none is left. Every other control
// character (C0, DEL and the C1 range, which terminals take for escape
// sequences) and every byte that is no UTF-8 is written as \xHH: names from
// a card reach standard error and log.txt, never a terminal's command.
std::string FoldLogMessage(const std::string& message)
{
    std::string folded;
    folded.reserve(message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
            folded += ' ';
            ++i;
        } else if (message[i] == '\n') {
            folded += ' ';
        } else {
            folded += message[i];
        }
    }
    const std::string valid = EscapeInvalidUtf8(folded);
    std::string escaped;
    escaped.reserve(valid.size());
    for (size_t i = 0; i < valid.size(); ++i) {
        const auto byte = static_cast<unsigned char>(valid[i]);
        const bool c1 = byte == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(valid[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1) {
            // By hand: a binary reply can hold hundreds of thousands of these.
            static const char* const kHex = "0123456789ABCDEF";
            const unsigned code = c1 ? static_cast<unsigned char>(valid[++i]) : byte;
            escaped += "\\x";
            escaped += kHex[code >> 4];
            escaped += kHex[code & 0x0F];
        } else {
            escaped += valid[i];
        }
    }
    return escaped;
}

void LogOpen()
{
    EnterProgramDirectory();
    std::vector<std::string> deferred;
    {
        std::lock_guard<std::mutex> lock(LogMutex());
        FlushRepeats();
        int& file = LogFile();
        if (file >= 0) {
            ::close(file);
        }
        file = ::open((ProgramDirectory() + "log.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        deferred.swap(DeferredMessages());
    }
    for (const std::string& message : deferred) {
        WriteLine(message);
    }
}

void Log(const std::string& message) { WriteLine(message); }

void LogRepeated(const std::string& message, size_t times)
{
    if (times == 0) {
        return;
    }
    WriteLine(message);
    std::string folded = FoldLogMessage(message);
    std::lock_guard<std::mutex> lock(LogMutex());
    Repeats& repeats = LastLine();
    if (repeats.last == folded) {
        repeats.count += times - 1;
    }
}

void LogLastError() { LogError(LastError()); }

void LogError(const std::error_code& error) { WriteLine(error.message()); }

void LogClose()
{
    std::lock_guard<std::mutex> lock(LogMutex());
    FlushRepeats();
    int& file = LogFile();
    if (file >= 0) {
        ::close(file);
        file = -1;
    }
}

uint64_t LogMark()
{
    std::lock_guard<std::mutex> lock(LogMutex());
    return RecentLines().written;
}

std::vector<std::string> LogLinesSince(uint64_t mark)
{
    std::lock_guard<std::mutex> lock(LogMutex());
    const Recent& recent = RecentLines();
    const uint64_t available = std::min<uint64_t>(recent.written - std::min(mark, recent.written), recent.lines.size());
    return std::vector<std::string>(recent.lines.end() - static_cast<std::ptrdiff_t>(available), recent.lines.end());
}

void LogDeferred(const std::string& message)
{
    std::lock_guard<std::mutex> lock(LogMutex());
    DeferredMessages().push_back(message);
}
