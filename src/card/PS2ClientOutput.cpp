#include "card/PS2ClientOutput.h"

#include <algorithm>
#include <cstdint>
#include <ctime>

#include "card/ParseMode.h"

namespace {

// Reads the dir line from a cursor, the way a scanf-style reader would.
class LineReader {
public:
    explicit LineReader(std::string_view text) : line(text) {}

    void SkipBlanks()
    {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
            ++at;
        }
    }
    std::string_view Word()
    {
        SkipBlanks();
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') {
            ++at;
        }
        return line.substr(start, at - start);
    }
    // Decimal digits, kept modulo 2^32: the low 32 bits of a larger size.
    bool Size(uint32_t& value)
    {
        SkipBlanks();
        const std::size_t start = at;
        value = 0;
        while (at < line.size() && IsDigit(line[at])) {
            value = value * 10u + static_cast<uint32_t>(line[at] - '0');
            ++at;
        }
        return at > start;
    }
    // A signed decimal number; huge values stop growing (they are clamped later).
    bool Number(long long& value)
    {
        SkipBlanks();
        bool negative = false;
        if (at < line.size() && (line[at] == '-' || line[at] == '+')) {
            negative = line[at] == '-';
            ++at;
        }
        const std::size_t start = at;
        value = 0;
        while (at < line.size() && IsDigit(line[at])) {
            value = std::min(value * 10 + (line[at] - '0'), kCeiling);
            ++at;
        }
        if (negative) {
            value = -value;
        }
        return at > start;
    }
    // The separator between two numbers: any one character after the blanks.
    bool SkipSeparator()
    {
        SkipBlanks();
        if (at >= line.size()) {
            return false;
        }
        ++at;
        return true;
    }
    std::string_view Rest() const { return line.substr(at); }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static constexpr long long kCeiling = 1'000'000'000;

    std::string_view line;
    std::size_t at = 0;
};

int Clamp(long long value, int low, int high) { return static_cast<int>(std::clamp<long long>(value, low, high)); }

}  // namespace

std::vector<std::string> PS2ClientOutput::SplitLines(std::string_view output)
{
    std::vector<std::string> lines;
    lines.reserve(100);
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        if (end == std::string_view::npos) {
            lines.emplace_back(output.substr(start));
            break;
        }
        lines.emplace_back(output.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool PS2ClientOutput::HasError(const std::vector<std::string>& lines)
{
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string& line) { return line.find("[ERROR]") != std::string::npos; });
}

bool PS2ClientOutput::ModuleStarted(const std::vector<std::string>& lines)
{
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string& line) { return line.find("PS2_TcpFileDriver") != std::string::npos; });
}

bool PS2ClientOutput::ListsDirectory(const std::vector<std::string>& lines)
{
    if (lines.size() <= kDirFrameLines) {
        return false;
    }
    const std::string& first = lines[kDirFrameLines];
    return first.find("d---------") != std::string::npos || first.find("drwxrwxrwx") != std::string::npos;
}

std::span<const std::string> PS2ClientOutput::DirEntryLines(const std::vector<std::string>& lines)
{
    if (lines.size() <= 2 * kDirFrameLines) {
        return {};
    }
    return std::span<const std::string>(lines).subspan(kDirFrameLines, lines.size() - 2 * kDirFrameLines);
}

bool PS2ClientOutput::ParseDirLine(std::string_view line, FtpClient::FILE_DATA& entry)
{
    LineReader reader(line);
    const std::string_view mode = reader.Word();
    if (mode.empty()) {
        return false;
    }
    ParseMode(mode, entry);
    long long month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!reader.Size(entry.size) || !reader.Number(month) || !reader.SkipSeparator() || !reader.Number(day) ||
        !reader.SkipSeparator() || !reader.Number(year) || !reader.Number(hour) || !reader.SkipSeparator() ||
        !reader.Number(minute) || !reader.SkipSeparator() || !reader.Number(second)) {
        return false;
    }

    std::tm local{};
    local.tm_year = Clamp(year, 0, 9999) - 1900;
    local.tm_mon = Clamp(month, 1, 12) - 1;
    local.tm_mday = Clamp(day, 1, 31);
    local.tm_hour = Clamp(hour, 0, 23);
    local.tm_min = Clamp(minute, 0, 59);
    local.tm_sec = Clamp(second, 0, 59);
    local.tm_isdst = -1;
    // Years before 1900 are outside what the file times on the PC can hold
    // in every format we write: such an entry keeps "no time" (0) instead of
    // being dropped, so the save still shows.
    entry.time = local.tm_year < 0 ? 0 : static_cast<int64_t>(std::mktime(&local));

    // Control characters go (the carriage return of a CR LF line among them);
    // bytes from 0x80 up stay, they are Shift-JIS or UTF-8 names. A NUL stays
    // too, so that the entry filter drops the name rather than joining its parts.
    entry.name.clear();
    for (const char c : reader.Rest()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0 || (byte >= 0x20 && byte != 0x7F)) {
            entry.name += c;
        }
    }
    entry.name.erase(0, entry.name.find_first_not_of(" \t"));
    return true;
}

std::vector<FtpClient::FILE_DATA> PS2ClientOutput::ParseDirOutput(const std::vector<std::string>& lines)
{
    std::vector<FtpClient::FILE_DATA> entries;
    for (const std::string& line : DirEntryLines(lines)) {
        FtpClient::FILE_DATA entry;
        if (ParseDirLine(line, entry) && PassesEntryFilter(entry.name)) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}
